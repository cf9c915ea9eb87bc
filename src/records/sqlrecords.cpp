#include "sqlrecords.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace quarvet::records::sql {
namespace {

// The condition that picks the records asked for, and its values; `r` is the records table.
struct Condition {
    QString where;
    QVariantList values;
};

Condition conditionFor(const RecordFilter& filter, const Dialect& dialect)
{
    Condition condition{QStringLiteral("1 = 1"), {}};
    if (!filter.idPrefix.isEmpty()) {
        // Ids are written in small letters; the prefix is matched as text, never as a pattern.
        QString prefix = filter.idPrefix.toLower();
        prefix.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        condition.where += QStringLiteral(" AND r.id LIKE ? ESCAPE '\\'");
        condition.values << prefix + QLatin1Char('%');
    }
    if (!filter.serial.isEmpty()) {
        condition.where += QStringLiteral(" AND r.serial = ?");
        condition.values << filter.serial;
    }
    if (!filter.serialContains.isEmpty()) {
        // Both sides folded by the same function, beyond ASCII: SQLite's by this program's own,
        // PostgreSQL's by ICU, whatever locale the lab's database was made with.
        condition.where +=
            dialect.postgres
                ? QStringLiteral(" AND strpos(lower(r.serial COLLATE \"und-x-icu\"), "
                                 "lower(CAST(? AS TEXT) COLLATE \"und-x-icu\")) > 0")
                : QStringLiteral(" AND instr(quarvet_fold(r.serial), quarvet_fold(?)) > 0");
        condition.values << filter.serialContains;
    }
    if (filter.after) {
        condition.where += QStringLiteral(" AND (r.created_utc, r.%1) < (?, ?)")
                               .arg(QLatin1String(dialect.orderColumn));
        condition.values << filter.after->createdUtc << filter.after->order;
    }
    return condition;
}

QSqlError prepared(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    if (!query.prepare(statement))
        return query.lastError();
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() ? QSqlError() : query.lastError();
}

// A rule of the database's that turned a row away without an error: a trigger another program
// added. The save must fail rather than say a record was kept that is not there.
QSqlError notKept()
{
    return QSqlError(QStringLiteral("the database did not keep the row it was given"),
                     QStringLiteral("a trigger of another program's turned it away"),
                     QSqlError::StatementError, QString::fromLatin1(notKeptCode));
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype n = 0; n < count; ++n)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

QString namesOf(const QList<const Column*>& columns, const QString& table)
{
    QStringList names;
    for (const Column* column : columns)
        names << table + QLatin1String(column->name);
    return names.join(QStringLiteral(", "));
}

} // namespace

Connection::Connection(const QString& driver, const std::function<void(QSqlDatabase&)>& configure)
    : name_(QStringLiteral("quarvet-records-") + QUuid::createUuid().toString(QUuid::Id128))
{
    QSqlDatabase database = QSqlDatabase::addDatabase(driver, name_);
    if (!database.isValid()) {
        error_ = QSqlError(QStringLiteral("Qt's %1 database driver is not installed").arg(driver),
                           {}, QSqlError::ConnectionError);
        return;
    }
    configure(database);
    opened_ = database.open();
    error_ = database.lastError();
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

QSqlError run(QSqlDatabase database, const QString& statement)
{
    QSqlQuery query(database);
    const bool ok = query.exec(statement);
    const QSqlError error = ok ? QSqlError() : query.lastError();
    query.finish();
    return error;
}

QSqlError firstRow(QSqlDatabase database, const QString& statement, QVariantList& values)
{
    QSqlQuery query(database);
    values.clear();
    if (!query.exec(statement))
        return query.lastError();
    if (!query.next())
        return query.lastError().isValid()
                   ? query.lastError()
                   : QSqlError(QStringLiteral("no answer"), {}, QSqlError::StatementError);
    for (int n = 0; n < query.record().count(); ++n)
        values << query.value(n);
    query.finish();
    return {};
}

QSqlError runAll(QSqlDatabase database, const QStringList& statements)
{
    for (const QString& statement : statements)
        if (QSqlError error = run(database, statement); error.isValid())
            return error;
    return {};
}

QSqlError insertRecord(QSqlDatabase database, const Schema& schema, const Record& record)
{
    const QList<const Column*> columns = columnsAt(schema, schema.version());
    QVariantList values;
    for (const Column* column : columns)
        values << column->write(record);
    QSqlQuery query(database);
    if (QSqlError error = prepared(query,
                                   QStringLiteral("INSERT INTO records (%1) VALUES (%2)")
                                       .arg(namesOf(columns, {}), placeholders(columns.size())),
                                   values);
        error.isValid())
        return error;
    if (query.numRowsAffected() != 1)
        return notKept();
    QSqlQuery reading(database);
    if (!reading.prepare(QStringLiteral("INSERT INTO verification (record_id, position, target, "
                                        "reading) VALUES (?, ?, ?, ?)")))
        return reading.lastError();
    for (qsizetype n = 0; n < record.verification.size(); ++n) {
        reading.bindValue(0, values.first());
        reading.bindValue(1, static_cast<int>(n + 1));
        reading.bindValue(2, record.verification[n].target);
        reading.bindValue(3, record.verification[n].reading);
        if (!reading.exec())
            return reading.lastError();
        if (reading.numRowsAffected() != 1)
            return notKept();
    }
    return {};
}

namespace {

// The records the filter picks, newest first, a page of them when it has a limit.
QString recordsStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where)
{
    const QString order = QLatin1String(dialect.orderColumn);
    QString picked =
        QStringLiteral("SELECT %1, r.%2 AS list_order").arg(namesOf(columns, "r."), order);
    if (filter.corrections)
        picked += dialect.postgres
                      ? QStringLiteral(", (SELECT string_agg(c.id, ',' ORDER BY c.created_utc "
                                       "DESC, c.saved_order DESC) FROM records c WHERE c.corrects "
                                       "= r.id) AS corrected_by")
                      : QStringLiteral(", (SELECT group_concat(id, ',') FROM (SELECT c.id FROM "
                                       "records c WHERE c.corrects = r.id ORDER BY c.created_utc "
                                       "DESC, c.rowid DESC)) AS corrected_by");
    picked += QStringLiteral(" FROM records r WHERE %1 ORDER BY r.created_utc DESC, r.%2 DESC")
                  .arg(where, order);
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return picked;
}

// The same records, each with its readings in the rows that follow it: one statement, read
// as it goes.
QString listingStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where)
{
    return QStringLiteral("SELECT q.*, v.target, v.reading FROM (%1) q LEFT JOIN verification v "
                          "ON v.record_id = q.id ORDER BY q.created_utc DESC, q.list_order DESC, "
                          "v.position")
        .arg(recordsStatement(dialect, columns, filter, where));
}

