#include "historywindow.h"

#include "certificateactions.h"
#include "historyfilter.h"
#include "historypage.h"
#include "recordtablemodel.h"
#include "signingactions.h"
#include "storetasks.h"

#include "messages/storemessages.h"
#include "records/recordform.h"
#include "ui/controls.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"
#include "ui/upgradebar.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace quarvet::history {

namespace {

// Enough rows to fill a tall window twice; the next page is read as the view nears its end.
constexpr int pageSize = RecordTableModel::pageRows;

QPushButton* addButton(QWidget* parent, QLayout* layout, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    layout->addWidget(button);
    return button;
}

} // namespace

HistoryWindow::HistoryWindow(StoreSource storeSource, QWidget* parent)
    : QWidget(parent, Qt::Window), storeSource_(std::move(storeSource))
{
    setObjectName(QStringLiteral("History"));
    setWindowTitle(QStringLiteral("History"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    filter_ = new HistoryFilter(this);
    layout->addWidget(filter_);
    connect(filter_, &HistoryFilter::changed, this, &HistoryWindow::reload);
    createActions();
    layout->addWidget(createTable(), 1);
    createButtons();
    reading_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    const auto overdue = [this] {
        status_->setText(QStringLiteral("The record store has not answered for two minutes."));
    };
    connect(reading_, &ui::StoreCall::overdue, this, overdue);
    connect(certificates_, &CertificateActions::overdue, this, overdue);
    connect(tasks_, &StoreTasks::overdue, this, overdue);
    ui::fitToScreen(this, QSize(1100, 560));
    reload();
    checkChain();
}

QTableView* HistoryWindow::createTable()
{
    model_ = new RecordTableModel(this);
    connect(model_, &RecordTableModel::moreWanted, this, [this] { readPage(false); });
    connect(model_, &RecordTableModel::pageWanted, this, &HistoryWindow::readPageAgain);
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Records"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    // The selected record stays at hand however far the view scrolls from it.
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { model_->holdRow(current.row()); });
    connectSorting();
    return table_;
}

// A header's click sorts the records in the store, with the filter, a page at a time.
void HistoryWindow::connectSorting()
{
    connect(model_, &RecordTableModel::sortWanted, this,
            [this](records::SortKey key, bool ascending) {
                if (key == sort_ && ascending == ascending_)
                    return;
                sort_ = key;
                ascending_ = ascending;
                sortColumn_ = table_->horizontalHeader()->sortIndicatorSection();
                reload();
            });
    // A column the store does not sort by leaves the order, and its mark, as they were.
    connect(model_, &RecordTableModel::sortRefused, this, [this] {
        const QSignalBlocker quiet(table_->horizontalHeader());
        table_->horizontalHeader()->setSortIndicator(sortColumn_, ascending_ ? Qt::AscendingOrder
                                                                             : Qt::DescendingOrder);
    });
    table_->horizontalHeader()->setSortIndicator(RecordTableModel::Date, Qt::DescendingOrder);
    table_->setSortingEnabled(true);
}

records::RecordFilter HistoryWindow::wantedRecords() const
{
    records::RecordFilter wanted = filter_->filter(pageSize);
    wanted.sortBy = sort_;
    wanted.ascending = ascending_;
    return wanted;
}

void HistoryWindow::createActions()
{
    tasks_ = new StoreTasks(this, storeSource_);
    connect(tasks_, &StoreTasks::said, this,
            [this](const QString& said) { status_->setText(said); });
    connect(tasks_, &StoreTasks::chainSaid, this,
            [this](const QString& said) { chainStatus_->setText(said); });
    connect(tasks_, &StoreTasks::chainChecked, this, &HistoryWindow::chainChecked);
    certificates_ = new CertificateActions(
        this, storeSource_, [this] { return selectedRecord(); },
        [this](const QString& id) { return model_->correctedBy(id); });
    connect(certificates_, &CertificateActions::written, this, [this](const QString& said) {
        status_->setText(said);
        emit certificateWritten();
    });
    signing_ = new SigningActions(this, storeSource_, [this] { return selectedRecord(); });
    connect(signing_, &SigningActions::signedRecord, this,
            [this](const QString& said) { status_->setText(said); });
    connect(certificates_, &CertificateActions::issued, this, [this](const QString& number) {
        // Read again to show its number and state; what was written is said after the count.
        noteAfterReading_ =
            status_->text() + QStringLiteral(" Issued as certificate %1.").arg(number);
        status_->setText(noteAfterReading_);
        storeChanged();
    });
}

void HistoryWindow::createButtons()
{
    auto* buttons = new QHBoxLayout;
    connect(addButton(this, buttons, QStringLiteral("&Certificate..."), "Certificate"),
            &QPushButton::clicked, this, &HistoryWindow::writeCertificate);
    connect(addButton(this, buttons, QStringLiteral("Si&gn..."), "Sign"), &QPushButton::clicked,
            signing_, &SigningActions::askToSign);
    connect(addButton(this, buttons, QStringLiteral("&Issue..."), "Issue"), &QPushButton::clicked,
            certificates_, &CertificateActions::askToIssue);
    connect(addButton(this, buttons, QStringLiteral("&Export CSV..."), "ExportCsv"),
            &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(addButton(this, buttons, QStringLiteral("C&orrect..."), "Correct"),
            &QPushButton::clicked, this, &HistoryWindow::correctSelected);
    buttons->addStretch(1);
    connect(addButton(this, buttons, QStringLiteral("Chec&k store"), "CheckStore"),
            &QPushButton::clicked, this, &HistoryWindow::checkStore);
    connect(addButton(this, buttons, QStringLiteral("&Reload"), "Reload"), &QPushButton::clicked,
            this, &HistoryWindow::storeChanged);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->addLayout(buttons);
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("History status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    chainStatus_ = new QLabel(this);
    chainStatus_->setObjectName(QStringLiteral("ChainStatus"));
    chainStatus_->setAccessibleName(QStringLiteral("Chain status"));
    chainStatus_->setTextFormat(Qt::PlainText);
    chainStatus_->setWordWrap(true);
    layout->addWidget(chainStatus_);
    // Issuing into a store of an earlier schema brings it up to date first.
    upgradeBar_ = new ui::UpgradeBar(this);
    layout->addWidget(upgradeBar_);
    upgradeBar_->follow(certificates_->calls());
}

bool HistoryWindow::isLoading() const
{
    return reading_->isBusy() || filter_->pending();
}

bool HistoryWindow::isExporting() const
{
    return tasks_->isExporting();
}

bool HistoryWindow::isChecking() const
{
    return tasks_->isChecking();
}

bool HistoryWindow::isCheckingChain() const
{
    return tasks_->isCheckingChain();
}

void HistoryWindow::exportCsv()
{
    tasks_->exportCsv(wantedRecords());
}

void HistoryWindow::checkStore()
{
    tasks_->checkStore();
}

void HistoryWindow::storeChanged()
{
    reload();
    checkChain();
}

void HistoryWindow::checkChain()
{
    tasks_->checkChain();
}

bool HistoryWindow::isWritingCertificate() const
{
    return certificates_->isBusy();
}

bool HistoryWindow::isSigning() const
{
    return signing_->isBusy();
}

void HistoryWindow::writeCertificate()
{
    certificates_->writeCertificate();
}

void HistoryWindow::issueSelected(const QString& by, const QString& role, bool accredited)
{
    certificates_->issueSelected(by, role, accredited);
}

QAbstractItemModel* HistoryWindow::shownRows() const
{
    return model_;
}

void HistoryWindow::reload()
{
    filter_->settle();
    readPage(true);
}

// One reading at a time: presses of Reload meanwhile ask for one more reading after it, not
// for a queue of them in front of every other use of the store. A page asked for by
// scrolling while a reading is under way is asked for again by the view once it is in.
void HistoryWindow::readPage(bool first)
{
    if (reading_->isBusy()) {
        reloadAgain_ = reloadAgain_ || first;
        if (!first)
            model_->appendPage({}, false);
        return;
    }
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store) {
        status_->setText(QStringLiteral("There is no record store."));
        return;
    }
    records::RecordFilter wanted = wantedRecords();
    if (!first)
        wanted.after = model_->nextPosition();
    else if (noteAfterReading_.isEmpty()) // what an issue said stays until the count comes
        status_->setText(QStringLiteral("Reading the records of %1 ...").arg(store->location()));
    if (first)
        model_->setAscending(ascending_);
    auto page = std::make_shared<HistoryPage>();
    reading_->start(
        [store, wanted, first, page] { return readHistoryPage(*store, wanted, first, *page); },
        [this, store, first, page](const records::StoreFailure& failure) {
            page->failure = failure;
            showPage(*page, first, store->location());
            afterReading();
        });
}

// A page let go as the view scrolled away, read again now that it is shown. While another
// reading is under way it is left to be asked for again when the view next shows it.
void HistoryWindow::readPageAgain(int number)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (reading_->isBusy() || !store) {
        model_->forgetAsked(number);
        return;
    }
    records::RecordFilter wanted = wantedRecords();
    wanted.after = model_->restartOf(number);
    const int listing = model_->listing();
    auto page = std::make_shared<HistoryPage>();
    reading_->start([store, wanted, page] { return readHistoryPage(*store, wanted, false, *page); },
                    [this, number, listing, page](const records::StoreFailure& failure) {
                        if (failure.failed()) {
                            status_->setText(messages::storeFault(failure.fault));
                            model_->forgetAsked(number);
                        } else {
                            model_->restorePage(number, listing, page->records);
                        }
                        afterReading();
                    });
}

// What waited for a reading to end: a reload asked for meanwhile, and the rows left blank
// that the view shows.
void HistoryWindow::afterReading()
{
    if (std::exchange(reloadAgain_, false))
        reload();
    table_->viewport()->update();
}

namespace {

// How many records the store holds, and how many of them the filter picks.
QString countText(const HistoryPage& page, const QString& location)
{
    const QString records = page.total == 1 ? QStringLiteral("record") : QStringLiteral("records");
    if (page.matching >= 0)
        return QStringLiteral("%1 of %2 %3 in %4.")
            .arg(page.matching)
            .arg(page.total)
            .arg(records, location);
    return QStringLiteral("%1 %2 in %3.").arg(page.total).arg(records, location);
}

} // namespace

void HistoryWindow::showPage(const HistoryPage& page, bool first, const QString& location)
{
    // Said after a certificate is issued, and kept through the reading that follows it.
    const QString note = first ? std::exchange(noteAfterReading_, QString()) : QString();
    const auto withNote = [&note](const QString& said) {
        return note.isEmpty() ? said : said + QLatin1Char(' ') + note;
    };
    if (page.failure.failed()) {
        status_->setText(withNote(messages::storeFault(page.failure.fault)));
        if (!first)
            model_->appendPage({}, true);
    } else if (first) {
        status_->setText(withNote(countText(page, location)));
        // The record selected stays selected where the new rows still hold it.
        const QModelIndexList selected = table_->selectionModel()->selectedRows();
        const records::Record* was =
            selected.isEmpty() ? nullptr : model_->recordAt(selected.first().row());
        const QString wasId = was ? was->id : QString();
        model_->setFirstPage(page.records, page.complete);
        for (int row = 0; !wasId.isEmpty() && row < page.records.size(); ++row)
            if (page.records[row].record.id == wasId)
                table_->selectRow(row);
        table_->resizeColumnsToContents();
        // A serial of 200 characters is shown elided, not pushing every other column away.
        const int widest = table_->fontMetrics().averageCharWidth() * 32;
        for (int column = 0; column < model_->columnCount(); ++column)
            table_->setColumnWidth(column, std::min(table_->columnWidth(column), widest));
    } else {
        model_->appendPage(page.records, page.complete);
    }
    if (first)
        emit loaded();
}

std::optional<records::Record> HistoryWindow::selectedRecord()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        ui::messages().show(this, ui::messageTitle, QStringLiteral("Select a record first."),
                            ui::MessageService::Icon::None);
        return std::nullopt;
    }
    // A copy: a reload that ends while a dialog is open replaces the model's records.
    if (const records::Record* record = model_->recordAt(rows.first().row()))
        return *record;
    ui::messages().show(this, ui::messageTitle,
                        QStringLiteral("The selected record is being read again from the "
                                       "store: try again in a moment."),
                        ui::MessageService::Icon::None);
    return std::nullopt;
}

void HistoryWindow::correctSelected()
{
    const std::optional<records::Record> record = selectedRecord();
    if (!record)
        return;
    // A record has at most one live correction: a corrected one is corrected through the
    // latest record of its chain.
    if (const QString by = model_->correctedBy(record->id); !by.isEmpty()) {
        ui::messages().show(this, ui::messageTitle,
                            QStringLiteral("Record %1 was corrected by record %2: correct that "
                                           "one instead.")
                                .arg(records::shortId(record->id), records::shortId(by)),
                            ui::MessageService::Icon::None);
        return;
    }
    emit correctionRequested(*record);
}

} // namespace quarvet::history
