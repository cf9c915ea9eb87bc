#include "recordcommands.h"
#include "instrumentcommands.h"
#include "issuecommands.h"
#include "recordwords.h"
#include "storedeadline.h"
#include "witnesscommands.h"

#include "adjustcommands.h"

#include "calc/adjustment.h"
#include "calc/check.h"
#include "calc/utf8text.h"
#include "lab/certificates.h"
#include "lab/labsettings.h"
#include "lab/references.h"
#include "messages/labmessages.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"
#include "records/recordform.h"
#include "records/recordformat.h"

#include <QUuid>

#include <map>
#include <optional>

namespace quarvet::cli {
namespace {

// Each record written as it is read, so that a listing of a million records holds one of
// them at a time. The store's deadline runs while the store is read, not while the output
// waits for a slow reader.
records::StoreFailure writeRecords(records::RecordStore& store, const records::RecordFilter& filter,
                                   const std::string& format, Output& io)
{
    // The header goes out with the first record, or after an empty listing: a store that
    // cannot be read leaves nothing on standard output.
    bool headed = format != "csv";
    const auto head = [&] {
        if (!headed)
            io.out << said(records::csvHeader());
        headed = true;
    };
    StoreDeadline deadline;
    records::StoreFailure failure = store.visit(filter, [&](const records::ListedRecord& listed) {
        deadline.pause();
        head();
        const QByteArray line =
            (format == "csv"    ? records::csvRow(listed.record)
             : format == "json" ? records::jsonObject(listed.record) + QLatin1Char('\n')
                                : records::textLine(listed.record) + QLatin1Char('\n'))
                .toUtf8();
        io.out << std::string_view(line.constData(), static_cast<std::size_t>(line.size()));
        deadline.resume();
        return true;
    });
    if (!failure.failed())
        head();
    return failure;
}

// The sort a listing's --sort names, or none for a word that names no column.
std::optional<records::SortKey> sortKeyOf(const QString& word)
{
    using records::SortKey;
    static const std::pair<const char*, SortKey> keys[] = {
        {"date", SortKey::Date},         {"serial", SortKey::Serial},
        {"type", SortKey::Type},         {"as-found", SortKey::AsFound},
        {"as-left", SortKey::Verdict},   {"technician", SortKey::Technician},
        {"customer", SortKey::Customer}, {"certificate", SortKey::Certificate}};
    for (const auto& [name, key] : keys)
        if (word == QLatin1String(name))
            return key;
    return std::nullopt;
}

int listCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
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
    const auto value = [&](const char* option) {
        return options->count(option) ? text(options->at(option)[0]) : QString();
    };
    // Reverse traceability: every record made with a standard, or for a customer; and the
    // record a certificate's number names.
    records::RecordFilter filter = records::RecordFilter::ofSerial(value("--serial"));
    filter.referenceId = value("--reference");
    filter.customer = value("--customer");
    filter.certificate = value("--certificate").trimmed();
    // A number left blank (an empty variable in a script) would list every record.
    if (options->count("--certificate") && filter.certificate.isEmpty())
        return usageFault("--certificate names no number", io);
    const std::optional<records::SortKey> sorted =
        options->count("--sort") ? sortKeyOf(value("--sort")) : records::SortKey::Date;
    if (!sorted)
        return usageFault("--sort is date, serial, type, as-found, as-left, technician, customer "
                          "or certificate, not '" +
                              calc::printable(options->at("--sort")[0]) + "'",
                          io);
    filter.sortBy = *sorted;
    filter.ascending = options->count("--ascending") > 0;
    if (const records::StoreFailure failure = writeRecords(context.store, filter, format, io);
        failure.failed())
        return refusal(messages::storeFault(failure.fault), io);
    return success;
}

// The options `records add` takes. A text travels exactly, even one that begins with "--" (a
// serial number "--help"); a number never does, so a forgotten one is said as such.
const std::vector<OptionShape>& addShapes()
{
    static const std::vector<OptionShape> shapes = [] {
        std::vector<OptionShape> made;
        for (const char* name : {"--serial",        "--type",        "--line",
                                 "--technician",    "--reference",   "--reference-u",
                                 "--reference-due", "--ambient",     "--tolerance",
                                 "--note",          "--reference-k", "--drift",
                                 "--resolution",    "--uniformity",  "--stability",
                                 "--rule",          "--customer",    "--customer-address",
                                 "--method",        "--corrects",    "--reason",
                                 "--description",   "--location",    "--received",
                                 "--condition",     "--deviations",  "--tolerance-source"})
            made.push_back({name, 1});
        made.push_back({"--current", 2, false, ValueWords::NoDoubleDash,
                        "two codes of four hexadecimal digits"});
        made.push_back({"--verify", 2, true, ValueWords::NoDoubleDash, "a target and a reading"});
        made.push_back(
            {"--reading", 2, true, ValueWords::NoDoubleDash, "a point number and a reading"});
        return made;
    }();
    return shapes;
}

// The options of `records add`, all that it needs among them, and the four entries after
// them; nothing when the usage is wrong (said already).
std::optional<Options> addOptions(const std::vector<std::string>& words,
                                  const std::vector<OptionShape>& shapes,
                                  std::vector<std::string>& entries, Output& io)
{
    std::string fault;
    auto options = readOptions(words, shapes, fault, &entries);
    if (!options) {
        usageFault(fault, io);
        return std::nullopt;
    }
    // Four entries and nothing else: a reading or an entry forgotten must not shift the
    // others into places they were not typed for.
    if (entries.size() != 4) {
        usageFault("records add needs the four entries TARGET1 TARGET2 INDICATED1 INDICATED2 "
                   "after its options, not " +
                       std::to_string(entries.size()) + " words",
                   io);
        return std::nullopt;
    }
    for (const char* required : {"--serial", "--technician", "--reference"})
        if (!options->count(required)) {
            usageFault(std::string("records add needs ") + required, io);
            return std::nullopt;
        }
    return options;
}

// The texts of a record; false when one is no UTF-8 (said already).
bool readTexts(const Options& options, records::RecordInput& input, Output& io)
{
    const auto value = [&](const char* name) { return options.at(name)[0]; };
    // Malformed bytes would be stored as replacement characters, and two different serials
    // would become one: refused, as the window cannot even take them.
    for (const char* name :
         {"--serial", "--type", "--technician", "--reference", "--note", "--customer",
          "--customer-address", "--description", "--method", "--reason", "--location", "--received",
          "--condition", "--deviations", "--tolerance-source"})
        if (options.count(name) && !validUtf8(value(name))) {
            io.sayError(std::string("quarvet-cli: ") + name + " is not valid UTF-8 text\n");
            return false;
        }
    input.instrumentType = text(value("--type"));
    input.serial = text(value("--serial"));
    input.technician = text(value("--technician"));
    input.referenceId = text(value("--reference"));
    const auto optional = [&](const char* name) {
        return options.count(name) ? text(value(name)) : QString();
    };
    input.note = optional("--note");
    input.customer = optional("--customer");
    input.customerAddress = optional("--customer-address");
    input.itemDescription = optional("--description");
    input.method = optional("--method");
    input.correctionReason = optional("--reason");
    input.location = optional("--location");
    if (options.count("--received"))
        input.received = records::readDueDate(optional("--received"));
    input.condition = optional("--condition");
    input.deviations = optional("--deviations");
    input.toleranceSource = optional("--tolerance-source");
    const std::string line = value("--line");
    input.displayLine = line == "1" ? 1 : line == "2" ? 2 : 0;
    if (options.count("--reference-due"))
        input.referenceDue = records::readDueDate(optional("--reference-due"));
    return true;
}

// An optional number; false when it is given and is none (said already).
bool readOptional(const Options& options, const char* name, const calc::Separators& separators,
                  std::optional<double>& value, Output& io)
{
    if (!options.count(name))
        return true;
    double number = 0;
    if (!numberOf(name, options.at(name)[0], separators, number, io))
        return false;
    value = number;
    return true;
}

// The current codes and the verification readings; a usage fault in `status` when one of them
// is given in the wrong shape.
bool readCodesAndReadings(const Options& options, const calc::Separators& separators,
                          records::RecordInput& input, Output& io, int& status)
{
    if (options.count("--current")) {
        const auto& codes = options.at("--current");
        const auto slope = calc::readCoefficientCode(codes[0]);
        const auto offset = calc::readCoefficientCode(codes[1]);
        if (!slope || !offset) {
            status = usageError;
            usageFault("--current takes two codes of four hexadecimal digits", io);
            return false;
        }
        input.current = {*slope, *offset};
    }
    if (!options.count("--verify"))
        return true;
    const auto& pairs = options.at("--verify");

    for (std::size_t n = 0; n < pairs.size(); n += 2) {
        records::VerificationReading reading;
        if (!numberOf("--verify target", pairs[n], separators, reading.target, io) ||
            !numberOf("--verify reading", pairs[n + 1], separators, reading.reading, io))
            return false;
        input.verification.append(reading);
    }
    return true;
}

// Further readings at the calibration points: --reading N R, N being 1 or 2.
bool readFurtherReadings(const Options& options, const calc::Separators& separators,
                         records::RecordInput& input, Output& io, int& status)
{
    if (!options.count("--reading"))
        return true;
    const auto& pairs = options.at("--reading");
    for (std::size_t n = 0; n < pairs.size(); n += 2) {
        if (pairs[n] != "1" && pairs[n] != "2") {
            status = usageError;
            usageFault("--reading names point '" + calc::printable(pairs[n]) +
                           "', which is none of 1 to 2",
                       io);
            return false;
        }
        double reading = 0;
        if (!numberOf("--reading " + pairs[n], pairs[n + 1], separators, reading, io))
            return false;
        input.furtherReadings[pairs[n] == "1" ? 0 : 1].append(reading);
    }
    return true;
}

// The budget's set-up besides the reference's U, the decision rule and the further readings.
bool readBudget(const Options& options, const calc::Separators& separators,
                records::RecordInput& input, Output& io, int& status)
{
    calc::SetUp setUp;
    for (const auto& [name, member] : setUpOptions())
        if (name != "--reference-u" && options.count(name) &&
            !numberOf(name, options.at(name)[0], separators, setUp.*member, io))
            return false;
    input.setUp = records::keptSetUp(setUp);
    if (options.count("--rule") && !calc::readRule(options.at("--rule")[0], input.rule)) {
        status = usageError;
        usageFault("--rule is guarded, simple or non-binary, not '" +
                       calc::printable(options.at("--rule")[0]) + "'",
                   io);
        return false;
    }
    return readFurtherReadings(options, separators, input, io, status);
}

// The numbers of a record, the four entries last; false when one is none (said already).
bool readNumbers(const std::vector<std::string>& entries, const Options& options,
                 const calc::Separators& separators, records::RecordInput& input, Output& io,
                 int& status)
{
    if ((options.count("--reference-u") &&
         !numberOf("--reference-u", options.at("--reference-u")[0], separators,
                   input.referenceUncertainty, io)) ||
        !readOptional(options, "--ambient", separators, input.ambient, io) ||
        !readOptional(options, "--tolerance", separators, input.tolerance, io) ||
        !readCodesAndReadings(options, separators, input, io, status) ||
        !readBudget(options, separators, input, io, status))
        return false;
    const std::array<const char*, 4> labels{"TARGET1", "TARGET2", "INDICATED1", "INDICATED2"};
    for (std::size_t n = 0; n < 4; ++n) {
        const std::string& entry = entries[n];
        input.entriesTyped[n] = text(entry);
        if (!numberOf(labels[n], entry, separators, input.entriesRead[n], io))
            return false;
    }
    return true;
}

// The record a correction corrects, by its id or a beginning of it only one record has, and
// the day of the calibration it corrects (that of the first record of the line of
// corrections), against which the reference's due date is held.
bool resolveCorrection(const Options& options, records::RecordInput& input, RecordsContext& context,
                       Output& io)
{
    if (!options.count("--corrects") && options.count("--reason"))
        return refusal(QStringLiteral("--reason gives why a correction corrects: it goes with "
                                      "--corrects"),
                       io),
               false;
    if (!options.count("--corrects"))
        return true;
    const QString id = text(options.at("--corrects")[0]);
    QList<records::Record> found;
    records::RecordFilter filter = records::RecordFilter::ofIdPrefix(id);
    filter.limit = 2;
    records::StoreFailure read = context.store.list(filter, found);
    if (!read.failed() && found.size() != 1)
        return refusal(QStringLiteral("--corrects %1 names %2")
                           .arg(id, found.isEmpty() ? "no record" : "more than one record"),
                       io),
               false;
    if (!read.failed()) {
        input.corrects = found[0].id;
        read = lab::calibrationOf(context.store, input.corrects, input);
    }
    if (read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    return true;
}

// The reference standard from the register when it holds it, else as typed: decided as
// every face decides it, on the day of the calibration.
bool resolveReference(const Options& options, records::RecordInput& input, RecordsContext& context,
                      Output& io)
{
    QList<lab::ReferenceStandard> entries;
    lab::LabSettings lab;
    QString lookAlike;
    records::StoreFailure read = lab::referenceEntries(context.store, input.referenceId, entries);
    if (!read.failed() && entries.isEmpty())
        read = lab::registeredLookAlike(context.store, input.referenceId, lookAlike);
    if (!read.failed())
        read = lab::readLabSettings(context.store, lab);
    if (read.failed())
        return refusal(messages::storeFault(read.fault), io), false;
    const auto given = [&](const char* option) {
        return options.count(option)
                   ? QString::fromLatin1(option) + QLatin1Char(' ') + text(options.at(option)[0])
                   : QString::fromLatin1(option);
    };
    lab::TypedReference typed{options.count("--reference-u") > 0,
                              options.count("--reference-k") > 0,
                              options.count("--drift") > 0,
                              options.count("--reference-due") > 0,
                              given("--reference-u"),
                              given("--reference-k"),
                              given("--drift"),
                              given("--reference-due")};
    const QDate day = input.calibrated.isValid() ? input.calibrated : context.today;
    if (const QString problem =
            messages::labRefusal(lab::decideReference(entries, lab, typed, day, input, lookAlike));
        !problem.isEmpty())
        return refusal(problem, io), false;
    if (const QString problem = messages::labRefusal(lab::takeLabTerms(lab, input));
        !problem.isEmpty())
        return refusal(problem, io), false;
    return true;
}

// The input of `records add` from its words; nothing when a word is wrong (said already).
std::optional<records::RecordInput> addInput(const std::vector<std::string>& args,
                                             const std::vector<OptionShape>& shapes,
                                             const calc::Separators& separators,
                                             RecordsContext& context, Output& io, int& status)
{
    status = usageError;
    std::vector<std::string> entries;
    auto options = addOptions(args, shapes, entries, io);
    if (!options)
        return std::nullopt;
    status = failure;
    std::optional<double> tolerance;
    if (!takeRegisteredDefaults(*options, context, io, tolerance, status))
        return std::nullopt;
    records::RecordInput input;
    if (!options->count("--tolerance"))
        input.tolerance = tolerance;
    if (!readTexts(*options, input, io) ||
        !readNumbers(entries, *options, separators, input, io, status) ||
        !resolveCorrection(*options, input, context, io) ||
        !resolveReference(*options, input, context, io))
        return std::nullopt;
    return input;
}

// Each point's U and k, and its verdict or why it has none.
void writePointResults(const char* when, const QList<records::PointResult>& points,
                       OutputBuffer& out)
{
    for (const records::PointResult& point : points) {
        out << when << " at " << calc::shortestText(point.target) << ": U "
            << messages::expandedUncertaintyText(point.U)
            << " (k = " << messages::coverageFactorText(point.k);
        if (point.scope == QLatin1String("raised"))
            out << ", " << messages::cmcRaisedNote;
        else if (point.scope == QLatin1String("outside"))
            out << ", outside the laboratory's scope";
        out << ")";
        out << ", " << said(records::pointVerdictText(point.verdict)) << "\n";
    }
}

// What a saved record says: its codes, each point's U, the verdicts, and its id last.
void writeSaved(const records::Record& record, Output& io)
{
    try {
        io.out << "codes " << said(record.slopeCode) << " " << said(record.offsetCode) << "\n";
        writePointResults("as found", records::readPoints(record.asFoundPoints), io.out);
        io.out << "as found " << said(records::asFoundVerdictText(record)) << "\n";
        writePointResults("as left", records::readPoints(record.asLeftPoints), io.out);
        io.out << "verdict " << said(records::asLeftVerdictText(record));
        if (!record.verdict.isEmpty())
            io.out << " (" << said(record.rule) << ")";
        io.out << "\n";
        io.out << said(record.id) << "\n";
        io.out.flush();
    } catch (const WriteFailure&) {
        // A script that did not get the id must not save the same record again.
        io.sayError("quarvet-cli: record " + said(record.id) +
                    " was saved, but its id could not be written to standard output\n");
        throw;
    }
}

int addCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
               const calc::Separators& separators, RecordsContext& context, Output& io)
{
    int status = success;
    // A shared database dates the record, and holds the reference's due date against its day:
    // a workstation's clock set back neither backdates a record nor passes an overdue reference.
    QDateTime now;
    if (const records::StoreFailure read = context.store.clock(now); read.failed())
        return refusal(messages::storeFault(read.fault), io);
    context.today = now.toLocalTime().date();
    const auto input = addInput(args, shapes, separators, context, io, status);
    if (!input)
        return status;
    const records::Composition composition = records::composeRecord(
        *input, context.today, now, QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!composition.ok())
        return refusal(QString::fromStdString(messages::recordRefusal(composition.refusal)), io);
    const records::Record& record = composition.record;
    if (const std::string outside =
            messages::outsideScope(calc::outsideScope(composition.evaluation));
        !outside.empty())
        io.sayError("quarvet-cli: " + outside + "\n");
    records::StoreFailure saved;
    {
        const StoreDeadline deadline;
        saved = context.store.add(record);
    }
    if (saved.failed())
        return refusal(messages::storeFault(saved.fault), io);
    writeSaved(record, io);
    return exitOf(composition.evaluation.asLeftOutcome);
}

// Gives a database role what a workstation needs; run by the owner of the tables.
int grantCommand(const std::vector<std::string>& args, RecordsContext& context, Output& io)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usageFault("records grant ROLE", io);
    if (!validUtf8(args[0]))
        return refusal(QStringLiteral("The role's name is not valid UTF-8 text."), io);
    records::StoreFailure failure;
    {
        const StoreDeadline deadline;
        failure = context.store.grant(text(args[0]));
    }
    if (failure.failed())
        return refusal(messages::storeFault(failure.fault), io);
    io.out << "granted " << calc::printable(args[0]) << " reading and adding records in "
           << cli::said(context.store.location()) << "\n";
    io.out.flush();
    return success;
}

