#pragma once

#include "authentication.h"
#include "chain.h"
#include "interface.h"
#include "keptseals.h"
#include "record.h"
#include "schema.h"
#include "storefault.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QSqlDatabase;
class QSqlError;

namespace quarvet::records {

// What a store says when it could not do what was asked: the typed fault, and the sentence
// made of it for the user.
// A store's answer: its fault, none when it did what was asked. messages::storeFault words it.
struct StoreFailure {
    StoreFault fault;

    StoreFailure() = default;
    explicit StoreFailure(StoreFault fault) : fault(std::move(fault)) {}
    bool failed() const { return fault.failed(); }
};

// Where a listing stands: the saving time and order of the last record it gave, so that the
// next page begins after it however many records were saved meanwhile.
struct ListPosition {
    QString createdUtc;
    qint64 order = 0;
    QString sortKey = {}; // the sort key's value, in a listing sorted by one
};

// What a listing newest first is sorted by before the time saved: the time alone, or a
// column first (its verdicts, technician, customer or certificate number).
enum class SortKey { Date, Serial, Type, AsFound, Verdict, Technician, Customer, Certificate };

// The order of a listing: newest first by the time they were saved, as the history shows
// them; or in the order the store kept them, which the hash chain follows, first to last or
// last first.
enum class ListOrder { NewestFirst, AsSaved, LastSavedFirst };

// Which records to read: those of one serial number, those whose serial number contains a
// text (in either case of letters), or those whose id begins with a prefix (in either case),
// or all when these are empty; after a position and at most `limit` of them when given.
struct RecordFilter {
    QString serial;
    QString idPrefix;
    QString serialContains;
    QString asFoundVerdict; // "Pass", "Fail", ...: those found so
    QString referenceId;    // those made with this reference standard
    QString customer;       // those calibrated for this customer
    QString certificate;    // the record whose certificate has this number
    std::optional<ListPosition> after;
    int limit = 0;            // 0: no limit
    bool corrections = false; // whether to name the records that correct each, its
                              // certificate's number and whether that amends one issued
    ListOrder order = ListOrder::NewestFirst;
    SortKey sortBy = SortKey::Date; // in a listing newest first
    bool ascending = false;         // the key and the time from the least, not the greatest

    static RecordFilter ofSerial(const QString& serial)
    {
        RecordFilter filter;
        filter.serial = serial;
        return filter;
    }
    static RecordFilter ofIdPrefix(const QString& prefix)
    {
        RecordFilter filter;
        filter.idPrefix = prefix;
        return filter;
    }
};

// What a listing says of a record besides the record: where it stands, and the records that
// correct it and the number of its certificate, if any.
struct ListedRecord {
    Record record;
    ListPosition position;
    QStringList correctedBy; // newest first: a store of an earlier version may hold two
    QString certificate = {};
    bool amends = false; // a record it corrects, or one before that, was issued
};

// Called for each record of a listing as it is read; a false answer ends the listing.
using RecordVisitor = std::function<bool(const ListedRecord&)>;

// What a store says of itself: the schema version it is of (0 before the first save) and its
// notes, oldest first, each "date  text".
struct StoreNotes {
    int version = 0;
    QStringList notes;
    qint64 orphanReadings = 0; // readings whose record is not there: one was removed
};

// What a witness kept outside the store says: that after `count` records the chain's head was
// `head`, at `noted`.
struct Witness {
    QString noted;
    qint64 count = 0;
    QString head;
};

// A witness the store contradicts: the hash of its record at that count (empty when the store
// holds fewer records).
struct WitnessBreak {
    Witness witness;
    QString found;
};

// A walk of the whole hash chain: how many records, the head when the chain is whole, and
// otherwise the first place it is broken.
// How far a walk found the store whole: its first `count` records, the last saved at `order`
// with `hash` at `savedUtc`; the seals up to `seals`; the issues up to `issueSequence`.
struct ChainCheckpoint {
    qint64 count = 0;
    qint64 order = 0;
    QString hash = {};
    QDateTime savedUtc = {};
    SealMark seals = {};
    qint64 issueSequence = 0;
};

struct ChainReport {
    qint64 count = 0;  // records walked
    qint64 intact = 0; // records found linked and whole before the break, if any
    QString head;
    std::optional<ChainBreak> broken;
    std::optional<ChainBreak> backwards; // a record dated before the one saved before it
    StoreNotes notes;
    bool chained = true; // false for records of a store that keeps no chain yet
    // Once the records' chain is whole: where a row kept beside them, or an issue, disagrees.
    std::optional<KeptBreak> keptBroken;
    std::optional<IssueBreak> issueBroken;
    std::optional<WitnessBreak> witnessBroken;

