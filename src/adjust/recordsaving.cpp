#include "recordsaving.h"

#include "lab/certificates.h"
#include "lab/labsettings.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "records/recordformat.h"
#include "ui/storecall.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QPointer>
#include <QUuid>
#include <QWidget>

namespace quarvet::adjust {
namespace {

// The reference from the register, held against the day of the calibration (for a
// correction, the calibration it corrects), as every face decides it; `problem` says why it
// cannot be used.
records::StoreFailure decideInStore(records::RecordStore& store, const lab::TypedReference& typed,
                                    records::RecordInput& input, QString& problem)
{
    QList<lab::ReferenceStandard> entries;
    lab::LabSettings lab;
    QString lookAlike;
    // A shared database's clock dates the record and gives the day its reference is held to.
    records::StoreFailure failure = store.clock(input.nowUtc);
    if (!failure.failed())
        failure = lab::referenceEntries(store, input.referenceId, entries);
    if (!failure.failed() && entries.isEmpty())
        failure = lab::registeredLookAlike(store, input.referenceId, lookAlike);
    if (!failure.failed())
        failure = lab::readLabSettings(store, lab);
    if (!failure.failed() && !input.corrects.isEmpty())
        failure = lab::calibrationOf(store, input.corrects, input);
    const QDate day =
        input.calibrated.isValid() ? input.calibrated : input.nowUtc.toLocalTime().date();
    if (!failure.failed())
        problem =
            messages::labRefusal(lab::decideReference(entries, lab, typed, day, input, lookAlike));
    if (!failure.failed() && problem.isEmpty())
        problem = messages::labRefusal(lab::takeLabTerms(lab, input));
    return failure;
}

// Two records that say the same, whenever and under whatever id they were saved.
bool sameContent(records::Record first, const records::Record& second)
{
    first.id = second.id;
    first.createdUtc = second.createdUtc;
    first.corrects = second.corrects;
    return first == second;
}

} // namespace

RecordSaving::RecordSaving(QWidget* window) : QObject(window)
{
    saving_ = new ui::StoreCall(ui::StoreCall::savingThreads(), window);
    looking_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    instrumentLooking_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    offering_ = new ui::StoreCall(ui::StoreCall::readingThreads(), window);
    connect(saving_, &ui::StoreCall::overdue, this, &RecordSaving::overdue);
    connect(saving_, &ui::StoreCall::upgrading, this, &RecordSaving::upgrading);
    connect(saving_, &ui::StoreCall::ended, this, &RecordSaving::savingEnded);
}

void RecordSaving::setStoreSource(StoreSource source)
{
    storeSource_ = std::move(source);
}

std::shared_ptr<records::RecordStore> RecordSaving::store() const
{
    return storeSource_ ? storeSource_() : nullptr;
}

bool RecordSaving::isSaving() const
{
    return saving_->isBusy();
}

bool RecordSaving::holdClose(QCloseEvent* event)
{
    return saving_->holdClose(event);
}

void RecordSaving::offerWhatWasUsed()
{
    const std::shared_ptr<records::RecordStore> store = this->store();
    if (!store || offering_->isBusy())
        return;
    const auto customers = std::make_shared<QStringList>();
    const auto method = std::make_shared<QString>();
    const auto references = std::make_shared<QStringList>();
    const auto settings = std::make_shared<lab::LabSettings>();
    offering_->start(
        [store, customers, method, references, settings] {
            QList<lab::ReferenceStandard> standards;
            records::StoreFailure failure = lab::customersUsed(*store, *customers);
            if (!failure.failed())
                failure = lab::readLabSettings(*store, *settings);
            if (!failure.failed())
                failure = lab::lastMethod(*store, *method);
            if (!failure.failed())
                failure = lab::listReferences(*store, standards);
            for (const lab::ReferenceStandard& standard : standards)
                if (standard.usable)
                    *references << standard.identifier;
            return failure;
        },
        [this, customers, method, references, settings](const records::StoreFailure& failure) {
            if (failure.failed())
                return;
            emit offered(*customers, *method, *references);
            // Terms that do not read are said when the record is saved, and refused.
            records::RecordInput terms;
            if (lab::takeLabTerms(*settings, terms).ok())
                emit labTermsRead(terms.scope, terms.setUp.pooled);
        });
}

void RecordSaving::lookUp(const QString& identifier)
{
    const std::shared_ptr<records::RecordStore> store = this->store();
    if (!store || identifier.isEmpty() || looking_->isBusy())
        return;
    const auto entries = std::make_shared<QList<lab::ReferenceStandard>>();
    looking_->start([store, entries,
                     identifier] { return lab::referenceEntries(*store, identifier, *entries); },
                    [this, entries](const records::StoreFailure& failure) {
                        if (!failure.failed() && !entries->isEmpty())
                            emit found(entries->last());
                    });
}

void RecordSaving::lookUpInstrument(const QString& serial)
{
    const std::shared_ptr<records::RecordStore> store = this->store();
    if (!store || serial.isEmpty() || instrumentLooking_->isBusy())
        return;
    const auto found = std::make_shared<QList<lab::Instrument>>();
    instrumentLooking_->start(
        [store, found, serial] { return lab::instrumentsWithSerial(*store, serial, *found); },
        [this, found, serial](const records::StoreFailure& failure) {
            if (!failure.failed())
                emit instrumentsFound(serial, *found);
        });
}

void RecordSaving::save(const records::RecordInput& input, const lab::TypedReference& typed)
{
    if (saving_->isBusy())
        return;
    const std::shared_ptr<records::RecordStore> store = this->store();
    if (!store) {
        emit refusedSaying(QStringLiteral("There is no record store to save to."), false);
        return;
    }
    // The reference from the register, and the day a correction is held against, are read
    // beside the window; the record is composed and saved once they are known.
    const auto decided = std::make_shared<records::RecordInput>(input);
    const auto problem = std::make_shared<QString>();
    saving_->start([store, decided, problem,
                    typed] { return decideInStore(*store, typed, *decided, *problem); },
                   [this, store, decided, problem](const records::StoreFailure& failure) {
                       if (failure.failed() || !problem->isEmpty()) {
                           saving_->keepOpen();
                           emit refusedSaying(failure.failed() ? messages::storeFault(failure.fault)
                                                               : *problem,
                                              true);
                           return;
                       }
                       composeAndSave(store, *decided);
                   });
}

void RecordSaving::composeAndSave(const std::shared_ptr<records::RecordStore>& store,
                                  const records::RecordInput& input)
{
    const records::Composition composition =
        records::composeRecord(input, input.nowUtc.toLocalTime().date(), input.nowUtc,
                               QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!composition.ok()) {
        saving_->keepOpen();
        emit refused(composition.refusal);
        return;
    }
    // The store keeps every record for good: pressing Save again on what was just saved would
    // make a second copy that nobody could remove.
    if (lastSaved_ && sameContent(*lastSaved_, composition.record)) {
        saving_->keepOpen();
        emit refusedSaying(QStringLiteral("This record was saved already (%1). Change what is to "
                                          "be recorded to save another one.")
                               .arg(records::shortId(lastSaved_->id)),
                           false);
        return;
    }
    startSaving(store, composition.record);
}

void RecordSaving::startSaving(const std::shared_ptr<records::RecordStore>& store,
                               const records::Record& record)
{
    emit savingStarted(store->location());
    saving_->start([store, record] { return store->add(record); },
                   [this, record](const records::StoreFailure& failure) {
                       if (failure.failed()) {
                           emit notSaved(messages::storeFault(failure.fault));
                           return;
                       }
                       lastSaved_ = record;
                       emit saved(record);
                   });
}

} // namespace quarvet::adjust
