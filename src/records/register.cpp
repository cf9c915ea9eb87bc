#include "register.h"

#include "sqlrecords.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <QSqlQuery>
#include <QTimeZone>
#include <cmath>

namespace quarvet::records {
namespace {

// What a change finds that turns it away: carried out of the transaction as an error of its
// own, and told apart from the database's by its code.
const QString refusedCode = QStringLiteral("quarvet refused");

QSqlError refused(StoreFaultKind kind, const QString& detail)
{
    return QSqlError(QString::number(static_cast<int>(kind)), detail, QSqlError::TransactionError,
                     refusedCode);
}

StoreFault refusalOf(const QSqlError& error)
{
    if (error.nativeErrorCode() != refusedCode)
        return {};
    return storeFault(static_cast<StoreFaultKind>(error.driverText().toInt()),
                      error.databaseText());
}

// Changes of the register, the settings and the issues wait for each other in a shared
// database, so that each takes the next number; in SQLite the write transaction does that.
QSqlError serialised(QSqlDatabase database, const Dialect& dialect)
{
    return dialect.postgres
               ? sql::run(database, QStringLiteral("SELECT pg_advisory_xact_lock(1364350550)"))
               : QSqlError();
}

QSqlError exec(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return query.lastError();
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() ? QSqlError() : query.lastError();
}

// The first row's first value of a statement, or an invalid value when it gives no row.
QSqlError firstValue(QSqlDatabase database, const QString& statement, const QVariantList& values,
                     QVariant& value)
{
    QSqlQuery query(database);
    const QSqlError error = exec(query, statement, values);
    value = !error.isValid() && query.next() ? query.value(0) : QVariant();
    return error;
}

QString utcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

const QString referenceColumns = QStringLiteral(
    "identifier, entry, description, certificate, calibrated_by, u, k, drift, calibrated, due, "
    "usable, saved_utc, saved_by");

ReferenceStandard referenceFrom(const QSqlQuery& query)
{
    ReferenceStandard standard;
    standard.identifier = query.value(0).toString();
    standard.entry = query.value(1).toInt();
    standard.description = query.value(2).toString();
    standard.certificate = query.value(3).toString();
    standard.calibratedBy = query.value(4).toString();
    standard.U = query.value(5).toDouble();
    standard.k = query.value(6).toDouble();
    standard.drift = query.value(7).toDouble();
    standard.calibrated = QDate::fromString(query.value(8).toString(), Qt::ISODate);
    standard.due = QDate::fromString(query.value(9).toString(), Qt::ISODate);
    standard.usable = query.value(10).toInt() != 0;
    standard.savedUtc = QDateTime::fromString(query.value(11).toString(), Qt::ISODateWithMs);
    standard.savedBy = query.value(12).toString();
    return standard;
}

QSqlError readReferences(QSqlDatabase database, const QString& statement,
                         const QVariantList& values, QList<ReferenceStandard>& standards)
{
    QSqlQuery query(database);
    const QSqlError error = exec(query, statement, values);
    while (!error.isValid() && query.next())
        standards << referenceFrom(query);
    return error.isValid() ? error : query.lastError();
}

QSqlError insertReference(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                          ReferenceStandard& standard)
{
    QVariant last;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT max(entry) FROM reference_standards WHERE "
                                          "identifier = ?"),
                           {standard.identifier}, last);
    if (error.isValid())
        return error;
    standard.entry = last.toInt() + 1;
    standard.savedBy = savedBy;
    standard.savedUtc = QDateTime::currentDateTimeUtc();
    QSqlQuery query(database);
    return exec(query,
                QStringLiteral("INSERT INTO reference_standards (%1) VALUES (?, ?, ?, ?, ?, ?, ?, "
                               "?, ?, ?, ?, ?, ?)")
                    .arg(referenceColumns),
                {standard.identifier, standard.entry, standard.description, standard.certificate,
                 standard.calibratedBy, standard.U, standard.k, standard.drift,
                 standard.calibrated.toString(Qt::ISODate), standard.due.toString(Qt::ISODate),
                 standard.usable ? 1 : 0, standard.savedUtc.toString(Qt::ISODateWithMs), savedBy});
}