// records list and records add.
std::vector<Command> listAndAdd()
{
    const std::string continued = usageContinued;
    return {{"records list",
             {"quarvet-cli records list [--serial S] [--reference ID] [--customer NAME]" +
              continued + "[--certificate NUMBER] [--sort COLUMN [--ascending]]" + continued +
              "[--format text|csv|json]"},
             {{"--serial", 1},
              {"--format", 1},
              {"--reference", 1},
              {"--customer", 1},
              {"--certificate", 1},
              {"--sort", 1},
              {"--ascending", 0}},
             true,
             [](const Invocation& run) {
                 return listCommand(run.words, run.command.options, storeOf(run), run.io);
             }},
            {"records add",
             {"quarvet-cli records add --serial S [--type MODEL --line N] --technician NAME" +
              continued + "--reference ID [--reference-u U --reference-due YYYY-MM-DD]" +
              continued + "[--customer NAME [--customer-address A]] [--description D]" + continued +
              "[--method M]" + continued + "[--corrects ID --reason R]" + continued +
              "[--location ON-SITE-ADDRESS] [--received YYYY-MM-DD] [--condition C]" + continued +
              "[--deviations D] [--tolerance-source manufacturer|customer|standard]" + continued +
              "[--ambient C] [--current SLOPE OFFSET] [SET-UP] [--reading N R ...]" + continued +
              "[--tolerance T [--rule guarded|simple|non-binary]" + continued +
              " --verify T1 V1 --verify T2 V2 ...]" + continued +
              "[--note TEXT] TARGET1 TARGET2 INDICATED1 INDICATED2"},
             addShapes(),
             true,
             [](const Invocation& run) {
                 return addCommand(run.words, run.command.options, run.separators, storeOf(run),
                                   run.io);
             }}};
}

