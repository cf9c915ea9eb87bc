#include "cli.h"

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

constexpr const char* usage =
    "Usage: quarvet-cli calc TARGET1 TARGET2 INDICATED1 INDICATED2\n"
    "       quarvet-cli calc              (lines of four entries on standard input)\n"
    "       quarvet-cli value [ENTRY...]  (how each entry reads in this locale)\n"
    "       quarvet-cli decode [FILE]     (one instrument memory text a line)\n"
    "       quarvet-cli read              (read the instrument and decode its memory)\n"
    "       quarvet-cli types [--format text|csv|json]  (the instrument type table)\n"
    "       quarvet-cli check [--current SLOPE OFFSET] [SET-UP] [--reading N R ...] [--json]\n"
    "                   TARGET1 TARGET2 INDICATED1 INDICATED2\n"
    "       quarvet-cli fit [--current SLOPE OFFSET] [SET-UP] [--reading N R ...] [--json]\n"
    "                   [T1 I1 T2 I2 ...]\n"
    "       quarvet-cli verify --tolerance T [--uncertainty U] [--rule guarded|simple|non-binary]\n"
    "                   [--json] T1 V1 [T2 V2 ...]\n"
    "       quarvet-cli budget --reference-u U [--reference-k K] [--drift A] [--resolution R]\n"
    "                   [--uniformity A] [--stability A] [--json] READING...\n"
    "       (SET-UP: the options of budget before READING)\n"
    "       quarvet-cli records list [--serial S] [--reference ID] [--customer NAME]\n"
    "                   [--format text|csv|json]\n"
    "       quarvet-cli records add --serial S --type MODEL --line N --technician NAME\n"
    "                   --reference ID [--reference-u U --reference-due YYYY-MM-DD]\n"
    "                   [--customer NAME [--customer-address A]] [--description D]\n"
    "                   [--method M]\n"
    "                   [--corrects ID --reason R]\n"
    "                   [--ambient C] [--current SLOPE OFFSET] [SET-UP] [--reading N R ...]\n"
    "                   [--tolerance T [--rule guarded|simple|non-binary]\n"
    "                    --verify T1 V1 --verify T2 V2 ...]\n"
    "                   [--note TEXT] TARGET1 TARGET2 INDICATED1 INDICATED2\n"
    "       quarvet-cli records issue ID --by NAME --role ROLE -o FILE.pdf\n"
    "       quarvet-cli records certificate ID -o FILE.pdf\n"
    "       quarvet-cli records verify\n"
    "       quarvet-cli records grant ROLE\n"
    "       quarvet-cli lab show | lab set [--name N] [--address A] [--accreditation X]\n"
    "                   [--accreditation-body B] [--pattern P] [--prefix X] [--statements S]\n"
    "                   [--logo FILE] [--registered-references-only yes|no]\n"
    "       quarvet-cli references add --id ID --description D --certificate C\n"
    "                   --calibrated-by LAB --u U [--k K] [--drift A] --calibrated YYYY-MM-DD\n"
    "                   --due YYYY-MM-DD\n"
    "       quarvet-cli references withdraw ID | show ID | list [--format text|csv|json]\n"
    "       quarvet-cli COMMAND [SUBCOMMAND] --help | -h   (the usage of one command)\n"
    "       quarvet-cli --help | --version\n";

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

using Entries = std::array<std::string_view, 4>;

// The codes are written as calculated, and scripts rely on them and on the exit status; a
// code that does not hold its value is said on standard error, as check says it, after
// "line N: " for a line of standard input (line 0: an argument). Decided from the integers the
// codes were written from: batch calc asks it of every line.
void warnOfWraps(const calc::CalcResult& result, long line, Output& io)
{
    const bool slopeWraps = calc::codeWraps(result.slopeUnits);
    const bool offsetWraps = calc::codeWraps(result.offsetUnits);
    if (!slopeWraps && !offsetWraps)
        return;
    const std::string where = line > 0 ? "line " + std::to_string(line) + ": " : std::string();
    if (slopeWraps)
        io.sayError(where + "warning: " +
                    messages::codeWrap(false, calc::slopeOfCode(calc::codeHeld(result.slopeUnits)),
                                       result.slope) +
                    "\n");
    if (offsetWraps)
        io.sayError(where + "warning: " +
                    messages::codeWrap(true, calc::offsetOfCode(calc::codeHeld(result.offsetUnits)),
                                       result.offset) +
                    "\n");
}

