#include "adjustmentwindow.h"

#include "errorplot.h"
#include "recordfields.h"

#include "instrument/memorydecoder.h"
#include "messages/messages.h"
#include "records/recordformat.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

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

QLineEdit* AdjustmentWindow::addField(const QString& accessibleName, const QString& text)
{
    auto* field = new QLineEdit(text, this);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    connect(field, &QLineEdit::textChanged, this, &AdjustmentWindow::refresh);
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
    currentSlope_ = addField(QStringLiteral("Current slope code"), QStringLiteral("2710"));
    currentOffset_ = addField(QStringLiteral("Current offset code"), QStringLiteral("0000"));
    auto* read = new QPushButton(QStringLiteral("Read from &memory text..."), group);
    read->setObjectName(QStringLiteral("ReadFromMemory"));
    connect(read, &QPushButton::clicked, this, &AdjustmentWindow::readFromMemory);
    slopeCode_ = addField(QStringLiteral("Slope code to write"));
    offsetCode_ = addField(QStringLiteral("Offset code to write"));
    for (QLineEdit* result : {slopeCode_, offsetCode_}) {
        result->setReadOnly(true);
        // Out of the tab chain, yet a click selects the code so that it can be copied.
        result->setFocusPolicy(Qt::ClickFocus);
    }
    codeValues_ = addValue(QStringLiteral("Code values"));
    composedNote_ = addValue(QStringLiteral("Composed codes note"));
    codeWarning_ = addValue(QStringLiteral("Code warning"));
    codeWarning_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    codeWarning_->setWordWrap(true);
    form->addRow(QStringLiteral("Current codes (slope, offset):"), currentSlope_);
    form->addRow(QString(), currentOffset_);
    form->addRow(QString(), read);
    form->addRow(QStringLiteral("Codes to write (slope, offset):"), slopeCode_);
    form->addRow(QString(), offsetCode_);
    form->addRow(QString(), codeValues_);
    form->addRow(QString(), composedNote_);
    form->addRow(QString(), codeWarning_);
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
    tolerance_ = addField(QStringLiteral("Tolerance"));
    uncertainty_ = addField(QStringLiteral("Uncertainty"), QStringLiteral("0"));
    grid->addWidget(new QLabel(QStringLiteral("Tolerance (\u00B0C):"), group), 0, 0);
    grid->addWidget(tolerance_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Uncertainty U (\u00B0C):"), group), 0, 2);
    grid->addWidget(uncertainty_, 0, 3);
    for (int n = 0; n < 2; ++n) {
        const QString number = QString::number(n + 1);
        readings_[n] = addField(QStringLiteral("As-left reading at point ") + number);
        pointVerdicts_[n] = addValue(QStringLiteral("Verdict at point ") + number);
        grid->addWidget(
            new QLabel(QStringLiteral("As-left reading at point %1:").arg(number), group), n + 1,
            0);
        grid->addWidget(readings_[n], n + 1, 1);
        grid->addWidget(pointVerdicts_[n], n + 1, 2);
    }
    thirdTarget_ = addField(QStringLiteral("Third point target"));
    thirdReading_ = addField(QStringLiteral("Third point reading"));
    pointVerdicts_[2] = addValue(QStringLiteral("Verdict at point 3"));
    grid->addWidget(new QLabel(QStringLiteral("Third point (target, reading):"), group), 3, 0);
    grid->addWidget(thirdTarget_, 3, 1);
    grid->addWidget(thirdReading_, 3, 2);
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
    currentSlope_->setText(record.currentSlopeCode);
    currentOffset_->setText(record.currentOffsetCode);
    tolerance_->setText(record.tolerance ? fieldText(*record.tolerance) : QString());
    uncertainty_->setText(fieldText(record.referenceUncertainty));
    for (QLineEdit* field : {readings_[0], readings_[1], thirdTarget_, thirdReading_})
        field->clear();
    // Readings at the two targets go to their points, the first other one to the third.
    for (const records::VerificationReading& reading : record.verification) {
        if (reading.target == record.entriesRead[0] && readings_[0]->text().isEmpty())
            readings_[0]->setText(fieldText(reading.reading));
        else if (reading.target == record.entriesRead[1] && readings_[1]->text().isEmpty())
            readings_[1]->setText(fieldText(reading.reading));
        else if (thirdTarget_->text().isEmpty()) {
            thirdTarget_->setText(fieldText(reading.target));
            thirdReading_->setText(fieldText(reading.reading));
        }
    }
    recordFields_->fill(record);
    recordStatus_->setText(QStringLiteral("Correcting record %1: saving makes a new record that "
                                          "names it.")
                               .arg(records::shortId(record.id)));
    setMeasurement(record.entriesRead, record.entriesTyped);
}

void AdjustmentWindow::refuse(const QString& why, QWidget* field)
{
    ui::messages().show(this, ui::messageTitle, why, ui::MessageService::Icon::Stop);
    if (field)
        field->setFocus();
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
    QString wrongField;
    if (!recordFields_->readInto(input, wrongField)) {
        refuse(QStringLiteral("The %1 is not a number.").arg(wrongField.toLower()),
               recordFields_->fieldFor(records::RecordField::Ambient));
        return std::nullopt;
    }
    QStringList wrong;
    const auto current = currentCoefficients(wrong);
    const auto uncertainty = number(uncertainty_, wrong);
    const auto tolerance = number(tolerance_, wrong);
    std::array<std::optional<double>, 2> readings{number(readings_[0], wrong),
                                                  number(readings_[1], wrong)};
    const auto thirdTarget = number(thirdTarget_, wrong);
    const auto thirdReading = number(thirdReading_, wrong);
    const bool thirdHalf =
        thirdTarget_->text().trimmed().isEmpty() != thirdReading_->text().trimmed().isEmpty();
    if (!wrong.isEmpty()) {
        // The focus goes to the first field named.
        QWidget* first = nullptr;
        for (QLineEdit* field : findChildren<QLineEdit*>())
            if (!first && field->accessibleName() == wrong.first())
                first = field;
        refuse(QStringLiteral("Not a number or no code: ") + wrong.join(QStringLiteral(", ")),
               first);
        return std::nullopt;
    }
    if (!current || !uncertainty || thirdHalf) {
        refuse(!uncertainty ? QStringLiteral("The reference's uncertainty U is empty.")
                            : QStringLiteral("The third point needs its target and its reading."),
               !uncertainty                               ? static_cast<QWidget*>(uncertainty_)
               : thirdTarget_->text().trimmed().isEmpty() ? thirdTarget_
                                                          : thirdReading_);
        return std::nullopt;
    }
    input.current = *current;
    input.referenceUncertainty = *uncertainty;
    input.tolerance = tolerance;
    for (std::size_t n = 0; n < 2; ++n)
        if (readings[n])
            input.verification.append({(*measurement_)[n], *readings[n]});
    if (thirdTarget && thirdReading)
        input.verification.append({*thirdTarget, *thirdReading});
    input.entriesRead = *measurement_;
    input.entriesTyped = typedEntries_;
    input.corrects = corrects_;
    return input;
}

void AdjustmentWindow::saveRecord()
{
    if (saving_)
        return;
    const auto input = recordInput();
    if (!input)
        return;
    const records::Composition composition =
        records::composeRecord(*input, QDate::currentDate(), QDateTime::currentDateTimeUtc(),
                               QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!composition.ok()) {
        QWidget* field = recordFields_->fieldFor(composition.refused);
        if (composition.refused == records::RecordField::Uncertainty)
            field = uncertainty_;
        else if (composition.refused == records::RecordField::Tolerance)
            field = tolerance_;
        refuse(composition.refusal, field);
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
    // A busy or distant database must not freeze the window: saved on a thread of its own,
    // from a pool of its own, so that reads of the history never queue ahead of a save. What
    // is saved is what the window showed at Ctrl+S: the record fields wait meanwhile.
    saving_ = true;
    saveButton_->setEnabled(false);
    recordFields_->setEnabled(false);
    recordStatus_->setText(QStringLiteral("Saving the record to %1 ...").arg(store->location()));
    const records::Record record = composition.record;
    auto* watcher = new QFutureWatcher<records::StoreFailure>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, record] {
        finishSaving(record, watcher->result());
        watcher->deleteLater();
    });
    // Owned by the application, which waits for a save still running when it ends.
    static QThreadPool* const savingThreads = new QThreadPool(QCoreApplication::instance());
    watcher->setFuture(
        QtConcurrent::run(savingThreads, [store, record] { return store->add(record); }));
    // A database whose network went quiet can keep the answer for long: said, not hidden.
    QTimer::singleShot(std::chrono::minutes(2), watcher, [this] {
        recordStatus_->setText(QStringLiteral("The record store has not answered for two "
                                              "minutes. The record will be saved whole or not "
                                              "at all; look in the history before saving it "
                                              "again."));
    });
}

