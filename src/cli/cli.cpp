#include "cli.h"
#include "command.h"

#include "adjustcommands.h"
#include "budgetcommand.h"
#include "fileio.h"
#include "run.h"

#include "calc/adjustment.h"
#include "calc/calculation.h"
#include "calc/utf8text.h"
#include "instrument/instrumentlink.h"
#include "instrument/typetable.h"
#include "messages/messages.h"
#include "quarvet/version.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>

namespace quarvet::cli {
namespace {

constexpr const char* help =
    "Two-point calibration of temperature instruments.\n"
    "\n"
    "calc prints the slope and offset coefficient codes (four hexadecimal digits each) of\n"
    "the straight line through two reference points. Entries are read with the decimal and\n"
    "digit-group separators of the locale (LC_ALL, LC_NUMERIC, LANG).\n"
    "\n"
    "decode prints, for each memory text, the slope and offset codes of display lines 1\n"
    "and 2 (SLOPE1 OFFSET1 SLOPE2 OFFSET2, \"-\" where a line shows nothing), or\n"
    "\"error: \" and the reason.\n"
    "\n"
    "check shows what the codes will make the instrument read at both points, for readings\n"
    "taken under the current codes (--current, neutral 2710 0000 unless given); fit does the\n"
    "same for two or more points (least squares for three and more); verify judges readings\n"
    "taken after adjustment against a tolerance by a decision rule: guarded by the result's\n"
    "uncertainty (the default; Not judged, exit 5, when it is not below the tolerance),\n"
    "simple, or non-binary (conditional pass and fail). budget combines the uncertainties of\n"
    "the set-up and of the readings at one point: u_c, the effective degrees of freedom, k\n"
    "for 95.45 % and U, rounded up to two figures.\n"
    "--json prints one JSON object instead of a table.\n"
    "\n"
    "records keeps calibration records: list prints them newest first, add computes the\n"
    "codes from the mean of each point's readings, makes each point's budget (the set-up's\n"
    "defaults: --reference-k 2, --resolution 0.01, the others 0), judges the readings as\n"
    "found and as left (--verify given twice for one target: two readings there) with each\n"
    "point's U by the rule, saves the record and prints its id last, certificate writes one's PDF "
    "(a unique\n"
    "beginning of the id is enough), verify walks the hash chain of the records (exit 4 when\n"
    "it is broken), grant gives a role of a shared database reading and adding records, issue\n"
    "issues a record's certificate with the next number of the laboratory's pattern, once,\n"
    "and prints the number (certificate then prints it again as a copy, or a record not yet\n"
    "issued as a draft). lab keeps the laboratory's settings, references the register of\n"
    "reference standards (a new entry for every change); records add --reference takes a\n"
    "standard of the register with its U, k, drift and due date. They go to "
    "the PostgreSQL database that QUARVET_DATABASE\n"
    "or the setting Records/Database names (postgresql://user@host:port/dbname), else to\n"
    "$XDG_DATA_HOME/Quarvet/records.sqlite.\n"
    "\n"
    "Exit status: 0 success, 1 a wrong entry, a calculation that failed, or input that could\n"
    "not be read or output that could not be written, 2 wrong usage, 3 a verification\n"
    "reading that fails (records add: a record saved with the verdict Fail), 5 a verification\n"
    "that cannot be judged (records add: a record saved with the verdict Not judged).\n";

// The commands that judge an adjustment: check, fit, verify and budget; nothing for others.
// Who asks for help after a command is told its usage, and how to ask; the whole usage ends
// with how to.
const std::vector<std::string> helpBlocks{
    "quarvet-cli COMMAND [SUBCOMMAND] --help | -h   (the usage of one command)",
    "quarvet-cli --help | --version"};

std::string usageLines(const std::vector<std::string>& blocks)
{
    std::string said;
    for (const std::string& block : blocks)
        said += (said.empty() ? "Usage: " : "       ") + block + "\n";
    return said;
}

// --help or -h: the whole usage, or after a command its own; --version. Nothing for the
// other words. After a command, only as its first option: a later -h may be the value of
// another (records add --serial -h), which is to be kept, not taken for a request of help.
std::optional<int> helpOrVersion(const CommandTable& table, const std::vector<std::string>& args,
                                 Output& io)
{
    const std::string& command = args.front();
    if (command == "--help" || command == "-h") {
        io.out << usageOf(table) << '\n' << help;
        return success;
    }
    if (command == "--version") {
        io.out << programTitle << ' ' << versionText << '\n';
        return success;
    }
    const auto option = std::find_if(args.begin() + 1, args.end(),
                                     [](const std::string& word) { return word.starts_with("-"); });
    if (option != args.end() && (*option == "--help" || *option == "-h"))
        if (const std::string said = usageOf(table, args); !said.empty()) {
            io.out << said;
            return success;
        }
    return std::nullopt;
}

// The command `args` name: a word and its subcommand before a word alone.
const Command* commandNamed(const CommandTable& table, const std::vector<std::string>& args,
                            std::size_t& words)
{
    for (const Command& command : table.commands) {
        const std::size_t space = command.name.find(' ');
        const bool two = space != std::string::npos;
        if (two && args.size() > 1 && command.name == args[0] + " " + args[1]) {
            words = 2;
            return &command;
        }
        if (!two && command.name == args[0]) {
            words = 1;
            return &command;
        }
    }
    return nullptr;
}

int dispatch(const CommandTable& table, const std::vector<std::string>& args,
             const calc::Separators& separators, ByteSource& in, Output& io,
             const StoreOpener& openStore)
{
    if (args.empty()) {
        io.sayError(usageOf(table));
        return usageError;
    }
    if (const std::optional<int> status = helpOrVersion(table, args, io))
        return *status;
    std::size_t named = 0;
    const Command* command = commandNamed(table, args, named);
    if (!command) {
        for (const CommandGroup& group : table.groups)
            if (group.name == args[0])
                return usageFault(group.fault, io);
        io.sayError(usageOf(table));
        return usageError;
    }
    // Entries after the command may start with a minus sign: only the first word is an option.
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(named),
                                        args.end());
    if (!command->usesStore)
        return command->run({table, *command, rest, separators, in, io});
    if (!openStore)
        return usageFault("there is no record store in this program", io);
    return openStore([&](RecordsContext& store) {
        return command->run({table, *command, rest, separators, in, io, &store});
    });
}

} // namespace

