#include "recordformat.h"

#include "calc/utf8text.h"

#include "columns.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
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

QString printableText(const QString& text)
{
    if (plainAscii(text, false))
        return text;
    return QString::fromStdString(calc::printable(text.toStdString()));
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
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
