#include "signingcommands.h"

#include "issuecommands.h"
#include "options.h"
#include "recordwords.h"
#include "run.h"
#include "terminal.h"

#include "lab/signatures.h"
#include "lab/signers.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"

namespace quarvet::cli {
namespace {

using records::PasswordCheck;

// Whether `login` is shut out now, or it cannot be told: said when so.
bool shutOut(const QString& login, RecordsContext& context, Output& io)
{
    QDateTime until;
    const records::StoreFailure read = lab::signingLockedUntil(context.store, login, until);
    if (read.failed() || until.isValid())
        refusal(messages::storeFault(
                    read.failed() ? read.fault
                                  : records::storeFault(records::StoreFaultKind::SigningLocked,
                                                        until.toUTC().toString(QStringLiteral(
                                                            "yyyy-MM-dd HH:mm:ss")))),
                io);
    return read.failed() || until.isValid();
}

// Refuses `login` before any password is asked where it is no listed signer or is shut out;
// false, said, when it is.
bool maySign(const QString& login, RecordsContext& context, Output& io)
{
    QList<lab::Signer> signers;
    if (const records::StoreFailure read = lab::listSigners(context.store, signers); read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    const bool listed = std::any_of(signers.begin(), signers.end(), [&](const lab::Signer& s) {
        return s.login == login && s.listed;
    });
    if (!listed)
        return refusal(messages::storeFault(
                           records::storeFault(records::StoreFaultKind::NotASigner, login)),
                       io),
               false;
    return !shutOut(login, context, io);
}

// Whether the password typed is the login's; a wrong one is kept against the login. False,
// said, when it is not confirmed.
bool confirmed(const QString& login, const QString& password, RecordsContext& context, Output& io)
{
    // Shut out meanwhile, by passwords tried on another terminal: this one is not even tried.
    if (shutOut(login, context, io))
        return false;
    const records::PasswordAnswer answer = context.store.checkPassword(login, password);
    switch (answer.check) {
    case PasswordCheck::Confirmed:
        return true;
    case PasswordCheck::Wrong:
        if (const records::StoreFailure kept = lab::noteFailedSigning(context.store, login);
            kept.failed())
            refusal(messages::storeFault(kept.fault), io);
        return refusal(
                   QStringLiteral("That is not the password of %1: nothing was signed.").arg(login),
                   io),
               false;
    case PasswordCheck::NotAsked:
        return refusal(QStringLiteral("The database server let %1 in without asking for a "
                                      "password, so it cannot confirm who signs: its "
                                      "administrator must have it ask signers for one. Nothing "
                                      "was signed.")
                           .arg(login),
                       io),
               false;
    default:
        return refusal(QStringLiteral("The password of %1 could not be checked (%2): nothing "
                                      "was signed.")
                           .arg(login, answer.detail),
                       io),
               false;
    }
}

// The signature kept, and said.
int keepSignature(lab::Signature& signature, RecordsContext& context, Output& io)
{
    if (const records::StoreFailure added = lab::addSignature(context.store, signature);
        added.failed())
        return refusal(messages::storeFault(added.fault), io);
    io.out << said(QStringLiteral("record %1 signed as %2 by %3, %4 (signature %5)")
                       .arg(signature.recordId, signature.meaning,
                            records::printableText(signature.name),
                            records::printableText(signature.role))
                       .arg(signature.sequence))
           << '\n';
    io.out.flush();
    return success;
}

int signCommand(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    const ReadWords read = readWords(args, {{"--meaning", 1}}, EntryWords::Anywhere);
    if (!read.ok() || read.entries.size() != 1 || !read.options.count("--meaning"))
        return usageFault(read.ok() ? "records sign takes one record id and --meaning" : read.fault,
                          io);
    const std::vector<std::string>& rest = read.entries;
    const std::optional<lab::Meaning> meaning =
        lab::meaningOf(text(read.options.at("--meaning")[0]));
    if (!meaning)
        return usageFault("--meaning is performed, reviewed or approved", io);
    const auto listed = recordByPrefix(text(rest[0]).trimmed(), context, io);
    if (!listed)
        return failure;
    lab::Signature signature;
    bool byServer = false;
    if (const records::StoreFailure who = context.store.signingLogin(signature.login, byServer);
        who.failed())
        return refusal(messages::storeFault(who.fault), io);
    if (!maySign(signature.login, context, io))
        return failure;
    QString why;
    const std::optional<QString> password =
        askPassword(QStringLiteral("Password of %1, to sign record %2 as %3: ")
                        .arg(signature.login, listed->record.id, lab::meaningWord(*meaning)),
                    why);
    if (!password)
        return refusal(why[0].toUpper() + why.mid(1) + QStringLiteral(": nothing was signed."), io);
    if (!confirmed(signature.login, *password, context, io))
        return failure;
    signature.recordId = listed->record.id;
    signature.meaning = lab::meaningWord(*meaning);
    signature.authenticatedBy = byServer ? QStringLiteral("server") : QStringLiteral("system");
    return keepSignature(signature, context, io);
}

QString signatureJson(const lab::Signature& s)
{
    return QStringLiteral("{\"sequence\":%1,\"record\":%2,\"record_hash\":%3,\"login\":%4,"
                          "\"signer_entry\":%5,\"name\":%6,\"role\":%7,\"meaning\":%8,"
                          "\"signed_utc\":%9,\"authenticated_by\":%10,\"saved_by\":%11}")
        .arg(s.sequence)
        .arg(jsonText(s.recordId), jsonText(s.recordHash), jsonText(s.login))
        .arg(s.signerEntry)
        .arg(jsonText(s.name), jsonText(s.role), jsonText(s.meaning),
             jsonText(s.signedUtc.toString(Qt::ISODateWithMs)), jsonText(s.authenticatedBy),
             jsonText(s.savedBy));
}

QString signatureLine(const lab::Signature& s)
{
    const QStringList values{QString::number(s.sequence),
                             s.meaning,
                             s.name,
                             s.role,
                             s.login,
                             s.signedUtc.toString(Qt::ISODateWithMs),
                             s.authenticatedBy};
    return printableLine(values);
}

int signaturesCommand(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    const ReadWords read = readWords(args, {{"--format", 1}}, EntryWords::Anywhere);
    if (!read.ok() || read.entries.size() != 1)
        return usageFault(read.ok() ? "records signatures takes one record id" : read.fault, io);
    const std::vector<std::string>& rest = read.entries;
    const std::optional<std::string> format = formatOf(read.options);
    if (!format || *format == "csv")
        return usageFault("--format is text or json", io);
    const auto listed = recordByPrefix(text(rest[0]).trimmed(), context, io);
    if (!listed)
        return failure;
    QList<lab::Signature> signatures;
    if (const records::StoreFailure read =
            lab::signaturesOf(context.store, listed->record.id, signatures);
        read.failed())
        return refusal(messages::storeFault(read.fault), io);
    for (const lab::Signature& signature : signatures)
        io.out << said(*format == "json" ? signatureJson(signature) : signatureLine(signature))
               << '\n';
    io.out.flush();
    return success;
}

} // namespace

CommandTable signingCommands()
{
    return {{{"records sign",
              {"quarvet-cli records sign ID --meaning performed|reviewed|approved"},
              {},
              true,
              [](const Invocation& run) { return signCommand(run.words, storeOf(run), run.io); }},
             {"records signatures",
              {"quarvet-cli records signatures ID [--format text|json]"},
              {},
              true,
              [](const Invocation& run) {
                  return signaturesCommand(run.words, storeOf(run), run.io);
              }}},
            {}};
}

} // namespace quarvet::cli