// records issue, certificate and grant.
std::vector<Command> certificatesAndChain()
{
    return {
        {"records issue",
         {"quarvet-cli records issue ID [--by NAME --role ROLE] [--unaccredited] -o FILE.pdf" +
          std::string(usageContinued) + "[--dcc FILE.xml]"},
         {{"--by", 1},
          {"--role", 1},
          {"-o", 1},
          {"--output", 1},
          {"--unaccredited", 0},
          {"--dcc", 1}},
         true,
         [](const Invocation& run) {
             return issueCommand(run.words, run.command.options, storeOf(run), run.io);
         }},
        {"records certificate",
         {"quarvet-cli records certificate ID -o FILE.pdf"},
         {{"-o", 1, false, ValueWords::NotAnOption, "one file name"},
          {"--output", 1, false, ValueWords::NotAnOption, "one file name"}},
         true,
         [](const Invocation& run) {
             return certificateCommand(run.words, run.command.options, storeOf(run), run.io);
         }},
        {"records grant", {"quarvet-cli records grant ROLE"}, {}, true, [](const Invocation& run) {
             return grantCommand(run.words, storeOf(run), run.io);
         }}};
}

} // namespace

CommandTable recordCommands()
{
    CommandTable table{listAndAdd(), {}};
    for (const std::vector<Command>& more : {certificatesAndChain(), chainCommands()})
        table.commands.insert(table.commands.end(), more.begin(), more.end());
    table.groups = {{"records", "records takes list, add, sign, signatures, issue, certificate, "
                                "dcc, read-dcc, verify, witness, check-certificate or grant"}};
    return table;
}

} // namespace quarvet::cli
