#include "certificatemark.h"

#include "records/recordform.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace quarvet::certificate {
namespace {

constexpr const char* markNamespace = "urn:quarvet:certificate:1";
constexpr const char* rdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// The mark's fields by their names in the metadata.
const std::pair<const char*, QString lab::CertificateMark::*> markFields[] = {
    {"kind", &lab::CertificateMark::kind},
    {"number", &lab::CertificateMark::number},
    {"record", &lab::CertificateMark::recordId},
    {"recordHash", &lab::CertificateMark::recordHash},
    {"chainHead", &lab::CertificateMark::chainHead}};

} // namespace

// Whether a mark read from a file is one this program writes: an id, hashes of 64 small
// hexadecimal digits (or none), a kind it knows and a number on one printable line. Anything
// else is no mark of its own, whatever it says.
bool plausible(const lab::CertificateMark& mark)
{
    static const QRegularExpression id(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    static const QRegularExpression hash(QStringLiteral("^([0-9a-f]{64})?$"));
    const bool draft = mark.kind == QLatin1String("draft");
    const bool known =
        draft || mark.kind == QLatin1String("issued") || mark.kind == QLatin1String("copy");
    return known && id.match(mark.recordId).hasMatch() && hash.match(mark.recordHash).hasMatch() &&
           hash.match(mark.chainHead).hasMatch() && draft == mark.number.isEmpty() &&
           mark.number.size() <= 200 && !records::unsafeLine(mark.number);
}

QByteArray markMetadata(const lab::CertificateMark& mark)
{
    QByteArray packet;
    QXmlStreamWriter xml(&packet);
    xml.writeProcessingInstruction(
        QStringLiteral("xpacket"),
        QStringLiteral("begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\""));
    xml.writeNamespace(QString::fromLatin1(rdfNamespace), QStringLiteral("rdf"));
    xml.writeNamespace(QString::fromLatin1(markNamespace), QStringLiteral("qv"));
    xml.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
    xml.writeStartElement(QStringLiteral("adobe:ns:meta/"), QStringLiteral("xmpmeta"));
    xml.writeStartElement(QString::fromLatin1(rdfNamespace), QStringLiteral("RDF"));
    xml.writeStartElement(QString::fromLatin1(rdfNamespace), QStringLiteral("Description"));
    xml.writeAttribute(QString::fromLatin1(rdfNamespace), QStringLiteral("about"), QString());
    for (const auto& [name, field] : markFields)
        xml.writeAttribute(QString::fromLatin1(markNamespace), QLatin1String(name), mark.*field);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeProcessingInstruction(QStringLiteral("xpacket"), QStringLiteral("end=\"r\""));
    return packet;
}

std::optional<lab::CertificateMark> markFromMetadata(const QString& metadata)
{
    QXmlStreamReader xml(metadata);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (!attributes.hasAttribute(QLatin1String(markNamespace), QStringLiteral("record")))
            continue;
        lab::CertificateMark mark;
        for (const auto& [name, field] : markFields)
            mark.*field =
                attributes.value(QLatin1String(markNamespace), QLatin1String(name)).toString();
        return plausible(mark) ? std::optional(mark) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<lab::CertificateMark> markFromText(const QStringList& lines)
{
    static const QRegularExpression number(
        QStringLiteral("^Certificate number (.+?) Date of issue "));
    static const QRegularExpression record(QStringLiteral("^Record id (\\S+)$"));
    static const QRegularExpression hash(
        QStringLiteral("^Record hash \\(SHA-256\\) ([0-9a-f]{64}|none: .*)$"));
    static const QRegularExpression head(
        QStringLiteral("^Chain head when written ([0-9a-f]{64}|none)$"));
    // A field's label may also begin a line of another field's wrapped value: a field found
    // with two values tells nothing.
    QString found[4];
    const QRegularExpression* patterns[] = {&number, &record, &hash, &head};
    for (const QString& line : lines)
        for (int n = 0; n < 4; ++n)
            if (const QRegularExpressionMatch match = patterns[n]->match(line); match.hasMatch()) {
                if (!found[n].isNull() && found[n] != match.captured(1))
                    return std::nullopt;
                found[n] = match.captured(1);
            }
    for (const QString& value : found)
        if (value.isNull())
            return std::nullopt;
    lab::CertificateMark mark;
    const QString copy = QStringLiteral(" (Copy)");
    mark.kind = found[0] == QLatin1String("Draft: not issued") ? QStringLiteral("draft")
                : found[0].endsWith(copy)                      ? QStringLiteral("copy")
                                                               : QStringLiteral("issued");
    if (mark.kind != QLatin1String("draft"))
        mark.number = found[0].endsWith(copy) ? found[0].chopped(copy.size()) : found[0];
    mark.recordId = found[1];
    mark.recordHash = found[2].startsWith(QLatin1String("none")) ? QString() : found[2];
    mark.chainHead = found[3] == QLatin1String("none") ? QString() : found[3];
    return plausible(mark) ? std::optional(mark) : std::nullopt;
}

} // namespace quarvet::certificate
