#pragma once

#include "records/recordstore.h"

#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QTimer;

namespace quarvet::history {

// The history's filter: part of a serial number, the verdict as found, and exactly a
// reference standard, a customer (reverse traceability) or a certificate's number. Typing
// asks once, after a pause, not at every key; choosing a verdict asks at once.
class HistoryFilter : public QWidget {
    Q_OBJECT

public:
    explicit HistoryFilter(QWidget* parent = nullptr);

    // What the fields pick, a page of `limit` records at a time, corrections named.
    records::RecordFilter filter(int limit) const;
    // Whether the fields pick fewer than every record.
    static bool narrows(const records::RecordFilter& filter);
    // A change is asked for now: no pause pending any longer.
    void settle();
    // Whether a change typed waits for its pause to end.
    bool pending() const;

signals:
    void changed();

private:
    QLineEdit* addField(QHBoxLayout* row, const QString& label, const QString& name);

    QLineEdit* serial_ = nullptr;
    QComboBox* asFound_ = nullptr;
    QLineEdit* reference_ = nullptr;
    QLineEdit* customer_ = nullptr;
    QLineEdit* certificate_ = nullptr;
    QTimer* pause_ = nullptr;
};

} // namespace quarvet::history
