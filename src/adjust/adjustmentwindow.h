#pragma once

#include "checkentries.h"
#include "checkmodel.h"
#include "checkview.h"

#include "lab/instruments.h"
#include "lab/references.h"
#include "records/record.h"
#include "records/recordform.h"
#include "records/recordstore.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;

namespace quarvet::adjust {

class RecordFields;
class RecordSaving;

// The adjustment check: what the codes for the main window's last calculation will make the
// instrument read, for readings taken under the coefficients it holds, and the verification
// of readings taken after the codes were written, with its decision rule. Every edit is
// followed at once; an entry that is not a number is marked and named, never boxed.
class AdjustmentWindow : public QWidget {
    Q_OBJECT
public:
    explicit AdjustmentWindow(QWidget* parent = nullptr);
    // The record fields outlive this part of the window as it is destroyed: their last
    // edits reach neither it nor its calls into the store.
    ~AdjustmentWindow() override;

    // The main window's four entries at its last successful calculation, as read and (for
    // the record) as typed.
    void setMeasurement(double target1, double target2, double indicated1, double indicated2);
    void setMeasurement(const std::array<double, 4>& values, const std::array<QString, 4>& typed);

    // Where records are saved; asked at each save, so a changed setting counts at once.
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;
    void setRecordStoreSource(StoreSource source);
    // Fills the window from a saved record; the record saved from it then corrects that one.
    void correct(const records::Record& record);
    // Composes the record of what the window shows and saves it in the background; a refusal
    // names the field and puts the focus there.
    void saveRecord();
    bool isSaving() const;
    // Whether the user has typed or chosen something since the window opened or last saved.
    bool holdsUnsavedEntries() const { return unsaved_; }
    // True when nothing typed would be lost, or the user, asked, chose to discard it.
    bool mayDiscardEntries();
    // Says something of the record in the window's record status line.
    void showRecordStatus(const QString& text);

    // Fills the current codes from a decoded memory text's display line (1 or 2); false, and
    // nothing filled, when the text does not decode or the line shows nothing.
    bool takeCurrentCodesFromMemory(const QString& memoryText, int displayLine, QString& fault);

signals:
    void recordSaved(const quarvet::records::Record& record);
    // A save ended, kept or not; a save that failed is reported by the window itself.
    void savingFinished(bool saved);
    // The user asks to add the serial number, which the register of instruments does not
    // hold, as the fields name it.
    void instrumentToRegister(const quarvet::lab::Instrument& instrument);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createRecordColumn();
    std::optional<records::RecordInput> recordInput();
    bool entriesRefused();
    bool foreignSeparatorRefused();
    void refuse(const QString& why, QWidget* field);
    void refuse(const records::Refusal& refusal);
    QWidget* fieldFor(const records::Refusal& refusal) const;
    lab::TypedReference typedReference() const;
    void showFromRegister(const lab::ReferenceStandard& standard);
    void showInstruments(const QString& serial, const QList<lab::Instrument>& found);
    QPushButton* createRegisterButton();
    void connectSaving();
    // Every entry and the save button, from a save pressed to its outcome.
    void lockEntries(bool locked);
    void showSavingStarted(const QString& location);
    void showSaved(const records::Record& record);
    void showNotSaved(const QString& why);
    void readFromMemory();
    void refresh();
    void watchEdits();

    CheckModel model_; // what the view's fields hold, read at their last edit, and its results
    CheckView* view_ = nullptr;
    RecordFields* recordFields_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* registerButton_ = nullptr; // shown for a serial number the register lacks
    QLabel* recordStatus_ = nullptr;
    RecordSaving* saver_ = nullptr;
    QString corrects_;
    bool unsaved_ = false;
    bool discardAgreed_ = false; // the user chose to discard what is typed now
};

} // namespace quarvet::adjust
