#pragma once

#include "chain.h"
#include "labtables.h"
#include "schema.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <optional>

// The rows kept beside the records (the store's notes, the register of reference standards,
// the laboratory's settings and the issues of certificates) each sealed, as it is added, by a
// hash of its fields and of the seal before it: one chain of seals, which `records verify`
// walks beside the records' own. And the issues held against the records they name.
namespace quarvet::records {

// The row of a kept table that a seal names, by the table's key fields.
struct SealKey {
    QString text;
    qint64 number = 0;
};

// The time a row is dated by: the server's clock in a shared database, the workstation's for
// a file of its own.
QSqlError serverClock(QSqlDatabase database, const Dialect& dialect, QDateTime& nowUtc);

// Makes the changes of the kept tables wait for each other in a shared database, so that each
// takes the next number and the next seal; in SQLite the write transaction does that.
QSqlError serialiseKept(QSqlDatabase database, const Dialect& dialect);

// The other sessions of a shared database holding that lock, as "ROLE (server process PID)",
// for whoever must end one that holds it for good; empty where none does or none is seen.
QString serialisingHolders(QSqlDatabase database);

// Seals the row of `table` that `key` names, added in the caller's transaction, as the next
// link of the seals' chain, by `savedBy`. The store's schema holds the seals.
QSqlError seal(QSqlDatabase database, const Dialect& dialect, const KeptTable& table,
               const SealKey& key, const QString& savedBy);

// Seals every row kept before the seals, table by table, and notes that it did.
QSqlError sealExisting(QSqlDatabase database, const Dialect& dialect, const QString& savedBy);

// Where the seals show a kept row touched by another program.
struct KeptBreak {
    enum class Kind {
        Changed,  // its fields no longer give its seal
        Removed,  // a sealed row is not there
        Unsealed, // the table holds rows that no seal names: added by another program
        Unlinked, // a seal does not link to the one before it: one removed, changed or added
        // a signature's record is not there, or no longer has the hash it signed
        NotItsRecord,
    };
    Kind kind;
    QString table; // its name in the store
    SealKey key;
    qint64 position = 0;   // the seal's
    qint64 count = 0;      // rows no seal names
    QString sealedBy = {}; // who the seal says kept the row, as the store saw them
};

// Where an issue of a certificate disagrees with the records.
struct IssueBreak {
    enum class Kind {
        NoRecord,       // the record it was issued for is gone
        RecordChanged,  // the record's hash is not the one issued
        HeadNotInChain, // the chain head it names is not the record's or a later one's
    };
    Kind kind;
    QString number;
    QString recordId;
    QString chainHead;
};

// Where a walk of the seals stands: the last seal found whole, or the chain's start.
struct SealMark {
    qint64 position = 0;
    QString hash = chainStart();
};

// Walks the seals of a store of `version` (none before the seals began) after `mark`, moving
// it on, and checks each row; and, walked from the start, how many rows each table holds.
// The first break, if any.
QSqlError checkSeals(QSqlDatabase database, const Dialect& dialect, int version,
                     std::optional<KeptBreak>& broken, SealMark& mark);

// Checks every issue of a store of `version` whose record chain is whole up to `head`: its
// record is there, with the hash issued, and the chain head it names is that record's or a
// later record's. The first break, if any.
// Those after `sequence`, which is moved on to the last one checked.
QSqlError checkIssues(QSqlDatabase database, const Dialect& dialect, int version,
                      const QString& head, std::optional<IssueBreak>& broken, qint64& sequence);

} // namespace quarvet::records
