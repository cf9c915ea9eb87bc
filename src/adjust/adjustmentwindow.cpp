#include "adjustmentwindow.h"

#include "budgetwindow.h"
#include "errorplot.h"
#include "memorytextdialog.h"
#include "recordfields.h"
#include "recordsaving.h"

#include "instrument/memorydecoder.h"
#include "lab/certificates.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QUuid>
#include <QVBoxLayout>

#include <cmath>

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

// A stored number back in a field, as the user's locale writes it and exactly.
QString fieldText(double value)
{
    return QLocale().toString(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

AdjustmentWindow::AdjustmentWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("AdjustmentCheck"));
    setWindowTitle(QStringLiteral("Adjustment check"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* columns = new QHBoxLayout(this);
    leftColumn_ = new QVBoxLayout;
    columns->addLayout(leftColumn_, 3);
    createCodeGroup();
    createPointGroup();
    createBudgetGroup();
    createVerificationGroup();
    plot_ = new ErrorPlot(this);
    plot_->setObjectName(QStringLiteral("ErrorPlot"));
    problems_ = addValue(QStringLiteral("Entry problems"));
    leftColumn_->addWidget(plot_, 1);
    leftColumn_->addWidget(problems_);
    createRecordColumn();
    refresh();
}

AdjustmentWindow::~AdjustmentWindow()
{
    disconnect(recordFields_, nullptr, this, nullptr);
}

QLineEdit* AdjustmentWindow::addField(CheckField which, const QString& accessibleName,
                                      const QString& text)
{
    auto* field = new QLineEdit(text, this);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    connect(field, &QLineEdit::textChanged, this, &AdjustmentWindow::refresh);
    fields_[static_cast<std::size_t>(which)] = field;
    return field;
}

QLabel* AdjustmentWindow::addValue(const QString& accessibleName)
{
    auto* value = new QLabel(this);
    value->setAccessibleName(accessibleName);
    // Some of these quote what was typed or pasted: never taken for markup.
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return value;
}

void AdjustmentWindow::createCodeGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Codes"), this);
    auto* form = new QFormLayout(group);
    addField(CheckField::CurrentSlope, QStringLiteral("Current slope code"),
             QStringLiteral("2710"));
    addField(CheckField::CurrentOffset, QStringLiteral("Current offset code"),
             QStringLiteral("0000"));
    auto* read = new QPushButton(QStringLiteral("Read from &memory text..."), group);
    read->setObjectName(QStringLiteral("ReadFromMemory"));
    connect(read, &QPushButton::clicked, this, &AdjustmentWindow::readFromMemory);
    slopeCode_ = new QLineEdit(this);
    offsetCode_ = new QLineEdit(this);
    slopeCode_->setAccessibleName(QStringLiteral("Slope code to write"));
    offsetCode_->setAccessibleName(QStringLiteral("Offset code to write"));
    for (QLineEdit* result : {slopeCode_, offsetCode_}) {
        result->setAlignment(Qt::AlignRight);
        result->setReadOnly(true);
        // Out of the tab chain, yet a click selects the code so that it can be copied.
        result->setFocusPolicy(Qt::ClickFocus);
    }
    codeValues_ = addValue(QStringLiteral("Code values"));
    composedNote_ = addValue(QStringLiteral("Composed codes note"));
    codeWarning_ = addValue(QStringLiteral("Code warning"));
    codeWarning_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    codeWarning_->setWordWrap(true);
    form->addRow(QStringLiteral("Current codes (slope, offset):"), field(CheckField::CurrentSlope));
    form->addRow(QString(), field(CheckField::CurrentOffset));
    form->addRow(QString(), read);
    form->addRow(QStringLiteral("Codes to write (slope, offset):"), slopeCode_);
    for (QWidget* row :
         std::initializer_list<QWidget*>{offsetCode_, codeValues_, composedNote_, codeWarning_})
        form->addRow(QString(), row);
    leftColumn_->addWidget(group);
}

void AdjustmentWindow::createPointGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Predicted as left"), this);
    auto* grid = new QGridLayout(group);
    const QStringList headings{QStringLiteral("Point"),
                               QStringLiteral("Target, indicated"),
                               QStringLiteral("Further readings"),
                               QStringLiteral("As-left reading"),
                               QStringLiteral("Error"),
                               QStringLiteral("U as found")};
    for (int column = 0; column < headings.size(); ++column)
        grid->addWidget(new QLabel(headings[column], group), 0, column);
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        grid->addWidget(new QLabel(number, group), n + 1, 0);
        pointTexts_[n] = addValue(QStringLiteral("Target and indicated at point ") + number);
        QLineEdit* further =
            addField(n == 0 ? CheckField::FoundReadings1 : CheckField::FoundReadings2,
                     QStringLiteral("Further readings at point ") + number);
        further->setToolTip(QStringLiteral("Readings taken at this point besides the main "
                                           "window's, separated by spaces: their mean is used"));
        asLeft_[n] = addValue(QStringLiteral("Predicted as-left reading at point ") + number);
        predictedError_[n] = addValue(QStringLiteral("Predicted error at point ") + number);
        foundU_[n] = addValue(QStringLiteral("Uncertainty as found at point ") + number);
        grid->addWidget(pointTexts_[n], n + 1, 1);
        grid->addWidget(further, n + 1, 2);
        grid->addWidget(asLeft_[n], n + 1, 3);
        grid->addWidget(predictedError_[n], n + 1, 4);
        grid->addWidget(foundU_[n], n + 1, 5);
    }
    largestError_ = addValue(QStringLiteral("Largest error"));
    grid->addWidget(new QLabel(QStringLiteral("Largest error:"), group), 3, 3);
    grid->addWidget(largestError_, 3, 4);
    leftColumn_->addWidget(group);
}

