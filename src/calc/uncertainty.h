#pragma once

#include "scope.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The expanded uncertainty of the result at one calibration point, after the GUM: the
// standard uncertainties of the set-up and of the readings combined, the effective degrees of
// freedom, the coverage factor for 95.45 % and the expanded uncertainty reported. Plain C++.
namespace quarvet::calc {

// What describes the set-up rather than one point; inputs as the lab states them, in °C.
// A standard deviation of single readings from the laboratory's earlier evaluation of its
// process (GUM 4.2.4), with its degrees of freedom: the Type A term of a point read once.
struct PooledRepeatability {
    double s = 0.0;
    double nu = 0.0;
    bool operator==(const PooledRepeatability&) const = default;
};

enum class PooledFault {
    None,
    NotAPair,         // no "S:NU"
    NotANumber,       // S or NU
    ForeignSeparator, // a number holds the other separator (`foreign`, meant as `correct`)
    NotValid,         // S not above 0, or NU below 1
};

struct PooledReading {
    PooledFault fault = PooledFault::None;
    PooledRepeatability value;
    std::string foreign;
    std::string correct;

    bool ok() const { return fault == PooledFault::None; }
};

// "S:NU" as typed, the numbers read the way the entries are.
PooledReading readPooled(std::string_view typed, const Separators& separators);
// As it is kept: shortest texts that read back exactly, a point as decimal separator.
std::string pooledText(const PooledRepeatability& pooled);

struct SetUp {
    double referenceU = 0.0;  // the reference standard's expanded uncertainty
    double referenceK = 2.0;  // and its coverage factor
    double drift = 0.0;       // ± a of the reference since its calibration
    double resolution = 0.01; // the instrument's display resolution r
    double uniformity = 0.0;  // ± a of the bath or medium
    double stability = 0.0;   // ± a
    // The laboratory's scope: a result's U is raised to the CMC where it is smaller.
    std::vector<CmcRange> scope;
    // Used at a point read once, which has no spread of its own; none: not evaluated there.
    std::optional<PooledRepeatability> pooled;
};

enum class Distribution { Normal, Rectangular, TypeA };

// The distribution's name as every face of a budget says it: "normal", "rectangular", "Type A".
const char* distributionName(Distribution distribution);

// One line of a budget. A Type B component has infinite degrees of freedom.
struct Component {
    std::string name;
    double input = 0.0; // as stated: U, ± a, r, or the readings' s
    Distribution distribution = Distribution::Normal;
    double divisor = 1.0;
    double u = 0.0;
    double nu = 0.0; // infinity for Type B
};

enum class BudgetFault {
    None,
    NoReadings,
    NotFinite,           // an input or a reading is no finite number
    Negative,            // an uncertainty, a half-width or the resolution below zero
    CoverageNotPositive, // the reference's k is not above zero
    TooLarge,            // the readings or uncertainties are so large that the budget overflows
    PooledNotValid,      // a pooled s not above 0, or its degrees of freedom below 1
};

struct Budget {
    BudgetFault fault = BudgetFault::None;
    int n = 0;
    double mean = 0.0;
    double s = 0.0; // the readings' standard deviation; 0 for one reading
    std::vector<Component> components;
    double uc = 0.0;
    double nuEff = 0.0; // infinity when every component is Type B
    double k = 0.0;
    double expanded = 0.0; // k · u_c
    double U = 0.0;        // as reported: rounded up to two significant figures

    bool ok() const { return fault == BudgetFault::None; }
    bool hasTypeA() const { return n >= 2; }
};

// The coverage probability the coverage factor is for: that of k = 2 for a normal
// distribution, erf(√2), so that k tends to exactly 2 as the degrees of freedom grow (0.9545
// gave 2.0000024).
inline constexpr double coverageProbability = 0.95449973610364158;

// Student's t quantile for the coverage probability at `nu` degrees of freedom; exactly 2 for
// infinite ones.
double coverageFactor(double nu);

// The mean of readings as every budget takes it: the first plus the mean of the others'
// differences from it, so that equal readings give that reading exactly; 0 for none.
double readingsMean(std::span<const double> readings);

// `value` rounded up to two significant figures (0.028133 → 0.029); a value that is already
// two figures, within the last bits of its binary form, stays as it is.
double roundUpToTwoFigures(double value);

// The budget of one point from the set-up and the readings taken there (their mean is the
// reading used; two or more give a Type A term).
Budget budgetOf(const SetUp& setUp, std::span<const double> readings);

} // namespace quarvet::calc
