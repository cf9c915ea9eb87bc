#include "checkview.h"

#include "budgetwindow.h"
#include "errorplot.h"

#include "messages/messages.h"
#include "ui/controls.h"

#include <QScrollArea>

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quarvet::adjust {
namespace {

// Temperatures and errors to four decimals in the user's locale.
QString shown(double value)
{
    return QLocale().toString(value, 'f', 4);
}

// A point's U as reported, with its coverage factor, in the user's locale.
QString uncertaintyText(const calc::Budget& budget)
{
    return QStringLiteral("U %1 (k = %2)")
        .arg(QString::fromStdString(messages::expandedUncertaintyText(budget.U)),
             QString::fromStdString(messages::coverageFactorText(budget.k)))
        .replace(QLatin1Char('.'), QLocale().decimalPoint());
}

// Why the points cannot be evaluated.
QString evaluationFault(const calc::Evaluation& evaluation)
{
    switch (evaluation.fault) {
    case calc::EvaluationFault::Budget:
        return QString::fromStdString(messages::budgetFault(evaluation.budgetFault));
    case calc::EvaluationFault::ToleranceNotPositive:
        return QString::fromStdString(
            messages::verificationFault(calc::VerificationFault::ToleranceNotPositive));
    default:
        return QString::fromStdString(
            messages::verificationFault(calc::VerificationFault::NotFinite));
    }
}

// A field whose text is no number, or no code, is marked until it is one.
void mark(QLineEdit* field, bool wrong)
{
    field->setStyleSheet(wrong ? QStringLiteral("background: #ffd0d0") : QString());
}

// The largest U of the points evaluated, as found and as left; 0 before they are.
double largestU(const CheckModel& model)
{
    double largest = 0.0;
    if (model.evaluated())
        for (const auto* points : {&model.evaluation()->asFound, &model.evaluation()->asLeft})
            for (const calc::PointResult& point : *points)
                largest = std::max(largest, point.budget.U);
    return largest;
}

// What an as-left field takes.
QString severalReadings()
{
    return QStringLiteral("Readings separated by spaces: their mean is judged");
}

// A stored number as the user's locale writes it, exactly.
QString fieldText(double value)
{
    return QLocale().toString(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

CheckView::CheckView(QWidget* parent) : QWidget(parent)
{
    // The groups scroll where the screen is short of room; what is wrong with the entries
    // stays in sight under them.
    auto* content = new QWidget(this);
    leftColumn_ = new QVBoxLayout(content);
    leftColumn_->setContentsMargins(0, 0, 0, 0);
    createCodeGroup();
    createPointGroup();
    createBudgetGroup();
    createVerificationGroup();
    leftColumn_->addStretch(1);
    plot_ = new ErrorPlot(this);
    plot_->setObjectName(QStringLiteral("ErrorPlot"));
    problems_ = addValue(QStringLiteral("Entry problems"));
    problems_->setWordWrap(true);
    ui::reserveLines(problems_, 2);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(ui::scrolling(content), 1);
    column->addWidget(problems_);
}

CheckTexts CheckView::texts() const
{
    CheckTexts texts;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        texts[n] = fields_[n]->text();
    return texts;
}

void CheckView::setTexts(const CheckTexts& texts)
{
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        fields_[n]->setText(texts[n]);
}

calc::DecisionRule CheckView::rule() const
{
    return static_cast<calc::DecisionRule>(ruleChoice_->currentData().toInt());
}

void CheckView::setRule(calc::DecisionRule rule)
{
    ruleChoice_->setCurrentIndex(ruleChoice_->findData(int(rule)));
}

void CheckView::show(const CheckModel& model)
{
    model_ = &model;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        mark(fields_[n], model.entries().wrong[n]);
    showAdjustment();
    showVerdicts();
    showBudgets();
    plotErrors();
    QStringList problems;
    QStringList wrong;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        if (model.entries().wrong[n])
            wrong << fields_[n]->accessibleName();
    if (!wrong.isEmpty())
        problems << QStringLiteral("Not a number or no code: ") + wrong.join(QStringLiteral(", "));
    if (model.entries().foreignSeparator)
        problems << QString::fromStdString(
            messages::oneLine(messages::separatorWarning(*model.entries().foreignSeparator)));
    ui::showValue(problems_, problems.join(QLatin1Char('\n')));
}

QLineEdit* CheckView::addField(CheckField which, const QString& accessibleName, const QString& text)
{
    auto* field = new QLineEdit(text, this);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    connect(field, &QLineEdit::textChanged, this, &CheckView::edited);
    fields_[static_cast<std::size_t>(which)] = field;
    return field;
}

QLabel* valueLabel(QWidget* parent, const QString& accessibleName)
{
    auto* value = new QLabel(parent);
    value->setAccessibleName(accessibleName);
    // Some of these quote what was typed or pasted: never taken for markup.
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return value;
}

QLabel* CheckView::addValue(const QString& accessibleName)
{
    return valueLabel(this, accessibleName);
}

QWidget* CheckView::plot() const
{
    return plot_;
}

void CheckView::createCodeGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Codes"), this);
    auto* grid = new QGridLayout(group);
    QLineEdit* slope = addField(CheckField::CurrentSlope, QStringLiteral("Current slope code"),
                                QStringLiteral("2710"));
    QLineEdit* offset = addField(CheckField::CurrentOffset, QStringLiteral("Current offset code"),
                                 QStringLiteral("0000"));
    for (QLineEdit* code : {slope, offset})
        ui::reserveWidth(code, QStringLiteral("FFFFFF"));
    auto* read = new QPushButton(QStringLiteral("Read from &memory text..."), group);
    read->setObjectName(QStringLiteral("ReadFromMemory"));
    connect(read, &QPushButton::clicked, this, &CheckView::memoryTextRequested);
    auto* current = new QLabel(QStringLiteral("Current codes (slope, offset):"), group);
    current->setBuddy(slope);
    grid->addWidget(current, 0, 0);
    grid->addWidget(slope, 0, 1);
    grid->addWidget(offset, 0, 2);
    grid->addWidget(read, 0, 3, Qt::AlignLeft);
    addCodeResults(grid);
    grid->setColumnStretch(3, 1);
    leftColumn_->addWidget(group);
}

// The codes to write, what they apply, and what is to be known of them.
void CheckView::addCodeResults(QGridLayout* grid)
{
    QWidget* group = grid->parentWidget();
    slopeCode_ = new QLineEdit(this);
    offsetCode_ = new QLineEdit(this);
    slopeCode_->setAccessibleName(QStringLiteral("Slope code to write"));
    offsetCode_->setAccessibleName(QStringLiteral("Offset code to write"));
    for (QLineEdit* result : {slopeCode_, offsetCode_}) {
        result->setAlignment(Qt::AlignRight);
        result->setReadOnly(true);
        // Out of the tab chain, yet a click selects the code so that it can be copied.
        result->setFocusPolicy(Qt::ClickFocus);
        ui::reserveWidth(result, QStringLiteral("FFFFFF"));
    }
    codeValues_ = addValue(QStringLiteral("Code values"));
    ui::reserveWidth(codeValues_, QStringLiteral("slope 1.0000, offset -200.0000 \u00B0C"));
    composedNote_ = addValue(QStringLiteral("Composed codes note"));
    codeWarning_ = addValue(QStringLiteral("Code warning"));
    codeWarning_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    grid->addWidget(new QLabel(QStringLiteral("Codes to write (slope, offset):"), group), 1, 0);
    grid->addWidget(slopeCode_, 1, 1);
    grid->addWidget(offsetCode_, 1, 2);
    grid->addWidget(codeValues_, 1, 3);
    // The note and the warning seldom come together: two lines held for both.
    auto* notes = new QWidget(group);
    auto* noteLines = new QVBoxLayout(notes);
    noteLines->setContentsMargins(0, 0, 0, 0);
    noteLines->setSpacing(0);
    for (QLabel* note : {composedNote_, codeWarning_}) {
        note->setWordWrap(true);
        noteLines->addWidget(note);
    }
    noteLines->addStretch(1);
    notes->setMinimumHeight(2 * codeWarning_->fontMetrics().lineSpacing());
    grid->addWidget(notes, 2, 0, 1, 4);
}

void CheckView::createPointGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Predicted as left"), this);
    auto* grid = new QGridLayout(group);
    const QStringList headings{QStringLiteral("Point"),
                               QStringLiteral("Further readings"),
                               QStringLiteral("Target, indicated"),
                               QStringLiteral("As-left reading"),
                               QStringLiteral("Error"),
                               QStringLiteral("U as found")};
    for (int column = 0; column < headings.size(); ++column)
        grid->addWidget(new QLabel(headings[column], group), 0, column);
    for (int n = 0; n < 2; ++n)
        addPointRow(grid, n);
    largestError_ = addValue(QStringLiteral("Largest error"));
    grid->addWidget(new QLabel(QStringLiteral("Largest error:"), group), 3, 3);
    grid->addWidget(largestError_, 3, 4);
    grid->setColumnStretch(5, 1);
    leftColumn_->addWidget(group);
}

// A calibration point's further readings, and what the codes predict there.
void CheckView::addPointRow(QGridLayout* grid, int n)
{
    const QString number = QString::number(n + 1);
    grid->addWidget(new QLabel(number, grid->parentWidget()), n + 1, 0);
    pointTexts_[n] = addValue(QStringLiteral("Target and indicated at point ") + number);
    QLineEdit* further = addField(n == 0 ? CheckField::FoundReadings1 : CheckField::FoundReadings2,
                                  QStringLiteral("Further readings at point ") + number);
    further->setToolTip(QStringLiteral("Readings taken at this point besides the main "
                                       "window's, separated by spaces: their mean is used"));
    ui::reserveWidth(further, QStringLiteral("100.000 100.000 100.000"));
    asLeft_[n] = addValue(QStringLiteral("Predicted as-left reading at point ") + number);
    predictedError_[n] = addValue(QStringLiteral("Predicted error at point ") + number);
    foundU_[n] = addValue(QStringLiteral("Uncertainty as found at point ") + number);
    ui::reserveWidth(pointTexts_[n], QStringLiteral("-200.0000, -200.0000"));
    ui::reserveWidth(asLeft_[n], QStringLiteral("-200.0000"));
    ui::reserveWidth(predictedError_[n], QStringLiteral("-0.0000"));
    ui::reserveWidth(foundU_[n], QStringLiteral("U 0.00012 (k = 2.00)"));
    grid->addWidget(further, n + 1, 1);
    grid->addWidget(pointTexts_[n], n + 1, 2);
    grid->addWidget(asLeft_[n], n + 1, 3);
    grid->addWidget(predictedError_[n], n + 1, 4);
    grid->addWidget(foundU_[n], n + 1, 5);
}

void CheckView::createBudgetGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Uncertainty budget of each point"), this);
    auto* grid = new QGridLayout(group);
    const struct {
        CheckField field;
        const char* label;
        const char* name;
        double fallback;
    } inputs[] = {
        {CheckField::Uncertainty, "Reference U (\u00B0C):", "Uncertainty", 0.0},
        {CheckField::ReferenceK, "its k:", "Reference coverage factor", 2.0},
        {CheckField::Drift, "Drift \u00B1 (\u00B0C):", "Drift", 0.0},
        {CheckField::Resolution, "Resolution (\u00B0C):", "Resolution", 0.01},
        {CheckField::Uniformity, "Uniformity \u00B1 (\u00B0C):", "Uniformity", 0.0},
        {CheckField::Stability, "Stability \u00B1 (\u00B0C):", "Stability", 0.0},
    };
    int at = 0;
    for (const auto& input : inputs) {
        QLineEdit* field = addField(input.field, QString::fromUtf8(input.name));
        // Blank is the default, which the field shows; the reference's U has none: a record
        // needs it from the register or typed, above 0.
        field->setPlaceholderText(input.field == CheckField::Uncertainty
                                      ? QStringLiteral("required")
                                      : QLocale().toString(input.fallback));
        ui::reserveWidth(field, QStringLiteral("0.00000"));
        grid->addWidget(new QLabel(QString::fromUtf8(input.label), group), at / 3, at % 3 * 2);
        grid->addWidget(field, at / 3, at % 3 * 2 + 1);
        ++at;
    }
    auto* budget = new QPushButton(QStringLiteral("Bud&get..."), group);
    budget->setObjectName(QStringLiteral("ShowBudget"));
    connect(budget, &QPushButton::clicked, this, &CheckView::showBudgetWindow);
    grid->addWidget(budget, 1, 6);
    grid->setColumnStretch(7, 1);
    leftColumn_->addWidget(group);
}

void CheckView::createVerificationGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Verification"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Tolerance (\u00B0C):"), group), 0, 0);
    QLineEdit* tolerance = addField(CheckField::Tolerance, QStringLiteral("Tolerance"));
    ui::reserveWidth(tolerance, QStringLiteral("0.00000"));
    grid->addWidget(tolerance, 0, 1);
    ruleChoice_ = new QComboBox(group);
    ruleChoice_->setObjectName(QStringLiteral("DecisionRuleChoice"));
    ruleChoice_->setAccessibleName(QStringLiteral("Decision rule choice"));
    for (const calc::DecisionRule rule :
         {calc::DecisionRule::Guarded, calc::DecisionRule::Simple, calc::DecisionRule::NonBinary})
        ruleChoice_->addItem(QString::fromStdString(calc::ruleWord(rule)), int(rule));
    connect(ruleChoice_, &QComboBox::currentIndexChanged, this, &CheckView::edited);
    auto* ruleLabel = new QLabel(QStringLiteral("Decision r&ule:"), group);
    ruleLabel->setBuddy(ruleChoice_);
    grid->addWidget(ruleLabel, 0, 2);
    grid->addWidget(ruleChoice_, 0, 3, Qt::AlignLeft);
    addReadingRows(grid);
    asFoundVerdict_ = addValue(QStringLiteral("As-found verdict"));
    verdict_ = addValue(QStringLiteral("Verdict"));
    verdict_->setStyleSheet(QStringLiteral("font-weight: bold"));
    rule_ = addValue(QStringLiteral("Decision rule"));
    // Below every field, so that the sentence growing or going moves none of them.
    for (QLabel* said : {asFoundVerdict_, verdict_, rule_})
        said->setWordWrap(true);
    grid->addWidget(new QLabel(QStringLiteral("As found:"), group), 4, 0);
    grid->addWidget(asFoundVerdict_, 4, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("As left:"), group), 5, 0);
    grid->addWidget(verdict_, 5, 1, 1, 4);
    grid->addWidget(rule_, 6, 0, 1, 5);
    grid->setColumnStretch(4, 1);
    leftColumn_->addWidget(group);
}