void AdjustmentWindow::createBudgetGroup()
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
        grid->addWidget(new QLabel(QString::fromUtf8(input.label), group), at / 2, at % 2 * 2);
        grid->addWidget(field, at / 2, at % 2 * 2 + 1);
        ++at;
    }
    auto* budget = new QPushButton(QStringLiteral("Bud&get..."), group);
    budget->setObjectName(QStringLiteral("ShowBudget"));
    connect(budget, &QPushButton::clicked, this, &AdjustmentWindow::showBudgetWindow);
    grid->addWidget(budget, 3, 3);
    leftColumn_->addWidget(group);
}

void AdjustmentWindow::createVerificationGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Verification"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Tolerance (\u00B0C):"), group), 0, 0);
    grid->addWidget(addField(CheckField::Tolerance, QStringLiteral("Tolerance")), 0, 1);
    ruleChoice_ = new QComboBox(group);
    ruleChoice_->setObjectName(QStringLiteral("DecisionRuleChoice"));
    ruleChoice_->setAccessibleName(QStringLiteral("Decision rule choice"));
    for (const calc::DecisionRule rule :
         {calc::DecisionRule::Guarded, calc::DecisionRule::Simple, calc::DecisionRule::NonBinary})
        ruleChoice_->addItem(QString::fromStdString(calc::ruleWord(rule)), int(rule));
    connect(ruleChoice_, &QComboBox::currentIndexChanged, this, &AdjustmentWindow::refresh);
    auto* ruleLabel = new QLabel(QStringLiteral("Decision r&ule:"), group);
    ruleLabel->setBuddy(ruleChoice_);
    grid->addWidget(ruleLabel, 0, 2);
    grid->addWidget(ruleChoice_, 0, 3);
    addReadingRows(grid);
    asFoundVerdict_ = addValue(QStringLiteral("As-found verdict"));
    verdict_ = addValue(QStringLiteral("Verdict"));
    verdict_->setStyleSheet(QStringLiteral("font-weight: bold"));
    rule_ = addValue(QStringLiteral("Decision rule"));
    rule_->setWordWrap(true);
    grid->addWidget(new QLabel(QStringLiteral("As found:"), group), 4, 0);
    grid->addWidget(asFoundVerdict_, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("As left:"), group), 4, 2);
    grid->addWidget(verdict_, 4, 3);
    grid->addWidget(rule_, 5, 0, 1, 5);
    leftColumn_->addWidget(group);
}

