#include "conformity.h"

#include "entry.h"

#include <algorithm>
#include <cmath>

namespace quarvet::calc {
namespace {

Verdict nonBinary(double magnitude, double limit, double U)
{
    if (magnitude + U <= limit)
        return Verdict::Pass;
    if (magnitude <= limit)
        return Verdict::ConditionalPass;
    if (magnitude - U <= limit)
        return Verdict::ConditionalFail;
    return Verdict::Fail;
}

} // namespace

Verdict judgePoint(double error, double tolerance, double U, DecisionRule rule)
{
    if (!std::isfinite(error) || !std::isfinite(U) || !(tolerance > 0.0) || U < 0.0)
        return Verdict::NotJudged;
    const double magnitude = std::fabs(error);
    // The allowance scales with the tolerance: an absolute one would pass a reading 10^10
    // times a tolerance of 1e-20.
    const double limit = tolerance + 1e-9 * tolerance;
    switch (rule) {
    case DecisionRule::Simple:
        return magnitude <= limit ? Verdict::Pass : Verdict::Fail;
    case DecisionRule::NonBinary:
        return nonBinary(magnitude, limit, U);
    default:
        // With U no smaller than T nothing can be shown to pass; a reading off by more than
        // T + U is a failure all the same, beyond doubt (ILAC G8's rejection zone).
        if (U >= tolerance)
            return magnitude - U > limit ? Verdict::Fail : Verdict::NotJudged;
        return magnitude <= (tolerance - U) + 1e-9 * tolerance ? Verdict::Pass : Verdict::Fail;
    }
}

bool passes(Verdict verdict)
{
    return verdict == Verdict::Pass || verdict == Verdict::ConditionalPass;
}

bool riskySimpleAcceptance(DecisionRule rule, double largestU, double tolerance)
{
    return rule == DecisionRule::Simple && tolerance > 0 && largestU > tolerance / 4;
}

std::string verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "Pass";
    case Verdict::ConditionalPass:
        return "Conditional pass";
    case Verdict::ConditionalFail:
        return "Conditional fail";
    case Verdict::Fail:
        return "Fail";
    default:
        return "Not judged";
    }
}

std::string ruleWord(DecisionRule rule)
{
    switch (rule) {
    case DecisionRule::Simple:
        return "simple";
    case DecisionRule::NonBinary:
        return "non-binary";
    default:
        return "guarded";
    }
}

bool readRule(const std::string& word, DecisionRule& rule)
{
    for (const DecisionRule candidate :
         {DecisionRule::Guarded, DecisionRule::Simple, DecisionRule::NonBinary})
        if (word == ruleWord(candidate)) {
            rule = candidate;
            return true;
        }
    return false;
}

std::string ruleStatement(double uncertainty)
{
    return "pass when |error| \u2264 tolerance \u2212 uncertainty (guard band = " +
           shortestText(uncertainty) + ")";
}

std::string ruleStatement(DecisionRule rule, std::optional<double> uncertainty)
{
    // A record judges each point with its own U, and keeps these words; verify has one U.
    const std::string U = uncertainty ? shortestText(*uncertainty) : std::string();
    switch (rule) {
    case DecisionRule::Simple:
        return "simple acceptance: pass when |error| \u2264 tolerance (guard band = 0; the risk "
               "of a wrong decision is shared)";
    case DecisionRule::NonBinary:
        return "non-binary: pass, conditional pass, conditional fail or fail from |error| \u00B1 "
               "U " +
               (uncertainty ? "against the tolerance (U = " + U + ")"
                            : std::string("of each point's result against the tolerance"));
    default:
        return "guarded acceptance: pass when |error| \u2264 tolerance \u2212 U " +
               (uncertainty
                    ? "(guard band w = U = " + U + ")"
                    : std::string("at each point (guard band w = U of that point's result)"));
    }
}

} // namespace quarvet::calc
