#include "messages.h"

#include "calc/utf8text.h"

#include <vector>

namespace quarvet::messages {

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

std::string decisionRule(double uncertainty)
{
    return "pass when |error| \u2264 tolerance \u2212 uncertainty (guard band = " +
           calc::shortestText(uncertainty) + ")";
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

} // namespace quarvet::messages