// Each as-left field takes several readings, separated by spaces: their mean is judged with
// the U they give.
void CheckView::addReadingRows(QGridLayout* grid)
{
    QWidget* group = grid->parentWidget();
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        const CheckField reading = n == 0 ? CheckField::Reading1 : CheckField::Reading2;
        pointVerdicts_[n] = addValue(QStringLiteral("Verdict at point ") + number);
        leftU_[n] = addValue(QStringLiteral("Uncertainty as left at point ") + number);
        grid->addWidget(
            new QLabel(QStringLiteral("As-left reading at point %1:").arg(number), group), n + 1,
            0);
        QLineEdit* field = addField(reading, QStringLiteral("As-left reading at point ") + number);
        field->setToolTip(severalReadings());
        grid->addWidget(field, n + 1, 1);
        grid->addWidget(leftU_[n], n + 1, 2, 1, 2);
        grid->addWidget(pointVerdicts_[n], n + 1, 4);
    }
    addThirdPointRow(grid);
    for (std::size_t n = 0; n < 3; ++n) {
        ui::reserveWidth(leftU_[n], QStringLiteral("error -0.0000, U 0.00012 (k = 2.00)"));
        ui::reserveWidth(pointVerdicts_[n], QStringLiteral("conditional pass"));
    }
}

