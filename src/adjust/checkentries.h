#pragma once

#include "calc/adjustment.h"
#include "calc/check.h"
#include "calc/entry.h"
#include "calc/evaluation.h"
#include "calc/uncertainty.h"
#include "records/refusal.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace quarvet::adjust {

// The adjustment check's own entries, in the order the window shows them.
enum class CheckField {
    CurrentSlope,
    CurrentOffset,
    Tolerance,
    Uncertainty,
    Reading1,
    Reading2,
    ThirdTarget,
    ThirdReading,
    // The rest of each point's uncertainty budget, beside the reference's U above; blank
    // is the default (k 2, resolution 0.01 °C, the others 0).
    ReferenceK,
    Drift,
    Resolution,
    Uniformity,
    Stability,
    // Readings at the two calibration points after the main window's indicated ones.
    FoundReadings1,
    FoundReadings2,
};
inline constexpr std::size_t checkFieldCount = 15;
// The most readings a field takes: a point is read a few times, not thousands.
inline constexpr std::size_t mostReadingsInAField = 1000;
using CheckTexts = std::array<QString, checkFieldCount>;
constexpr std::size_t index(CheckField field)
{
    return static_cast<std::size_t>(field);
}

// What the adjustment check's entries hold, read once at every edit; the live verdict and
// the saved record both come from it, so that the window never shows one verdict and saves
// another.
struct CheckEntries {
    std::optional<calc::Coefficients> current;
    std::optional<double> tolerance;
    std::optional<double> uncertainty;
    // As left at the two targets and at the third point, each field's readings in order
    // (empty when it holds none), and the further readings as found at the two points.
    std::array<std::vector<double>, 2> readings;
    std::optional<double> thirdTarget;
    std::vector<double> thirdReadings;
    std::array<std::vector<double>, 2> foundReadings;
    calc::SetUp budget;                        // referenceU left 0: it is `uncertainty`
    std::array<bool, checkFieldCount> typed{}; // holds more than blanks
    std::array<bool, checkFieldCount> wrong{}; // typed and no number, or no code
    // Set when an entry that is a number holds the separator the locale does not use.
    std::optional<calc::SeparatorPair> foreignSeparator;
    std::array<bool, checkFieldCount> foreign{}; // which entries hold it

    bool anyWrong() const;
    // Current codes other than the neutral 2710 0000: the codes to write are composed.
    bool composed() const;
    // The readings at the targets of `entries` (target 1, target 2, indicated 1, indicated 2),
    // then the third point's, each when it is there; a target read several times once for
    // each reading.
    std::vector<calc::VerificationReading> verification(const std::array<double, 4>& entries) const;
    // The readings as found at the two calibration points: each indicated entry, then the
    // further ones.
    std::vector<calc::PointReadings> asFound(const std::array<double, 4>& entries) const;
    // The set-up of every point's budget, once the reference's U is there.
    std::optional<calc::SetUp> setUp() const;
    // Why the readings cannot be judged yet: a third point with only one of its two numbers,
    // or a reading given while an as-left reading is missing. None when they can.
    records::Refusal incomplete() const;
    // The first entry that holds the separator the locale does not use, as a record's refusal
    // (a record would keep another number than the one meant); none when no entry does.
    records::Refusal foreignRefusal(const CheckTexts& texts) const;
    // The verdict can be given: a tolerance, U, and both as-left readings with nothing
    // incomplete.
    bool judgeable() const;
};

// Reads the texts with the entry conversion of every window; the codes as four hexadecimal
// digits.
CheckEntries readCheckEntries(const CheckTexts& texts, const calc::Separators& separators);

} // namespace quarvet::adjust
