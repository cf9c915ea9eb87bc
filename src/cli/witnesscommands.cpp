#include "witnesscommands.h"

#include "certificatereading.h"
#include "recordcommands.h"
#include "recordwords.h"
#include "signingkey.h"
#include "storedeadline.h"

#include "calc/utf8text.h"
#include "certificate/certificatemark.h"
#include "lab/certificates.h"
#include "messages/storemessages.h"
#include "records/checkpoints.h"
#include "records/recordformat.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>

namespace quarvet::cli {
namespace {

// A witness file is a few lines a month; one past this is no witness file.
constexpr qint64 largestWitnessFile = 16 * 1024 * 1024;

// The witnesses of a file, one a line as `records witness` writes them ("#" lines and blank
// ones aside); false, with `fault`, when it cannot be read or a line is none.
bool readWitnesses(const QString& path, std::vector<records::Witness>& witnesses, QString& fault)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return fault = QStringLiteral("the witness file %1 is no file").arg(path), false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fault = QStringLiteral("the witness file %1 cannot be read: %2")
                           .arg(path, file.errorString()),
               false;
    const QByteArray bytes = file.read(largestWitnessFile + 1);
    if (file.error() != QFileDevice::NoError)
        return fault = QStringLiteral("the witness file %1 cannot be read: %2")
                           .arg(path, file.errorString()),
               false;
    if (bytes.size() > largestWitnessFile)
        return fault = QStringLiteral("the witness file %1 is larger than 16 MiB").arg(path), false;
    static const QRegularExpression line(
        QStringLiteral("^([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z)\\t([1-9][0-9]{0,"
                       "17})\\t([0-9a-f]{64})$"));
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString text = QString::fromUtf8(lines[n]).remove(QLatin1Char('\r'));
        if (text.trimmed().isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            return fault = QStringLiteral("line %1 of the witness file %2 is no witness (time, "
                                          "count and head, as records witness writes them)")
                               .arg(n + 1)
                               .arg(path),
                   false;
        witnesses.push_back({match.captured(1), match.captured(2).toLongLong(), match.captured(3)});
    }
    if (witnesses.empty())
        return fault = QStringLiteral("the witness file %1 holds no witness").arg(path), false;
    return true;
}

// Walks the chain, the witnesses held against it; false, said, when the store cannot be read.
bool walkChain(RecordsContext& context, const std::vector<records::Witness>& witnesses,
               records::ChainReport& report, Output& io)
{
    records::StoreFailure failure;
    {
        const StoreDeadline deadline;
        failure = context.store.checkChain(report, witnesses);
    }
    if (failure.failed())
        return refusal(messages::storeFault(failure.fault), io), false;
    records::keepReached(context.store, report);
    return true;
}

// What a walk found, as verify and witness say it; the exit status.
int sayReport(const records::ChainReport& report, RecordsContext& context, Output& io)
{
    const QString said = messages::chainReport(report, context.store.location());
    if (!report.chained)
        return refusal(said, io);
    io.out << cli::said(said) << "\n";
    for (const QString& note : report.notes.notes)
        io.out << "noted " << calc::printable(cli::said(note)) << "\n";
    io.out.flush();
    return report.whole() ? success : storeContradicted;
}

// Walks the whole chain, and every issue and kept row beside it: exit 0 when all is whole, 4
// naming where it is first broken or where a witness disagrees.
int verifyCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                  RecordsContext& context, Output& io)
{
    std::string fault;
    std::vector<std::string> rest;
    const auto options = readOptions(args, shapes, fault, &rest);
    if (options && !rest.empty())
        return usageFault("records verify takes no arguments but --witness FILE", io);
    if (!options)
        return usageFault(fault, io);
    std::vector<records::Witness> witnesses;
    if (const auto file = valueOf(*options, "--witness")) {
        QString unread;
        if (!readWitnesses(text(*file), witnesses, unread))
            return refusal(unread, io);
    }
    records::ChainReport report;
    if (!walkChain(context, witnesses, report, io))
        return failure;
    return sayReport(report, context, io);
}

