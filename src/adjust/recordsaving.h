#pragma once

#include "lab/instruments.h"
#include "lab/references.h"
#include "records/record.h"
#include "records/recordform.h"
#include "records/recordstore.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QCloseEvent;
class QWidget;

namespace quarvet::ui {
class StoreCall;
}

namespace quarvet::adjust {

// The adjustment check's calls into the record store, beside the window so that it never
// freezes: saving a record (its reference decided from the register against the day of the
// calibration, then composed and kept), looking a reference up, and offering what records
// used before. The window shows what each says.
class RecordSaving : public QObject {
    Q_OBJECT
public:
    using StoreSource = std::function<std::shared_ptr<records::RecordStore>()>;

    // `window` is the one whose close is held while a save runs.
    explicit RecordSaving(QWidget* window);

    // Where records are saved; asked at each call, so a changed setting counts at once.
    void setStoreSource(StoreSource source);
    bool isSaving() const;
    // For the window's closeEvent: true, with the event ignored, while a save runs.
    bool holdClose(QCloseEvent* event);

    // Decides the reference in the store, composes the record of `input` and saves it;
    // nothing while a save runs.
    void save(const records::RecordInput& input, const lab::TypedReference& typed);
    // The register's newest entry of `identifier`, through found().
    void lookUp(const QString& identifier);
    // The instruments the register holds under `serial`, one a type, through
    // instrumentsFound().
    void lookUpInstrument(const QString& serial);
    // The customers of the records before, the newest record's method and the register's
    // usable standards, through offered().
    void offerWhatWasUsed();

signals:
    // Why the record was not composed or not saved: the refusal names its field; a sentence
    // is about the reference (`atReference`) or about nothing typed.
    void refused(const records::Refusal& refusal);
    void refusedSaying(const QString& why, bool atReference);
    void savingStarted(const QString& location);
    // The save brings the store up to date first: `done` of `total` records chained.
    void upgrading(qint64 done, qint64 total);
    // The save has ended, before its outcome is told.
    void savingEnded();
    void saved(const quarvet::records::Record& record);
    void notSaved(const QString& why);
    void overdue();
    void found(const quarvet::lab::ReferenceStandard& standard);
    void instrumentsFound(const QString& serial, const QList<quarvet::lab::Instrument>& found);
    void offered(const QStringList& customers, const QString& method,
                 const QStringList& references);
    // What the laboratory's settings add to the budgets (its scope and pooled repeatability),
    // read with what was used before.
    void labTermsRead(const std::vector<quarvet::calc::CmcRange>& scope,
                      const std::optional<quarvet::calc::PooledRepeatability>& pooled);

private:
    std::shared_ptr<records::RecordStore> store() const;
    void composeAndSave(const std::shared_ptr<records::RecordStore>& store,
                        const records::RecordInput& input);
    void startSaving(const std::shared_ptr<records::RecordStore>& store,
                     const records::Record& record);

    StoreSource storeSource_;
    ui::StoreCall* saving_ = nullptr;
    ui::StoreCall* looking_ = nullptr;           // the register
    ui::StoreCall* instrumentLooking_ = nullptr; // the register of instruments
    ui::StoreCall* offering_ = nullptr;          // what records used before
    std::optional<records::Record> lastSaved_;   // the last record saved from the window
};

} // namespace quarvet::adjust
