#pragma once

#include "conformity.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What a calibration's results come to: a verdict, or why there is none. Every face (the
// window, the command line, the record, the certificate) takes it from outcomeOf, words it
// with outcomeText and, on the command line, exits with its status. Plain C++.
namespace quarvet::calc {

// Why a result carries no verdict.
enum class Absence {
    NotVerified,  // no reading was taken after the adjustment
    NoTolerance,  // readings, but no tolerance to judge them by
    Incomplete,   // a point was read and another not: a verdict would say more than was measured
    NotEvaluated, // a record kept before results had uncertainty budgets
};

struct Outcome {
    std::optional<Verdict> verdict;
    Absence absence = Absence::NotVerified; // only without a verdict
    std::size_t point = 0;                  // the incomplete point, from 1

    static Outcome incompleteAt(std::size_t point)
    {
        return {std::nullopt, Absence::Incomplete, point};
    }
    static Outcome notEvaluated() { return {std::nullopt, Absence::NotEvaluated, 0}; }
    bool operator==(const Outcome&) const = default;
};

// The first calibration point (1 or 2) without a reading while another point has one, or 0:
// a verification has a reading at every calibration point or none at all.
std::size_t pointWithoutReading(const std::array<bool, 2>& pointRead, bool anyReading);

// The outcome of the points read, each with its verdict where a tolerance judged it:
// incomplete at `incompletePoint` when not 0, not verified without points, not judged for want
// of a tolerance without one, and otherwise the worst of the points' verdicts (fail before
// conditional fail before not judged before conditional pass before pass).
Outcome outcomeOf(std::span<const Verdict> pointVerdicts, bool toleranceGiven,
                  std::size_t incompletePoint = 0);

// The verdict whose verdictText is `text`; none for any other text.
std::optional<Verdict> readVerdict(std::string_view text);

// A verdict ("Pass", ...), or what stands where there is none, in the same words on every
// face: "not verified", "not judged: no tolerance", "incomplete at point N", "not evaluated".
std::string outcomeText(const calc::Outcome& outcome);

} // namespace quarvet::calc
