#include "sqlrecords.h"

#include "listingsql.h"

#include "chain.h"
#include "keptseals.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>

namespace quarvet::records::sql {
namespace {

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

} // namespace

QString namesOf(const QList<const Column*>& columns, const QString& table)
{
    QStringList names;
    for (const Column* column : columns)
        names << table + QLatin1String(column->name);
    return names.join(QStringLiteral(", "));
}

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

QSqlError prepared(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    if (!query.prepare(statement))
        return query.lastError();
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() ? QSqlError() : query.lastError();
}

QSqlError run(QSqlDatabase database, const QString& statement)
{
    QSqlQuery query(database);
    const bool ok = query.exec(statement);
    const QSqlError error = ok ? QSqlError() : query.lastError();
    query.finish();
    return error;
}

QSqlError stillAnswering(QSqlDatabase database)
{
    QSqlQuery probe(database);
    if (probe.exec(QStringLiteral("SELECT 1")) && probe.next())
        return {};
    return QSqlError(QStringLiteral("the connection to the server was lost"),
                     probe.lastError().text(), QSqlError::ConnectionError, QStringLiteral("08006"));
}

QSqlError firstRow(QSqlDatabase database, const QString& statement, QVariantList& values)
{
    QSqlQuery query(database);
    values.clear();
    if (!query.exec(statement))
        return query.lastError();
    if (!query.next()) {
        if (query.lastError().isValid())
            return query.lastError();
        const QSqlError lost = stillAnswering(database);
        return lost.isValid()
                   ? lost
                   : QSqlError(QStringLiteral("no answer"), {}, QSqlError::StatementError);
    }
    for (int n = 0; n < query.record().count(); ++n)
        values << query.value(n);
    query.finish();
    // A row without values (a connection that went away under the query) is no answer: the
    // callers read the columns they asked for by position.
    if (values.isEmpty())
        return QSqlError(QStringLiteral("no answer"), {}, QSqlError::StatementError);
    // Nor is a row of NULLs from a connection that went away while it was read: it would pass
    // for a store without a schema, or a clock without a time.
    if (std::any_of(values.cbegin(), values.cend(), [](const QVariant& v) { return v.isNull(); }))
        return stillAnswering(database);
    return {};
}

QSqlError runAll(QSqlDatabase database, const QStringList& statements)
{
    for (const QString& statement : statements)
        if (QSqlError error = run(database, statement); error.isValid())
            return error;
    return {};
}

namespace {

QSqlError insertReadings(QSqlDatabase database, const Record& record)
{
    QSqlQuery reading(database);
    if (!reading.prepare(QStringLiteral("INSERT INTO verification (record_id, position, target, "
                                        "reading) VALUES (?, ?, ?, ?)")))
        return reading.lastError();
    for (qsizetype n = 0; n < record.verification.size(); ++n) {
        reading.bindValue(0, record.id);
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

QSqlError insertRow(QSqlDatabase database, const Schema& schema, const Record& record)
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
    return query.numRowsAffected() == 1 ? QSqlError() : notKept();
}

} // namespace

QSqlError insertRecord(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                       const Record& record)
{
    // SQLite's file takes a record's readings only before the record itself, so that none
    // is added to a record kept already; PostgreSQL's readings point to their record at once,
    // and the server tells them by the transaction that made the record.
    QSqlError error;
    if (!dialect.postgres)
        error = insertReadings(database, record);
    if (!error.isValid())
        error = insertRow(database, schema, record);
    if (!error.isValid() && dialect.postgres)
        error = insertReadings(database, record);
    return error;
}

QSqlError visitRecords(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                       int version, const RecordFilter& asked, const RecordVisitor& visitor)
{
    const RecordFilter filter = asListed(asked, version);
    const QList<const Column*> columns = columnsAt(schema, version);
    // One statement: PostgreSQL answers one at a time on a connection, so the readings come
    // in the rows that follow their record.
    const Condition condition = conditionFor(filter, dialect, version);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (QSqlError error =
            prepared(query, listingStatement(dialect, columns, filter, condition.where, version),
                     condition.values);
        error.isValid())
        return error;
    const int readingColumn = listedWidth(columns, filter);
    std::optional<ListedRecord> current;
    while (query.next()) {
        const QString id = query.value(0).toString();
        if (!current || current->record.id != id) {
            if (current && !visitor(*current))
                return {};
            current = listedFrom([&query](int n) { return query.value(n); }, columns, filter);
        }
        if (const QVariant target = query.value(readingColumn); !target.isNull())
            current->record.verification.append(
                {target.toDouble(), query.value(readingColumn + 1).toDouble()});
    }
    if (query.lastError().isValid())
        return query.lastError();
    if (current)
        visitor(*current);
    // A listing cut short by a connection that went away ends like a whole one: what follows
    // (a chain's last records, a record looked for) would read as removed.
    return dialect.postgres ? stillAnswering(database) : QSqlError();
}

namespace {

QSqlError chainHead(QSqlDatabase database, const Dialect& dialect, QString& head,
                    QDateTime* saved = nullptr)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT hash, created_utc FROM records ORDER BY %1 DESC LIMIT 1")
                        .arg(QLatin1String(dialect.orderColumn))))
        return query.lastError();
    const bool found = query.next();
    head = found ? query.value(0).toString() : chainStart();
    if (saved)
        *saved = found ? QDateTime::fromString(query.value(1).toString(), Qt::ISODateWithMs)
                       : QDateTime();
    return query.lastError();
}

