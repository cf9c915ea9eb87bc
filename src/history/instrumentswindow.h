#pragma once

#include "lab/instrumenthistory.h"
#include "lab/instruments.h"
#include "records/recordstore.h"

#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::history {

class InstrumentTableModel;
class DriftPlotView;

// The register of instruments in the order they fall due (overdue red, due within 30 days
// amber), read a page at a time as the list is scrolled; a form for a new instrument or the
// next entry of the selected one; its state; and the selected instrument's history: its errors
// as found over the years with the tolerance band, the drift at each target, and the interval
// the staircase suggests, taken only when a person accepts it. Every change is a new entry in
// the store, read and written beside the window.
class InstrumentsWindow : public QWidget {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    explicit InstrumentsWindow(StoreSource storeSource, QWidget* parent = nullptr);

    void reload();
    // Registers the instrument the form holds; refused, said, when it is not one.
    void addInstrument();
    // The form as the next entry of the selected instrument.
    void changeSelected();
    void setSelectedState(lab::InstrumentState state);
    // A new entry of the selected instrument with the interval its history suggests.
    void acceptSuggestion();
    bool isBusy() const;
    InstrumentTableModel* model() const { return model_; }
    // The selected instrument's history as last read, and its interval's review.
    const QList<lab::HistoryPoint>& history() const { return history_; }
    const lab::IntervalReview& review() const { return review_; }
    // Fills the form with what a serial number's record would be saved with.
    void fillForm(const lab::Instrument& instrument);

signals:
    void changed();
    // The selected instrument's history has been read.
    void historyShown();

private:
    void createFields();
    void createForm(QWidget* holder);
    QWidget* createHistory();
    void createButtons();
    void readPage();
    void showSelected();
    bool readForm(lab::Instrument& instrument);
    void write(lab::Instrument instrument, int basedOn, bool reviewed, const QString& kept);
    const lab::Recall* selected() const;

    StoreSource storeSource_;
    InstrumentTableModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QComboBox* type_ = nullptr;
    QSpinBox* line_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QLineEdit* description_ = nullptr;
    QLineEdit* owner_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLineEdit* tolerance_ = nullptr;
    QComboBox* rule_ = nullptr;
    QLineEdit* target1_ = nullptr;
    QLineEdit* target2_ = nullptr;
    QLineEdit* thirdPoint_ = nullptr;
    DriftPlotView* plot_ = nullptr;
    QLabel* drift_ = nullptr;
    QLabel* suggestion_ = nullptr;
    QLabel* status_ = nullptr;
    QList<lab::HistoryPoint> history_;
    lab::IntervalReview review_;
    QString kept_;
    ui::StoreCall* calling_ = nullptr;
    ui::StoreCall* reading_ = nullptr;
};

} // namespace quarvet::history