// Each as-left field takes several readings, separated by spaces: their mean is judged with
// the U they give.
void AdjustmentWindow::addReadingRows(QGridLayout* grid)
{
    QWidget* group = grid->parentWidget();
    const QString several = QStringLiteral("Readings separated by spaces: their mean is judged");
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        const CheckField reading = n == 0 ? CheckField::Reading1 : CheckField::Reading2;
        pointVerdicts_[n] = addValue(QStringLiteral("Verdict at point ") + number);
        leftU_[n] = addValue(QStringLiteral("Uncertainty as left at point ") + number);
        grid->addWidget(
            new QLabel(QStringLiteral("As-left reading at point %1:").arg(number), group), n + 1,
            0);
        QLineEdit* field = addField(reading, QStringLiteral("As-left reading at point ") + number);
        field->setToolTip(several);
        grid->addWidget(field, n + 1, 1);
        grid->addWidget(leftU_[n], n + 1, 3);
        grid->addWidget(pointVerdicts_[n], n + 1, 4);
    }
    pointVerdicts_[2] = addValue(QStringLiteral("Verdict at point 3"));
    leftU_[2] = addValue(QStringLiteral("Uncertainty as left at point 3"));
    grid->addWidget(new QLabel(QStringLiteral("Third point (target, readings):"), group), 3, 0);
    grid->addWidget(addField(CheckField::ThirdTarget, QStringLiteral("Third point target")), 3, 1);
    QLineEdit* third = addField(CheckField::ThirdReading, QStringLiteral("Third point reading"));
    third->setToolTip(several);
    grid->addWidget(third, 3, 2);
    grid->addWidget(leftU_[2], 3, 3);
    grid->addWidget(pointVerdicts_[2], 3, 4);
}

void AdjustmentWindow::createRecordColumn()
{
    auto* column = new QVBoxLayout;
    recordFields_ = new RecordFields(this);
    saveButton_ = new QPushButton(QStringLiteral("&Save record"), this);
    saveButton_->setObjectName(QStringLiteral("SaveRecord"));
    saveButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveButton_->setToolTip(QStringLiteral("Save record (Ctrl+S)"));
    connect(saveButton_, &QPushButton::clicked, this, &AdjustmentWindow::saveRecord);
    recordStatus_ = addValue(QStringLiteral("Record status"));
    recordStatus_->setWordWrap(true);
    column->addWidget(recordFields_);
    column->addWidget(saveButton_);
    column->addWidget(recordStatus_);
    column->addStretch(1);
    static_cast<QHBoxLayout*>(layout())->addLayout(column, 2);
    saver_ = new RecordSaving(this);
    connect(recordFields_, &RecordFields::referenceEdited, saver_, &RecordSaving::lookUp);
    connectSaving();
}

void AdjustmentWindow::connectSaving()
{
    connect(saver_, &RecordSaving::offered, recordFields_, &RecordFields::offer);
    connect(saver_, &RecordSaving::found, this, &AdjustmentWindow::showFromRegister);
    connect(saver_, &RecordSaving::refused, this,
            qOverload<const records::Refusal&>(&AdjustmentWindow::refuse));
    connect(saver_, &RecordSaving::refusedSaying, this, [this](const QString& why, bool reference) {
        refuse(why, reference ? recordFields_->fieldFor(records::RecordField::Reference) : nullptr);
    });
    connect(saver_, &RecordSaving::savingStarted, this, &AdjustmentWindow::showSavingStarted);
    connect(saver_, &RecordSaving::saved, this, &AdjustmentWindow::showSaved);
    connect(saver_, &RecordSaving::notSaved, this, &AdjustmentWindow::showNotSaved);
    // A database whose network went quiet can keep the answer for long: said, not hidden.
    connect(saver_, &RecordSaving::overdue, this, [this] {
        ui::showValue(recordStatus_, QStringLiteral("The record store has not answered for two "
                                                    "minutes. The record will be saved whole or "
                                                    "not at all; look in the history before "
                                                    "saving it again."));
    });
}

