#include "references.h"

#include "labsql.h"
#include "records/keptseals.h"

#include <cmath>

namespace quarvet::lab {

using namespace records;

namespace {

using Column = TableColumn<ReferenceStandard>;

QString dateText(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

QDate dateOf(const QVariant& value)
{
    return QDate::fromString(value.toString(), Qt::ISODate);
}

// The register's table, as the schema made it.
constexpr Column referenceColumns[] = {
    {"identifier", [](const ReferenceStandard& r) -> QVariant { return r.identifier; },
     [](ReferenceStandard& r, const QVariant& v) { r.identifier = v.toString(); }},
    {"entry", [](const ReferenceStandard& r) -> QVariant { return r.entry; },
     [](ReferenceStandard& r, const QVariant& v) { r.entry = v.toInt(); }},
    {"description", [](const ReferenceStandard& r) -> QVariant { return r.description; },
     [](ReferenceStandard& r, const QVariant& v) { r.description = v.toString(); }},
    {"certificate", [](const ReferenceStandard& r) -> QVariant { return r.certificate; },
     [](ReferenceStandard& r, const QVariant& v) { r.certificate = v.toString(); }},
    {"calibrated_by", [](const ReferenceStandard& r) -> QVariant { return r.calibratedBy; },
     [](ReferenceStandard& r, const QVariant& v) { r.calibratedBy = v.toString(); }},
    {"u", [](const ReferenceStandard& r) -> QVariant { return r.U; },
     [](ReferenceStandard& r, const QVariant& v) { r.U = v.toDouble(); }},
    {"k", [](const ReferenceStandard& r) -> QVariant { return r.k; },
     [](ReferenceStandard& r, const QVariant& v) { r.k = v.toDouble(); }},
    {"drift", [](const ReferenceStandard& r) -> QVariant { return r.drift; },
     [](ReferenceStandard& r, const QVariant& v) { r.drift = v.toDouble(); }},
    {"calibrated", [](const ReferenceStandard& r) -> QVariant { return dateText(r.calibrated); },
     [](ReferenceStandard& r, const QVariant& v) { r.calibrated = dateOf(v); }},
    {"due", [](const ReferenceStandard& r) -> QVariant { return dateText(r.due); },
     [](ReferenceStandard& r, const QVariant& v) { r.due = dateOf(v); }},
    {"usable", [](const ReferenceStandard& r) -> QVariant { return r.usable ? 1 : 0; },
     [](ReferenceStandard& r, const QVariant& v) { r.usable = v.toInt() != 0; }},
    {"saved_utc",
     [](const ReferenceStandard& r) -> QVariant { return r.savedUtc.toString(Qt::ISODateWithMs); },
     [](ReferenceStandard& r, const QVariant& v) {
         r.savedUtc = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
     }},
    {"saved_by", [](const ReferenceStandard& r) -> QVariant { return r.savedBy; },
     [](ReferenceStandard& r, const QVariant& v) { r.savedBy = v.toString(); }}};
static_assert(namesTheFields(referenceColumns, referenceTable));

QSqlError readReferences(QSqlDatabase database, const QString& statement,
                         const QVariantList& values, QList<ReferenceStandard>& standards)
{
    QSqlQuery query(database);
    const QSqlError error = exec(query, statement, values);
    while (!error.isValid() && query.next())
        standards << rowFrom<ReferenceStandard>(referenceColumns, query);
    return error.isValid() ? error : query.lastError();
}

QSqlError insertReference(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                          ReferenceStandard& standard)
{
    QVariant last;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, standard.savedUtc);
    // "Calibrated up to today" on the day of the clock that dates the entry, whatever the
    // workstation's clock says.
    if (const QDate today = standard.savedUtc.toLocalTime().date();
        !error.isValid() && standard.calibrated > today)
        return refused(StoreFaultKind::NotYetCalibrated, standard.calibrated.toString(Qt::ISODate) +
                                                             QLatin1Char(' ') +
                                                             today.toString(Qt::ISODate));
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT max(entry) FROM reference_standards WHERE "
                                          "identifier = ?"),
                           {standard.identifier}, last);
    if (error.isValid())
        return error;
    standard.entry = last.toInt() + 1;
    standard.savedBy = savedBy;
    QSqlQuery query(database);
    error = exec(query,
                 QStringLiteral("INSERT INTO reference_standards (%1) VALUES (%2)")
                     .arg(columnNames<ReferenceStandard>(referenceColumns),
                          placeholders<ReferenceStandard>(referenceColumns)),
                 valuesOf<ReferenceStandard>(referenceColumns, standard));
    return error.isValid() ? error
                           : seal(database, dialect, referenceTable,
                                  {standard.identifier, standard.entry}, savedBy);
}
} // namespace

