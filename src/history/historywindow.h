#pragma once

#include "lab/certificates.h"
#include "records/record.h"
#include "records/recordstore.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAbstractItemModel;
class QLabel;
class QTableView;

namespace quarvet::ui {
class StoreCall;
class UpgradeBar;
} // namespace quarvet::ui

namespace quarvet::history {

class CertificateActions;
class SigningActions;
class StoreTasks;
class HistoryFilter;
struct HistoryPage;
class RecordTableModel;

// The records of the store, newest first, filtered by serial number; for the selected record
// its certificate and its correction, the records the filter picks as CSV, and a check of
// the whole store on demand. Records are read a page at a time as the table is scrolled,
// each page on a thread of its own, so a history of a million records or a slow database
// never freezes the window, and the filter is the store's, so it finds every match.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    explicit HistoryWindow(StoreSource storeSource, QWidget* parent = nullptr);

    // Reads the records again; what is shown stays until they are in.
    void reload();
    // The store was changed (a record saved): the records and the chain's status read again,
    // so that the two status lines agree.
    void storeChanged();
    bool isLoading() const;
    bool isExporting() const;
    bool isChecking() const;

    RecordTableModel* records() const { return model_; }
    QAbstractItemModel* shownRows() const;

    void writeCertificate();
    // Issues the selected record's certificate, authorised by `by` in `role`, into the file the
    // user chooses: the next number from the store, once.
    // `accredited` false issues it without the laboratory's accreditation claim.
    void issueSelected(const QString& by, const QString& role, bool accredited = true);
    void exportCsv();
    void correctSelected();
    void checkStore();
    // Walks the store's hash chain beside the window and says in the chain's status line
    // whether it is whole.
    void checkChain();
    bool isCheckingChain() const;
    bool isWritingCertificate() const;
    // Whether a signature is being asked for or kept.
    bool isSigning() const;

signals:
    void correctionRequested(const quarvet::records::Record& record);
    void loaded();
    void certificateWritten();
    void chainChecked();

private:
    void createButtons();
    void createActions();
    std::optional<records::Record> selectedRecord();
    QTableView* createTable();
    void connectSorting();
    // The records the filter picks, in the order the header asks for, a page of them.
    records::RecordFilter wantedRecords() const;
    void readPage(bool first);
    void readPageAgain(int number);
    void afterReading();
    void showPage(const HistoryPage& page, bool first, const QString& location);

    StoreSource storeSource_;
    RecordTableModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    HistoryFilter* filter_ = nullptr;
    QLabel* status_ = nullptr;
    ui::StoreCall* reading_ = nullptr;
    bool reloadAgain_ = false;
    records::SortKey sort_ = records::SortKey::Date;
    bool ascending_ = false;
    int sortColumn_ = 0; // the header's column of the sort in force
    CertificateActions* certificates_ = nullptr;
    SigningActions* signing_ = nullptr;
    StoreTasks* tasks_ = nullptr; // export and the checks of the store
    QLabel* chainStatus_ = nullptr;
    ui::UpgradeBar* upgradeBar_ = nullptr;
    QString noteAfterReading_; // what an issue said, shown again once the records are read
};

} // namespace quarvet::history
