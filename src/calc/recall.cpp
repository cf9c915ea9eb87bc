#include "recall.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quarvet::calc {

namespace {

std::optional<double> wholeNumber(std::string_view text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string shortest(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return {buffer, result.ptr};
}

} // namespace

std::optional<IntervalFactors> readIntervalFactors(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto up = wholeNumber(text.substr(0, colon));
    const auto down = wholeNumber(text.substr(colon + 1));
    // An interval that grows after a failure, or shrinks after a pass, steps the wrong way.
    if (!up || !down || *up < 1.0 || *up > 4.0 || !(*down > 0.0) || *down > 1.0)
        return std::nullopt;
    return IntervalFactors{*up, *down};
}

std::string intervalFactorsText(const IntervalFactors& factors)
{
    return shortest(factors.up) + ":" + shortest(factors.down);
}

IntervalSuggestion nextInterval(int current, std::optional<Verdict> found,
                                const IntervalFactors& factors)
{
    IntervalSuggestion suggestion{current, IntervalStep::NoVerdict};
    if (!found || *found == Verdict::NotJudged)
        return suggestion;
    double factor = 1.0;
    switch (*found) {
    case Verdict::Pass:
        factor = factors.up;
        suggestion.step = IntervalStep::Lengthened;
        break;
    case Verdict::ConditionalPass:
        suggestion.step = IntervalStep::Kept;
        break;
    default:
        factor = factors.down;
        suggestion.step = IntervalStep::Shortened;
        break;
    }
    long stepped = std::lround(static_cast<double>(current) * factor);
    // A step is at least a month where its factor moves at all: 1 month × 1.25 rounds to 1,
    // and an interval that never lengthens would never learn.
    if (factor > 1.0)
        stepped = std::max<long>(stepped, current + 1L);
    if (factor < 1.0)
        stepped = std::min<long>(stepped, current - 1L);
    suggestion.months =
        static_cast<int>(std::clamp<long>(stepped, shortestInterval, longestInterval));
    return suggestion;
}

std::optional<DriftLine> fitDrift(std::span<const DriftPoint> points)
{
    const std::size_t n = points.size();
    if (n < 3)
        return std::nullopt;
    double meanYears = 0.0;
    double meanError = 0.0;
    for (const DriftPoint& point : points) {
        meanYears += point.years;
        meanError += point.error;
    }
    meanYears /= static_cast<double>(n);
    meanError /= static_cast<double>(n);
    double sxx = 0.0;
    double sxy = 0.0;
    for (const DriftPoint& point : points) {
        sxx += (point.years - meanYears) * (point.years - meanYears);
        sxy += (point.years - meanYears) * (point.error - meanError);
    }
    if (!(sxx > 0.0) || !std::isfinite(sxx) || !std::isfinite(sxy))
        return std::nullopt;
    DriftLine line;
    line.count = static_cast<int>(n);
    line.perYear = sxy / sxx;
    line.intercept = meanError - line.perYear * meanYears;
    double residuals = 0.0;
    for (const DriftPoint& point : points) {
        const double off = point.error - (line.intercept + line.perYear * point.years);
        residuals += off * off;
    }
    line.u = std::sqrt(residuals / static_cast<double>(n - 2) / sxx);
    return line;
}

} // namespace quarvet::calc
