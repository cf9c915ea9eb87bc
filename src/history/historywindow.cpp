#include "historywindow.h"

#include "recordtablemodel.h"

#include "certificate/certificate.h"
#include "records/outputfile.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "ui/filenameservice.h"
#include "ui/messageservice.h"

#include <QDir>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace quarvet::history {
namespace {

struct Listing {
    records::StoreFailure failure;
    QList<records::Record> records;
};

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
    auto* filterRow = new QHBoxLayout;
    filter_ = new QLineEdit(this);
    filter_->setAccessibleName(QStringLiteral("Serial filter"));
    filter_->setPlaceholderText(QStringLiteral("part of a serial number"));
    auto* filterLabel = new QLabel(QStringLiteral("&Serial number:"), this);
    filterLabel->setBuddy(filter_);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    layout->addLayout(filterRow);

    model_ = new RecordTableModel(this);
    shown_ = new QSortFilterProxyModel(this);
    shown_->setSourceModel(model_);
    shown_->setFilterKeyColumn(RecordTableModel::Serial);
    shown_->setFilterRole(Qt::UserRole);
    shown_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(filter_, &QLineEdit::textChanged, shown_, &QSortFilterProxyModel::setFilterFixedString);
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Records"));
    table_->setModel(shown_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    connect(addButton(this, buttons, QStringLiteral("&Certificate..."), "Certificate"),
            &QPushButton::clicked, this, &HistoryWindow::writeCertificate);
    connect(addButton(this, buttons, QStringLiteral("&Export CSV..."), "ExportCsv"),
            &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(addButton(this, buttons, QStringLiteral("C&orrect..."), "Correct"),
            &QPushButton::clicked, this, &HistoryWindow::correctSelected);
    buttons->addStretch(1);
    connect(addButton(this, buttons, QStringLiteral("&Reload"), "Reload"), &QPushButton::clicked,
            this, &HistoryWindow::reload);
    layout->addLayout(buttons);
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("History status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    resize(900, 500);
    reload();
}

void HistoryWindow::reload()
{
    // One reading at a time: presses of Reload meanwhile ask for one more reading after it,
    // not for a queue of them in front of every other use of the store.
    if (loading_ > 0) {
        reloadAgain_ = true;
        return;
    }
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store) {
        status_->setText(QStringLiteral("There is no record store."));
        return;
    }
    ++loading_;
    const int generation = ++generation_;
    status_->setText(QStringLiteral("Reading the records of %1 ...").arg(store->location()));
    auto* watcher = new QFutureWatcher<Listing>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation, store] {
        --loading_;
        Listing listing = watcher->result();
        watcher->deleteLater();
        // A later reload's answer is the one to show.
        if (generation == generation_)
            showLoaded(listing.failure, std::move(listing.records), store->location());
        if (reloadAgain_) {
            reloadAgain_ = false;
            reload();
        }
    });
    watcher->setFuture(QtConcurrent::run([store] {
        Listing listing;
        listing.failure = store->list(QString(), listing.records);
        return listing;
    }));
}

void HistoryWindow::showLoaded(const records::StoreFailure& failure, QList<records::Record> found,
                               const QString& location)
{
    if (failure.failed()) {
        status_->setText(failure.message);
    } else {
        status_->setText((found.size() == 1 ? QStringLiteral("%1 record in %2.")
                                            : QStringLiteral("%1 records in %2."))
                             .arg(found.size())
                             .arg(location));
        model_->setRecords(std::move(found));
        table_->resizeColumnsToContents();
    }
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
    return model_->recordAt(shown_->mapToSource(rows.first()).row());
}

void HistoryWindow::writeCertificate()
{
    const std::optional<records::Record> record = selectedRecord();
    if (!record)
        return;
    const QString path = ui::fileNames().saveFileName(
        this, QStringLiteral("Certificate"),
        QDir::home().filePath(
            QStringLiteral("certificate-%1.pdf").arg(records::shortId(record->id))),
        QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (const QString fault = certificate::writeCertificate(*record, path); !fault.isEmpty()) {
        ui::messages().show(this, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
        return;
    }
    status_->setText(QStringLiteral("Certificate of record %1 written to %2.")
                         .arg(records::shortId(record->id), path));
}

namespace {

// The rows as one CSV file, replaced only when every row went out: a full disk leaves the
// old file, not half of one. The reason when it failed.
QString writeCsv(const QString& path, const QList<records::Record>& rows)
{
    if (const QString why = records::unreplaceable(path); !why.isEmpty())
        return QStringLiteral("The records could not be written to %1: %2.").arg(path, why);
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    written = written && file.write(records::csvHeader().toUtf8()) >= 0;
    for (const records::Record& record : rows)
        written = written && file.write(records::csvRow(record).toUtf8()) >= 0;
    if (written && file.commit())
        return {};
    return QStringLiteral("The records could not be written to %1: %2")
        .arg(path, file.errorString());
}

} // namespace

void HistoryWindow::exportCsv()
{
    const QString path = ui::fileNames().saveFileName(
        this, QStringLiteral("Export CSV"), QDir::home().filePath(QStringLiteral("records.csv")),
        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QList<records::Record> rows;
    rows.reserve(shown_->rowCount());
    for (int row = 0; row < shown_->rowCount(); ++row)
        rows.append(model_->recordAt(shown_->mapToSource(shown_->index(row, 0)).row()));
    // Many thousands of rows take a moment to write: beside the window, not in its way.
    ++exporting_;
    status_->setText(QStringLiteral("Writing %1 ...").arg(path));
    auto* watcher = new QFutureWatcher<QString>(this);
    const qsizetype count = rows.size();
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path, count] {
        --exporting_;
        const QString fault = watcher->result();
        watcher->deleteLater();
        if (!fault.isEmpty()) {
            status_->setText(QStringLiteral("Nothing was exported."));
            ui::messages().show(this, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
            return;
        }
        status_->setText((count == 1 ? QStringLiteral("%1 record written to %2.")
                                     : QStringLiteral("%1 records written to %2."))
                             .arg(count)
                             .arg(path));
    });
    watcher->setFuture(QtConcurrent::run(writeCsv, path, rows));
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
