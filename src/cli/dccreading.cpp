#include "dccreading.h"

#include "dcccommands.h"
#include "issuecommands.h"
#include "recordwords.h"
#include "witnesscommands.h"

#include "calc/entry.h"
#include "certificate/dccsigning.h"
#include "certificate/pdfsigning.h"
#include "dcc/dccreader.h"
#include "dcc/dccwriter.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTimeZone>

#include <ctime>

namespace quarvet::cli {
namespace {

// The file's bytes; false, with `fault`, where it is no file, cannot be read whole, or is
// larger than any DCC.
bool readDccFile(const QString& path, QByteArray& bytes, QString& fault)
{
    if (!QFileInfo(path).isFile())
        return fault = QStringLiteral("%1 is no file").arg(path), false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fault = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()), false;
    bytes = file.read(dcc::largestDcc + 1);
    if (file.error() != QFileDevice::NoError)
        return fault = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()), false;
    if (bytes.size() > dcc::largestDcc)
        return fault = QStringLiteral("%1 is larger than any DCC (%2 MiB)")
                           .arg(path)
                           .arg(dcc::largestDcc >> 20),
               false;
    return true;
}

// A number of the document as JSON: the same double in its shortest form, or the text as
// written where it reads as no number; null where the document gives none.
QString jsonNumber(const QString& value)
{
    if (value.isEmpty())
        return QStringLiteral("null");
    const calc::EntryReading read = calc::readEntry(value.trimmed().toStdString(), {".", ""});
    return read.isNumber() ? records::numberText(read.value) : jsonText(value);
}

QString orNull(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("null") : jsonText(value);
}

void printJson(const dcc::DccReading& reading, Output& io)
{
    QStringList points;
    for (const dcc::DccPoint& point : reading.points)
        points << QStringLiteral("{\"result\":%1,\"reference\":%2,\"unit\":%3,\"indicated\":%4,"
                                 "\"indicated_unit\":%5,\"error\":%6,\"U\":%7,\"error_unit\":%8,"
                                 "\"k\":%9,")
                          .arg(orNull(point.section), jsonNumber(point.reference),
                               orNull(point.unit), jsonNumber(point.indicated),
                               orNull(point.indicatedUnit), jsonNumber(point.error),
                               jsonNumber(point.U), orNull(point.errorUnit), jsonNumber(point.k)) +
                      QStringLiteral("\"coverage_probability\":%1,\"readings\":%2,"
                                     "\"conformity\":%3}")
                          .arg(jsonNumber(point.probability), jsonNumber(point.readings),
                               orNull(point.conformity));
    io.out << QStringLiteral("{\"certificate\":%1,\"kind\":%2,\"country\":%3,\"laboratory\":%4,"
                             "\"customer\":%5,\"item\":{\"name\":%6,\"model\":%7,\"serial\":%8},"
                             "\"as_found\":%9,")
                  .arg(orNull(reading.number), orNull(reading.kind), orNull(reading.country),
                       orNull(reading.laboratory), orNull(reading.customer), orNull(reading.item),
                       orNull(reading.model), orNull(reading.serial), orNull(reading.asFound))
                  .toStdString()
           << QStringLiteral("\"as_left\":%1,\"record\":%2,\"signatures\":%3,\"results\":[%4]}")
                  .arg(orNull(reading.asLeft), orNull(reading.recordId))
                  .arg(reading.signatures)
                  .arg(points.join(QLatin1Char(',')))
                  .toStdString()
           << "\n";
}

QString cell(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("—") : value;
}

// A D-SI unit as a person writes it, where it is one of a thermometer's; else as written.
QString unitText(const QString& unit)
{
    static const QMap<QString, QString> known{
        {QStringLiteral("\\degreecelsius"), QStringLiteral("°C")},
        {QStringLiteral("\\kelvin"), QStringLiteral("K")},
        {QStringLiteral("\\milli\\kelvin"), QStringLiteral("mK")}};
    return known.value(unit, unit);
}

// A value's unit where it is not the one its row names.
QString otherUnit(const QString& unit, const QString& rows)
{
    return unit.isEmpty() || unit == rows ? QString() : QLatin1Char(' ') + unitText(unit);
}

