#include "historywindow.h"

#include "calc/conformity.h"

#include "recordtablemodel.h"

#include "certificate/certificate.h"
#include "lab/certificates.h"
#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/outputfile.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "ui/filenameservice.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace quarvet::history {

// What one reading of the store gave: a page of records, whether it is the last, and for a
// first page how many records the store holds.
struct HistoryWindow::Page {
    records::StoreFailure failure;
    QList<records::ListedRecord> records;
    bool complete = false;
    qint64 total = 0;
    qint64 matching = -1; // those the filter picks; -1 without a filter
};

namespace {

// Enough rows to fill a tall window twice; the next page is read as the view nears its end.
constexpr int pageSize = 200;
// Typing a serial number asks the store once, after a pause, not at every key.
constexpr int filterPauseMilliseconds = 250;

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
    createFilter();
    model_ = new RecordTableModel(this);
    connect(model_, &RecordTableModel::moreWanted, this, [this] { readPage(false); });
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Records"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);
    createButtons();
    reading_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    exporting_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    checking_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    certifying_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    chaining_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    for (ui::StoreCall* call : {reading_, exporting_, checking_, certifying_, chaining_})
        connect(call, &ui::StoreCall::overdue, this, [this] {
            status_->setText(QStringLiteral("The record store has not answered for two minutes."));
        });
    resize(900, 500);
    reload();
    checkChain();
}

void HistoryWindow::createFilter()
{
    filterPause_ = new QTimer(this);
    filterPause_->setSingleShot(true);
    filterPause_->setInterval(filterPauseMilliseconds);
    connect(filterPause_, &QTimer::timeout, this, &HistoryWindow::reload);
    auto* filterRow = new QHBoxLayout;
    filter_ = new QLineEdit(this);
    filter_->setAccessibleName(QStringLiteral("Serial filter"));
    filter_->setPlaceholderText(QStringLiteral("part of a serial number"));
    auto* filterLabel = new QLabel(QStringLiteral("&Serial number:"), this);
    filterLabel->setBuddy(filter_);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    // Instruments found out of tolerance are what a lab must tell its customers of.
    asFoundFilter_ = new QComboBox(this);
    asFoundFilter_->setObjectName(QStringLiteral("AsFoundFilter"));
    asFoundFilter_->setAccessibleName(QStringLiteral("As-found filter"));
    asFoundFilter_->addItem(QStringLiteral("any"), QString());
    for (const calc::Verdict verdict :
         {calc::Verdict::Fail, calc::Verdict::ConditionalFail, calc::Verdict::NotJudged,
          calc::Verdict::ConditionalPass, calc::Verdict::Pass}) {
        const QString text = QString::fromStdString(calc::verdictText(verdict));
        asFoundFilter_->addItem(text, text);
    }
    auto* asFoundLabel = new QLabel(QStringLiteral("&As found:"), this);
    asFoundLabel->setBuddy(asFoundFilter_);
    filterRow->addWidget(asFoundLabel);
    filterRow->addWidget(asFoundFilter_);
    connect(asFoundFilter_, &QComboBox::currentIndexChanged, this, &HistoryWindow::reload);
    // Reverse traceability: every record of a reference standard, or of a customer.
    referenceFilter_ =
        addFilter(filterRow, QStringLiteral("Re&ference:"), QStringLiteral("Reference filter"));
    customerFilter_ =
        addFilter(filterRow, QStringLiteral("C&ustomer:"), QStringLiteral("Customer filter"));
    static_cast<QVBoxLayout*>(layout())->addLayout(filterRow);
    connect(filter_, &QLineEdit::textChanged, filterPause_, qOverload<>(&QTimer::start));
}

QLineEdit* HistoryWindow::addFilter(QHBoxLayout* row, const QString& label, const QString& name)
{
    auto* field = new QLineEdit(this);
    field->setAccessibleName(name);
    field->setPlaceholderText(QStringLiteral("exactly"));
    auto* caption = new QLabel(label, this);
    caption->setBuddy(field);
    row->addWidget(caption);
    row->addWidget(field);
    connect(field, &QLineEdit::textChanged, filterPause_, qOverload<>(&QTimer::start));
    return field;
}