void writeCodes(const calc::CalcResult& result, OutputBuffer& out)
{
    char line[4 + 1 + 4 + 1];
    std::copy_n(result.slopeCode.data(), 4, line);
    line[4] = ' ';
    std::copy_n(result.offsetCode.data(), 4, line + 5);
    line[9] = '\n';
    out << std::string_view(line, sizeof line);
}

calc::Calculation calculateLine(const Entries& texts, const calc::Separators& separators,
                                const std::optional<calc::SeparatorPair>& pair)
{
    return calc::calculateCodes({texts[0], texts[1], texts[2], texts[3]}, separators, pair);
}

int calcArguments(const Entries& texts, const calc::Separators& separators, Output& io)
{
    const calc::Calculation calculation =
        calculateLine(texts, separators, calc::probeSeparators(separators));
    const calc::EntryCheck& check = calculation.check;
    // The window's order: what is wrong first, then the warning.
    if (!check.allNumbers())
        io.sayError(messages::forTerminal(messages::wrongEntriesReport(check.wrongFields)));
    if (check.foreignSeparator)
        io.sayError(messages::forTerminal(messages::separatorWarning(*check.foreignSeparator)));
    if (!calculation.calculated())
        return failure;
    if (!calculation.result.ok()) {
        io.sayError(messages::oneLine(messages::calculationFault(calculation.result.fault)) + "\n");
        return failure;
    }
    writeCodes(calculation.result, io.out);
    warnOfWraps(calculation.result, 0, io);
    return success;
}

int calcLines(const calc::Separators& separators, ByteSource& in, Output& io)
{
    // The locale does not change during a run: one probe for every line.
    const std::optional<calc::SeparatorPair> pair = calc::probeSeparators(separators);
    return forEachLine(in, io, [&](std::string_view line, long number) {
        Entries texts;
        const std::size_t count = firstWords(line, texts);
        if (count != texts.size()) {
            io.out << "error: expected four entries, found " << static_cast<long>(count) << '\n';
            return false;
        }
        const calc::Calculation calculation = calculateLine(texts, separators, pair);
        if (calculation.check.foreignSeparator)
            io.sayError("line " + std::to_string(number) + ": " +
                        messages::oneLine(messages::separatorWarning(*pair)) + "\n");
        if (!calculation.calculated()) {
            io.out << "error: " << messages::wrongEntriesLine(calculation.check.wrongFields)
                   << '\n';
            return false;
        }
        if (!calculation.result.ok()) {
            io.out << "error: "
                   << messages::oneLine(messages::calculationFault(calculation.result.fault))
                   << '\n';
            return false;
        }
        writeCodes(calculation.result, io.out);
        warnOfWraps(calculation.result, number, io);
        return true;
    });
}

std::string_view describeValue(std::string_view entry, const calc::Separators& separators,
                               std::string& text)
{
    const calc::EntryReading value = calc::readEntry(entry, separators);
    switch (value.status) {
    case calc::EntryStatus::Number:
        text = calc::shortestText(value.value);
        return text;
    case calc::EntryStatus::OutOfRange:
        return "out of range";
    case calc::EntryStatus::NotANumber:
        break;
    }
    return "not a number";
}

// The separator warning calc gives, for an entry that reads as a number only because the
// locale takes its separator for another: said beside the value, on standard error.
void warnOfSeparator(std::string_view entry, const std::string& where,
                     const std::optional<calc::SeparatorPair>& pair,
                     const calc::Separators& separators, Output& io)
{
    if (pair && calc::holds(entry, pair->foreign) &&
        calc::readEntry(std::string(entry), separators).isNumber())
        io.sayError(where + messages::oneLine(messages::separatorWarning(*pair)) + "\n");
}