void printText(const dcc::DccReading& reading, Output& io)
{
    // What the file says is printed, never its control characters or marks that turn text.
    const auto line = [&io](const QString& label, const QString& value) {
        io.out << said(label + QLatin1Char(' ') + records::printableText(cell(value))) << "\n";
    };
    line(QStringLiteral("Certificate"),
         reading.kind.isEmpty() || reading.kind == QLatin1String("issued")
             ? reading.number
             : reading.number + QStringLiteral(" (") + reading.kind + QLatin1Char(')'));
    line(QStringLiteral("Laboratory"), reading.laboratory);
    line(QStringLiteral("Country"), reading.country);
    line(QStringLiteral("Customer"), reading.customer);
    line(QStringLiteral("Item"), reading.item);
    line(QStringLiteral("Model"), reading.model);
    line(QStringLiteral("Serial number"), reading.serial);
    if (reading.signatures > 0)
        io.out << "Signed with an XML signature (records read-dcc --check checks it)\n";
    if (!reading.asFound.isEmpty() || !reading.asLeft.isEmpty())
        io.out << said(records::printableText(cell(reading.asFound) + QStringLiteral("; ") +
                                              cell(reading.asLeft)))
               << "\n";
    io.out << "Result\tReference\tIndicated\tUnit\tError\tU\tUnit\tk\tn\tConformity\n";
    for (const dcc::DccPoint& point : reading.points)
        io.out << printableLine({cell(point.section), cell(point.reference),
                                 cell(point.indicated) + otherUnit(point.indicatedUnit, point.unit),
                                 cell(unitText(point.unit)), cell(point.error), cell(point.U),
                                 cell(unitText(point.errorUnit)), cell(point.k),
                                 cell(point.readings), cell(point.conformity)})
                      .toStdString()
               << "\n";
    io.out.flush();
}

// The mark a DCC of this program carries, as a certificate's.
lab::CertificateMark markOf(const dcc::DccReading& reading)
{
    const auto kept = [](const QString& hash) {
        return hash == QLatin1String("none") ? QString() : hash;
    };
    return {reading.kind, reading.kind == QLatin1String("draft") ? QString() : reading.number,
            reading.recordId, kept(reading.recordHash), kept(reading.chainHead)};
}

