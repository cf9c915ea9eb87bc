#pragma once

#include "columns.h"
#include "labtables.h"
#include "storefault.h"

#include <QString>
#include <QStringList>

#include <span>

// The records' schema in both databases: its versions, each with the columns it adds (from
// the column table) and the statements of its own, and each database's words where the two
// differ.
namespace quarvet::records {

// Not a statement: where a migration chains the records the store holds, which the store's
// code does, row by row, between the statements around it.
inline constexpr const char* chainStep = "-- chain the records kept so far";
// Not a statement either: where a migration seals the rows kept beside the records so far.
inline constexpr const char* sealStep = "-- seal the rows kept beside the records so far";
// The version that finds a record's corrections by an index.
inline constexpr int correctionIndexVersion = 2;
// The version that begins the chain.
inline constexpr int chainVersion = 4;
// The version that keeps the uncertainty of each result and the verdict as found.
inline constexpr int asFoundVersion = 5;
// The version that keeps the register of reference standards, the laboratory's settings and
// the issues of certificates.
inline constexpr int registerVersion = 6;

// One version's step: besides adding the columns whose `since` is this version.
struct Migration {
    int version;
    std::span<const KeptTable* const> tables; // made before its statements
    std::span<const char* const> sqlite;
    std::span<const char* const> postgres;
};

struct Schema {
    std::span<const Column> columns;
    std::span<const Migration> migrations; // versions 1, 2, ... in order

    int version() const { return migrations.empty() ? 0 : migrations.back().version; }
};

// This program's schema.
const Schema& recordSchema();

// What differs between SQLite and PostgreSQL.
struct Dialect {
    bool postgres;
    const char* doubleType;
    // The column that keeps the order of saving within a millisecond, and its definition where
    // the database has none of its own (SQLite's rowid).
    const char* orderColumn;
    const char* orderDefinition;
};

const Dialect& sqliteDialect();
const Dialect& postgresDialect();

// The statements that take a store of version `from` to `to` (the schema's newest when 0), in
// order, with the statement that records each version reached.
QStringList migrationStatements(const Schema& schema, const Dialect& dialect, int from, int to = 0);

// What those statements make up to `version`, as "table NAME", "index NAME", "trigger NAME",
// "function NAME", each with what the database says of it (SQLite: an index's or trigger's
// text; PostgreSQL: when a trigger fires and what it runs, a function's body's MD5), sorted
// and joined by `objectSeparator`: the objects a store of ours holds and no others.
QString expectedObjects(const Schema& schema, const Dialect& dialect, int version);
inline constexpr char16_t objectSeparator = 0x1E;

// The statement that reads from a PostgreSQL database what the guard compares: the version,
// the records' columns, and the objects as expectedObjects writes them.
QString postgresSchemaStatement(const Schema& schema);

// The tables those statements make up to `version`.
QStringList keptTableNames(const Schema& schema, const Dialect& dialect, int version);

// The names of the records table's columns at `version`, sorted and joined by commas, the
// database's own order column among them: what a store of ours holds.
QString expectedColumns(const Schema& schema, const Dialect& dialect, int version);

// Whether a store that says it is of `version`, whose records table has `columns` and which
// holds `objects` (as expectedColumns and expectedObjects write them, in any order) is one of
// ours that this program can read and upgrade.
StoreFault judgeSchema(const Schema& schema, const Dialect& dialect, int version,
                       const QString& columns, const QString& objects);

// The columns a store of `version` holds, in the schema's order.
QList<const Column*> columnsAt(const Schema& schema, int version);

} // namespace quarvet::records
