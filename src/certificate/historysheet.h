#pragma once

#include "lab/instrumenthistory.h"
#include "plot/driftplotpainter.h"
#include "records/outputfile.h"

#include <QString>
#include <QStringList>

namespace quarvet::certificate {

// The plot of an instrument's history: each target's errors as found by date, its drift line
// where there is one, and the band of the instrument's tolerance (else the last record's).
adjust::DriftPlotData historyPlotData(const QList<lab::HistoryPoint>& history,
                                      std::optional<double> tolerance);

// An instrument's history on one A4 page: `heading` (its first line as the title), the plot of
// its errors over the years with the tolerance band, and `lines` beneath (its drift and
// interval). Written beside `path` and put in its place once whole; never over `kept`, the
// record store's files.
records::OutputFault writeHistoryPdf(const QString& path, const QStringList& kept,
                                     const QStringList& heading, const adjust::DriftPlotData& data,
                                     const QStringList& lines);

} // namespace quarvet::certificate