void AdjustmentWindow::setMeasurement(double target1, double target2, double indicated1,
                                      double indicated2)
{
    const std::array<double, 4> values{target1, target2, indicated1, indicated2};
    std::array<QString, 4> typed;
    for (std::size_t n = 0; n < 4; ++n)
        typed[n] = records::numberText(values[n]);
    setMeasurement(values, typed);
}

void AdjustmentWindow::setMeasurement(const std::array<double, 4>& values,
                                      const std::array<QString, 4>& typed)
{
    model_.setMeasurement(values, typed);
    refresh();
}

void AdjustmentWindow::setRecordStoreSource(StoreSource source)
{
    saver_->setStoreSource(std::move(source));
    saver_->offerWhatWasUsed();
}

// A reference standard the register holds: its U, k, drift and due date into the fields, as
// the record will take them.
void AdjustmentWindow::showFromRegister(const lab::ReferenceStandard& standard)
{
    field(CheckField::Uncertainty)->setText(fieldText(standard.U));
    field(CheckField::ReferenceK)->setText(fieldText(standard.k));
    field(CheckField::Drift)->setText(fieldText(standard.drift));
    recordFields_->setReferenceDue(standard.due);
    ui::showValue(
        recordStatus_,
        QStringLiteral("Reference %1 from the register: its certificate %2, due %3.")
            .arg(standard.identifier, standard.certificate, standard.due.toString(Qt::ISODate)));
}

lab::TypedReference AdjustmentWindow::typedReference() const
{
    const auto typed = [this](CheckField which) {
        return model_.entries().typed[static_cast<std::size_t>(which)];
    };
    return {typed(CheckField::Uncertainty),
            typed(CheckField::ReferenceK),
            typed(CheckField::Drift),
            recordFields_->referenceDueTyped(),
            QStringLiteral("The reference's U"),
            QStringLiteral("The reference's k"),
            QStringLiteral("The drift"),
            QStringLiteral("The reference's due date")};
}

void AdjustmentWindow::correct(const records::Record& record)
{
    corrects_ = record.id;
    setWindowTitle(QStringLiteral("Adjustment check \u2013 correcting record %1")
                       .arg(records::shortId(record.id)));
    calc::DecisionRule rule = calc::DecisionRule::Guarded;
    const CheckTexts texts = CheckModel::textsOf(record, rule);
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        fields_[n]->setText(texts[n]);
    ruleChoice_->setCurrentIndex(ruleChoice_->findData(int(rule)));
    recordFields_->fill(record);
    ui::showValue(recordStatus_, QStringLiteral("Correcting record %1: saving makes a new record "
                                                "that names it.")
                                     .arg(records::shortId(record.id)));
    setMeasurement(record.entriesRead, record.entriesTyped);
}

void AdjustmentWindow::refuse(const QString& why, QWidget* field)
{
    ui::messages().show(this, ui::messageTitle, why, ui::MessageService::Icon::Stop);
    if (field)
        field->setFocus();
}

void AdjustmentWindow::refuse(const records::Refusal& refusal)
{
    refuse(QString::fromStdString(messages::recordRefusal(refusal)), fieldFor(refusal));
}

QWidget* AdjustmentWindow::fieldFor(const records::Refusal& refusal) const
{
    switch (refusal.field) {
    case records::RecordField::Uncertainty:
        return field(CheckField::Uncertainty);
    case records::RecordField::Tolerance:
        return field(CheckField::Tolerance);
    case records::RecordField::Verification:
        if (refusal.point == 1 || refusal.point == 2)
            return field(refusal.point == 1 ? CheckField::Reading1 : CheckField::Reading2);
        if (refusal.point == 3)
            return field(model_.entries().typed[static_cast<std::size_t>(CheckField::ThirdTarget)]
                             ? CheckField::ThirdReading
                             : CheckField::ThirdTarget);
        return nullptr;
    default:
        return recordFields_->fieldFor(refusal.field);
    }
}