    // Where the walk left everything whole, for a later walk to go on from; none when it
    // found a break. Whether this walk went on from such a place.
    std::optional<ChainCheckpoint> reached;
    qint64 resumedAfter = 0; // records found whole before, which this walk did not read again

    // Whether nothing was found changed, removed or slipped in.
    bool whole() const
    {
        return !broken && !backwards && notes.orphanReadings == 0 && !keptBroken && !issueBroken &&
               !witnessBroken;
    }
};

// Where a walk found the store first broken, as an identifier: "record ID", "certificate N",
// "TABLE KEY" or "readings"; empty when it is whole.
QString firstBreak(const ChainReport& report);

// Told how far the upgrade that chains a store's earlier records has come: `done` of `total`,
// first with none done, then after each page, on the thread that saves. A program that shows
// it sets one (a terminal's line, a window's bar; a command's deadline waits for it); by
// default nothing is told.
using UpgradeProgress = std::function<void(qint64 done, qint64 total)>;
void setUpgradeProgress(UpgradeProgress progress);
void reportUpgrade(qint64 done, qint64 total);

// While it lives, upgrades made on this thread tell `progress` in place of what
// setUpgradeProgress set: each window's call into the store is told of its own upgrade.
class UpgradeProgressOnThisThread {
public:
    explicit UpgradeProgressOnThisThread(UpgradeProgress progress);
    ~UpgradeProgressOnThisThread();
    UpgradeProgressOnThisThread(const UpgradeProgressOnThisThread&) = delete;
    UpgradeProgressOnThisThread& operator=(const UpgradeProgressOnThisThread&) = delete;

private:
    UpgradeProgress before_;
};

// A change beside the records (the register of reference standards, the laboratory's
// settings, the issue of a certificate), made in the transaction that brings the schema up to
// date first; `savedBy` is who the store says makes it. An error it gives undoes all of it.
using StoreChange =
    std::function<QSqlError(QSqlDatabase database, const Dialect& dialect, const QString& savedBy)>;
// A reading in one snapshot of a store of `version` (0: no tables yet, nothing to read).
using StoreReading =
    std::function<QSqlError(QSqlDatabase database, const Dialect& dialect, int version)>;
// What a change's error means, when it is one the change expects (a constraint of its own);
// an empty fault for any other, which is said as the database says it.
using ChangeFault = std::function<StoreFault(const QSqlError& error)>;

// An append-only store of calibration records: records are added, never changed or removed.
class RecordStore : public Interface {
public:
    virtual ~RecordStore() = default;

    // Makes `change` in one transaction, the schema first brought up to date; a store of
    // another kind than the program's own two keeps nothing beside its records.
    virtual StoreFailure change(const StoreChange& change, const ChangeFault& fault)
    {
        Q_UNUSED(change);
        Q_UNUSED(fault);
        return StoreFailure(storeFault(StoreFaultKind::NotSaved, QStringLiteral("unsupported")));
    }
    // Runs `reading` in one snapshot of the store; nothing to read in another kind of store.
    virtual StoreFailure inspect(const StoreReading& reading)
    {
        Q_UNUSED(reading);
        return {};
    }

