#include "dcccommands.h"

#include "dccreading.h"

#include "issuecommands.h"
#include "recordwords.h"

#include "dcc/dccwriter.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstdlib>

namespace quarvet::cli {

QString dccPathFor(const std::string& pdf, const std::optional<std::string>& dcc)
{
    if (dcc)
        return text(*dcc);
    QString path = text(pdf);
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path.chop(4);
    return path + QStringLiteral(".xml");
}

QString dccRefusal(const dcc::DccFault& fault)
{
    if (!fault.setting.isEmpty())
        return QStringLiteral("No DCC was written: the laboratory's %1 is not set (quarvet-cli "
                              "lab set --%1).")
            .arg(fault.setting);
    return QStringLiteral("No DCC was written: the certificate holds %1, which it would leave out "
                          "or change.")
        .arg(fault.unwritable);
}

bool dccPlaceRefused(const QString& pdf, const QString& dcc, Output& io)
{
    if (dcc.isEmpty())
        return usageFault("--dcc names no file", io), true;
    // Named through links, and before the certificate is written: the folder each is in,
    // resolved as the system does (a link before the ".." after it, never by the path's
    // text), and the name in it.
    const auto resolved = [](const QString& path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QString folder =
            slash < 0 ? QStringLiteral(".") : path.left(std::max<qsizetype>(slash, 1));
        char* real = ::realpath(QFile::encodeName(folder).constData(), nullptr);
        const QString resolvedFolder = real ? QFile::decodeName(real) : QString();
        ::free(real);
        const QFileInfo file(resolvedFolder + QLatin1Char('/') + path.mid(slash + 1));
        return resolvedFolder.isEmpty() ? QFileInfo(path).absoluteFilePath()
               : file.exists()          ? file.canonicalFilePath()
                                        : file.absoluteFilePath();
    };
    const bool same = QFileInfo(pdf).absoluteFilePath() == QFileInfo(dcc).absoluteFilePath() ||
                      resolved(pdf) == resolved(dcc);
    if (same)
        return refusal(QStringLiteral("The DCC would be written over the certificate %1: name "
                                      "another file with --dcc. Nothing was issued.")
                           .arg(pdf),
                       io),
               true;
    return false;
}

bool writeDcc(const records::Record& record, const lab::CertificateStatus& status,
              const QString& path, RecordsContext& context, Output& io)
{
    if (!records::asSaved(record))
        return refusal(messages::dccFault({records::OutputFaultKind::NotAsSaved, path, {}}), io),
               false;
    QString head;
    if (!certificateHead(status, context, head, io))
        return false;
    dcc::DccFault fault;
    const QByteArray bytes = dcc::dccOf(record, status, head, fault);
    if (fault.failed())
        return refusal(dccRefusal(fault), io), false;
    QString store;
    if (const records::OutputFaultKind why =
            records::unreplaceable(path, context.store.files(), &store);
        why != records::OutputFaultKind::None)
        return refusal(messages::dccFault({why, path, store}), io), false;
    // Written beside its name and put in its place once whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return refusal(messages::dccFault(
                           {records::OutputFaultKind::CannotWrite, path, file.errorString()}),
                       io),
               false;
    return true;
}

bool takeCountryNow(lab::CertificateStatus& status, RecordsContext& context, Output& io)
{
    if (!status.lab.value(QStringLiteral("country")).isEmpty())
        return true;
    lab::LabSettings now;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, now); read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    status.lab.values.insert(QStringLiteral("country"), now.value(QStringLiteral("country")));
    return true;
}

namespace {

int dccCommand(const Invocation& run)
{
    const ReadWords read = readWords(run.words, run.command.options, EntryWords::Anywhere);
    if (!read.ok())
        return usageFault(read.fault, run.io);
    const std::vector<std::string>& rest = read.entries;
    const Options* options = &read.options;
    if (rest.size() != 1 || !options->count("-o"))
        return usageFault("records dcc ID -o FILE.xml", run.io);
    if (!validUtf8(options->at("-o")[0]))
        return usageFault("the file name is not valid UTF-8", run.io);
    RecordsContext& context = storeOf(run);
    const auto listed = recordByPrefix(text(rest[0]).trimmed(), context, run.io);
    if (!listed)
        return failure;
    lab::CertificateStatus status;
    if (const records::StoreFailure read =
            lab::certificateStatus(context.store, listed->record, listed->correctedBy, status);
        read.failed())
        return refusal(messages::storeFault(read.fault), run.io);
    status.copy = status.issue.has_value();
    if (!takeCountryNow(status, context, run.io))
        return failure;
    return writeDcc(listed->record, status, text(options->at("-o")[0]), context, run.io) ? success
                                                                                         : failure;
}

} // namespace

CommandTable dccCommands()
{
    return {{{"records dcc",
              {"quarvet-cli records dcc ID -o FILE.xml"},
              {{"-o", 1, false, ValueWords::NotAnOption, "one file name"}},
              true,
              dccCommand},
             readDccCommandEntry()},
            {}};
}

} // namespace quarvet::cli
