#include "dccwriter.h"

#include "dccxml.h"

#include "quarvet/version.h"
#include "records/columns.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

namespace quarvet::dcc {

namespace {

using namespace detail;

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

void identification(Writer& out, const QString& refType, const QString& name, const QString& value)
{
    out.open(QStringLiteral("identification"), refType);
    out.element(QStringLiteral("issuer"), QStringLiteral("calibrationLaboratory"));
    out.element(QStringLiteral("value"), value);
    out.text(QStringLiteral("name"), name);
    out.close();
}

// What the document says of itself, as a certificate's mark does: its record, the record's
// hash and the chain's head when it was written, which the store answers for.
void mark(Writer& out, const records::Record& record, const QString& chainHead)
{
    out.open(QStringLiteral("identifications"));
    identification(out, QStringLiteral("quarvet_record"), QStringLiteral("Record"), record.id);
    identification(out, QStringLiteral("quarvet_recordHash"),
                   QStringLiteral("Record hash (SHA-256)"),
                   record.hash.isEmpty() ? QStringLiteral("none") : record.hash);
    identification(out, QStringLiteral("quarvet_chainHead"),
                   QStringLiteral("Chain head when written"),
                   chainHead.isEmpty() ? QStringLiteral("none") : chainHead);
    out.close();
}

// An amendment's certificate replaced, named with the hash of the record it was issued of.
void previousReport(Writer& out, const lab::CertificateStatus& status)
{
    if (status.amendment == 0)
        return;
    out.open(QStringLiteral("previousReport"));
    out.text(QStringLiteral("referral"), lab::amendmentText(status));
    out.element(QStringLiteral("referralID"), status.replaces);
    const QString hash = status.replacedRecord ? status.replacedRecord->hash : QString();
    out.element(QStringLiteral("procedure"),
                hash.isEmpty() ? QStringLiteral("none") : QStringLiteral("SHA-256 of the record"));
    out.element(QStringLiteral("value"), hash);
    out.close();
}

void coreData(Writer& out, const records::Record& record, const lab::CertificateStatus& status,
              const QString& chainHead)
{
    out.open(QStringLiteral("coreData"));
    out.element(QStringLiteral("countryCodeISO3166_1"),
                status.lab.value(QStringLiteral("country")));
    out.element(QStringLiteral("usedLangCodeISO639_1"), QStringLiteral("en"));
    out.element(QStringLiteral("mandatoryLangCodeISO639_1"), QStringLiteral("en"));
    out.element(QStringLiteral("uniqueIdentifier"),
                status.issue ? status.issue->number : QStringLiteral("draft ") + record.id);
    mark(out, record, chainHead);
    if (record.received.isValid())
        out.element(QStringLiteral("receiptDate"), record.received.toString(Qt::ISODate));
    const QString day = status.calibrated.isValid() ? status.calibrated.toString(Qt::ISODate)
                                                    : dateOf(record.createdUtc);
    out.element(QStringLiteral("beginPerformanceDate"), day);
    out.element(QStringLiteral("endPerformanceDate"), day);
    out.element(QStringLiteral("performanceLocation"), record.location.isEmpty()
                                                           ? QStringLiteral("laboratory")
                                                           : QStringLiteral("customer"));
    previousReport(out, status);
    out.close();
}

void item(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("items"));
    out.open(QStringLiteral("item"));
    out.text(QStringLiteral("name"), record.itemDescription.isEmpty()
                                         ? QStringLiteral("Temperature instrument")
                                         : record.itemDescription);
    // The type is the instrument's model number; the line is the one of its display that was
    // calibrated.
    out.text(QStringLiteral("description"), QStringLiteral("Instrument type %1, display line %2")
                                                .arg(record.instrumentType)
                                                .arg(record.displayLine));
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
               const QString& norm = {}, const QDate& date = {})
{
    out.open(QStringLiteral("statement"), refType);
    if (!norm.isEmpty())
        out.element(QStringLiteral("norm"), norm);
    out.text(QStringLiteral("declaration"), declaration);
    if (date.isValid())
        out.element(QStringLiteral("date"), date.toString(Qt::ISODate));
    out.close();
}

// What this document is: the issued certificate, a copy of it, or a draft of one not issued;
// when and by whom it was issued, and under which accreditation.
void issueStatements(Writer& out, const lab::CertificateStatus& status)
{
    if (!status.issue) {
        statement(out, QStringLiteral("quarvet_draft"),
                  QStringLiteral("Draft: no certificate of this record has been issued."));
        return;
    }
    const lab::CertificateIssue& issue = *status.issue;
    if (status.copy)
        statement(out, QStringLiteral("quarvet_copy"),
                  QStringLiteral("Copy of certificate %1: the certificate issued is the one "
                                 "written at issue.")
                      .arg(issue.number));
    const QDate issued = issue.issuedUtc.toLocalTime().date();
    statement(out, QStringLiteral("quarvet_issue"),
              issue.issuedBy.isEmpty()
                  ? QStringLiteral("Issued %1").arg(issued.toString(Qt::ISODate))
                  : QStringLiteral("Issued %1, authorised by %2 (%3)")
                        .arg(issued.toString(Qt::ISODate), issue.issuedBy, issue.role),
              {}, issued);
    const QString accreditation = status.lab.value(QStringLiteral("accreditation"));
    const QString body = status.lab.value(QStringLiteral("accreditation-body"));
    if (!accreditation.isEmpty())
        statement(out, QStringLiteral("basic_accreditation"),
                  !issue.accredited ? QStringLiteral("Issued without the accreditation claim: "
                                                     "not covered by the laboratory's "
                                                     "accreditation")
                  : body.isEmpty()
                      ? QStringLiteral("Accreditation %1").arg(accreditation)
                      : QStringLiteral("Accredited by %1, number %2").arg(body, accreditation));
}

// What the record corrects and why, what an amendment replaces, and what supersedes it.
void correctionStatements(Writer& out, const records::Record& record,
                          const lab::CertificateStatus& status)
{
    if (status.amendment > 0)
        statement(out, QStringLiteral("quarvet_amendment"), lab::amendmentText(status));
    if (status.amendment > 0 && status.replacedRecord) {
        const QStringList changes = records::changedFields(*status.replacedRecord, record);
        statement(out, QStringLiteral("quarvet_amendmentChanges"),
                  QStringLiteral("Changed from certificate %1: %2")
                      .arg(status.replaces, changes.isEmpty()
                                                ? QStringLiteral("nothing but the reason")
                                                : changes.join(QStringLiteral("; "))));
    }
    if (!record.corrects.isEmpty())
        statement(
            out, QStringLiteral("quarvet_correction"),
            QStringLiteral("Corrects record %1: %2").arg(record.corrects, record.correctionReason));
    if (!status.supersededBy.isEmpty())
        statement(out, QStringLiteral("quarvet_supersededBy"),
                  QStringLiteral("Superseded by certificate %1").arg(status.supersededBy));
}

// Where the item was calibrated, in what state it came, and the method's deviations.
void receiptStatements(Writer& out, const records::Record& record)
{
    if (!record.location.isEmpty())
        statement(out, QStringLiteral("quarvet_location"),
                  QStringLiteral("On site at ") + record.location);
    if (!record.condition.isEmpty())
        statement(out, QStringLiteral("quarvet_conditionOnReceipt"), record.condition);
    if (!record.deviations.isEmpty())
        statement(out, QStringLiteral("quarvet_deviations"), record.deviations);
}

// The time zone whose days the dates are, by its name: a reader elsewhere gives the same
// days from the same times in it.
void timeZone(Writer& out)
{
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    if (!usableTimeZone(QString::fromUtf8(zone)))
        return;
    out.open(QStringLiteral("statement"), QStringLiteral("quarvet_timeZone"));
    out.element(QStringLiteral("convention"), QString::fromUtf8(zone));
    out.text(QStringLiteral("declaration"),
             QStringLiteral("Dates are days in the time zone %1.").arg(QString::fromUtf8(zone)));
    out.close();
}

void statements(Writer& out, const records::Record& record, const lab::CertificateStatus& status)
{
    out.open(QStringLiteral("statements"));
    timeZone(out);
    issueStatements(out, status);
    correctionStatements(out, record, status);
    receiptStatements(out, record);
    if (!record.rule.isEmpty())
        statement(out, QStringLiteral("basic_conformity"), record.rule,
                  QStringLiteral("ILAC-G8:09/2019"));
    statement(out, QStringLiteral("basic_validityRange"),
              QStringLiteral("The results relate only to the item calibrated."));
    statement(out, QStringLiteral("basic_reproduction"),
              QStringLiteral("This certificate shall not be reproduced except in full."));
    const QString laboratorys = status.lab.value(QStringLiteral("statements"));
    statement(out, QStringLiteral("basic_traceability"),
              records::referenceTraceability(record) +
                  (laboratorys.isEmpty() ? QString() : QLatin1Char(' ') + laboratorys));
    if (!record.note.isEmpty())
        statement(out, QStringLiteral("quarvet_note"), record.note);
    out.close();
}

void administrativeData(Writer& out, const records::Record& record,
                        const lab::CertificateStatus& status, const QString& chainHead)
{
    out.open(QStringLiteral("administrativeData"));
    out.open(QStringLiteral("dccSoftware"));
    out.open(QStringLiteral("software"));
    out.text(QStringLiteral("name"), QString::fromUtf8(programTitle));
    out.element(QStringLiteral("release"), QString::fromUtf8(versionText));
    out.close();
    out.close();
    coreData(out, record, status, chainHead);
    item(out, record);
    out.open(QStringLiteral("calibrationLaboratory"));
    const QString accreditation = status.lab.value(QStringLiteral("accreditation"));
    if (!accreditation.isEmpty() && status.issue && status.issue->accredited)
        out.element(QStringLiteral("calibrationLaboratoryCode"), accreditation);
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

} // namespace

bool usableTimeZone(const QString& zone)
{
    // A name of the zone database, never a path or a rule: the C library reads "UTC-14" as
    // fourteen hours ahead, Qt as behind.
    static const QRegularExpression name(
        QStringLiteral("^[A-Za-z][A-Za-z0-9_+-]*(/[A-Za-z0-9_+-]+)*$"));
    // Names that are the machine's own setting or the database's rules, not a zone.
    static const QStringList notZones{QStringLiteral("localtime"), QStringLiteral("posixrules"),
                                      QStringLiteral("Factory")};
    if (zone.size() > 64 || !name.match(zone).hasMatch() || zone.contains(QLatin1String("..")) ||
        notZones.contains(zone))
        return false;
    const QByteArray folder = qgetenv("TZDIR");
    const QString database =
        folder.isEmpty() ? QStringLiteral("/usr/share/zoneinfo") : QString::fromLocal8Bit(folder);
    return QFileInfo(database + QLatin1Char('/') + zone).isFile() &&
           QTimeZone(zone.toUtf8()).isValid();
}

bool validCountry(const QString& country)
{
    return country.size() == 2 && country == country.toUpper() && country.at(0).isLetter() &&
           country.at(1).isLetter() && country.at(0).unicode() < 0x80 &&
           country.at(1).unicode() < 0x80;
}

QByteArray dccOf(const records::Record& record, const lab::CertificateStatus& status,
                 const QString& chainHead, DccFault& fault)
{
    fault = {};
    if (!validCountry(status.lab.value(QStringLiteral("country")))) {
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
    administrativeData(out, record, status, chainHead);
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
