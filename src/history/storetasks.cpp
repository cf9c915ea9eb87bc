#include "storetasks.h"

#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/checkpoints.h"
#include "records/outputfile.h"
#include "records/recordformat.h"
#include "ui/filenameservice.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QDir>
#include <QSaveFile>
#include <QWidget>

namespace quarvet::history {

StoreTasks::StoreTasks(QWidget* window, StoreSource storeSource)
    : QObject(window), window_(window), storeSource_(std::move(storeSource))
{
    exporting_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    checking_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    chaining_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    for (ui::StoreCall* call : {exporting_, checking_, chaining_})
        connect(call, &ui::StoreCall::overdue, this, &StoreTasks::overdue);
}

bool StoreTasks::isExporting() const
{
    return exporting_->isBusy();
}

bool StoreTasks::isChecking() const
{
    return checking_->isBusy();
}

bool StoreTasks::isCheckingChain() const
{
    return chaining_->isBusy();
}

namespace {

// What an export did: how many records it wrote, or why its file could not be written.
struct Exported {
    qint64 count = 0;
    QString fault;
};

// The records the filter picks as one CSV file, read from the store as they are written and
// replaced only when every row went out: a full disk leaves the old file, not half of one.
records::StoreFailure writeCsv(const QString& path, records::RecordStore& store,
                               records::RecordFilter filter, Exported& exported)
{
    QString kept;
    if (const records::OutputFaultKind why = records::unreplaceable(path, store.files(), &kept);
        why != records::OutputFaultKind::None) {
        exported.fault = messages::exportFault({why, path, kept});
        return {};
    }
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    written = written && file.write(records::csvHeader().toUtf8()) >= 0;
    filter.limit = 0;
    filter.corrections = false;
    const records::StoreFailure read =
        store.visit(filter, [&](const records::ListedRecord& listed) {
            written = written && file.write(records::csvRow(listed.record).toUtf8()) >= 0;
            ++exported.count;
            return written;
        });
    if (read.failed()) {
        file.cancelWriting();
        return read;
    }
    // After a failed write QSaveFile keeps the old file and only its commit says why (a full
    // disk, say); the write itself reports an unknown error.
    if (!file.commit() || !written)
        exported.fault = messages::exportFault(
            {records::OutputFaultKind::CannotWrite, path, file.errorString()});
    return read;
}

} // namespace

void StoreTasks::exportCsv(const records::RecordFilter& wanted)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    const QString path =
        store && !exporting_->isBusy()
            ? ui::chooseFileToWrite(window_, QStringLiteral("Export CSV"),
                                    QStringLiteral("records.csv"), QStringLiteral("CSV (*.csv)"))
            : QString();
    if (path.isEmpty())
        return;
    // Many thousands of rows take a moment to write: beside the window, not in its way.
    emit said(QStringLiteral("Writing %1 ...").arg(path));
    auto exported = std::make_shared<Exported>();
    exporting_->start(
        [store, path, wanted, exported] { return writeCsv(path, *store, wanted, *exported); },
        [this, path, exported](const records::StoreFailure& failure) {
            const QString fault =
                failure.failed() ? messages::storeFault(failure.fault) : exported->fault;
            if (!fault.isEmpty()) {
                emit said(QStringLiteral("Nothing was exported."));
                ui::messages().show(window_, ui::messageTitle, fault,
                                    ui::MessageService::Icon::Stop);
                return;
            }
            emit said((exported->count == 1 ? QStringLiteral("%1 record written to %2.")
                                            : QStringLiteral("%1 records written to %2."))
                          .arg(exported->count)
                          .arg(path));
        });
}

void StoreTasks::checkStore()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || checking_->isBusy())
        return;
    // Every page of the store is read: for a large one, a while, beside the window.
    emit said(QStringLiteral("Checking %1 ...").arg(store->location()));
    checking_->start(
        [store] { return store->checkIntegrity(); },
        [this, store](const records::StoreFailure& failure) {
            if (failure.failed()) {
                emit said(messages::storeFault(failure.fault));
                ui::messages().show(window_, ui::messageTitle, messages::storeFault(failure.fault),
                                    ui::MessageService::Icon::Stop);
                return;
            }
            emit said(
                QStringLiteral("Checked %1: nothing in it is damaged.").arg(store->location()));
            checkChain(true);
        });
}

void StoreTasks::checkChain(bool whole)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || chaining_->isBusy())
        return;
    // Every record is read and hashed, one at a time: for a large store, a while.
    emit chainSaid(QStringLiteral("Checking the hash chain ..."));
    auto report = std::make_shared<records::ChainReport>();
    chaining_->start(
        [store, report, whole] {
            // Opening and Reload go on from where a walk before found the store whole; Check
            // store walks every record again.
            if (!whole)
                return records::checkChainOnward(*store, *report);
            const records::StoreFailure failure = store->checkChain(*report);
            if (!failure.failed())
                records::keepReached(*store, *report);
            return failure;
        },
        [this, store, report](const records::StoreFailure& failure) {
            emit chainSaid(failure.failed() ? messages::storeFault(failure.fault)
                                            : messages::chainReport(*report, store->location()));
            emit chainChecked();
        });
}

} // namespace quarvet::history