// The readings of the same records, in the same order, for reading beside them.
QString readingsStatement(const Dialect& dialect, const RecordFilter& filter, const QString& where)
{
    const QString order = QLatin1String(dialect.orderColumn);
    QString picked = QStringLiteral("SELECT r.id, r.created_utc, r.%1 AS list_order FROM records "
                                    "r WHERE %2 ORDER BY r.created_utc DESC, r.%1 DESC")
                         .arg(order, where);
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return QStringLiteral("SELECT v.record_id, v.target, v.reading FROM (%1) q JOIN verification v "
                          "ON v.record_id = q.id ORDER BY q.created_utc DESC, q.list_order DESC, "
                          "v.position")
        .arg(picked);
}

} // namespace

Listing listingStatements(const Dialect& dialect, const QList<const Column*>& columns,
                          const RecordFilter& filter)
{
    const Condition condition = conditionFor(filter, dialect);
    return {recordsStatement(dialect, columns, filter, condition.where),
            readingsStatement(dialect, filter, condition.where), condition.values};
}

QSqlError visitRecords(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                       int version, const RecordFilter& filter, const RecordVisitor& visitor)
{
    const QList<const Column*> columns = columnsAt(schema, version);
    // One statement: PostgreSQL answers one at a time on a connection, so the readings come
    // in the rows that follow their record.
    const Condition condition = conditionFor(filter, dialect);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (QSqlError error = prepared(
            query, listingStatement(dialect, columns, filter, condition.where), condition.values);
        error.isValid())
        return error;
    const int readingColumn = static_cast<int>(columns.size()) + (filter.corrections ? 2 : 1);
    std::optional<ListedRecord> current;
    while (query.next()) {
        const QString id = query.value(0).toString();
        if (!current || current->record.id != id) {
            if (current && !visitor(*current))
                return {};
            current =
                listedFrom([&query](int n) { return query.value(n); }, columns, filter.corrections);
        }
        if (const QVariant target = query.value(readingColumn); !target.isNull())
            current->record.verification.append(
                {target.toDouble(), query.value(readingColumn + 1).toDouble()});
    }
    if (query.lastError().isValid())
        return query.lastError();
    if (current)
        visitor(*current);
    return {};
}

QSqlError countRecords(QSqlDatabase database, const Dialect& dialect, const RecordFilter& filter,
                       qint64& count)
{
    RecordFilter whole = filter;
    whole.after.reset();
    const Condition condition = conditionFor(whole, dialect);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (QSqlError error = prepared(
            query, QStringLiteral("SELECT count(*) FROM records r WHERE ") + condition.where,
            condition.values);
        error.isValid())
        return error;
    if (!query.next())
        return query.lastError();
    count = query.value(0).toLongLong();
    return {};
}

QString said(const QSqlError& error)
{
    return error.text().trimmed();
}

} // namespace quarvet::records::sql
