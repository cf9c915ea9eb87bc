#pragma once

#include "lab/references.h"
#include "records/recordstore.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QTableWidget;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

// The register of reference standards: the newest entry of each, a form for a new entry (a
// standard first registered, or one that changed) and the withdrawal of the selected one.
// Every change is a new entry in the store; nothing is changed or removed. The store is read
// and written beside the window.
class ReferencesWindow : public QWidget {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    explicit ReferencesWindow(StoreSource storeSource, QWidget* parent = nullptr);

    void reload();
    // Adds the entry the form holds; refused, said, when it is not one.
    void addEntry();
    // A new entry of the selected standard that withdraws it.
    void withdrawSelected();
    bool isBusy() const;

signals:
    void changed();

private:
    QLineEdit* addField(const QString& accessibleName, const QString& placeholder = {});
    void createForm();
    void show(const QList<lab::ReferenceStandard>& standards);
    void write(lab::ReferenceStandard standard, const QString& kept);
    void takeIntoForm(int row);
    bool holdsAlready(const lab::ReferenceStandard& standard) const;
    bool foreignSeparatorRefused();
    bool readForm(lab::ReferenceStandard& standard);

    StoreSource storeSource_;
    QTableWidget* table_ = nullptr;
    QList<lab::ReferenceStandard> shown_;
    // How far the store's clock is ahead of this workstation's, read with the register: its
    // day is "today" for a calibration date, as the store holds it when the entry is saved.
    qint64 storeAheadSeconds_ = 0;
    QLineEdit* identifier_ = nullptr;
    QLineEdit* description_ = nullptr;
    QLineEdit* certificate_ = nullptr;
    QLineEdit* calibratedBy_ = nullptr;
    QLineEdit* u_ = nullptr;
    QLineEdit* k_ = nullptr;
    QLineEdit* drift_ = nullptr;
    QLineEdit* calibrated_ = nullptr;
    QLineEdit* due_ = nullptr;
    QLabel* status_ = nullptr;
    QString kept_; // what the last entry kept, said once the register is read again
    ui::StoreCall* calling_ = nullptr;
};

} // namespace quarvet::history