// The newest value of each setting.
QSqlError readSettings(QSqlDatabase database, LabSettings& settings)
{
    QSqlQuery query(database);
    const QSqlError error =
        exec(query,
             QStringLiteral("SELECT s.setting, s.value FROM lab_settings s WHERE s.entry = "
                            "(SELECT max(n.entry) FROM lab_settings n WHERE n.setting = "
                            "s.setting)"),
             {});
    while (!error.isValid() && query.next())
        settings.values.insert(query.value(0).toString(), query.value(1).toString());
    return error.isValid() ? error : query.lastError();
}

// The number the next issue takes under `settings`, refused when a certificate has it already
// (a pattern or prefix changed so that it makes an old number again).
QSqlError nextNumber(QSqlDatabase database, const LabSettings& settings, const QDateTime& when,
                     qint64& sequence, QString& number)
{
    QVariant last;
    QSqlError error = firstValue(
        database, QStringLiteral("SELECT max(sequence) FROM certificate_issues"), {}, last);
    if (error.isValid())
        return error;
    const QString pattern = settings.value(QStringLiteral("pattern"));
    sequence = last.toLongLong() + 1;
    number = certificateNumber(
        pattern.isEmpty() ? QString::fromLatin1(defaultNumberPattern) : pattern, sequence,
        // The laboratory's year, as its people date things: at 00:30 on 1 January it is the new
        // year's number, whatever the year in UTC.
        when.toLocalTime().date().year(), settings.value(QStringLiteral("prefix")));
    QVariant taken;
    error = firstValue(database,
                       QStringLiteral("SELECT record_id FROM certificate_issues WHERE number = ?"),
                       {number}, taken);
    if (!error.isValid() && taken.isValid())
        return refused(StoreFaultKind::NumberTaken, number);
    return error;
}

QSqlError insertSettings(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                         const QMap<QString, QString>& values)
{
    QVariant last;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid() &&
        (values.contains(QStringLiteral("pattern")) || values.contains(QStringLiteral("prefix")))) {
        LabSettings changed;
        error = readSettings(database, changed);
        for (auto at = values.cbegin(); at != values.cend(); ++at)
            changed.values.insert(at.key(), at.value());
        qint64 sequence = 0;
        QString number;
        if (!error.isValid())
            error =
                nextNumber(database, changed, QDateTime::currentDateTimeUtc(), sequence, number);
    }
    if (!error.isValid())
        error =
            firstValue(database, QStringLiteral("SELECT max(entry) FROM lab_settings"), {}, last);
    qint64 entry = last.toLongLong();
    const QString now = utcNow();
    for (auto at = values.cbegin(); !error.isValid() && at != values.cend(); ++at) {
        QSqlQuery query(database);
        error = exec(query,
                     QStringLiteral("INSERT INTO lab_settings (entry, setting, value, saved_utc, "
                                    "saved_by) VALUES (?, ?, ?, ?, ?)"),
                     {++entry, at.key(), at.value(), now, savedBy});
    }
    return error;
}

// Whether the record can be issued: there, not corrected, not issued yet.
QSqlError issuable(QSqlDatabase database, const QString& recordId)
{
    QVariant found;
    QSqlError error = firstValue(database, QStringLiteral("SELECT id FROM records WHERE id = ?"),
                                 {recordId}, found);
    if (!error.isValid() && !found.isValid())
        return refused(StoreFaultKind::NoSuchRecord, recordId);
    QVariant correction;
    if (!error.isValid())
        error = firstValue(database, QStringLiteral("SELECT id FROM records WHERE corrects = ?"),
                           {recordId}, correction);
    if (!error.isValid() && correction.isValid())
        return refused(StoreFaultKind::Superseded, correction.toString());
    QVariant number;
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT number FROM certificate_issues WHERE "
                                          "record_id = ?"),
                           {recordId}, number);
    if (!error.isValid() && number.isValid())
        return refused(StoreFaultKind::AlreadyIssued, number.toString());
    return error;
}

