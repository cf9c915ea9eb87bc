#include "check.h"

#include <vector>

namespace quarvet::calc {
namespace {

constexpr std::string_view reportHeader = "Following Inputs are wrong:";

// Entries are a few characters long and the separator one byte as a rule: a plain loop
// beats a call to memchr for each.
bool contains(std::string_view text, std::string_view part)
{
    if (part.size() != 1)
        return text.find(part) != std::string_view::npos;
    for (const char c : text)
        if (c == part.front())
            return true;
    return false;
}

CheckReport checkEntries(std::span<const LabelledEntry> entries, const Separators& separators,
                         const SeparatorPair& pair)
{
    std::vector<std::string_view> labels;
    bool foreignSeen = false;
    for (const LabelledEntry& entry : entries) {
        // An entry beyond the range of a double is listed too: no calculation can use it.
        if (!ValConv(entry.text, separators).isNumber())
            labels.push_back(entry.label);
        else if (pair.known() && entry.text.find(pair.foreign) != std::string_view::npos)
            foreignSeen = true;
    }
    CheckReport report;
    report.wrongEntries = wrongEntriesReport(labels);
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

MainEntries readMainEntries(const std::array<std::string_view, MainEntries::count>& texts,
                            const Separators& separators, const SeparatorPair& pair)
{
    MainEntries entries;
    for (std::size_t n = 0; n < MainEntries::count; ++n) {
        const EntryValue value = ValConv(texts[n], separators);
        entries.values[n] = value.value;
        entries.wrong[n] = !value.isNumber();
        if (value.isNumber() && pair.known() && contains(texts[n], pair.foreign))
            entries.foreignSeparatorSeen = true;
    }
    return entries;
}

std::string wrongEntriesReport(std::span<const std::string_view> labels)
{
    std::string report;
    if (labels.empty())
        return report;
    report.append(reportHeader);
    report += lineBreak;
    report += lineBreak;
    for (const std::string_view label : labels) {
        report.append(label);
        report += lineBreak;
    }
    return report;
}

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

CheckReport checkMainEntries(std::span<const LabelledEntry> entries, const Separators& separators)
{
    return checkEntries(entries, separators, SepGet(separators));
}

CheckReport checkSetupEntries(std::span<const LabelledEntry> entries, const Separators& separators)
{
    return checkEntries(entries, separators, SeparatorPair{});
}

} // namespace quarvet::calc
