#include "adjustment.h"

#include <cmath>

namespace quarvet::calc {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The least-squares line through (raw, target), sums taken left to right in input order.
CalcResult leastSquares(std::span<const double> raws, std::span<const ReferencePoint> points)
{
    const double count = static_cast<double>(points.size());
    double rawSum = 0.0;
    double targetSum = 0.0;
    for (std::size_t n = 0; n < points.size(); ++n) {
        rawSum += raws[n];
        targetSum += points[n].target;
    }
    const double rawMean = rawSum / count;
    const double targetMean = targetSum / count;
    double products = 0.0;
    double squares = 0.0;
    for (std::size_t n = 0; n < points.size(); ++n) {
        const double rawDeviation = raws[n] - rawMean;
        products += rawDeviation * (points[n].target - targetMean);
        squares += rawDeviation * rawDeviation;
    }
    const double slope = products / squares;
    const double product = slope * rawMean;
    if (!std::isfinite(product)) {
        CalcResult result;
        result.fault = CalcFault::NotFinite;
        return result;
    }
    return codesOfLine(slope, targetMean - product);
}

bool allEqual(std::span<const double> values)
{
    for (const double value : values)
        if (value != values.front())
            return false;
    return true;
}

// Applied coefficients and what the instrument will read at each point.
void predict(Adjustment& adjustment, std::span<const double> raws,
             std::span<const ReferencePoint> points)
{
    const auto slopeCode = readCoefficientCode(adjustment.line.slopeCode);
    const auto offsetCode = readCoefficientCode(adjustment.line.offsetCode);
    adjustment.appliedSlope = slopeOfCode(*slopeCode);
    adjustment.appliedOffset = offsetOfCode(*offsetCode);
    adjustment.slopeWraps = wraps(adjustment.line.slope, slopeScale);
    adjustment.offsetWraps = wraps(adjustment.line.offset, offsetScale);
    for (std::size_t n = 0; n < points.size(); ++n) {
        const double product = adjustment.appliedSlope * raws[n];
        const double asLeft = product + adjustment.appliedOffset;
        const double error = asLeft - points[n].target;
        adjustment.points.push_back(
            {points[n].target, points[n].indicated, raws[n], asLeft, error});
        adjustment.largestError = std::fmax(adjustment.largestError, std::fabs(error));
    }
}

} // namespace

std::optional<std::int16_t> readCoefficientCode(std::string_view text)
{
    if (text.size() != 4)
        return std::nullopt;
    unsigned bits = 0;
    for (const char c : text) {
        const int digit = hexValue(c);
        if (digit < 0)
            return std::nullopt;
        bits = bits << 4 | static_cast<unsigned>(digit);
    }
    return static_cast<std::int16_t>(bits >= 0x8000u ? static_cast<int>(bits) - 0x10000
                                                     : static_cast<int>(bits));
}

double slopeOfCode(std::int16_t code)
{
    return code / static_cast<double>(slopeScale);
}

double offsetOfCode(std::int16_t code)
{
    return code / static_cast<double>(offsetScale);
}

bool wraps(double value, int scale)
{
    const double units = std::floor(value * scale);
    return units < -32768.0 || units > 32767.0;
}

Adjustment adjust(std::span<const ReferencePoint> points, const Coefficients& current)
{
    Adjustment adjustment;
    const double currentSlope = slopeOfCode(current.slopeCode);
    const double currentOffset = offsetOfCode(current.offsetCode);
    if (currentSlope == 0.0) {
        adjustment.line.fault = CalcFault::CurrentSlopeZero;
        return adjustment;
    }
    std::vector<double> raws;
    bool finite = true;
    for (const ReferencePoint& point : points) {
        raws.push_back((point.indicated - currentOffset) / currentSlope);
        finite = finite && std::isfinite(raws.back());
    }
    // Raw readings beyond a double are "too large", not "equal" when both overflow.
    if (!finite) {
        adjustment.line.fault = CalcFault::NotFinite;
        return adjustment;
    }
    if (points.size() < 2 || allEqual(raws)) {
        adjustment.line.fault =
            points.size() > 2 ? CalcFault::AllIndicatedEqual : CalcFault::EqualIndicatedValues;
        return adjustment;
    }
    adjustment.line = points.size() == 2
                          ? calibrate(points[0].target, points[1].target, raws[0], raws[1])
                          : leastSquares(raws, points);
    if (adjustment.ok())
        predict(adjustment, raws, points);
    // Raw readings near the range of a double make predictions beyond it: no line to trust.
    if (adjustment.ok() && !std::isfinite(adjustment.largestError)) {
        adjustment = Adjustment{};
        adjustment.line.fault = CalcFault::NotFinite;
    }
    return adjustment;
}

Verification verify(std::span<const VerificationReading> readings, double tolerance,
                    double uncertainty, DecisionRule rule)
{
    Verification verification;
    verification.rule = rule;
    verification.tolerance = tolerance;
    verification.uncertainty = uncertainty + 0.0; // -0 is no guard band, and says so
    if (!(tolerance > 0.0))
        verification.fault = VerificationFault::ToleranceNotPositive;
    else if (!(uncertainty >= 0.0))
        verification.fault = VerificationFault::UncertaintyNegative;
    if (!verification.ok())
        return verification;
    std::vector<Verdict> verdicts;
    for (const VerificationReading& reading : readings) {
        const double error = reading.reading - reading.target;
        if (!std::isfinite(error) || !std::isfinite(tolerance - uncertainty)) {
            verification.fault = VerificationFault::NotFinite;
            verification.points.clear();
            return verification;
        }
        const Verdict verdict = judgePoint(error, tolerance, uncertainty, rule);
        verification.points.push_back(
            {reading.target, reading.reading, error, passes(verdict), verdict});
        verdicts.push_back(verdict);
    }
    verification.outcome = outcomeOf(verdicts, true);
    verification.pass = verification.outcome.verdict && passes(*verification.outcome.verdict);
    return verification;
}

} // namespace quarvet::calc