// The third point: its target and readings share the field's room, so that its U and verdict
// stand in line with the other two points'.
void CheckView::addThirdPointRow(QGridLayout* grid)
{
    pointVerdicts_[2] = addValue(QStringLiteral("Verdict at point 3"));
    leftU_[2] = addValue(QStringLiteral("Uncertainty as left at point 3"));
    grid->addWidget(
        new QLabel(QStringLiteral("Third point (target, readings):"), grid->parentWidget()), 3, 0);
    QLineEdit* thirdTarget =
        addField(CheckField::ThirdTarget, QStringLiteral("Third point target"));
    QLineEdit* third = addField(CheckField::ThirdReading, QStringLiteral("Third point reading"));
    third->setToolTip(severalReadings());
    ui::reserveWidth(thirdTarget, QStringLiteral("-200.00"));
    ui::reserveWidth(third, QStringLiteral("100.000 100.000"));
    auto* thirdRow = new QHBoxLayout;
    thirdRow->setContentsMargins(0, 0, 0, 0);
    thirdRow->addWidget(thirdTarget, 1);
    thirdRow->addWidget(third, 2);
    grid->addLayout(thirdRow, 3, 1);
    grid->addWidget(leftU_[2], 3, 2, 1, 2);
    grid->addWidget(pointVerdicts_[2], 3, 4);
}