QSqlError insertIssue(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                      CertificateIssue& issue)
{
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = issuable(database, issue.recordId);
    LabSettings settings;
    if (!error.isValid())
        error = readSettings(database, settings);
    if (!error.isValid())
        error = nextNumber(database, settings, issue.issuedUtc, issue.sequence, issue.number);
    if (error.isValid())
        return error;
    QVariant head;
    error = firstValue(database,
                       QStringLiteral("SELECT hash FROM records ORDER BY %1 DESC LIMIT 1")
                           .arg(QLatin1String(dialect.orderColumn)),
                       {}, head);
    if (error.isValid())
        return error;
    issue.chainHead = head.toString();
    issue.savedBy = savedBy;
    QSqlQuery query(database);
    return exec(query,
                QStringLiteral("INSERT INTO certificate_issues (sequence, number, record_id, "
                               "issued_utc, issued_by, role, saved_by, chain_head) VALUES (?, ?, "
                               "?, ?, ?, ?, ?, ?)"),
                {issue.sequence, issue.number, issue.recordId,
                 issue.issuedUtc.toUTC().toString(Qt::ISODateWithMs), issue.issuedBy, issue.role,
                 savedBy, issue.chainHead});
}

} // namespace

QString referenceProblem(const ReferenceStandard& standard, const QDate& today)
{
    const std::pair<const char*, const QString*> texts[] = {
        {"identifier", &standard.identifier},
        {"description", &standard.description},
        {"certificate", &standard.certificate},
        {"laboratory that calibrated it", &standard.calibratedBy}};
    for (const auto& [name, text] : texts)
        if (text->trimmed().isEmpty() || text->size() > 200 || unsafeLine(*text))
            return QStringLiteral("The reference's %1 must be one line of 1 to 200 characters, "
                                  "without control characters or marks that turn text around.")
                .arg(QLatin1String(name));
    if (standard.identifier != standard.identifier.trimmed())
        return QStringLiteral("The reference's identifier must not begin or end with blanks.");
    if (!std::isfinite(standard.U) || !(standard.U > 0) || !std::isfinite(standard.drift) ||
        standard.drift < 0 || !(standard.k >= 1 && standard.k <= 10))
        return QStringLiteral("The reference's U must be a number above 0, its k a number from "
                              "1 to 10 and its drift a number of at least 0.");
    if (!standard.calibrated.isValid() || !standard.due.isValid())
        return QStringLiteral("The reference's dates of calibration and due must be dates, as "
                              "YYYY-MM-DD.");
    if (standard.calibrated.year() < 1900 || standard.calibrated > today)
        return QStringLiteral("The reference's calibration must lie between 1900 and today.");
    if (standard.due < standard.calibrated)
        return QStringLiteral("The reference's due date lies before its calibration.");
    return {};
}

QString labSettingProblem(const QString& name, const QString& value)
{
    const bool long_ = name == QLatin1String("address") || name == QLatin1String("statements");
    if (name == QLatin1String("logo"))
        return {};
    if (value.size() > (long_ ? 1000 : 200) || unsafeLine(value))
        return QStringLiteral("The laboratory's %1 must be one line of at most %2 characters, "
                              "without control characters or marks that turn text around.")
            .arg(name)
            .arg(long_ ? 1000 : 200);
    if (name == QLatin1String("pattern") && !value.isEmpty() && !validNumberPattern(value))
        return QStringLiteral("A number pattern holds {seq} or {seq:N} once, and may hold {year} "
                              "and {prefix}: e.g. {prefix}-{year}-{seq:5}.");
    return {};
}

