#include "errorplotpainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace quarvet::adjust {
namespace {

struct Span {
    double low = 0.0;
    double high = 0.0;

    void include(double value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

std::optional<double> toleranceOf(const ErrorPlotData& data)
{
    if (data.tolerance && std::isfinite(*data.tolerance) && *data.tolerance > 0)
        return data.tolerance;
    return std::nullopt;
}

// The spans of both axes, the errors always including 0 and the tolerance band. Nothing when
// there is no finite point as found or a span is too wide for a double to measure, as a plot
// drawn at infinite coordinates shows nothing true.
std::optional<std::pair<Span, Span>> spansOf(const ErrorPlotData& data)
{
    if (std::none_of(data.asFound.begin(), data.asFound.end(), isFinite))
        return std::nullopt;
    Span temperatures{HUGE_VAL, -HUGE_VAL};
    Span errors;
    for (const auto* series : {&data.asFound, &data.asLeft, &data.verification}) {
        for (const QPointF& point : *series) {
            if (!isFinite(point))
                continue;
            temperatures.include(point.x());
            errors.include(point.y());
        }
    }
    if (const auto tolerance = toleranceOf(data)) {
        errors.include(*tolerance);
        errors.include(-*tolerance);
    }
    if (!(temperatures.high > temperatures.low)) {
        // Wide enough that the ends differ from the one temperature even far from 0.
        const double half = std::max(1.0, std::abs(temperatures.low) * 1e-6);
        temperatures = {temperatures.low - half, temperatures.low + half};
    }
    if (!(errors.high > errors.low))
        errors = {-1, 1};
    const double margin = (errors.high - errors.low) * 0.1;
    errors = {errors.low - margin, errors.high + margin};
    if (!std::isfinite(errors.high - errors.low) ||
        !std::isfinite(temperatures.high - temperatures.low))
        return std::nullopt;
    return std::pair{temperatures, errors};
}

// The plot's frame, the error range at its left, the temperature range below it and what the
// colours stand for under that.
void drawFrame(QPainter& painter, const QRectF& outer, const QRectF& area,
               const std::pair<Span, Span>& spans, const QColor& ink)
{
    const auto& [temperatures, errors] = spans;
    painter.setPen(QPen(ink, 1));
    painter.drawRect(area);
    painter.drawText(QRectF(outer.left(), area.top(), 36, 16), Qt::AlignRight,
                     QString::number(errors.high, 'g', 2));
    painter.drawText(QRectF(outer.left(), area.bottom() - 16, 36, 16), Qt::AlignRight,
                     QString::number(errors.low, 'g', 2));
    // The temperature axis: its two ends, and what it measures between them.
    const QRectF axis(area.left(), area.bottom() + 2, area.width(), 14);
    painter.drawText(axis, Qt::AlignLeft, QString::number(temperatures.low, 'g', 6));
    painter.drawText(axis, Qt::AlignHCenter, QStringLiteral("temperature (°C)"));
    painter.drawText(axis, Qt::AlignRight, QString::number(temperatures.high, 'g', 6));
    qreal top = area.bottom() + 16;
    for (const QString& line : errorPlotLegend(QFontMetricsF(painter.font()), area.width())) {
        painter.drawText(QRectF(area.left(), top, area.width(), 18), Qt::AlignHCenter, line);
        top += 16;
    }
}

void drawPlot(QPainter& painter, const QRectF& outer, const ErrorPlotData& data,
              const std::pair<Span, Span>& spans, const QColor& ink)
{
    const auto& [temperatures, errors] = spans;
    const qreal legend =
        16.0 * errorPlotLegend(QFontMetricsF(painter.font()), outer.width() - 50).size();
    const QRectF area = outer.adjusted(40, 10, -10, -20 - legend);
    const auto place = [&](QPointF point) {
        const double x = (point.x() - temperatures.low) / (temperatures.high - temperatures.low);
        const double y = (point.y() - errors.low) / (errors.high - errors.low);
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };
    if (const auto tolerance = toleranceOf(data)) {
        const QPointF top = place({temperatures.low, *tolerance});
        const QPointF bottom = place({temperatures.high, -*tolerance});
        painter.fillRect(QRectF(top, bottom), QColor(0, 160, 0, 40));
    }
    drawFrame(painter, outer, area, spans, ink);
    painter.drawLine(place({temperatures.low, 0}), place({temperatures.high, 0}));
    const auto drawSeries = [&](const std::vector<QPointF>& points, QColor colour, bool joined) {
        painter.setPen(QPen(colour, 2));
        painter.setBrush(colour);
        std::optional<QPointF> previous;
        for (const QPointF& point : points) {
            if (!isFinite(point))
                continue;
            painter.drawEllipse(place(point), 3, 3);
            if (joined && previous)
                painter.drawLine(place(*previous), place(point));
            previous = point;
        }
    };
    drawSeries(data.asFound, QColor(200, 60, 40), true);
    drawSeries(data.asLeft, QColor(40, 90, 200), true);
    drawSeries(data.verification, QColor(20, 20, 20), false);
}

} // namespace

QStringList errorPlotLegend(const QFontMetricsF& metrics, qreal width)
{
    // Broken only after its phrases, each of which stays whole.
    const QStringList phrases{QStringLiteral("error (°C) against temperature:"),
                              QStringLiteral("as found (red),"), QStringLiteral("as left (blue),"),
                              QStringLiteral("verification (black),"),
                              QStringLiteral("±tolerance (green)")};
    QStringList lines;
    for (const QString& phrase : phrases) {
        const QString joined = lines.isEmpty() ? phrase : lines.last() + QLatin1Char(' ') + phrase;
        if (!lines.isEmpty() && metrics.horizontalAdvance(joined) <= width)
            lines.last() = joined;
        else
            lines << phrase;
    }
    return lines;
}

void paintErrorPlot(QPainter& painter, const QRectF& area, const ErrorPlotData& data,
                    const QColor& background, const QColor& ink)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(area, Qt::IntersectClip);
    painter.fillRect(area, background);
    if (const auto spans = spansOf(data))
        drawPlot(painter, area, data, *spans, ink);
    painter.restore();
}

ErrorPlotData errorPlotData(const std::vector<AtTarget>& foundMeans,
                            const std::vector<AtTarget>& predictedErrors,
                            const std::vector<AtTarget>& verification,
                            std::optional<double> tolerance)
{
    ErrorPlotData data;
    for (const AtTarget& found : foundMeans)
        data.asFound.emplace_back(found.target, found.value - found.target);
    for (const AtTarget& predicted : predictedErrors)
        data.asLeft.emplace_back(predicted.target, predicted.value);
    for (const AtTarget& reading : verification)
        data.verification.emplace_back(reading.target, reading.value - reading.target);
    if (tolerance && *tolerance > 0)
        data.tolerance = tolerance;
    return data;
}

} // namespace quarvet::adjust