void CheckView::showAdjustment()
{
    const CheckModel& model = *model_;
    const calc::Adjustment& adjustment = model.adjustment();
    const calc::CalcResult& line = adjustment.line;
    // Current codes that are no codes predict nothing: no line of zeros.
    const bool ok = model.predicted();
    slopeCode_->setText(ok ? QString::fromStdString(line.slopeCode) : QString());
    offsetCode_->setText(ok ? QString::fromStdString(line.offsetCode) : QString());
    ui::showValue(
        codeValues_,
        ok ? QStringLiteral("slope %1, offset %2 \u00B0C")
                 .arg(QLocale().toString(adjustment.appliedSlope, 'f', 4),
                      shown(adjustment.appliedOffset))
        : model.measurement() && !adjustment.ok() && line.fault != calc::CalcFault::None
            ? QString::fromStdString(messages::oneLine(messages::calculationFault(line.fault)))
            : QString());
    ui::showValue(composedNote_, ok && model.entries().composed()
                                     ? QStringLiteral("Composed with the current codes: the "
                                                      "readings were taken under them.")
                                     : QString());
    QStringList warnings;
    if (ok && adjustment.slopeWraps)
        warnings << QStringLiteral("The slope %1 does not fit its code: the instrument will apply "
                                   "%2.")
                        .arg(QLocale().toString(line.slope, 'g', 10),
                             QLocale().toString(adjustment.appliedSlope, 'f', 4));
    if (ok && adjustment.offsetWraps)
        warnings << QStringLiteral("The offset %1 \u00B0C does not fit its code: the instrument "
                                   "will apply %2 \u00B0C.")
                        .arg(QLocale().toString(line.offset, 'g', 10),
                             shown(adjustment.appliedOffset));
    ui::showValue(codeWarning_, warnings.join(QLatin1Char(' ')));
    showPoints(adjustment, ok);
}