// A number of the record holding the separator the locale does not use: 0.1 kept as 1 where
// the comma is decimal. The live view warns of it; a record, kept for good, is refused.
bool AdjustmentWindow::foreignSeparatorRefused()
{
    CheckTexts texts;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        texts[n] = fields_[n]->text();
    if (const records::Refusal refusal = model_.entries().foreignRefusal(texts); !refusal.ok()) {
        const auto first =
            std::find(model_.entries().foreign.begin(), model_.entries().foreign.end(), true);
        refuse(QString::fromStdString(messages::recordRefusal(refusal)),
               fields_[static_cast<std::size_t>(first - model_.entries().foreign.begin())]);
        return true;
    }
    const auto pair = calc::probeSeparators(ui::currentSeparators());
    for (const QString& typed : model_.typedEntries())
        if (pair && calc::holds(typed.toStdString(), pair->foreign)) {
            refuse(records::foreignSeparator(records::RecordField::Entries, typed.toStdString(),
                                             *pair));
            return true;
        }
    return false;
}

bool AdjustmentWindow::entriesRefused()
{
    if (model_.entries().anyWrong()) {
        QStringList names;
        QWidget* first = nullptr;
        for (std::size_t n = 0; n < checkFieldCount; ++n)
            if (model_.entries().wrong[n]) {
                names << fields_[n]->accessibleName();
                first = first ? first : fields_[n];
            }
        refuse(QStringLiteral("Not a number or no code: ") + names.join(QStringLiteral(", ")),
               first);
        return true;
    }
    if (foreignSeparatorRefused())
        return true;
    records::Refusal refusal = model_.entries().incomplete();
    if (!model_.entries().uncertainty) {
        refusal = {};
        refusal.field = records::RecordField::Uncertainty;
        refusal.kind = records::RefusalKind::Empty;
    }
    if (refusal.ok())
        return false;
    refuse(refusal);
    return true;
}

std::optional<records::RecordInput> AdjustmentWindow::recordInput()
{
    if (!model_.measurement()) {
        refuse(QStringLiteral("A record holds a calculation: calculate the codes in the main "
                              "window first."),
               nullptr);
        return std::nullopt;
    }
    records::RecordInput input;
    if (const records::Refusal refusal = recordFields_->readInto(input); !refusal.ok()) {
        refuse(refusal);
        return std::nullopt;
    }
    if (entriesRefused())
        return std::nullopt;
    model_.fillRecordInput(input);
    input.corrects = corrects_;
    return input;
}

bool AdjustmentWindow::isSaving() const
{
    return saver_->isSaving();
}

void AdjustmentWindow::saveRecord()
{
    if (saver_->isSaving())
        return;
    if (const auto input = recordInput())
        saver_->save(*input, typedReference());
}

void AdjustmentWindow::showSavingStarted(const QString& location)
{
    // What is saved is what the window showed at Ctrl+S: the record fields wait meanwhile.
    saveButton_->setEnabled(false);
    recordFields_->setEnabled(false);
    ui::showValue(recordStatus_, QStringLiteral("Saving the record to %1 ...").arg(location));
}

void AdjustmentWindow::showNotSaved(const QString& why)
{
    saveButton_->setEnabled(true);
    recordFields_->setEnabled(true);
    ui::showValue(recordStatus_, QStringLiteral("The record was not saved."));
    emit savingFinished(false);
    refuse(why, nullptr);
}

void AdjustmentWindow::showSaved(const records::Record& record)
{
    saveButton_->setEnabled(true);
    recordFields_->setEnabled(true);
    // A further save from a correction corrects this correction, so that the record it
    // corrected never has two live corrections.
    if (!corrects_.isEmpty())
        corrects_ = record.id;
    ui::showValue(recordStatus_,
                  QStringLiteral("Saved record %1 (%2, %3).")
                      .arg(records::shortId(record.id), records::printableText(record.serial),
                           records::asLeftVerdictText(record)));
    emit recordSaved(record);
    emit savingFinished(true);
}

