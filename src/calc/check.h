#pragma once

#include "entry.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvet::calc {

// The separator that the locale does not use and the one it does.
struct SeparatorPair {
    std::string foreign;
    std::string correct;

    bool operator==(const SeparatorPair&) const = default;
};

// Which separator the locale reads as a decimal point, judged by how it reads "0.1": nothing
// when it reads the text as neither one nor one tenth.
std::optional<SeparatorPair> probeSeparators(const Separators& separators);

// The four temperatures the user types, in the order they are checked.
enum class EntryField { Target1, Target2, Indicated1, Indicated2 };

struct FieldText {
    EntryField field;
    std::string_view text;
};

struct EntryCheck {
    std::vector<EntryField> wrongFields; // in check order; empty when every entry is a number
    // Set when an entry that is a number holds the locale's foreign separator.
    std::optional<SeparatorPair> foreignSeparator;

    bool allNumbers() const { return wrongFields.empty(); }
};

// Checks one entry into `check` and gives its reading.
EntryReading checkEntry(const FieldText& entry, const Separators& separators,
                        const std::optional<SeparatorPair>& lookFor, EntryCheck& check);

// Lists every entry that is not a number (one beyond the range of a double included: no
// calculation can use it). With `lookFor`, an entry that is a number and holds
// `lookFor->foreign` sets `foreignSeparator`; the main window looks, the setup dialog not.
EntryCheck checkEntries(std::span<const FieldText> entries, const Separators& separators,
                        const std::optional<SeparatorPair>& lookFor);

// Whether `text` holds `part`; quicker than a search for the one-byte parts of entries.
bool holds(std::string_view text, std::string_view part);

} // namespace quarvet::calc
