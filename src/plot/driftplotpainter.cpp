#include "driftplotpainter.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace quarvet::adjust {

namespace {

// Colours apart for people who tell red from green poorly (Okabe and Ito).
const QColor seriesColours[] = {QColor(0, 114, 178),   QColor(213, 94, 0),  QColor(0, 158, 115),
                                QColor(204, 121, 167), QColor(230, 159, 0), QColor(86, 180, 233)};

struct Span {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void take(double value)
    {
        if (!std::isfinite(value))
            return;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool empty() const { return !(low <= high); }
};

// The spans of days and errors the plot shows: every point, the band, and a margin.
std::pair<Span, Span> spansOf(const DriftPlotData& data)
{
    Span days;
    Span errors;
    for (const DriftSeries& series : data.series)
        for (const auto& [date, error] : series.errors) {
            if (!std::isfinite(error) || !date.isValid())
                continue;
            days.take(static_cast<double>(data.origin.daysTo(date)));
            errors.take(error);
        }
    if (data.tolerance && *data.tolerance > 0 && std::isfinite(*data.tolerance)) {
        errors.take(-*data.tolerance);
        errors.take(*data.tolerance);
    }
    errors.take(0.0);
    if (days.empty())
        days = {0.0, 365.0};
    if (days.high - days.low < 30.0)
        days = {days.low - 15.0, days.high + 15.0};
    const double margin = std::max((errors.high - errors.low) * 0.08, 1e-3);
    return {days, {errors.low - margin, errors.high + margin}};
}

QString numberLabel(double value)
{
    return QString::number(value, 'g', 4);
}

// Where the plot stands in its area, and where a day and an error stand in it.
struct Frame {
    QRectF area;
    QRectF plot;
    Span days;
    Span errors;
    double line = 0;

    double x(double day) const
    {
        return plot.left() + (day - days.low) / (days.high - days.low) * plot.width();
    }
    double y(double error) const
    {
        return plot.bottom() - (error - errors.low) / (errors.high - errors.low) * plot.height();
    }
};

// The band, the frame with its zero line, and the labels of its axes.
void paintAxes(QPainter& painter, const Frame& frame, const DriftPlotData& data, const QColor& ink)
{
    const QRectF& plot = frame.plot;
    if (data.tolerance && *data.tolerance > 0 && std::isfinite(*data.tolerance))
        painter.fillRect(QRectF(QPointF(plot.left(), frame.y(*data.tolerance)),
                                QPointF(plot.right(), frame.y(-*data.tolerance))),
                         QColor(0, 158, 115, 40));
    painter.setPen(QPen(ink, 1));
    painter.drawRect(plot);
    painter.drawLine(QPointF(plot.left(), frame.y(0)), QPointF(plot.right(), frame.y(0)));
    for (double error : {frame.errors.low, 0.0, frame.errors.high})
        painter.drawText(QRectF(frame.area.left(), frame.y(error) - frame.line / 2,
                                plot.left() - frame.area.left() - 6, frame.line),
                         Qt::AlignRight | Qt::AlignVCenter, numberLabel(error));
    // The first and last days at the frame's ends, within it.
    const QRectF below(plot.left(), plot.bottom() + 4, plot.width(), frame.line);
    painter.drawText(below, Qt::AlignLeft,
                     data.origin.addDays(std::lround(frame.days.low)).toString(Qt::ISODate));
    painter.drawText(below, Qt::AlignRight,
                     data.origin.addDays(std::lround(frame.days.high)).toString(Qt::ISODate));
    painter.drawText(below.translated(0, frame.line), Qt::AlignCenter,
                     QStringLiteral("Error as found (°C) by date"));
}

// One target's errors joined, its drift line dashed, and its key above the plot.
void paintSeries(QPainter& painter, const Frame& frame, const DriftPlotData& data, qsizetype n)
{
    const DriftSeries& series = data.series[n];
    const QColor colour = seriesColours[n % std::size(seriesColours)];
    painter.setPen(QPen(colour, 1.5));
    painter.setBrush(colour);
    QPainterPath path;
    for (const auto& [date, error] : series.errors) {
        if (!std::isfinite(error) || !date.isValid())
            continue;
        const QPointF at(frame.x(static_cast<double>(data.origin.daysTo(date))), frame.y(error));
        painter.drawEllipse(at, 3, 3);
        path.isEmpty() ? path.moveTo(at) : path.lineTo(at);
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    if (series.line) {
        painter.setPen(QPen(colour, 1, Qt::DashLine));
        const auto [intercept, slope] = *series.line;
        const auto at = [&](double day) {
            return QPointF(frame.x(day), frame.y(intercept + slope * day / 365.25));
        };
        painter.setClipRect(frame.plot);
        painter.drawLine(at(frame.days.low), at(frame.days.high));
        painter.setClipping(false);
    }
    const QRectF key(frame.area.left() + (n % 3) * frame.area.width() / 3,
                     frame.area.top() + (n / 3) * frame.line, frame.area.width() / 3, frame.line);
    painter.setPen(QPen(colour, 1));
    painter.drawText(key, Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("● at %1 °C").arg(numberLabel(series.target)));
}

} // namespace

void paintDriftPlot(QPainter& painter, const QRectF& area, const DriftPlotData& data,
                    const QColor& background, const QColor& ink)
{
    painter.save();
    painter.fillRect(area, background);
    const QFontMetricsF metrics(painter.font());
    Frame frame;
    frame.area = area;
    frame.line = metrics.height();
    frame.plot =
        area.adjusted(metrics.horizontalAdvance(QStringLiteral("-0.0000")) + 12,
                      frame.line * (1.5 + (data.series.size() + 2) / 3), -12, -2.2 * frame.line);
    std::tie(frame.days, frame.errors) = spansOf(data);
    paintAxes(painter, frame, data, ink);
    for (qsizetype n = 0; n < data.series.size(); ++n)
        paintSeries(painter, frame, data, n);
    painter.restore();
}

} // namespace quarvet::adjust
