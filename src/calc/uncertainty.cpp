#include "uncertainty.h"

#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarvet::calc {
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
    return BudgetFault::None;
}

// Mean and standard deviation in two passes: readings agree to many digits, and a running
// sum of squares would lose them.
void describe(std::span<const double> readings, Budget& budget)
{
    budget.n = static_cast<int>(readings.size());
    double sum = 0.0;
    for (const double reading : readings)
        sum += reading;
    budget.mean = sum / budget.n;
    if (budget.n < 2)
        return;
    double squares = 0.0;
    for (const double reading : readings)
        squares += (reading - budget.mean) * (reading - budget.mean);
    budget.s = std::sqrt(squares / (budget.n - 1));
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

void combine(Budget& budget)
{
    double squares = 0.0;
    double fourthsOverNu = 0.0;
    for (const Component& component : budget.components) {
        squares += component.u * component.u;
        if (std::isfinite(component.nu))
            fourthsOverNu += std::pow(component.u, 4) / component.nu;
    }
    budget.uc = std::sqrt(squares);
    // Welch–Satterthwaite; Type B terms, of infinite degrees of freedom, add nothing below.
    budget.nuEff = fourthsOverNu > 0.0 ? std::pow(budget.uc, 4) / fourthsOverNu : infinite;
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
    // Powers of ten up to 10^22 are exact: dividing by one rounds the result once, so 29
    // hundredths of a tenth is the double nearest 0.029.
    const int exponent = static_cast<int>(std::floor(std::log10(value))) - 1;
    const double power = std::pow(10.0, std::abs(exponent));
    const double figures = exponent < 0 ? value * power : value / power;
    // 0.029 is not quite 29 thousandths in binary: it stays 0.029.
    const double nearest = std::round(figures);
    const double kept =
        std::fabs(figures - nearest) <= 1e-9 * nearest ? nearest : std::ceil(figures);
    return exponent < 0 ? kept / power : kept * power;
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
    combine(budget);
    // Readings so far apart that their spread overflows: no budget to report.
    if (!std::isfinite(budget.expanded) || !std::isfinite(budget.U))
        budget.fault = BudgetFault::NotFinite;
    return budget;
}

} // namespace quarvet::calc
