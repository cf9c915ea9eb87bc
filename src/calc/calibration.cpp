#include "calibration.h"

#include <cmath>
#include <limits>

namespace quarvet::calc {

std::string coefficientCode(std::int32_t n)
{
    // By hand rather than through snprintf: the command line writes millions of these.
    constexpr char hexDigits[] = "0123456789ABCDEF";
    const std::uint32_t low = static_cast<std::uint32_t>(n) & 0xFFFFu;
    const char digits[4] = {hexDigits[low >> 12], hexDigits[(low >> 8) & 0xF],
                            hexDigits[(low >> 4) & 0xF], hexDigits[low & 0xF]};
    return std::string(digits, 4);
}

std::optional<std::int32_t> scaledFloor(double value, int scale)
{
    const double product = std::floor(value * scale);
    // Written so that NaN fails both comparisons and is refused too.
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (!(product >= lowest && product <= highest))
        return std::nullopt;
    return static_cast<std::int32_t>(product);
}

CalcResult calibrate(double target1, double target2, double indicated1, double indicated2)
{
    CalcResult result;
    if (indicated1 == indicated2) {
        result.fault = CalcFault::EqualIndicatedValues;
        return result;
    }
    const double targetDifference = target2 - target1;
    const double indicatedDifference = indicated2 - indicated1;
    const double slope = targetDifference / indicatedDifference;
    // Two roundings, product then difference: built with -ffp-contract=off so that no
    // fused multiply-add changes the offset code.
    const double product = slope * indicated2;
    const double offset = target2 - product;
    // An overflow anywhere on the way gives an infinity or NaN that the range checks below
    // would misread: a slope of 0 from an infinite difference, or "too large" for a slope
    // of 1. No code may come from such a line.
    for (const double step : {targetDifference, indicatedDifference, product}) {
        if (!std::isfinite(step)) {
            result.fault = CalcFault::NotFinite;
            return result;
        }
    }
    return codesOfLine(slope, offset);
}

CalcResult codesOfLine(double slope, double offset)
{
    CalcResult result;
    if (!std::isfinite(slope) || !std::isfinite(offset)) {
        result.fault = CalcFault::NotFinite;
        return result;
    }
    const auto slopeUnits = scaledFloor(slope, slopeScale);
    if (!slopeUnits) {
        result.fault = CalcFault::SlopeOutOfRange;
        return result;
    }
    const auto offsetUnits = scaledFloor(offset, offsetScale);
    if (!offsetUnits) {
        result.fault = CalcFault::OffsetOutOfRange;
        return result;
    }
    result.slope = slope;
    result.offset = offset;
    result.slopeUnits = *slopeUnits;
    result.offsetUnits = *offsetUnits;
    result.slopeCode = coefficientCode(*slopeUnits);
    result.offsetCode = coefficientCode(*offsetUnits);
    return result;
}

} // namespace quarvet::calc