// The DCC the store writes of the certificate `mark` names, as it was written: issued, a copy
// or a draft, under the head it names; false, said, where it cannot.
bool dccFromStore(const lab::CertificateMark& mark, const lab::CertificateFinding& finding,
                  RecordsContext& context, QByteArray& bytes, Output& io)
{
    const auto listed = recordByPrefix(mark.recordId, context, io);
    if (!listed)
        return false;
    lab::CertificateStatus status;
    if (const records::StoreFailure read =
            lab::certificateStatus(context.store, listed->record, listed->correctedBy, status);
        read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    status.issue = mark.kind == QLatin1String("draft") ? std::nullopt : finding.issue;
    status.copy = mark.kind == QLatin1String("copy");
    if (!takeCountryNow(status, context, io))
        return false;
    dcc::DccFault fault;
    bytes = dcc::dccOf(listed->record, status, mark.chainHead, fault);
    if (fault.failed())
        return refusal(dccRefusal(fault), io), false;
    return true;
}

QString differenceText(dcc::DccDifference difference)
{
    for (QString* text : {&difference.label, &difference.found, &difference.expected,
                          &difference.path, &difference.fileLabel, &difference.filePath})
        *text = records::printableText(*text);
    // Where the shape differs, the elements by where they stand.
    const QString element = QStringLiteral("/@#element");
    if (difference.otherPart && !difference.label.isEmpty() && !difference.fileLabel.isEmpty() &&
        difference.path.endsWith(element) && difference.filePath.endsWith(element))
        return QStringLiteral("it holds the element %1 where the store gives %2")
            .arg(difference.filePath.chopped(element.size()),
                 difference.path.chopped(element.size()));
    if (!difference.otherPart)
        return QStringLiteral("its %1 reads “%2” where the store gives “%3” (%4)")
            .arg(difference.label, difference.found, difference.expected, difference.path);
    if (difference.label.isEmpty())
        return QStringLiteral("it holds %1 (“%2”, %3), which the store does not give")
            .arg(difference.fileLabel, difference.found, difference.filePath);
    if (difference.fileLabel.isEmpty())
        return QStringLiteral("it lacks %1 (“%2”), which the store gives (%3)")
            .arg(difference.label, difference.expected, difference.path);
    return QStringLiteral("it holds %1 (“%2”, %3) where the store gives %4 (“%5”, %6)")
        .arg(difference.fileLabel, difference.found, difference.filePath, difference.label,
             difference.expected, difference.path);
}

// The laboratory's signing certificate (DER), where it has one and its database gives it
// without a password: what a signed DCC's certificate is held against.
QByteArray laboratoryCertificate(const certificate::SigningKey& key)
{
    if (!key.set() || !certificate::openSigningDatabase(key.nssFolder).isEmpty())
        return {};
    QString unknown;
    const auto found = certificate::signingCertificate(key, unknown);
    return found ? found->der : QByteArray();
}

// The days of the store's times taken in the time zone the DCC was written in, which it
// names: a workstation elsewhere gives the same days. False, said, for a zone this machine
// does not know.
bool takeTimeZone(const QString& zone, Output& io)
{
    if (zone.isEmpty())
        return true;
    if (!dcc::usableTimeZone(zone))
        return refusal(QStringLiteral("The DCC's dates are days in the time zone %1, which this "
                                      "machine does not know: it cannot be checked here.")
                           .arg(records::printableText(zone.left(64))),
                       io),
               false;
    qputenv("TZ", zone.toUtf8());
    ::tzset();
    return true;
}

// Why a DCC's XML signature does not hold; empty where it holds or there is none.
QString contradictionOf(const certificate::DccSignature& signature)
{
    if (signature.count > 1)
        return QStringLiteral("it carries %1 XML signatures, where the laboratory signs an issued "
                              "DCC once")
            .arg(signature.count);
    if (signature.present && (!signature.valid || !signature.wholeDocument))
        return QStringLiteral("its XML signature does not hold for the document as it is: the "
                              "document was changed after it was signed");
    if (signature.present && !signature.certificateNamed)
        return QStringLiteral("its XML signature's signed properties do not name the certificate "
                              "it carries (%1)")
            .arg(records::printableText(signature.signer));
    if (signature.laboratorys == false)
        return QStringLiteral("its XML signature was made with another certificate than the "
                              "laboratory's (%1)")
            .arg(records::printableText(signature.signer));
    return {};
}

// What the DCC's XML signature says, to follow what the store holds: false where it does not
// hold (`said` why) or cannot be checked (said on standard error, `said` empty). A
// laboratory that signs its issues says so of an issued DCC that carries none; a copy or a
// draft carries none by design.
bool signatureHolds(const QByteArray& file, const lab::CertificateMark& mark,
                    RecordsContext& context, QString& said, Output& io)
{
    lab::LabSettings settings;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, settings);
        read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    const certificate::SigningKey key = certificate::signingKeyOf(settings);
    const certificate::DccSignature signature =
        certificate::checkDccSignature(file, laboratoryCertificate(key));
    if (!signature.fault.isEmpty())
        return refusal(QStringLiteral("The DCC's XML signature could not be checked: ") +
                           signature.fault,
                       io),
               false;
    if (said = contradictionOf(signature); !said.isEmpty())
        return false;
    if (signature.present)
        said = QStringLiteral("; the document is signed by %1, whole, %2")
                   .arg(records::printableText(signature.signer),
                        signature.laboratorys ? QStringLiteral("the laboratory's certificate")
                                              : QStringLiteral("a certificate not compared with "
                                                               "the laboratory's here"));
    else if (mark.kind == QLatin1String("issued") && key.set())
        said = QStringLiteral("; the document carries no XML signature");
    return true;
}

