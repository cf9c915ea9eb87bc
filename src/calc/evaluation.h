#pragma once

#include "adjustment.h"
#include "conformity.h"
#include "outcome.h"
#include "uncertainty.h"

#include <optional>
#include <span>
#include <vector>

// A calibration's results judged as found and as left: at each point the readings taken
// there, their mean, its error, the budget of that result and the verdict by the rule chosen.
// The window, the commands and the records all take their verdicts from here. Plain C++.
namespace quarvet::calc {

// The readings taken at one target, in the order they were taken.
struct PointReadings {
    double target = 0.0;
    std::vector<double> readings;
};

struct PointResult {
    double target = 0.0;
    std::vector<double> readings;
    Budget budget;      // its mean is the reading used
    double error = 0.0; // mean − target
    Verdict verdict = Verdict::NotJudged;
    ScopeMark scope = ScopeMark::NoScope; // budget.U is the CMC where Raised
};

enum class EvaluationFault { None, Budget, ToleranceNotPositive, NotFinite };

struct Evaluation {
    EvaluationFault fault = EvaluationFault::None;
    BudgetFault budgetFault = BudgetFault::None; // which, when a budget failed
    DecisionRule rule = DecisionRule::Guarded;
    std::vector<PointResult> asFound;
    std::vector<PointResult> asLeft;
    // The verdicts, or why there are none: no tolerance; as left, no readings either.
    Outcome asFoundOutcome;
    Outcome asLeftOutcome;

    bool ok() const { return fault == EvaluationFault::None; }
};

// Verification readings gathered by target, in the order each target first appears: a
// target read twice has two readings there.
std::vector<PointReadings> readingsByTarget(std::span<const VerificationReading> readings);

// The budget of every point under `setUp`, its U raised to the scope's CMC where smaller (the
// verdict uses the U reported), and with a tolerance, each point judged with its
// own U by judgePoint, and the outcomes as found and as left by outcomeOf.
Evaluation evaluate(const SetUp& setUp, std::span<const PointReadings> asFound,
                    std::span<const PointReadings> asLeft, std::optional<double> tolerance,
                    DecisionRule rule);

// The targets of the results, as found and as left, that lie outside the laboratory's scope,
// each once, in the order they were read.
std::vector<double> outsideScope(const Evaluation& evaluation);

} // namespace quarvet::calc
