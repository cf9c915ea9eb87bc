#include "dccxml.h"

#include "calc/outcome.h"
#include "records/recordformat.h"

#include "calc/entry.h"
#include "calc/uncertainty.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quarvet::dcc::detail {
QString Writer::number(double value)
{
    if (!std::isfinite(value))
        unwritable = QStringLiteral("a number that is not finite");
    return records::numberText(value);
}

const QString& Writer::kept(const QString& value)
{
    for (qsizetype n = 0; n < value.size(); ++n) {
        const QChar c = value.at(n);
        const bool paired =
            c.isHighSurrogate() && n + 1 < value.size() && value.at(n + 1).isLowSurrogate();
        const char32_t code = paired ? QChar::surrogateToUcs4(c, value.at(n + 1)) : c.unicode();
        if ((code < 0x20 && code != 0x9 && code != 0xA && code != 0xD) ||
            (c.isSurrogate() && !paired) || (code & 0xFFFE) == 0xFFFE ||
            (code >= 0xFDD0 && code <= 0xFDEF))
            unwritable = QStringLiteral("a text that holds a character XML cannot carry");
        n += paired ? 1 : 0;
    }
    return value;
}

void Writer::open(const QString& name, const QString& refType)
{
    xml_.writeStartElement(dccNamespace, name);
    if (!refType.isEmpty())
        xml_.writeAttribute(QStringLiteral("refType"), refType);
}

void Writer::element(const QString& name, const QString& value)
{
    xml_.writeTextElement(dccNamespace, name, kept(value));
}

void Writer::text(const QString& name, const QString& value)
{
    open(name);
    xml_.writeStartElement(dccNamespace, QStringLiteral("content"));
    xml_.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
    xml_.writeCharacters(kept(value));
    xml_.writeEndElement();
    close();
}

void Writer::si(const QString& name, const QString& value)
{
    xml_.writeTextElement(siNamespace, name, value);
}

namespace {

// Wide enough for two numbers of 18 digits set 20 places apart.
__extension__ typedef __int128 Wide;

// A double's shortest decimal as a whole number of units of 10^exponent; false where it has
// more digits than the difference can carry exactly.
bool decimalOf(double value, Wide& units, int& exponent)
{
    const std::string text = calc::shortestText(value);
    const std::size_t mark = text.find_first_of("eE");
    const std::size_t end = mark == std::string::npos ? text.size() : mark;
    const std::size_t point = text.find('.');
    units = 0;
    int digits = 0;
    for (std::size_t n = text[0] == '-' ? 1 : 0; n < end; ++n)
        if (text[n] != '.') {
            units = units * 10 + (text[n] - '0');
            digits += 1;
        }
    exponent = point == std::string::npos ? 0 : -int(end - point - 1);
    if (mark != std::string::npos)
        exponent += std::atoi(text.c_str() + mark + 1);
    if (text[0] == '-')
        units = -units;
    return digits <= 18;
}

} // namespace

double decimalDifference(double a, double b)
{
    Wide x = 0;
    Wide y = 0;
    int ex = 0;
    int ey = 0;
    if (!std::isfinite(a) || !std::isfinite(b) || !decimalOf(a, x, ex) || !decimalOf(b, y, ey) ||
        std::abs(ex - ey) > 20)
        return a - b;
    const int exponent = std::min(ex, ey);
    for (; ex > exponent; --ex)
        x *= 10;
    for (; ey > exponent; --ey)
        y *= 10;
    Wide units = x - y;
    const bool negative = units < 0;
    std::string digits;
    for (units = negative ? -units : units; units > 0 || digits.empty(); units /= 10)
        digits.insert(digits.begin(), char('0' + int(units % 10)));
    const std::string text = (negative ? "-" : "") + digits + "e" + std::to_string(exponent);
    double difference = 0.0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), difference);
    return read.ec == std::errc() ? difference : a - b;
}

QString dateOf(const QDateTime& utc)
{
    return utc.toLocalTime().date().toString(Qt::ISODate);
}

void quantity(Writer& out, const QString& refType, const QString& name, const Value& value)
{
    out.open(QStringLiteral("quantity"), refType);
    out.text(QStringLiteral("name"), name);
    out.xml().writeStartElement(siNamespace, QStringLiteral("real"));
    out.si(QStringLiteral("label"), name);
    out.si(QStringLiteral("value"), out.number(value.value));
    out.si(QStringLiteral("unit"), value.unit);
    if (std::isfinite(value.U) && value.U >= 0 && std::isfinite(value.k) && value.k >= 1) {
        out.xml().writeStartElement(siNamespace, QStringLiteral("expandedUnc"));
        out.si(QStringLiteral("uncertainty"), out.number(value.U));
        out.si(QStringLiteral("coverageFactor"), out.number(value.k));
        // k is Student's t for the probability of k = 2 of a normal distribution, erf(√2),
        // as the budget takes it: written as the budget holds it, not rounded.
        out.si(QStringLiteral("coverageProbability"), out.number(calc::coverageProbability));
        out.close();
    }
    out.close();
    out.close();
}

void noQuantity(Writer& out, const QString& refType, const QString& name, const QString& value)
{
    out.open(QStringLiteral("quantity"), refType);
    out.text(QStringLiteral("name"), name);
    out.text(QStringLiteral("noQuantity"), value);
    out.close();
}

QString conformityOf(const QString& verdict)
{
    const std::optional<calc::Verdict> read = calc::readVerdict(verdict.toStdString());
    if (!read)
        return {};
    switch (*read) {
    case calc::Verdict::Pass:
        return QStringLiteral("pass");
    case calc::Verdict::ConditionalPass:
        return QStringLiteral("conditionalPass");
    case calc::Verdict::ConditionalFail:
        return QStringLiteral("conditionalFail");
    case calc::Verdict::Fail:
        return QStringLiteral("fail");
    default:
        return {};
    }
}

} // namespace quarvet::dcc::detail
