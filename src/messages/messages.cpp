#include "messages.h"

#include "calc/utf8text.h"

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quarvet::messages {
namespace {

// A number written with a point whatever the process's locale: a window's process runs under
// the user's LC_NUMERIC (Qt sets it from the environment), where printf writes 0,020, and
// these texts go onto certificates and beside numbers written with a point.
template <typename... Values> std::string written(const char* format, Values... values)
{
    static const locale_t plain = newlocale(LC_ALL_MASK, "C", locale_t{});
    const locale_t previous = plain != locale_t{} ? uselocale(plain) : locale_t{};
    char said[512]; // "%.0f" of the largest double is 309 digits: never cut
    std::snprintf(said, sizeof said, format, values...);
    if (previous != locale_t{})
        uselocale(previous);
    return said;
}

} // namespace

std::string_view fieldLabel(calc::EntryField field)
{
    switch (field) {
    case calc::EntryField::Target1:
        return "Target temperature 1";
    case calc::EntryField::Target2:
        return "Target temperature 2";
    case calc::EntryField::Indicated1:
        return "Indicated temperature 1";
    case calc::EntryField::Indicated2:
        return "Indicated temperature 2";
    }
    return {};
}

namespace {
constexpr std::string_view wrongEntriesHeader = "Following Inputs are wrong:";
} // namespace

std::string wrongEntriesReport(std::span<const calc::EntryField> fields)
{
    std::vector<std::string> labels;
    for (const calc::EntryField field : fields)
        labels.emplace_back(fieldLabel(field));
    return wrongEntriesReport(labels);
}

std::string wrongEntriesReport(std::span<const std::string> labels)
{
    std::string report;
    if (labels.empty())
        return report;
    report.append(wrongEntriesHeader);
    report += lineBreak;
    report += lineBreak;
    for (const std::string& label : labels) {
        report.append(label);
        report += lineBreak;
    }
    return report;
}

std::string targetLabel(std::size_t number)
{
    return "Target temperature " + std::to_string(number);
}

std::string indicatedLabel(std::size_t number)
{
    return "Indicated temperature " + std::to_string(number);
}

std::string readingLabel(std::size_t number)
{
    return "Verification reading " + std::to_string(number);
}

std::string coverageFactorText(double k)
{
    // A k typed for a reference may be any size: no trailing point ("150.") past three figures.
    return written(k >= 1e6 ? "%.2e" : k >= 100 ? "%.0f" : "%#.3g", k);
}

std::string expandedUncertaintyText(double U)
{
    if (!std::isfinite(U) || U == 0.0)
        return calc::shortestText(U);
    // %#.2g keeps a trailing zero (0.030) but leaves a point after a whole number (14.);
    // a U of a million and more is no calibration's, and is written short.
    const double magnitude = std::fabs(U);
    return written(magnitude >= 1e6 ? "%.1e" : magnitude >= 10 ? "%.0f" : "%#.2g", U);
}

std::string roundedToUncertainty(double value, double U)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e6)
        return calc::shortestText(value);
    int decimals = 4;
    if (std::isfinite(U) && U != 0.0) {
        // The decimal place of U's last figure as reported: "0.021" three, "8.1e-05" six.
        const std::string reported = expandedUncertaintyText(U);
        const std::size_t e = reported.find('e');
        const std::string mantissa = reported.substr(0, e);
        const std::size_t point = mantissa.find('.');
        decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
        if (e != std::string::npos)
            decimals = std::max(0, decimals - std::atoi(reported.c_str() + e + 1));
    }
    std::string text = written("%.*f", decimals, value);
    // A negative error that rounds to nothing is no error below zero.
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string significantText(double value, int figures)
{
    if (!std::isfinite(value))
        return calc::shortestText(value);
    return written("%.*g", figures, value);
}

std::string budgetFault(calc::BudgetFault fault)
{
    switch (fault) {
    case calc::BudgetFault::NoReadings:
        return "A budget needs at least one reading.";
    case calc::BudgetFault::NotFinite:
        return "Every input and reading of a budget must be a finite number.";
    case calc::BudgetFault::Negative:
        return "An uncertainty, a half-width or the resolution cannot be below zero.";
    case calc::BudgetFault::TooLarge:
        return "The readings or the uncertainties are too large to be combined.";
    case calc::BudgetFault::CoverageNotPositive:
        return "The reference's coverage factor k must be greater than 0.";
    case calc::BudgetFault::PooledNotValid:
        return "A pooled standard deviation must be above 0, with at least 1 degree of freedom.";
    default:
        return {};
    }
}

