#include "adjustcommands.h"

#include "calc/adjustment.h"
#include "calc/uncertainty.h"
#include "messages/messages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>

namespace quarvet::cli {
namespace {

// The words of a command: its options and, in order, its entries.
struct Arguments {
    bool json = false;
    calc::Coefficients current;
    std::optional<std::string> tolerance;
    std::optional<std::string> uncertainty;
    std::optional<std::string> rule;
    // The set-up of the uncertainty budgets (option name → value as typed), and further
    // readings at points (point number, reading), both as typed.
    std::map<std::string, std::string> setUp;
    std::vector<std::pair<std::string, std::string>> furtherReadings;
    std::vector<std::string> entries;
    std::string usageFault; // set when the words are off
};

// The codes after --current, checked as the parse would: wrong usage when they are no codes.
void readCurrent(const std::vector<std::string>& given, Arguments& parsed)
{
    const auto slope = calc::readCoefficientCode(given[0]);
    const auto offset = calc::readCoefficientCode(given[1]);
    if (!slope || !offset) {
        parsed.usageFault = "--current takes two codes of four hexadecimal digits, not '" +
                            calc::printable(given[0] + " " + given[1]) + "'";
        return;
    }
    parsed.current = {*slope, *offset};
}

// The words of check, fit and verify as their options describe them.
Arguments parseArguments(const std::vector<std::string>& args,
                         const std::vector<OptionShape>& shapes)
{
    ReadWords read = readWords(args, shapes, EntryWords::Anywhere);
    Arguments parsed;
    parsed.usageFault = read.fault;
    if (!read.ok())
        return parsed;
    parsed.json = read.options.count("--json") != 0;
    if (const auto current = read.options.find("--current"); current != read.options.end())
        readCurrent(current->second, parsed);
    parsed.tolerance = valueOf(read.options, "--tolerance");
    parsed.uncertainty = valueOf(read.options, "--uncertainty");
    parsed.rule = valueOf(read.options, "--rule");
    for (const auto& [name, member] : setUpOptions())
        if (const auto value = valueOf(read.options, name))
            parsed.setUp[name] = *value;
    if (const auto further = read.options.find("--reading"); further != read.options.end())
        for (std::size_t n = 0; n + 1 < further->second.size(); n += 2)
            parsed.furtherReadings.emplace_back(further->second[n], further->second[n + 1]);
    parsed.entries = std::move(read.entries);
    return parsed;
}

std::string number(double value)
{
    return calc::shortestText(value);
}

// Each point's budget: empty when no set-up was given.
using Budgets = std::vector<calc::Budget>;

void writeBudgetJson(const calc::Budget& budget, OutputBuffer& out)
{
    out << ",\"uc\":" << number(budget.uc) << ",\"nuEff\":"
        << (std::isfinite(budget.nuEff) ? number(budget.nuEff) : std::string("null"))
        << ",\"k\":" << number(budget.k) << ",\"U\":" << number(budget.U);
}

void writePointsJson(const calc::Adjustment& adjustment, const Budgets& budgets, OutputBuffer& out)
{
    out << "\"points\":[";
    for (std::size_t n = 0; n < adjustment.points.size(); ++n) {
        const calc::PointPrediction& point = adjustment.points[n];
        out << (n == 0 ? "" : ",") << "{\"target\":" << number(point.target)
            << ",\"indicated\":" << number(point.indicated) << ",\"raw\":" << number(point.raw)
            << ",\"asLeft\":" << number(point.asLeft) << ",\"error\":" << number(point.error);
        if (n < budgets.size())
            writeBudgetJson(budgets[n], out);
        out << "}";
    }
    out << "]";
}

void writeAdjustmentJson(const calc::Adjustment& adjustment, const Budgets& budgets,
                         OutputBuffer& out)
{
    const calc::CalcResult& line = adjustment.line;
    out << "{\"slopeCode\":\"" << line.slopeCode << "\",\"offsetCode\":\"" << line.offsetCode
        << "\",\"slope\":" << number(line.slope) << ",\"offset\":" << number(line.offset)
        << ",\"appliedSlope\":" << number(adjustment.appliedSlope)
        << ",\"appliedOffset\":" << number(adjustment.appliedOffset)
        << ",\"slopeWraps\":" << (adjustment.slopeWraps ? "true" : "false")
        << ",\"offsetWraps\":" << (adjustment.offsetWraps ? "true" : "false") << ",";
    writePointsJson(adjustment, budgets, out);
    out << ",\"largestError\":" << number(adjustment.largestError) << "}\n";
}

void writeAdjustmentTable(const calc::Adjustment& adjustment, const Budgets& budgets,
                          OutputBuffer& out)
{
    const calc::CalcResult& line = adjustment.line;
    out << "slope code   " << line.slopeCode << "  applies " << number(adjustment.appliedSlope)
        << "  (line " << number(line.slope) << ")\n"
        << "offset code  " << line.offsetCode << "  applies " << number(adjustment.appliedOffset)
        << " \xC2\xB0"
           "C  (line "
        << number(line.offset)
        << " \xC2\xB0"
           "C)\n";
    if (adjustment.slopeWraps)
        out << "warning: " << messages::codeWrap(false, adjustment.appliedSlope, line.slope)
            << "\n";
    if (adjustment.offsetWraps)
        out << "warning: " << messages::codeWrap(true, adjustment.appliedOffset, line.offset)
            << "\n";
    out << "point\ttarget\tindicated\traw\tas-left\terror" << (budgets.empty() ? "\n" : "\tU\tk\n");
    for (std::size_t n = 0; n < adjustment.points.size(); ++n) {
        const calc::PointPrediction& point = adjustment.points[n];
        // With its U, a mean and an error are worth the figures U has, as on a certificate.
        const auto result = [&](double value) {
            return n < budgets.size() ? messages::roundedToUncertainty(value, budgets[n].U)
                                      : number(value);
        };
        out << std::to_string(n + 1) << '\t' << number(point.target) << '\t'
            << result(point.indicated) << '\t' << number(point.raw) << '\t' << number(point.asLeft)
            << '\t' << result(point.error);
        if (n < budgets.size())
            out << '\t' << messages::expandedUncertaintyText(budgets[n].U) << '\t'
                << messages::coverageFactorText(budgets[n].k);
        out << '\n';
    }
    out << "largest error " << number(adjustment.largestError)
        << " \xC2\xB0"
           "C\n";
}

int reportAdjustment(const std::vector<calc::ReferencePoint>& points, const Budgets& budgets,
                     const Arguments& parsed, Output& io)
{
    const calc::Adjustment adjustment = calc::adjust(points, parsed.current);
    if (!adjustment.ok()) {
        io.sayError(messages::oneLine(messages::calculationFault(adjustment.line.fault)) + "\n");
        return failure;
    }
    if (parsed.json)
        writeAdjustmentJson(adjustment, budgets, io.out);
    else
        writeAdjustmentTable(adjustment, budgets, io.out);
    return success;
}

// The point a further reading belongs to: its number, 1 to `count`; 0 for any other word.
std::size_t pointNumber(const std::string& word, std::size_t count)
{
    if (word.empty() || word.size() > 6 ||
        !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const std::size_t number = std::stoul(word);
    return number <= count ? number : 0;
}

// The readings at each point: its indicated entry first, then the further ones given for it;
// false, said, when a further reading names no point.
bool readingsAtPoints(const std::vector<double>& values, std::size_t points,
                      const Arguments& parsed, std::vector<std::vector<double>>& readings,
                      Output& io)
{
    readings.assign(points, {});
    for (std::size_t n = 0; n < points; ++n)
        readings[n].push_back(values[2 * n + 1]);
    const std::size_t first = values.size() - parsed.furtherReadings.size();
    for (std::size_t n = 0; n < parsed.furtherReadings.size(); ++n) {
        const std::size_t point = pointNumber(parsed.furtherReadings[n].first, points);
        if (point == 0) {
            usageFault("--reading names point '" +
                           calc::printable(parsed.furtherReadings[n].first) +
                           "', which is none of 1 to " + std::to_string(points),
                       io);
            return false;
        }
        readings[point - 1].push_back(values[first + n]);
    }
    return true;
}

// Labelled pairs of entries (target k, indicated k) as reference points, each point's
// indicated value the mean of its readings; with a set-up, each point's budget.
int adjustLabelled(std::vector<std::pair<std::string, std::string>> labelled,
                   const Arguments& parsed, const calc::Separators& separators, Output& io)
{
    const std::size_t count = labelled.size() / 2;
    // A set-up without the reference's U makes no budget: said, not ignored.
    if (!parsed.setUp.empty() && !parsed.setUp.count("--reference-u"))
        return usageFault("the set-up options make a budget only with --reference-u", io);
    labelled.insert(labelled.end(), parsed.setUp.begin(), parsed.setUp.end());
    for (std::size_t n = 0; n < parsed.furtherReadings.size(); ++n)
        labelled.emplace_back("Further reading " + std::to_string(n + 1),
                              parsed.furtherReadings[n].second);
    std::vector<double> values;
    std::vector<std::vector<double>> readings;
    if (!readLabelledNumbers(labelled, separators, values, io))
        return failure;
    if (!readingsAtPoints(values, count, parsed, readings, io))
        return usageError;
    calc::SetUp setUp;
    std::size_t at = 2 * count;
    for (const auto& [name, text] : parsed.setUp)
        setUp.*setUpOptions().at(name) = values[at++];
    if (parsed.setUp.count("--reference-u") && referenceURefused(setUp, io))
        return failure;
    std::vector<calc::ReferencePoint> points;
    Budgets budgets;
    for (std::size_t n = 0; n < count; ++n) {
        const calc::Budget budget = calc::budgetOf(setUp, readings[n]);
        if (!budget.ok()) {
            io.sayError(messages::budgetFault(budget.fault) + "\n");
            return failure;
        }
        points.push_back({values[2 * n], budget.mean});
        if (parsed.setUp.count("--reference-u"))
            budgets.push_back(budget);
    }
    return reportAdjustment(points, budgets, parsed, io);
}

int adjustPairs(const std::vector<std::string>& entries, const Arguments& parsed,
                const calc::Separators& separators, Output& io)
{
    std::vector<std::pair<std::string, std::string>> labelled;
    for (std::size_t n = 0; n + 1 < entries.size(); n += 2) {
        labelled.emplace_back(messages::targetLabel(n / 2 + 1), entries[n]);
        labelled.emplace_back(messages::indicatedLabel(n / 2 + 1), entries[n + 1]);
    }
    return adjustLabelled(labelled, parsed, separators, io);
}

// One pair a line on standard input, for fit. Each pair is read as it comes and held as
// numbers; a calibration has a few dozen points, and more than maxFitPairs is refused rather
// than let memory grow with the input.
constexpr std::size_t maxFitPairs = 100000;

int fitLines(const Arguments& parsed, const calc::Separators& separators, ByteSource& in,
             Output& io)
{
    LineReader reader(in);
    std::vector<std::pair<std::string, std::string>> labelled;
    std::string_view line;
    for (long number = 1;; ++number) {
        const LineReader::Status status = reader.next(line);
        if (status == LineReader::Status::End)
            break;
        if (status == LineReader::Status::Failed) {
            io.sayError("quarvet-cli: cannot read " + calc::printable(in.name()) + ": " +
                        in.failure() + "\n");
            return failure;
        }
        if (status == LineReader::Status::TooLong) {
            io.sayError("quarvet-cli: line " + std::to_string(number) + " is longer than 1 MiB\n");
            return failure;
        }
        std::array<std::string_view, 2> words;
        const std::size_t count = firstWords(withoutCarriageReturn(line), words);
        if (count == 0)
            continue;
        if (count != 2)
            return usageFault("line " + std::to_string(number) +
                                  ": expected a target and an indicated value, found " +
                                  std::to_string(count) + (count == 1 ? " entry" : " entries"),
                              io);
        if (labelled.size() / 2 == maxFitPairs) {
            io.sayError("quarvet-cli: fit takes at most " + std::to_string(maxFitPairs) +
                        " pairs\n");
            return failure;
        }
        labelled.emplace_back(messages::targetLabel(labelled.size() / 2 + 1), words[0]);
        labelled.emplace_back(messages::indicatedLabel(labelled.size() / 2 + 1), words[1]);
    }
    if (labelled.size() < 4)
        return usageFault("fit needs at least two pairs of target and indicated value", io);
    return adjustLabelled(labelled, parsed, separators, io);
}

void writeVerificationJson(const calc::Verification& verification, OutputBuffer& out)
{
    out << "{\"tolerance\":" << number(verification.tolerance)
        << ",\"uncertainty\":" << number(verification.uncertainty) << ",\"rule\":\""
        << calc::ruleStatement(verification.rule, verification.uncertainty) << "\",\"points\":[";
    for (std::size_t n = 0; n < verification.points.size(); ++n) {
        const calc::VerifiedPoint& point = verification.points[n];
        out << (n == 0 ? "" : ",") << "{\"target\":" << number(point.target)
            << ",\"reading\":" << number(point.reading) << ",\"error\":" << number(point.error)
            << ",\"verdict\":\"" << calc::verdictText(point.verdict)
            << "\",\"pass\":" << (point.pass ? "true" : "false") << "}";
    }
    out << "],\"verdict\":\"" << calc::outcomeText(verification.outcome)
        << "\",\"pass\":" << (verification.pass ? "true" : "false") << "}\n";
}

void writeVerification(const calc::Verification& verification, bool json, OutputBuffer& out)
{
    if (json)
        return writeVerificationJson(verification, out);
    out << "tolerance " << number(verification.tolerance) << ", uncertainty "
        << number(verification.uncertainty)
        << "\nrule: " << calc::ruleStatement(verification.rule, verification.uncertainty)
        << "\npoint\ttarget\treading\terror\tverdict\n";
    for (std::size_t n = 0; n < verification.points.size(); ++n) {
        const calc::VerifiedPoint& point = verification.points[n];
        std::string verdict = calc::verdictText(point.verdict);
        verdict[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(verdict[0])));
        out << std::to_string(n + 1) << '\t' << number(point.target) << '\t'
            << number(point.reading) << '\t'
            << messages::roundedToUncertainty(point.error, verification.uncertainty) << '\t'
            << verdict << '\n';
    }
    out << "verdict: " << calc::outcomeText(verification.outcome) << '\n';
    if (verification.outcome.verdict == calc::Verdict::NotJudged)
        out << messages::notJudgedReason() << '\n';
}

} // namespace

int exitOf(const calc::Outcome& outcome)
{
    if (!outcome.verdict)
        return success;
    if (*outcome.verdict == calc::Verdict::NotJudged)
        return verificationNotJudged;
    return calc::passes(*outcome.verdict) ? success : verificationFailed;
}

// Reads labelled entries; the report of the wrong ones on standard error.
bool readLabelledNumbers(const std::vector<std::pair<std::string, std::string>>& labelled,
                         const calc::Separators& separators, std::vector<double>& values,
                         Output& io, ForeignSeparator foreignSeparator)
{
    std::vector<std::string> wrong;
    const std::optional<calc::SeparatorPair> pair = calc::probeSeparators(separators);
    const std::pair<std::string, std::string>* foreign = nullptr;
    values.clear();
    for (const auto& entry : labelled) {
        const calc::EntryReading reading = calc::readEntry(entry.second, separators);
        values.push_back(reading.value);
        if (!reading.isNumber())
            wrong.push_back(entry.first);
        else if (pair && !foreign && calc::holds(entry.second, pair->foreign))
            foreign = &entry;
    }
    // As calc says them: what is wrong first, then the warning, which leaves the result.
    if (!wrong.empty())
        io.sayError(messages::forTerminal(messages::wrongEntriesReport(wrong)));
    if (foreign && foreignSeparator == ForeignSeparator::Refuse) {
        io.sayError("quarvet-cli: " +
                    messages::foreignSeparatorInJudgement(foreign->first, foreign->second, *pair) +
                    "\n");
        return false;
    }
    if (foreign)
        io.sayError(messages::forTerminal(messages::separatorWarning(*pair)));
    return wrong.empty();
}

const std::map<std::string, double calc::SetUp::*>& setUpOptions()
{
    static const std::map<std::string, double calc::SetUp::*> options{
        {"--reference-u", &calc::SetUp::referenceU},
        {"--reference-k", &calc::SetUp::referenceK},
        {"--drift", &calc::SetUp::drift},
        {"--resolution", &calc::SetUp::resolution},
        {"--uniformity", &calc::SetUp::uniformity},
        {"--stability", &calc::SetUp::stability}};
    return options;
}

bool referenceURefused(const calc::SetUp& setUp, Output& io)
{
    if (setUp.referenceU > 0.0)
        return false;
    records::Refusal refusal;
    refusal.field = records::RecordField::Uncertainty;
    refusal.kind = records::RefusalKind::NotAboveZero;
    io.sayError("quarvet-cli: " + messages::recordRefusal(refusal) + "\n");
    return true;
}

const std::vector<OptionShape>& budgetOptions()
{
    static const std::vector<OptionShape> shapes = [] {
        std::vector<OptionShape> made{{"--json", 0}};
        for (const auto& [name, member] : setUpOptions())
            made.push_back({name.c_str(), 1, false, ValueWords::NoDoubleDash});
        return made;
    }();
    return shapes;
}

const std::vector<OptionShape>& adjustmentOptions()
{
    static const std::vector<OptionShape> shapes = [] {
        std::vector<OptionShape> made = budgetOptions();
        made.push_back(
            {"--current", 2, false, ValueWords::AnyWord, "two codes of four hexadecimal digits"});
        made.push_back(
            {"--reading", 2, true, ValueWords::NoDoubleDash, "a point number and a reading"});
        return made;
    }();
    return shapes;
}

const std::vector<OptionShape>& verifyOptions()
{
    static const std::vector<OptionShape> shapes{
        {"--json", 0}, {"--tolerance", 1}, {"--uncertainty", 1}, {"--rule", 1}};
    return shapes;
}

int checkCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                 Output& io)
{
    const Arguments parsed = parseArguments(args, adjustmentOptions());
    if (!parsed.usageFault.empty())
        return usageFault(parsed.usageFault, io);
    if (parsed.entries.size() != 4)
        return usageFault("check takes TARGET1 TARGET2 INDICATED1 INDICATED2", io);
    const std::vector<std::string>& e = parsed.entries;
    return adjustPairs({e[0], e[2], e[1], e[3]}, parsed, separators, io);
}

