#pragma once

#include "records/record.h"
#include "records/recordstore.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace quarvet::history {

class RecordTableModel;

// The records of the store, newest first, filtered by serial number; for the selected record
// its certificate and its correction, and the rows shown as CSV. Records are read on a thread
// of their own, so a large history or a slow database never freezes the window.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    explicit HistoryWindow(StoreSource storeSource, QWidget* parent = nullptr);

    // Reads the records again; what is shown stays until they are in.
    void reload();
    bool isLoading() const { return loading_ > 0; }
    bool isExporting() const { return exporting_ > 0; }

    RecordTableModel* records() const { return model_; }
    QSortFilterProxyModel* shownRows() const { return shown_; }

    void writeCertificate();
    void exportCsv();
    void correctSelected();

signals:
    void correctionRequested(const quarvet::records::Record& record);
    void loaded();

private:
    std::optional<records::Record> selectedRecord();
    void showLoaded(const records::StoreFailure& failure, QList<records::Record> found,
                    const QString& location);

    StoreSource storeSource_;
    RecordTableModel* model_ = nullptr;
    QSortFilterProxyModel* shown_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* status_ = nullptr;
    int loading_ = 0;
    bool reloadAgain_ = false;
    int exporting_ = 0;
    int generation_ = 0;
};

} // namespace quarvet::history
