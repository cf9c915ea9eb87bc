#include "recordformat.h"

#include "calc/utf8text.h"

#include "columns.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include <string_view>

namespace quarvet::records {
namespace {

QString plain(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::Double)
        return numberText(value.toDouble());
    return value.toString();
}

QString csvField(const QString& text)
{
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code == ',' || code == '"' || code == '\r' || code == '\n')
            return QLatin1Char('"') +
                   QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                   QLatin1Char('"');
    }
    return text;
}

// Whether a text is printable ASCII that needs no escape anywhere: most of a record is.
bool plainAscii(const QString& text, bool forJson)
{
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || code >= 0x7F || code == '\\' || (forJson && code == '"'))
            return false;
    }
    return true;
}

// A JSON string (RFC 8259): quotes, backslashes and control characters escaped.
void appendJsonString(QString& json, const QString& text)
{
    json += QLatin1Char('"');
    if (plainAscii(text, true)) {
        json += text;
        json += QLatin1Char('"');
        return;
    }
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code == '"' || code == '\\') {
            json += QLatin1Char('\\');
            json += c;
        } else if (code == '\n') {
            json += QLatin1String("\\n");
        } else if (code == '\r') {
            json += QLatin1String("\\r");
        } else if (code == '\t') {
            json += QLatin1String("\\t");
        } else if (code == '\b') {
            json += QLatin1String("\\b");
        } else if (code == '\f') {
            json += QLatin1String("\\f");
        } else if (code < 0x20) {
            json += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        } else {
            json += c;
        }
    }
    json += QLatin1Char('"');
}

void appendJsonValue(QString& json, const QVariant& value)
{
    if (value.isNull())
        json += QLatin1String("null");
    else if (value.typeId() == QMetaType::Double && !std::isfinite(value.toDouble()))
        json += QLatin1String("null"); // JSON has no word for it; only another program writes it
    else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int)
        json += plain(value);
    else
        appendJsonString(json, value.toString());
}

void appendReadings(QString& json, const Record& record)
{
    json += QLatin1Char('[');
    for (qsizetype n = 0; n < record.verification.size(); ++n) {
        json += (n ? QLatin1String(",{\"reading\":") : QLatin1String("{\"reading\":")) +
                numberText(record.verification[n].reading) + QLatin1String(",\"target\":") +
                numberText(record.verification[n].target) + QLatin1Char('}');
    }
    json += QLatin1Char(']');
}

// The local time of a saving time as yyyy-MM-ddTHH:mm:ss, as QDateTime::toLocalTime writes
// it. The zone's offset is looked up once for the stretch between two of its transitions,
// not for every record: a listing of a million records would spend most of its time there.
QString localText(const QDateTime& time)
{
    struct Stretch {
        QByteArray zoneVariable;
        qint64 from = 1;
        qint64 to = 0;
        int offset = 0;
    };
    thread_local Stretch known;
    if (!time.isValid())
        return {};
    const qint64 at = time.toMSecsSinceEpoch();
    const QByteArray zoneVariable = qgetenv("TZ");
    if (at < known.from || at >= known.to || zoneVariable != known.zoneVariable) {
        const QTimeZone zone = QTimeZone::systemTimeZone();
        if (!zone.isValid())
            return time.toLocalTime().toString(Qt::ISODate);
        const QTimeZone::OffsetData before = zone.previousTransition(time.addMSecs(1));
        const QTimeZone::OffsetData after = zone.nextTransition(time);
        known = {zoneVariable,
                 before.atUtc.isValid() ? before.atUtc.toMSecsSinceEpoch()
                                        : std::numeric_limits<qint64>::min(),
                 after.atUtc.isValid() ? after.atUtc.toMSecsSinceEpoch()
                                       : std::numeric_limits<qint64>::max(),
                 zone.offsetFromUtc(time)};
    }
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(at + known.offset * 1000LL, Qt::UTC);
    const QDate date = local.date();
    const QTime clock = local.time();
    if (date.year() < 0 || date.year() > 9999)
        return time.toLocalTime().toString(Qt::ISODate);
    char said[20];
    std::snprintf(said, sizeof said, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(),
                  date.day(), clock.hour(), clock.minute(), clock.second());
    return QString::fromLatin1(said, 19);
}

