#pragma once

#include "checkentries.h"

#include "calc/adjustment.h"
#include "calc/evaluation.h"
#include "calc/outcome.h"
#include "records/record.h"
#include "records/recordform.h"

#include <QString>

#include <array>
#include <optional>

namespace quarvet::adjust {

// The adjustment check without its window: the main window's measurement and the check's
// texts in; the codes predicted, each point's budget, the outcomes and the record's input out.
// The window shows what it holds and the record is made from the same, so that the two never
// differ.
class CheckModel {
public:
    // The main window's four entries at its last successful calculation, as read and as typed.
    void setMeasurement(const std::array<double, 4>& values, const std::array<QString, 4>& typed);
    const std::optional<std::array<double, 4>>& measurement() const { return measurement_; }
    const std::array<QString, 4>& typedEntries() const { return typedEntries_; }
    // What the laboratory's settings add to each budget, as the record will take it: the
    // scope against which U is held and the pooled repeatability of a point read once; none
    // until the store has been read, and where the laboratory has none.
    void setLabTerms(std::vector<calc::CmcRange> scope,
                     std::optional<calc::PooledRepeatability> pooled)
    {
        scope_ = std::move(scope);
        pooled_ = pooled;
    }

    // Reads the check's texts with the locale's separators, then predicts the codes and
    // evaluates the points under `rule`.
    void update(const CheckTexts& texts, const calc::Separators& separators,
                calc::DecisionRule rule);

    const CheckEntries& entries() const { return entries_; }
    // The codes for readings taken under the current ones, once both are there and read.
    const calc::Adjustment& adjustment() const { return adjustment_; }
    bool predicted() const { return measurement_ && entries_.current && adjustment_.ok(); }
    // Each point's budget and verdict, once the reference's U is given.
    const std::optional<calc::Evaluation>& evaluation() const { return evaluation_; }
    bool evaluated() const { return evaluation_ && evaluation_->ok(); }
    // The outcomes as found and as left; none until the entries can be evaluated, and as
    // left none while an entry is wrong (the window names it instead).
    std::optional<calc::Outcome> asFoundOutcome() const;
    std::optional<calc::Outcome> asLeftOutcome() const;
    // The result as left at reading field `n` (the two points, then the third), which holds
    // every reading taken at its target; none when it was not read.
    const calc::PointResult* asLeftResult(std::size_t n) const;

    // The record's input from the check, once the window has refused what cannot be kept:
    // a measurement, no wrong entry and the reference's U.
    void fillRecordInput(records::RecordInput& input) const;

    // A saved record's values as the check's texts, exactly and in the user's locale, with
    // its rule: blank (the defaults) where a record kept before them holds none.
    static CheckTexts textsOf(const records::Record& record, calc::DecisionRule& rule);

private:
    std::optional<std::array<double, 4>> measurement_;
    std::array<QString, 4> typedEntries_;
    std::vector<calc::CmcRange> scope_;
    std::optional<calc::PooledRepeatability> pooled_;
    calc::DecisionRule rule_ = calc::DecisionRule::Guarded;
    CheckEntries entries_;
    calc::Adjustment adjustment_;
    std::optional<calc::Evaluation> evaluation_;
};

} // namespace quarvet::adjust
