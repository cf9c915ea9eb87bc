#include "check.h"

namespace quarvet::calc {

bool holds(std::string_view text, std::string_view part)
{
    // Entries are a few characters long and the separator one byte as a rule: a plain loop
    // beats a call to memchr for each.
    if (part.size() != 1)
        return text.find(part) != std::string_view::npos;
    for (const char c : text)
        if (c == part.front())
            return true;
    return false;
}

std::optional<SeparatorPair> probeSeparators(const Separators& separators)
{
    const EntryReading probe = readEntry("0.1", separators);
    if (probe.isNumber() && probe.value == 1.0)
        return SeparatorPair{".", ","};
    if (probe.isNumber() && probe.value == 0.1)
        return SeparatorPair{",", "."};
    return std::nullopt;
}

EntryReading checkEntry(const FieldText& entry, const Separators& separators,
                        const std::optional<SeparatorPair>& lookFor, EntryCheck& check)
{
    const EntryReading reading = readEntry(entry.text, separators);
    if (!reading.isNumber())
        check.wrongFields.push_back(entry.field);
    else if (lookFor && holds(entry.text, lookFor->foreign))
        check.foreignSeparator = lookFor;
    return reading;
}

EntryCheck checkEntries(std::span<const FieldText> entries, const Separators& separators,
                        const std::optional<SeparatorPair>& lookFor)
{
    EntryCheck check;
    for (const FieldText& entry : entries)
        checkEntry(entry, separators, lookFor, check);
    return check;
}

} // namespace quarvet::calc