int valueCommand(const std::vector<std::string>& entries, const calc::Separators& separators,
                 ByteSource& in, Output& io)
{
    std::string text;
    const std::optional<calc::SeparatorPair> pair = calc::probeSeparators(separators);
    if (!entries.empty()) {
        for (const std::string& entry : entries) {
            io.out << describeValue(entry, separators, text) << '\n';
            warnOfSeparator(entry, "'" + calc::printable(entry) + "': ", pair, separators, io);
        }
        return success;
    }
    return forEachLine(in, io, [&](std::string_view line, long number) {
        io.out << describeValue(line, separators, text) << '\n';
        warnOfSeparator(line, "line " + std::to_string(number) + ": ", pair, separators, io);
        return true;
    });
}

int usageFailure(Output& io)
{
    io.sayError(usage);
    return usageError;
}

// Appends a code, or "-" where the line shows nothing, and a separator.
char* putCode(char* at, const std::string& code, char separator)
{
    if (code.empty())
        *at++ = '-';
    for (const char c : code)
        *at++ = c;
    *at++ = separator;
    return at;
}

// One output line for one memory text; false when it could not be decoded.
bool decodeLine(std::string_view text, OutputBuffer& out)
{
    const instrument::DisplayCodes codes = instrument::decodeMemory(text);
    if (codes.error == instrument::DecodeError::EmptyText) {
        out << '\n';
        return true;
    }
    if (!codes.ok()) {
        out << "error: " << messages::decodeFault(codes) << '\n';
        return false;
    }
    // Composed in place and handed over at once: this runs for every line of a large input.
    char line[4 * 5];
    char* end = putCode(line, codes.slope1, ' ');
    end = putCode(end, codes.offset1, ' ');
    end = putCode(end, codes.slope2, ' ');
    end = putCode(end, codes.offset2, '\n');
    out << std::string_view(line, static_cast<std::size_t>(end - line));
    return true;
}

int decodeCommand(const std::vector<std::string>& args, ByteSource& in, Output& io)
{
    if (args.size() > 1)
        return usageFailure(io);
    const auto decodeAll = [&](ByteSource& source) {
        return forEachLine(source, io,
                           [&](std::string_view line, long) { return decodeLine(line, io.out); });
    };
    if (args.empty() || args.front() == "-")
        return decodeAll(in);
    const auto file = DescriptorSource::open(args.front());
    return decodeAll(*file);
}

// A constant of the type table as text: "-" for the empty entry.
std::string constantText(int type, std::string_view name)
{
    const instrument::TypeConstant constant = instrument::typeConstant(type, name);
    return constant.value ? std::to_string(*constant.value) : std::string("-");
}

// The instrument type table, a type a line: its number, model number and the record of a
// memory text each of its display lines shows (0 for none), as text, CSV or JSON lines.
int typesCommand(const std::vector<std::string>& args, Output& io)
{
    const std::string format = args.size() == 2 && args[0] == "--format" ? args[1] : "text";
    if (!(args.empty() || (args.size() == 2 && args[0] == "--format")) ||
        (format != "text" && format != "csv" && format != "json"))
        return usageFault("types takes --format text, csv or json", io);
    if (format == "csv")
        io.out << "type,model,line1,line2\r\n";
    for (int type = 1; instrument::typeConstant(type, "TypName").ok(); ++type) {
        const std::string model = constantText(type, "TypName");
        const std::string line1 = constantText(type, "Line1");
        const std::string line2 = constantText(type, "Line2");
        const auto json = [](const std::string& value) { return value == "-" ? "null" : value; };
        if (format == "json")
            io.out << "{\"type\":" << std::to_string(type) << ",\"model\":" << json(model)
                   << ",\"line1\":" << json(line1) << ",\"line2\":" << json(line2) << "}\n";
        else
            io.out << std::to_string(type) << (format == "csv" ? "," : "\t") << model
                   << (format == "csv" ? "," : "\t") << line1 << (format == "csv" ? "," : "\t")
                   << line2 << (format == "csv" ? "\r\n" : "\n");
    }
    io.out.flush();
    return success;
}

int readCommand(Output& io)
{
    const std::string answer = instrument::readInstrumentMemory();
    io.sayError("instrument answered: " + answer + "\n");
    return decodeLine(answer, io.out) ? success : failure;
}

