#include "check.h"

namespace quarvet::calc {
namespace {

constexpr std::string_view reportHeader = "Following Inputs are wrong:";

std::string separatorWarning(const SeparatorPair& pair)
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

CheckReport checkEntries(std::span<const LabelledEntry> entries, const Separators& separators,
                         const SeparatorPair& pair)
{
    std::string labels;
    bool foreignSeen = false;
    for (const LabelledEntry& entry : entries) {
        // An entry beyond the range of a double is listed too: no calculation can use it.
        if (!ValConv(entry.text, separators).isNumber()) {
            labels.append(entry.label);
            labels += lineBreak;
        } else if (pair.known() && entry.text.find(pair.foreign) != std::string_view::npos) {
            foreignSeen = true;
        }
    }
    CheckReport report;
    if (!labels.empty()) {
        report.wrongEntries.append(reportHeader);
        report.wrongEntries += lineBreak;
        report.wrongEntries += lineBreak;
        report.wrongEntries += labels;
    }
    if (foreignSeen)
        report.separatorWarning = separatorWarning(pair);
    return report;
}

} // namespace

SeparatorPair SepGet(const Separators& separators)
{
    const EntryValue probe = ValConv("0.1", separators);
    SeparatorPair pair;
    if (!probe.isNumber())
        return pair;
    if (probe.value == 1.0)
        pair = {".", ","};
    if (probe.value == 0.1)
        pair = {",", "."};
    return pair;
}

CheckReport checkMainEntries(std::span<const LabelledEntry> entries, const Separators& separators)
{
    return checkEntries(entries, separators, SepGet(separators));
}

CheckReport checkSetupEntries(std::span<const LabelledEntry> entries, const Separators& separators)
{
    return checkEntries(entries, separators, SeparatorPair{});
}

} // namespace quarvet::calc
