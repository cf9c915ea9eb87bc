#include "recordformat.h"

#include "calc/utf8text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace quarvet::records {
namespace {

// One field of a record, as a name and its value (a text, a number, or null).
struct Field {
    const char* name;
    QVariant value;
};

QVariant optionalNumber(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant();
}

QString readingsText(const Record& record)
{
    QStringList pairs;
    for (const VerificationReading& reading : record.verification)
        pairs << numberText(reading.target) + QLatin1Char(' ') + numberText(reading.reading);
    return pairs.join(QStringLiteral("; "));
}

QList<Field> fieldsOf(const Record& record)
{
    return {
        {"id", record.id},
        {"date_utc", record.createdUtc.toUTC().toString(Qt::ISODateWithMs)},
        {"program_version", record.programVersion},
        {"type", record.instrumentType},
        {"serial", record.serial},
        {"display_line", record.displayLine},
        {"technician", record.technician},
        {"reference", record.referenceId},
        {"reference_u", record.referenceUncertainty},
        {"reference_due", record.referenceDue.toString(Qt::ISODate)},
        {"ambient", optionalNumber(record.ambient)},
        {"target1_typed", record.entriesTyped[0]},
        {"target2_typed", record.entriesTyped[1]},
        {"indicated1_typed", record.entriesTyped[2]},
        {"indicated2_typed", record.entriesTyped[3]},
        {"target1", record.entriesRead[0]},
        {"target2", record.entriesRead[1]},
        {"indicated1", record.entriesRead[2]},
        {"indicated2", record.entriesRead[3]},
        {"current_slope_code", record.currentSlopeCode},
        {"current_offset_code", record.currentOffsetCode},
        {"slope_code", record.slopeCode},
        {"offset_code", record.offsetCode},
        {"predicted_error1", record.predictedErrors[0]},
        {"predicted_error2", record.predictedErrors[1]},
        {"verification", readingsText(record)},
        {"tolerance", optionalNumber(record.tolerance)},
        {"rule", record.rule},
        {"verdict", record.verdict},
        {"note", record.note},
        {"corrects", record.corrects},
    };
}

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
    static const QString special = QStringLiteral(",\"\r\n");
    for (QChar c : text)
        if (special.contains(c))
            return QLatin1Char('"') +
                   QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                   QLatin1Char('"');
    return text;
}

} // namespace

QString printableText(const QString& text)
{
    return QString::fromStdString(calc::printable(text.toStdString()));
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString csvHeader()
{
    QStringList names;
    for (const Field& field : fieldsOf(Record{}))
        names << QString::fromLatin1(field.name);
    return names.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString csvRow(const Record& record)
{
    QStringList values;
    for (const Field& field : fieldsOf(record))
        values << csvField(plain(field.value));
    return values.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString jsonObject(const Record& record)
{
    QJsonObject object;
    for (const Field& field : fieldsOf(record)) {
        const QString name = QString::fromLatin1(field.name);
        if (name == QLatin1String("verification")) {
            QJsonArray readings;
            for (const VerificationReading& reading : record.verification)
                readings.append(
                    QJsonObject{{"target", reading.target}, {"reading", reading.reading}});
            object.insert(name, readings);
        } else {
            object.insert(name, QJsonValue::fromVariant(field.value));
        }
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString textLine(const Record& record)
{
    QStringList values;
    for (const Field& field : fieldsOf(record)) {
        const QString value = QString::fromLatin1(field.name) == QLatin1String("date_utc")
                                  ? record.createdUtc.toLocalTime().toString(Qt::ISODate)
                                  : plain(field.value);
        values << printableText(value);
    }
    return values.join(QLatin1Char('\t'));
}

} // namespace quarvet::records
