#include "signercommands.h"

#include "options.h"
#include "recordwords.h"
#include "run.h"
#include "signingkey.h"

#include "calc/utf8text.h"
#include "lab/signers.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"

namespace quarvet::cli {
namespace {

// The newest entry of `login`; nothing, said, when the list never held it.
std::optional<lab::Signer> listedSigner(RecordsContext& context, const QString& login, Output& io)
{
    QList<lab::Signer> signers;
    if (const records::StoreFailure read = lab::listSigners(context.store, signers);
        read.failed()) {
        refusal(messages::storeFault(read.fault), io);
        return std::nullopt;
    }
    for (const lab::Signer& signer : signers)
        if (signer.login == login)
            return signer;
    refusal(QStringLiteral("The laboratory lists no signer %1.").arg(login), io);
    return std::nullopt;
}

// Keeps `signer` as its login's next entry and says which.
int keep(lab::Signer& signer, RecordsContext& context, Output& io, const char* done)
{
    if (const lab::LabRefusal problem = lab::signerProblem(signer); !problem.ok())
        return refusal(messages::labRefusal(problem), io);
    if (const records::StoreFailure added = lab::addSigner(context.store, signer); added.failed())
        return refusal(messages::storeFault(added.fault), io);
    io.out << said(signer.login) << done << " entry " << std::to_string(signer.entry) << '\n';
    io.out.flush();
    return success;
}

int signerAdd(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    // The login first, then its name and role: a login is never taken for an option.
    if (args.empty() || args[0].starts_with("--"))
        return usageFault("lab signer add takes a login, then --name and --role", io);
    std::string fault;
    const auto options =
        readOptions({args.begin() + 1, args.end()}, {{"--name", 1}, {"--role", 1}}, fault);
    if (!options)
        return usageFault(fault, io);
    if (!options->count("--name") || !options->count("--role"))
        return usageFault("lab signer add takes a login, then --name and --role", io);
    for (const std::string& word : {args[0], options->at("--name")[0], options->at("--role")[0]})
        if (!validUtf8(word))
            return refusal(QStringLiteral("A signer's login, name and role are valid UTF-8 text."),
                           io);
    lab::Signer signer;
    signer.login = text(args[0]);
    signer.name = text(options->at("--name")[0]);
    signer.role = text(options->at("--role")[0]);
    return keep(signer, context, io, "");
}

int signerWithdraw(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    if (args.size() != 1)
        return usageFault("lab signer withdraw takes one login", io);
    std::optional<lab::Signer> signer = listedSigner(context, text(args[0]), io);
    if (!signer)
        return failure;
    if (!signer->listed)
        return refusal(QStringLiteral("The signer %1 is withdrawn already (entry %2).")
                           .arg(signer->login)
                           .arg(signer->entry),
                       io);
    signer->listed = false;
    return keep(*signer, context, io, " withdrawn,");
}

QString signerJson(const lab::Signer& signer)
{
    return QStringLiteral("{\"login\":%1,\"entry\":%2,\"name\":%3,\"role\":%4,\"listed\":%5,"
                          "\"saved_utc\":%6,\"saved_by\":%7}")
        .arg(jsonText(signer.login))
        .arg(signer.entry)
        .arg(jsonText(signer.name), jsonText(signer.role),
             signer.listed ? QStringLiteral("true") : QStringLiteral("false"),
             jsonText(signer.savedUtc.toString(Qt::ISODateWithMs)), jsonText(signer.savedBy));
}

// One line of text: each value made printable, so that a signer is one line.
QString signerLine(const lab::Signer& signer)
{
    const QStringList values{signer.login,
                             QString::number(signer.entry),
                             signer.name,
                             signer.role,
                             signer.listed ? QStringLiteral("listed") : QStringLiteral("withdrawn"),
                             signer.savedUtc.toString(Qt::ISODateWithMs),
                             signer.savedBy};
    return printableLine(values);
}

int signerList(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    std::string fault;
    const auto options = readOptions(args, {{"--format", 1}}, fault);
    if (!options)
        return usageFault(fault, io);
    const std::optional<std::string> format = formatOf(*options);
    if (!format || *format == "csv")
        return usageFault("--format is text or json", io);
    QList<lab::Signer> signers;
    if (const records::StoreFailure read = lab::listSigners(context.store, signers); read.failed())
        return refusal(messages::storeFault(read.fault), io);
    for (const lab::Signer& signer : signers)
        io.out << said(*format == "json" ? signerJson(signer) : signerLine(signer)) << '\n';
    io.out.flush();
    return success;
}

// The laboratory's signing key imported into this user's own NSS database, for a workstation
// that issues with the key the laboratory's owner named (lab set --signing-key).
int importKey(const std::vector<std::string>& args, Output& io)
{
    if (args.size() != 1 || args[0].starts_with("-"))
        return usageFault("lab import-key takes one PKCS#12 file", io);
    QMap<QString, QString> values;
    QString described;
    if (!importSigningKey(text(args[0]), values, described, io))
        return failure;
    io.out << said(QStringLiteral("imported %1 as \"%2\"")
                       .arg(described, values.value(QStringLiteral("signing-nick"))))
           << '\n';
    io.out.flush();
    return success;
}

} // namespace

CommandTable signerCommands()
{
    const std::string continued = usageContinued;
    return {{{"lab signer",
              {"quarvet-cli lab signer add LOGIN --name \"PRINTED NAME\" --role ROLE" + continued +
               "| lab signer withdraw LOGIN | lab signer list [--format text|json]"},
              {},
              true,
              [](const Invocation& run) {
                  const std::vector<std::string>& words = run.words;
                  const std::vector<std::string> rest(
                      words.empty() ? words.end() : words.begin() + 1, words.end());
                  const std::string what = words.empty() ? std::string() : words[0];
                  if (what == "add")
                      return signerAdd(rest, storeOf(run), run.io);
                  if (what == "withdraw")
                      return signerWithdraw(rest, storeOf(run), run.io);
                  if (what == "list")
                      return signerList(rest, storeOf(run), run.io);
                  return usageFault("lab signer takes add, withdraw or list", run.io);
              }},
             {"lab import-key",
              {"quarvet-cli lab import-key FILE.p12"},
              {},
              false,
              [](const Invocation& run) { return importKey(run.words, run.io); }}},
            {}};
}

} // namespace quarvet::cli