void AdjustmentWindow::finishSaving(const records::Record& record,
                                    const records::StoreFailure& failure)
{
    saving_ = false;
    saveButton_->setEnabled(true);
    recordFields_->setEnabled(true);
    if (failure.failed()) {
        // A window asked to close stays open: what was typed is not lost with it.
        closeWhenSaved_ = false;
        recordStatus_->setText(QStringLiteral("The record was not saved."));
        refuse(failure.message, nullptr);
        return;
    }
    lastSaved_ = record;
    // A further save from a correction corrects this correction, so that the record it
    // corrected never has two live corrections.
    if (!corrects_.isEmpty())
        corrects_ = record.id;
    recordStatus_->setText(
        QStringLiteral("Saved record %1 (%2, %3).")
            .arg(records::shortId(record.id), records::printableText(record.serial),
                 record.verdict.isEmpty() ? QStringLiteral("not verified") : record.verdict));
    emit recordSaved(record);
    if (closeWhenSaved_)
        close();
}

void AdjustmentWindow::closeEvent(QCloseEvent* event)
{
    // Closed in the middle of a save, the window would take the outcome with it: it closes
    // once the record is saved, and stays with what was typed when it was not.
    if (saving_) {
        closeWhenSaved_ = true;
        recordStatus_->setText(QStringLiteral("Saving the record: the window closes once it is "
                                              "saved."));
        event->ignore();
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
    currentSlope_->setText(QString::fromStdString(slope).toUpper());
    currentOffset_->setText(QString::fromStdString(offset));
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

std::optional<double> AdjustmentWindow::number(QLineEdit* field, QStringList& wrong)
{
    const calc::Separators separators = ui::currentSeparators();
    const std::string text = field->text().toStdString();
    const calc::EntryReading reading = calc::readEntry(text, separators);
    mark(field, !reading.isNumber() && !field->text().trimmed().isEmpty());
    // A number that holds the separator the locale does not use reads as something else
    // (12.5 as 125 in German): said next to the entry problems, as the main window warns.
    if (const auto pair = calc::probeSeparators(separators);
        reading.isNumber() && pair && calc::holds(text, pair->foreign))
        foreignSeparator_ = pair;
    if (reading.isNumber())
        return reading.value;
    if (!field->text().trimmed().isEmpty())
        wrong << field->accessibleName();
    return std::nullopt;
}

std::optional<calc::Coefficients> AdjustmentWindow::currentCoefficients(QStringList& wrong)
{
    const auto slope = calc::readCoefficientCode(currentSlope_->text().toStdString());
    const auto offset = calc::readCoefficientCode(currentOffset_->text().toStdString());
    mark(currentSlope_, !slope);
    mark(currentOffset_, !offset);
    if (!slope)
        wrong << currentSlope_->accessibleName();
    if (!offset)
        wrong << currentOffset_->accessibleName();
    if (!slope || !offset)
        return std::nullopt;
    return calc::Coefficients{*slope, *offset};
}

void AdjustmentWindow::refresh()
{
    if (!problems_)
        return; // still being built
    QStringList wrong;
    foreignSeparator_.reset();
    const auto current = currentCoefficients(wrong);
    calc::Adjustment adjustment;
    if (measurement_ && current) {
        const auto& m = *measurement_;
        const calc::ReferencePoint points[] = {{m[0], m[2]}, {m[1], m[3]}};
        adjustment = calc::adjust(points, *current);
    }
    showAdjustment(adjustment, current && (current->slopeCode != calc::Coefficients{}.slopeCode ||
                                           current->offsetCode != 0));
    showVerification(adjustment, wrong);
    QStringList problems;
    if (!wrong.isEmpty())
        problems << QStringLiteral("Not a number or no code: ") + wrong.join(QStringLiteral(", "));
    if (foreignSeparator_)
        problems << QString::fromStdString(
            messages::oneLine(messages::separatorWarning(*foreignSeparator_)));
    problems_->setText(problems.join(QLatin1Char('\n')));
}

void AdjustmentWindow::showAdjustment(const calc::Adjustment& adjustment, bool composed)
{
    const calc::CalcResult& line = adjustment.line;
    const bool ok = adjustment.ok() && measurement_;
    slopeCode_->setText(ok ? QString::fromStdString(line.slopeCode) : QString());
    offsetCode_->setText(ok ? QString::fromStdString(line.offsetCode) : QString());
    codeValues_->setText(
        ok ? QStringLiteral("slope %1, offset %2 \u00B0C")
                 .arg(QLocale().toString(adjustment.appliedSlope, 'f', 4),
                      shown(adjustment.appliedOffset))
        : measurement_ && !adjustment.ok() && line.fault != calc::CalcFault::None
            ? QString::fromStdString(messages::oneLine(messages::calculationFault(line.fault)))
            : QString());
    composedNote_->setText(ok && composed ? QStringLiteral("Composed with the current codes: the "
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
    codeWarning_->setText(warnings.join(QLatin1Char(' ')));
    for (std::size_t n = 0; n < 2; ++n) {
        const bool has = ok && n < adjustment.points.size();
        const calc::PointPrediction* point = has ? &adjustment.points[n] : nullptr;
        pointTexts_[n]->setText(has ? shown(point->target) + QStringLiteral(", ") +
                                          shown(point->indicated)
                                    : QString());
        asLeft_[n]->setText(has ? shown(point->asLeft) : QString());
        predictedError_[n]->setText(has ? shown(point->error) : QString());
    }
    largestError_->setText(ok ? shown(adjustment.largestError) : QString());
}

void AdjustmentWindow::showVerification(const calc::Adjustment& adjustment, QStringList& wrong)
{
    const auto tolerance = number(tolerance_, wrong);
    const auto uncertainty = number(uncertainty_, wrong);
    std::vector<calc::VerificationReading> readings;
    std::array<bool, 3> present{};
    for (std::size_t n = 0; n < 2; ++n) {
        const auto reading = number(readings_[n], wrong);
        present[n] = reading && measurement_;
        if (present[n])
            readings.push_back({(*measurement_)[n], *reading});
    }
    const auto thirdTarget = number(thirdTarget_, wrong);
    const auto thirdReading = number(thirdReading_, wrong);
    present[2] = thirdTarget && thirdReading;
    if (present[2])
        readings.push_back({*thirdTarget, *thirdReading});
    showVerdicts(tolerance, uncertainty, readings, present);
    plotErrors(adjustment, readings, tolerance);
}

void AdjustmentWindow::showVerdicts(std::optional<double> tolerance,
                                    std::optional<double> uncertainty,
                                    const std::vector<calc::VerificationReading>& readings,
                                    const std::array<bool, 3>& present)
{
    // Complete once the tolerance and both as-left readings are there.
    const bool complete = tolerance && uncertainty && present[0] && present[1];
    const calc::Verification verification =
        complete ? calc::verify(readings, *tolerance, *uncertainty) : calc::Verification{};
    const bool judged = complete && verification.ok();
    std::size_t taken = 0;
    for (std::size_t n = 0; n < 3; ++n) {
        const bool shownHere = judged && present[n];
        pointVerdicts_[n]->setText(shownHere ? (verification.points[taken].pass ? "pass" : "fail")
                                             : QString());
        taken += present[n] ? 1 : 0;
    }
    verdict_->setText(judged ? (verification.pass ? QStringLiteral("Pass") : QStringLiteral("Fail"))
                             : QString());
    rule_->setText(complete && !verification.ok()
                       ? QString::fromStdString(messages::verificationFault(verification.fault))
                   : uncertainty ? localised(messages::decisionRule(*uncertainty))
                                 : QString());
}

void AdjustmentWindow::plotErrors(const calc::Adjustment& adjustment,
                                  const std::vector<calc::VerificationReading>& readings,
                                  std::optional<double> tolerance)
{
    ErrorPlot::Data data;
    if (measurement_) {
        for (std::size_t n = 0; n < 2; ++n)
            data.asFound.emplace_back((*measurement_)[n],
                                      (*measurement_)[n + 2] - (*measurement_)[n]);
        for (const calc::PointPrediction& point : adjustment.points)
            data.asLeft.emplace_back(point.target, point.error);
    }
    for (const calc::VerificationReading& reading : readings)
        data.verification.emplace_back(reading.target, reading.reading - reading.target);
    if (tolerance && *tolerance > 0)
        data.tolerance = *tolerance;
    plot_->setData(std::move(data));
}

MemoryTextDialog::MemoryTextDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MemoryText"));
    setWindowTitle(QStringLiteral("Read from memory text"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Paste the instrument's memory text:"), this));
    text_ = new QPlainTextEdit(this);
    text_->setAccessibleName(QStringLiteral("Memory text"));
    layout->addWidget(text_);
    line1_ = new QRadioButton(QStringLiteral("Display line &1"), this);
    auto* line2 = new QRadioButton(QStringLiteral("Display line &2"), this);
    line1_->setChecked(true);
    layout->addWidget(line1_);
    layout->addWidget(line2);
    fault_ = new QLabel(this);
    fault_->setAccessibleName(QStringLiteral("Decoding fault"));
    fault_->setTextFormat(Qt::PlainText);
    fault_->setWordWrap(true);
    layout->addWidget(fault_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString MemoryTextDialog::memoryText() const
{
    // One memory text: the first line that is not empty.
    for (const QString& line : text_->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    return {};
}

int MemoryTextDialog::displayLine() const
{
    return line1_->isChecked() ? 1 : 2;
}

void MemoryTextDialog::showFault(const QString& fault)
{
    fault_->setText(QStringLiteral("Nothing filled: ") + fault);
}

} // namespace quarvet::adjust
