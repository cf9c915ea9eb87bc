#pragma once

#include <QDate>
#include <QList>
#include <QStringList>

#include <optional>

class QColor;
class QPainter;
class QRectF;

namespace quarvet::adjust {

// The errors an instrument was found with at one target over the years, and the line drawn
// through them where there is one.
struct DriftSeries {
    double target = 0.0;
    QList<std::pair<QDate, double>> errors;
    // The line's error on `origin` and its slope a year, where it was fitted.
    std::optional<std::pair<double, double>> line;
};

// What the history plot shows: every target's series over time, with the band of ±tolerance.
struct DriftPlotData {
    QDate origin; // the day the lines' years are counted from
    QList<DriftSeries> series;
    std::optional<double> tolerance;
};

// Draws the plot into `area` of any painter, as paintErrorPlot does: error (°C) against the
// date, a colour a target, the lines dashed, the band shaded; its legend names each target.
// Points that are not finite are left out; with no point at all only the frame is drawn.
void paintDriftPlot(QPainter& painter, const QRectF& area, const DriftPlotData& data,
                    const QColor& background, const QColor& ink);

} // namespace quarvet::adjust
