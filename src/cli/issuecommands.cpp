#include "issuecommands.h"

#include "dcccommands.h"
#include "recordwords.h"
#include "signingkey.h"
#include "storedeadline.h"

#include "calc/utf8text.h"
#include "certificate/dccsigning.h"
#include "lab/certificates.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"
#include "records/recordform.h"
#include "records/recordformat.h"

#include <QDateTime>

#include <optional>

namespace quarvet::cli {

// The one record whose id begins with `prefix`, with the records that correct it; nothing,
// said, when none or several do.
std::optional<records::ListedRecord> recordByPrefix(const QString& prefix, RecordsContext& context,
                                                    Output& io)
{
    std::optional<records::ListedRecord> found;
    qsizetype count = 0;
    // Two are enough to know that the prefix names no single record.
    records::RecordFilter filter = records::RecordFilter::ofIdPrefix(prefix);
    filter.limit = 2;
    filter.corrections = true;
    records::StoreFailure failure;
    {
        const StoreDeadline deadline;
        failure = context.store.visit(filter, [&](const records::ListedRecord& listed) {
            found = listed;
            return ++count < 2;
        });
    }
    if (failure.failed() || count != 1) {
        refusal(failure.failed() ? messages::storeFault(failure.fault)
                                 : messages::idPrefixFault(count, prefix),
                io);
        return std::nullopt;
    }
    return found;
}

// ID -o FILE in any order; the usage fault, if any.
namespace {

std::string certificateWords(const std::vector<std::string>& args,
                             const std::vector<OptionShape>& shapes,
                             std::vector<std::string>& words, std::string& file)
{
    ReadWords read = readWords(args, shapes, EntryWords::Anywhere);
    if (!read.ok())
        return read.fault;
    const std::optional<std::string> o = valueOf(read.options, "-o");
    const std::optional<std::string> output = valueOf(read.options, "--output");
    if (o && output)
        return "name one file, with -o or --output";
    file = o ? *o : output.value_or(std::string());
    words = std::move(read.entries);
    return words.size() != 1 || file.empty() ? "records certificate ID -o FILE.pdf" : "";
}

// Whether the record's certificate was issued, and by which certificate a correction
// supersedes it.
bool statusOf(const records::ListedRecord& listed, RecordsContext& context,
              lab::CertificateStatus& status, Output& io)
{
    const records::StoreFailure failure =
        lab::certificateStatus(context.store, listed.record, listed.correctedBy, status);
    if (failure.failed())
        refusal(messages::storeFault(failure.fault), io);
    return !failure.failed();
}

// The certificate written with the chain head it was issued under, or for a draft the
// store's head now; false, said, when it could not be.
bool writeWithHead(const records::Record& record, const std::string& file,
                   const lab::CertificateStatus& status, RecordsContext& context, Output& io)
{
    QString head;
    if (!certificateHead(status, context, head, io))
        return false;
    if (const QString fault =
            context.writeCertificate(record, text(file), context.store.files(), head, status);
        !fault.isEmpty())
        return refusal(fault, io), false;
    return true;
}

} // namespace

bool certificateHead(const lab::CertificateStatus& status, RecordsContext& context, QString& head,
                     Output& io)
{
    head = status.issue ? status.issue->chainHead : QString();
    records::StoreFailure failure;
    if (!status.issue) {
        const StoreDeadline deadline;
        failure = context.store.chainHead(head);
    }
    if (failure.failed())
        return refusal(messages::storeFault(failure.fault), io), false;
    return true;
}

// An issued certificate printed again is marked a copy; one not issued, a draft.
int certificateCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                       RecordsContext& context, Output& io)
{
    std::vector<std::string> words;
    std::string file;
    if (const std::string fault = certificateWords(args, shapes, words, file); !fault.empty())
        return usageFault(fault, io);
    const QString prefix = text(words[0]).trimmed();
    if (prefix.isEmpty())
        return usageFault("records certificate needs a record id", io);
    const auto listed = recordByPrefix(prefix, context, io);
    lab::CertificateStatus status;
    if (!listed || !statusOf(*listed, context, status, io))
        return failure;
    status.copy = status.issue.has_value();
    if (!writeWithHead(listed->record, file, status, context, io))
        return failure;
    // Only the issued file carries the laboratory's signature: a print made later is not the
    // certificate issued, and no reader may take it for one.
    if (signingKeyOf(status.lab).set())
        io.sayError(std::string("quarvet-cli: ") + (status.copy ? "a copy" : "a draft") +
                    " is not signed: only the file written at issue carries the laboratory's "
                    "signature\n");
    return success;
}

