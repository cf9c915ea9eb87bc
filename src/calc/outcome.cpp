#include "outcome.h"

namespace quarvet::calc {
namespace {

// How bad a verdict is: the worst point decides.
int severity(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Fail:
        return 4;
    case Verdict::ConditionalFail:
        return 3;
    case Verdict::NotJudged:
        return 2;
    case Verdict::ConditionalPass:
        return 1;
    default:
        return 0;
    }
}

} // namespace

std::size_t pointWithoutReading(const std::array<bool, 2>& pointRead, bool anyReading)
{
    for (std::size_t n = 0; n < pointRead.size(); ++n)
        if (anyReading && !pointRead[n])
            return n + 1;
    return 0;
}

Outcome outcomeOf(std::span<const Verdict> pointVerdicts, bool toleranceGiven,
                  std::size_t incompletePoint)
{
    if (incompletePoint != 0)
        return Outcome::incompleteAt(incompletePoint);
    if (pointVerdicts.empty())
        return {std::nullopt, Absence::NotVerified, 0};
    if (!toleranceGiven)
        return {std::nullopt, Absence::NoTolerance, 0};
    Verdict worst = Verdict::Pass;
    for (const Verdict verdict : pointVerdicts)
        if (severity(verdict) > severity(worst))
            worst = verdict;
    return {worst};
}

std::optional<Verdict> readVerdict(std::string_view text)
{
    for (const Verdict verdict : {Verdict::Pass, Verdict::ConditionalPass, Verdict::ConditionalFail,
                                  Verdict::Fail, Verdict::NotJudged})
        if (verdictText(verdict) == text)
            return verdict;
    return std::nullopt;
}

std::string outcomeText(const Outcome& outcome)
{
    if (outcome.verdict)
        return verdictText(*outcome.verdict);
    switch (outcome.absence) {
    case Absence::NoTolerance:
        return "not judged: no tolerance";
    case Absence::Incomplete:
        return "incomplete at point " + std::to_string(outcome.point);
    case Absence::NotEvaluated:
        return "not evaluated";
    default:
        return "not verified";
    }
}

} // namespace quarvet::calc
