#include "uncertainty.h"

#include "check.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace quarvet::calc {

double readingsMean(std::span<const double> readings)
{
    if (readings.empty())
        return 0.0;
    const double first = readings.front();
    double sum = 0.0;
    for (const double reading : readings)
        sum += reading - first;
    return first + sum / static_cast<double>(readings.size());
}

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();

BudgetFault faultOf(const SetUp& setUp, std::span<const double> readings)
{
    if (readings.empty())
        return BudgetFault::NoReadings;
    const double inputs[] = {setUp.referenceU, setUp.referenceK, setUp.drift,
                             setUp.resolution, setUp.uniformity, setUp.stability};
    const auto finite = [](double value) { return std::isfinite(value); };
    if (!std::all_of(std::begin(inputs), std::end(inputs), finite) ||
        !std::all_of(readings.begin(), readings.end(), finite))
        return BudgetFault::NotFinite;
    if (!(setUp.referenceK > 0.0))
        return BudgetFault::CoverageNotPositive;
    const double halfWidths[] = {setUp.referenceU, setUp.drift, setUp.resolution, setUp.uniformity,
                                 setUp.stability};
    if (std::any_of(std::begin(halfWidths), std::end(halfWidths),
                    [](double value) { return value < 0.0; }))
        return BudgetFault::Negative;
    if (setUp.pooled && !(std::isfinite(setUp.pooled->s) && setUp.pooled->s > 0.0 &&
                          std::isfinite(setUp.pooled->nu) && setUp.pooled->nu >= 1.0))
        return BudgetFault::PooledNotValid;
    return BudgetFault::None;
}

// Mean and standard deviation in two passes: readings agree to many digits, and a running
// sum of squares would lose them. Both are taken of each reading's difference from the first,
// so that readings that are all the same give that reading as the mean and s = 0 exactly: a
// sum of 0.1 three times is not 0.3, and left a deviation of 1e-17, a ν_eff of 1e61 and a k
// past 2.
void describe(std::span<const double> readings, Budget& budget)
{
    budget.n = static_cast<int>(readings.size());
    const double first = readings.front();
    budget.mean = readingsMean(readings);
    const double meanDifference = budget.mean - first;
    if (budget.n < 2)
        return;
    // Deviations divided by the largest, so that tiny ones do not vanish when squared.
    double largest = 0.0;
    for (const double reading : readings)
        largest = std::max(largest, std::fabs((reading - first) - meanDifference));
    double squares = 0.0;
    for (const double reading : readings)
        if (largest > 0.0) {
            const double deviation = ((reading - first) - meanDifference) / largest;
            squares += deviation * deviation;
        }
    budget.s = largest * std::sqrt(squares / (budget.n - 1));
}

Component rectangular(std::string name, double halfWidth)
{
    const double divisor = std::sqrt(3.0);
    return {std::move(name), halfWidth,           Distribution::Rectangular,
            divisor,         halfWidth / divisor, infinite};
}

// The set-up's components: the reference and the resolution always, the others when stated.
std::vector<Component> typeB(const SetUp& setUp)
{
    std::vector<Component> components;
    components.push_back({"reference standard", setUp.referenceU, Distribution::Normal,
                          setUp.referenceK, setUp.referenceU / setUp.referenceK, infinite});
    if (setUp.drift > 0.0)
        components.push_back(rectangular("drift of the reference", setUp.drift));
    // The display rounds to its last digit: a reading lies within ± r/2 of the value.
    Component resolution = rectangular("resolution", setUp.resolution);
    resolution.u = (setUp.resolution / 2.0) / resolution.divisor;
    resolution.divisor *= 2.0;
    components.push_back(resolution);
    if (setUp.uniformity > 0.0)
        components.push_back(rectangular("uniformity", setUp.uniformity));
    if (setUp.stability > 0.0)
        components.push_back(rectangular("stability", setUp.stability));
    return components;
}

// Sums are taken of each u divided by the largest, so that neither squares nor fourth powers
// leave the range of a double, however large or small the uncertainties.
void combine(Budget& budget)
{
    double largest = 0.0;
    for (const Component& component : budget.components)
        largest = std::max(largest, component.u);
    double squares = 0.0;
    for (const Component& component : budget.components)
        squares += largest > 0.0 ? (component.u / largest) * (component.u / largest) : 0.0;
    budget.uc = largest * std::sqrt(squares);
    // Welch–Satterthwaite, as nu_eff = 1 / sum((u_i / u_c)^4 / nu_i); Type B terms, of
    // infinite degrees of freedom, add nothing to the sum.
    double fourthsOverNu = 0.0;
    for (const Component& component : budget.components)
        if (std::isfinite(component.nu) && budget.uc > 0.0)
            fourthsOverNu += std::pow(component.u / budget.uc, 4) / component.nu;
    budget.nuEff = fourthsOverNu > 0.0 ? 1.0 / fourthsOverNu : infinite;
    budget.k = coverageFactor(budget.nuEff);
    budget.expanded = budget.k * budget.uc;
    budget.U = roundUpToTwoFigures(budget.expanded);
}

} // namespace