void HistoryWindow::createButtons()
{
    auto* buttons = new QHBoxLayout;
    connect(addButton(this, buttons, QStringLiteral("&Certificate..."), "Certificate"),
            &QPushButton::clicked, this, &HistoryWindow::writeCertificate);
    connect(addButton(this, buttons, QStringLiteral("&Issue..."), "Issue"), &QPushButton::clicked,
            this, &HistoryWindow::askToIssue);
    connect(addButton(this, buttons, QStringLiteral("&Export CSV..."), "ExportCsv"),
            &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(addButton(this, buttons, QStringLiteral("C&orrect..."), "Correct"),
            &QPushButton::clicked, this, &HistoryWindow::correctSelected);
    buttons->addStretch(1);
    connect(addButton(this, buttons, QStringLiteral("Chec&k store"), "CheckStore"),
            &QPushButton::clicked, this, &HistoryWindow::checkStore);
    connect(addButton(this, buttons, QStringLiteral("&Reload"), "Reload"), &QPushButton::clicked,
            this, [this] {
                reload();
                checkChain();
            });
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
}

bool HistoryWindow::isLoading() const
{
    return reading_->isBusy() || filterPause_->isActive();
}

bool HistoryWindow::isExporting() const
{
    return exporting_->isBusy();
}

bool HistoryWindow::isChecking() const
{
    return checking_->isBusy();
}

bool HistoryWindow::isCheckingChain() const
{
    return chaining_->isBusy();
}

bool HistoryWindow::isWritingCertificate() const
{
    return certifying_->isBusy();
}

records::StoreFailure HistoryWindow::readInto(records::RecordStore& store,
                                              const records::RecordFilter& wanted, bool first,
                                              Page& page)
{
    records::StoreFailure failure;
    if (first)
        failure = store.count({}, page.total);
    // With a filter, how many it picks beside how many there are: "11 of 20 records".
    const bool filtered = !wanted.serialContains.isEmpty() || !wanted.asFoundVerdict.isEmpty() ||
                          !wanted.referenceId.isEmpty() || !wanted.customer.isEmpty();
    if (first && filtered && !failure.failed())
        failure = store.count(wanted, page.matching);
    if (!failure.failed())
        failure = store.visit(wanted, [&](const records::ListedRecord& listed) {
            page.records.append(listed);
            return true;
        });
    page.complete = page.records.size() < wanted.limit;
    return failure;
}

QAbstractItemModel* HistoryWindow::shownRows() const
{
    return model_;
}

records::RecordFilter HistoryWindow::filter() const
{
    records::RecordFilter filter;
    filter.serialContains = filter_->text();
    filter.asFoundVerdict = asFoundFilter_->currentData().toString();
    filter.referenceId = referenceFilter_->text().trimmed();
    filter.customer = customerFilter_->text().trimmed();
    filter.limit = pageSize;
    filter.corrections = true;
    return filter;
}

void HistoryWindow::reload()
{
    filterPause_->stop();
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
    records::RecordFilter wanted = filter();
    if (!first)
        wanted.after = model_->nextPosition();
    else
        status_->setText(QStringLiteral("Reading the records of %1 ...").arg(store->location()));
    auto page = std::make_shared<Page>();
    reading_->start([store, wanted, first, page] { return readInto(*store, wanted, first, *page); },
                    [this, store, first, page](const records::StoreFailure& failure) {
                        page->failure = failure;
                        showPage(*page, first, store->location());
                        if (std::exchange(reloadAgain_, false))
                            reload();
                    });
}

void HistoryWindow::showPage(const Page& page, bool first, const QString& location)
{
    if (page.failure.failed()) {
        status_->setText(messages::storeFault(page.failure.fault));
        if (!first)
            model_->appendPage({}, true);
    } else if (first) {
        status_->setText(
            page.matching >= 0
                ? QStringLiteral("%1 of %2 %3 in %4.")
                      .arg(page.matching)
                      .arg(page.total)
                      .arg(page.total == 1 ? QStringLiteral("record") : QStringLiteral("records"),
                           location)
                : (page.total == 1 ? QStringLiteral("%1 record in %2.")
                                   : QStringLiteral("%1 records in %2."))
                      .arg(page.total)
                      .arg(location));
        model_->setFirstPage(page.records, page.complete);
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
    return model_->recordAt(rows.first().row());
}

namespace {

// What a certificate printed now says beside its record: issued, a copy naming the head it was
// issued under; not yet, a draft naming the store's head now.
records::StoreFailure readForCertificate(records::RecordStore& store, const records::Record& record,
                                         const QString& correctedBy, QString& head,
                                         lab::CertificateStatus& status)
{
    records::StoreFailure failure = lab::certificateStatus(
        store, record, correctedBy.isEmpty() ? QStringList() : QStringList{correctedBy}, status);
    if (!failure.failed() && status.issue)
        head = status.issue->chainHead;
    else if (!failure.failed())
        failure = store.chainHead(head);
    status.copy = status.issue.has_value();
    return failure;
}

} // namespace

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
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || certifying_->isBusy())
        return;
    // The chain's head and the certificate's issue are read from the store, away from the
    // window; the page is written once they are known. Issued, it is printed as a copy; not
    // issued, as a draft.
    const auto head = std::make_shared<QString>();
    const auto status = std::make_shared<lab::CertificateStatus>();
    const QString correctedBy = model_->correctedBy(record->id);
    certifying_->start(
        [store, head, status, record = *record, correctedBy] {
            return readForCertificate(*store, record, correctedBy, *head, *status);
        },
        [this, store, head, status, record = *record, path](const records::StoreFailure& failure) {
            writeCertificateFile(failure, record, path, store->files(), *head, *status);
        });
}

