#include "adjustmentwindow.h"

#include "memorytextdialog.h"
#include "recordfields.h"
#include "recordsaving.h"

#include "calc/entry.h"
#include "instrument/memorydecoder.h"
#include "messages/messages.h"
#include "records/recordformat.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"
#include "ui/upgradebar.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quarvet::adjust {
namespace {

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
    view_ = new CheckView(this);
    columns->addWidget(view_, 3);
    connect(view_, &CheckView::edited, this, &AdjustmentWindow::refresh);
    connect(view_, &CheckView::memoryTextRequested, this, &AdjustmentWindow::readFromMemory);
    createRecordColumn();
    refresh();
    watchEdits();
    ui::fitToScreen(this);
}

// Entries count as typed from the user's own edits and choices on; what the program fills in
// (the measurement, a record to correct, the register's values) does not.
void AdjustmentWindow::watchEdits()
{
    const auto edited = [this] {
        unsaved_ = true;
        discardAgreed_ = false;
    };
    for (QLineEdit* field : findChildren<QLineEdit*>())
        connect(field, &QLineEdit::textEdited, this, edited);
    for (QComboBox* choice : findChildren<QComboBox*>())
        connect(choice, &QComboBox::activated, this, edited);
}

bool AdjustmentWindow::mayDiscardEntries()
{
    if (!unsaved_ || discardAgreed_)
        return true;
    discardAgreed_ = ui::messages().confirm(
        this, ui::messageTitle,
        QStringLiteral("The adjustment check holds entries that are not saved. Discard them?"),
        QStringLiteral("&Discard"));
    return discardAgreed_;
}

AdjustmentWindow::~AdjustmentWindow()
{
    // Hiding the fields as the window goes moves the focus out of them, and an edited
    // reference would be looked up in a store whose owner may be going too: to nobody.
    disconnect(recordFields_, nullptr, nullptr, nullptr);
    disconnect(view_, nullptr, this, nullptr);
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
    recordStatus_ = valueLabel(this, QStringLiteral("Record status"));
    recordStatus_->setWordWrap(true);
    ui::reserveLines(recordStatus_, 4);
    // The record's fields scroll where the screen is short of room; Save, the plot and what
    // a save said stay in sight, in places that do not move as texts come and go.
    column->addWidget(ui::scrolling(recordFields_), 1);
    column->addWidget(saveButton_);
    column->addWidget(view_->plot());
    column->addWidget(recordStatus_);
    auto* upgradeBar = new ui::UpgradeBar(this);
    column->addWidget(upgradeBar);
    static_cast<QHBoxLayout*>(layout())->addLayout(column, 2);
    saver_ = new RecordSaving(this);
    connect(saver_, &RecordSaving::upgrading, upgradeBar, &ui::UpgradeBar::showProgress);
    connect(saver_, &RecordSaving::savingEnded, upgradeBar, &QWidget::hide);
    connect(recordFields_, &RecordFields::referenceEdited, saver_, &RecordSaving::lookUp);
    connect(recordFields_, &RecordFields::serialEdited, saver_, &RecordSaving::lookUpInstrument);
    column->insertWidget(2, createRegisterButton());
    connectSaving();
}

// Shown for a serial number the register of instruments does not hold: it asks for the
// instrument to be added as the fields name it.
QPushButton* AdjustmentWindow::createRegisterButton()
{
    registerButton_ = new QPushButton(QStringLiteral("Re&gister instrument..."), this);
    registerButton_->setObjectName(QStringLiteral("RegisterInstrument"));
    registerButton_->hide();
    connect(registerButton_, &QPushButton::clicked, this, [this] {
        lab::Instrument instrument = recordFields_->instrument();
        const CheckTexts texts = view_->texts();
        const auto number = [](const QString& typed) -> std::optional<double> {
            const calc::EntryReading reading =
                calc::readEntry(typed.trimmed().toStdString(), ui::currentSeparators());
            return reading.isNumber() ? std::optional(reading.value) : std::nullopt;
        };
        instrument.tolerance = number(texts[index(CheckField::Tolerance)]);
        instrument.thirdPoint = number(texts[index(CheckField::ThirdTarget)]);
        emit instrumentToRegister(instrument);
    });
    return registerButton_;
}

void AdjustmentWindow::connectSaving()
{
    connect(saver_, &RecordSaving::offered, recordFields_, &RecordFields::offer);
    connect(saver_, &RecordSaving::labTermsRead, this,
            [this](const std::vector<calc::CmcRange>& scope,
                   const std::optional<calc::PooledRepeatability>& pooled) {
                model_.setLabTerms(scope, pooled);
                refresh();
            });
    connect(saver_, &RecordSaving::found, this, &AdjustmentWindow::showFromRegister);
    connect(saver_, &RecordSaving::instrumentsFound, this, &AdjustmentWindow::showInstruments);
    connect(saver_, &RecordSaving::refused, this, [this](const records::Refusal& refusal) {
        lockEntries(false);
        refuse(refusal);
    });
    connect(saver_, &RecordSaving::refusedSaying, this, [this](const QString& why, bool reference) {
        lockEntries(false);
        refuse(why, reference ? recordFields_->fieldFor(records::RecordField::Reference) : nullptr);
    });
    connect(saver_, &RecordSaving::savingStarted, this, &AdjustmentWindow::showSavingStarted);
    connect(saver_, &RecordSaving::upgrading, this, [this](qint64 done, qint64 total) {
        ui::showValue(recordStatus_,
                      QStringLiteral("Bringing the record store up to date, once: %1 of %2 "
                                     "records chained (%3 %); the record is saved after it.")
                          .arg(done)
                          .arg(total)
                          .arg(total > 0 ? done * 100 / total : 100));
    });
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
    view_->field(CheckField::Uncertainty)->setText(fieldText(standard.U));
    view_->field(CheckField::ReferenceK)->setText(fieldText(standard.k));
    view_->field(CheckField::Drift)->setText(fieldText(standard.drift));
    recordFields_->setReferenceDue(standard.due);
    QString said =
        QStringLiteral("Reference %1 from the register: its certificate %2, due %3.")
            .arg(standard.identifier, standard.certificate, standard.due.toString(Qt::ISODate));
    // Said where it is chosen, not first at Save, after the whole calibration is typed.
    switch (lab::referenceUse(standard, QDate::currentDate())) {
    case lab::ReferenceUse::Withdrawn:
        said += QStringLiteral(" It is withdrawn: Save will refuse it; choose another standard.");
        break;
    case lab::ReferenceUse::Overdue:
        said += QStringLiteral(" It is overdue: Save will refuse it until the register holds its "
                               "next calibration.");
        break;
    default:
        break;
    }
    ui::showValue(recordStatus_, said);
}