LabRefusal referenceProblem(const ReferenceStandard& standard, const QDate& today)
{
    const std::pair<const char*, const QString*> texts[] = {
        {"identifier", &standard.identifier},
        {"description", &standard.description},
        {"certificate", &standard.certificate},
        {"laboratory that calibrated it", &standard.calibratedBy}};
    for (const auto& [name, text] : texts)
        if (text->trimmed().isEmpty() || text->size() > 200 || unsafeLine(*text) ||
            holdsInvisible(*text))
            return refusedAs(LabRefusalKind::ReferenceText, QLatin1String(name));
    if (standard.identifier != standard.identifier.trimmed())
        return refusedAs(LabRefusalKind::ReferenceBlanks);
    if (!std::isfinite(standard.U) || !(standard.U > 0) ||
        standard.U > records::highestReferenceU || !std::isfinite(standard.drift) ||
        standard.drift < 0 || !(standard.k >= 1 && standard.k <= 10))
        return refusedAs(LabRefusalKind::ReferenceNumbers);
    if (!standard.calibrated.isValid() || !standard.due.isValid())
        return refusedAs(LabRefusalKind::ReferenceDates);
    if (standard.calibrated.year() < 1900 || standard.calibrated > today)
        return refusedAs(LabRefusalKind::ReferenceCalibrated);
    if (standard.due < standard.calibrated)
        return refusedAs(LabRefusalKind::ReferenceDueEarly);
    return {};
}

ReferenceUse referenceUse(const ReferenceStandard& standard, const QDate& calibrated)
{
    if (!standard.usable)
        return ReferenceUse::Withdrawn;
    return !standard.due.isValid() || standard.due < calibrated ? ReferenceUse::Overdue
                                                                : ReferenceUse::Usable;
}

namespace {

// A value typed for a register's reference that is not the register's.
LabRefusal disagreement(bool typed, bool differs, const QString& name,
                        const ReferenceStandard& standard)
{
    if (!typed || !differs)
        return {};
    LabRefusal refusal = refusedAs(LabRefusalKind::Disagrees, name, standard.identifier);
    refusal.entry = standard.entry;
    return refusal;
}

LabRefusal typedReferenceProblem(const LabSettings& lab, const TypedReference& typed,
                                 const RecordInput& input)
{
    if (lab.registeredReferencesOnly())
        return refusedAs(LabRefusalKind::RegisteredOnly, {}, input.referenceId);
    if (typed.u && typed.due)
        return {};
    LabRefusal refusal = refusedAs(LabRefusalKind::NotRegistered, typed.uName, input.referenceId);
    refusal.detail = typed.dueName;
    return refusal;
}

// The entry that stood when the calibration was saved (the newest for one saved now): a
// correction names the reference as it was then, not as later entries changed it, later that
// same day included.
const ReferenceStandard& standingAt(const QList<ReferenceStandard>& entries,
                                    const QDateTime& savedUtc)
{
    if (!savedUtc.isValid())
        return entries.last();
    const ReferenceStandard* standing = &entries.first();
    for (const ReferenceStandard& entry : entries)
        if (entry.savedUtc <= savedUtc)
            standing = &entry;
    return *standing;
}

// Why a standard cannot stand behind a calibration on `day`: calibrated after it, withdrawn,
// or due before it.
LabRefusal useProblem(const ReferenceStandard& standard, const QDate& day)
{
    LabRefusal refusal = refusedAs(LabRefusalKind::None, {}, standard.identifier);
    refusal.second = day;
    if (standard.calibrated.isValid() && standard.calibrated > day) {
        refusal.kind = LabRefusalKind::CalibratedAfter;
        refusal.first = standard.calibrated;
        return refusal;
    }
    switch (referenceUse(standard, day)) {
    case ReferenceUse::Withdrawn:
        refusal.kind = LabRefusalKind::Withdrawn;
        return refusal;
    case ReferenceUse::Overdue:
        refusal.kind = LabRefusalKind::Overdue;
        refusal.first = standard.due;
        return refusal;
    default:
        return {};
    }
}

} // namespace

