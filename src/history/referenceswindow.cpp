#include "referenceswindow.h"

#include "calc/check.h"
#include "calc/entry.h"
#include "messages/labmessages.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"
#include "ui/upgradebar.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quarvet::history {
namespace {

const QStringList headings{
    QStringLiteral("Identifier"),    QStringLiteral("Description"), QStringLiteral("Certificate"),
    QStringLiteral("Calibrated by"), QStringLiteral("U (°C)"),      QStringLiteral("k"),
    QStringLiteral("Drift (°C)"),    QStringLiteral("Calibrated"),  QStringLiteral("Due"),
    QStringLiteral("In use"),        QStringLiteral("Entry")};
constexpr int inUseColumn = 9;

QStringList cellsOf(const lab::ReferenceStandard& standard)
{
    return {records::printableText(standard.identifier),
            records::printableText(standard.description),
            records::printableText(standard.certificate),
            records::printableText(standard.calibratedBy),
            QLocale().toString(standard.U, 'g', QLocale::FloatingPointShortest),
            QLocale().toString(standard.k, 'g', QLocale::FloatingPointShortest),
            QLocale().toString(standard.drift, 'g', QLocale::FloatingPointShortest),
            standard.calibrated.toString(Qt::ISODate),
            standard.due.toString(Qt::ISODate),
            standard.usable ? QStringLiteral("yes") : QStringLiteral("withdrawn"),
            QString::number(standard.entry)};
}

// A number of the form as the entries are read; nothing for one that is none.
std::optional<double> numberIn(const QLineEdit* field)
{
    const calc::EntryReading reading =
        calc::readEntry(field->text().toStdString(), ui::currentSeparators());
    return reading.isNumber() ? std::optional(reading.value) : std::nullopt;
}

} // namespace

ReferencesWindow::ReferencesWindow(StoreSource storeSource, QWidget* parent)
    : QWidget(parent, Qt::Window), storeSource_(std::move(storeSource))
{
    setObjectName(QStringLiteral("References"));
    setWindowTitle(QStringLiteral("Reference standards"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, static_cast<int>(headings.size()), this);
    table_->setAccessibleName(QStringLiteral("Register"));
    table_->setHorizontalHeaderLabels(headings);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    connect(table_, &QTableWidget::currentCellChanged, this,
            [this](int row) { takeIntoForm(row); });
    layout->addWidget(table_, 1);
    createForm();
    ui::closeOnEscape(this);
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("Register status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    calling_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    // Saving into a store of an earlier schema brings it up to date first.
    auto* upgradeBar = new ui::UpgradeBar(this);
    layout->addWidget(upgradeBar);
    upgradeBar->follow(calling_);
    ui::fitToScreen(this, QSize(900, 480));
    reload();
}

QLineEdit* ReferencesWindow::addField(const QString& accessibleName, const QString& placeholder)
{
    auto* field = new QLineEdit(this);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(placeholder);
    return field;
}

void ReferencesWindow::createForm()
{
    auto* form = new QFormLayout;
    identifier_ = addField(QStringLiteral("Identifier"));
    description_ = addField(QStringLiteral("Description"));
    certificate_ = addField(QStringLiteral("Its certificate"));
    calibratedBy_ = addField(QStringLiteral("Calibrated by"));
    u_ = addField(QStringLiteral("U"), QStringLiteral("required"));
    k_ = addField(QStringLiteral("k"), QStringLiteral("2"));
    drift_ = addField(QStringLiteral("Drift"), QStringLiteral("0"));
    calibrated_ = addField(QStringLiteral("Calibrated on"), QStringLiteral("YYYY-MM-DD"));
    due_ = addField(QStringLiteral("Due on"), QStringLiteral("YYYY-MM-DD"));
    form->addRow(QStringLiteral("&Identifier:"), identifier_);
    form->addRow(QStringLiteral("&Description:"), description_);
    form->addRow(QStringLiteral("Its &certificate:"), certificate_);
    form->addRow(QStringLiteral("Calibrated &by:"), calibratedBy_);
    form->addRow(QStringLiteral("&U (°C):"), u_);
    form->addRow(QStringLiteral("&k:"), k_);
    form->addRow(QStringLiteral("Dri&ft ± (°C):"), drift_);
    form->addRow(QStringLiteral("Ca&librated on:"), calibrated_);
    form->addRow(QStringLiteral("Due o&n:"), due_);
    auto* buttons = new QHBoxLayout;
    const std::pair<QString, void (ReferencesWindow::*)()> actions[] = {
        {QStringLiteral("&Add entry"), &ReferencesWindow::addEntry},
        {QStringLiteral("&Withdraw selected"), &ReferencesWindow::withdrawSelected},
        {QStringLiteral("&Reload"), &ReferencesWindow::reload}};
    for (const auto& [text, action] : actions) {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, action);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->addLayout(form);
    layout->addLayout(buttons);
}

bool ReferencesWindow::isBusy() const
{
    return calling_->isBusy();
}

void ReferencesWindow::reload()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store)
        return;
    const auto standards = std::make_shared<QList<lab::ReferenceStandard>>();
    const auto ahead = std::make_shared<qint64>(0);
    calling_->start(
        [store, standards, ahead] {
            QDateTime storeNow;
            if (const records::StoreFailure read = store->clock(storeNow); read.failed())
                return read;
            *ahead = QDateTime::currentDateTimeUtc().secsTo(storeNow);
            return lab::listReferences(*store, *standards);
        },
        [this, standards, ahead](const records::StoreFailure& failure) {
            if (failure.failed()) {
                ui::showValue(status_, messages::storeFault(failure.fault));
                return;
            }
            storeAheadSeconds_ = *ahead;
            show(*standards);
        });
}

