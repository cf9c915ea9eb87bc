#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
    NotFinite,         // a difference, the slope or the offset lies beyond the range of a double
    CurrentSlopeZero,  // readings taken under a slope code of 0 cannot be taken back
    AllIndicatedEqual, // three points or more, all with one raw reading
};

// Whether a code written from `units` fails to hold them: a code keeps the low 16 bits, so
// the instrument then applies codeHeld(units) instead.
constexpr bool codeWraps(std::int32_t units)
{
    return units < INT16_MIN || units > INT16_MAX;
}
constexpr std::int16_t codeHeld(std::int32_t units)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(units & 0xFFFF));
}

struct CalcResult {
    CalcFault fault = CalcFault::None;
    double slope = 0.0;
    double offset = 0.0;          // °C
    std::int32_t slopeUnits = 0;  // floor(slope * slopeScale), which the slope code holds
    std::int32_t offsetUnits = 0; // floor(offset * offsetScale), which the offset code holds
    std::string slopeCode;
    std::string offsetCode;

    bool ok() const { return fault == CalcFault::None; }
};

// The codes of a line found otherwise; a fault when a value is not finite or out of range.
CalcResult codesOfLine(double slope, double offset);

// The straight line target = slope * indicated + offset through (indicated1, target1) and
// (indicated2, target2), with the offset taken from the second point, and both as
// coefficient codes.
CalcResult calibrate(double target1, double target2, double indicated1, double indicated2);

} // namespace quarvet::calc
