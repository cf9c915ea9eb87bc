#pragma once

#include "records/recordstore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

// What the history does with the whole store beside its window: the records the filter picks
// exported as CSV, every page of the store checked, and the hash chain walked. Each says how
// it went; none holds the window.
class StoreTasks : public QObject {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    StoreTasks(QWidget* window, StoreSource storeSource);

    void exportCsv(const records::RecordFilter& wanted);
    void checkStore();
    void checkChain(bool whole = false);
    bool isExporting() const;
    bool isChecking() const;
    bool isCheckingChain() const;

signals:
    void said(const QString& text);      // for the history's status line
    void chainSaid(const QString& text); // for its chain's status line
    void chainChecked();
    void overdue();

private:
    QWidget* window_;
    StoreSource storeSource_;
    ui::StoreCall* exporting_ = nullptr;
    ui::StoreCall* checking_ = nullptr;
    ui::StoreCall* chaining_ = nullptr;
};

} // namespace quarvet::history
