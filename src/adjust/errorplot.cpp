#include "errorplot.h"

#include <QPainter>

namespace quarvet::adjust {

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
    paintErrorPlot(painter, rect(), data_, palette().base().color(), palette().text().color());
}

} // namespace quarvet::adjust
