#include "dcccommands.h"

#include "issuecommands.h"
#include "recordwords.h"

#include "dcc/dccwriter.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"

#include <QSaveFile>

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

bool writeDcc(const records::Record& record, const lab::CertificateStatus& status,
              const QString& path, RecordsContext& context, Output& io)
{
    dcc::DccFault fault;
    const QByteArray bytes = dcc::dccOf(record, status, fault);
    if (fault.failed())
        return refusal(QStringLiteral("No DCC was written: the laboratory's %1 is not set "
                                      "(quarvet-cli lab set --%1).")
                           .arg(fault.setting),
                       io),
               false;
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
              dccCommand}},
            {}};
}

} // namespace quarvet::cli
