#pragma once

#include "calc/adjustment.h"
#include "calc/calibration.h"
#include "calc/check.h"
#include "calc/uncertainty.h"
#include "instrument/memorydecoder.h"
#include "records/refusal.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

// Every sentence the program says about entries, calculations and memory texts, composed
// from the typed results of calc/ and instrument/. The windows show them in message boxes,
// quarvet-cli on a terminal; both take them from here.
namespace quarvet::messages {

// Message texts break lines with a carriage return, as the message boxes want them; the
// command line maps it with forTerminal() or oneLine().
inline constexpr char lineBreak = '\r';

// "Target temperature 1", ...
std::string_view fieldLabel(calc::EntryField field);

// The report of wrong entries: header, empty line, one label a line; empty for no field.
std::string wrongEntriesReport(std::span<const calc::EntryField> fields);
// The same report for entries named by their labels ("Target temperature 3", "Tolerance").
std::string wrongEntriesReport(std::span<const std::string> labels);

// Labels of numbered entries beyond the main window's four.
std::string targetLabel(std::size_t number);
std::string indicatedLabel(std::size_t number);
std::string readingLabel(std::size_t number);

// A coverage factor as people read it: three significant figures ("2.00", "4.53", "14.0");
// JSON keeps it exact.
std::string coverageFactorText(double k);
// An expanded uncertainty as reported, to its two significant figures: "0.030", "1.4", "14".
std::string expandedUncertaintyText(double U);
// A measured result (a mean, an error) written to the decimal place of the last significant
// figure of its U as reported: 0.5033 with U 0.017 is 0.503, with U 1.4 it is 0.5. Four
// decimals where U is 0 or no number; shortest where the value is no number or a million and
// more.
std::string roundedToUncertainty(double value, double U);
// A number to `figures` significant figures, as printf's %g writes it ("0.0104", "795").
std::string significantText(double value, int figures);
// Why a budget could not be made.
std::string budgetFault(calc::BudgetFault fault);
// Why a verification says "Not judged".
std::string notJudgedReason();
// What is said beside simple acceptance where U is above a quarter of the tolerance.
std::string simpleAcceptanceRisk(double largestU, double tolerance);
// "the slope does not fit its code: the instrument will apply A, not L", or the offset's, in
// °C: what a code that wraps makes the instrument do.
std::string codeWrap(bool offset, double applied, double line);

// A sentence naming why a verification could not be judged.
std::string verificationFault(calc::VerificationFault fault);

// The same on one line: "Following Inputs are wrong: Target temperature 1, ...".
std::string wrongEntriesLine(std::span<const calc::EntryField> fields);

// The three-line warning about an entry holding the separator the locale does not use.
std::string separatorWarning(const calc::SeparatorPair& pair);

// A number for a record typed with the separator the locale does not use: refused, since the
// record would keep another number than the one meant (0.1 read as 1 where ',' is decimal).
std::string foreignSeparatorInRecord(std::string_view label, std::string_view text,
                                     const calc::SeparatorPair& pair);
// The same of a number typed into the register of reference standards.
std::string foreignSeparatorInRegister(std::string_view label, std::string_view text,
                                       const calc::SeparatorPair& pair);
// The same for a number a verdict or a budget is worked out from (verify, budget): refused, as
// the program's own judgement, where the calculator only warns.
std::string foreignSeparatorInJudgement(std::string_view label, std::string_view text,
                                        const calc::SeparatorPair& pair);

// A sentence naming why a calculation gave no codes; empty for none.
std::string calculationFault(calc::CalcFault fault);

// That the results at `targets` lie outside the laboratory's scope; empty for none.
std::string outsideScope(std::span<const double> targets);

// Why a pooled standard deviation "S:NU" is refused; empty when it reads.
std::string pooledFault(const calc::PooledReading& reading, std::string_view typed);

// Why the laboratory's scope, as typed or as kept, is refused; empty when it reads.
std::string scopeFault(const calc::ScopeReading& reading);

// A result's place against the laboratory's scope, as the certificate notes it at its row.
inline constexpr const char* cmcRaisedNote = "U raised to the laboratory's CMC";
inline constexpr const char* outsideScopeNote =
    "results marked * are outside the laboratory's scope of accreditation";

// A sentence about a memory text that did not decode; characters quoted from the text are
// made printable.
std::string decodeFault(const instrument::DisplayCodes& codes);

// The sentence naming why something cannot become a calibration record: the field and what
// is wrong with it, as the adjustment window and `quarvet-cli records add` say it.
std::string recordRefusal(const records::Refusal& refusal);

// A message with its line breaks as a terminal wants them.
std::string forTerminal(std::string_view text);
// A message on one line, its lines joined by blanks.
std::string oneLine(std::string_view text);

} // namespace quarvet::messages
