#pragma once

#include "entry.h"

#include <span>
#include <string>
#include <string_view>

namespace quarvet::calc {

// Message texts break lines with a carriage return; whoever shows them maps it.
inline constexpr char lineBreak = '\r';

// The separator that the locale does not use and the one it does; both empty when the
// locale reads the probe text as neither one nor one tenth.
struct SeparatorPair {
    std::string foreign;
    std::string correct;

    bool known() const { return !foreign.empty(); }
};

SeparatorPair SepGet(const Separators& separators);

struct LabelledEntry {
    std::string_view label;
    std::string_view text;
};

struct CheckReport {
    std::string wrongEntries;     // empty when every entry is a number
    std::string separatorWarning; // empty when no entry holds the foreign separator
};

inline constexpr std::string_view labelTarget1 = "Target temperature 1";
inline constexpr std::string_view labelTarget2 = "Target temperature 2";
inline constexpr std::string_view labelIndicated1 = "Indicated temperature 1";
inline constexpr std::string_view labelIndicated2 = "Indicated temperature 2";

// The main window's check: entries in the order targets, then indicated values; it looks
// for the foreign separator in every entry that is not listed as wrong.
CheckReport checkMainEntries(std::span<const LabelledEntry> entries, const Separators& separators);

// The setup dialog's check: the same listing, never a separator warning.
CheckReport checkSetupEntries(std::span<const LabelledEntry> entries, const Separators& separators);

} // namespace quarvet::calc