void ReferencesWindow::show(const QList<lab::ReferenceStandard>& standards)
{
    // Read again, the rows are not the user's choice of one for the form.
    const QSignalBlocker quiet(table_);
    shown_ = standards;
    table_->setRowCount(static_cast<int>(standards.size()));
    const QDate storeToday = QDateTime::currentDateTime().addSecs(storeAheadSeconds_).date();
    for (int row = 0; row < table_->rowCount(); ++row) {
        QStringList cells = cellsOf(standards[row]);
        // An overdue standard stands out, in words and in bold: no record may take it.
        const bool overdue =
            lab::referenceUse(standards[row], storeToday) == lab::ReferenceUse::Overdue;
        if (overdue)
            cells[inUseColumn] = QStringLiteral("overdue");
        for (int column = 0; column < cells.size(); ++column) {
            auto* cell = new QTableWidgetItem(cells[column]);
            QFont font = cell->font();
            font.setBold(overdue);
            cell->setFont(font);
            table_->setItem(row, column, cell);
        }
    }
    const QString counted =
        (standards.size() == 1 ? QStringLiteral("%1 reference standard in the register.")
                               : QStringLiteral("%1 reference standards in the register."))
            .arg(standards.size());
    // What the last entry kept, before the register as it now reads.
    ui::showValue(status_, kept_.isEmpty() ? counted : kept_ + QLatin1Char(' ') + counted);
    kept_.clear();
}

// The selected standard's last entry in the form, to be changed into its next one.
void ReferencesWindow::takeIntoForm(int row)
{
    if (row < 0 || row >= shown_.size())
        return;
    const lab::ReferenceStandard& standard = shown_[row];
    const auto number = [](double value) {
        return QLocale().toString(value, 'g', QLocale::FloatingPointShortest);
    };
    const std::pair<QLineEdit*, QString> values[] = {
        {identifier_, standard.identifier},
        {description_, standard.description},
        {certificate_, standard.certificate},
        {calibratedBy_, standard.calibratedBy},
        {u_, number(standard.U)},
        {k_, number(standard.k)},
        {drift_, number(standard.drift)},
        {calibrated_, standard.calibrated.toString(Qt::ISODate)},
        {due_, standard.due.toString(Qt::ISODate)}};
    for (const auto& [field, value] : values)
        field->setText(value);
}

// Whether `standard` is, in all it says, the entry the register holds last for it.
bool ReferencesWindow::holdsAlready(const lab::ReferenceStandard& standard) const
{
    for (const lab::ReferenceStandard& held : shown_) {
        if (held.identifier != standard.identifier)
            continue;
        lab::ReferenceStandard same = standard;
        same.entry = held.entry;
        same.savedUtc = held.savedUtc;
        same.savedBy = held.savedBy;
        return same == held;
    }
    return false;
}