QString logoFromFile(const QString& path, QString& fault)
{
    // A plain file only, judged before it is opened: a pipe would never end, a device never
    // stop giving bytes.
    constexpr qint64 largest = 512 * 1024;
    const QFileInfo info(path);
    if (!info.isFile()) {
        fault = QStringLiteral("the logo %1 is no file").arg(path);
        return {};
    }
    if (info.size() > largest) {
        fault = QStringLiteral("the logo %1 is larger than 512 KiB").arg(path);
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fault = QStringLiteral("the logo %1 cannot be read: %2").arg(path, file.errorString());
        return {};
    }
    const QByteArray bytes = file.read(largest + 1);
    if (bytes.size() > largest) {
        fault = QStringLiteral("the logo %1 is larger than 512 KiB").arg(path);
        return {};
    }
    const bool png = bytes.startsWith("\x89PNG\r\n\x1a\n");
    const bool svg = bytes.left(512).contains("<svg");
    if (file.error() != QFileDevice::NoError || (!png && !svg)) {
        fault = QStringLiteral("the logo %1 is no PNG or SVG image").arg(path);
        return {};
    }
    return QString::fromLatin1((png ? "png:" : "svg:") + bytes.toBase64());
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
QString disagreement(bool typed, bool differs, const QString& name,
                     const ReferenceStandard& standard)
{
    if (!typed || !differs)
        return {};
    return QStringLiteral("%1 is not what the register holds for %2 (entry %3); leave it out, or "
                          "take the register's")
        .arg(name, standard.identifier)
        .arg(standard.entry);
}

QString typedReferenceProblem(const LabSettings& lab, const TypedReference& typed,
                              const RecordInput& input)
{
    if (lab.value(QStringLiteral("registered-references-only")) == QLatin1String("yes"))
        return QStringLiteral("The laboratory takes reference standards from its register "
                              "only, which does not hold %1.")
            .arg(input.referenceId);
    if (!typed.u || !typed.due)
        return QStringLiteral("The reference standard %1 is not in the register: give its U "
                              "(%2) and its due date (%3).")
            .arg(input.referenceId, typed.uName, typed.dueName);
    return {};
}

// The entry that stood on the day of the calibration: a correction of an old one names the
// reference as it was then, not as later entries changed it.
const ReferenceStandard& standingOn(const QList<ReferenceStandard>& entries, const QDate& day)
{
    const ReferenceStandard* standing = &entries.first();
    for (const ReferenceStandard& entry : entries)
        if (entry.savedUtc.toLocalTime().date() <= day)
            standing = &entry;
    return *standing;
}

// Why a standard cannot stand behind a calibration on `day`: calibrated after it, withdrawn,
// or due before it.
QString useProblem(const ReferenceStandard& standard, const QDate& day)
{
    if (standard.calibrated.isValid() && standard.calibrated > day)
        return QStringLiteral("The reference standard %1 was calibrated on %2, after the "
                              "calibration on %3: its certificate cannot stand behind it.")
            .arg(standard.identifier, standard.calibrated.toString(Qt::ISODate),
                 day.toString(Qt::ISODate));
    switch (referenceUse(standard, day)) {
    case ReferenceUse::Withdrawn:
        return QStringLiteral("The reference standard %1 has been withdrawn from the register "
                              "and cannot be used.")
            .arg(standard.identifier);
    case ReferenceUse::Overdue:
        return QStringLiteral("The reference standard %1 was due for calibration on %2, before "
                              "the calibration on %3: it cannot be used.")
            .arg(standard.identifier, standard.due.toString(Qt::ISODate),
                 day.toString(Qt::ISODate));
    default:
        return {};
    }
}

} // namespace

