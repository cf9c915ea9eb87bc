#pragma once

#include "conformity.h"
#include "outcome.h"

#include "calibration.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvet::calc {

// A coefficient code read back: four hexadecimal digits (either case) as a signed 16-bit
// number; nothing for any other text.
std::optional<std::int16_t> readCoefficientCode(std::string_view text);

// What a code makes the instrument apply: the slope n / 10000, the offset n / 1000 °C.
double slopeOfCode(std::int16_t code);
double offsetOfCode(std::int16_t code);

// The coefficients an instrument holds, as codes; neutral unless told otherwise.
struct Coefficients {
    std::int16_t slopeCode = slopeScale; // 2710: slope 1
    std::int16_t offsetCode = 0;
};

// One reference point: the target temperature and what the instrument indicated there.
struct ReferencePoint {
    double target;
    double indicated;
};

// What the new codes will make the instrument read at one point.
struct PointPrediction {
    double target;
    double indicated;
    double raw;    // the reading the instrument would give with neutral coefficients
    double asLeft; // the reading it will give with the new codes
    double error;  // asLeft - target
};

struct Adjustment {
    CalcResult line; // the new line and its codes; its fault when there are none
    double appliedSlope = 0.0;
    double appliedOffset = 0.0; // °C
    bool slopeWraps = false;    // the slope's code does not hold it: the instrument applies
    bool offsetWraps = false;   // appliedSlope (appliedOffset) instead
    std::vector<PointPrediction> points;
    double largestError = 0.0; // the largest |error|

    bool ok() const { return line.ok(); }
};

// A code written from floor(value * scale) does not hold that number when it lies outside
// the 16 bits of the code: the instrument applies the low 16 bits instead.
bool wraps(double value, int scale);

// The new codes for readings taken under `current` coefficients: each indicated value is
// taken back to the raw reading first. Two points give the two-point line of calibrate();
// more give the least-squares line. A current slope code of 0 is the fault
// CurrentSlopeZero. At least two points.
Adjustment adjust(std::span<const ReferencePoint> points, const Coefficients& current);

// One verification reading, taken after the codes were written.
struct VerificationReading {
    double target;
    double reading;
};

struct VerifiedPoint {
    double target;
    double reading;
    double error; // reading - target
    bool pass;    // Pass or Conditional pass
    Verdict verdict = Verdict::NotJudged;
};

enum class VerificationFault { None, ToleranceNotPositive, UncertaintyNegative, NotFinite };

struct Verification {
    VerificationFault fault = VerificationFault::None;
    double tolerance = 0.0;
    double uncertainty = 0.0; // expanded, of the reference; the guard band
    DecisionRule rule = DecisionRule::Guarded;
    std::vector<VerifiedPoint> points;
    Outcome outcome;   // the worst of the points' verdicts; not verified without any
    bool pass = false; // Pass or Conditional pass

    bool ok() const { return fault == VerificationFault::None; }
};

// Each reading judged by judgePoint with `uncertainty` as its result's U, under `rule`
// (guarded acceptance unless said: a point passes when |error| <= (tolerance - uncertainty)
// + 1e-9 * tolerance, the small allowance keeping a reading exactly on the limit from failing
// by rounding; nothing passes or fails when the uncertainty is not below the tolerance).
Verification verify(std::span<const VerificationReading> readings, double tolerance,
                    double uncertainty, DecisionRule rule = DecisionRule::Guarded);

} // namespace quarvet::calc
