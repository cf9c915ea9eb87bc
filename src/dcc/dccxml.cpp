#include "dccxml.h"

#include "calc/outcome.h"
#include "records/recordformat.h"

#include <cmath>

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
        // k is Student's t for 95.45 %, as the budget takes it.
        out.si(QStringLiteral("coverageProbability"), QStringLiteral("0.9545"));
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
