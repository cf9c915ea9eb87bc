#pragma once

#include "checkentries.h"
#include "checkmodel.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace quarvet::adjust {

class BudgetWindow;
class ErrorPlot;

// A label that shows a value: found by its accessible name, selectable, never markup.
QLabel* valueLabel(QWidget* parent, const QString& accessibleName);

// The adjustment check's entries and what they give, as the window shows them: the codes, the
// points predicted, each point's budget and verdict, the plot and the entries' problems. It
// says when an entry changes; the window then updates the model and has it shown here.
class CheckView : public QWidget {
    Q_OBJECT
public:
    explicit CheckView(QWidget* parent = nullptr);

    CheckTexts texts() const;
    void setTexts(const CheckTexts& texts);
    calc::DecisionRule rule() const;
    void setRule(calc::DecisionRule rule);
    QLineEdit* field(CheckField which) const { return fields_[index(which)]; }
    // The plot of the errors, for the window to place.
    QWidget* plot() const;

    // Shows what `model` holds; it must outlive the view or be shown anew.
    void show(const CheckModel& model);

signals:
    void edited();
    void memoryTextRequested();

private:
    void createCodeGroup();
    void addCodeResults(QGridLayout* grid);
    void createPointGroup();
    void addPointRow(QGridLayout* grid, int n);
    void createBudgetGroup();
    void createVerificationGroup();
    void addReadingRows(QGridLayout* grid);
    void addThirdPointRow(QGridLayout* grid);
    QLineEdit* addField(CheckField field, const QString& accessibleName, const QString& text = {});
    QLabel* addValue(const QString& accessibleName);
    void showAdjustment();
    void showPoints(const calc::Adjustment& adjustment, bool ok);
    void showVerdicts();
    void showPointVerdicts(bool judged);
    void showBudgets();
    void showBudgetWindow();
    void plotErrors();

    const CheckModel* model_ = nullptr; // the one shown last
    std::array<QLineEdit*, checkFieldCount> fields_{};
    QVBoxLayout* leftColumn_ = nullptr;
    QLineEdit* slopeCode_ = nullptr;
    QLineEdit* offsetCode_ = nullptr;
    QLabel* codeValues_ = nullptr;
    QLabel* codeWarning_ = nullptr;
    QLabel* composedNote_ = nullptr;
    std::array<QLabel*, 2> asLeft_{};
    std::array<QLabel*, 2> predictedError_{};
    std::array<QLabel*, 2> foundU_{};
    std::array<QLabel*, 3> leftU_{};
    QComboBox* ruleChoice_ = nullptr;
    QLabel* asFoundVerdict_ = nullptr;
    QPointer<BudgetWindow> budgetWindow_;
    std::array<QLabel*, 2> pointTexts_{};
    QLabel* largestError_ = nullptr;
    std::array<QLabel*, 3> pointVerdicts_{};
    QLabel* verdict_ = nullptr;
    QLabel* rule_ = nullptr;
    QLabel* problems_ = nullptr;
    ErrorPlot* plot_ = nullptr;
};

} // namespace quarvet::adjust