std::string simpleAcceptanceRisk(double largestU, double tolerance)
{
    return "U " + expandedUncertaintyText(largestU) + " is more than a quarter of the tolerance " +
           calc::shortestText(tolerance) +
           ": a pass or a fail near the limit carries a high risk of a wrong decision.";
}

std::string notJudgedReason()
{
    return "Not judged: the uncertainty is not smaller than the tolerance, so no reading can be "
           "shown to pass, and none verified is off by more than the tolerance plus the "
           "uncertainty, which alone shows a failure.";
}

std::string codeWrap(bool offset, double applied, double line)
{
    const std::string unit = offset ? " \u00B0C" : "";
    return std::string(offset ? "the offset" : "the slope") +
           " does not fit its code: the instrument will apply " + calc::shortestText(applied) +
           unit + ", not " + calc::shortestText(line) + unit;
}

std::string verificationFault(calc::VerificationFault fault)
{
    switch (fault) {
    case calc::VerificationFault::None:
        return {};
    case calc::VerificationFault::ToleranceNotPositive:
        return "The tolerance must be greater than 0.";
    case calc::VerificationFault::UncertaintyNegative:
        return "The uncertainty must not be negative.";
    case calc::VerificationFault::NotFinite:
        return "The readings are too large to be judged.";
    }
    return {};
}

std::string wrongEntriesLine(std::span<const calc::EntryField> fields)
{
    std::string line(wrongEntriesHeader);
    for (std::size_t n = 0; n < fields.size(); ++n) {
        line += n == 0 ? " " : ", ";
        line.append(fieldLabel(fields[n]));
    }
    return line;
}

std::string separatorWarning(const calc::SeparatorPair& pair)
{
    std::string warning;
    warning += "Following separator '" + pair.foreign + "' is unknown.";
    warning += lineBreak;
    warning += "The correct separator is '" + pair.correct + "' !";
    warning += lineBreak;
    warning += "Please check the entered values!";
    warning += lineBreak;
    return warning;
}

namespace {

std::string foreignSeparatorIn(std::string_view label, std::string_view text,
                               const calc::SeparatorPair& pair, std::string_view consequence)
{
    return std::string(label) + " '" + calc::printable(text) + "' holds '" + pair.foreign +
           "', which this locale does not read as a decimal separator ('" + pair.correct +
           "' it does): " + std::string(consequence);
}

} // namespace

std::string foreignSeparatorInRecord(std::string_view label, std::string_view text,
                                     const calc::SeparatorPair& pair)
{
    return foreignSeparatorIn(label, text, pair,
                              "a record would keep another number than the one meant.");
}

std::string foreignSeparatorInRegister(std::string_view label, std::string_view text,
                                       const calc::SeparatorPair& pair)
{
    return foreignSeparatorIn(label, text, pair,
                              "the register, which keeps every entry for good, would keep "
                              "another number than the one meant.");
}

std::string foreignSeparatorInJudgement(std::string_view label, std::string_view text,
                                        const calc::SeparatorPair& pair)
{
    return foreignSeparatorIn(label, text, pair,
                              "the result would be worked out from another number than the one "
                              "meant.");
}

std::string calculationFault(calc::CalcFault fault)
{
    const auto lines = [](std::string_view first, std::string_view second) {
        return std::string(first) + lineBreak + std::string(second);
    };
    switch (fault) {
    case calc::CalcFault::None:
        return {};
    case calc::CalcFault::EqualIndicatedValues:
        return lines("The two indicated values are equal, so no slope can be calculated.",
                     "Please enter two different indicated values.");
    case calc::CalcFault::SlopeOutOfRange:
        return lines("The slope is too large to be coded.",
                     "It must lie between -214748.3648 and 214748.3647.");
    case calc::CalcFault::OffsetOutOfRange:
        return lines("The offset is too large to be coded.",
                     "It must lie between -2147483.648 and 2147483.647 \xC2\xB0"
                     "C.");
    case calc::CalcFault::NotFinite:
        return lines("The values are too large to be calculated with.",
                     "Please check the entered values.");
    case calc::CalcFault::AllIndicatedEqual:
        return lines("All indicated values are equal, so no slope can be calculated.",
                     "Please enter different indicated values.");
    case calc::CalcFault::CurrentSlopeZero:
        return lines("The current slope code stands for a slope of 0.",
                     "Readings taken under it cannot be taken back to raw readings.");
    }
    return {};
}

