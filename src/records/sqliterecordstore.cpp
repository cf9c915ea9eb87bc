#include "sqliterecordstore.h"

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

// The first schema; a later one adds a step, and each runs in the saving transaction.
const char* const schemaSteps[] = {
    R"(CREATE TABLE records (
        id TEXT PRIMARY KEY NOT NULL,
        created_utc TEXT NOT NULL,
        program_version TEXT NOT NULL,
        instrument_type TEXT NOT NULL,
        serial TEXT NOT NULL,
        display_line INTEGER NOT NULL,
        technician TEXT NOT NULL,
        reference_id TEXT NOT NULL,
        reference_u REAL NOT NULL,
        reference_due TEXT NOT NULL,
        ambient REAL,
        target1_typed TEXT NOT NULL, target2_typed TEXT NOT NULL,
        indicated1_typed TEXT NOT NULL, indicated2_typed TEXT NOT NULL,
        target1 REAL NOT NULL, target2 REAL NOT NULL,
        indicated1 REAL NOT NULL, indicated2 REAL NOT NULL,
        current_slope_code TEXT NOT NULL, current_offset_code TEXT NOT NULL,
        slope_code TEXT NOT NULL, offset_code TEXT NOT NULL,
        predicted_error1 REAL NOT NULL, predicted_error2 REAL NOT NULL,
        tolerance REAL,
        rule TEXT NOT NULL,
        verdict TEXT NOT NULL,
        note TEXT NOT NULL,
        corrects TEXT REFERENCES records(id)))",
    R"(CREATE TABLE verification (
        record_id TEXT NOT NULL REFERENCES records(id),
        position INTEGER NOT NULL,
        target REAL NOT NULL,
        reading REAL NOT NULL,
        PRIMARY KEY (record_id, position)))",
    "CREATE INDEX records_by_serial ON records(serial, created_utc)",
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

