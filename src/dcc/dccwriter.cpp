#include "dccwriter.h"

#include "calc/outcome.h"
#include "calc/uncertainty.h"
#include "quarvet/version.h"
#include "records/recordformat.h"

#include <QXmlStreamWriter>

#include <cmath>

namespace quarvet::dcc {
namespace {

const QString dccNamespace = QStringLiteral("https://ptb.de/dcc");
const QString siNamespace = QStringLiteral("https://ptb.de/si");
const QString celsius = QStringLiteral("\\degreecelsius");

// Writes the DCC's elements, each in its namespace; a text as the schema's textType wants it.
class Writer {
public:
    explicit Writer(QByteArray& bytes) : xml_(&bytes) { xml_.setAutoFormatting(true); }

    QXmlStreamWriter& xml() { return xml_; }
    // What could not be written as it is kept; empty when all could.
    QString unwritable;
    QString number(double value)
    {
        if (!std::isfinite(value))
            unwritable = QStringLiteral("a number that is not finite");
        return records::numberText(value);
    }
    // A text as kept, noted where XML cannot carry one of its characters.
    const QString& kept(const QString& value)
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
    void open(const QString& name, const QString& refType = {})
    {
        xml_.writeStartElement(dccNamespace, name);
        if (!refType.isEmpty())
            xml_.writeAttribute(QStringLiteral("refType"), refType);
    }
    void close() { xml_.writeEndElement(); }
    void element(const QString& name, const QString& value)
    {
        xml_.writeTextElement(dccNamespace, name, kept(value));
    }
    void text(const QString& name, const QString& value)
    {
        open(name);
        xml_.writeStartElement(dccNamespace, QStringLiteral("content"));
        xml_.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
        xml_.writeCharacters(kept(value));
        xml_.writeEndElement();
        close();
    }
    void si(const QString& name, const QString& value)
    {
        xml_.writeTextElement(siNamespace, name, value);
    }

private:
    QXmlStreamWriter xml_;
};

QString dateOf(const QDateTime& utc)
{
    return utc.toLocalTime().date().toString(Qt::ISODate);
}

// A temperature, or an error of one, in D-SI, with its expanded uncertainty where it has one.
void real(Writer& out, const QString& label, double value, const records::PointResult* budget)
{
    out.xml().writeStartElement(siNamespace, QStringLiteral("real"));
    out.si(QStringLiteral("label"), label);
    out.si(QStringLiteral("value"), out.number(value));
    out.si(QStringLiteral("unit"), celsius);
    if (budget && std::isfinite(budget->U) && budget->U >= 0 && std::isfinite(budget->k) &&
        budget->k >= 1) {
        out.xml().writeStartElement(siNamespace, QStringLiteral("expandedUnc"));
        out.si(QStringLiteral("uncertainty"), out.number(budget->U));
        out.si(QStringLiteral("coverageFactor"), out.number(budget->k));
        // k is Student's t for 95.45 %, as the budget takes it.
        out.si(QStringLiteral("coverageProbability"), QStringLiteral("0.9545"));
        out.xml().writeEndElement();
    }
    out.xml().writeEndElement();
}

void quantity(Writer& out, const QString& refType, const QString& name, double value,
              const records::PointResult* budget = nullptr)
{
    out.open(QStringLiteral("quantity"), refType);
    out.text(QStringLiteral("name"), name);
    real(out, name, value, budget);
    out.close();
}

// "pass", "fail", ... as the schema names a verdict; empty where there is none.
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

// One point as found or as left: the reference value, the mean indicated, the error with its
// expanded uncertainty, the number of readings, and its verdict where it has one.
void point(Writer& out, const records::PointResult& result, const QString& when,
           const QString& refType)
{
    const std::vector<double> readings(result.readings.begin(), result.readings.end());
    const double mean = calc::readingsMean(readings);
    out.open(QStringLiteral("list"), QStringLiteral("basic_calibrationPoint ") + refType);
    out.text(QStringLiteral("name"),
             QStringLiteral("%1 at %2 °C").arg(when, out.number(result.target)));
    quantity(out, QStringLiteral("basic_referenceValue"), QStringLiteral("Reference value"),
             result.target);
    quantity(out, QStringLiteral("basic_measuredValue"), QStringLiteral("Mean indicated value"),
             mean);
    quantity(out, QStringLiteral("basic_measurementError"), QStringLiteral("Error"),
             mean - result.target, &result);
    out.open(QStringLiteral("quantity"), QStringLiteral("quarvet_readings"));
    out.text(QStringLiteral("name"), QStringLiteral("Number of readings"));
    out.text(QStringLiteral("noQuantity"), QString::number(result.readings.size()));
    out.close();
    if (const QString conformity = conformityOf(result.verdict); !conformity.isEmpty()) {
        out.open(QStringLiteral("measurementMetaData"));
        out.open(QStringLiteral("metaData"), QStringLiteral("basic_conformity"));
        out.element(QStringLiteral("conformity"), conformity);
        out.close();
        out.close();
    }
    out.close();
}

void points(Writer& out, const QString& refType, const QString& name, const QString& kept)
{
    QList<records::PointResult> results = records::readPoints(kept);
    results.removeIf([](const records::PointResult& result) { return result.readings.isEmpty(); });
    if (results.isEmpty())
        return;
    out.open(QStringLiteral("result"), refType);
    out.text(QStringLiteral("name"), name);
    out.open(QStringLiteral("data"));
    out.open(QStringLiteral("list"));
    for (const records::PointResult& result : results)
        point(out, result, name, refType);
    out.close();
    out.close();
    out.close();
}

void contact(Writer& out, const QString& element, const QString& name, const QString& address)
{
    out.open(element);
    out.text(QStringLiteral("name"), name);
    out.element(QStringLiteral("eMail"), QString());
    out.open(QStringLiteral("location"));
    out.text(QStringLiteral("further"), address.isEmpty() ? QStringLiteral("not stated") : address);
    out.close();
    out.close();
}

void coreData(Writer& out, const records::Record& record, const lab::CertificateStatus& status,
              const QString& country)
{
    out.open(QStringLiteral("coreData"));
    out.element(QStringLiteral("countryCodeISO3166_1"), country);
    out.element(QStringLiteral("usedLangCodeISO639_1"), QStringLiteral("en"));
    out.element(QStringLiteral("mandatoryLangCodeISO639_1"), QStringLiteral("en"));
    out.element(QStringLiteral("uniqueIdentifier"),
                status.issue ? status.issue->number : QStringLiteral("draft ") + record.id);
    if (record.received.isValid())
        out.element(QStringLiteral("receiptDate"), record.received.toString(Qt::ISODate));
    const QString day = status.calibrated.isValid() ? status.calibrated.toString(Qt::ISODate)
                                                    : dateOf(record.createdUtc);
    out.element(QStringLiteral("beginPerformanceDate"), day);
    out.element(QStringLiteral("endPerformanceDate"), day);
    out.element(QStringLiteral("performanceLocation"), record.location.isEmpty()
                                                           ? QStringLiteral("laboratory")
                                                           : QStringLiteral("customer"));
    out.close();
}

void item(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("items"));
    out.open(QStringLiteral("item"));
    out.text(QStringLiteral("name"), record.itemDescription.isEmpty()
                                         ? QStringLiteral("Temperature instrument")
                                         : record.itemDescription);
    out.open(QStringLiteral("manufacturer"));
    out.text(QStringLiteral("name"), QStringLiteral("not stated"));
    out.close();
    out.element(QStringLiteral("model"), record.instrumentType);
    out.open(QStringLiteral("identifications"));
    out.open(QStringLiteral("identification"));
    out.element(QStringLiteral("issuer"), QStringLiteral("manufacturer"));
    out.element(QStringLiteral("value"), record.serial);
    out.text(QStringLiteral("name"), QStringLiteral("Serial number"));
    out.close();
    out.close();
    out.close();
    out.close();
}

void people(Writer& out, const records::Record& record, const lab::CertificateStatus& status)
{
    out.open(QStringLiteral("respPersons"));
    out.open(QStringLiteral("respPerson"));
    out.open(QStringLiteral("person"));
    out.text(QStringLiteral("name"), record.technician);
    out.close();
    out.element(QStringLiteral("role"), QStringLiteral("Performed by"));
    out.close();
    if (status.issue && !status.issue->issuedBy.isEmpty()) {
        out.open(QStringLiteral("respPerson"));
        out.open(QStringLiteral("person"));
        out.text(QStringLiteral("name"), status.issue->issuedBy);
        out.close();
        out.element(QStringLiteral("role"), status.issue->role);
        out.element(QStringLiteral("mainSigner"), QStringLiteral("true"));
        out.close();
    }
    out.close();
}

void statement(Writer& out, const QString& refType, const QString& declaration,
               const QString& norm = {})
{
    out.open(QStringLiteral("statement"), refType);
    if (!norm.isEmpty())
        out.element(QStringLiteral("norm"), norm);
    out.text(QStringLiteral("declaration"), declaration);
    out.close();
}

// What the certificate states beside its results, and what this document is: the issued
// certificate, a copy of it, or a draft of one not issued.
void statements(Writer& out, const records::Record& record, const lab::CertificateStatus& status)
{
    out.open(QStringLiteral("statements"));
    if (!status.issue)
        statement(out, QStringLiteral("quarvet_draft"),
                  QStringLiteral("Draft: no certificate of this record has been issued."));
    else if (status.copy)
        statement(out, QStringLiteral("quarvet_copy"),
                  QStringLiteral("Copy of certificate %1: the certificate issued is the one "
                                 "written at issue.")
                      .arg(status.issue->number));
    if (!record.rule.isEmpty())
        statement(out, QStringLiteral("basic_conformity"), record.rule,
                  QStringLiteral("ILAC-G8:09/2019"));
    statement(out, QStringLiteral("basic_validityRange"),
              QStringLiteral("The results relate only to the item calibrated."));
    statement(out, QStringLiteral("basic_reproduction"),
              QStringLiteral("This certificate may not be reproduced other than in full."));
    if (!status.lab.value(QStringLiteral("statements")).isEmpty())
        statement(out, QStringLiteral("basic_traceability"),
                  status.lab.value(QStringLiteral("statements")));
    out.close();
}

void administrativeData(Writer& out, const records::Record& record,
                        const lab::CertificateStatus& status, const QString& country)
{
    out.open(QStringLiteral("administrativeData"));
    out.open(QStringLiteral("dccSoftware"));
    out.open(QStringLiteral("software"));
    out.text(QStringLiteral("name"), QString::fromUtf8(programTitle));
    out.element(QStringLiteral("release"), QString::fromUtf8(versionText));
    out.close();
    out.close();
    coreData(out, record, status, country);
    item(out, record);
    out.open(QStringLiteral("calibrationLaboratory"));
    contact(out, QStringLiteral("contact"), status.lab.value(QStringLiteral("name")),
            status.lab.value(QStringLiteral("address")));
    out.close();
    people(out, record, status);
    contact(out, QStringLiteral("customer"),
            record.customer.isEmpty() ? QStringLiteral("in-house calibration") : record.customer,
            record.customerAddress);
    statements(out, record, status);
    out.close();
}

// Each point as found and as left, and the codes the adjustment wrote.
void measurementResults(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("measurementResults"));
    out.open(QStringLiteral("measurementResult"));
    out.text(QStringLiteral("name"), QStringLiteral("Calibration of a temperature instrument"));
    out.open(QStringLiteral("results"));
    points(out, QStringLiteral("basic_asFound"), QStringLiteral("As found"), record.asFoundPoints);
    points(out, QStringLiteral("basic_asLeft"), QStringLiteral("As left"), record.asLeftPoints);
    out.open(QStringLiteral("result"), QStringLiteral("basic_adjustment"));
    out.text(QStringLiteral("name"), QStringLiteral("Coefficient codes"));
    out.open(QStringLiteral("data"));
    out.text(QStringLiteral("text"), QStringLiteral("before %1 %2, after %3 %4")
                                         .arg(record.currentSlopeCode, record.currentOffsetCode,
                                              record.slopeCode, record.offsetCode));
    for (int level = 0; level < 5; ++level) // data, result, results, measurementResult(s)
        out.close();
}

} // namespace

QByteArray dccOf(const records::Record& record, const lab::CertificateStatus& status,
                 DccFault& fault)
{
    fault = {};
    const QString country = status.lab.value(QStringLiteral("country"));
    if (country.size() != 2 || country != country.toUpper() || !country.at(0).isLetter() ||
        !country.at(1).isLetter()) {
        fault.setting = QStringLiteral("country");
        return {};
    }
    QByteArray bytes;
    Writer out(bytes);
    out.xml().writeStartDocument();
    out.xml().writeNamespace(dccNamespace, QStringLiteral("dcc"));
    out.xml().writeNamespace(siNamespace, QStringLiteral("si"));
    out.open(QStringLiteral("digitalCalibrationCertificate"));
    out.xml().writeAttribute(QStringLiteral("schemaVersion"), QStringLiteral("3.1.2"));
    administrativeData(out, record, status, country);
    measurementResults(out, record);
    out.close();
    out.xml().writeEndDocument();
    if (!out.unwritable.isEmpty() || out.xml().hasError()) {
        fault.unwritable =
            out.unwritable.isEmpty() ? QStringLiteral("what XML cannot carry") : out.unwritable;
        return {};
    }
    return bytes;
}

} // namespace quarvet::dcc