QString decideReference(const QList<ReferenceStandard>& entries, const LabSettings& lab,
                        const TypedReference& typed, const QDate& day, RecordInput& input,
                        const QString& lookAlike)
{
    if (entries.isEmpty() && !lookAlike.isEmpty())
        return QStringLiteral("The register holds %1, not %2: name the reference standard as the "
                              "register does, or give it a name of its own.")
            .arg(lookAlike, input.referenceId);
    if (entries.isEmpty()) {
        const QString problem = typedReferenceProblem(lab, typed, input);
        if (problem.isEmpty())
            input.referenceSource = QStringLiteral("typed");
        return problem;
    }
    const ReferenceStandard& standard = standingOn(entries, day);
    for (const QString& problem :
         {disagreement(typed.u, input.referenceUncertainty != standard.U, typed.uName, standard),
          disagreement(typed.k, input.setUp.referenceK != standard.k, typed.kName, standard),
          disagreement(typed.drift, input.setUp.drift != standard.drift, typed.driftName, standard),
          disagreement(typed.due, input.referenceDue != standard.due, typed.dueName, standard)})
        if (!problem.isEmpty())
            return problem;
    if (const QString problem = useProblem(standard, day); !problem.isEmpty())
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
                .arg(referenceColumns),
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
                                  .arg(referenceColumns),
                              {identifier}, entries);
    });
}

const QStringList& LabSettings::names()
{
    static const QStringList known{QStringLiteral("name"),
                                   QStringLiteral("address"),
                                   QStringLiteral("accreditation"),
                                   QStringLiteral("accreditation-body"),
                                   QStringLiteral("pattern"),
                                   QStringLiteral("prefix"),
                                   QStringLiteral("statements"),
                                   QStringLiteral("logo"),
                                   QStringLiteral("registered-references-only")};
    return known;
}

StoreFailure readLabSettings(RecordStore& store, LabSettings& settings)
{
    settings = {};
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        return version < registerVersion ? QSqlError() : readSettings(database, settings);
    });
}

StoreFailure setLabSettings(RecordStore& store, const QMap<QString, QString>& values)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertSettings(database, dialect, savedBy, values);
        },
        refusalOf);
}

bool validNumberPattern(const QString& pattern)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{([^}]*)\\}"));
    int sequences = 0;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(pattern)) {
        static const QRegularExpression known(
            QStringLiteral("^(year|prefix|seq|seq:([1-9]|1[0-2]))$"));
        if (!known.match(match.captured(1)).hasMatch())
            return false;
        sequences += match.captured(1).startsWith(QLatin1String("seq")) ? 1 : 0;
    }
    // Braces that open no placeholder would be read as one by a later version.
    QString rest = pattern;
    rest.remove(placeholder);
    return sequences == 1 && !rest.contains(QLatin1Char('{')) && !rest.contains(QLatin1Char('}'));
}

QString certificateNumber(const QString& pattern, qint64 sequence, int year, const QString& prefix)
{
    static const QRegularExpression placeholder(
        QStringLiteral("\\{(year|prefix|seq)(?::(\\d+))?\\}"));
    QString number;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(pattern)) {
        number += pattern.mid(from, match.capturedStart() - from);
        const QString name = match.captured(1);
        if (name == QLatin1String("year"))
            number += QString::number(year);
        else if (name == QLatin1String("prefix"))
            number += prefix;
        else
            number +=
                QStringLiteral("%1").arg(sequence, match.captured(2).toInt(), 10, QLatin1Char('0'));
        from = match.capturedEnd();
    }
    return number + pattern.mid(from);
}

namespace {

// The record of `id`, read whole; none when the store does not hold it.
StoreFailure recordOf(RecordStore& store, const QString& id, std::optional<Record>& record)
{
    QList<Record> found;
    RecordFilter filter = RecordFilter::ofIdPrefix(id);
    filter.limit = 1;
    const StoreFailure failure = store.list(filter, found);
    record = found.isEmpty() || found[0].id != id ? std::nullopt : std::optional(found[0]);
    return failure;
}

// For a correction: the line of records it corrects, back to the first, with their issues.
StoreFailure amendmentOf(RecordStore& store, const Record& record, CertificateStatus& status)
{
    status.calibrated = record.createdUtc.toLocalTime().date();
    QString id = record.corrects;
    for (int step = 0; !id.isEmpty() && step < 10000; ++step) {
        std::optional<Record> corrected;
        std::optional<CertificateIssue> issue;
        StoreFailure failure = recordOf(store, id, corrected);
        if (!failure.failed() && corrected)
            failure = readIssue(store, id, issue);
        if (failure.failed() || !corrected)
            return failure;
        // Only certificates issued count: the nearest replaced, the first amended.
        if (issue) {
            ++status.amendment;
            if (status.replaces.isEmpty())
                status.replaces = issue->number;
            status.amends = issue->number;
        }
        status.calibrated = corrected->createdUtc.toLocalTime().date();
        id = corrected->corrects;
    }
    return {};
}

} // namespace