CommandTable& CommandTable::operator+=(const CommandTable& more)
{
    commands.insert(commands.end(), more.commands.begin(), more.commands.end());
    groups.insert(groups.end(), more.groups.begin(), more.groups.end());
    return *this;
}

std::string usageOf(const CommandTable& table)
{
    std::vector<std::string> blocks;
    for (const Command& command : table.commands)
        blocks.insert(blocks.end(), command.usage.begin(), command.usage.end());
    blocks.insert(blocks.end(), helpBlocks.begin(), helpBlocks.end());
    return usageLines(blocks);
}

std::string usageOf(const CommandTable& table, const std::vector<std::string>& words)
{
    std::vector<std::string> named;
    for (const std::string& word : words) {
        if (word.starts_with("-") || named.size() == 2)
            break;
        named.push_back(word);
    }
    // The command and its subcommand, else the command alone: "lab set" is told by the block
    // of "lab show | lab set".
    for (std::size_t take = named.size(); take > 0; --take) {
        std::string prefix = "quarvet-cli";
        for (std::size_t n = 0; n < take; ++n)
            prefix += " " + named[n];
        // A subcommand may be told as an alternative in its group's block: "withdraw ID | show
        // ID | list": that block, not every block of the group.
        const std::string alternative = take == 2 ? "| " + named[1] + " " : std::string();
        std::vector<std::string> blocks;
        for (const Command& command : table.commands)
            for (const std::string& block : command.usage)
                if (block.starts_with(prefix + " ") || block.starts_with(prefix + "\n") ||
                    block == prefix ||
                    (!alternative.empty() && block.starts_with("quarvet-cli " + named[0] + " ") &&
                     (block + " ").find(alternative) != std::string::npos))
                    blocks.push_back(block);
        if (!blocks.empty())
            return usageLines(blocks);
    }
    return {};
}

int wrongUsage(const Invocation& invocation)
{
    invocation.io.sayError(usageOf(invocation.table));
    return usageError;
}

std::vector<std::string> splitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t", pos);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

int run(const std::vector<std::string>& args, const calc::Separators& separators, Streams io,
        const CommandTable& table, const StoreOpener& openStore)
{
    Output output{OutputBuffer(io.out), OutputBuffer(io.err, 4096)};
    try {
        const int status = dispatch(table, args, separators, io.in, output, openStore);
        output.out.flush();
        output.err.flush();
        return status;
    } catch (const std::bad_alloc&) {
        // Every input is bounded; this is a machine out of memory, said plainly all the same.
        (void)io.err.write("quarvet-cli: out of memory\n");
        return ExitCode::failure;
    } catch (const WriteFailure& failure) {
        // Output that never arrived is a failure, whatever came before.
        if (failure.sink != io.err.name()) {
            (void)io.err.write("quarvet-cli: cannot write to " + failure.sink + ": " +
                               failure.reason + "\n");
            return ExitCode::failure;
        }
        // Nothing can be said when standard error failed, but what was answered before it
        // still goes out.
        try {
            output.out.flush();
        } catch (const WriteFailure&) {
        }
        return ExitCode::failure;
    }
}

} // namespace quarvet::cli