namespace {

// The certificate issued, and what its page needs: the chain's head and its status.
records::StoreFailure issueInStore(records::RecordStore& store, const records::Record& record,
                                   const QString& correctedBy, lab::CertificateIssue& issue,
                                   QString& head, lab::CertificateStatus& status)
{
    records::StoreFailure failure = lab::issueCertificate(store, issue);
    head = issue.chainHead;
    if (!failure.failed())
        failure = lab::certificateStatus(
            store, record, correctedBy.isEmpty() ? QStringList() : QStringList{correctedBy},
            status);
    status.issue = issue;
    return failure;
}

} // namespace

// Who authorises the certificate, asked in a dialog of its own: both must be given.
void HistoryWindow::askToIssue()
{
    if (!selectedRecord())
        return;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("IssueCertificate"));
    dialog.setWindowTitle(QStringLiteral("Issue certificate"));
    auto* form = new QFormLayout(&dialog);
    auto* by = new QLineEdit(&dialog);
    by->setAccessibleName(QStringLiteral("Authorised by"));
    auto* role = new QLineEdit(&dialog);
    role->setAccessibleName(QStringLiteral("Role"));
    form->addRow(QStringLiteral("&Authorised by:"), by);
    form->addRow(QStringLiteral("&Role:"), role);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    // Judged in the dialog, which stays open with what was typed and the cursor in the field.
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        bool roleWrong = false;
        if (!issuerRefused(by->text().trimmed(), role->text().trimmed(), &roleWrong))
            dialog.accept();
        else
            (roleWrong ? role : by)->setFocus();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted)
        issueSelected(by->text(), role->text());
}

QString HistoryWindow::certificatePath(const QString& caption, const QString& id)
{
    return ui::fileNames().saveFileName(
        this, caption,
        QDir::home().filePath(QStringLiteral("certificate-%1.pdf").arg(records::shortId(id))),
        QStringLiteral("PDF (*.pdf)"));
}

bool HistoryWindow::issuable(const records::Record& record, const QString& path,
                             const QStringList& kept)
{
    const records::OutputFault output = records::certificateOutput(record, path, kept);
    if (output.failed())
        ui::messages().show(this, ui::messageTitle, messages::certificateFault(output),
                            ui::MessageService::Icon::Stop);
    return !output.failed();
}

bool HistoryWindow::issuerRefused(const QString& by, const QString& role, bool* roleWrong)
{
    QString why;
    bool inRole = false;
    if (by.isEmpty() || role.isEmpty()) {
        why = QStringLiteral("A certificate is issued by a person named at issue: give who "
                             "authorises it and their role.");
        inRole = !by.isEmpty();
    } else if (const records::Refusal refusal = records::issuerRefusal(by, role); !refusal.ok()) {
        why = QString::fromStdString(messages::recordRefusal(refusal));
        inRole = refusal.field == records::RecordField::Role;
    }
    if (roleWrong)
        *roleWrong = inRole;
    if (!why.isEmpty())
        ui::messages().show(this, ui::messageTitle, why, ui::MessageService::Icon::Stop);
    return !why.isEmpty();
}

