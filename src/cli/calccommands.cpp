#include "command.h"

#include "adjustcommands.h"
#include "budgetcommand.h"
#include "fileio.h"

#include "calc/calculation.h"
#include "calc/utf8text.h"
#include "instrument/instrumentlink.h"
#include "instrument/typetable.h"
#include "messages/messages.h"

#include <algorithm>
#include <array>
#include <optional>

namespace quarvet::cli {
namespace {

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

int decodeCommand(const std::vector<std::string>& args, ByteSource& in, Output& io,
                  const Invocation& invocation)
{
    if (args.size() > 1)
        return wrongUsage(invocation);
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
int typesCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                 Output& io)
{
    std::string fault;
    const auto options = readOptions(args, shapes, fault);
    if (!options)
        return usageFault(fault, io);
    const std::optional<std::string> chosen = formatOf(*options);
    if (!chosen)
        return usageFault("types takes --format text, csv or json", io);
    const std::string& format = *chosen;
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

int calcCommand(const Invocation& run)
{
    const std::vector<std::string>& rest = run.words;
    if (rest.empty())
        return calcLines(run.separators, run.in, run.io);
    if (rest.size() != 4)
        return wrongUsage(run);
    return calcArguments({rest[0], rest[1], rest[2], rest[3]}, run.separators, run.io);
}

// The commands on entries and memory texts.
std::vector<Command> entryCommands()
{
    return {{"calc",
             {"quarvet-cli calc TARGET1 TARGET2 INDICATED1 INDICATED2",
              "quarvet-cli calc              (lines of four entries on standard input)"},
             {},
             false,
             calcCommand},
            {"value",
             {"quarvet-cli value [ENTRY...]  (how each entry reads in this locale)"},
             {},
             false,
             [](const Invocation& run) {
                 return valueCommand(run.words, run.separators, run.in, run.io);
             }},
            {"decode",
             {"quarvet-cli decode [FILE]     (one instrument memory text a line)"},
             {},
             false,
             [](const Invocation& run) { return decodeCommand(run.words, run.in, run.io, run); }},
            {"read",
             {"quarvet-cli read              (read the instrument and decode its memory)"},
             {},
             false,
             [](const Invocation& run) {
                 return run.words.empty() ? readCommand(run.io) : wrongUsage(run);
             }},
            {"types",
             {"quarvet-cli types [--format text|csv|json]  (the instrument type table)"},
             {{"--format", 1}},
             false,
             [](const Invocation& run) {
                 return typesCommand(run.words, run.command.options, run.io);
             }}};
}

// The commands that judge an adjustment: check, fit, verify and budget.
std::vector<Command> adjustmentCommands()
{
    const std::string continued = usageContinued;
    return {
        {"check",
         {"quarvet-cli check [--current SLOPE OFFSET] [SET-UP] [--reading N R ...] [--json]" +
          continued + "TARGET1 TARGET2 INDICATED1 INDICATED2"},
         adjustmentOptions(),
         false,
         [](const Invocation& run) { return checkCommand(run.words, run.separators, run.io); }},
        {"fit",
         {"quarvet-cli fit [--current SLOPE OFFSET] [SET-UP] [--reading N R ...] [--json]" +
          continued + "[T1 I1 T2 I2 ...]"},
         adjustmentOptions(),
         false,
         [](const Invocation& run) {
             return fitCommand(run.words, run.separators, run.in, run.io);
         }},
        {"verify",
         {"quarvet-cli verify --tolerance T [--uncertainty U] [--rule guarded|simple|non-binary]" +
          continued + "[--json] T1 V1 [T2 V2 ...]"},
         verifyOptions(),
         false,
         [](const Invocation& run) { return verifyCommand(run.words, run.separators, run.io); }},
        {"budget",
         {"quarvet-cli budget --reference-u U [--reference-k K] [--drift A] [--resolution R]" +
          continued +
          "[--uniformity A] [--stability A] [--json] READING...\n"
          "       (SET-UP: the options of budget before READING)"},
         budgetOptions(),
         false,
         [](const Invocation& run) { return budgetCommand(run.words, run.separators, run.io); }}};
}

} // namespace

const CommandTable& calculatorCommands()
{
    static const CommandTable table = [] {
        CommandTable made{entryCommands(), {}};
        const std::vector<Command> more = adjustmentCommands();
        made.commands.insert(made.commands.end(), more.begin(), more.end());
        return made;
    }();
    return table;
}

} // namespace quarvet::cli
