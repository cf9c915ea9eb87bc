#include "sqlrecords.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

namespace quarvet::records::sql {

const char* const recordColumns =
    "id, created_utc, program_version, instrument_type, serial, display_line, technician, "
    "reference_id, reference_u, reference_due, ambient, target1_typed, target2_typed, "
    "indicated1_typed, indicated2_typed, target1, target2, indicated1, indicated2, "
    "current_slope_code, current_offset_code, slope_code, offset_code, predicted_error1, "
    "predicted_error2, tolerance, rule, verdict, note, corrects";

namespace {

constexpr int columnCount = 30;
constexpr int lockedRetryMilliseconds = 10000;

// Qt binds a null text as SQL NULL; a record's texts are never NULL, at most empty.
QVariant text(const QString& value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant optional(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

QVariantList columnsOf(const Record& record)
{
    return {text(record.id),
            text(record.createdUtc.toUTC().toString(Qt::ISODateWithMs)),
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

// The record in the current row of a query of recordColumns, its readings aside.
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

QString placeholders(int count)
{
    QString marks = QStringLiteral("?");
    for (int n = 1; n < count; ++n)
        marks += QStringLiteral(", ?");
    return marks;
}

// The condition that picks the records asked for, and its values; `r` is the records table.
struct Condition {
    QString where;
    QVariantList values;
};

Condition conditionFor(const RecordFilter& filter)
{
    if (!filter.idPrefix.isEmpty()) {
        // Ids are written in small letters; the prefix is matched as text, never as a pattern.
        QString prefix = filter.idPrefix.toLower();
        prefix.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        return {QStringLiteral("r.id LIKE ? ESCAPE '\\'"), {prefix + QLatin1Char('%')}};
    }
    if (!filter.serial.isEmpty())
        return {QStringLiteral("r.serial = ?"), {filter.serial}};
    return {QStringLiteral("1 = 1"), {}};
}

QString prepared(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    if (!query.prepare(statement))
        return query.lastError().text();
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() ? QString() : query.lastError().text();
}

// Every reading of the records listed, in one query rather than one a record: a history of
// 100,000 records is read in two statements.
QString attachReadings(QSqlDatabase database, const Condition& condition, QList<Record>& records)
{
    QHash<QString, Record*> byId;
    byId.reserve(records.size());
    for (Record& record : records)
        byId.insert(record.id, &record);
    QSqlQuery readings(database);
    readings.setForwardOnly(true);
    if (QString error = prepared(readings,
                                 QStringLiteral("SELECT v.record_id, v.target, v.reading FROM "
                                                "verification v JOIN records r ON r.id = "
                                                "v.record_id WHERE %1 ORDER BY v.record_id, "
                                                "v.position")
                                     .arg(condition.where),
                                 condition.values);
        !error.isEmpty())
        return error;
    while (readings.next())
        if (Record* record = byId.value(readings.value(0).toString()))
            record->verification.append(
                {readings.value(1).toDouble(), readings.value(2).toDouble()});
    return readings.lastError().isValid() ? readings.lastError().text() : QString();
}

} // namespace

QStringList tableStatements(const QString& doubleType, const QString& orderColumn)
{
    QString records = QStringLiteral(R"(CREATE TABLE records (
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
        corrects TEXT REFERENCES records(id)ORDER))");
    QString readings = QStringLiteral(R"(CREATE TABLE verification (
        record_id TEXT NOT NULL REFERENCES records(id),
        position INTEGER NOT NULL,
        target REAL NOT NULL,
        reading REAL NOT NULL,
        PRIMARY KEY (record_id, position)))");
    for (QString* statement : {&records, &readings})
        statement->replace(QLatin1String(" REAL"), QLatin1Char(' ') + doubleType);
    records.replace(QLatin1String("ORDER"), orderColumn.isEmpty()
                                                ? QString()
                                                : QStringLiteral(",\n        ") + orderColumn);
    return {records, readings,
            QStringLiteral("CREATE INDEX records_by_serial ON records(serial, created_utc)")};
}

QString makeSchema(QSqlDatabase database, const QString& doubleType, const QString& orderColumn,
                   std::span<const char* const> laterSteps)
{
    QStringList steps = tableStatements(doubleType, orderColumn);
    for (const char* step : laterSteps)
        steps << QString::fromUtf8(step);
    for (const QString& step : std::as_const(steps))
        if (QString error = run(database, step); !error.isEmpty())
            return error;
    return {};
}

Connection::Connection(const QString& driver, const std::function<void(QSqlDatabase&)>& configure)
    : name_(QStringLiteral("quarvet-records-") + QUuid::createUuid().toString(QUuid::Id128))
{
    QSqlDatabase database = QSqlDatabase::addDatabase(driver, name_);
    if (!database.isValid()) {
        error_ = QStringLiteral("Qt's %1 database driver is not installed").arg(driver);
        return;
    }
    configure(database);
    opened_ = database.open();
    error_ = database.lastError().text();
}

Connection::~Connection()
{
    {
        QSqlDatabase database = QSqlDatabase::database(name_, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(name_, false);
}

QString run(QSqlDatabase database, const QString& statement)
{
    QSqlQuery query(database);
    const bool ok = query.exec(statement);
    const QString error = ok ? QString() : query.lastError().text();
    query.finish();
    return error;
}

QString singleValue(QSqlDatabase database, const QString& statement, QVariant& value,
                    QVariant* second, bool retryLocked, QVariant* third)
{
    const QDeadlineTimer deadline(lockedRetryMilliseconds);
    for (;;) {
        QSqlQuery query(database);
        if (query.exec(statement) && query.next()) {
            value = query.value(0);
            if (second)
                *second = query.value(1);
            if (third)
                *third = query.value(2);
            query.finish();
            return {};
        }
        const QString error = query.lastError().text();
        if (!retryLocked || !error.contains(QLatin1String("locked")) || deadline.hasExpired())
            return error.isEmpty() ? QStringLiteral("no answer") : error;
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

QString insertRecord(QSqlDatabase database, const Record& record)
{
    QSqlQuery query(database);
    if (QString error = prepared(query,
                                 QStringLiteral("INSERT INTO records (%1) VALUES (%2)")
                                     .arg(QLatin1String(recordColumns), placeholders(columnCount)),
                                 columnsOf(record));
        !error.isEmpty())
        return error;
    for (qsizetype n = 0; n < record.verification.size(); ++n) {
        QSqlQuery reading(database);
        if (QString error =
                prepared(reading,
                         QStringLiteral("INSERT INTO verification (record_id, "
                                        "position, target, reading) VALUES (?, ?, ?, "
                                        "?)"),
                         {text(record.id), static_cast<int>(n + 1), record.verification[n].target,
                          record.verification[n].reading});
            !error.isEmpty())
            return error;
    }
    return {};
}

QString readRecords(QSqlDatabase database, const RecordFilter& filter, const QString& tieBreak,
                    QList<Record>& records)
{
    records.clear();
    const Condition condition = conditionFor(filter);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (QString error = prepared(query,
                                 QStringLiteral("SELECT %1 FROM records r WHERE %2 "
                                                "ORDER BY r.created_utc DESC, r.%3 DESC")
                                     .arg(QLatin1String(recordColumns), condition.where, tieBreak),
                                 condition.values);
        !error.isEmpty())
        return error;
    while (query.next())
        records.append(recordFrom(query));
    if (query.lastError().isValid())
        return query.lastError().text();
    return attachReadings(database, condition, records);
}

} // namespace quarvet::records::sql
