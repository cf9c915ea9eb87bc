#pragma once

#include "entry.h"

#include <array>
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

// The main window's four entries in check order, each converted once: which are wrong and,
// among the others, whether any holds the foreign separator of `pair`.
struct MainEntries {
    static constexpr std::size_t count = 4;
    std::array<double, count> values{}; // target 1, target 2, indicated 1, indicated 2
    std::array<bool, count> wrong{};
    bool foreignSeparatorSeen = false;

    bool allNumbers() const { return wrong == std::array<bool, count>{}; }
};
inline constexpr std::array<std::string_view, MainEntries::count> mainEntryLabels = {
    labelTarget1, labelTarget2, labelIndicated1, labelIndicated2};

MainEntries readMainEntries(const std::array<std::string_view, MainEntries::count>& texts,
                            const Separators& separators, const SeparatorPair& pair);

// The report of wrong entries: header, empty line, one label a line; empty for no label.
std::string wrongEntriesReport(std::span<const std::string_view> labels);
// The three-line warning about an entry holding `pair.foreign`.
std::string separatorWarning(const SeparatorPair& pair);

// The setup dialog's check: the same listing, never a separator warning.
CheckReport checkSetupEntries(std::span<const LabelledEntry> entries, const Separators& separators);

} // namespace quarvet::calc