// Whether `path` is one of the store's files or a file beside them that its database keeps
// (its log, its shared memory, its journal), by name, link or another name of the same file.
bool isStoreFile(const QString& path, const QStringList& kept)
{
    struct stat given {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &given) == 0;
    const QString named = QFileInfo(path).absoluteFilePath();
    for (const QString& file : kept)
        for (const char* beside : {"", "-wal", "-shm", "-journal"}) {
            const QString companion = file + QLatin1String(beside);
            struct stat held {};
            if (named == QFileInfo(companion).absoluteFilePath() ||
                (exists && ::stat(QFile::encodeName(companion).constData(), &held) == 0 &&
                 held.st_dev == given.st_dev && held.st_ino == given.st_ino))
                return true;
        }
    return false;
}

// Appends `line` to the file at `path`, made when it is not there; the fault, if any.
QString appendLine(const QString& path, const QByteArray& line)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("the witness file %1 is no file").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return QStringLiteral("the witness file %1 cannot be written: %2")
            .arg(path, file.errorString());
    if (file.write(line) != line.size() || !file.flush())
        return QStringLiteral("the witness file %1 cannot be written: %2")
            .arg(path, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("the witness file %1 cannot be written: %2")
            .arg(path, file.errorString());
    return {};
}

// The witness of a chain found whole: dated by the store's clock, on standard output or
// appended to the file at `path`.
int writeWitness(const records::ChainReport& report, const std::optional<std::string>& file,
                 RecordsContext& context, Output& io)
{
    QDateTime now;
    if (const records::StoreFailure read = context.store.clock(now); read.failed())
        return refusal(messages::storeFault(read.fault), io);
    const QByteArray line = now.toString(Qt::ISODate).toLatin1() + '\t' +
                            QByteArray::number(report.count) + '\t' + report.head.toLatin1() + '\n';
    if (!file) {
        io.out << line.toStdString();
        io.out.flush();
        return success;
    }
    const QString path = text(*file);
    if (const QString unwritten = appendLine(path, line); !unwritten.isEmpty())
        return refusal(unwritten, io);
    io.out << "witnessed " << std::to_string(report.count)
           << (report.count == 1 ? " record" : " records") << ", head "
           << report.head.left(16).toStdString() << ", in " << calc::printable(path.toStdString())
           << "\n";
    io.out.flush();
    return success;
}

// Witnesses the chain as it stands, once it is found whole: its time, count and head, on
// standard output or appended to a file kept outside the store.
int witnessCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                   RecordsContext& context, Output& io)
{
    std::string fault;
    std::vector<std::string> rest;
    const auto options = readOptions(args, shapes, fault, &rest);
    if (options && !rest.empty())
        return usageFault("records witness takes no arguments but -o FILE", io);
    if (!options)
        return usageFault(fault, io);
    auto file = valueOf(*options, "-o");
    if (const auto output = valueOf(*options, "--output"); output && file)
        return usageFault("records witness takes one output file", io);
    else if (output)
        file = output;
    if (file && isStoreFile(text(*file), context.store.files()))
        return refusal(QStringLiteral("the witness file %1 is the record store itself: it "
                                      "must be kept outside it")
                           .arg(text(*file)),
                       io);
    records::ChainReport report;
    if (!walkChain(context, {}, report, io))
        return failure;
    if (!report.chained || !report.whole())
        return sayReport(report, context, io);
    if (report.count == 0)
        return refusal(QStringLiteral("The store holds no record to witness."), io);
    return writeWitness(report, file, context, io);
}