void HistoryWindow::issueSelected(const QString& by, const QString& role)
{
    const std::optional<records::Record> record = selectedRecord();
    if (!record)
        return;
    if (issuerRefused(by.trimmed(), role.trimmed()))
        return;
    const QString path = certificatePath(QStringLiteral("Issue certificate"), record->id);
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    // The number is spent once: not on a file that cannot be written.
    if (path.isEmpty() || !store || certifying_->isBusy() ||
        !issuable(*record, path, store->files()))
        return;
    const auto head = std::make_shared<QString>();
    const auto status = std::make_shared<lab::CertificateStatus>();
    const QString correctedBy = model_->correctedBy(record->id);
    lab::CertificateIssue issue{
        0, {}, record->id, QDateTime::currentDateTimeUtc(), by.trimmed(), role.trimmed(), {}, {}};
    certifying_->start(
        [store, head, status, record = *record, correctedBy, issue]() mutable {
            return issueInStore(*store, record, correctedBy, issue, *head, *status);
        },
        [this, store, head, status, record = *record, path](const records::StoreFailure& failure) {
            if (!writeCertificateFile(failure, record, path, store->files(), *head, *status))
                return;
            status_->setText(
                status_->text() +
                QStringLiteral(" Issued as certificate %1.").arg(status->issue->number));
        });
}

bool HistoryWindow::writeCertificateFile(const records::StoreFailure& read,
                                         const records::Record& record, const QString& path,
                                         const QStringList& kept, const QString& chainHead,
                                         const lab::CertificateStatus& status)
{
    // What the store could not give, or the page that could not be written, is said; a
    // page is said written only once it is.
    QString fault = read.failed() ? messages::storeFault(read.fault) : QString();
    if (fault.isEmpty())
        fault = certificate::writeCertificate(record, path, kept, chainHead, status);
    if (!fault.isEmpty()) {
        ui::messages().show(this, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
        return false;
    }
    status_->setText(QStringLiteral("Certificate of record %1 written to %2.")
                         .arg(records::shortId(record.id), path));
    emit certificateWritten();
    return true;
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

void HistoryWindow::exportCsv()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    const QString path =
        store && !exporting_->isBusy()
            ? ui::fileNames().saveFileName(this, QStringLiteral("Export CSV"),
                                           QDir::home().filePath(QStringLiteral("records.csv")),
                                           QStringLiteral("CSV (*.csv)"))
            : QString();
    if (path.isEmpty())
        return;
    // Many thousands of rows take a moment to write: beside the window, not in its way.
    status_->setText(QStringLiteral("Writing %1 ...").arg(path));
    auto exported = std::make_shared<Exported>();
    exporting_->start(
        [store, path, wanted = filter(), exported] {
            return writeCsv(path, *store, wanted, *exported);
        },
        [this, path, exported](const records::StoreFailure& failure) {
            const QString fault =
                failure.failed() ? messages::storeFault(failure.fault) : exported->fault;
            if (!fault.isEmpty()) {
                status_->setText(QStringLiteral("Nothing was exported."));
                ui::messages().show(this, ui::messageTitle, fault, ui::MessageService::Icon::Stop);
                return;
            }
            status_->setText((exported->count == 1 ? QStringLiteral("%1 record written to %2.")
                                                   : QStringLiteral("%1 records written to %2."))
                                 .arg(exported->count)
                                 .arg(path));
        });
}

void HistoryWindow::checkStore()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || checking_->isBusy())
        return;
    // Every page of the store is read: for a large one, a while, beside the window.
    status_->setText(QStringLiteral("Checking %1 ...").arg(store->location()));
    checking_->start(
        [store] { return store->checkIntegrity(); },
        [this, store](const records::StoreFailure& failure) {
            if (failure.failed()) {
                status_->setText(messages::storeFault(failure.fault));
                ui::messages().show(this, ui::messageTitle, messages::storeFault(failure.fault),
                                    ui::MessageService::Icon::Stop);
                return;
            }
            status_->setText(
                QStringLiteral("Checked %1: nothing in it is damaged.").arg(store->location()));
        });
}

void HistoryWindow::checkChain()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || chaining_->isBusy())
        return;
    // Every record is read and hashed, one at a time: for a large store, a while.
    chainStatus_->setText(QStringLiteral("Checking the hash chain ..."));
    auto report = std::make_shared<records::ChainReport>();
    chaining_->start([store, report] { return store->checkChain(*report); },
                     [this, store, report](const records::StoreFailure& failure) {
                         chainStatus_->setText(
                             failure.failed() ? messages::storeFault(failure.fault)
                                              : messages::chainReport(*report, store->location()));
                         emit chainChecked();
                     });
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
