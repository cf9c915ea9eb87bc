#include "instrumentcommands.h"
#include "instrumentwords.h"

#include "recordwords.h"

#include "calc/utf8text.h"
#include "lab/labsettings.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"

#include <algorithm>

namespace quarvet::cli {
namespace {

// The options that describe an instrument, for add and change alike. A text travels exactly,
// even one that begins with "--".
std::vector<OptionShape> describingShapes()
{
    return {{"--type", 1},
            {"--line", 1},
            {"--interval", 1},
            {"--description", 1, false, ValueWords::AnyWord},
            {"--owner", 1, false, ValueWords::AnyWord},
            {"--location", 1, false, ValueWords::AnyWord},
            {"--tolerance", 1, false, ValueWords::NoDoubleDash},
            {"--rule", 1},
            {"--targets", 2, false, ValueWords::NoDoubleDash, "two target temperatures"},
            {"--third-point", 1, false, ValueWords::NoDoubleDash}};
}

std::vector<OptionShape> addShapes()
{
    std::vector<OptionShape> shapes = describingShapes();
    shapes.push_back({"--serial", 1, false, ValueWords::AnyWord});
    return shapes;
}

// A whole number as typed, within its bounds; none otherwise.
std::optional<int> wholeNumber(const std::string& word, int lowest, int highest)
{
    if (word.empty() || word.size() > 4 ||
        word.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(word);
    return value >= lowest && value <= highest ? std::optional<int>(value) : std::nullopt;
}

// A number option, or "none" to clear it; false, said, when it is neither.
bool readNumberOption(const Options& options, const char* name, const calc::Separators& separators,
                      std::optional<double>& value, Output& io)
{
    if (!options.count(name))
        return true;
    const std::string& word = options.at(name)[0];
    if (word == "none") {
        value.reset();
        return true;
    }
    double read = 0.0;
    if (!numberOf(name, word, separators, read, io))
        return false;
    value = read;
    return true;
}

bool readTargets(const Options& options, const calc::Separators& separators,
                 lab::Instrument& instrument, Output& io)
{
    if (!options.count("--targets"))
        return true;
    const auto& words = options.at("--targets");
    if (words[0] == "none" && words[1] == "none") {
        instrument.target1.reset();
        instrument.target2.reset();
        return true;
    }
    double first = 0.0;
    double second = 0.0;
    if (!numberOf("--targets", words[0], separators, first, io) ||
        !numberOf("--targets", words[1], separators, second, io))
        return false;
    instrument.target1 = first;
    instrument.target2 = second;
    return true;
}

// What the options say of an instrument, over what it was; false, said, where one is wrong.
bool describe(const Options& options, const calc::Separators& separators,
              lab::Instrument& instrument, Output& io, int& status)
{
    status = usageError;
    for (const char* name : {"--description", "--owner", "--location", "--serial", "--type"})
        if (options.count(name) && !validUtf8(options.at(name)[0]))
            return usageFault(std::string(name) + " is not valid UTF-8", io), false;
    const auto textOf = [&](const char* name, QString& field) {
        if (options.count(name))
            field = text(options.at(name)[0]);
    };
    textOf("--serial", instrument.serial);
    textOf("--type", instrument.type);
    textOf("--description", instrument.description);
    textOf("--owner", instrument.owner);
    textOf("--location", instrument.location);
    textOf("--rule", instrument.rule);
    if (options.count("--line")) {
        const auto line = wholeNumber(options.at("--line")[0], 1, 2);
        if (!line)
            return usageFault("--line is 1 or 2", io), false;
        instrument.line = *line;
    }
    if (options.count("--interval")) {
        const auto months =
            wholeNumber(options.at("--interval")[0], calc::shortestInterval, calc::longestInterval);
        if (!months)
            return usageFault("--interval is a whole number of months from 1 to 120", io), false;
        instrument.intervalMonths = *months;
    }
    status = failure;
    if (!readNumberOption(options, "--tolerance", separators, instrument.tolerance, io) ||
        !readNumberOption(options, "--third-point", separators, instrument.thirdPoint, io) ||
        !readTargets(options, separators, instrument, io))
        return false;
    if (const lab::LabRefusal problem = lab::instrumentProblem(instrument); !problem.ok())
        return refusal(messages::labRefusal(problem), io), false;
    return true;
}

} // namespace

int storeRefusal(const records::StoreFailure& failure, RecordsContext& context, Output& io)
{
    records::StoreFault fault = failure.fault;
    if (fault.location.isEmpty())
        fault.location = context.store.location();
    return refusal(messages::storeFault(fault), io);
}

namespace {

void sayEntry(const lab::Instrument& instrument, const char* what, Output& io)
{
    io.out << said(records::printableText(instrument.serial)) << ' ' << said(instrument.type) << ' '
           << what << ", entry " << std::to_string(instrument.entry) << '\n';
    io.out.flush();
}

int addCommand(const Invocation& run)
{
    std::string fault;
    const auto options = readOptions(run.words, run.command.options, fault);
    if (!options)
        return usageFault(fault, run.io);
    for (const char* required : {"--serial", "--type", "--line", "--interval"})
        if (!options->count(required))
            return usageFault(std::string("instruments add needs ") + required, run.io);
    lab::Instrument instrument;
    int status = success;
    if (!describe(*options, run.separators, instrument, run.io, status))
        return status;
    if (const records::StoreFailure added = lab::registerInstrument(storeOf(run).store, instrument);
        added.failed())
        return storeRefusal(added, storeOf(run), run.io);
    sayEntry(instrument, "added", run.io);
    return success;
}

} // namespace

// The newest entry of the one instrument `serial` (of `type`, where given) names; none, said,
// where the register holds none or several.
std::optional<lab::Instrument> oneInstrument(RecordsContext& context, const QString& serial,
                                             const std::optional<QString>& type, Output& io)
{
    QList<lab::Instrument> found;
    if (const records::StoreFailure read = lab::instrumentsWithSerial(context.store, serial, found);
        read.failed())
        return storeRefusal(read, context, io), std::nullopt;
    QStringList types;
    for (qsizetype n = found.size() - 1; n >= 0; --n) {
        if (type && found[n].type != *type)
            found.removeAt(n);
        else
            types.prepend(found[n].type);
    }
    if (found.isEmpty())
        return storeRefusal(records::StoreFailure(records::storeFault(
                                records::StoreFaultKind::NoSuchInstrument,
                                type.value_or(QString()) + QLatin1Char(' ') + serial)),
                            context, io),
               std::nullopt;
    if (found.size() > 1)
        return refusal(QStringLiteral("The register holds serial number %1 for the types %2: name "
                                      "one with --type.")
                           .arg(records::printableText(serial), types.join(QStringLiteral(", "))),
                       io),
               std::nullopt;
    return found.first();
}

namespace {

// The register's defaults taken into `options` and `tolerance` where it holds the serial.
bool registeredDefaults(Options& options, RecordsContext& context, Output& io,
                        std::optional<double>& tolerance)
{
    const std::string& serial = options.at("--serial")[0];
    // A correction says what the calibration was, not what the register says today.
    if (!validUtf8(serial) || options.count("--corrects"))
        return true; // a serial that is no text is said as the record's own fault
    std::optional<QString> type;
    if (options.count("--type"))
        type = text(options.at("--type")[0]);
    QList<lab::Instrument> found;
    if (const records::StoreFailure read =
            lab::instrumentsWithSerial(context.store, text(serial), found);
        read.failed())
        return storeRefusal(read, context, io), false;
    if (type)
        found.removeIf([&](const lab::Instrument& instrument) { return instrument.type != *type; });
    if (found.isEmpty())
        return true;
    if (found.size() > 1)
        return oneInstrument(context, text(serial), type, io).has_value();
    const lab::Instrument& instrument = found.first();
    const auto fill = [&](const char* name, const QString& value) {
        if (!options.count(name) && !value.isEmpty())
            options[name] = {value.toStdString()};
    };
    fill("--type", instrument.type);
    fill("--line", QString::number(instrument.line));
    fill("--customer", instrument.owner);
    fill("--description", instrument.description);
    fill("--rule", instrument.rule);
    tolerance = instrument.tolerance;
    return true;
}

} // namespace

bool takeRegisteredDefaults(Options& options, RecordsContext& context, Output& io,
                            std::optional<double>& tolerance, int& status)
{
    status = failure;
    if (!registeredDefaults(options, context, io, tolerance))
        return false;
    status = usageError;
    for (const char* required : {"--type", "--line"})
        if (!options.count(required))
            // A correction says it all itself; a new record, of a serial the register lacks.
            return usageFault(std::string("records add needs ") + required +
                                  (options.count("--corrects")
                                       ? " for a correction"
                                       : " for a serial number the register of instruments does "
                                         "not hold"),
                              io),
                   false;
    status = failure;
    return true;
}

// The serial number a command names, and the type where given; false, said, on wrong usage.
bool namedInstrument(const Invocation& run, const std::vector<OptionShape>& shapes,
                     Options& options, QString& serial, std::optional<QString>& type)
{
    // After "--" the serial number alone, as a serial number may begin with "--" itself.
    const auto dashes = std::find(run.words.begin(), run.words.end(), std::string("--"));
    ReadWords read = readWords({run.words.begin(), dashes}, shapes, EntryWords::Anywhere);
    if (!read.ok())
        return usageFault(read.fault, run.io), false;
    if (dashes != run.words.end())
        read.entries.insert(read.entries.end(), dashes + 1, run.words.end());
    if (read.entries.size() != 1)
        return usageFault(run.command.name + " takes one serial number", run.io), false;
    if (!validUtf8(read.entries[0]))
        return usageFault("the serial number is not valid UTF-8", run.io), false;
    options = read.options;
    serial = text(read.entries[0]);
    if (options.count("--type"))
        type = text(options.at("--type")[0]);
    return true;
}

std::optional<lab::Instrument> namedAndHeld(const Invocation& run, Options& options, int& status)
{
    QString serial;
    std::optional<QString> type;
    status = usageError;
    if (!namedInstrument(run, run.command.options, options, serial, type))
        return std::nullopt;
    status = failure;
    return oneInstrument(storeOf(run), serial, type, run.io);
}

namespace {

int changeCommand(const Invocation& run)
{
    Options options;
    int status = success;
    auto instrument = namedAndHeld(run, options, status);
    if (!instrument)
        return status;
    const int basedOn = instrument->entry;
    const lab::Instrument before = *instrument;
    if (!describe(options, run.separators, *instrument, run.io, status))
        return status;
    if (*instrument == before)
        return refusal(QStringLiteral("The change would change nothing of instrument %1: "
                                      "nothing was added.")
                           .arg(records::printableText(before.serial)),
                       run.io);
    if (const records::StoreFailure changed =
            lab::changeInstrument(storeOf(run).store, *instrument, basedOn);
        changed.failed())
        return storeRefusal(changed, storeOf(run), run.io);
    sayEntry(*instrument, "changed", run.io);
    return success;
}

int stateCommand(const Invocation& run, lab::InstrumentState state)
{
    Options options;
    int status = success;
    auto instrument = namedAndHeld(run, options, status);
    if (!instrument)
        return status;
    if (instrument->state == state)
        return refusal(QStringLiteral("Instrument %1 of type %2 is %3 already (entry %4): nothing "
                                      "was changed.")
                           .arg(records::printableText(instrument->serial), instrument->type,
                                lab::stateText(state))
                           .arg(instrument->entry),
                       run.io);
    const int basedOn = instrument->entry;
    instrument->state = state;
    if (const records::StoreFailure changed =
            lab::changeInstrument(storeOf(run).store, *instrument, basedOn);
        changed.failed())
        return storeRefusal(changed, storeOf(run), run.io);
    const std::string what = lab::stateText(state).toStdString();
    sayEntry(*instrument, what.c_str(), run.io);
    return success;
}

// The filter of list and due; false, said, where a word is wrong.
bool readFilter(const Options& options, lab::InstrumentFilter& filter, Output& io)
{
    for (const char* name : {"--owner", "--location"})
        if (options.count(name) && !validUtf8(options.at(name)[0]))
            return usageFault(std::string(name) + " is not valid UTF-8", io), false;
    if (options.count("--owner"))
        filter.owner = text(options.at("--owner")[0]);
    if (options.count("--location"))
        filter.location = text(options.at("--location")[0]);
    if (options.count("--state")) {
        filter.state = lab::readState(text(options.at("--state")[0]));
        if (!filter.state)
            return usageFault("--state is in-service, out-of-service or retired", io), false;
    }
    return true;
}

// A CSV listing's first line names its fields.
void writeHeading(const std::string& format, Output& io)
{
    if (format == "csv")
        io.out << said(instrumentListFields().join(QLatin1Char(','))) << "\r\n";
}

// One instrument as a line of the listing's format, its line break with it.
std::string listedLine(const lab::Recall& recall, const QDate& today, const std::string& format)
{
    if (format == "json")
        return said(instrumentJson(recall, today)) + "\n";
    QStringList values = instrumentListValues(recall, today);
    if (format == "csv") {
        for (QString& value : values)
            value = csvField(value);
        return said(values.join(QLatin1Char(','))) + "\r\n";
    }
    return said(printableLine(values)) + "\n";
}

// The format of list and due; none, said, for another.
std::optional<std::string> chosenFormat(const Options& options, bool calendar, Output& io)
{
    const std::string format = options.count("--format") ? options.at("--format")[0] : "text";
    if (format == "text" || format == "csv" || format == "json" || (calendar && format == "ics"))
        return format;
    usageFault(std::string("--format is text, csv") + (calendar ? ", json or ics" : " or json") +
                   ", not '" + calc::printable(format) + "'",
               io);
    return std::nullopt;
}

// What list and due are asked for, and the store's time they answer at.
struct Listing {
    Options options;
    lab::InstrumentFilter filter;
    std::string format;
    QDateTime now;
    QDate today;
};

// The words of list or due (`calendar`: due, which writes a calendar too) and the store's
// clock; none, said, with the exit status in `status`.
std::optional<Listing> readListing(const Invocation& run, bool calendar, int& status)
{
    status = usageError;
    std::string fault;
    auto options = readOptions(run.words, run.command.options, fault);
    if (!options)
        return usageFault(fault, run.io), std::nullopt;
    Listing listing{*options, {}, {}, {}, {}};
    const auto format = chosenFormat(listing.options, calendar, run.io);
    if (!format || !readFilter(listing.options, listing.filter, run.io))
        return std::nullopt;
    listing.format = *format;
    status = failure;
    if (const records::StoreFailure read = storeOf(run).store.clock(listing.now); read.failed())
        return storeRefusal(read, storeOf(run), run.io), std::nullopt;
    listing.today = listing.now.toLocalTime().date();
    return listing;
}

int listCommand(const Invocation& run)
{
    int status = success;
    const auto listing = readListing(run, false, status);
    if (!listing)
        return status;
    writeHeading(listing->format, run.io);
    const records::StoreFailure walked =
        lab::walkInstruments(storeOf(run).store, listing->filter, [&](lab::Recall&& recall) {
            run.io.out << listedLine(recall, listing->today, listing->format);
            return true;
        });
    run.io.out.flush();
    return walked.failed() ? storeRefusal(walked, storeOf(run), run.io) : success;
}

int dueCommand(const Invocation& run)
{
    int status = success;
    const auto listing = readListing(run, true, status);
    if (!listing)
        return status;
    const Options& options = listing->options;
    const auto within = options.count("--within") ? wholeNumber(options.at("--within")[0], 0, 3660)
                                                  : std::optional<int>(30);
    if (!within)
        return usageFault("--within is a whole number of days from 0 to 3660", run.io);
    // Each due instrument's line made as it is read: the listing holds what it prints, no more.
    const std::string& format = listing->format;
    const QDate today = listing->today;
    const std::function<std::string(const lab::Recall&)> render = [&](const lab::Recall& recall) {
        return format == "ics" ? calendarEvent(recall, today, listing->now)
                               : listedLine(recall, today, format);
    };
    std::vector<std::string> due;
    if (const records::StoreFailure read =
            lab::dueBy(storeOf(run).store, listing->filter, today.addDays(*within), render, due);
        read.failed())
        return storeRefusal(read, storeOf(run), run.io);
    writeHeading(format, run.io);
    if (format == "ics")
        run.io.out << calendarHead();
    for (const std::string& line : due)
        run.io.out << line;
    if (format == "ics")
        run.io.out << calendarEnd();
    run.io.out.flush();
    return success;
}

// The usage of every command of the register, one block a form.
std::vector<std::string> instrumentUsage()
{
    const std::string continued = usageContinued;
    return {
        "quarvet-cli instruments add --serial S --type MODEL --line N --interval MONTHS" +
            continued + "[--description D] [--owner NAME] [--location L] [--tolerance T]" +
            continued + "[--rule guarded|simple|non-binary] [--targets T1 T2] [--third-point T]",
        "quarvet-cli instruments change SERIAL [--type MODEL] [the options of add]" + continued +
            "(a serial number that begins with -- after --, as the last word of each)",
        "quarvet-cli instruments retire|out-of-service|in-service SERIAL [--type MODEL]",
        "quarvet-cli instruments show SERIAL [--type MODEL]",
        "quarvet-cli instruments list [--owner NAME] [--location L] [--state S]" + continued +
            "[--format text|csv|json]",
        "quarvet-cli instruments due [--within DAYS] [--owner NAME]" + continued +
            "[--format text|csv|json|ics]",
        "quarvet-cli instruments history SERIAL [--type MODEL] [--format text|json]" + continued +
            "[-o FILE.pdf]",
        "quarvet-cli instruments interval SERIAL [--type MODEL] [--accept|--keep]"};
}

// retire, out-of-service and in-service: a new entry in that state.
std::vector<Command> stateCommands()
{
    std::vector<Command> commands;
    for (const auto& [name, state] :
         {std::pair{"instruments retire", lab::InstrumentState::Retired},
          {"instruments out-of-service", lab::InstrumentState::OutOfService},
          {"instruments in-service", lab::InstrumentState::InService}})
        commands.push_back(
            {name, {}, {{"--type", 1}}, true, [state = state](const Invocation& run) {
                 return stateCommand(run, state);
             }});
    return commands;
}

} // namespace

CommandTable instrumentCommands()
{
    const std::vector<OptionShape> typeOnly{{"--type", 1}};
    const std::vector<OptionShape> listShapes{{"--owner", 1, false, ValueWords::AnyWord},
                                              {"--location", 1, false, ValueWords::AnyWord},
                                              {"--state", 1},
                                              {"--format", 1}};
    const std::vector<OptionShape> dueShapes{
        {"--owner", 1, false, ValueWords::AnyWord}, {"--within", 1}, {"--format", 1}};
    CommandTable table;
    table.commands = {{"instruments add", instrumentUsage(), addShapes(), true, addCommand},
                      {"instruments change", {}, describingShapes(), true, changeCommand}};
    for (Command& command : stateCommands())
        table.commands.push_back(std::move(command));
    table.commands.insert(table.commands.end(),
                          {{"instruments show", {}, typeOnly, true, showInstrument},
                           {"instruments list", {}, listShapes, true, listCommand},
                           {"instruments due", {}, dueShapes, true, dueCommand},
                           {"instruments history",
                            {},
                            {{"--type", 1}, {"--format", 1}, {"-o", 1, false, ValueWords::AnyWord}},
                            true,
                            historyCommand},
                           {"instruments interval",
                            {},
                            {{"--type", 1}, {"--accept", 0}, {"--keep", 0}},
                            true,
                            intervalCommand}});
    table.groups = {{"instruments", "instruments takes add, change, retire, out-of-service, "
                                    "in-service, show, list, due, history or interval"}};
    return table;
}

} // namespace quarvet::cli