namespace {

// What `records issue` is given: the record, who authorises it in which role, the file.
struct IssueWords {
    std::string id;
    std::string file;
    QString by;
    QString role;
    bool accredited = true;
    std::optional<std::string> dcc; // where the DCC goes, where not beside the PDF
};

// The words of `records issue`, its one record id first or after the options; nothing, with
// the usage fault, when they are off.
std::optional<IssueWords> issueWords(const std::vector<std::string>& args,
                                     const std::vector<OptionShape>& shapes, std::string& fault)
{
    std::vector<std::string> rest;
    const bool idFirst = !args.empty() && !args[0].starts_with("-");
    const std::vector<std::string> words(args.begin() + (idFirst ? 1 : 0), args.end());
    auto options = readOptions(words, shapes, fault, idFirst ? nullptr : &rest);
    if (idFirst)
        rest.insert(rest.begin(), args[0]);
    if (!options || rest.size() != 1) {
        fault = options ? "records issue takes one record id" : fault;
        return std::nullopt;
    }
    if (options->count("-o") && options->count("--output")) {
        fault = "name one file, with -o or --output";
        return std::nullopt;
    }
    const auto value = [&](const char* name) {
        return options->count(name) ? options->at(name)[0] : std::string();
    };
    IssueWords said{rest[0],
                    value("-o").empty() ? value("--output") : value("-o"),
                    text(value("--by")).trimmed(),
                    text(value("--role")).trimmed(),
                    options->count("--unaccredited") == 0,
                    valueOf(*options, "--dcc")};
    if (said.by.isEmpty() != said.role.isEmpty() || said.file.empty()) {
        fault = "records issue needs -o FILE.pdf, and --by NAME with --role ROLE where the "
                "laboratory takes no signatures: who authorised it, as typed";
        return std::nullopt;
    }
    return said;
}

} // namespace

namespace {

// The DCC of a certificate just issued, where the laboratory writes one, signed with the
// PDF's key where it has one: only the DCC written at issue is; false, said, where it could
// not be written or signed.
bool writeIssuedDcc(const records::Record& record, const lab::CertificateStatus& status,
                    const QString& dcc, const certificate::SigningKey& key, RecordsContext& context,
                    Output& io)
{
    if (status.lab.value(QStringLiteral("country")).isEmpty())
        return true;
    if (!writeDcc(record, status, dcc, context, io))
        return false;
    if (const QString fault =
            key.set() ? certificate::signDcc(dcc, key, QDateTime::currentDateTimeUtc()) : QString();
        !fault.isEmpty())
        return refusal(QStringLiteral("The DCC %1 was not signed: %2").arg(dcc, fault), io), false;
    return true;
}

// The certificate just issued, written to `file`, and its number on standard output. The
// number is spent whatever fails after it: each failure says so, so that nobody issues the
// record again in the belief that it was not.
int writeIssued(const records::ListedRecord& listed, const std::string& file, const QString& dcc,
                const lab::CertificateIssue& issue, const certificate::SigningKey& key,
                RecordsContext& context, Output& io)
{
    const std::string issued = "quarvet-cli: certificate " + said(issue.number) + " was issued";
    lab::CertificateStatus status;
    bool written = statusOf(listed, context, status, io);
    if (written) {
        status.issue = issue;
        written = writeWithHead(listed.record, file, status, context, io);
    }
    if (!written) {
        io.sayError(issued + "; print it with quarvet-cli records certificate\n");
        return failure;
    }
    if (key.set())
        if (const QString fault =
                certificate::signPdf(text(file), key, certificate::signingReason(issue, status));
            !fault.isEmpty()) {
            io.sayError(issued + " and written to " + calc::printable(file) +
                        ", but not signed: " + fault.toStdString() + "\n");
            return failure;
        }
    // A laboratory that names its country issues the machine-readable certificate beside it.
    if (!writeIssuedDcc(listed.record, status, dcc, key, context, io)) {
        io.sayError(issued + " and written to " + calc::printable(file) +
                    ", but its DCC was not written whole\n");
        return failure;
    }
    try {
        io.out << said(issue.number) << "\n";
        io.out.flush();
    } catch (const WriteFailure&) {
        io.sayError(issued + " and written to " + calc::printable(file) +
                    ", but its number could not be written to standard output\n");
        throw;
    }
    return success;
}

// The laboratory's signing key, made ready; false, said, where it is set and cannot sign.
bool signingReady(RecordsContext& context, certificate::SigningKey& key, Output& io)
{
    lab::LabSettings settings;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, settings);
        read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    key = signingKeyOf(settings);
    if (!key.set())
        return true;
    if (const QString fault = readySigning(key); !fault.isEmpty())
        return refusal(QStringLiteral("The laboratory's key cannot sign the certificate: %1. No "
                                      "certificate was issued, and no number spent.")
                           .arg(fault),
                       io),
               false;
    return true;
}