// A number typed with the separator the locale does not use ("0,02" where '.' is decimal)
// would be read as another ("2"), and the register keeps every entry: refused, the cursor put
// in the field.
bool ReferencesWindow::foreignSeparatorRefused()
{
    const auto pair = calc::probeSeparators(ui::currentSeparators());
    if (!pair)
        return false;
    for (QLineEdit* field : {u_, k_, drift_}) {
        const std::string typed = field->text().trimmed().toStdString();
        if (!calc::holds(typed, pair->foreign))
            continue;
        ui::messages().show(this, ui::messageTitle,
                            QString::fromStdString(messages::foreignSeparatorInRegister(
                                field->accessibleName().toStdString(), typed, *pair)),
                            ui::MessageService::Icon::Stop);
        field->setFocus();
        return true;
    }
    return false;
}

bool ReferencesWindow::readForm(lab::ReferenceStandard& standard)
{
    if (foreignSeparatorRefused())
        return false;
    standard.identifier = identifier_->text().trimmed();
    standard.description = description_->text().trimmed();
    standard.certificate = certificate_->text().trimmed();
    standard.calibratedBy = calibratedBy_->text().trimmed();
    const auto u = numberIn(u_);
    const auto k = k_->text().trimmed().isEmpty() ? std::optional(2.0) : numberIn(k_);
    const auto drift = drift_->text().trimmed().isEmpty() ? std::optional(0.0) : numberIn(drift_);
    standard.U = u.value_or(-1);
    standard.k = k.value_or(0);
    standard.drift = drift.value_or(-1);
    standard.calibrated = records::readDueDate(calibrated_->text().trimmed());
    standard.due = records::readDueDate(due_->text().trimmed());
    const QDate storeToday = QDateTime::currentDateTime().addSecs(storeAheadSeconds_).date();
    const QString problem = messages::labRefusal(lab::referenceProblem(standard, storeToday));
    if (!problem.isEmpty())
        ui::messages().show(this, ui::messageTitle, problem, ui::MessageService::Icon::Stop);
    return problem.isEmpty();
}

void ReferencesWindow::addEntry()
{
    lab::ReferenceStandard standard;
    if (!readForm(standard))
        return;
    // Pressed twice, Add entry would keep the same entry twice, for good.
    if (holdsAlready(standard)) {
        ui::messages().show(this, ui::messageTitle,
                            QStringLiteral("The register holds %1 as typed already: an entry "
                                           "that changes nothing is not added.")
                                .arg(standard.identifier),
                            ui::MessageService::Icon::None);
        return;
    }
    write(standard, QStringLiteral("Kept %1 in the register.").arg(standard.identifier));
}

void ReferencesWindow::withdrawSelected()
{
    const int row = table_->currentRow();
    if (row < 0 || row >= shown_.size()) {
        ui::messages().show(this, ui::messageTitle,
                            QStringLiteral("Select the reference standard to withdraw."),
                            ui::MessageService::Icon::None);
        return;
    }
    lab::ReferenceStandard standard = shown_[row];
    if (!standard.usable ||
        !ui::messages().confirm(this, ui::messageTitle,
                                QStringLiteral("Withdraw %1? The register keeps it, withdrawn: no "
                                               "record can take it as its reference any more.")
                                    .arg(standard.identifier),
                                QStringLiteral("&Withdraw")))
        return;
    standard.usable = false;
    write(standard, QStringLiteral("Withdrew %1.").arg(standard.identifier));
}

void ReferencesWindow::write(lab::ReferenceStandard standard, const QString& kept)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || calling_->isBusy())
        return;
    const auto entry = std::make_shared<lab::ReferenceStandard>(std::move(standard));
    calling_->start([store, entry] { return lab::addReference(*store, *entry); },
                    [this, entry, kept](const records::StoreFailure& failure) {
                        if (failure.failed()) {
                            ui::messages().show(this, ui::messageTitle,
                                                messages::storeFault(failure.fault),
                                                ui::MessageService::Icon::Stop);
                            return;
                        }
                        kept_ = kept;
                        emit changed();
                        reload();
                    });
}

} // namespace quarvet::history