void CheckView::showPoints(const calc::Adjustment& adjustment, bool ok)
{
    for (std::size_t n = 0; n < 2; ++n) {
        const bool has = ok && n < adjustment.points.size();
        const calc::PointPrediction* point = has ? &adjustment.points[n] : nullptr;
        ui::showValue(pointTexts_[n],
                      has ? shown(point->target) + QStringLiteral(", ") + shown(point->indicated)
                          : QString());
        ui::showValue(asLeft_[n], has ? shown(point->asLeft) : QString());
        ui::showValue(predictedError_[n], has ? shown(point->error) : QString());
    }
    ui::showValue(largestError_, ok ? shown(adjustment.largestError) : QString());
}

void CheckView::showVerdicts()
{
    const CheckModel& model = *model_;
    const bool ok = model.evaluated();
    const std::optional<calc::Outcome> asFound = model.asFoundOutcome();
    const std::optional<calc::Outcome> asLeft = model.asLeftOutcome();
    showPointVerdicts(asLeft && asLeft->verdict);
    for (std::size_t n = 0; n < 2; ++n)
        ui::showValue(foundU_[n],
                      ok ? uncertaintyText(model.evaluation()->asFound[n].budget) : QString());
    const auto words = [](const std::optional<calc::Outcome>& outcome) {
        return outcome ? QString::fromStdString(calc::outcomeText(*outcome)) : QString();
    };
    ui::showValue(asFoundVerdict_, words(asFound));
    ui::showValue(verdict_, words(asLeft));
    QString said = model.evaluation() && !ok   ? evaluationFault(*model.evaluation())
                   : model.entries().tolerance ? QString::fromStdString(calc::ruleStatement(rule()))
                                               : QString();
    if (const double largest = largestU(model);
        model.entries().tolerance &&
        calc::riskySimpleAcceptance(rule(), largest, *model.entries().tolerance))
        said += QLatin1Char(' ') + QString::fromStdString(messages::simpleAcceptanceRisk(
                                       largest, *model.entries().tolerance));
    // Not judged says why, so that it is not taken for a fault of the instrument.
    const auto notJudged = [](const std::optional<calc::Outcome>& outcome) {
        return outcome && outcome->verdict == calc::Verdict::NotJudged;
    };
    if (notJudged(asFound) || notJudged(asLeft))
        said += QLatin1Char(' ') + QString::fromStdString(messages::notJudgedReason());
    if (ok)
        if (const std::string outside =
                messages::outsideScope(calc::outsideScope(*model.evaluation()));
            !outside.empty())
            said += QLatin1Char(' ') + QString::fromStdString(outside);
    ui::showValue(rule_, said);
}