void AdjustmentWindow::showRecordStatus(const QString& text)
{
    ui::showValue(recordStatus_, text);
}

void AdjustmentWindow::closeEvent(QCloseEvent* event)
{
    // Closed in the middle of a save, the window would take the outcome with it: it closes
    // once the record is saved, and stays with what was typed when it was not.
    if (saver_->holdClose(event)) {
        ui::showValue(recordStatus_, QStringLiteral("Saving the record: the window closes once "
                                                    "it is saved."));
        return;
    }
    QWidget::closeEvent(event);
}

bool AdjustmentWindow::takeCurrentCodesFromMemory(const QString& memoryText, int displayLine,
                                                  QString& fault)
{
    const instrument::DisplayCodes codes = instrument::decodeMemory(memoryText.toStdString());
    if (!codes.ok()) {
        fault = QString::fromStdString(messages::decodeFault(codes));
        return false;
    }
    const std::string& slope = displayLine == 1 ? codes.slope1 : codes.slope2;
    const std::string& offset = displayLine == 1 ? codes.offset1 : codes.offset2;
    if (slope.empty()) {
        fault = QStringLiteral("display line %1 shows nothing for this type").arg(displayLine);
        return false;
    }
    field(CheckField::CurrentSlope)->setText(QString::fromStdString(slope).toUpper());
    field(CheckField::CurrentOffset)->setText(QString::fromStdString(offset));
    return true;
}

void AdjustmentWindow::readFromMemory()
{
    MemoryTextDialog dialog(this);
    while (dialog.exec() == QDialog::Accepted) {
        QString fault;
        if (takeCurrentCodesFromMemory(dialog.memoryText(), dialog.displayLine(), fault))
            return;
        dialog.showFault(fault);
    }
}

void AdjustmentWindow::readEntries()
{
    CheckTexts texts;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        texts[n] = fields_[n]->text();
    model_.update(texts, ui::currentSeparators(),
                  static_cast<calc::DecisionRule>(ruleChoice_->currentData().toInt()));
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        mark(fields_[n], model_.entries().wrong[n]);
}

void AdjustmentWindow::refresh()
{
    if (!problems_)
        return; // still being built
    readEntries();
    const calc::Adjustment& adjustment = model_.adjustment();
    showAdjustment(adjustment);
    showVerdicts();
    showBudgets();
    plotErrors(adjustment);
    QStringList problems;
    QStringList wrong;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        if (model_.entries().wrong[n])
            wrong << fields_[n]->accessibleName();
    if (!wrong.isEmpty())
        problems << QStringLiteral("Not a number or no code: ") + wrong.join(QStringLiteral(", "));
    if (model_.entries().foreignSeparator)
        problems << QString::fromStdString(
            messages::oneLine(messages::separatorWarning(*model_.entries().foreignSeparator)));
    ui::showValue(problems_, problems.join(QLatin1Char('\n')));
}

