#include "adjustmentwindow.h"

#include "errorplot.h"
#include "memorytextdialog.h"
#include "recordfields.h"

#include "instrument/memorydecoder.h"
#include "messages/messages.h"
#include "records/recordformat.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QCloseEvent>
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

// A sentence holding a number written with a point, in the user's locale.
QString localised(const std::string& sentence)
{
    QString text = QString::fromStdString(sentence);
    const qsizetype open = text.lastIndexOf(QLatin1Char('='));
    return open < 0 ? text
                    : text.left(open) +
                          text.mid(open).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

// A field whose text is no number, or no code, is marked until it is one.
void mark(QLineEdit* field, bool wrong)
{
    field->setStyleSheet(wrong ? QStringLiteral("background: #ffd0d0") : QString());
}

// Two records that say the same, whenever and under whatever id they were saved.
bool sameContent(records::Record first, const records::Record& second)
{
    first.id = second.id;
    first.createdUtc = second.createdUtc;
    first.corrects = second.corrects;
    return first == second;
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
    createVerificationGroup();
    plot_ = new ErrorPlot(this);
    plot_->setObjectName(QStringLiteral("ErrorPlot"));
    problems_ = addValue(QStringLiteral("Entry problems"));
    leftColumn_->addWidget(plot_, 1);
    leftColumn_->addWidget(problems_);
    createRecordColumn();
    refresh();
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
    const QStringList headings{QStringLiteral("Point"), QStringLiteral("Target, indicated"),
                               QStringLiteral("As-left reading"), QStringLiteral("Error")};
    for (int column = 0; column < headings.size(); ++column)
        grid->addWidget(new QLabel(headings[column], group), 0, column);
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        grid->addWidget(new QLabel(number, group), n + 1, 0);
        pointTexts_[n] = addValue(QStringLiteral("Target and indicated at point ") + number);
        asLeft_[n] = addValue(QStringLiteral("Predicted as-left reading at point ") + number);
        predictedError_[n] = addValue(QStringLiteral("Predicted error at point ") + number);
        grid->addWidget(pointTexts_[n], n + 1, 1);
        grid->addWidget(asLeft_[n], n + 1, 2);
        grid->addWidget(predictedError_[n], n + 1, 3);
    }
    largestError_ = addValue(QStringLiteral("Largest error"));
    grid->addWidget(new QLabel(QStringLiteral("Largest error:"), group), 3, 2);
    grid->addWidget(largestError_, 3, 3);
    leftColumn_->addWidget(group);
}