// Each as-left field's verdict and U: those of its target's result, which holds every
// reading taken at that target.
void CheckView::showPointVerdicts(bool judged)
{
    const CheckModel& model = *model_;
    for (std::size_t n = 0; n < 3; ++n) {
        const calc::PointResult* result = model.asLeftResult(n);
        ui::showValue(pointVerdicts_[n],
                      result && judged
                          ? QString::fromStdString(calc::verdictText(result->verdict)).toLower()
                          : QString());
        ui::showValue(leftU_[n],
                      result ? QStringLiteral("error %1, %2")
                                   .arg(shown(result->error), uncertaintyText(result->budget))
                             : QString());
    }
}

void CheckView::showBudgets()
{
    if (!budgetWindow_ || !model_)
        return;
    const CheckModel& model = *model_;
    std::vector<BudgetWindow::Point> points;
    const bool ok = model.evaluation() && model.evaluation()->ok();
    if (ok) {
        for (const calc::PointResult& point : model.evaluation()->asFound)
            points.push_back({QStringLiteral("As found at %1 \u00B0C").arg(fieldText(point.target)),
                              point.budget});
        for (const calc::PointResult& point : model.evaluation()->asLeft)
            points.push_back({QStringLiteral("As left at %1 \u00B0C").arg(fieldText(point.target)),
                              point.budget});
    }
    budgetWindow_->showBudgets(points,
                               ok                   ? QString()
                               : model.evaluation() ? evaluationFault(*model.evaluation())
                               : !model.measurement()
                                   ? QStringLiteral("Calculate the codes in the main window first.")
                                   : QStringLiteral("Give the reference's U for the budgets."));
}

void CheckView::showBudgetWindow()
{
    if (!budgetWindow_)
        budgetWindow_ = new BudgetWindow(this);
    showBudgets();
    budgetWindow_->show();
    budgetWindow_->raise();
    budgetWindow_->activateWindow();
}

void CheckView::plotErrors()
{
    const CheckModel& model = *model_;
    const CheckEntries& entries = model.entries();
    std::vector<AtTarget> found, predicted, verification;
    if (model.measurement()) {
        for (const calc::PointReadings& point : entries.asFound(*model.measurement()))
            found.push_back({point.target, calc::budgetOf({}, point.readings).mean});
        for (const calc::PointPrediction& point : model.adjustment().points)
            predicted.push_back({point.target, point.error});
        for (const calc::VerificationReading& reading : entries.verification(*model.measurement()))
            verification.push_back({reading.target, reading.reading});
    } else if (entries.thirdTarget) {
        for (double reading : entries.thirdReadings)
            verification.push_back({*entries.thirdTarget, reading});
    }
    plot_->setData(errorPlotData(found, predicted, verification, entries.tolerance));
}

} // namespace quarvet::adjust
