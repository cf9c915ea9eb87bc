#pragma once

#include "conformity.h"

#include <optional>
#include <span>
#include <string>

// When an instrument is next calibrated: its interval stepped by what its last calibration
// found (the staircase method of ILAC G24 / OIML D 10), and how its error drifts over the
// years, from the errors it was found with. Plain C++.
namespace quarvet::calc {

// How far an interval steps: multiplied by `up` after a result found in tolerance, by `down`
// after one found out of it.
struct IntervalFactors {
    double up = 1.25;
    double down = 0.5;

    bool operator==(const IntervalFactors&) const = default;
};

// The shortest and the longest interval a step gives, in months.
inline constexpr int shortestInterval = 1;
inline constexpr int longestInterval = 120;

// Factors "UP:DOWN" as typed: up from 1 to 4, down above 0 and at most 1; none otherwise.
std::optional<IntervalFactors> readIntervalFactors(std::string_view text);
// And back, each in its shortest round-trip form.
std::string intervalFactorsText(const IntervalFactors& factors);

// Why an interval stepped as it did.
enum class IntervalStep {
    Lengthened, // found in tolerance: a pass
    Shortened,  // found out of tolerance: a fail or a conditional fail
    Kept,       // a conditional pass: in tolerance, but not with the confidence asked
    NoVerdict,  // not judged: nothing to step by
    Reviewed,   // a person reviewed the interval after the calibration: it steps once a calibration
};

struct IntervalSuggestion {
    int months = 0; // the interval suggested
    IntervalStep step = IntervalStep::NoVerdict;
};

// The interval that follows `current` months after a calibration found `found`: the current one
// times the step's factor, to the nearest whole month but a month at least where the factor is
// not 1, within shortestInterval and longestInterval. Without a verdict, the current one.
IntervalSuggestion nextInterval(int current, std::optional<Verdict> found,
                                const IntervalFactors& factors);

// An error found at a time, in years from any origin.
struct DriftPoint {
    double years = 0.0;
    double error = 0.0;
};

// The least-squares line through errors against time: its slope (°C a year), the slope's
// standard uncertainty from the scatter about the line (n − 2 degrees of freedom), and the
// error it reaches at the origin.
struct DriftLine {
    double perYear = 0.0;
    double u = 0.0;
    double intercept = 0.0;
    int count = 0;
};

// The line through `points`; none with fewer than three, or when they all stand at one time.
std::optional<DriftLine> fitDrift(std::span<const DriftPoint> points);

} // namespace quarvet::calc
