#pragma once

#include "record.h"
#include "recordstore.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <functional>
#include <span>

// What the SQLite and the PostgreSQL store share: the record's columns, its insertion and
// its reading back. Internal to the stores.
namespace quarvet::records::sql {

// The records table's columns in the order of Record, named so that statements never
// depend on the table's column order.
extern const char* const recordColumns;

// The statements that make the two tables and the index by serial number, the same in every
// database but for its word for a double and, where rows have no order of their own (SQLite
// has its rowid), the definition of a column that keeps the order of saving.
QStringList tableStatements(const QString& doubleType, const QString& orderColumn);

// Makes the tables, then runs a database's own `laterSteps` (its triggers, its version); the
// first error, or empty. The caller holds the transaction.
QString makeSchema(QSqlDatabase database, const QString& doubleType, const QString& orderColumn,
                   std::span<const char* const> laterSteps);

// One connection of Qt SQL's, named for this use alone and removed with it. `configure`
// sets the database's name, host and options before it is opened.
class Connection {
public:
    Connection(const QString& driver, const std::function<void(QSqlDatabase&)>& configure);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool opened() const { return opened_; }
    QString error() const { return error_; }
    QSqlDatabase database() const;

private:
    QString name_;
    bool opened_ = false;
    QString error_;
};

// Runs `statement` and finishes it (an answer left open keeps COMMIT from ending the
// transaction); the error text when it fails.
QString run(QSqlDatabase database, const QString& statement);

// The first value (and the second and third, when asked for) of a statement's first row.
// `retryLocked` waits out SQLite's "locked", which it answers at once where waiting could deadlock.
QString singleValue(QSqlDatabase database, const QString& statement, QVariant& value,
                    QVariant* second = nullptr, bool retryLocked = false,
                    QVariant* third = nullptr);

// Inserts the record and its verification readings; the error text when that failed. The
// caller holds the transaction.
QString insertRecord(QSqlDatabase database, const Record& record);

// The records the filter picks, newest first; `tieBreak` is the column that orders records
// saved within the same millisecond (the later first).
QString readRecords(QSqlDatabase database, const RecordFilter& filter, const QString& tieBreak,
                    QList<Record>& records);

} // namespace quarvet::records::sql
