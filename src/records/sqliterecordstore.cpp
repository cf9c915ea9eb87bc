#include "sqliterecordstore.h"

#include "sqlrecords.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QVariant>

namespace quarvet::records {
namespace {

// The first schema, after the tables; a later one adds a step, and each runs in the saving
// transaction.
const char* const schemaSteps[] = {
    // Append-only in the database itself, whatever program opens it.
    "CREATE TRIGGER records_never_changed BEFORE UPDATE ON records "
    "BEGIN SELECT RAISE(ABORT, 'records are never changed'); END",
    "CREATE TRIGGER records_never_removed BEFORE DELETE ON records "
    "BEGIN SELECT RAISE(ABORT, 'records are never removed'); END",
    "CREATE TRIGGER readings_never_changed BEFORE UPDATE ON verification "
    "BEGIN SELECT RAISE(ABORT, 'records are never changed'); END",
    "CREATE TRIGGER readings_never_removed BEFORE DELETE ON verification "
    "BEGIN SELECT RAISE(ABORT, 'records are never removed'); END",
    "PRAGMA user_version = 1",
};

constexpr int busyMilliseconds = 10000;

using sql::run;

// SQLite answers "locked" at once, without waiting, where waiting could deadlock: two
// connections switching a new file to WAL at the same moment. Such a statement is tried
// again, within the same time a busy database is waited for.
QString runWaiting(QSqlDatabase database, const QString& statement)
{
    const QDeadlineTimer deadline(busyMilliseconds);
    for (;;) {
        const QString error = run(database, statement);
        const bool busy = error.contains(QLatin1String("locked")) ||
                          error.contains(QLatin1String("busy"), Qt::CaseInsensitive);
        if (!busy || deadline.hasExpired())
            return error;
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

QString singleValue(QSqlDatabase database, const QString& statement, QVariant& value,
                    QVariant* second = nullptr)
{
    // Read while another program switches the file's journal: waited for, as a write is.
    return sql::singleValue(database, statement, value, second, true);
}

QString refusal(const QString& path, const QString& why)
{
    return QStringLiteral("The record file %1 %2. Nothing was written to it.").arg(path, why);
}

// What a look at an existing file found: the refusal (empty when it is ours and whole) and
// its schema version (0: no tables yet).
struct Judgement {
    QString refusal;
    int version = 0;
};

// What SQLite's answer says about a file that could not be read.
QString unreadable(const QString& path, const QString& error)
{
    if (error.contains(QLatin1String("not a database")))
        return refusal(path, QStringLiteral("is no database"));
    if (error.contains(QLatin1String("locked")) || error.contains(QLatin1String("busy")))
        return QStringLiteral("The record file %1 is held by another program (locked); try again "
                              "when it is done. Nothing was written to it.")
            .arg(path);
    return QStringLiteral("The record file %1 cannot be read: %2. Nothing was written to it.")
        .arg(path, error.trimmed());
}

// Whether the file is one of ours, of a schema this program knows, and whole; read only.
Judgement judgeExisting(QSqlDatabase database, const QString& path)
{
    // All in one statement, so one snapshot: read apart, another program's migration could
    // commit between them and its fresh tables look like another program's.
    QVariant version;
    QVariant tables;
    QVariant columns;
    const QString error = sql::singleValue(
        database,
        QStringLiteral("SELECT user_version, (SELECT count(*) FROM sqlite_master), "
                       "(SELECT group_concat(name, ', ') FROM (SELECT name FROM "
                       "pragma_table_info('records') ORDER BY cid)) FROM pragma_user_version"),
        version, &tables, true, &columns);
    if (!error.isEmpty())
        return {unreadable(path, error)};
    const int schema = version.toInt();
    if (schema > SqliteRecordStore::schemaVersion)
        return {refusal(path, QStringLiteral("was written by a newer program (schema %1; this "
                                             "program knows %2)")
                                  .arg(schema)
                                  .arg(SqliteRecordStore::schemaVersion))};
    // A version set by another program, or tables not ours beside it: not a records file.
    const bool ours = schema == 0
                          ? tables.toInt() == 0
                          : schema > 0 && columns.toString() == QLatin1String(sql::recordColumns);
    if (!ours)
        return {refusal(path, QStringLiteral("holds tables of another program"))};
    QVariant check;
    if (!singleValue(database, QStringLiteral("PRAGMA integrity_check"), check).isEmpty() ||
        check.toString() != QLatin1String("ok"))
        return {refusal(path, QStringLiteral("is damaged (its integrity check failed)"))};
    return {{}, schema};
}

// The schema up to date and the record in, in one transaction: all of it or none.
QString saveInTransaction(QSqlDatabase database, const Record& record)
{
    if (QString error = runWaiting(database, QStringLiteral("BEGIN IMMEDIATE")); !error.isEmpty())
        return error;
    QVariant version;
    QString error = singleValue(database, QStringLiteral("PRAGMA user_version"), version);
    if (error.isEmpty() && version.toInt() == 0)
        error = sql::makeSchema(database, QStringLiteral("REAL"), QString(), schemaSteps);
    if (error.isEmpty())
        error = sql::insertRecord(database, record);
    if (error.isEmpty())
        error = run(database, QStringLiteral("COMMIT"));
    if (!error.isEmpty())
        run(database, QStringLiteral("ROLLBACK"));
    return error;
}

// One connection to the file, waiting up to the busy time for a lock.
sql::Connection connectionTo(const QString& path)
{
    return sql::Connection(QStringLiteral("QSQLITE"), [&](QSqlDatabase& database) {
        database.setDatabaseName(path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
    });
}

} // namespace

SqliteRecordStore::SqliteRecordStore(const QString& path) : path_(path) {}

StoreFailure SqliteRecordStore::add(const Record& record)
{
    const bool existed = QFileInfo::exists(path_);
    if (!existed && !QDir().mkpath(QFileInfo(path_).absolutePath()))
        return {QStringLiteral("The folder of the record file %1 cannot be made.").arg(path_)};
    if (existed && !QFileInfo(path_).isFile())
        return {refusal(path_, QStringLiteral("is no file"))};
    const sql::Connection connection = connectionTo(path_);
    if (!connection.opened())
        return {QStringLiteral("The record file %1 cannot be opened: %2")
                    .arg(path_, connection.error())};
    QSqlDatabase database = connection.database();
    if (existed)
        if (const Judgement judged = judgeExisting(database, path_); !judged.refusal.isEmpty())
            return {judged.refusal};
    if (const QString error = runWaiting(database, QStringLiteral("PRAGMA journal_mode = WAL"));
        !error.isEmpty())
        return {QStringLiteral("The record file %1 cannot be written: %2").arg(path_, error)};
    if (const QString error = saveInTransaction(database, record); !error.isEmpty())
        return {QStringLiteral("The record was not saved in %1: %2").arg(path_, error)};
    return {};
}

StoreFailure SqliteRecordStore::list(const RecordFilter& filter, QList<Record>& records)
{
    records.clear();
    if (!QFileInfo::exists(path_))
        return {};
    const sql::Connection connection = connectionTo(path_);
    if (!connection.opened())
        return {QStringLiteral("The record file %1 cannot be opened: %2")
                    .arg(path_, connection.error())};
    QSqlDatabase database = connection.database();
    const Judgement judged = judgeExisting(database, path_);
    if (!judged.refusal.isEmpty())
        return {judged.refusal.section(QLatin1String(" Nothing"), 0, 0)};
    // A file whose first save never finished holds no tables, and no records.
    if (judged.version == 0)
        return {};
    if (const QString error = sql::readRecords(database, filter, QStringLiteral("rowid"), records);
        !error.isEmpty())
        return {QStringLiteral("The records in %1 cannot be read: %2").arg(path_, error)};
    return {};
}

} // namespace quarvet::records