// A page of the records not yet chained, in the order they were saved.
QSqlError unchainedPage(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                        std::optional<ListPosition>& after, QList<Record>& page)
{
    RecordFilter filter;
    filter.order = ListOrder::AsSaved;
    filter.after = after;
    filter.limit = 1000;
    page.clear();
    return visitRecords(database, dialect, schema, chainVersion, filter,
                        [&](const ListedRecord& listed) {
                            page.append(listed.record);
                            after = listed.position;
                            return true;
                        });
}

// The note of how many records an upgrade chained, and by whom.
QSqlError noteChained(QSqlDatabase database, qint64 chained, const QString& savedBy)
{
    QSqlQuery note(database);
    return prepared(note, QStringLiteral("INSERT INTO store_notes (noted_utc, note) VALUES (?, ?)"),
                    {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                     (chained == 1 ? QStringLiteral("%1 record saved before the store kept a hash "
                                                    "chain was chained, by %2")
                                   : QStringLiteral("%1 records saved before the store kept a hash "
                                                    "chain were chained in the order they were "
                                                    "saved, by %2"))
                         .arg(chained)
                         .arg(savedBy)});
}

// The records kept before the chain, chained oldest first, how far told page by page, and a
// note saying so.
QSqlError chainExisting(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                        const QString& savedBy)
{
    QSqlQuery update(database);
    QVariantList counted;
    if (QSqlError error =
            firstRow(database, QStringLiteral("SELECT count(*) FROM records"), counted);
        error.isValid())
        return error;
    const qint64 total = counted.value(0).toLongLong();
    if (!update.prepare(
            QStringLiteral("UPDATE records SET previous_hash = ?, hash = ? WHERE id = ?")))
        return update.lastError();
    QString previous = chainStart();
    qint64 chained = 0;
    std::optional<ListPosition> after;
    QList<Record> page;
    do {
        // A new store, made through the same steps, has nothing to chain nor to tell.
        if (total > 0)
            reportUpgrade(chained, total);
        if (QSqlError error = unchainedPage(database, dialect, schema, after, page);
            error.isValid())
            return error;
        for (Record& record : page) {
            record.previousHash = previous;
            previous = record.hash = recordHash(record);
            update.addBindValue(record.previousHash);
            update.addBindValue(record.hash);
            update.addBindValue(record.id);
            if (!update.exec())
                return update.lastError();
            ++chained;
        }
    } while (!page.isEmpty());
    return chained == 0 ? QSqlError() : noteChained(database, chained, savedBy);
}

} // namespace