// One connection of Qt SQL's, named for this use alone and removed with it.
class Connection {
public:
    explicit Connection(const QString& path)
        : name_(QStringLiteral("quarvet-records-") + QUuid::createUuid().toString(QUuid::Id128))
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        database.setDatabaseName(path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
        opened_ = database.open();
        error_ = database.lastError().text();
    }
    ~Connection()
    {
        {
            QSqlDatabase database = QSqlDatabase::database(name_, false);
            database.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool opened() const { return opened_; }
    QString error() const { return error_; }
    QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_;
    bool opened_ = false;
    QString error_;
};

// Runs `statement`; the error text when it fails. A statement that answers (a PRAGMA) is
// finished at once: one left open keeps COMMIT from ending the transaction.
QString run(QSqlQuery& query, const QString& statement)
{
    const bool ok = query.exec(statement);
    const QString error = ok ? QString() : query.lastError().text();
    query.finish();
    return error;
}

// SQLite answers "locked" at once, without waiting, where waiting could deadlock: two
// connections switching a new file to WAL at the same moment. Such a statement is tried
// again, within the same time a busy database is waited for.
QString runWaiting(QSqlQuery& query, const QString& statement)
{
    const QDeadlineTimer deadline(busyMilliseconds);
    for (;;) {
        const QString error = run(query, statement);
        const bool busy = error.contains(QLatin1String("locked")) ||
                          error.contains(QLatin1String("busy"), Qt::CaseInsensitive);
        if (!busy || deadline.hasExpired())
            return error;
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

// Qt binds a null text as SQL NULL; a record's texts are never NULL, at most empty.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString singleValue(QSqlDatabase database, const QString& statement, QVariant& value,
                    QVariant* second = nullptr)
{
    // Read while another program switches the file's journal: waited for, as a write is.
    const QDeadlineTimer deadline(busyMilliseconds);
    for (;;) {
        QSqlQuery query(database);
        if (query.exec(statement) && query.next()) {
            value = query.value(0);
            if (second)
                *second = query.value(1);
            query.finish();
            return {};
        }
        const QString error = query.lastError().text();
        if (!error.contains(QLatin1String("locked")) || deadline.hasExpired())
            return error.isEmpty() ? QStringLiteral("no answer") : error;
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

QString refusal(const QString& path, const QString& why)
{
    return QStringLiteral("The record file %1 %2. Nothing was written to it.").arg(path, why);
}

// Whether the file is one of ours, of a schema this program knows, and whole; read only.
QString judgeExisting(QSqlDatabase database, const QString& path)
{
    // Both in one statement, so one snapshot: read apart, another program's migration could
    // commit between them and its fresh tables look like another program's.
    QVariant version;
    QVariant tables;
    if (!singleValue(database,
                     QStringLiteral("SELECT user_version, (SELECT count(*) FROM sqlite_master) "
                                    "FROM pragma_user_version"),
                     version, &tables)
             .isEmpty())
        return refusal(path, QStringLiteral("is no database"));
    if (version.toInt() > SqliteRecordStore::schemaVersion)
        return refusal(path, QStringLiteral("was written by a newer program (schema %1; this "
                                            "program knows %2)")
                                 .arg(version.toInt())
                                 .arg(SqliteRecordStore::schemaVersion));
    if (version.toInt() == 0 && tables.toInt() > 0)
        return refusal(path, QStringLiteral("holds tables of another program"));
    QVariant check;
    if (!singleValue(database, QStringLiteral("PRAGMA integrity_check"), check).isEmpty() ||
        check.toString() != QLatin1String("ok"))
        return refusal(path, QStringLiteral("is damaged (its integrity check failed)"));
    return {};
}

QVariant toText(const QDateTime& time)
{
    return QVariant(time.toUTC().toString(Qt::ISODateWithMs) + QString());
}

QVariant optional(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

// A record's columns in the order of the table.
QVariantList columnsOf(const Record& record)
{
    return {text(record.id),
            toText(record.createdUtc),
            text(record.programVersion),
            text(record.instrumentType),
            text(record.serial),
            record.displayLine,
            text(record.technician),
            text(record.referenceId),
            record.referenceUncertainty,
            text(record.referenceDue.toString(Qt::ISODate)),
            optional(record.ambient),
            text(record.entriesTyped[0]),
            text(record.entriesTyped[1]),
            text(record.entriesTyped[2]),
            text(record.entriesTyped[3]),
            record.entriesRead[0],
            record.entriesRead[1],
            record.entriesRead[2],
            record.entriesRead[3],
            text(record.currentSlopeCode),
            text(record.currentOffsetCode),
            text(record.slopeCode),
            text(record.offsetCode),
            record.predictedErrors[0],
            record.predictedErrors[1],
            optional(record.tolerance),
            text(record.rule),
            text(record.verdict),
            text(record.note),
            record.corrects.isEmpty() ? QVariant(QMetaType(QMetaType::QString))
                                      : QVariant(record.corrects)};
}

QString insertRecord(QSqlDatabase database, const Record& record)
{
    QSqlQuery query(database);
    query.prepare(QStringLiteral(
        "INSERT INTO records VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QVariantList values = columnsOf(record);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return query.lastError().text();
    for (qsizetype n = 0; n < record.verification.size(); ++n) {
        QSqlQuery reading(database);
        reading.prepare(QStringLiteral("INSERT INTO verification VALUES (?, ?, ?, ?)"));
        reading.addBindValue(record.id);
        reading.addBindValue(n + 1);
        reading.addBindValue(record.verification[n].target);
        reading.addBindValue(record.verification[n].reading);
        if (!reading.exec())
            return reading.lastError().text();
    }
    return {};
}

// The schema up to date and the record in, in one transaction: all of it or none.
QString saveInTransaction(QSqlDatabase database, const Record& record)
{
    QSqlQuery query(database);
    if (QString error = runWaiting(query, QStringLiteral("BEGIN IMMEDIATE")); !error.isEmpty())
        return error;
    QVariant version;
    QString error = singleValue(database, QStringLiteral("PRAGMA user_version"), version);
    if (error.isEmpty() && version.toInt() == 0)
        for (const char* step : schemaSteps)
            if (error.isEmpty())
                error = run(query, QString::fromUtf8(step));
    if (error.isEmpty())
        error = insertRecord(database, record);
    if (error.isEmpty())
        error = run(query, QStringLiteral("COMMIT"));
    if (!error.isEmpty())
        run(query, QStringLiteral("ROLLBACK"));
    return error;
}

// The record in the current row of a "SELECT * FROM records", its readings aside.
Record recordFrom(const QSqlQuery& query)
{
    Record record;
    int column = 0;
    const auto next = [&] { return query.value(column++); };
    record.id = next().toString();
    record.createdUtc = QDateTime::fromString(next().toString(), Qt::ISODateWithMs);
    record.programVersion = next().toString();
    record.instrumentType = next().toString();
    record.serial = next().toString();
    record.displayLine = next().toInt();
    record.technician = next().toString();
    record.referenceId = next().toString();
    record.referenceUncertainty = next().toDouble();
    record.referenceDue = QDate::fromString(next().toString(), Qt::ISODate);
    if (const QVariant ambient = next(); !ambient.isNull())
        record.ambient = ambient.toDouble();
    for (QString& typed : record.entriesTyped)
        typed = next().toString();
    for (double& read : record.entriesRead)
        read = next().toDouble();
    record.currentSlopeCode = next().toString();
    record.currentOffsetCode = next().toString();
    record.slopeCode = next().toString();
    record.offsetCode = next().toString();
    for (double& error : record.predictedErrors)
        error = next().toDouble();
    if (const QVariant tolerance = next(); !tolerance.isNull())
        record.tolerance = tolerance.toDouble();
    record.rule = next().toString();
    record.verdict = next().toString();
    record.note = next().toString();
    record.corrects = next().toString();
    return record;
}

QString readReadings(QSqlDatabase database, Record& record)
{
    QSqlQuery readings(database);
    readings.prepare(QStringLiteral("SELECT target, reading FROM verification "
                                    "WHERE record_id = ? ORDER BY position"));
    readings.addBindValue(record.id);
    if (!readings.exec())
        return readings.lastError().text();
    while (readings.next())
        record.verification.append({readings.value(0).toDouble(), readings.value(1).toDouble()});
    return {};
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
    Connection connection(path_);
    if (!connection.opened())
        return {QStringLiteral("The record file %1 cannot be opened: %2")
                    .arg(path_, connection.error())};
    QSqlDatabase database = connection.database();
    if (existed)
        if (const QString refused = judgeExisting(database, path_); !refused.isEmpty())
            return {refused};
    QSqlQuery query(database);
    if (const QString error = runWaiting(query, QStringLiteral("PRAGMA journal_mode = WAL"));
        !error.isEmpty())
        return {QStringLiteral("The record file %1 cannot be written: %2").arg(path_, error)};
    if (const QString error = saveInTransaction(database, record); !error.isEmpty())
        return {QStringLiteral("The record was not saved in %1: %2").arg(path_, error)};
    return {};
}

StoreFailure SqliteRecordStore::list(const QString& serial, QList<Record>& records)
{
    records.clear();
    if (!QFileInfo::exists(path_))
        return {};
    Connection connection(path_);
    if (!connection.opened())
        return {QStringLiteral("The record file %1 cannot be opened: %2")
                    .arg(path_, connection.error())};
    QSqlDatabase database = connection.database();
    if (const QString refused = judgeExisting(database, path_); !refused.isEmpty())
        return {refused.section(QLatin1String(" Nothing"), 0, 0)};
    QSqlQuery query(database);
    query.prepare(QStringLiteral("SELECT * FROM records WHERE ? = '' OR serial = ? "
                                 "ORDER BY created_utc DESC, rowid DESC"));
    query.addBindValue(text(serial));
    query.addBindValue(text(serial));
    if (!query.exec())
        return {QStringLiteral("The records in %1 cannot be read: %2")
                    .arg(path_, query.lastError().text())};
    while (query.next())
        records.append(recordFrom(query));
    for (Record& record : records)
        if (const QString error = readReadings(database, record); !error.isEmpty())
            return {QStringLiteral("The records in %1 cannot be read: %2").arg(path_, error)};
    return {};
}

} // namespace quarvet::records