// What a certificate of this program's says of itself, from its metadata and its page, which
// must agree; none, said, when it cannot be read or says nothing of the kind.
std::optional<lab::CertificateMark> markOfFile(const QString& path,
                                               const certificate::SigningKey& key,
                                               certificate::PdfSignature& signature, int& status,
                                               Output& io)
{
    const certificate::CertificateMarks marks = readMarksApart(path, key);
    signature = marks.signature;
    status = failure;
    if (!marks.fault.isEmpty())
        return refusal(QStringLiteral("the certificate ") + marks.fault, io), std::nullopt;
    if (!marks.metadata && !marks.text)
        return refusal(QStringLiteral("%1 is no certificate of this program's: it names no "
                                      "record and chain head")
                           .arg(path),
                       io),
               std::nullopt;
    if (marks.metadata && marks.text && !lab::sameMarkAsPrinted(*marks.text, *marks.metadata)) {
        io.out << "Not intact: the certificate's page and its document's metadata name "
                  "different records, hashes or numbers: one was changed.\n";
        io.out.flush();
        status = storeContradicted;
        return std::nullopt;
    }
    return marks.metadata ? marks.metadata : marks.text;
}

// The file's mark and signature, its signature checked against the laboratory's key's
// database where it has one; none, said, with the exit status in `status`, where it has no mark.
std::optional<lab::CertificateMark> markAndSignature(const QString& path, RecordsContext& context,
                                                     certificate::SigningKey& key,
                                                     certificate::PdfSignature& signature,
                                                     int& status, Output& io)
{
    lab::LabSettings settings;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, settings);
        read.failed())
        return refusal(messages::storeFault(read.fault), io), std::nullopt;
    key = signingKeyOf(settings);
    return markOfFile(path, key, signature, status, io);
}

// What a file's PDF signature that holds says of it, to follow what the store holds.
QString signedWords(const certificate::PdfSignature& signature, bool signedAtIssue)
{
    // A laboratory that signs its issues says so of an issued file that carries none; a copy,
    // a draft or the certificate of a laboratory that signs nothing carries none by design.
    if (!signature.present)
        return signedAtIssue ? QStringLiteral("; the file carries no PDF signature") : QString();
    return QStringLiteral("; the file is signed by %1, whole, its certificate %2")
        .arg(signature.signer, signature.trusted ? QStringLiteral("trusted here")
                                                 : QStringLiteral("not known to be trusted here"));
}

// What the store holds of a certificate that it does not contradict: exit 0.
int sayHolds(const lab::CertificateMark& mark, const lab::CertificateFinding& finding,
             const QString& named, const QString& signedAs, Output& io)
{
    QString said =
        QStringLiteral("%1 holds: %2 unchanged, chain head %3 in the chain")
            .arg(named,
                 mark.kind == QLatin1String("draft") ? QStringLiteral("the record")
                                                     : QStringLiteral("record ") + mark.recordId,
                 mark.chainHead.left(16));
    if (finding.issue)
        said += QStringLiteral(", issued %1")
                    .arg(finding.issue->issuedUtc.toLocalTime().date().toString(Qt::ISODate));
    if (!finding.supersededBy.isEmpty())
        said += QStringLiteral("; superseded: record %1 corrects it").arg(finding.supersededBy);
    // The mark is what the store can answer for; the values printed around it are the file's.
    said += QStringLiteral(" (its number, record, hash and head; not the values its pages show)");
    said += signedAs;
    io.out << cli::said(said) << "\n";
    io.out.flush();
    return success;
}

// What the store holds of a certificate, and what its file's PDF signature says: exit 4 where
// the signature does not hold for the file as it is.
int sayWithSignature(const lab::CertificateMark& mark, const lab::CertificateFinding& finding,
                     const QString& named, const certificate::PdfSignature& signature,
                     bool laboratorySigns, Output& io)
{
    // An issued file carries the laboratory's one signature over all of it: a second one
    // signs what was added after it.
    if (signature.present && (signature.count != 1 || !signature.valid || !signature.wholeDocument))
        return sayNotIntact(named,
                            QStringLiteral("its PDF signature does not hold for the file as it is: "
                                           "the file was changed after it was signed"),
                            io);
    if (signature.laboratorys == false)
        return sayNotIntact(named,
                            QStringLiteral("its PDF signature was made with another certificate "
                                           "than the laboratory's (%1)")
                                .arg(signature.signer),
                            io);
    return sayHolds(mark, finding, named,
                    signedWords(signature, laboratorySigns && mark.kind == QLatin1String("issued")),
                    io);
}

