#pragma once

#include "recordstore.h"
#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>

// What the SQLite and the PostgreSQL store share: running statements, the schema's steps,
// inserting a record and reading records back. Internal to the stores.
namespace quarvet::records::sql {

// One connection of Qt SQL's, named for this use alone and removed with it. `configure`
// sets the database's name, host and options before it is opened.
class Connection {
public:
    Connection(const QString& driver, const std::function<void(QSqlDatabase&)>& configure);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool opened() const { return opened_; }
    QSqlError error() const { return error_; }
    QSqlDatabase database() const;

private:
    QString name_;
    bool opened_ = false;
    QSqlError error_;
};

// The code of the error a save ends in when the database silently did not keep a row.
inline constexpr const char* notKeptCode = "quarvet-not-kept";
// The code of the error a save ends in when its record is dated before the last record's by
// more than clocks differ (its driver text the last date, its database text the record's).
inline constexpr const char* clockBehindCode = "quarvet-clock-behind";

// Runs `statement` and finishes it (an answer left open keeps COMMIT from ending the
// transaction); an invalid error when it succeeded.
QSqlError run(QSqlDatabase database, const QString& statement);
// Prepares `statement`, binds `values` in order and runs it.
QSqlError prepared(QSqlQuery& query, const QString& statement, const QVariantList& values);

// The values of a statement's first row.
QSqlError firstRow(QSqlDatabase database, const QString& statement, QVariantList& values);

// None while the connection still answers; a lost connection's error (SQLSTATE 08006) once
// it does not. A result cut short by a connection that went away may end as if it were whole:
// what it lacks is not to be taken as missing from the store.
QSqlError stillAnswering(QSqlDatabase database);

// Runs the statements in order; the first error.
QSqlError runAll(QSqlDatabase database, const QStringList& statements);

// Inserts the record and its verification readings. The caller holds the transaction.
QSqlError insertRecord(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                       const Record& record);

// Inserts the record as the chain's new head: saved by `savedBy`, linked to the last record
// the store kept, hashed. The caller holds the transaction.
QSqlError insertChained(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                        Record record, const QString& savedBy);

// Takes a store of `from` to the schema's version: the statements in order, and the records
// chained where a step says so, the chaining noted as done by `savedBy`.
QSqlError migrate(QSqlDatabase database, const Dialect& dialect, const Schema& schema, int from,
                  const QString& savedBy);

// The notes on a store of `version`, oldest first, each "noted_utc  note", and how many
// readings belong to no record.
QSqlError readNotes(QSqlDatabase database, int version, StoreNotes& notes, bool countOrphans);

// Visits the records the filter picks in a store of `version`, newest first, as they are
// read. The caller holds the transaction that keeps the reading one snapshot.
QSqlError visitRecords(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                       int version, const RecordFilter& filter, const RecordVisitor& visitor);

// The two statements of a listing read side by side: the records the filter picks, newest
// first, and their readings in the same order; both take `values` for their marks. `joined`
// is the one statement that reads both, each record with its readings in the rows after it.
struct Listing {
    QString records;
    QString readings;
    QVariantList values;
    QString joined = {};
};
Listing listingStatements(const Dialect& dialect, const QList<const Column*>& columns,
                          const RecordFilter& filter, int version);

// Whether the listing is sorted by a column before the time saved.
inline bool sortedByKey(const RecordFilter& filter)
{
    return filter.order == ListOrder::NewestFirst && filter.sortBy != SortKey::Date;
}

// How many values of a row of a listing's records statement make its record: the columns, the
// saving order, the corrections, the certificate's number and whether it amends one when asked
// for, the sort key in a listing sorted by one. The readings, where joined, come after them.
inline int listedWidth(const QList<const Column*>& columns, const RecordFilter& filter)
{
    return static_cast<int>(columns.size()) + 1 + (filter.corrections ? 3 : 0) +
           (sortedByKey(filter) ? 1 : 0);
}

// A record of a listing from a row of its records statement, whose n-th value `value(n)`
// gives: the columns, then the saving order, then (when asked for) the ids of the records that
// correct it, newest first, joined by commas, its certificate's number and how many of the
// records it corrects were issued, then the sort key in a listing sorted by one.
template <typename Value>
ListedRecord listedFrom(Value value, const QList<const Column*>& columns,
                        const RecordFilter& filter)
{
    constexpr int createdColumn = 1; // the saving time, second in every version
    ListedRecord listed;
    for (qsizetype n = 0; n < columns.size(); ++n)
        columns[n]->read(listed.record, value(static_cast<int>(n)));
    int next = static_cast<int>(columns.size());
    listed.position = {value(createdColumn).toString(), value(next++).toLongLong()};
    if (filter.corrections) {
        listed.correctedBy = value(next++).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        listed.certificate = value(next++).toString();
        listed.amends = value(next++).toLongLong() > 0;
    }
    if (sortedByKey(filter))
        listed.position.sortKey = value(next).toString();
    return listed;
}

// How many records the filter picks.
QSqlError countRecords(QSqlDatabase database, const Dialect& dialect, int version,
                       const RecordFilter& filter, qint64& count);

// The text of an error for a sentence: the database's own words.
QString said(const QSqlError& error);

} // namespace quarvet::records::sql
