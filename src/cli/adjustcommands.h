#pragma once

#include "options.h"
#include "run.h"

#include "calc/entry.h"
#include "calc/outcome.h"
#include "calc/uncertainty.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarvet::cli {

// check, fit and verify: what the codes will do, the least-squares line of several points, a
// verification with its decision rule. `args` follow the command's name. Exit codes as for
// calc; verify gives 3 when a reading fails.
int checkCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                 Output& io);
int fitCommand(const std::vector<std::string>& args, const calc::Separators& separators,
               ByteSource& in, Output& io);
int verifyCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                  Output& io);

// What an entry holding the separator the locale does not use gets: the calculator's warning
// (check, fit), or a refusal where the program judges by it (verify, budget).
enum class ForeignSeparator { Warn, Refuse };

// Reads labelled entries as calc reads them; false, with the report of the wrong ones (and
// the separator warning) on standard error, when one is none, or refused.
bool readLabelledNumbers(const std::vector<std::pair<std::string, std::string>>& labelled,
                         const calc::Separators& separators, std::vector<double>& values,
                         Output& io, ForeignSeparator foreignSeparator = ForeignSeparator::Warn);

// The options of an uncertainty budget's set-up (budget, check, fit), each with the field of
// the set-up it sets.
const std::map<std::string, double calc::SetUp::*>& setUpOptions();
// A reference's U of 0 (or -0, or below) would claim a perfect reference and let the
// resolution alone make U: refused, said, on every face that takes one.
bool referenceURefused(const calc::SetUp& setUp, Output& io);

inline constexpr int verificationFailed = 3;
// A verification that cannot be judged: the uncertainty is not smaller than the tolerance.
inline constexpr int verificationNotJudged = 5;

// The exit status of a verdict, for verify and records add alike: 0 for a pass or a
// conditional pass, and where there is no verdict (nothing verified, no tolerance); 3 for a
// fail or a conditional fail; 5 for not judged.
int exitOf(const calc::Outcome& outcome);

// The options of check and fit, of verify, and of budget.
const std::vector<OptionShape>& adjustmentOptions();
const std::vector<OptionShape>& verifyOptions();
const std::vector<OptionShape>& budgetOptions();

} // namespace quarvet::cli