QSqlError insertChained(QSqlDatabase database, const Dialect& dialect, const Schema& schema,
                        Record record, const QString& savedBy)
{
    // A schema before the chain (an older program's, as tests make) keeps no links.
    if (schema.version() < chainVersion)
        return insertRecord(database, dialect, schema, record);
    QDateTime headSaved;
    if (QSqlError error = chainHead(database, dialect, record.previousHash, &headSaved);
        error.isValid())
        return error;
    // Dated by a clock set back: refused before it is kept, where afterwards records verify
    // could only say so for good.
    if (headSaved.isValid() && record.createdUtc < headSaved.addSecs(-clockSkewSeconds))
        return QSqlError(headSaved.toString(Qt::ISODate), record.createdUtc.toString(Qt::ISODate),
                         QSqlError::StatementError, QString::fromLatin1(clockBehindCode));
    record.savedBy = savedBy;
    record.hash = recordHash(record);
    return insertRecord(database, dialect, schema, record);
}

QSqlError migrate(QSqlDatabase database, const Dialect& dialect, const Schema& schema, int from,
                  const QString& savedBy)
{
    for (const QString& statement : migrationStatements(schema, dialect, from)) {
        QSqlError error;
        if (statement == QLatin1String(chainStep))
            error = chainExisting(database, dialect, schema, savedBy);
        else if (statement == QLatin1String(sealStep))
            error = sealExisting(database, dialect, savedBy);
        else
            error = run(database, statement);
        if (error.isValid())
            return error;
    }
    return {};
}

QSqlError readNotes(QSqlDatabase database, int version, StoreNotes& notes, bool countOrphans)
{
    notes.notes.clear();
    notes.version = version;
    if (version < chainVersion)
        return {};
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT noted_utc, note FROM store_notes ORDER BY noted_utc")))
        return query.lastError();
    while (query.next())
        notes.notes << query.value(0).toString() + QStringLiteral("  ") + query.value(1).toString();
    if (query.lastError().isValid() || !countOrphans)
        return query.lastError();
    // A record removed last leaves the chain whole: its readings, left behind, still tell.
    QVariantList row;
    const QSqlError error = firstRow(
        database,
        QStringLiteral("SELECT count(*) FROM verification v WHERE NOT EXISTS (SELECT 1 FROM "
                       "records r WHERE r.id = v.record_id)"),
        row);
    notes.orphanReadings = row.value(0).toLongLong();
    return error;
}

QSqlError countRecords(QSqlDatabase database, const Dialect& dialect, int version,
                       const RecordFilter& filter, qint64& count)
{
    RecordFilter whole = filter;
    whole.after.reset();
    const Condition condition = conditionFor(whole, dialect, version);
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

namespace {

// What the driver says of itself, in words a user can act on.
QString driverWords(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("^Q[A-Z]+: ")));
    if (text.contains(QLatin1String("Unable to fetch row")))
        return QStringLiteral("the database stopped answering while its rows were read");
    if (text.contains(QLatin1String("database not open")))
        return QStringLiteral("the connection to the database was lost");
    if (text.contains(QLatin1String("Unable to create query")) ||
        text.contains(QLatin1String("Unable to execute statement")))
        return QStringLiteral("the database did not run the statement");
    return text;
}

} // namespace

QString said(const QSqlError& error)
{
    // The database's own words where it gave any, on one line, without its "ERROR:" and its
    // code in brackets; the driver's only where the database said nothing.
    QString text = error.databaseText();
    // The statement quoted under the server's words, with its caret, says nothing to a user.
    text = text.section(QStringLiteral("\nLINE "), 0, 0);
    text.remove(QRegularExpression(QStringLiteral("^(ERROR|FATAL|PANIC):\\s*")));
    text.remove(QRegularExpression(QStringLiteral("\\s*\\([0-9A-Z]{5}\\)\\s*$")));
    text = text.simplified();
    return text.isEmpty() ? driverWords(error.driverText().simplified()) : text;
}

} // namespace quarvet::records::sql
