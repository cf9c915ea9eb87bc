#pragma once

#include <QPointF>
#include <QStringList>

#include <optional>
#include <vector>

class QColor;
class QFontMetricsF;
class QPainter;
class QRectF;

namespace quarvet::adjust {

// Error against temperature over the span of the targets: the error as found (indicated -
// target), the predicted error as left, the verification readings' errors and the band of
// ±tolerance.
struct ErrorPlotData {
    std::vector<QPointF> asFound;
    std::vector<QPointF> asLeft;
    std::vector<QPointF> verification;
    std::optional<double> tolerance;
};

// A target with a value there: an indicated mean, a predicted error, or a reading.
struct AtTarget {
    double target;
    double value;
};

// The plot's data of a calibration, worked out the same for the window and the certificate:
// at each calibration point the error as found (the mean indicated there − target) and the
// error predicted as left, each verification reading's error, and the tolerance when it is a
// positive number.
ErrorPlotData errorPlotData(const std::vector<AtTarget>& foundMeans,
                            const std::vector<AtTarget>& predictedErrors,
                            const std::vector<AtTarget>& verification,
                            std::optional<double> tolerance);

// What the plot's colours stand for, in as few lines of `width` as its phrases allow: a plot
// too narrow for the whole sentence wraps it rather than cutting it.
QStringList errorPlotLegend(const QFontMetricsF& metrics, qreal width);

// Draws the plot into `area` of any painter, so the window and a printed page show the same
// picture. Margins, pens and dots are sized in the painter's logical units as on a 96 dpi
// screen and the labels take the painter's font: a caller drawing at a printer's resolution
// scales the painter and its font to match. Points that are not finite are left out, as is a
// tolerance that is not a positive number; with nothing as found only the background is
// drawn. The painter is left as it was given.
void paintErrorPlot(QPainter& painter, const QRectF& area, const ErrorPlotData& data,
                    const QColor& background, const QColor& ink);

} // namespace quarvet::adjust
