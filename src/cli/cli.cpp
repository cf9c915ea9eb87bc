#include "cli.h"

#include "calc/calibration.h"
#include "calc/check.h"
#include "instrument/memorydecoder.h"
#include "quarvet/version.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <ostream>

namespace quarvet::cli {
namespace {

constexpr const char* usage =
    "Usage: quarvet-cli calc TARGET1 TARGET2 INDICATED1 INDICATED2\n"
    "       quarvet-cli calc              (lines of four entries on standard input)\n"
    "       quarvet-cli value [ENTRY...]  (how each entry reads in this locale)\n"
    "       quarvet-cli decode [FILE]     (one instrument memory text a line)\n"
    "       quarvet-cli read              (read the instrument and decode its memory)\n"
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
    "Exit status: 0 success, 1 a wrong entry or a calculation that failed, 2 wrong usage.\n";

// Message texts break lines with carriage returns; a terminal wants line feeds.
std::string forTerminal(std::string text)
{
    std::replace(text.begin(), text.end(), calc::lineBreak, '\n');
    return text;
}

// The same text on one line, for a reason after "error: ".
std::string oneLine(const std::string& text)
{
    std::string line;
    for (char c : text) {
        if (c != calc::lineBreak)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

std::string listedLabels(const std::string& report)
{
    // The report is the header, an empty line, then one label a line.
    std::string labels;
    std::size_t start = report.find(std::string(2, calc::lineBreak));
    start = start == std::string::npos ? 0 : start + 2;
    while (start < report.size()) {
        const std::size_t end = report.find(calc::lineBreak, start);
        if (!labels.empty())
            labels += ", ";
        labels += report.substr(start, end - start);
        start = end == std::string::npos ? report.size() : end + 1;
    }
    return "Following Inputs are wrong: " + labels;
}

struct Outcome {
    calc::CheckReport check;
    calc::CalcResult result;
};

Outcome calculate(const std::vector<std::string>& entries, const calc::Separators& separators)
{
    const calc::LabelledEntry labelled[] = {{calc::labelTarget1, entries[0]},
                                            {calc::labelTarget2, entries[1]},
                                            {calc::labelIndicated1, entries[2]},
                                            {calc::labelIndicated2, entries[3]}};
    Outcome outcome;
    outcome.check = calc::checkMainEntries(labelled, separators);
    if (outcome.check.wrongEntries.empty())
        outcome.result =
            calc::calibrateEntries({entries[0], entries[1], entries[2], entries[3]}, separators);
    return outcome;
}

int calcArguments(const std::vector<std::string>& entries, const calc::Separators& separators,
                  Streams io)
{
    const Outcome outcome = calculate(entries, separators);
    if (!outcome.check.separatorWarning.empty())
        io.err << forTerminal(outcome.check.separatorWarning);
    if (!outcome.check.wrongEntries.empty()) {
        io.err << forTerminal(outcome.check.wrongEntries);
        return failure;
    }
    if (!outcome.result.ok()) {
        io.err << oneLine(calc::describeFault(outcome.result)) << '\n';
        return failure;
    }
    io.out << outcome.result.slopeCode << ' ' << outcome.result.offsetCode << '\n';
    return success;
}

std::string stripLineEnd(std::string line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

int calcLines(const calc::Separators& separators, Streams io)
{
    int status = success;
    std::string line;
    for (long number = 1; std::getline(io.in, line); ++number) {
        const std::vector<std::string> entries = splitWords(stripLineEnd(line));
        if (entries.size() != 4) {
            io.out << "error: expected four entries, found " << entries.size() << '\n';
            status = failure;
            continue;
        }
        const Outcome outcome = calculate(entries, separators);
        if (!outcome.check.separatorWarning.empty())
            io.err << "line " << number << ": " << oneLine(outcome.check.separatorWarning) << '\n';
        if (!outcome.check.wrongEntries.empty()) {
            io.out << "error: " << listedLabels(outcome.check.wrongEntries) << '\n';
            status = failure;
        } else if (!outcome.result.ok()) {
            io.out << "error: " << oneLine(calc::describeFault(outcome.result)) << '\n';
            status = failure;
        } else {
            io.out << outcome.result.slopeCode << ' ' << outcome.result.offsetCode << '\n';
        }
    }
    return status;
}

std::string describeValue(const std::string& entry, const calc::Separators& separators)
{
    const calc::EntryValue value = calc::ValConv(entry, separators);
    switch (value.status) {
    case calc::EntryStatus::Number:
        return calc::shortestText(value.value);
    case calc::EntryStatus::OutOfRange:
        return "out of range";
    case calc::EntryStatus::NotANumber:
        break;
    }
    return "not a number";
}

int valueCommand(const std::vector<std::string>& entries, const calc::Separators& separators,
                 Streams io)
{
    if (!entries.empty()) {
        for (const std::string& entry : entries)
            io.out << describeValue(entry, separators) << '\n';
        return success;
    }
    std::string line;
    while (std::getline(io.in, line))
        io.out << describeValue(stripLineEnd(line), separators) << '\n';
    return success;
}

int usageFailure(Streams io)
{
    io.err << usage;
    return usageError;
}

std::string orDash(const std::string& code)
{
    return code.empty() ? "-" : code;
}

// One output line for one memory text; false when it could not be decoded.
bool decodeLine(const std::string& text, std::ostream& out)
{
    const instrument::DisplayCodes codes = instrument::ReadTyp(text);
    if (codes.error == instrument::DecodeError::EmptyText) {
        out << '\n';
        return true;
    }
    if (!codes.ok()) {
        out << "error: " << instrument::describeDecodeError(codes) << '\n';
        return false;
    }
    out << orDash(codes.slope1) << ' ' << orDash(codes.offset1) << ' ' << orDash(codes.slope2)
        << ' ' << orDash(codes.offset2) << '\n';
    return true;
}

int decodeStream(std::istream& in, std::ostream& out)
{
    int status = success;
    std::string line;
    while (std::getline(in, line))
        if (!decodeLine(stripLineEnd(line), out))
            status = failure;
    return status;
}

int decodeCommand(const std::vector<std::string>& args, Streams io)
{
    if (args.size() > 1)
        return usageFailure(io);
    if (args.empty() || args.front() == "-")
        return decodeStream(io.in, io.out);
    std::ifstream file(args.front(), std::ios::binary);
    if (!file) {
        io.err << "quarvet-cli: cannot read " << args.front() << '\n';
        return failure;
    }
    return decodeStream(file, io.out);
}

int readCommand(Streams io)
{
    io.err << "instrument answered: " << instrument::ComGet() << '\n';
    return decodeLine(instrument::ComGet(), io.out) ? success : failure;
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

int run(const std::vector<std::string>& args, const calc::Separators& separators, Streams io)
{
    if (args.empty())
        return usageFailure(io);
    const std::string& command = args.front();
    // Entries after the command may start with a minus sign: only the first word is
    // an option.
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h") {
        io.out << usage << '\n' << help;
        return success;
    }
    if (command == "--version") {
        io.out << programTitle << ' ' << versionText << '\n';
        return success;
    }
    if (command == "calc") {
        if (rest.empty())
            return calcLines(separators, io);
        if (rest.size() != 4)
            return usageFailure(io);
        return calcArguments(rest, separators, io);
    }
    if (command == "value")
        return valueCommand(rest, separators, io);
    if (command == "decode")
        return decodeCommand(rest, io);
    if (command == "read")
        return rest.empty() ? readCommand(io) : usageFailure(io);
    return usageFailure(io);
}

} // namespace quarvet::cli