// The commands that judge an adjustment: check, fit, verify and budget; nothing for others.
std::optional<int> adjustmentCommand(const std::string& command,
                                     const std::vector<std::string>& rest,
                                     const calc::Separators& separators, ByteSource& in, Output& io)
{
    if (command == "check")
        return checkCommand(rest, separators, io);
    if (command == "fit")
        return fitCommand(rest, separators, in, io);
    if (command == "verify")
        return verifyCommand(rest, separators, io);
    if (command == "budget")
        return budgetCommand(rest, separators, io);
    return std::nullopt;
}

// The usage's lines, a command a block: its first line and the lines that go on with it.
std::vector<std::string> usageBlocks()
{
    std::vector<std::string> blocks;
    std::string_view text = usage;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        // A command's line names the program; the others go on with the one before.
        if (line.find("quarvet-cli ") != std::string_view::npos || blocks.empty())
            blocks.emplace_back(line.substr(
                line.find("quarvet-cli") == std::string_view::npos ? 0 : line.find("quarvet-cli")));
        else
            blocks.back() += "\n" + std::string(line);
    }
    return blocks;
}

// The usage of the command `words` begin with, and of its subcommand when one is named and
// the usage knows it; empty for a command it does not know.
std::string usageOf(const std::vector<std::string>& words)
{
    std::vector<std::string> named;
    for (const std::string& word : words) {
        if (word.starts_with("-") || named.size() == 2)
            break;
        named.push_back(word);
    }
    for (std::size_t take = named.size(); take > 0; --take) {
        std::string prefix = "quarvet-cli";
        for (std::size_t n = 0; n < take; ++n)
            prefix += " " + named[n];
        std::string said;
        for (const std::string& block : usageBlocks())
            if (block.starts_with(prefix + " ") || block.starts_with(prefix + "\n") ||
                block == prefix)
                said += (said.empty() ? "Usage: " : "       ") + block + "\n";
        if (!said.empty())
            return said;
    }
    return {};
}

// --help or -h: the whole usage, or after a command its own; --version. Nothing for the
// other words. After a command, only as its first option: a later -h may be the value of
// another (records add --serial -h), which is to be kept, not taken for a request of help.
std::optional<int> helpOrVersion(const std::vector<std::string>& args, Output& io)
{
    const std::string& command = args.front();
    if (command == "--help" || command == "-h") {
        io.out << usage << '\n' << help;
        return success;
    }
    if (command == "--version") {
        io.out << programTitle << ' ' << versionText << '\n';
        return success;
    }
    const auto option = std::find_if(args.begin() + 1, args.end(),
                                     [](const std::string& word) { return word.starts_with("-"); });
    if (option != args.end() && (*option == "--help" || *option == "-h"))
        if (const std::string said = usageOf(args); !said.empty()) {
            io.out << said;
            return success;
        }
    return std::nullopt;
}

int dispatch(const std::vector<std::string>& args, const calc::Separators& separators,
             ByteSource& in, Output& io, const MoreCommands& more)
{
    if (args.empty())
        return usageFailure(io);
    if (const std::optional<int> status = helpOrVersion(args, io))
        return *status;
    const std::string& command = args.front();
    // Entries after the command may start with a minus sign: only the first word is
    // an option.
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "calc") {
        if (rest.empty())
            return calcLines(separators, in, io);
        if (rest.size() != 4)
            return usageFailure(io);
        return calcArguments({rest[0], rest[1], rest[2], rest[3]}, separators, io);
    }
    if (command == "value")
        return valueCommand(rest, separators, in, io);
    if (const std::optional<int> status = adjustmentCommand(command, rest, separators, in, io))
        return *status;
    if (command == "decode")
        return decodeCommand(rest, in, io);
    if (command == "read")
        return rest.empty() ? readCommand(io) : usageFailure(io);
    if (command == "types")
        return typesCommand(rest, io);
    if (const auto found = more.find(command); found != more.end())
        return found->second(rest, io);
    return usageFailure(io);
}

} // namespace

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
        const MoreCommands& more)
{
    Output output{OutputBuffer(io.out), OutputBuffer(io.err, 4096)};
    try {
        const int status = dispatch(args, separators, io.in, output, more);
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