void AdjustmentWindow::createVerificationGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Verification"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Tolerance (\u00B0C):"), group), 0, 0);
    grid->addWidget(addField(CheckField::Tolerance, QStringLiteral("Tolerance")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Uncertainty U (\u00B0C):"), group), 0, 2);
    grid->addWidget(
        addField(CheckField::Uncertainty, QStringLiteral("Uncertainty"), QStringLiteral("0")), 0,
        3);
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        const CheckField reading = n == 0 ? CheckField::Reading1 : CheckField::Reading2;
        pointVerdicts_[n] = addValue(QStringLiteral("Verdict at point ") + number);
        grid->addWidget(
            new QLabel(QStringLiteral("As-left reading at point %1:").arg(number), group), n + 1,
            0);
        grid->addWidget(addField(reading, QStringLiteral("As-left reading at point ") + number),
                        n + 1, 1);
        grid->addWidget(pointVerdicts_[n], n + 1, 2);
    }
    pointVerdicts_[2] = addValue(QStringLiteral("Verdict at point 3"));
    grid->addWidget(new QLabel(QStringLiteral("Third point (target, reading):"), group), 3, 0);
    grid->addWidget(addField(CheckField::ThirdTarget, QStringLiteral("Third point target")), 3, 1);
    grid->addWidget(addField(CheckField::ThirdReading, QStringLiteral("Third point reading")), 3,
                    2);
    grid->addWidget(pointVerdicts_[2], 3, 3);
    verdict_ = addValue(QStringLiteral("Verdict"));
    verdict_->setStyleSheet(QStringLiteral("font-weight: bold"));
    rule_ = addValue(QStringLiteral("Decision rule"));
    grid->addWidget(verdict_, 4, 0);
    grid->addWidget(rule_, 4, 1, 1, 3);
    leftColumn_->addWidget(group);
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
    saving_ = new ui::StoreCall(ui::StoreCall::savingThreads(), this);
    // A database whose network went quiet can keep the answer for long: said, not hidden.
    connect(saving_, &ui::StoreCall::overdue, this, [this] {
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
    measurement_ = values;
    typedEntries_ = typed;
    refresh();
}

void AdjustmentWindow::setRecordStoreSource(StoreSource source)
{
    storeSource_ = std::move(source);
}

void AdjustmentWindow::correct(const records::Record& record)
{
    corrects_ = record.id;
    setWindowTitle(QStringLiteral("Adjustment check \u2013 correcting record %1")
                       .arg(records::shortId(record.id)));
    field(CheckField::CurrentSlope)->setText(record.currentSlopeCode);
    field(CheckField::CurrentOffset)->setText(record.currentOffsetCode);
    field(CheckField::Tolerance)
        ->setText(record.tolerance ? fieldText(*record.tolerance) : QString());
    field(CheckField::Uncertainty)->setText(fieldText(record.referenceUncertainty));
    const std::array<QLineEdit*, 4> points{field(CheckField::Reading1), field(CheckField::Reading2),
                                           field(CheckField::ThirdTarget),
                                           field(CheckField::ThirdReading)};
    for (QLineEdit* point : points)
        point->clear();
    // Readings at the two targets go to their points, the first other one to the third.
    for (const records::VerificationReading& reading : record.verification) {
        if (reading.target == record.entriesRead[0] && points[0]->text().isEmpty())
            points[0]->setText(fieldText(reading.reading));
        else if (reading.target == record.entriesRead[1] && points[1]->text().isEmpty())
            points[1]->setText(fieldText(reading.reading));
        else if (points[2]->text().isEmpty()) {
            points[2]->setText(fieldText(reading.target));
            points[3]->setText(fieldText(reading.reading));
        }
    }
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
            return field(entries_.typed[static_cast<std::size_t>(CheckField::ThirdTarget)]
                             ? CheckField::ThirdReading
                             : CheckField::ThirdTarget);
        return nullptr;
    default:
        return recordFields_->fieldFor(refusal.field);
    }
}

// The window's own entries, as the live check reads them: a wrong one, an empty U and an
// incomplete verification are refused before the record is composed.
// A number of the record holding the separator the locale does not use: 0.1 kept as 1 where
// the comma is decimal. The live view warns of it; a record, kept for good, is refused.
bool AdjustmentWindow::foreignSeparatorRefused()
{
    CheckTexts texts;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        texts[n] = fields_[n]->text();
    if (const records::Refusal refusal = entries_.foreignRefusal(texts); !refusal.ok()) {
        const auto first = std::find(entries_.foreign.begin(), entries_.foreign.end(), true);
        refuse(QString::fromStdString(messages::recordRefusal(refusal)),
               fields_[static_cast<std::size_t>(first - entries_.foreign.begin())]);
        return true;
    }
    const auto pair = calc::probeSeparators(ui::currentSeparators());
    for (const QString& typed : typedEntries_)
        if (pair && calc::holds(typed.toStdString(), pair->foreign)) {
            refuse(records::foreignSeparator(records::RecordField::Entries, typed.toStdString(),
                                             *pair));
            return true;
        }
    return false;
}

bool AdjustmentWindow::entriesRefused()
{
    if (entries_.anyWrong()) {
        QStringList names;
        QWidget* first = nullptr;
        for (std::size_t n = 0; n < checkFieldCount; ++n)
            if (entries_.wrong[n]) {
                names << fields_[n]->accessibleName();
                first = first ? first : fields_[n];
            }
        refuse(QStringLiteral("Not a number or no code: ") + names.join(QStringLiteral(", ")),
               first);
        return true;
    }
    if (foreignSeparatorRefused())
        return true;
    records::Refusal refusal = entries_.incomplete();
    if (!entries_.uncertainty) {
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
    if (!measurement_) {
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
    input.current = *entries_.current;
    input.referenceUncertainty = *entries_.uncertainty;
    input.tolerance = entries_.tolerance;
    for (const calc::VerificationReading& reading : entries_.verification(*measurement_))
        input.verification.append({reading.target, reading.reading});
    input.entriesRead = *measurement_;
    input.entriesTyped = typedEntries_;
    input.corrects = corrects_;
    return input;
}

bool AdjustmentWindow::isSaving() const
{
    return saving_->isBusy();
}

void AdjustmentWindow::saveRecord()
{
    if (saving_->isBusy())
        return;
    const auto input = recordInput();
    if (!input)
        return;
    const records::Composition composition =
        records::composeRecord(*input, QDate::currentDate(), QDateTime::currentDateTimeUtc(),
                               QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!composition.ok()) {
        refuse(composition.refusal);
        return;
    }
    // The store keeps every record for good: pressing Save again on what was just saved would
    // make a second copy that nobody could remove.
    if (lastSaved_ && sameContent(*lastSaved_, composition.record)) {
        refuse(QStringLiteral("This record was saved already (%1). Change what is to be "
                              "recorded to save another one.")
                   .arg(records::shortId(lastSaved_->id)),
               nullptr);
        return;
    }
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store) {
        refuse(QStringLiteral("There is no record store to save to."), nullptr);
        return;
    }
    startSaving(store, composition.record);
}

void AdjustmentWindow::startSaving(const std::shared_ptr<records::RecordStore>& store,
                                   const records::Record& record)
{
    // What is saved is what the window showed at Ctrl+S: the record fields wait meanwhile.
    saveButton_->setEnabled(false);
    recordFields_->setEnabled(false);
    ui::showValue(recordStatus_,
                  QStringLiteral("Saving the record to %1 ...").arg(store->location()));
    saving_->start(
        [store, record] { return store->add(record); },
        [this, record](const records::StoreFailure& failure) { finishSaving(record, failure); });
}

void AdjustmentWindow::finishSaving(const records::Record& record,
                                    const records::StoreFailure& failure)
{
    saveButton_->setEnabled(true);
    recordFields_->setEnabled(true);
    if (failure.failed()) {
        ui::showValue(recordStatus_, QStringLiteral("The record was not saved."));
        emit savingFinished(false);
        refuse(failure.message, nullptr);
        return;
    }
    lastSaved_ = record;
    // A further save from a correction corrects this correction, so that the record it
    // corrected never has two live corrections.
    if (!corrects_.isEmpty())
        corrects_ = record.id;
    ui::showValue(
        recordStatus_,
        QStringLiteral("Saved record %1 (%2, %3).")
            .arg(records::shortId(record.id), records::printableText(record.serial),
                 record.verdict.isEmpty() ? QStringLiteral("not verified") : record.verdict));
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
    if (saving_->holdClose(event)) {
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
    entries_ = readCheckEntries(texts, ui::currentSeparators());
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        mark(fields_[n], entries_.wrong[n]);
}

void AdjustmentWindow::refresh()
{
    if (!problems_)
        return; // still being built
    readEntries();
    calc::Adjustment adjustment;
    if (measurement_ && entries_.current) {
        const auto& m = *measurement_;
        const calc::ReferencePoint points[] = {{m[0], m[2]}, {m[1], m[3]}};
        adjustment = calc::adjust(points, *entries_.current);
    }
    showAdjustment(adjustment);
    showVerdicts();
    plotErrors(adjustment);
    QStringList problems;
    QStringList wrong;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        if (entries_.wrong[n])
            wrong << fields_[n]->accessibleName();
    if (!wrong.isEmpty())
        problems << QStringLiteral("Not a number or no code: ") + wrong.join(QStringLiteral(", "));
    if (entries_.foreignSeparator)
        problems << QString::fromStdString(
            messages::oneLine(messages::separatorWarning(*entries_.foreignSeparator)));
    ui::showValue(problems_, problems.join(QLatin1Char('\n')));
}

void AdjustmentWindow::showAdjustment(const calc::Adjustment& adjustment)
{
    const calc::CalcResult& line = adjustment.line;
    const bool ok = adjustment.ok() && measurement_;
    slopeCode_->setText(ok ? QString::fromStdString(line.slopeCode) : QString());
    offsetCode_->setText(ok ? QString::fromStdString(line.offsetCode) : QString());
    ui::showValue(
        codeValues_,
        ok ? QStringLiteral("slope %1, offset %2 \u00B0C")
                 .arg(QLocale().toString(adjustment.appliedSlope, 'f', 4),
                      shown(adjustment.appliedOffset))
        : measurement_ && !adjustment.ok() && line.fault != calc::CalcFault::None
            ? QString::fromStdString(messages::oneLine(messages::calculationFault(line.fault)))
            : QString());
    ui::showValue(composedNote_, ok && entries_.composed()
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
    // Judged once the tolerance and both as-left readings are there, with nothing half given:
    // the same rule a saved record is held to.
    const bool complete = measurement_ && entries_.judgeable();
    const std::vector<calc::VerificationReading> readings =
        complete ? entries_.verification(*measurement_) : std::vector<calc::VerificationReading>{};
    const calc::Verification verification =
        complete ? calc::verify(readings, *entries_.tolerance, *entries_.uncertainty)
                 : calc::Verification{};
    const bool judged = complete && verification.ok();
    const std::array<bool, 3> present{true, true, entries_.thirdTarget && entries_.thirdReading};
    std::size_t taken = 0;
    for (std::size_t n = 0; n < 3; ++n) {
        const bool here = judged && present[n];
        ui::showValue(
            pointVerdicts_[n],
            here ? QString::fromStdString(calc::verdictText(verification.points[taken].verdict))
                       .toLower()
                 : QString());
        taken += here ? 1 : 0;
    }
    ui::showValue(verdict_, judged ? QString::fromStdString(calc::verdictText(verification.verdict))
                                   : QString());
    QString rule = complete && !verification.ok()
                       ? QString::fromStdString(messages::verificationFault(verification.fault))
                   : entries_.uncertainty ? localised(messages::decisionRule(*entries_.uncertainty))
                                          : QString();
    // Not judged says why, so that it is not taken for a fault of the instrument.
    if (judged && verification.verdict == calc::Verdict::NotJudged)
        rule += QLatin1Char(' ') + QString::fromStdString(messages::notJudgedReason());
    ui::showValue(rule_, rule);
}

void AdjustmentWindow::plotErrors(const calc::Adjustment& adjustment)
{
    ErrorPlot::Data data;
    if (measurement_) {
        for (std::size_t n = 0; n < 2; ++n)
            data.asFound.emplace_back((*measurement_)[n],
                                      (*measurement_)[n + 2] - (*measurement_)[n]);
        for (const calc::PointPrediction& point : adjustment.points)
            data.asLeft.emplace_back(point.target, point.error);
        for (const calc::VerificationReading& reading : entries_.verification(*measurement_))
            data.verification.emplace_back(reading.target, reading.reading - reading.target);
    } else if (entries_.thirdTarget && entries_.thirdReading) {
        data.verification.emplace_back(*entries_.thirdTarget,
                                       *entries_.thirdReading - *entries_.thirdTarget);
    }
    if (entries_.tolerance && *entries_.tolerance > 0)
        data.tolerance = *entries_.tolerance;
    plot_->setData(std::move(data));
}

} // namespace quarvet::adjust