LabRefusal decideReference(const QList<ReferenceStandard>& entries, const LabSettings& lab,
                           const TypedReference& typed, const QDate& day, RecordInput& input,
                           const QString& lookAlike)
{
    if (entries.isEmpty() && !lookAlike.isEmpty())
        return refusedAs(LabRefusalKind::LookAlike, lookAlike, input.referenceId);
    if (entries.isEmpty()) {
        const LabRefusal problem = typedReferenceProblem(lab, typed, input);
        if (problem.ok())
            input.referenceSource = QStringLiteral("typed");
        return problem;
    }
    const ReferenceStandard& standard = standingAt(entries, input.calibratedUtc);
    for (const LabRefusal& problem :
         {disagreement(typed.u, input.referenceUncertainty != standard.U, typed.uName, standard),
          disagreement(typed.k, input.setUp.referenceK != standard.k, typed.kName, standard),
          disagreement(typed.drift, input.setUp.drift != standard.drift, typed.driftName, standard),
          disagreement(typed.due, input.referenceDue != standard.due, typed.dueName, standard)})
        if (!problem.ok())
            return problem;
    if (const LabRefusal problem = useProblem(standard, day); !problem.ok())
        return problem;
    input.referenceUncertainty = standard.U;
    input.setUp.referenceK = standard.k;
    input.setUp.drift = standard.drift;
    input.referenceDue = standard.due;
    input.referenceSource = QStringLiteral("register");
    input.referenceCertificate = standard.certificate;
    input.referenceCalibratedBy = standard.calibratedBy;
    return {};
}

StoreFailure addReference(RecordStore& store, ReferenceStandard& standard)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertReference(database, dialect, savedBy, standard);
        },
        refusalOf);
}

StoreFailure listReferences(RecordStore& store, QList<ReferenceStandard>& standards)
{
    standards.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        return readReferences(
            database,
            QStringLiteral("SELECT %1 FROM reference_standards s WHERE entry = (SELECT "
                           "max(n.entry) FROM reference_standards n WHERE n.identifier = "
                           "s.identifier) ORDER BY identifier")
                .arg(columnNames<ReferenceStandard>(referenceColumns)),
            {}, standards);
    });
}

StoreFailure registeredLookAlike(RecordStore& store, const QString& typed, QString& registered)
{
    registered.clear();
    QList<ReferenceStandard> standards;
    const StoreFailure failure = listReferences(store, standards);
    const QString folded = typed.toCaseFolded();
    for (const ReferenceStandard& standard : std::as_const(standards)) {
        if (standard.identifier == typed)
            return registered.clear(), failure;
        if (standard.identifier.toCaseFolded() == folded)
            registered = standard.identifier;
    }
    return failure;
}

StoreFailure referenceEntries(RecordStore& store, const QString& identifier,
                              QList<ReferenceStandard>& entries)
{
    entries.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        return readReferences(database,
                              QStringLiteral("SELECT %1 FROM reference_standards WHERE "
                                             "identifier = ? ORDER BY entry")
                                  .arg(columnNames<ReferenceStandard>(referenceColumns)),
                              {identifier}, entries);
    });
}
} // namespace quarvet::lab