// The columns in the order of their export names: JSON objects have always listed their
// keys sorted, and scripts that compare listings rely on the same bytes.
const QList<const Column*>& columnsByName()
{
    static const QList<const Column*> sorted = [] {
        QList<const Column*> columns;
        for (const Column& column : recordColumns())
            columns << &column;
        std::sort(columns.begin(), columns.end(), [](const Column* a, const Column* b) {
            return std::string_view(a->exported) < std::string_view(b->exported);
        });
        return columns;
    }();
    return sorted;
}

} // namespace

namespace {

// A number as JSON writes it: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(QStringView word)
{
    qsizetype at = 0;
    const auto digits = [&] {
        const qsizetype from = at;
        while (at < word.size() && word[at] >= u'0' && word[at] <= u'9')
            ++at;
        return at - from;
    };
    if (at < word.size() && word[at] == u'-')
        ++at;
    if (at < word.size() && word[at] == u'0')
        ++at;
    else if (digits() == 0)
        return false;
    if (at < word.size() && word[at] == u'.' && (++at, digits() == 0))
        return false;
    if (at < word.size() && (word[at] == u'e' || word[at] == u'E')) {
        ++at;
        if (at < word.size() && (word[at] == u'+' || word[at] == u'-'))
            ++at;
        if (digits() == 0)
            return false;
    }
    return at == word.size();
}

// A stored number into JSON as it is stored; infinity, which JSON has no word for, as null.
bool appendStoredNumber(QString& json, QStringView word)
{
    if (word == QLatin1String("inf")) {
        json += QLatin1String("null");
        return true;
    }
    if (!isJsonNumber(word))
        return false;
    json += word;
    return true;
}

// The value after `key` up to the next blank (or the end, for the last key), and the rest.
bool field(QStringView& text, QLatin1String key, QStringView& value, bool last = false)
{
    if (!text.startsWith(key))
        return false;
    text = text.mid(key.size());
    const qsizetype blank = last ? -1 : text.indexOf(u' ');
    value = blank < 0 ? text : text.left(blank);
    text = blank < 0 ? QStringView() : text.mid(blank + 1);
    return true;
}

// One point of the kept text as a JSON object, keys sorted; false when it is not as this
// program writes it.
bool appendPointObject(QString& json, QStringView point)
{
    QStringView target, readings, uc, nuEff, k, U, verdict;
    if (!field(point, QLatin1String("target="), target) ||
        !field(point, QLatin1String("readings="), readings) ||
        !field(point, QLatin1String("uc="), uc) || !field(point, QLatin1String("nuEff="), nuEff) ||
        !field(point, QLatin1String("k="), k) || !field(point, QLatin1String("U="), U))
        return false;
    // Where the laboratory had a scope, where the result stood against it.
    QStringView scope;
    const bool scoped = field(point, QLatin1String("scope="), scope);
    if (!field(point, QLatin1String("verdict="), verdict, true))
        return false;
    json += QLatin1String("{\"U\":");
    bool ok = appendStoredNumber(json, U);
    json += QLatin1String(",\"k\":");
    ok = ok && appendStoredNumber(json, k);
    json += QLatin1String(",\"nuEff\":");
    ok = ok && appendStoredNumber(json, nuEff);
    json += QLatin1String(",\"readings\":[");
    for (const QStringView reading : readings.split(u',')) {
        if (json.back() != u'[')
            json += QLatin1Char(',');
        ok = ok && appendStoredNumber(json, reading);
    }
    json += QLatin1Char(']');
    if (scoped) {
        json += QLatin1String(",\"scope\":");
        appendJsonString(json, scope.toString());
    }
    json += QLatin1String(",\"target\":");
    ok = ok && appendStoredNumber(json, target);
    json += QLatin1String(",\"uc\":");
    ok = ok && appendStoredNumber(json, uc);
    // Where the point has no verdict, JSON says why, as the record's own `verdict` does.
    json += QLatin1String(",\"verdict\":");
    appendJsonString(json, pointVerdictText(verdict));
    json += QLatin1Char('}');
    return ok;
}

} // namespace