void AdjustmentWindow::showAdjustment(const calc::Adjustment& adjustment)
{
    const calc::CalcResult& line = adjustment.line;
    const bool ok = adjustment.ok() && model_.measurement();
    slopeCode_->setText(ok ? QString::fromStdString(line.slopeCode) : QString());
    offsetCode_->setText(ok ? QString::fromStdString(line.offsetCode) : QString());
    ui::showValue(
        codeValues_,
        ok ? QStringLiteral("slope %1, offset %2 \u00B0C")
                 .arg(QLocale().toString(adjustment.appliedSlope, 'f', 4),
                      shown(adjustment.appliedOffset))
        : model_.measurement() && !adjustment.ok() && line.fault != calc::CalcFault::None
            ? QString::fromStdString(messages::oneLine(messages::calculationFault(line.fault)))
            : QString());
    ui::showValue(composedNote_, ok && model_.entries().composed()
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

void AdjustmentWindow::showPoints(const calc::Adjustment& adjustment, bool ok)
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

void AdjustmentWindow::showVerdicts()
{
    const bool ok = model_.evaluated();
    const std::optional<calc::Outcome> asFound = model_.asFoundOutcome();
    const std::optional<calc::Outcome> asLeft = model_.asLeftOutcome();
    showPointVerdicts(asLeft && asLeft->verdict);
    for (std::size_t n = 0; n < 2; ++n)
        ui::showValue(foundU_[n],
                      ok ? uncertaintyText(model_.evaluation()->asFound[n].budget) : QString());
    const auto words = [](const std::optional<calc::Outcome>& outcome) {
        return outcome ? QString::fromStdString(calc::outcomeText(*outcome)) : QString();
    };
    ui::showValue(asFoundVerdict_, words(asFound));
    ui::showValue(verdict_, words(asLeft));
    const auto rule = static_cast<calc::DecisionRule>(ruleChoice_->currentData().toInt());
    QString said = model_.evaluation() && !ok   ? evaluationFault(*model_.evaluation())
                   : model_.entries().tolerance ? QString::fromStdString(calc::ruleStatement(rule))
                                                : QString();
    // Not judged says why, so that it is not taken for a fault of the instrument.
    const auto notJudged = [](const std::optional<calc::Outcome>& outcome) {
        return outcome && outcome->verdict == calc::Verdict::NotJudged;
    };
    if (notJudged(asFound) || notJudged(asLeft))
        said += QLatin1Char(' ') + QString::fromStdString(messages::notJudgedReason());
    ui::showValue(rule_, said);
}

// Each as-left field's verdict and U: those of its target's result, which holds every
// reading taken at that target.
void AdjustmentWindow::showPointVerdicts(bool judged)
{
    for (std::size_t n = 0; n < 3; ++n) {
        const calc::PointResult* result = model_.asLeftResult(n);
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

void AdjustmentWindow::showBudgets()
{
    if (!budgetWindow_)
        return;
    std::vector<BudgetWindow::Point> points;
    const bool ok = model_.evaluation() && model_.evaluation()->ok();
    if (ok) {
        for (const calc::PointResult& point : model_.evaluation()->asFound)
            points.push_back({QStringLiteral("As found at %1 \u00B0C").arg(fieldText(point.target)),
                              point.budget});
        for (const calc::PointResult& point : model_.evaluation()->asLeft)
            points.push_back({QStringLiteral("As left at %1 \u00B0C").arg(fieldText(point.target)),
                              point.budget});
    }
    budgetWindow_->showBudgets(points,
                               ok                    ? QString()
                               : model_.evaluation() ? evaluationFault(*model_.evaluation())
                               : !model_.measurement()
                                   ? QStringLiteral("Calculate the codes in the main window first.")
                                   : QStringLiteral("Give the reference's U for the budgets."));
}

void AdjustmentWindow::showBudgetWindow()
{
    if (!budgetWindow_)
        budgetWindow_ = new BudgetWindow(this);
    showBudgets();
    budgetWindow_->show();
    budgetWindow_->raise();
    budgetWindow_->activateWindow();
}

void AdjustmentWindow::plotErrors(const calc::Adjustment& adjustment)
{
    ErrorPlot::Data data;
    if (model_.measurement()) {
        for (const calc::PointReadings& point : model_.entries().asFound(*model_.measurement()))
            data.asFound.emplace_back(point.target,
                                      calc::budgetOf({}, point.readings).mean - point.target);
        for (const calc::PointPrediction& point : adjustment.points)
            data.asLeft.emplace_back(point.target, point.error);
        for (const calc::VerificationReading& reading :
             model_.entries().verification(*model_.measurement()))
            data.verification.emplace_back(reading.target, reading.reading - reading.target);
    } else if (model_.entries().thirdTarget) {
        for (double reading : model_.entries().thirdReadings)
            data.verification.emplace_back(*model_.entries().thirdTarget,
                                           reading - *model_.entries().thirdTarget);
    }
    if (model_.entries().tolerance && *model_.entries().tolerance > 0)
        data.tolerance = *model_.entries().tolerance;
    plot_->setData(std::move(data));
}

} // namespace quarvet::adjust