// Whether the DCC can be written, tried before a number is spent: its place, and its content
// from what the certificate will hold; a --dcc named where the laboratory writes none is
// refused rather than left unwritten.
bool dccReady(const records::Record& record, const IssueWords& words, const QString& dcc,
              RecordsContext& context, Output& io)
{
    lab::LabSettings settings;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, settings);
        read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    const bool writes = !settings.value(QStringLiteral("country")).isEmpty();
    if (!writes && words.dcc)
        return refusal(QStringLiteral("--dcc names a DCC the laboratory does not write: its "
                                      "country is not set (quarvet-cli lab set --country). "
                                      "Nothing was issued."),
                       io),
               false;
    if (!writes)
        return true;
    if (dccPlaceRefused(text(words.file), dcc, io))
        return false;
    if (const records::OutputFault output = records::writableOutput(dcc, context.store.files());
        output.failed())
        return refusal(messages::dccFault(output), io), false;
    lab::CertificateStatus trial;
    trial.lab = settings;
    trial.issue = lab::CertificateIssue{};
    trial.issue->number = QStringLiteral("trial");
    trial.issue->issuedBy = words.by;
    trial.issue->role = words.role;
    dcc::DccFault fault;
    if (dcc::dccOf(record, trial, QString(64, u'0'), fault).isEmpty())
        return refusal(dccRefusal(fault) + QStringLiteral(" Nothing was issued."), io), false;
    return true;
}

} // namespace

// Issues a record's certificate: the next number from the store, once, with the person who
// authorises it; the number on the last line.
int issueCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                 RecordsContext& context, Output& io)
{
    std::string fault;
    const auto words = issueWords(args, shapes, fault);
    if (!words)
        return usageFault(fault, io);
    // Printed on the certificate as given: one sane line each, as a record's names.
    if (const records::Refusal refused = records::issuerRefusal(words->by, words->role);
        !words->by.isEmpty() && !refused.ok())
        return refusal(QString::fromStdString(messages::recordRefusal(refused)), io);
    const std::string& file = words->file;
    auto listed = recordByPrefix(text(words->id).trimmed(), context, io);
    if (!listed)
        return failure;
    // The number is spent once: not on a record changed since its saving, nor on a file that
    // cannot be written.
    if (const records::OutputFault output =
            records::certificateOutput(listed->record, text(file), context.store.files());
        output.failed())
        return refusal(messages::certificateFault(output), io);
    const QString dcc = dccPathFor(file, words->dcc);
    if (!dccReady(listed->record, *words, dcc, context, io))
        return failure;
    // Nor where the laboratory's key, which signs the file, cannot sign now.
    certificate::SigningKey key;
    if (!signingReady(context, key, io))
        return failure;
    lab::CertificateIssue issue{
        0,  {}, listed->record.id, QDateTime::currentDateTimeUtc(), words->by, words->role,
        {}, {}, words->accredited};
    if (const records::StoreFailure issued =
            lab::issueCertificate(context.store, listed->record, issue);
        issued.failed())
        return refusal(messages::storeFault(issued.fault), io);
    return writeIssued(*listed, file, dcc, issue, key, context, io);
}

} // namespace quarvet::cli