    // The time records and issues are dated by: a shared database's own clock, which no
    // workstation's clock set back can move; the workstation's for a file of its own.
    virtual StoreFailure clock(QDateTime& nowUtc)
    {
        nowUtc = QDateTime::currentDateTimeUtc();
        return {};
    }
    // Adds `record` whole or not at all.
    virtual StoreFailure add(const Record& record) = 0;
    // Visits the records the filter picks, newest first, while they are read: a listing of a
    // million records holds one of them at a time.
    virtual StoreFailure visit(const RecordFilter& filter, const RecordVisitor& visitor) = 0;
    // How many records the filter picks (its position and limit aside).
    virtual StoreFailure count(const RecordFilter& filter, qint64& count) = 0;
    // Reads every page of the store and checks it: slow on a large store, so only on demand.
    virtual StoreFailure checkIntegrity() = 0;
    // Where the records are kept, for telling the user.
    virtual QString location() const = 0;
    // The files the store lives in, which no output may replace; none for a database server.
    virtual QStringList files() const { return {}; }
    // The store's version and notes; with `countOrphans`, the readings whose record is gone,
    // which reads every reading.
    virtual StoreFailure readNotes(StoreNotes& notes, bool countOrphans = true)
    {
        Q_UNUSED(countOrphans);
        notes = {};
        return {};
    }

    // Brings the store up to date and gives `role` exactly what a workstation needs: reading
    // and adding records. Run by the owner of the tables; only a shared database has roles.
    virtual StoreFailure grant(const QString& role)
    {
        Q_UNUSED(role);
        StoreFault fault = storeFault(StoreFaultKind::NoRoles);
        fault.location = location();
        return StoreFailure(std::move(fault));
    }

    // Who signs through this store: the role a shared database's server authenticated
    // (`byServer`), or for a file of one's own the computer's login.
    virtual StoreFailure signingLogin(QString& login, bool& byServer)
    {
        login.clear();
        byServer = false;
        return StoreFailure(storeFault(StoreFaultKind::NotRead, QStringLiteral("unsupported")));
    }
    // Whether `password` is `login`'s, asked afresh of whoever authenticated it.
    virtual PasswordAnswer checkPassword(const QString& login, const QString& password)
    {
        Q_UNUSED(login);
        Q_UNUSED(password);
        return {PasswordCheck::Unavailable, QStringLiteral("this store authenticates nobody")};
    }

    // Walks every record in the order they were saved and checks the hash chain, and each
    // witness against the record at its count: slow on a large store, but holding one record
    // at a time.
    StoreFailure checkChain(ChainReport& report, std::vector<Witness> witnesses = {});
    // The same walk over what was kept after a checkpoint an earlier walk reached: what lies
    // before it is not read again, so a change there waits for a whole walk (records verify,
    // Check store) to be seen. A checkpoint the store no longer holds as it was, the walk
    // begins at the start.
    StoreFailure checkChainSince(ChainReport& report, const ChainCheckpoint& from);
    // The hash of the record saved last: what every certificate printed now names. Empty for a
    // store without records or one that keeps no chain yet.
    StoreFailure chainHead(QString& head);

    // The issues held against a chain found whole, and the rows beside it against their seals,
    // those after `from` only when given.
    StoreFailure checkBeside(ChainReport& report, const std::optional<ChainCheckpoint>& from = {});

    // The records the filter picks, newest first, all at once: for short listings.
    StoreFailure list(const RecordFilter& filter, QList<Record>& records);
    // The records whose serial number is `serial` (all for an empty one), newest first.
    StoreFailure list(const QString& serial, QList<Record>& records)
    {
        return list(RecordFilter::ofSerial(serial), records);
    }

private:
    StoreFailure walk(ChainReport& report, std::vector<Witness> witnesses,
                      std::optional<ChainCheckpoint> from);
    // Whether the record saved at the checkpoint's place is still there with its hash.
    StoreFailure holds(const ChainCheckpoint& from, bool& held);
};

} // namespace quarvet::records
