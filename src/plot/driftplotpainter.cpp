#include "driftplotpainter.h"

#include <QColor>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <limits>

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

} // namespace

void paintDriftPlot(QPainter& painter, const QRectF& area, const DriftPlotData& data,
                    const QColor& background, const QColor& ink)
{
    painter.save();
    painter.fillRect(area, background);
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height();
    const QRectF plot =
        area.adjusted(metrics.horizontalAdvance(QStringLiteral("-0.0000")) + 12,
                      line * (1.5 + (data.series.size() + 2) / 3), -12, -2.2 * line);
    const auto [days, errors] = spansOf(data);
    const auto x = [&, days = days](double day) {
        return plot.left() + (day - days.low) / (days.high - days.low) * plot.width();
    };
    const auto y = [&, errors = errors](double error) {
        return plot.bottom() - (error - errors.low) / (errors.high - errors.low) * plot.height();
    };
    if (data.tolerance && *data.tolerance > 0 && std::isfinite(*data.tolerance))
        painter.fillRect(QRectF(QPointF(plot.left(), y(*data.tolerance)),
                                QPointF(plot.right(), y(-*data.tolerance))),
                         QColor(0, 158, 115, 40));
    painter.setPen(QPen(ink, 1));
    painter.drawRect(plot);
    painter.drawLine(QPointF(plot.left(), y(0)), QPointF(plot.right(), y(0)));
    for (double error : {errors.low, 0.0, errors.high})
        painter.drawText(
            QRectF(area.left(), y(error) - line / 2, plot.left() - area.left() - 6, line),
            Qt::AlignRight | Qt::AlignVCenter, numberLabel(error));
    // The first and last days at the frame's ends, within it.
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4, plot.width() / 2, line), Qt::AlignLeft,
                     data.origin.addDays(std::lround(days.low)).toString(Qt::ISODate));
    painter.drawText(QRectF(plot.center().x(), plot.bottom() + 4, plot.width() / 2, line),
                     Qt::AlignRight,
                     data.origin.addDays(std::lround(days.high)).toString(Qt::ISODate));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4 + line, plot.width(), line),
                     Qt::AlignCenter, QStringLiteral("Error as found (°C) by date"));
    for (qsizetype n = 0; n < data.series.size(); ++n) {
        const DriftSeries& series = data.series[n];
        const QColor colour = seriesColours[n % std::size(seriesColours)];
        painter.setPen(QPen(colour, 1.5));
        painter.setBrush(colour);
        QPainterPath path;
        for (const auto& [date, error] : series.errors) {
            if (!std::isfinite(error) || !date.isValid())
                continue;
            const QPointF at(x(static_cast<double>(data.origin.daysTo(date))), y(error));
            painter.drawEllipse(at, 3, 3);
            path.isEmpty() ? path.moveTo(at) : path.lineTo(at);
        }
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        if (series.line) {
            painter.setPen(QPen(colour, 1, Qt::DashLine));
            const auto [intercept, slope] = *series.line;
            const auto at = [&](double day) {
                return QPointF(x(day), y(intercept + slope * day / 365.25));
            };
            painter.setClipRect(plot);
            painter.drawLine(at(days.low), at(days.high));
            painter.setClipping(false);
        }
        const QRectF key(area.left() + (n % 3) * area.width() / 3, area.top() + (n / 3) * line,
                         area.width() / 3, line);
        painter.setPen(QPen(colour, 1));
        painter.drawText(key, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("● at %1 °C").arg(numberLabel(series.target)));
    }
    painter.restore();
}

} // namespace quarvet::adjust
