#include "budgetwindow.h"

#include "messages/messages.h"
#include "ui/controls.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace quarvet::adjust {
namespace {

QString localNumber(double value)
{
    return std::isfinite(value) ? QLocale().toString(value, 'g', QLocale::FloatingPointShortest)
                                : QStringLiteral("\u221E");
}

QString significant(double value)
{
    return std::isfinite(value) ? QLocale().toString(value, 'g', 4) : QStringLiteral("\u221E");
}

void addRow(QTableWidget* table, const QStringList& cells, bool bold = false)
{
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (column > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (bold) {
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
        }
        table->setItem(row, column, item);
    }
}

} // namespace

BudgetWindow::BudgetWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Budget"));
    setWindowTitle(QStringLiteral("Uncertainty budget"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 6, this);
    table_->setAccessibleName(QStringLiteral("Budget table"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Component"), QStringLiteral("Input"),
                                       QStringLiteral("Distribution"), QStringLiteral("Divisor"),
                                       QStringLiteral("u (\u00B0C)"), QStringLiteral("\u03BD")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("Budget status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    resize(640, 420);
}

void BudgetWindow::showBudgets(const std::vector<Point>& points, const QString& why)
{
    table_->setRowCount(0);
    for (const Point& point : points) {
        addRow(table_, {point.title}, true);
        for (const calc::Component& component : point.budget.components)
            addRow(table_,
                   // A stated input as it was typed; a standard deviation worked out from the
                   // readings to the figures of the rest of the table, not to all a double
                   // holds.
                   {QString::fromStdString(component.name),
                    component.distribution == calc::Distribution::TypeA
                        ? significant(component.input)
                        : localNumber(component.input),
                    QString::fromLatin1(calc::distributionName(component.distribution)),
                    significant(component.divisor), significant(component.u),
                    significant(component.nu)});
        const calc::Budget& budget = point.budget;
        addRow(table_, {QStringLiteral("combined u_c"), QString(), QString(), QString(),
                        significant(budget.uc), significant(budget.nuEff)});
        addRow(table_, {QStringLiteral("U = k \u00B7 u_c (k = %1), rounded up to two figures")
                            .arg(QString::fromStdString(messages::coverageFactorText(budget.k))),
                        QString(), QString(), QString(),
                        QString::fromStdString(messages::expandedUncertaintyText(budget.U))
                            .replace(QLatin1Char('.'), QLocale().decimalPoint()),
                        QString()});
    }
    ui::showValue(status_, why);
}

} // namespace quarvet::adjust
