#include "errorplot.h"

#include <QPainter>
#include <QPainterPath>

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

// The spans of both axes, the errors always including 0 and the tolerance band.
std::pair<Span, Span> spansOf(const ErrorPlot::Data& data)
{
    Span temperatures{1e300, -1e300};
    Span errors;
    for (const auto* series : {&data.asFound, &data.asLeft, &data.verification}) {
        for (const QPointF& point : *series) {
            temperatures.include(point.x());
            errors.include(point.y());
        }
    }
    if (data.tolerance) {
        errors.include(*data.tolerance);
        errors.include(-*data.tolerance);
    }
    if (!(temperatures.high > temperatures.low))
        temperatures = {temperatures.low - 1, temperatures.low + 1};
    if (!(errors.high > errors.low))
        errors = {-1, 1};
    const double margin = (errors.high - errors.low) * 0.1;
    return {temperatures, {errors.low - margin, errors.high + margin}};
}

// The plot's frame, the error range at its left and what the colours stand for below it.
void drawFrame(QPainter& painter, const QRectF& area, const Span& errors, const QColor& ink)
{
    painter.setPen(QPen(ink, 1));
    painter.drawRect(area);
    painter.drawText(QRectF(0, area.top(), 36, 16), Qt::AlignRight,
                     QString::number(errors.high, 'g', 2));
    painter.drawText(QRectF(0, area.bottom() - 16, 36, 16), Qt::AlignRight,
                     QString::number(errors.low, 'g', 2));
    painter.drawText(QRectF(area.left(), area.bottom() + 4, area.width(), 18), Qt::AlignHCenter,
                     QStringLiteral("error (°C) against temperature: as found (red), as left "
                                    "(blue), verification (black), ±tolerance (green)"));
}

} // namespace

ErrorPlot::ErrorPlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 180);
    setAccessibleName(QStringLiteral("Error plot"));
}

void ErrorPlot::setData(Data data)
{
    data_ = std::move(data);
    update();
}

void ErrorPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    if (data_.asFound.empty())
        return;
    const auto [temperatures, errors] = spansOf(data_);
    const QRectF area = QRectF(rect()).adjusted(40, 10, -10, -24);
    const auto place = [&](QPointF point) {
        const double x = (point.x() - temperatures.low) / (temperatures.high - temperatures.low);
        const double y = (point.y() - errors.low) / (errors.high - errors.low);
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };
    if (data_.tolerance) {
        const QPointF top = place({temperatures.low, *data_.tolerance});
        const QPointF bottom = place({temperatures.high, -*data_.tolerance});
        painter.fillRect(QRectF(top, bottom), QColor(0, 160, 0, 40));
    }
    drawFrame(painter, area, errors, palette().text().color());
    painter.drawLine(place({temperatures.low, 0}), place({temperatures.high, 0}));
    const auto drawSeries = [&](const std::vector<QPointF>& points, QColor colour, bool joined) {
        painter.setPen(QPen(colour, 2));
        painter.setBrush(colour);
        for (std::size_t n = 0; n < points.size(); ++n) {
            painter.drawEllipse(place(points[n]), 3, 3);
            if (joined && n > 0)
                painter.drawLine(place(points[n - 1]), place(points[n]));
        }
    };
    drawSeries(data_.asFound, QColor(200, 60, 40), true);
    drawSeries(data_.asLeft, QColor(40, 90, 200), true);
    drawSeries(data_.verification, QColor(20, 20, 20), false);
}

} // namespace quarvet::adjust
