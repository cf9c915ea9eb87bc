#pragma once

#include <optional>
#include <string>

// Statements of conformity after ILAC G8: a point's error against the tolerance, taking the
// expanded uncertainty of that point's result into account by the rule chosen. Plain C++.
namespace quarvet::calc {

enum class DecisionRule {
    Guarded,   // guard band w = U: pass when |error| <= T - U
    Simple,    // w = 0: pass when |error| <= T; the risk is shared
    NonBinary, // pass, conditional pass, conditional fail or fail from |error| ± U against T
};

enum class Verdict { Pass, ConditionalPass, ConditionalFail, Fail, NotJudged };

// The verdict of one point. Each limit has an allowance of 1e-9 · T for decimal rounding, so
// a reading exactly on it is not turned away by the last bit. Under guarded acceptance a
// point whose U is not smaller than T cannot pass: it fails where |error| − U exceeds T, and is
// not judged otherwise.
Verdict judgePoint(double error, double tolerance, double U, DecisionRule rule);

// Whether a verdict lets the instrument be released as conforming: pass or conditional pass.
bool passes(Verdict verdict);

// Whether simple acceptance judges with a U above a quarter of the tolerance (a test
// uncertainty ratio below 4): a pass or a fail near the limit is then a risky decision, which
// the window and the certificate say beside the rule.
bool riskySimpleAcceptance(DecisionRule rule, double largestU, double tolerance);

// "Pass", "Conditional pass", "Conditional fail", "Fail", "Not judged".
std::string verdictText(Verdict verdict);
// "guarded", "simple", "non-binary"; and back (false for any other word).
std::string ruleWord(DecisionRule rule);
bool readRule(const std::string& word, DecisionRule& rule);

// The rule a record of an early release was judged by, as it kept it: the reference's U as
// the guard band.
std::string ruleStatement(double uncertainty);
// The rule's sentence, one wording for every face: with `uncertainty` the one U of every
// reading (verify); without, each point judged with the U of its own result (a record, the
// window), in the words a record keeps.
std::string ruleStatement(DecisionRule rule, std::optional<double> uncertainty = {});

} // namespace quarvet::calc
