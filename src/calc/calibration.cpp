#include "calibration.h"

#include "check.h"

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

CalcResult calibrate(double s1, double s2, double i1, double i2)
{
    CalcResult result;
    if (i1 == i2) {
        result.fault = CalcFault::EqualIndicatedValues;
        return result;
    }
    const double targetDifference = s2 - s1;
    const double indicatedDifference = i2 - i1;
    const double slope = targetDifference / indicatedDifference;
    // Two roundings, product then difference: built with -ffp-contract=off so that no
    // fused multiply-add changes the offset code.
    const double product = slope * i2;
    const double offset = s2 - product;
    // An overflow anywhere on the way gives an infinity or NaN that the range checks below
    // would misread: a slope of 0 from an infinite difference, or "too large" for a slope
    // of 1. No code may come from such a line.
    for (const double step : {targetDifference, indicatedDifference, slope, product, offset}) {
        if (!std::isfinite(step)) {
            result.fault = CalcFault::NotFinite;
            return result;
        }
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
    result.slopeCode = coefficientCode(*slopeUnits);
    result.offsetCode = coefficientCode(*offsetUnits);
    return result;
}

CalcResult calibrateEntries(const CalcEntries& entries, const Separators& separators)
{
    struct Read {
        std::string_view label;
        std::string_view text;
        double value = 0.0;
    };
    Read reads[] = {{labelIndicated1, entries.indicated1},
                    {labelIndicated2, entries.indicated2},
                    {labelTarget1, entries.target1},
                    {labelTarget2, entries.target2}};
    for (Read& read : reads) {
        const EntryValue entry = ValConv(read.text, separators);
        if (!entry.isNumber()) {
            CalcResult result;
            result.fault = CalcFault::UnreadableEntry;
            result.unreadableLabel = read.label;
            return result;
        }
        read.value = entry.value;
    }
    return calibrate(reads[2].value, reads[3].value, reads[0].value, reads[1].value);
}

std::string describeFault(const CalcResult& result)
{
    switch (result.fault) {
    case CalcFault::None:
        return {};
    case CalcFault::EqualIndicatedValues:
        return "The two indicated values are equal, so no slope can be calculated.\r"
               "Please enter two different indicated values.";
    case CalcFault::SlopeOutOfRange:
        return "The slope is too large to be coded.\r"
               "It must lie between -214748.3648 and 214748.3647.";
    case CalcFault::OffsetOutOfRange:
        return "The offset is too large to be coded.\r"
               "It must lie between -2147483.648 and 2147483.647 \xC2\xB0"
               "C.";
    case CalcFault::NotFinite:
        return "The values are too large to be calculated with.\r"
               "Please check the entered values.";
    case CalcFault::UnreadableEntry:
        return std::string(result.unreadableLabel) + " cannot be read as a number.";
    }
    return {};
}

} // namespace quarvet::calc
