#include "columns.h"

#include "recordformat.h"

#include <QRegularExpression>
#include <QTimeZone>

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

// A set-up input of a record that has one; NULL in records kept before.
QVariant setUpValue(const Record& record, double BudgetSetUp::*member)
{
    return record.setUp ? QVariant((*record.setUp).*member)
                        : QVariant(QMetaType(QMetaType::Double));
}

// Read in the order of the columns: the first that is there makes the set-up.
void readSetUp(Record& record, double BudgetSetUp::*member, const QVariant& value)
{
    if (value.isNull())
        return;
    if (!record.setUp)
        record.setUp = BudgetSetUp{};
    (*record.setUp).*member = value.toDouble();
}

// The results at points as one text, "target=T readings=R,R uc=.. nuEff=.. k=.. U=.. verdict=V"
// a point, "; " between points; NULL for none.
QVariant pointsValue(const QList<PointResult>& points)
{
    if (points.isEmpty())
        return QVariant(QMetaType(QMetaType::QString));
    return QVariant(pointsText(points));
}

// A text of a record whose results have budgets; null in records kept before.
QVariant evaluatedText(const Record& record, const QString& value)
{
    return record.setUp ? text(value) : QVariant(QMetaType(QMetaType::QString));
}

// A list, empty where no point was read; null in records kept before results had budgets.
QVariant pointsJson(const Record& record, const QList<PointResult>& points)
{
    if (!record.setUp)
        return QVariant();
    QVariantList list;
    for (const PointResult& point : points) {
        QVariantList readings;
        for (double reading : point.readings)
            readings << reading;
        list << QVariantMap{{QStringLiteral("target"), point.target},
                            {QStringLiteral("readings"), readings},
                            {QStringLiteral("uc"), point.uc},
                            {QStringLiteral("nuEff"), point.nuEff},
                            {QStringLiteral("k"), point.k},
                            {QStringLiteral("U"), point.U},
                            {QStringLiteral("verdict"), point.verdict}};
    }
    return list;
}

#define SET_UP_FIELD(member)                                                                       \
    [](const Record& r) { return setUpValue(r, &BudgetSetUp::member); },                           \
        [](Record& r, const QVariant& v) { readSetUp(r, &BudgetSetUp::member, v); }
#define POINTS_FIELD(member)                                                                       \
    [](const Record& r) { return pointsValue(r.member); },                                         \
        [](Record& r, const QVariant& v) { r.member = readPoints(v.toString()); }

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
    {"verdict", T::Text, false, 1, "", "", "verdict", TEXT_FIELD(verdict), nullptr},
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
     [](const Record& r) { return evaluatedText(r, r.asFoundVerdict); }},
    {"as_found_points", T::Text, true, 5, "", "", "as_found_points", POINTS_FIELD(asFound),
     [](const Record& r) { return text(pointsText(r.asFound)); },
     [](const Record& r) { return pointsJson(r, r.asFound); }},
    {"as_left_points", T::Text, true, 5, "", "", "as_left_points", POINTS_FIELD(asLeft),
     [](const Record& r) { return text(pointsText(r.asLeft)); },
     [](const Record& r) { return pointsJson(r, r.asLeft); }},
};

} // namespace

QString pointsText(const QList<PointResult>& points)
{
    QStringList said;
    for (const PointResult& point : points) {
        QStringList readings;
        for (double reading : point.readings)
            readings << numberText(reading);
        said << QStringLiteral("target=%1 readings=%2 uc=%3 nuEff=%4 k=%5 U=%6 verdict=%7")
                    .arg(numberText(point.target), readings.join(QLatin1Char(',')),
                         numberText(point.uc), numberText(point.nuEff), numberText(point.k),
                         numberText(point.U), point.verdict);
    }
    return said.join(QStringLiteral("; "));
}

QList<PointResult> readPoints(const QString& text)
{
    static const QRegularExpression point(QStringLiteral(
        "^target=(\\S+) readings=(\\S+) uc=(\\S+) nuEff=(\\S+) k=(\\S+) U=(\\S+) verdict=(.*)$"));
    QList<PointResult> points;
    if (text.isEmpty())
        return points;
    for (const QString& part : text.split(QStringLiteral("; "))) {
        const QRegularExpressionMatch match = point.match(part);
        // What does not read is left out: the record's hash then tells that it was changed.
        if (!match.hasMatch())
            continue;
        PointResult result;
        result.target = match.captured(1).toDouble();
        for (const QString& reading : match.captured(2).split(QLatin1Char(',')))
            result.readings << reading.toDouble();
        result.uc = match.captured(3).toDouble();
        result.nuEff = match.captured(4).toDouble();
        result.k = match.captured(5).toDouble();
        result.U = match.captured(6).toDouble();
        result.verdict = match.captured(7);
        points << result;
    }
    return points;
}

std::span<const Column> recordColumns()
{
    return columns;
}

} // namespace quarvet::records
