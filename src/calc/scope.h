#pragma once

#include "entry.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The laboratory's scope of accreditation: ranges of temperature, each with its calibration
// and measurement capability (CMC), the smallest expanded uncertainty it may report there.
// Plain C++.
namespace quarvet::calc {

struct CmcRange {
    double low = 0.0;  // °C
    double high = 0.0; // °C, above low
    double U = 0.0;    // the expanded CMC at k = 2, °C, above 0
    bool operator==(const CmcRange&) const = default;
};

enum class ScopeFault {
    None,
    NotARange,        // no "LOW..HIGH=U"
    NotANumber,       // a bound or the CMC
    ForeignSeparator, // a number holds the other separator (`foreign`, meant as `correct`)
    Backwards,        // HIGH not above LOW
    CmcNotAbove0,     // the CMC 0, -0 or below
    Overlapping,      // two ranges share more than a bound
    NotAsKept,        // the kept text does not read back
};

struct ScopeReading {
    ScopeFault fault = ScopeFault::None;
    std::string what; // the range the fault is in, as typed
    std::string foreign;
    std::string correct;
    std::vector<CmcRange> ranges;

    bool ok() const { return fault == ScopeFault::None; }
};

// Ranges as typed, "LOW..HIGH=U" each, numbers read the way the entries are: every fault
// named with the range it is in; ranges that share more than a bound refused. Sorted by their
// lower bound.
ScopeReading readScope(std::span<const std::string> typed, const Separators& separators);

// The scope as it is kept ("LOW..HIGH=U" with a point as decimal separator, "; " between
// ranges, shortest texts that read back exactly) and back; "" is no scope.
std::string scopeText(std::span<const CmcRange> ranges);
ScopeReading readKeptScope(std::string_view kept);

// The CMC at `temperature`: that of the range holding it, the larger of two where it is their
// shared bound; none outside every range.
std::optional<double> cmcAt(std::span<const CmcRange> ranges, double temperature);

// Where a result stands against the scope when it was evaluated.
enum class ScopeMark {
    NoScope, // the laboratory had no scope
    Within,  // U as evaluated, no smaller than the CMC there
    Raised,  // U raised to the CMC, the budget's being smaller
    Outside, // outside every range: not covered by the accreditation
};

} // namespace quarvet::calc
