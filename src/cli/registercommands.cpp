#include "registercommands.h"

#include "recordwords.h"
#include "signingkey.h"

#include "calc/utf8text.h"
#include "certificate/certificate.h"
#include "lab/certificates.h"
#include "lab/labsettings.h"
#include "lab/references.h"
#include "lab/signatures.h"
#include "messages/labmessages.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/recordform.h"
#include "records/recordformat.h"

#include <QFile>

#include <cmath>

namespace quarvet::cli {
namespace {

// The settings `lab set` takes, each with the setting it sets.
const std::vector<std::pair<const char*, const char*>>& labOptions()
{
    static const std::vector<std::pair<const char*, const char*>> options{
        {"--name", "name"},
        {"--address", "address"},
        {"--accreditation", "accreditation"},
        {"--accreditation-body", "accreditation-body"},
        {"--pattern", "pattern"},
        {"--prefix", "prefix"},
        {"--statements", "statements"},
        {"--interval-factors", "interval-factors"},
        {"--country", "country"}};
    return options;
}

// A setting as lab show says it: what holds, not only what was set.
QString shownValue(const lab::LabSettings& settings, const QString& name)
{
    const QString value = settings.value(name);
    if (name == QLatin1String("logo"))
        return value.isEmpty() ? QString() : QStringLiteral("(%1 bytes)").arg(value.size());
    if (name == QLatin1String("pattern") && value.isEmpty())
        return QString::fromLatin1(lab::defaultNumberPattern);
    // An accredited laboratory's default is yes.
    if (name == QLatin1String("registered-references-only") && settings.registeredReferencesOnly())
        return QStringLiteral("yes");
    if (name == QLatin1String("issue-needs") && value.isEmpty())
        return QStringLiteral("none");
    if (name == QLatin1String("same-person-may-approve") && value.isEmpty())
        return QStringLiteral("no");
    if (name == QLatin1String("interval-factors") && value.isEmpty())
        return QString::fromStdString(calc::intervalFactorsText({}));
    return value;
}

int labShow(RecordsContext& context, Output& io)
{
    lab::LabSettings settings;
    if (const records::StoreFailure read = lab::readLabSettings(context.store, settings);
        read.failed())
        return refusal(messages::storeFault(read.fault), io);
    for (const QString& name : lab::LabSettings::names())
        io.out << said(name) << '\t' << said(records::printableText(shownValue(settings, name)))
               << '\n';
    io.out.flush();
    showSigningKey(settings, io);
    bool readable = true;
    settings.pooledRepeatability(readable);
    if (!readable)
        io.sayError(
            "quarvet-cli: " +
            messages::labRefusal(lab::refusedAs(lab::LabRefusalKind::SettingPooled)).toStdString() +
            "\n");
    const bool accredited = !settings.value(QStringLiteral("accreditation")).isEmpty();
    if (const calc::ScopeReading scope = settings.scope(); !scope.ok())
        io.sayError("quarvet-cli: " + messages::scopeFault(scope) + "\n");
    else if (scope.ranges.empty() && accredited)
        io.sayError("quarvet-cli: the laboratory states an accreditation but no scope (lab set "
                    "--cmc): its certificates claim accreditation without a scope.\n");
    if (lab::issueNeedsOf(settings) == lab::IssueNeeds::None && accredited)
        io.sayError("quarvet-cli: the laboratory states an accreditation but issues certificates "
                    "without signatures (lab set --issue-needs reviewed or approved): anyone may "
                    "issue one in anyone's name.\n");
    return success;
}

// The logo of a file, as the settings keep it; false, said, when it is no image that draws.
bool readLogo(const QString& path, QMap<QString, QString>& values, Output& io)
{
    QString fault;
    const QString logo = lab::logoFromFile(path, fault);
    if (logo.isEmpty())
        return refusal(fault, io), false;
    if (!certificate::logoDraws(logo))
        return refusal(QStringLiteral("the logo %1 does not read as an image").arg(path), io),
               false;
    values.insert(QStringLiteral("logo"), logo);
    return true;
}

// The options of `lab set`: one a setting, the logo a file's.
std::vector<OptionShape> labSetShapes()
{
    std::vector<OptionShape> shapes{{"--logo", 1},
                                    {"--registered-references-only", 1},
                                    {"--same-person-may-approve", 1},
                                    {"--signing-key", 1},
                                    {"--signing-nss", 1},
                                    {"--signing-nick", 1},
                                    {"--issue-needs", 1},
                                    {"--cmc", 1, true},
                                    {"--pooled-repeatability", 1}};
    for (const auto& [option, setting] : labOptions())
        shapes.push_back({option, 1});
    return shapes;
}

// The scope `--cmc` gives, as the settings keep it: every range given makes the new scope,
// "none" clears it; false, said, when it does not read.
bool readCmc(const std::vector<std::string>& ranges, const calc::Separators& separators,
             QMap<QString, QString>& values, Output& io)
{
    if (ranges.size() == 1 && ranges[0] == "none") {
        values.insert(QStringLiteral("cmc"), QString());
        return true;
    }
    const calc::ScopeReading scope = calc::readScope(ranges, separators);
    if (!scope.ok())
        return refusal(QString::fromStdString(messages::scopeFault(scope)), io), false;
    values.insert(QStringLiteral("cmc"), QString::fromStdString(calc::scopeText(scope.ranges)));
    return true;
}

// The pooled repeatability `--pooled-repeatability` gives, as the settings keep it ("none"
// clears it); false, said, when it does not read.
bool readPooled(const std::string& typed, const calc::Separators& separators,
                QMap<QString, QString>& values, Output& io)
{
    if (typed == "none") {
        values.insert(QStringLiteral("pooled-repeatability"), QString());
        return true;
    }
    const calc::PooledReading pooled = calc::readPooled(typed, separators);
    if (!pooled.ok())
        return refusal(QString::fromStdString(messages::pooledFault(pooled, typed)), io), false;
    values.insert(QStringLiteral("pooled-repeatability"),
                  QString::fromStdString(calc::pooledText(pooled.value)));
    return true;
}

// The signing key `lab set` is given: a PKCS#12 file to import, or a database and nickname;
// false, said, when it cannot be used.
bool signingSettings(const Options& options, QMap<QString, QString>& values, QString& described,
                     Output& io)
{
    const bool imported = options.count("--signing-key") != 0;
    const bool named = options.count("--signing-nss") != 0;
    if (imported)
        return importSigningKey(text(options.at("--signing-key")[0]), values, described, io);
    if (named)
        return chooseSigningKey(text(options.at("--signing-nss")[0]),
                                text(options.at("--signing-nick")[0]), values, described, io);
    return true;
}

// The settings `lab set` is given as text, and those that take one of a few words; the exit
// status where one is wrong.
std::optional<int> wordSettings(const Options& options, QMap<QString, QString>& values, Output& io)
{
    for (const auto& [option, setting] : labOptions())
        if (options.count(option)) {
            const std::string& value = options.at(option)[0];
            if (!validUtf8(value))
                return refusal(QStringLiteral("%1 is not valid UTF-8 text").arg(option), io);
            values.insert(QString::fromLatin1(setting), text(value));
        }
    // Kept in one form, whichever digits were typed ("1.50:0.5" as 1.5:0.5).
    if (const auto factors = calc::readIntervalFactors(
            values.value(QStringLiteral("interval-factors")).toStdString()))
        values.insert(QStringLiteral("interval-factors"),
                      QString::fromStdString(calc::intervalFactorsText(*factors)));
    const std::pair<const char*, std::vector<std::string>> choices[] = {
        {"--registered-references-only", {"yes", "no"}},
        {"--same-person-may-approve", {"yes", "no"}},
        {"--issue-needs", {"none", "reviewed", "approved"}}};
    for (const auto& [option, words] : choices) {
        if (!options.count(option))
            continue;
        const std::string& word = options.at(option)[0];
        if (std::find(words.begin(), words.end(), word) == words.end())
            return usageFault(std::string(option) + " takes " +
                                  (words.size() == 2 ? "yes or no" : "none, reviewed or approved"),
                              io);
        values.insert(QString::fromLatin1(option + 2), text(word));
    }
    const bool named = options.count("--signing-nss") != 0;
    if (named != (options.count("--signing-nick") != 0) ||
        (named && options.count("--signing-key") != 0))
        return usageFault("lab set takes --signing-key FILE.p12, or --signing-nss DIR with "
                          "--signing-nick NICK",
                          io);
    return std::nullopt;
}

int labSet(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
           const calc::Separators& separators, RecordsContext& context, Output& io)
{
    std::string fault;
    const auto options = readOptions(args, shapes, fault);
    if (!options || options->empty())
        return usageFault(options ? "lab set takes at least one setting" : fault, io);
    QMap<QString, QString> values;
    if (const std::optional<int> status = wordSettings(*options, values, io))
        return *status;
    if (options->count("--logo") && !readLogo(text(options->at("--logo")[0]), values, io))
        return failure;
    if (options->count("--cmc") && !readCmc(options->at("--cmc"), separators, values, io))
        return failure;
    if (options->count("--pooled-repeatability") &&
        !readPooled(options->at("--pooled-repeatability")[0], separators, values, io))
        return failure;
    QString signing;
    if (!signingSettings(*options, values, signing, io))
        return failure;
    // Every value as it will be kept, the scope and the pooled term among them.
    for (auto at = values.cbegin(); at != values.cend(); ++at)
        if (const QString problem =
                messages::labRefusal(lab::labSettingProblem(at.key(), at.value()));
            !problem.isEmpty())
            return refusal(problem, io);
    if (const records::StoreFailure set = lab::setLabSettings(context.store, values); set.failed())
        return refusal(messages::storeFault(set.fault), io);
    if (!signing.isEmpty()) {
        io.out << said(QStringLiteral("signing with ") + signing) << '\n';
        io.out.flush();
    }
    return success;
}

// The options of `references add`.
const std::vector<OptionShape>& referenceShapes()
{
    static const std::vector<OptionShape> shapes{
        {"--id", 1}, {"--description", 1}, {"--certificate", 1}, {"--calibrated-by", 1},
        {"--u", 1},  {"--k", 1},           {"--drift", 1},       {"--calibrated", 1},
        {"--due", 1}};
    return shapes;
}

// The texts of a new entry; a refusal said when one is missing, empty or no UTF-8.
bool referenceTexts(const Options& options, lab::ReferenceStandard& standard, Output& io)
{
    const std::pair<const char*, QString*> texts[] = {{"--id", &standard.identifier},
                                                      {"--description", &standard.description},
                                                      {"--certificate", &standard.certificate},
                                                      {"--calibrated-by", &standard.calibratedBy}};
    for (const auto& [option, field] : texts) {
        const std::string value = options.count(option) ? options.at(option)[0] : std::string();
        if (!validUtf8(value) || text(value).trimmed().isEmpty() ||
            text(value).size() > records::longestName) {
            usageFault(std::string("references add needs ") + option +
                           " as text of 1 to 200 characters",
                       io);
            return false;
        }
        *field = text(value);
    }
    return true;
}

bool referenceNumbers(const Options& options, const calc::Separators& separators,
                      const QDate& today, lab::ReferenceStandard& standard, Output& io)
{
    if (!options.count("--u") || !numberOf("--u", options.at("--u")[0], separators, standard.U, io))
        return !options.count("--u") ? (usageFault("references add needs --u", io), false) : false;
    if (options.count("--k") && !numberOf("--k", options.at("--k")[0], separators, standard.k, io))
        return false;
    if (options.count("--drift") &&
        !numberOf("--drift", options.at("--drift")[0], separators, standard.drift, io))
        return false;

    for (const char* option : {"--calibrated", "--due"}) {
        const QDate date =
            options.count(option) ? records::readDueDate(text(options.at(option)[0])) : QDate();
        if (!date.isValid()) {
            usageFault(std::string(option) + " takes a date as YYYY-MM-DD", io);
            return false;
        }
        (QByteArray(option) == "--due" ? standard.due : standard.calibrated) = date;
    }
    if (const QString problem = messages::labRefusal(lab::referenceProblem(standard, today));
        !problem.isEmpty())
        return refusal(problem, io), false;
    return true;
}

int referencesAdd(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                  const calc::Separators& separators, RecordsContext& context, Output& io)
{
    std::string fault;
    const auto options = readOptions(args, shapes, fault);
    if (!options)
        return usageFault(fault, io);
    lab::ReferenceStandard standard;
    if (!referenceTexts(*options, standard, io))
        return usageError;
    // "Calibrated up to today" on a shared database's day, not a workstation's clock's.
    QDateTime now;
    if (const records::StoreFailure read = context.store.clock(now); read.failed())
        return refusal(messages::storeFault(read.fault), io);
    if (!referenceNumbers(*options, separators, now.toLocalTime().date(), standard, io))
        return failure;
    if (const records::StoreFailure added = lab::addReference(context.store, standard);
        added.failed())
        return refusal(messages::storeFault(added.fault), io);
    io.out << said(standard.identifier) << " entry " << std::to_string(standard.entry) << '\n';
    io.out.flush();
    return success;
}

// The newest entry of `identifier`; nothing, said, when the register does not hold it.
std::optional<lab::ReferenceStandard> newestEntry(RecordsContext& context,
                                                  const QString& identifier, Output& io)
{
    QList<lab::ReferenceStandard> entries;
    if (const records::StoreFailure read =
            lab::referenceEntries(context.store, identifier, entries);
        read.failed()) {
        refusal(messages::storeFault(read.fault), io);
        return std::nullopt;
    }
    if (entries.isEmpty()) {
        records::StoreFault fault =
            records::storeFault(records::StoreFaultKind::NoSuchReference, identifier);
        fault.location = context.store.location();
        refusal(messages::storeFault(fault), io);
        return std::nullopt;
    }
    return entries.last();
}

int referencesWithdraw(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    if (args.size() != 1)
        return usageFault("references withdraw takes one identifier", io);
    auto standard = newestEntry(context, text(args[0]), io);
    if (!standard)
        return failure;
    if (!standard->usable)
        return refusal(QStringLiteral("The reference standard %1 is withdrawn already (entry %2).")
                           .arg(standard->identifier)
                           .arg(standard->entry),
                       io);
    standard->usable = false;
    if (const records::StoreFailure added = lab::addReference(context.store, *standard);
        added.failed())
        return refusal(messages::storeFault(added.fault), io);
    io.out << said(standard->identifier) << " withdrawn, entry " << std::to_string(standard->entry)
           << '\n';
    io.out.flush();
    return success;
}

// One entry as a line of text, CSV or JSON; the columns in the order of `referenceFields`.
QStringList referenceValues(const lab::ReferenceStandard& standard)
{
    return {standard.identifier,
            QString::number(standard.entry),
            standard.description,
            standard.certificate,
            standard.calibratedBy,
            records::numberText(standard.U),
            records::numberText(standard.k),
            records::numberText(standard.drift),
            standard.calibrated.toString(Qt::ISODate),
            standard.due.toString(Qt::ISODate),
            standard.usable ? QStringLiteral("yes") : QStringLiteral("no"),
            standard.savedUtc.toString(Qt::ISODateWithMs),
            standard.savedBy};
}

const QStringList& referenceFields()
{
    static const QStringList fields{QStringLiteral("identifier"),
                                    QStringLiteral("entry"),
                                    QStringLiteral("description"),
                                    QStringLiteral("certificate"),
                                    QStringLiteral("calibrated_by"),
                                    QStringLiteral("u"),
                                    QStringLiteral("k"),
                                    QStringLiteral("drift"),
                                    QStringLiteral("calibrated"),
                                    QStringLiteral("due"),
                                    QStringLiteral("usable"),
                                    QStringLiteral("saved_utc"),
                                    QStringLiteral("saved_by")};
    return fields;
}

// Numbers and yes/no as JSON has them, texts quoted.
QString jsonLine(const QStringList& values)
{
    QStringList members;
    for (qsizetype n = 0; n < values.size(); ++n) {
        const QString& field = referenceFields()[n];
        const bool number = field == QLatin1String("entry") || field == QLatin1String("u") ||
                            field == QLatin1String("k") || field == QLatin1String("drift");
        const QString value = field == QLatin1String("usable")
                                  ? (values[n] == QLatin1String("yes") ? QStringLiteral("true")
                                                                       : QStringLiteral("false"))
                              : number ? values[n]
                                       : jsonText(values[n]);
        members << jsonText(field) + QLatin1Char(':') + value;
    }
    return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
}

void writeReferences(const QList<lab::ReferenceStandard>& standards, const std::string& format,
                     Output& io)
{
    if (format == "csv")
        io.out << said(referenceFields().join(QLatin1Char(','))) << "\r\n";
    for (const lab::ReferenceStandard& standard : standards) {
        QStringList values = referenceValues(standard);
        if (format == "json") {
            io.out << said(jsonLine(values)) << '\n';
            continue;
        }
        for (QString& value : values)
            value = format == "csv" ? csvField(value) : records::printableText(value);
        io.out << said(values.join(QLatin1Char(format == "csv" ? ',' : '\t')))
               << (format == "csv" ? "\r\n" : "\n");
    }
    io.out.flush();
}

int referencesList(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                   RecordsContext& context, Output& io)
{
    std::string fault;
    const auto options = readOptions(args, shapes, fault);
    if (!options)
        return usageFault(fault, io);
    const std::optional<std::string> chosen = formatOf(*options);
    if (!chosen)
        return usageFault("--format is text, csv or json, not '" +
                              calc::printable(options->at("--format")[0]) + "'",
                          io);
    const std::string& format = *chosen;
    QList<lab::ReferenceStandard> standards;
    if (const records::StoreFailure read = lab::listReferences(context.store, standards);
        read.failed())
        return refusal(messages::storeFault(read.fault), io);
    writeReferences(standards, format, io);
    return success;
}

// Every entry of one standard, oldest first: what it was on any day.
int referencesShow(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    if (args.size() != 1)
        return usageFault("references show takes one identifier", io);
    QList<lab::ReferenceStandard> entries;
    if (const records::StoreFailure read =
            lab::referenceEntries(context.store, text(args[0]), entries);
        read.failed())
        return refusal(messages::storeFault(read.fault), io);
    if (entries.isEmpty() && !newestEntry(context, text(args[0]), io))
        return failure;
    writeReferences(entries, "text", io);
    return success;
}

} // namespace

namespace {

// lab show and lab set.
std::vector<Command> labCommands()
{
    const std::string continued = usageContinued;
    return {
        {"lab show",
         {"quarvet-cli lab show | lab set [--name N] [--address A] [--accreditation X]" +
          continued + "[--accreditation-body B] [--pattern P] [--prefix X] [--statements S]" +
          continued + "[--logo FILE] [--registered-references-only yes|no]" + continued +
          "[--cmc LOW..HIGH=U ...|none]" + continued + "[--pooled-repeatability S:NU|none]" +
          continued + "[--interval-factors UP:DOWN] [--country XX]"},
         {},
         true,
         [](const Invocation& run) {
             return run.words.empty()
                        ? labShow(storeOf(run), run.io)
                        : usageFault("lab takes show, set with the settings to change, or signer",
                                     run.io);
         }},
        {"lab set", {}, labSetShapes(), true, [](const Invocation& run) {
             return labSet(run.words, run.command.options, run.separators, storeOf(run), run.io);
         }}};
}

// references add, withdraw, show and list.
std::vector<Command> referenceCommands()
{
    const std::string continued = usageContinued;
    return {
        {"references add",
         {"quarvet-cli references add --id ID --description D --certificate C" + continued +
          "--calibrated-by LAB --u U [--k K] [--drift A] --calibrated YYYY-MM-DD" + continued +
          "--due YYYY-MM-DD"},
         referenceShapes(),
         true,
         [](const Invocation& run) {
             return referencesAdd(run.words, run.command.options, run.separators, storeOf(run),
                                  run.io);
         }},
        {"references withdraw",
         {"quarvet-cli references withdraw ID | show ID | list [--format text|csv|json]"},
         {},
         true,
         [](const Invocation& run) { return referencesWithdraw(run.words, storeOf(run), run.io); }},
        {"references show",
         {},
         {},
         true,
         [](const Invocation& run) { return referencesShow(run.words, storeOf(run), run.io); }},
        {"references list", {}, {{"--format", 1}}, true, [](const Invocation& run) {
             return referencesList(run.words, run.command.options, storeOf(run), run.io);
         }}};
}

} // namespace

CommandTable registerCommands()
{
    CommandTable table{labCommands(), {}};
    const std::vector<Command> more = referenceCommands();
    table.commands.insert(table.commands.end(), more.begin(), more.end());
    table.groups = {{"lab", "lab takes show, set with the settings to change, signer or "
                            "import-key"},
                    {"references", "references takes add, withdraw, list or show"}};
    return table;
}

} // namespace quarvet::cli
