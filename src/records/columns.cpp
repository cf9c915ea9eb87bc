#include "columns.h"

#include "recordformat.h"

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
};

} // namespace

std::span<const Column> recordColumns()
{
    return columns;
}

} // namespace quarvet::records
