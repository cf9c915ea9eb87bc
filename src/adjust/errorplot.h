#pragma once

#include <QPointF>
#include <QWidget>

#include <optional>
#include <vector>

namespace quarvet::adjust {

// Error against temperature over the span of the targets: the error as found (indicated -
// target), the predicted error as left, the verification readings' errors and the band of
// ±tolerance. Drawn with QPainter; no chart library needed for four lines.
class ErrorPlot : public QWidget {
    Q_OBJECT
public:
    struct Data {
        std::vector<QPointF> asFound;
        std::vector<QPointF> asLeft;
        std::vector<QPointF> verification;
        std::optional<double> tolerance;
    };

    explicit ErrorPlot(QWidget* parent = nullptr);
    void setData(Data data);
    const Data& data() const { return data_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Data data_;
};

} // namespace quarvet::adjust