// Written from the kept text in one pass, its numbers as they are kept: a listing of a
// million records writes this for each.
void appendPointsJson(QString& json, const Record& record, const QString& text)
{
    if (!record.setUp) {
        json += QLatin1String("null");
        return;
    }
    const qsizetype start = json.size();
    json += QLatin1Char('[');
    bool ok = true;
    if (!text.isEmpty())
        for (const QStringView point : QStringView(text).split(QStringView(u"; "))) {
            if (json.size() > start + 1)
                json += QLatin1Char(',');
            ok = ok && appendPointObject(json, point);
        }
    json += QLatin1Char(']');
    // A text this program did not write, as it is: no list could say what it holds.
    if (!ok) {
        json.truncate(start);
        appendJsonString(json, text);
    }
}

QString leftToRightAsStored(const QString& name)
{
    // Left-to-right isolate, then override; their ends in the opposite order.
    return QStringLiteral("\u2066\u202D") + name + QStringLiteral("\u202C\u2069");
}

QString printableText(const QString& text)
{
    if (plainAscii(text, false))
        return text;
    return QString::fromStdString(calc::printable(text.toStdString()));
}

namespace {

// The shortest digits that read back as `value`, and where the decimal point goes among them.
struct ShortestDigits {
    char digits[24];
    int count = 0;
    int point = 0;
};

ShortestDigits shortestDigits(const char* mantissa, const char* end)
{
    ShortestDigits shortest;
    const char* const e = std::find(mantissa, end, 'e');
    for (const char* c = mantissa; c < e; ++c)
        if (*c != '.')
            shortest.digits[shortest.count++] = *c;
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    shortest.point = exponent + 1;
    return shortest;
}

} // namespace

// Qt's QString::number(value, 'g', QLocale::FloatingPointShortest), which every listing so
// far has written, made from std::to_chars's shortest digits: the same text at a fraction of
// the cost, since a listing writes a dozen numbers a record. Of the decimal and the scientific
// form, the shorter; the decimal one when they are as long.
QString numberText(double value)
{
    if (value == 0 || !std::isfinite(value))
        return QString::number(value, 'g', QLocale::FloatingPointShortest);
    char scientific[32];
    const char* const end = std::to_chars(scientific, scientific + sizeof scientific, value,
                                          std::chars_format::scientific)
                                .ptr;
    const bool negative = scientific[0] == '-';
    const char* const mantissa = scientific + (negative ? 1 : 0);
    const ShortestDigits shortest = shortestDigits(mantissa, end);
    const int count = shortest.count;
    const int point = shortest.point;
    const int decimalLength = point <= 0 ? 2 - point + count : point >= count ? point : count + 1;
    if (decimalLength > end - mantissa)
        return QString::fromLatin1(scientific, end - scientific);
    char decimal[32];
    char* at = decimal;
    if (negative)
        *at++ = '-';
    if (point <= 0) {
        *at++ = '0';
        *at++ = '.';
        at = std::fill_n(at, -point, '0');
    }
    for (int n = 0; n < count; ++n) {
        if (n == point && point > 0)
            *at++ = '.';
        *at++ = shortest.digits[n];
    }
    at = std::fill_n(at, std::max(point - count, 0), '0');
    return QString::fromLatin1(decimal, at - decimal);
}

QString csvHeader()
{
    QStringList names;
    for (const Column& column : recordColumns())
        names << QString::fromLatin1(column.exported);
    return names.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString csvRow(const Record& record)
{
    QString row;
    bool first = true;
    for (const Column& column : recordColumns()) {
        if (!first)
            row += QLatin1Char(',');
        first = false;
        row += csvField(plain(column.exportedValue(record)));
    }
    return row + QStringLiteral("\r\n");
}

QString jsonObject(const Record& record)
{
    QString json = QStringLiteral("{");
    for (const Column* column : columnsByName()) {
        if (json.size() > 1)
            json += QLatin1Char(',');
        appendJsonString(json, QString::fromLatin1(column->exported));
        json += QLatin1Char(':');
        if (column->type == ColumnType::Readings)
            appendReadings(json, record);
        else if (column->appendJson)
            column->appendJson(json, record);
        else
            appendJsonValue(json, column->exportedValue(record));
    }
    return json + QLatin1Char('}');
}

QString textLine(const Record& record)
{
    QStringList values;
    for (const Column& column : recordColumns()) {
        const QString value = column.exported == std::string_view("date_utc")
                                  ? localText(record.createdUtc)
                                  : plain(column.exportedValue(record));
        values << printableText(value);
    }
    return values.join(QLatin1Char('\t'));
}

} // namespace quarvet::records