// A supersession the DCC states must be the store's; one it lacks came after it was written.
// Empty where it holds.
QString supersessionDiffers(const dcc::DccReading& file, const dcc::DccReading& store)
{
    if (file.supersession.isEmpty() || file.supersession == store.supersession)
        return {};
    return QStringLiteral("its statement that it is superseded, “%1”, is not the store's, “%2”")
        .arg(records::printableText(file.supersededBy),
             store.supersededBy.isEmpty() ? QStringLiteral("no certificate that supersedes it")
                                          : store.supersededBy);
}

// Holds every value of one of this program's DCCs against the store: exit 0 where the store
// writes the same document, 4 naming the first value it does not.
int checkDcc(const QByteArray& file, const dcc::DccReading& reading, RecordsContext& context,
             Output& io)
{
    const lab::CertificateMark mark = markOf(reading);
    if (mark.recordId.isEmpty())
        return refusal(QStringLiteral("The DCC %1 names no record of this program's stores: "
                                      "--check holds only the DCCs it writes.")
                           .arg(records::printableText(reading.number)),
                       io);
    const QString named =
        records::printableText(mark.kind == QLatin1String("draft")
                                   ? QStringLiteral("DCC, draft of record %1").arg(mark.recordId)
                                   : QStringLiteral("DCC of certificate %1").arg(mark.number));
    lab::CertificateFinding finding;
    if (const int held = holdMark(mark, named, context, finding, io); held != markHeld)
        return held;
    if (!takeTimeZone(reading.timeZone, io))
        return failure;
    QByteArray bytes;
    if (!dccFromStore(mark, finding, context, bytes, io))
        return failure;
    const dcc::DccReading written = dcc::readDcc(bytes);
    if (const auto difference = dcc::firstDifference(reading, written))
        return sayNotIntact(named, differenceText(*difference), io);
    if (const QString said = supersessionDiffers(reading, written); !said.isEmpty())
        return sayNotIntact(named, said, io);
    QString signedAs;
    if (!signatureHolds(file, mark, context, signedAs, io))
        return signedAs.isEmpty() ? failure : sayNotIntact(named, signedAs, io);
    QString holds = QStringLiteral("%1 holds: every value as record %2 gives it, chain head %3 "
                                   "in the chain")
                        .arg(named, mark.recordId, mark.chainHead.left(16));
    if (!finding.supersededBy.isEmpty())
        holds += QStringLiteral("; superseded: record %1 corrects it").arg(finding.supersededBy);
    holds += signedAs;
    io.out << said(records::printableText(holds)) << "\n";
    io.out.flush();
    return success;
}

int readDccCommand(const Invocation& run)
{
    const ReadWords read = readWords(run.words, run.command.options, EntryWords::Anywhere);
    if (!read.ok())
        return usageFault(read.fault, run.io);
    const std::vector<std::string>& rest = read.entries;
    const Options* options = &read.options;
    const auto format = formatOf(*options);
    if (rest.size() != 1 || rest[0].empty() || !format || *format == "csv")
        return usageFault("records read-dcc FILE.xml [--format text|json] [--check]", run.io);
    if (!validUtf8(rest[0]))
        return usageFault("the file name is not valid UTF-8", run.io);
    QByteArray bytes;
    QString unread;
    if (!readDccFile(text(rest[0]), bytes, unread))
        return refusal(QStringLiteral("The DCC was not read: ") + unread, run.io);
    const dcc::DccReading reading = dcc::readDcc(bytes);
    if (!reading.fault.isEmpty())
        return refusal(
            QStringLiteral("%1 is no DCC that reads: %2").arg(text(rest[0]), reading.fault),
            run.io);
    if (options->count("--check"))
        return checkDcc(bytes, reading, storeOf(run), run.io);
    if (*format == "json")
        printJson(reading, run.io);
    else
        printText(reading, run.io);
    return success;
}

} // namespace

Command readDccCommandEntry()
{
    return {"records read-dcc",
            {"quarvet-cli records read-dcc FILE.xml [--format text|json] [--check]"},
            {{"--format", 1, false, ValueWords::NotAnOption, "text or json"},
             {"--check", 0, false, ValueWords::NotAnOption, nullptr}},
            true,
            readDccCommand};
}

} // namespace quarvet::cli
