#pragma once

#include "lab/instruments.h"

#include "calc/recall.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What an instrument's records say over the years: the errors it was found with at each
// target, how they drift, and the interval they suggest.
namespace quarvet::lab {

// An error found before adjustment at one target, °C (reading − target).
struct FoundError {
    double target = 0.0;
    double error = 0.0;

    bool operator==(const FoundError&) const = default;
};

// One calibration of the instrument: a record no correction replaced.
struct HistoryPoint {
    QDate calibrated;   // a correction's: the day of the calibration it corrects
    QDateTime savedUtc; // when its record was saved (a correction: when it corrected)
    QString recordId;
    QList<FoundError> asFound; // empty in records kept before results had budgets
    std::optional<double> tolerance;
    QString asFoundVerdict;

    bool operator==(const HistoryPoint&) const = default;
};

// The calibrations of one instrument, its type and serial number, oldest first.
records::StoreFailure instrumentHistory(records::RecordStore& store, const QString& type,
                                        const QString& serial, QList<HistoryPoint>& history);

// The drift at one target: a line through the errors found there, in years from the first.
struct TargetDrift {
    double target = 0.0;
    std::optional<calc::DriftLine> line; // none below three calibrations at the target
    int count = 0;
};
// The drift at each target found in the history, by target.
QList<TargetDrift> driftsOf(const QList<HistoryPoint>& history);

// The interval the last calibration suggests, by the staircase method: once for each record,
// so that an interval reviewed since the last was saved stands (a correction saved after a
// review may have changed what was found, and is reviewed again).
struct IntervalReview {
    int current = 0;
    calc::IntervalSuggestion suggestion;
    QDate basedOn;   // the calibration it steps from; invalid without one
    QString verdict; // what that calibration found, as kept
    calc::IntervalFactors factors;
    QDateTime reviewedUtc; // when a person last reviewed the interval; invalid: never
};
IntervalReview reviewInterval(const Instrument& instrument, const QList<HistoryPoint>& history,
                              const calc::IntervalFactors& factors);

} // namespace quarvet::lab