std::string decodeFault(const instrument::DisplayCodes& codes)
{
    using instrument::DecodeError;
    const std::string record = "record " + std::to_string(codes.record);
    const std::string found = calc::printable(codes.found);
    switch (codes.error) {
    case DecodeError::None:
        return {};
    case DecodeError::EmptyText:
        return "the memory text is empty";
    case DecodeError::ValueFieldMissing:
        return record + ": the value field is missing (the text ends too early)";
    case DecodeError::ValueFieldNotHex:
        return record + ": the value field \"" + found + "\" is not hexadecimal";
    case DecodeError::SlopeFieldNotHex:
        return record + ": the slope field \"" + found + "\" is not hexadecimal";
    case DecodeError::TypeNotDigit:
        return found.empty() ? "the type character is missing"
                             : "the type character \"" + found + "\" is not a digit";
    case DecodeError::TypeOutOfRange:
        return "type " + found + " is not in the type table (0 to 8)";
    }
    return {};
}

std::string forTerminal(std::string_view text)
{
    std::string terminal(text);
    for (char& c : terminal)
        if (c == lineBreak)
            c = '\n';
    return terminal;
}

std::string oneLine(std::string_view text)
{
    std::string line;
    for (const char c : text) {
        if (c != lineBreak)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

namespace {

// How a sentence about a record names one of its fields.
std::string recordFieldName(records::RecordField field)
{
    using F = records::RecordField;
    static const std::pair<F, const char*> names[] = {
        {F::Serial, "The serial number"},
        {F::Technician, "The technician"},
        {F::Reference, "The reference standard"},
        {F::Note, "The note"},
        {F::Customer, "The customer"},
        {F::Method, "The method"},
        {F::Reason, "The reason for the correction"},
        {F::CustomerAddress, "The customer's address"},
        {F::Description, "The item's description"},
        {F::Location, "The location"},
        {F::Received, "The day the item was received"},
        {F::Condition, "The item's condition on receipt"},
        {F::Deviations, "The deviations from the method"},
        {F::ToleranceSource, "The source of the tolerance"},
        {F::AuthorisedBy, "The name of who authorises the certificate"},
        {F::Role, "The role of who authorises the certificate"},
        {F::Uncertainty, "The reference's uncertainty U"},
        {F::Ambient, "The ambient temperature"}};
    for (const auto& [named, name] : names)
        if (named == field)
            return name;
    return "The entry";
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : ", ") + word;
    return text;
}

// A number that is infinite or none, said of the field that holds it.
std::string notFinite(records::RecordField field)
{
    switch (field) {
    case records::RecordField::Entries:
        return "The entries are not all numbers.";
    case records::RecordField::Verification:
        return "A verification reading is no number.";
    default:
        return recordFieldName(field) + " is no number.";
    }
}

std::string incomplete(std::size_t point)
{
    return point == 3 ? "The third point needs its target and its reading."
                      : "A verdict needs the as-left readings at both points: point " +
                            std::to_string(point) + " has none.";
}

// What is wrong with a date or a number of a record.
// The day of receipt and the tolerance's source.
std::string receiptRefusal(const records::Refusal& refusal)
{
    switch (refusal.kind) {
    case records::RefusalKind::NotADate:
        return "The day the item was received is no date from 1900 on (YYYY-MM-DD).";
    case records::RefusalKind::AfterCalibration:
        return "The item cannot have been received on " + refusal.given +
               ", after its calibration.";
    case records::RefusalKind::NotAChoice:
        return recordFieldName(refusal.field) + " is one of " + joined(refusal.choices) + ".";
    case records::RefusalKind::NeedsTolerance:
        return "A source of the tolerance needs a tolerance.";
    default:
        return {};
    }
}

// A value outside what any laboratory meets.
std::string outOfRange(records::RecordField field)
{
    if (field == records::RecordField::Uncertainty)
        return "The reference's uncertainty U must not exceed 10 \u00B0C.";
    return "The ambient temperature must lie between \u2212100 and 100 \u00B0C.";
}

std::string valueRefusal(const records::Refusal& refusal)
{
    if (refusal.field == records::RecordField::Received ||
        refusal.field == records::RecordField::ToleranceSource)
        return receiptRefusal(refusal);
    switch (refusal.kind) {
    case records::RefusalKind::NotAboveZero:
        return "The reference's uncertainty U must be a number above 0.";
    case records::RefusalKind::NotADate:
        return "The reference's due date is no date (YYYY-MM-DD).";
    case records::RefusalKind::Passed:
        return "The reference's due date " + refusal.given +
               " has passed: a record made against an overdue reference cannot be saved, and "
               "it could never pass.";
    case records::RefusalKind::NotFinite:
        return notFinite(refusal.field);
    case records::RefusalKind::OutOfRange:
        return outOfRange(refusal.field);
    case records::RefusalKind::Unreadable:
        return recordFieldName(refusal.field) + " is not a number.";
    case records::RefusalKind::NeedsTolerance:
        return "Verification readings need a tolerance to be judged by.";
    case records::RefusalKind::Calculation:
        return oneLine(calculationFault(refusal.calculation));
    case records::RefusalKind::Verification:
        return verificationFault(refusal.verification);
    case records::RefusalKind::Incomplete:
        return incomplete(refusal.point);
    case records::RefusalKind::Budget:
        return budgetFault(refusal.budget);
    case records::RefusalKind::CodeWraps: {
        std::string said = codeWrap(refusal.offset, refusal.applied, refusal.line);
        said[0] = 'T';
        return said + ". A record of codes the instrument would not apply as calculated cannot "
                      "be saved.";
    }
    default:
        return {};
    }
}

} // namespace

std::string recordRefusal(const records::Refusal& refusal)
{
    const std::string name = recordFieldName(refusal.field);
    switch (refusal.kind) {
    case records::RefusalKind::None:
        return {};
    case records::RefusalKind::UnknownModel:
        return "The instrument type \"" + refusal.given + "\" is none of the model numbers " +
               joined(refusal.choices) + ".";
    case records::RefusalKind::Empty:
        return name + " is empty.";
    case records::RefusalKind::Blanks:
        return name + " begins or ends with blanks: \"" + calc::printable(refusal.given) +
               "\" would print as another one.";
    case records::RefusalKind::TooLong:
        return name + " is longer than " + std::to_string(refusal.limit) + " characters.";
    case records::RefusalKind::TurnsTextAround:
        return name + " holds a mark that turns text around (U+202A to U+202E, U+2066 to "
                      "U+2069): it would read as another one.";
    case records::RefusalKind::Control:
        return name + " holds a control character (a line break, a tab, an escape): it would "
                      "not print as one line.";
    case records::RefusalKind::ForeignSeparator:
        return foreignSeparatorInRecord(name, refusal.given, {refusal.foreign, refusal.correct});
    case records::RefusalKind::Invisible:
        return name + " holds a character that cannot be seen (" + refusal.given +
               "): names that look alike would be two different ones.";
    case records::RefusalKind::NotOneOrTwo:
        return "The display line must be 1 or 2.";
    default:
        return valueRefusal(refusal);
    }
}

std::string outsideScope(std::span<const double> targets)
{
    if (targets.empty())
        return {};
    std::string at;
    for (std::size_t n = 0; n < targets.size(); ++n)
        at += (n == 0                    ? ""
               : n + 1 == targets.size() ? " and "
                                         : ", ") +
              calc::shortestText(targets[n]);
    const bool one = targets.size() == 1;
    return std::string(one ? "The result at " : "The results at ") + at +
           (one ? " °C lies" : " °C lie") +
           " outside the laboratory's scope of accreditation: the certificate marks " +
           (one ? "it." : "them.");
}

std::string pooledFault(const calc::PooledReading& reading, std::string_view typed)
{
    const std::string said = "'" + std::string(typed) + "'";
    switch (reading.fault) {
    case calc::PooledFault::NotAPair:
    case calc::PooledFault::NotANumber:
        return "The pooled repeatability " + said +
               " is not S:NU (a standard deviation of single readings in °C, and its degrees of "
               "freedom, e.g. 0.012:9).";
    case calc::PooledFault::ForeignSeparator:
        return foreignSeparatorIn("The pooled repeatability", typed,
                                  {reading.foreign, reading.correct},
                                  "the laboratory would keep another number than the one meant.");
    case calc::PooledFault::NotValid:
        return "The pooled repeatability " + said +
               " needs a standard deviation above 0 and at least 1 degree of freedom.";
    default:
        return {};
    }
}

std::string scopeFault(const calc::ScopeReading& reading)
{
    // Said as typed: the command line's refusal makes the text printable, once.
    const std::string range = "'" + reading.what + "'";
    switch (reading.fault) {
    case calc::ScopeFault::NotARange:
        return "The range " + range +
               " is not LOW..HIGH=U (°C, U the expanded CMC at k = 2, e.g. 0..100=0.02).";
    case calc::ScopeFault::NotANumber:
        return "The range " + range + " holds a bound or a CMC that is not a number.";
    case calc::ScopeFault::ForeignSeparator:
        return foreignSeparatorIn("The range", reading.what, {reading.foreign, reading.correct},
                                  "the scope would keep another number than the one meant.");
    case calc::ScopeFault::Backwards:
        return "The range " + range + " does not end above where it begins.";
    case calc::ScopeFault::CmcNotAbove0:
        return "The CMC of the range " + range + " is not above 0.";
    case calc::ScopeFault::Overlapping:
        return "The ranges " + reading.what + " overlap: a temperature has one CMC.";
    case calc::ScopeFault::NotAsKept:
        return "The laboratory's scope as the store keeps it does not read as ranges: " + range +
               ".";
    default:
        return {};
    }
}

} // namespace quarvet::messages
