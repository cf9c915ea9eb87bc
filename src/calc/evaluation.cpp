#include "evaluation.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quarvet::calc {
namespace {

// Where the result stands against the laboratory's scope; a U smaller than the CMC there is
// not what the laboratory may claim, so the CMC is reported in its place.
ScopeMark placed(std::span<const CmcRange> scope, double target, Budget& budget)
{
    if (scope.empty())
        return ScopeMark::NoScope;
    const std::optional<double> cmc = cmcAt(scope, target);
    if (!cmc)
        return ScopeMark::Outside;
    if (budget.U >= *cmc)
        return ScopeMark::Within;
    budget.U = *cmc;
    return ScopeMark::Raised;
}

// Each point's budget and error; false, with the fault set, when one cannot be had.
bool resultsOf(const SetUp& setUp, std::span<const PointReadings> points,
               std::vector<PointResult>& results, Evaluation& evaluation)
{
    for (const PointReadings& point : points) {
        PointResult result{point.target, point.readings, budgetOf(setUp, point.readings)};
        if (!result.budget.ok()) {
            evaluation.fault = EvaluationFault::Budget;
            evaluation.budgetFault = result.budget.fault;
            return false;
        }
        result.error = result.budget.mean - point.target;
        if (!std::isfinite(point.target) || !std::isfinite(result.error)) {
            evaluation.fault = EvaluationFault::NotFinite;
            return false;
        }
        result.scope = placed(setUp.scope, point.target, result.budget);
        results.push_back(std::move(result));
    }
    return true;
}

// Each point judged by the rule where there is a tolerance, and what they come to.
Outcome judged(std::vector<PointResult>& results, std::optional<double> tolerance,
               DecisionRule rule)
{
    std::vector<Verdict> verdicts;
    for (PointResult& result : results) {
        if (tolerance)
            result.verdict = judgePoint(result.error, *tolerance, result.budget.U, rule);
        verdicts.push_back(result.verdict);
    }
    return outcomeOf(verdicts, tolerance.has_value());
}

} // namespace

std::vector<PointReadings> readingsByTarget(std::span<const VerificationReading> readings)
{
    // Found by target in a map: a command line may give a hundred thousand of them.
    std::vector<PointReadings> points;
    std::map<double, std::size_t> where;
    for (const VerificationReading& reading : readings) {
        const auto [at, added] = where.try_emplace(reading.target, points.size());
        if (added)
            points.push_back({reading.target, {}});
        points[at->second].readings.push_back(reading.reading);
    }
    return points;
}

Evaluation evaluate(const SetUp& setUp, std::span<const PointReadings> asFound,
                    std::span<const PointReadings> asLeft, std::optional<double> tolerance,
                    DecisionRule rule)
{
    Evaluation evaluation;
    evaluation.rule = rule;
    if (tolerance && !(*tolerance > 0.0)) {
        evaluation.fault = EvaluationFault::ToleranceNotPositive;
        return evaluation;
    }
    if (tolerance && !std::isfinite(*tolerance)) {
        evaluation.fault = EvaluationFault::NotFinite;
        return evaluation;
    }
    if (!resultsOf(setUp, asFound, evaluation.asFound, evaluation) ||
        !resultsOf(setUp, asLeft, evaluation.asLeft, evaluation))
        return evaluation;
    evaluation.asFoundOutcome = judged(evaluation.asFound, tolerance, rule);
    evaluation.asLeftOutcome = judged(evaluation.asLeft, tolerance, rule);
    return evaluation;
}

std::vector<double> outsideScope(const Evaluation& evaluation)
{
    std::vector<double> targets;
    for (const std::vector<PointResult>* results : {&evaluation.asFound, &evaluation.asLeft})
        for (const PointResult& result : *results)
            if (result.scope == ScopeMark::Outside &&
                std::find(targets.begin(), targets.end(), result.target) == targets.end())
                targets.push_back(result.target);
    return targets;
}

} // namespace quarvet::calc
