#pragma once

#include "calc/uncertainty.h"

#include <QString>
#include <QWidget>

#include <vector>

class QLabel;
class QTableWidget;

namespace quarvet::adjust {

// The uncertainty budgets of the adjustment check's points, one block of rows a point: each
// component with its input, distribution, divisor, u and degrees of freedom, then u_c, ν_eff,
// k and U. It follows the check as its entries change.
class BudgetWindow : public QWidget {
    Q_OBJECT
public:
    explicit BudgetWindow(QWidget* parent = nullptr);

    struct Point {
        QString title; // "As found at 0 °C", ...
        calc::Budget budget;
    };
    // The points' budgets; `why` when there are none (no reference U yet, a fault).
    void showBudgets(const std::vector<Point>& points, const QString& why);

private:
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace quarvet::adjust
