#include "scope.h"

#include "check.h"

#include <algorithm>
#include <cmath>

namespace quarvet::calc {
namespace {

ScopeReading faulty(ScopeFault fault, std::string_view what)
{
    return {fault, std::string(what), {}, {}, {}};
}

// One "LOW..HIGH=U"; the fault in `reading` when it is none.
std::optional<CmcRange> readRange(std::string_view typed, const Separators& separators,
                                  ScopeReading& reading)
{
    const std::size_t dots = typed.find("..");
    const std::size_t equals = typed.find('=');
    // "0...5" is not a range from 0 to .5: a bound next to the dots must have its digits.
    if (dots == std::string_view::npos || equals == std::string_view::npos || equals < dots ||
        typed.substr(dots + 2).starts_with('.')) {
        reading = faulty(ScopeFault::NotARange, typed);
        return std::nullopt;
    }
    const std::string_view numbers[] = {
        typed.substr(0, dots), typed.substr(dots + 2, equals - dots - 2), typed.substr(equals + 1)};
    // A scope is kept for good: "0.02" read as 2 where the comma is the decimal separator
    // would claim a capability a hundred times worse, or better, than meant.
    if (const auto pair = probeSeparators(separators))
        for (const std::string_view number : numbers)
            if (holds(number, pair->foreign)) {
                reading = faulty(ScopeFault::ForeignSeparator, typed);
                reading.foreign = pair->foreign;
                reading.correct = pair->correct;
                return std::nullopt;
            }
    const EntryReading low = readEntry(numbers[0], separators);
    const EntryReading high = readEntry(numbers[1], separators);
    const EntryReading cmc = readEntry(numbers[2], separators);
    if (!low.isNumber() || !high.isNumber() || !cmc.isNumber()) {
        reading = faulty(ScopeFault::NotANumber, typed);
        return std::nullopt;
    }
    if (!(high.value > low.value)) {
        reading = faulty(ScopeFault::Backwards, typed);
        return std::nullopt;
    }
    if (!(cmc.value > 0.0)) {
        reading = faulty(ScopeFault::CmcNotAbove0, typed);
        return std::nullopt;
    }
    return CmcRange{low.value, high.value, cmc.value};
}

std::string rangeText(const CmcRange& range)
{
    return shortestText(range.low) + ".." + shortestText(range.high) + "=" + shortestText(range.U);
}

} // namespace

ScopeReading readScope(std::span<const std::string> typed, const Separators& separators)
{
    ScopeReading reading;
    for (const std::string& range : typed) {
        const std::optional<CmcRange> read = readRange(range, separators, reading);
        if (!read)
            return reading;
        reading.ranges.push_back(*read);
    }
    std::sort(reading.ranges.begin(), reading.ranges.end(),
              [](const CmcRange& a, const CmcRange& b) { return a.low < b.low; });
    // Sorted by their lower bounds, two ranges overlap only where one begins before the one
    // ahead of it ends; sharing a bound is two ranges meeting.
    for (std::size_t n = 1; n < reading.ranges.size(); ++n)
        if (reading.ranges[n].low < reading.ranges[n - 1].high)
            return faulty(ScopeFault::Overlapping, rangeText(reading.ranges[n - 1]) + " and " +
                                                       rangeText(reading.ranges[n]));
    return reading;
}

std::string scopeText(std::span<const CmcRange> ranges)
{
    std::string text;
    for (const CmcRange& range : ranges)
        text += (text.empty() ? "" : "; ") + rangeText(range);
    return text;
}

ScopeReading readKeptScope(std::string_view kept)
{
    if (kept.empty())
        return {};
    std::vector<std::string> typed;
    for (std::size_t from = 0;;) {
        const std::size_t to = kept.find("; ", from);
        typed.emplace_back(kept.substr(from, to == std::string_view::npos ? to : to - from));
        if (to == std::string_view::npos)
            break;
        from = to + 2;
    }
    ScopeReading reading = readScope(typed, Separators{".", ""});
    // A kept scope is written by this program, in this one form: any other was not.
    if (!reading.ok() || scopeText(reading.ranges) != kept)
        return faulty(ScopeFault::NotAsKept, kept);
    return reading;
}

std::optional<double> cmcAt(std::span<const CmcRange> ranges, double temperature)
{
    std::optional<double> cmc;
    for (const CmcRange& range : ranges)
        if (temperature >= range.low && temperature <= range.high)
            cmc = std::max(cmc.value_or(0.0), range.U);
    return cmc;
}

} // namespace quarvet::calc
