#pragma once

#include <QString>

namespace quarvet::records {

// Why a store could not do what was asked, as a kind and what it names; the words for the
// user are composed from it in messages/storemessages.h.
enum class StoreFaultKind {
    None,
    NoPlace,           // neither XDG_DATA_HOME nor HOME names a folder for the file
    BadAddress,        // the database setting is no postgresql:// URL; `detail` says why
    NoFolder,          // the file's folder cannot be made
    NotAFile,          // the path names a folder, a device or a pipe
    CannotOpen,        // the file cannot be opened; `detail` is the system's reason
    Unreachable,       // the database server does not answer or refuses the connection
    NotADatabase,      // the file is not an SQLite database
    Locked,            // another program holds the store
    Unreadable,        // the store's schema cannot be read; `detail` is the reason
    Foreign,           // the store holds tables that are not this program's
    Newer,             // a newer program's schema: `version`, of which this program knows `known`
    Altered,           // another program changed our tables, indexes or triggers
    AlreadyCorrected,  // the record a correction corrects has a correction: `detail`, its id
    Damaged,           // the store is damaged; `damage` says how it showed
    Unwritable,        // the store cannot be written to; `detail` is the reason
    NotSaved,          // a save failed for another reason; `detail` is the reason
    NotRead,           // a reading failed for another reason; `detail` is the reason
    OwnerMustUpgrade,  // the store is of an older schema and this role may not upgrade it
    NoRoles,           // a record file has no database roles to grant anything to
    NoSuchRole,        // the database has no role named `detail`
    Unfinished,        // another program's transaction never ended (a hot journal beside it)
    Upgrading,         // this program is bringing the file up to date (its journal and mark)
    ReadOnlyCompanion, // a file beside the store, `detail`, may not be written
    ReadOnlyUnmerged,  // a store this user may not write holds records in its unmerged log
    NotOwner,          // only the owner of a database's tables may grant roles anything
    NoSuchRecord,      // no record has the id `detail`
    AlreadyIssued,     // the record's certificate was issued already, as number `detail`
    Superseded,        // the record was corrected by `detail`: its correction is issued instead
    NoSuchReference,   // the register holds no reference standard `detail`
    NotIssued,         // the store holds no issue of the record's certificate
    NumberTaken,       // the number pattern makes `detail`, a number issued already
    NotIssuable,       // an accredited certificate lacks `detail`: the gaps, comma-separated
    ChainBroken,       // the chain, a seal or an issue is broken, first at `detail`
    ClockBehind,       // the record is dated before the last record's date, `detail`
    NotYetCalibrated,  // a reference standard calibrated on `detail`, after the store's today
    IssueClockBehind,  // an issue would be dated before `detail`, its record's or the last issue's
    NumberBlanks,      // the number `detail` has a blank at an end, or two together
    NotASigner,        // the login `detail` is not a listed signer (never, or withdrawn)
    SamePerson,        // `detail` would approve a record they performed or saved
    SignedAlready,     // the signer signed the record with that meaning already, `detail`
    SignCorrected,     // the record was corrected by `detail`: the correction is signed instead
    SignIssued,        // the record's certificate was issued already, as number `detail`
    SignaturesMissing, // the issue lacks the signatures `detail` names, comma-separated
    SigningLocked,     // three wrong passwords: no signing before `detail`
    SignedIssue,       // the laboratory takes who authorised from the signatures, not typed
    InstrumentExists,  // the register holds `detail` ("TYPE SERIAL") already
    NoSuchInstrument,  // the register holds no instrument `detail` ("TYPE SERIAL")
    InstrumentChanged, // another entry of `detail` ("TYPE SERIAL") came first
};

// How a damaged store showed its damage.
enum class Damage {
    Page,           // the database met a damaged page: `detail` is its own word
    IntegrityCheck, // a check of every page failed
    LostReadings,   // `count` verification readings belong to no record
};

struct StoreFault {
    StoreFaultKind kind = StoreFaultKind::None;
    bool database = false; // a PostgreSQL database rather than an SQLite file
    bool saving = false;   // in a save, where every sentence says that nothing was written
    QString location = {}; // the file, the database's URL without a password, or a setting
    QString detail = {};
    QString holder = {}; // who holds the lock a shared database's change waited for
    int version = 0;
    int known = 0;
    Damage damage = Damage::Page;
    qint64 count = 0;

    bool failed() const { return kind != StoreFaultKind::None; }
};

inline StoreFault storeFault(StoreFaultKind kind, QString detail = {})
{
    StoreFault fault;
    fault.kind = kind;
    fault.detail = std::move(detail);
    return fault;
}

inline StoreFault damaged(Damage damage, QString detail = {}, qint64 count = 0)
{
    StoreFault fault = storeFault(StoreFaultKind::Damaged, std::move(detail));
    fault.damage = damage;
    fault.count = count;
    return fault;
}

inline StoreFault newerSchema(int version, int known)
{
    StoreFault fault = storeFault(StoreFaultKind::Newer);
    fault.version = version;
    fault.known = known;
    return fault;
}

} // namespace quarvet::records