// records check-certificate --marks FILE [NSS-FOLDER NICKNAME]: what the reading child says.
int printMarksOf(const std::vector<std::string>& args, Output& io)
{
    const bool keyed = args.size() == 4;
    return printMarks(text(args[1]),
                      {keyed ? text(args[2]) : QString(), keyed ? text(args[3]) : QString()}, io);
}

// Holds a certificate against the store: exit 0 when the store holds its record unchanged and
// its head in the chain (and, issued, its number issued so), 4 naming what contradicts it.
int checkCertificateCommand(const std::vector<std::string>& args, RecordsContext& context,
                            Output& io)
{
    if ((args.size() == 2 || args.size() == 4) && args[0] == "--marks" && !args[1].empty())
        return printMarksOf(args, io);
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usageFault("records check-certificate takes one certificate file", io);
    int status = failure;
    certificate::SigningKey key;
    certificate::PdfSignature signature;
    const auto mark = markAndSignature(text(args[0]), context, key, signature, status, io);
    if (!mark)
        return status;
    const QString named = mark->kind == QLatin1String("draft")
                              ? QStringLiteral("Draft of record %1").arg(mark->recordId)
                              : QStringLiteral("Certificate %1").arg(mark->number);
    lab::CertificateFinding finding;
    if (const int held = holdMark(*mark, named, context, finding, io); held != markHeld)
        return held;
    return sayWithSignature(*mark, finding, named, signature, key.set(), io);
}

} // namespace

int sayNotIntact(const QString& named, const QString& why, Output& io)
{
    io.out << cli::said(QStringLiteral("Not intact: %1: %2").arg(named, why)) << "\n";
    io.out.flush();
    return storeContradicted;
}

int holdMark(const lab::CertificateMark& mark, const QString& named, RecordsContext& context,
             lab::CertificateFinding& finding, Output& io)
{
    // A record's hash column says what its fields give only where the chain is found whole.
    records::ChainReport report;
    if (!walkChain(context, {}, report, io))
        return failure;
    if (report.chained && !report.whole())
        return sayNotIntact(named,
                            QStringLiteral("the store does not hold it as written. ") +
                                messages::chainReport(report, context.store.location()),
                            io);
    records::StoreFailure failed;
    {
        const StoreDeadline deadline;
        failed = lab::checkCertificate(context.store, mark, finding);
    }
    if (failed.failed())
        return refusal(messages::storeFault(failed.fault), io);
    if (const QString contradicted = messages::certificateContradiction(mark, finding);
        !contradicted.isEmpty())
        // It names what the file says, which may hold anything.
        return sayNotIntact(named, records::printableText(contradicted), io);
    return markHeld;
}

std::vector<Command> chainCommands()
{
    return {{"records verify",
             {"quarvet-cli records verify [--witness FILE]"},
             {{"--witness", 1, false, ValueWords::NotAnOption, "one file name"}},
             true,
             [](const Invocation& run) {
                 return verifyCommand(run.words, run.command.options, storeOf(run), run.io);
             }},
            {"records witness",
             {"quarvet-cli records witness [-o FILE]"},
             {{"-o", 1, false, ValueWords::NotAnOption, "one file name"},
              {"--output", 1, false, ValueWords::NotAnOption, "one file name"}},
             true,
             [](const Invocation& run) {
                 return witnessCommand(run.words, run.command.options, storeOf(run), run.io);
             }},
            {"records check-certificate",
             {"quarvet-cli records check-certificate FILE.pdf"},
             {},
             true,
             [](const Invocation& run) {
                 return checkCertificateCommand(run.words, storeOf(run), run.io);
             }}};
}

} // namespace quarvet::cli
