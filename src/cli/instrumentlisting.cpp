#include "instrumentcommands.h"

#include "recordwords.h"

#include "records/recordformat.h"

#include <QCryptographicHash>

// How the register's listings are written: one line an instrument in text, CSV and JSON, and
// the due ones as a calendar.
namespace quarvet::cli {

const QStringList& instrumentListFields()
{
    static const QStringList fields{QStringLiteral("serial"),
                                    QStringLiteral("type"),
                                    QStringLiteral("line"),
                                    QStringLiteral("description"),
                                    QStringLiteral("owner"),
                                    QStringLiteral("location"),
                                    QStringLiteral("interval_months"),
                                    QStringLiteral("state"),
                                    QStringLiteral("last_calibration"),
                                    QStringLiteral("due"),
                                    QStringLiteral("overdue"),
                                    QStringLiteral("review")};
    return fields;
}

QStringList instrumentListValues(const lab::Recall& recall, const QDate& today)
{
    const lab::Instrument& instrument = recall.instrument;
    const auto yesNo = [](bool yes) {
        return yes ? QStringLiteral("true") : QStringLiteral("false");
    };
    return {instrument.serial,
            instrument.type,
            QString::number(instrument.line),
            instrument.description,
            instrument.owner,
            instrument.location,
            QString::number(instrument.intervalMonths),
            lab::stateText(instrument.state),
            recall.lastCalibration.toString(Qt::ISODate),
            recall.due ? recall.due->toString(Qt::ISODate) : QString(),
            yesNo(recall.overdueOn(today)),
            yesNo(recall.review)};
}

QString instrumentJson(const lab::Recall& recall, const QDate& today)
{
    const QStringList values = instrumentListValues(recall, today);
    QStringList members;
    for (qsizetype n = 0; n < values.size(); ++n) {
        const QString& field = instrumentListFields()[n];
        const bool bare = field == QLatin1String("line") ||
                          field == QLatin1String("interval_months") ||
                          field == QLatin1String("overdue") || field == QLatin1String("review");
        QString value = bare ? values[n] : jsonText(values[n]);
        // A date that is not there is null, not an empty text a reader would take for a date.
        if ((field == QLatin1String("last_calibration") || field == QLatin1String("due")) &&
            values[n].isEmpty())
            value = QStringLiteral("null");
        members << jsonText(field) + QLatin1Char(':') + value;
    }
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

namespace {

// A text as an iCalendar TEXT value: backslash, semicolon, comma and line breaks escaped.
QString calendarText(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char(';'), QStringLiteral("\\;"));
    text.replace(QLatin1Char(','), QStringLiteral("\\,"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\n"));
    return text;
}

// A content line folded at 75 octets, never inside a character's UTF-8 bytes, ended by CRLF.
QByteArray foldedLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray folded;
    int width = 0;
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        const auto byte = static_cast<unsigned char>(bytes[n]);
        int length = 1;
        if (byte >= 0xF0)
            length = 4;
        else if (byte >= 0xE0)
            length = 3;
        else if (byte >= 0xC0)
            length = 2;
        if (width + length > 75) {
            folded += "\r\n ";
            width = 1;
        }
        folded += bytes.mid(n, length);
        width += length;
        n += length - 1;
    }
    return folded + "\r\n";
}

QString dateValue(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

// The same event for the same instrument whenever it is due: a calendar that imports a newer
// file moves it to the new day rather than keeping the old one beside it.
QString eventUid(const lab::Recall& recall)
{
    const QByteArray key = (recall.instrument.type + QChar(0) + recall.instrument.serial).toUtf8();
    return QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32)) +
           QStringLiteral("@quarvet");
}

QStringList eventLines(const lab::Recall& recall, const QDate& today, const QString& stamp)
{
    const lab::Instrument& instrument = recall.instrument;
    // A line each, as a calendar shows a description: the instrument's own texts stand as
    // typed, with nothing added to them that could read as theirs.
    QStringList about;
    about << QStringLiteral("Type %1, serial number %2")
                 .arg(instrument.type, records::printableText(instrument.serial));
    if (!instrument.description.isEmpty())
        about << records::printableText(instrument.description);
    about << (instrument.owner.isEmpty()
                  ? QStringLiteral("Owner: the laboratory")
                  : QStringLiteral("Owner: %1").arg(records::printableText(instrument.owner)));
    if (!instrument.location.isEmpty())
        about << QStringLiteral("Location: %1").arg(records::printableText(instrument.location));
    about << (recall.lastCalibration.isValid()
                  ? QStringLiteral("Last calibrated %1; interval %2 months")
                        .arg(recall.lastCalibration.toString(Qt::ISODate))
                        .arg(instrument.intervalMonths)
                  : QStringLiteral("Never calibrated"));
    if (recall.overdueOn(today))
        about << QStringLiteral("Overdue");
    if (recall.review)
        about << QStringLiteral("Its interval is to be reviewed");
    return {QStringLiteral("BEGIN:VEVENT"),
            QStringLiteral("UID:") + eventUid(recall),
            QStringLiteral("DTSTAMP:") + stamp,
            QStringLiteral("DTSTART;VALUE=DATE:") + dateValue(*recall.due),
            QStringLiteral("DTEND;VALUE=DATE:") + dateValue(recall.due->addDays(1)),
            QStringLiteral("SUMMARY:") +
                calendarText(QStringLiteral("Calibration due: %1 %2")
                                 .arg(instrument.type, records::printableText(instrument.serial))),
            QStringLiteral("DESCRIPTION:") + calendarText(about.join(QLatin1Char('\n'))),
            QStringLiteral("TRANSP:TRANSPARENT"),
            QStringLiteral("END:VEVENT")};
}

} // namespace

std::string calendarHead()
{
    std::string head;
    for (const char* line :
         {"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Quarvet//Quarvet Basic//EN",
          "CALSCALE:GREGORIAN", "METHOD:PUBLISH"})
        head += foldedLine(QLatin1String(line)).toStdString();
    return head;
}

std::string calendarEvent(const lab::Recall& recall, const QDate& today, const QDateTime& nowUtc)
{
    const QString stamp = nowUtc.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    std::string event;
    if (recall.due)
        for (const QString& line : eventLines(recall, today, stamp))
            event += foldedLine(line).toStdString();
    return event;
}

std::string calendarEnd()
{
    return foldedLine(QStringLiteral("END:VCALENDAR")).toStdString();
}

} // namespace quarvet::cli