int fitCommand(const std::vector<std::string>& args, const calc::Separators& separators,
               ByteSource& in, Output& io)
{
    const Arguments parsed = parseArguments(args, adjustmentOptions());
    if (!parsed.usageFault.empty())
        return usageFault(parsed.usageFault, io);
    if (parsed.entries.empty())
        return fitLines(parsed, separators, in, io);
    if (parsed.entries.size() < 4 || parsed.entries.size() % 2 != 0)
        return usageFault("fit takes pairs T1 I1 T2 I2 [T3 I3 ...]", io);
    return adjustPairs(parsed.entries, parsed, separators, io);
}

int verifyCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                  Output& io)
{
    const Arguments parsed = parseArguments(args, verifyOptions());
    if (!parsed.usageFault.empty())
        return usageFault(parsed.usageFault, io);
    if (!parsed.tolerance || parsed.entries.size() < 2 || parsed.entries.size() % 2 != 0)
        return usageFault("verify takes --tolerance T [--uncertainty U] "
                          "[--rule guarded|simple|non-binary] [--json] T1 V1 [T2 V2 ...]",
                          io);
    calc::DecisionRule rule = calc::DecisionRule::Guarded;
    if (parsed.rule && !calc::readRule(*parsed.rule, rule))
        return usageFault("--rule is guarded, simple or non-binary, not '" +
                              calc::printable(*parsed.rule) + "'",
                          io);
    std::vector<std::pair<std::string, std::string>> labelled{
        {"Tolerance", *parsed.tolerance}, {"Uncertainty", parsed.uncertainty.value_or("0")}};
    for (std::size_t n = 0; n + 1 < parsed.entries.size(); n += 2) {
        labelled.emplace_back(messages::targetLabel(n / 2 + 1), parsed.entries[n]);
        labelled.emplace_back(messages::readingLabel(n / 2 + 1), parsed.entries[n + 1]);
    }
    std::vector<double> values;
    if (!readLabelledNumbers(labelled, separators, values, io, ForeignSeparator::Refuse))
        return failure;
    std::vector<calc::VerificationReading> readings;
    for (std::size_t n = 2; n + 1 < values.size(); n += 2)
        readings.push_back({values[n], values[n + 1]});
    const calc::Verification verification = calc::verify(readings, values[0], values[1], rule);
    if (!verification.ok()) {
        io.sayError(messages::verificationFault(verification.fault) + "\n");
        return failure;
    }
    writeVerification(verification, parsed.json, io.out);
    return exitOf(verification.outcome);
}

} // namespace quarvet::cli
