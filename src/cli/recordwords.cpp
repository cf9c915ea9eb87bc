#include "recordwords.h"

#include "records/recordformat.h"

#include "calc/check.h"
#include "calc/utf8text.h"
#include "messages/messages.h"

namespace quarvet::cli {

std::string said(const QString& text)
{
    return text.toStdString();
}

QString printableLine(const QStringList& values)
{
    QStringList printable;
    for (const QString& value : values)
        printable << records::printableText(value);
    return printable.join(QLatin1Char('\t'));
}

QString jsonText(const QString& value)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c == u'"' || c == u'\\')
            quoted += QLatin1Char('\\') + c;
        // Control characters, and marks that turn or break text where a terminal shows it,
        // as escapes a JSON reader reads as the same string.
        else if (const char16_t code = c.unicode();
                 code < 0x20 || (code >= 0x7F && code <= 0x9F) || calc::isInvisibleMark(code))
            quoted += QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

int refusal(const QString& why, Output& io)
{
    io.sayError("quarvet-cli: " + calc::printable(said(why)) + "\n");
    return failure;
}

QString text(const std::string& word)
{
    return QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
}

bool validUtf8(const std::string& word)
{
    return text(word).toStdString() == word;
}

bool numberOf(const std::string& label, const std::string& word, const calc::Separators& separators,
              double& value, Output& io)
{
    const calc::EntryReading reading = calc::readEntry(word, separators);
    if (!reading.isNumber()) {
        io.sayError("quarvet-cli: " + label + " '" + calc::printable(word) + "' is not a number\n");
        return false;
    }
    // A record keeps its numbers for good: one read another way than typed is refused, where
    // a calculation only warns.
    if (const auto pair = calc::probeSeparators(separators);
        pair && calc::holds(word, pair->foreign)) {
        io.sayError("quarvet-cli: " + messages::foreignSeparatorInRecord(label, word, *pair) +
                    "\n");
        return false;
    }
    value = reading.value;
    return true;
}

QString csvField(const QString& value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    return QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace quarvet::cli
