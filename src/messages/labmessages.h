#pragma once

#include "lab/instrumenthistory.h"
#include "lab/labrefusal.h"

#include <QString>
#include <QStringList>

namespace quarvet::messages {

// Why the register, a laboratory setting or a record's reference refuses what was given, as
// the windows and the command line say it.
QString labRefusal(const lab::LabRefusal& refusal);

// Why the staircase suggests the interval it does, in one sentence.
QString intervalReason(const lab::IntervalReview& review);
// What an instrument's history comes to: the drift at each target, then its interval and the
// one suggested, with why.
QStringList historySentences(const QList<lab::HistoryPoint>& history,
                             const lab::IntervalReview& review);

} // namespace quarvet::messages
