#pragma once

#include "plot/errorplotpainter.h"

#include <QWidget>

namespace quarvet::adjust {

// The error plot in a window, drawn by paintErrorPlot() in the window's colours; no chart
// library needed for four lines.
class ErrorPlot : public QWidget {
    Q_OBJECT
public:
    using Data = ErrorPlotData;

    explicit ErrorPlot(QWidget* parent = nullptr);
    void setData(Data data);
    const Data& data() const { return data_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Data data_;
};

} // namespace quarvet::adjust
