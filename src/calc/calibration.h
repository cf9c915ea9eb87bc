#pragma once

#include "entry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvet::calc {

inline constexpr int slopeScale = 10000; // slope in units of 1/10000
inline constexpr int offsetScale = 1000; // offset in units of 1/1000 °C

// Four upper-case hexadecimal digits: the low 16 bits of n in two's complement.
std::string coefficientCode(std::int32_t n);

// floor(value * scale) when it fits in a signed 32-bit integer. The product is floored
// exactly as computed: 9999.999999 gives 9999.
std::optional<std::int32_t> scaledFloor(double value, int scale);

enum class CalcFault {
    None,
    EqualIndicatedValues,
    SlopeOutOfRange,
    OffsetOutOfRange,
    UnreadableEntry,
    NotFinite, // a difference, the slope or the offset lies beyond the range of a double
};

struct CalcResult {
    CalcFault fault = CalcFault::None;
    double slope = 0.0;
    double offset = 0.0; // °C
    std::string slopeCode;
    std::string offsetCode;
    std::string_view unreadableLabel; // which entry, for UnreadableEntry

    bool ok() const { return fault == CalcFault::None; }
};

// The straight line true = slope * indicated + offset through (i1, s1) and (i2, s2), with
// the offset taken from the second point, and both as coefficient codes.
CalcResult calibrate(double s1, double s2, double i1, double i2);

struct CalcEntries {
    std::string_view target1;
    std::string_view target2;
    std::string_view indicated1;
    std::string_view indicated2;
};

// Converts the four entries (indicated values first) and calibrates.
CalcResult calibrateEntries(const CalcEntries& entries, const Separators& separators);

// A sentence for the user naming the fault, lines broken with carriage returns.
std::string describeFault(const CalcResult& result);

} // namespace quarvet::calc
