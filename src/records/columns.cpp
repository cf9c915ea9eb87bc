#include "columns.h"

#include "recordformat.h"

#include <QTimeZone>

#include <cmath>
#include <limits>
#include <optional>

namespace quarvet::records {
namespace {

// Qt binds a null text as SQL NULL; a record's texts are never NULL, at most empty.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant optional(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<double> optionalFrom(const QVariant& value)
{
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

// Written as yyyy-MM-ddTHH:mm:ss.zzzZ by every version; read without the general date parser,
// which a listing of a million records would otherwise spend most of its time in.
QDateTime timeFrom(const QString& text)
{
    const auto digits = [&](int from, int count) {
        int value = 0;
        for (int n = from; n < from + count; ++n) {
            const int digit = text[n].unicode() - '0';
            if (digit < 0 || digit > 9)
                return -1;
            value = value * 10 + digit;
        }
        return value;
    };
    if (text.size() == 24 && text[10] == QLatin1Char('T') && text[23] == QLatin1Char('Z')) {
        const QDateTime read(QDate(digits(0, 4), digits(5, 2), digits(8, 2)),
                             QTime(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3)),
                             Qt::UTC);
        if (read.isValid())
            return read;
    }
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

// yyyy-MM-ddTHH:mm:ss.zzzZ, as Qt writes it, without its general formatter.
QString utcText(const QDateTime& time)
{
    const QDateTime utc = time.timeSpec() == Qt::UTC ? time : time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (!date.isValid() || date.year() < 0 || date.year() > 9999)
        return utc.toString(Qt::ISODateWithMs);
    char said[24];
    const auto put = [&said](int at, int value, int width) {
        for (int n = width - 1; n >= 0; --n, value /= 10)
            said[at + n] = static_cast<char>('0' + value % 10);
    };
    put(0, date.year(), 4);
    put(5, date.month(), 2);
    put(8, date.day(), 2);
    put(11, clock.hour(), 2);
    put(14, clock.minute(), 2);
    put(17, clock.second(), 2);
    put(20, clock.msec(), 3);
    said[4] = said[7] = '-';
    said[10] = 'T';
    said[13] = said[16] = ':';
    said[19] = '.';
    said[23] = 'Z';
    return QString::fromLatin1(said, 24);
}

// Empty as SQL NULL: a column a later version added, which older records do not have.
QVariant textOrNull(const QString& value)
{
    return value.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(value);
}

// A set-up input of a record that has one; NULL in records kept before, and where a record
// of today's was found without it (see readSetUp).
QVariant setUpValue(const Record& record, double BudgetSetUp::*member)
{
    const double value = record.setUp ? (*record.setUp).*member : std::nan("");
    return std::isnan(value) ? QVariant(QMetaType(QMetaType::Double)) : QVariant(value);
}

// The first input that is there makes the set-up. An input that is NULL beside others stays
// not a number rather than taking its default: written back as NULL, it changes the record's
// hash, so that an input removed from a kept record shows.
void readSetUp(Record& record, double BudgetSetUp::*member, const QVariant& value)
{
    if (value.isNull())
        return;
    if (!record.setUp) {
        const double none = std::nan("");
        record.setUp = BudgetSetUp{none, none, none, none, none, std::nullopt};
    }
    (*record.setUp).*member = value.toDouble();
}

// A text of a record whose results have budgets; null in records kept before.
QVariant evaluatedText(const Record& record, const QString& value)
{
    return record.setUp ? text(value) : QVariant(QMetaType(QMetaType::QString));
}

// The pooled standard deviation and its degrees of freedom, NULL where the laboratory had
// none; read only into a record whose results have budgets.
QVariant pooledValue(const Record& record, double calc::PooledRepeatability::*member)
{
    return record.setUp && record.setUp->pooled ? QVariant((*record.setUp->pooled).*member)
                                                : QVariant(QMetaType(QMetaType::Double));
}
void readPooled(Record& record, double calc::PooledRepeatability::*member, const QVariant& value)
{
    if (value.isNull() || !record.setUp)
        return;
    if (!record.setUp->pooled)
        record.setUp->pooled = calc::PooledRepeatability{std::nan(""), std::nan("")};
    (*record.setUp->pooled).*member = value.toDouble();
}

#define SET_UP_FIELD(member)                                                                       \
    [](const Record& r) { return setUpValue(r, &BudgetSetUp::member); },                           \
        [](Record& r, const QVariant& v) { readSetUp(r, &BudgetSetUp::member, v); }

#define TEXT_FIELD(member)                                                                         \
    [](const Record& r) { return text(r.member); },                                                \
        [](Record& r, const QVariant& v) { r.member = v.toString(); }
#define LATER_TEXT_FIELD(member)                                                                   \
    [](const Record& r) { return textOrNull(r.member); },                                          \
        [](Record& r, const QVariant& v) { r.member = v.toString(); }
#define NUMBER_FIELD(member)                                                                       \
    [](const Record& r) { return QVariant(r.member); },                                            \
        [](Record& r, const QVariant& v) { r.member = v.toDouble(); }
#define OPTIONAL_FIELD(member)                                                                     \
    [](const Record& r) { return optional(r.member); },                                            \
        [](Record& r, const QVariant& v) { r.member = optionalFrom(v); }

using T = ColumnType;

const Column columns[] = {
    {"id", T::Text, false, 1, "PRIMARY KEY", "", "id", TEXT_FIELD(id), nullptr},
    {"created_utc", T::Text, false, 1, "", "", "date_utc",
     [](const Record& r) { return text(utcText(r.createdUtc)); },
     [](Record& r, const QVariant& v) { r.createdUtc = timeFrom(v.toString()); }, nullptr},
    {"program_version", T::Text, false, 1, "", "", "program_version", TEXT_FIELD(programVersion),
     nullptr},
    {"instrument_type", T::Text, false, 1, "", "", "type", TEXT_FIELD(instrumentType), nullptr},
    {"serial", T::Text, false, 1, "", "", "serial", TEXT_FIELD(serial), nullptr},
    {"display_line", T::Integer, false, 1, "", "", "display_line",
     [](const Record& r) { return QVariant(r.displayLine); },
     [](Record& r, const QVariant& v) { r.displayLine = v.toInt(); }, nullptr},
    {"technician", T::Text, false, 1, "", "", "technician", TEXT_FIELD(technician), nullptr},
    {"reference_id", T::Text, false, 1, "", "", "reference", TEXT_FIELD(referenceId), nullptr},
    {"reference_u", T::Real, false, 1, "", "", "reference_u", NUMBER_FIELD(referenceUncertainty),
     nullptr},
    {"reference_due", T::Text, false, 1, "", "", "reference_due",
     [](const Record& r) { return text(r.referenceDue.toString(Qt::ISODate)); },
     [](Record& r, const QVariant& v) {
         r.referenceDue = QDate::fromString(v.toString(), Qt::ISODate);
     },
     nullptr},
    {"ambient", T::Real, true, 1, "", "", "ambient", OPTIONAL_FIELD(ambient), nullptr},
    {"target1_typed", T::Text, false, 1, "", "", "target1_typed", TEXT_FIELD(entriesTyped[0]),
     nullptr},
    {"target2_typed", T::Text, false, 1, "", "", "target2_typed", TEXT_FIELD(entriesTyped[1]),
     nullptr},
    {"indicated1_typed", T::Text, false, 1, "", "", "indicated1_typed", TEXT_FIELD(entriesTyped[2]),
     nullptr},
    {"indicated2_typed", T::Text, false, 1, "", "", "indicated2_typed", TEXT_FIELD(entriesTyped[3]),
     nullptr},
    {"target1", T::Real, false, 1, "", "", "target1", NUMBER_FIELD(entriesRead[0]), nullptr},
    {"target2", T::Real, false, 1, "", "", "target2", NUMBER_FIELD(entriesRead[1]), nullptr},
    {"indicated1", T::Real, false, 1, "", "", "indicated1", NUMBER_FIELD(entriesRead[2]), nullptr},
    {"indicated2", T::Real, false, 1, "", "", "indicated2", NUMBER_FIELD(entriesRead[3]), nullptr},
    {"current_slope_code", T::Text, false, 1, "", "", "current_slope_code",
     TEXT_FIELD(currentSlopeCode), nullptr},
    {"current_offset_code", T::Text, false, 1, "", "", "current_offset_code",
     TEXT_FIELD(currentOffsetCode), nullptr},
    {"slope_code", T::Text, false, 1, "", "", "slope_code", TEXT_FIELD(slopeCode), nullptr},
    {"offset_code", T::Text, false, 1, "", "", "offset_code", TEXT_FIELD(offsetCode), nullptr},
    {"predicted_error1", T::Real, false, 1, "", "", "predicted_error1",
     NUMBER_FIELD(predictedErrors[0]), nullptr},
    {"predicted_error2", T::Real, false, 1, "", "", "predicted_error2",
     NUMBER_FIELD(predictedErrors[1]), nullptr},
    {"verification", T::Readings, false, 1, "", "", "verification",
     [](const Record&) { return QVariant(); }, [](Record&, const QVariant&) {},
     [](const Record& r) {
         QStringList pairs;
         for (const VerificationReading& reading : r.verification)
             pairs << numberText(reading.target) + QLatin1Char(' ') + numberText(reading.reading);
         return QVariant(pairs.join(QStringLiteral("; ")));
     }},
    {"tolerance", T::Real, true, 1, "", "", "tolerance", OPTIONAL_FIELD(tolerance), nullptr},
    {"rule", T::Text, false, 1, "", "", "rule", TEXT_FIELD(rule), nullptr},
    // Said in words where there is no verdict, as every other face says it.
    {"verdict", T::Text, false, 1, "", "", "verdict", TEXT_FIELD(verdict),
     [](const Record& r) { return QVariant(asLeftVerdictText(r)); }},
    {"note", T::Text, false, 1, "", "", "note", TEXT_FIELD(note), nullptr},
    {"corrects", T::Text, true, 1, "REFERENCES records(id)", "", "corrects",
     [](const Record& r) {
         return r.corrects.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                     : QVariant(r.corrects);
     },
     [](Record& r, const QVariant& v) { r.corrects = v.toString(); },
     [](const Record& r) { return text(r.corrects); }},
    // A column added later must fill older records with NULL: the chain's hashes leave out
    // what is NULL, so that adding a column never changes the hash of a record kept before.
    {"saved_by", T::Text, true, 4, "", "", "saved_by", LATER_TEXT_FIELD(savedBy),
     [](const Record& r) { return text(r.savedBy); }},
    {"previous_hash", T::Text, true, 4, "", "", "previous_hash", LATER_TEXT_FIELD(previousHash),
     [](const Record& r) { return text(r.previousHash); }},
    {"hash", T::Text, true, 4, "", "", "hash", LATER_TEXT_FIELD(hash),
     [](const Record& r) { return text(r.hash); }},
    // The uncertainty of each result, NULL in records kept before it was evaluated.
    {"reference_k", T::Real, true, 5, "", "", "reference_k", SET_UP_FIELD(referenceK), nullptr},
    {"drift", T::Real, true, 5, "", "", "drift", SET_UP_FIELD(drift), nullptr},
    {"resolution", T::Real, true, 5, "", "", "resolution", SET_UP_FIELD(resolution), nullptr},
    {"uniformity", T::Real, true, 5, "", "", "uniformity", SET_UP_FIELD(uniformity), nullptr},
    {"stability", T::Real, true, 5, "", "", "stability", SET_UP_FIELD(stability), nullptr},
    {"decision_rule", T::Text, true, 5, "", "", "decision_rule", LATER_TEXT_FIELD(decisionRule),
     [](const Record& r) { return evaluatedText(r, r.decisionRule); }},
    {"as_found_verdict", T::Text, true, 5, "", "", "as_found_verdict",
     LATER_TEXT_FIELD(asFoundVerdict),
     [](const Record& r) { return evaluatedText(r, asFoundVerdictText(r)); }},
    {"as_found_points", T::Text, true, 5, "", "", "as_found_points",
     LATER_TEXT_FIELD(asFoundPoints),
     [](const Record& r) { return evaluatedText(r, r.asFoundPoints); },
     [](QString& json, const Record& r) { appendPointsJson(json, r, r.asFoundPoints); }},
    {"as_left_points", T::Text, true, 5, "", "", "as_left_points", LATER_TEXT_FIELD(asLeftPoints),
     [](const Record& r) { return evaluatedText(r, r.asLeftPoints); },
     [](QString& json, const Record& r) { appendPointsJson(json, r, r.asLeftPoints); }},
    // What a certificate is issued for and against, NULL in records kept before and where
    // not given.
    {"customer", T::Text, true, 6, "", "", "customer", LATER_TEXT_FIELD(customer),
     [](const Record& r) { return text(r.customer); }},
    {"customer_address", T::Text, true, 6, "", "", "customer_address",
     LATER_TEXT_FIELD(customerAddress), [](const Record& r) { return text(r.customerAddress); }},
    {"item_description", T::Text, true, 6, "", "", "item_description",
     LATER_TEXT_FIELD(itemDescription), [](const Record& r) { return text(r.itemDescription); }},
    {"method", T::Text, true, 6, "", "", "method", LATER_TEXT_FIELD(method),
     [](const Record& r) { return text(r.method); }},
    {"reference_source", T::Text, true, 6, "", "", "reference_source",
     LATER_TEXT_FIELD(referenceSource), [](const Record& r) { return text(r.referenceSource); }},
    {"reference_certificate", T::Text, true, 6, "", "", "reference_certificate",
     LATER_TEXT_FIELD(referenceCertificate),
     [](const Record& r) { return text(r.referenceCertificate); }},
    {"reference_calibrated_by", T::Text, true, 6, "", "", "reference_calibrated_by",
     LATER_TEXT_FIELD(referenceCalibratedBy),
     [](const Record& r) { return text(r.referenceCalibratedBy); }},
    {"correction_reason", T::Text, true, 6, "", "", "correction_reason",
     LATER_TEXT_FIELD(correctionReason), [](const Record& r) { return text(r.correctionReason); }},
    // The Type A term of a point read once, where the laboratory had evaluated one.
    {"pooled_s", T::Real, true, 7, "", "", "pooled_s",
     [](const Record& r) { return pooledValue(r, &calc::PooledRepeatability::s); },
     [](Record& r, const QVariant& v) { readPooled(r, &calc::PooledRepeatability::s, v); },
     nullptr},
    {"pooled_nu", T::Real, true, 7, "", "", "pooled_nu",
     [](const Record& r) { return pooledValue(r, &calc::PooledRepeatability::nu); },
     [](Record& r, const QVariant& v) { readPooled(r, &calc::PooledRepeatability::nu, v); },
     nullptr},
    // Where, when and in what state; NULL in records kept before, and where not given.
    {"location", T::Text, true, 7, "", "", "location", LATER_TEXT_FIELD(location),
     [](const Record& r) { return text(r.location); }},
    {"received", T::Text, true, 7, "", "", "received",
     [](const Record& r) { return textOrNull(r.received.toString(Qt::ISODate)); },
     [](Record& r, const QVariant& v) {
         r.received = QDate::fromString(v.toString(), Qt::ISODate);
     },
     [](const Record& r) { return text(r.received.toString(Qt::ISODate)); }},
    {"item_condition", T::Text, true, 7, "", "", "item_condition", LATER_TEXT_FIELD(condition),
     [](const Record& r) { return text(r.condition); }},
    {"deviations", T::Text, true, 7, "", "", "deviations", LATER_TEXT_FIELD(deviations),
     [](const Record& r) { return text(r.deviations); }},
    {"tolerance_source", T::Text, true, 7, "", "", "tolerance_source",
     LATER_TEXT_FIELD(toleranceSource), [](const Record& r) { return text(r.toleranceSource); }},
};

} // namespace

QDateTime storedTime(const QString& text)
{
    return timeFrom(text);
}

// Written and read by hand: a listing of a million records reads and writes these texts for
// every record.
QString pointsText(const QList<PointResult>& points)
{
    QString said;
    for (const PointResult& point : points) {
        if (!said.isEmpty())
            said += QLatin1String("; ");
        said += QLatin1String("target=") + numberText(point.target) + QLatin1String(" readings=");
        for (qsizetype n = 0; n < point.readings.size(); ++n) {
            if (n)
                said += QLatin1Char(',');
            said += numberText(point.readings[n]);
        }
        said += QLatin1String(" uc=") + numberText(point.uc) + QLatin1String(" nuEff=") +
                numberText(point.nuEff) + QLatin1String(" k=") + numberText(point.k) +
                QLatin1String(" U=") + numberText(point.U);
        if (!point.scope.isEmpty())
            said += QLatin1String(" scope=") + point.scope;
        said += QLatin1String(" verdict=") + point.verdict;
    }
    return said;
}

namespace {

// The value after `key` at the start of `text`, up to the next blank, and `text` left after
// it; false when `text` does not begin with the key.
bool take(QStringView& text, QLatin1String key, QStringView& value)
{
    if (!text.startsWith(key))
        return false;
    text = text.mid(key.size());
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    value = blank < 0 ? text : text.left(blank);
    text = blank < 0 ? QStringView() : text.mid(blank + 1);
    return true;
}

// As numberText writes them, infinity ("inf") included.
bool readNumber(QStringView word, double& value)
{
    if (word == QLatin1String("inf") || word == QLatin1String("-inf")) {
        value = word.startsWith(QLatin1Char('-')) ? -std::numeric_limits<double>::infinity()
                                                  : std::numeric_limits<double>::infinity();
        return true;
    }
    bool ok = false;
    value = word.toDouble(&ok);
    return ok;
}

std::optional<PointResult> readPoint(QStringView text)
{
    PointResult point;
    QStringView value;
    if (!take(text, QLatin1String("target="), value) || !readNumber(value, point.target) ||
        !take(text, QLatin1String("readings="), value))
        return std::nullopt;
    for (const QStringView reading : value.split(QLatin1Char(','))) {
        double read = 0;
        if (!readNumber(reading, read))
            return std::nullopt;
        point.readings << read;
    }
    const std::pair<QLatin1String, double*> numbers[] = {{QLatin1String("uc="), &point.uc},
                                                         {QLatin1String("nuEff="), &point.nuEff},
                                                         {QLatin1String("k="), &point.k},
                                                         {QLatin1String("U="), &point.U}};
    for (const auto& [key, number] : numbers)
        if (!take(text, key, value) || !readNumber(value, *number))
            return std::nullopt;
    if (take(text, QLatin1String("scope="), value))
        point.scope = value.toString();
    const QLatin1String verdict("verdict=");
    if (!text.startsWith(verdict))
        return std::nullopt;
    point.verdict = text.mid(verdict.size()).toString();
    return point;
}

} // namespace

namespace {

// A stored verdict that no longer reads as one is shown as it stands: its hash tells the rest.
QString stated(const QString& stored, const calc::Outcome& outcome)
{
    if (!stored.isEmpty() && !outcome.verdict)
        return stored;
    return QString::fromStdString(calc::outcomeText(outcome));
}

} // namespace

QString referenceTraceability(const Record& record)
{
    if (record.referenceSource == QLatin1String("register"))
        return QStringLiteral("The results are traceable to the SI through reference standard "
                              "%1, calibrated by %2 under certificate %3.")
            .arg(record.referenceId, record.referenceCalibratedBy, record.referenceCertificate);
    return QStringLiteral("Reference standard %1 was typed, not taken from the register: its own "
                          "calibration certificate is not named with this record.")
        .arg(record.referenceId);
}

calc::Budget setUpBudget(const Record& record, std::span<const double> readings)
{
    const BudgetSetUp setUp = record.setUp.value_or(BudgetSetUp{});
    const double oneReading = 0.0;
    return calc::budgetOf({record.referenceUncertainty,
                           setUp.referenceK,
                           setUp.drift,
                           setUp.resolution,
                           setUp.uniformity,
                           setUp.stability,
                           {},
                           setUp.pooled},
                          readings.empty() ? std::span<const double>(&oneReading, 1) : readings);
}

calc::Outcome asLeftOutcome(const Record& record)
{
    if (const auto verdict = calc::readVerdict(record.verdict.toStdString()))
        return {verdict};
    // Nothing was judged: readings taken without a tolerance, or none.
    const calc::Verdict unjudged[] = {calc::Verdict::NotJudged};
    return calc::outcomeOf(std::span(unjudged, record.verification.isEmpty() ? 0 : 1), false);
}

calc::Outcome asFoundOutcome(const Record& record)
{
    if (!record.setUp)
        return calc::Outcome::notEvaluated();
    return pointOutcome(record.asFoundVerdict);
}

calc::Outcome pointOutcome(QStringView verdict)
{
    if (const auto read = calc::readVerdict(verdict.toString().toStdString()))
        return {read};
    const calc::Verdict unjudged[] = {calc::Verdict::NotJudged};
    return calc::outcomeOf(unjudged, false);
}

QString asLeftVerdictText(const Record& record)
{
    return stated(record.verdict, asLeftOutcome(record));
}

QString asFoundVerdictText(const Record& record)
{
    return stated(record.setUp ? record.asFoundVerdict : QString(), asFoundOutcome(record));
}

QString pointVerdictText(QStringView verdict)
{
    return stated(verdict.toString(), pointOutcome(verdict));
}

QList<PointResult> readPoints(const QString& text)
{
    QList<PointResult> points;
    if (text.isEmpty())
        return points;
    for (const QStringView part : QStringView(text).split(QStringView(u"; ")))
        // What does not read is left out: the record's hash then tells that it was changed.
        if (const std::optional<PointResult> point = readPoint(part))
            points << *point;
    return points;
}

std::span<const Column> recordColumns()
{
    return columns;
}

QStringList changedFields(const Record& before, const Record& after)
{
    static const QStringList identity{QStringLiteral("id"),
                                      QStringLiteral("created_utc"),
                                      QStringLiteral("program_version"),
                                      QStringLiteral("target1"),
                                      QStringLiteral("target2"),
                                      QStringLiteral("indicated1"),
                                      QStringLiteral("indicated2"),
                                      QStringLiteral("corrects"),
                                      QStringLiteral("saved_by"),
                                      QStringLiteral("previous_hash"),
                                      QStringLiteral("hash"),
                                      QStringLiteral("correction_reason")};
    // Quoted, so that a value holding "; serial: …" reads as the one value it is, and cut
    // short, so that one long value does not push the other changes off the page.
    const auto shown = [](const QVariant& value) {
        const QString text = value.toString();
        if (value.isNull() || text.isEmpty())
            return QStringLiteral("(none)");
        return QStringLiteral("“%1”").arg(text.size() > 80 ? text.left(79) + QStringLiteral("…")
                                                           : text);
    };
    QStringList changes;
    for (const Column& column : recordColumns()) {
        if (identity.contains(QLatin1String(column.name)))
            continue;
        const QString name =
            QString::fromLatin1(column.exported).replace(QLatin1Char('_'), QLatin1Char(' '));
        const QVariant was = column.exportedValue(before);
        const QVariant is = column.exportedValue(after);
        if (shown(was) == shown(is))
            continue;
        changes << (name.endsWith(QLatin1String(" points"))
                        ? name + QStringLiteral(": changed")
                        : QStringLiteral("%1: %2 → %3").arg(name, shown(was), shown(is)));
    }
    return changes;
}

} // namespace quarvet::records
