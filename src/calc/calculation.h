#pragma once

#include "calibration.h"
#include "check.h"

#include <array>
#include <string_view>

namespace quarvet::calc {

// The four entries of a calculation as the user typed them.
struct EntryTexts {
    std::string_view target1;
    std::string_view target2;
    std::string_view indicated1;
    std::string_view indicated2;
};

struct Calculation {
    EntryCheck check;
    std::array<double, 4> values{}; // target 1, target 2, indicated 1, indicated 2, as read
    CalcResult result;              // only when every entry is a number

    bool calculated() const { return check.allNumbers(); }
};

// The one way from four entries to two codes: checks the entries as the main window does
// (looking for the foreign separator of `lookFor`) and, when all are numbers, calibrates.
// Each entry is converted once.
Calculation calculateCodes(const EntryTexts& texts, const Separators& separators,
                           const std::optional<SeparatorPair>& lookFor);

} // namespace quarvet::calc