// What the register of instruments holds of the serial number typed: its type, line, owner,
// description and procedure's defaults into the fields still empty. A serial number it does not
// hold is offered to it.
void AdjustmentWindow::showInstruments(const QString& serial, const QList<lab::Instrument>& found)
{
    // A correction says what the calibration was, not what the register says today.
    if (!corrects_.isEmpty())
        return;
    registerButton_->setVisible(found.isEmpty());
    if (found.isEmpty()) {
        ui::showValue(recordStatus_,
                      QStringLiteral("Serial number %1 is not in the register of instruments: "
                                     "the record is saved as typed, and Register instrument... "
                                     "adds it.")
                          .arg(records::printableText(serial)));
        return;
    }
    const lab::Instrument* chosen = &found.first();
    for (const lab::Instrument& instrument : found)
        if (instrument.type == recordFields_->instrument().type)
            chosen = &instrument;
    recordFields_->takeInstrument(*chosen);
    const auto fill = [this](CheckField which, const std::optional<double>& value) {
        QLineEdit* field = view_->field(which);
        if (value && field->text().trimmed().isEmpty())
            field->setText(fieldText(*value));
    };
    fill(CheckField::Tolerance, chosen->tolerance);
    fill(CheckField::ThirdTarget, chosen->thirdPoint);
    if (calc::DecisionRule rule; calc::readRule(chosen->rule.toStdString(), rule))
        view_->setRule(rule);
    refresh();
    ui::showValue(recordStatus_,
                  QStringLiteral("Instrument %1 from the register: type %2, line %3, interval %4 "
                                 "months.%5")
                      .arg(records::printableText(chosen->serial), chosen->type)
                      .arg(chosen->line)
                      .arg(chosen->intervalMonths)
                      .arg(found.size() > 1 ? QStringLiteral(" The register holds it under "
                                                             "other types too: check the type.")
                                            : QString()));
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
        view_->field(CheckField(n))->setText(texts[n]);
    view_->setRule(rule);
    recordFields_->fill(record);
    unsaved_ = false;
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
        return view_->field(CheckField::Uncertainty);
    case records::RecordField::Tolerance:
        return view_->field(CheckField::Tolerance);
    case records::RecordField::Verification:
        if (refusal.point == 1 || refusal.point == 2)
            return view_->field(refusal.point == 1 ? CheckField::Reading1 : CheckField::Reading2);
        if (refusal.point == 3)
            return view_->field(
                model_.entries().typed[static_cast<std::size_t>(CheckField::ThirdTarget)]
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
    if (const records::Refusal refusal = model_.entries().foreignRefusal(view_->texts());
        !refusal.ok()) {
        const auto first =
            std::find(model_.entries().foreign.begin(), model_.entries().foreign.end(), true);
        refuse(QString::fromStdString(messages::recordRefusal(refusal)),
               view_->field(CheckField(first - model_.entries().foreign.begin())));
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
                names << view_->field(CheckField(n))->accessibleName();
                first = first ? first : view_->field(CheckField(n));
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
    const auto input = recordInput();
    if (!input)
        return;
    // What is saved is what the window showed at Ctrl+S: every entry waits for the outcome, so
    // that the window never shows codes or a verdict other than the record's.
    lockEntries(true);
    saver_->save(*input, typedReference());
}

void AdjustmentWindow::lockEntries(bool locked)
{
    view_->setEnabled(!locked);
    recordFields_->setEnabled(!locked);
    saveButton_->setEnabled(!locked);
}

void AdjustmentWindow::showSavingStarted(const QString& location)
{
    ui::showValue(recordStatus_, QStringLiteral("Saving the record to %1 ...").arg(location));
}

void AdjustmentWindow::showNotSaved(const QString& why)
{
    lockEntries(false);
    ui::showValue(recordStatus_, QStringLiteral("The record was not saved."));
    emit savingFinished(false);
    refuse(why, nullptr);
}

void AdjustmentWindow::showSaved(const records::Record& record)
{
    lockEntries(false);
    unsaved_ = false;
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
    if (!mayDiscardEntries()) {
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
    view_->field(CheckField::CurrentSlope)->setText(QString::fromStdString(slope).toUpper());
    view_->field(CheckField::CurrentOffset)->setText(QString::fromStdString(offset));
    unsaved_ = true;
    discardAgreed_ = false;
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

void AdjustmentWindow::refresh()
{
    model_.update(view_->texts(), ui::currentSeparators(), view_->rule());
    view_->show(model_);
}

} // namespace quarvet::adjust