double coverageFactor(double nu)
{
    if (!std::isfinite(nu))
        return 2.0;
    // Errors as numbers, not exceptions: a degree of freedom no distribution has gives NaN,
    // which the budget refuses.
    using Policy = boost::math::policies::policy<
        boost::math::policies::domain_error<boost::math::policies::ignore_error>,
        boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
        boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;
    const boost::math::students_t_distribution<double, Policy> distribution(nu);
    return boost::math::quantile(distribution, (1.0 + coverageProbability) / 2.0);
}

double roundUpToTwoFigures(double value)
{
    if (!(value > 0.0) || !std::isfinite(value))
        return value;
    // In decimal, whatever the magnitude: ten significant digits, of which the first two are
    // kept and raised by one when any of the rest is not zero. Ten, not seventeen, so that
    // 0.029 (0.0289999... in binary) stays 0.029.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.9e", value);
    int figures = (digits[0] - '0') * 10 + (digits[2] - '0');
    int exponent = std::atoi(digits + 12) - 1;
    if (std::any_of(digits + 3, digits + 11, [](char c) { return c != '0'; }))
        ++figures;
    if (figures == 100) {
        figures = 10;
        ++exponent;
    }
    // The double nearest the decimal: correctly rounded by the C library.
    char decimal[32];
    std::snprintf(decimal, sizeof decimal, "%de%d", figures, exponent);
    return std::strtod(decimal, nullptr);
}

Budget budgetOf(const SetUp& setUp, std::span<const double> readings)
{
    Budget budget;
    budget.fault = faultOf(setUp, readings);
    if (!budget.ok())
        return budget;
    describe(readings, budget);
    budget.components = typeB(setUp);
    if (budget.hasTypeA())
        budget.components.push_back({"repeatability (Type A)", budget.s, Distribution::TypeA,
                                     std::sqrt(static_cast<double>(budget.n)),
                                     budget.s / std::sqrt(static_cast<double>(budget.n)),
                                     static_cast<double>(budget.n - 1)});
    else if (setUp.pooled)
        budget.components.push_back({"repeatability (pooled, Type A)", setUp.pooled->s,
                                     Distribution::TypeA, 1.0, setUp.pooled->s, setUp.pooled->nu});
    combine(budget);
    // Numbers so large that their mean, spread or U overflows: no budget to report.
    if (!std::isfinite(budget.mean) || !std::isfinite(budget.s) ||
        !std::isfinite(budget.expanded) || !std::isfinite(budget.U))
        budget.fault = BudgetFault::TooLarge;
    return budget;
}

PooledReading readPooled(std::string_view typed, const Separators& separators)
{
    PooledReading reading;
    const std::size_t colon = typed.find(':');
    if (colon == std::string_view::npos) {
        reading.fault = PooledFault::NotAPair;
        return reading;
    }
    const std::string_view numbers[] = {typed.substr(0, colon), typed.substr(colon + 1)};
    if (const auto pair = probeSeparators(separators))
        for (const std::string_view number : numbers)
            if (holds(number, pair->foreign)) {
                reading.fault = PooledFault::ForeignSeparator;
                reading.foreign = pair->foreign;
                reading.correct = pair->correct;
                return reading;
            }
    const EntryReading s = readEntry(numbers[0], separators);
    const EntryReading nu = readEntry(numbers[1], separators);
    if (!s.isNumber() || !nu.isNumber())
        reading.fault = PooledFault::NotANumber;
    else if (!(s.value > 0.0) || !(nu.value >= 1.0))
        reading.fault = PooledFault::NotValid;
    else
        reading.value = {s.value, nu.value};
    return reading;
}

std::string pooledText(const PooledRepeatability& pooled)
{
    return shortestText(pooled.s) + ":" + shortestText(pooled.nu);
}

const char* distributionName(Distribution distribution)
{
    switch (distribution) {
    case Distribution::Rectangular:
        return "rectangular";
    case Distribution::TypeA:
        return "Type A";
    default:
        return "normal";
    }
}

} // namespace quarvet::calc