StoreFailure calibrationDay(RecordStore& store, const QString& corrects, QDate& day)
{
    day = QDate();
    QString id = corrects;
    for (int step = 0; step < 10000 && !id.isEmpty(); ++step) {
        std::optional<Record> record;
        if (const StoreFailure failure = recordOf(store, id, record); failure.failed() || !record)
            return failure;
        day = record->createdUtc.toLocalTime().date();
        id = record->corrects;
    }
    return {};
}

StoreFailure customersUsed(RecordStore& store, QStringList& customers, int most)
{
    customers.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        QSqlQuery query(database);
        const QSqlError error =
            exec(query,
                 QStringLiteral("SELECT DISTINCT customer FROM records WHERE customer IS NOT NULL "
                                "AND customer <> '' ORDER BY customer LIMIT %1")
                     .arg(most),
                 {});
        while (!error.isValid() && query.next())
            customers << query.value(0).toString();
        return error.isValid() ? error : query.lastError();
    });
}

StoreFailure lastMethod(RecordStore& store, QString& method)
{
    method.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
        if (version < registerVersion)
            return QSqlError();
        QVariant value;
        const QSqlError error = firstValue(
            database,
            QStringLiteral("SELECT method FROM records WHERE method IS NOT NULL AND method <> '' "
                           "ORDER BY created_utc DESC, %1 DESC LIMIT 1")
                .arg(QLatin1String(dialect.orderColumn)),
            {}, value);
        method = value.toString();
        return error;
    });
}

StoreFailure certificateStatus(RecordStore& store, const Record& record,
                               const QStringList& correctedBy, CertificateStatus& status)
{
    StoreFailure failure = readIssue(store, record.id, status.issue);
    if (!failure.failed() && !correctedBy.isEmpty()) {
        std::optional<CertificateIssue> correction;
        failure = readIssue(store, correctedBy.first(), correction);
        status.supersededBy =
            correction ? correction->number
                       : QStringLiteral("of record %1 (not yet issued)").arg(correctedBy.first());
    }
    if (!failure.failed())
        failure = readLabSettings(store, status.lab);
    if (!failure.failed())
        failure = amendmentOf(store, record, status);
    return failure;
}

StoreFailure issueCertificate(RecordStore& store, CertificateIssue& issue)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertIssue(database, dialect, savedBy, issue);
        },
        refusalOf);
}

StoreFailure readIssue(RecordStore& store, const QString& recordId,
                       std::optional<CertificateIssue>& issue)
{
    issue.reset();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        QSqlQuery query(database);
        const QSqlError error = exec(query,
                                     QStringLiteral("SELECT sequence, number, record_id, "
                                                    "issued_utc, issued_by, role, saved_by, "
                                                    "chain_head FROM certificate_issues WHERE "
                                                    "record_id = ?"),
                                     {recordId});
        if (!error.isValid() && query.next())
            issue = CertificateIssue{
                query.value(0).toLongLong(),
                query.value(1).toString(),
                query.value(2).toString(),
                QDateTime::fromString(query.value(3).toString(), Qt::ISODateWithMs),
                query.value(4).toString(),
                query.value(5).toString(),
                query.value(6).toString(),
                query.value(7).toString()};
        return error.isValid() ? error : query.lastError();
    });
}

} // namespace quarvet::records
