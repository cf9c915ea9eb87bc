#include "sqlrecords.h"

#include "chain.h"
#include "keptseals.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>

namespace quarvet::records::sql {
namespace {

// The condition that picks the records asked for, and its values; `r` is the records table.
struct Condition {
    QString where;
    QVariantList values;
};

// An exact match of a column; none at all in a store whose version does not hold the column
// (`held` false), which keeps no record with such a value.
void addExact(Condition& condition, const char* column, const QString& value, bool held = true)
{
    if (value.isEmpty())
        return;
    if (!held) {
        condition.where += QStringLiteral(" AND 1 = 0");
        return;
    }
    condition.where += QStringLiteral(" AND r.%1 = ?").arg(QLatin1String(column));
    condition.values << value;
}

// Ids are written in small hexadecimal digits and hyphens: a prefix of them is a range of the
// key in the order of its bytes, found through an index however many records there are (a
// pattern is not, in a case-blind or language-ordered column). A prefix holding anything else
// is no id's.
void addIdPrefix(Condition& condition, const QString& idPrefix, const Dialect& dialect)
{
    if (idPrefix.isEmpty())
        return;
    static const QRegularExpression idCharacters(QStringLiteral("^[0-9a-f-]{1,36}$"));
    const QString prefix = idPrefix.toLower();
    if (!idCharacters.match(prefix).hasMatch()) {
        condition.where += QStringLiteral(" AND 1 = 0");
    } else {
        const QString key =
            dialect.postgres ? QStringLiteral("r.id COLLATE \"C\"") : QStringLiteral("r.id");
        condition.where += QStringLiteral(" AND %1 >= ? AND %1 < ?").arg(key);
        condition.values << prefix << prefix + QLatin1Char('~'); // '~' follows them all
    }
}

// The sort key's expression on the records `r` in a listing sorted by one. Every record has a
// value, none NULL, so that a position compares with every row; a column the store's version
// does not keep is the same for all.
QString sortExpression(const RecordFilter& filter, int version)
{
    switch (filter.sortBy) {
    case SortKey::Serial:
        return QStringLiteral("r.serial");
    case SortKey::Type:
        return QStringLiteral("r.instrument_type");
    case SortKey::AsFound:
        return version >= asFoundVersion ? QStringLiteral("coalesce(r.as_found_verdict, '')")
                                         : QStringLiteral("''");
    case SortKey::Verdict:
        return QStringLiteral("r.verdict");
    case SortKey::Technician:
        return QStringLiteral("r.technician");
    case SortKey::Customer:
        return version >= registerVersion ? QStringLiteral("coalesce(r.customer, '')")
                                          : QStringLiteral("''");
    case SortKey::Certificate:
        return version >= registerVersion
                   ? QStringLiteral("coalesce((SELECT i.number FROM certificate_issues i WHERE "
                                    "i.record_id = r.id), '')")
                   : QStringLiteral("''");
    default:
        return {};
    }
}

// The records after a position of the listing, in its order.
void addAfter(Condition& condition, const RecordFilter& filter, const Dialect& dialect, int version)
{
    const QString order = QStringLiteral("r.") + QLatin1String(dialect.orderColumn);
    if (!filter.after)
        return;
    if (filter.order == ListOrder::AsSaved) {
        condition.where += QStringLiteral(" AND %1 > ?").arg(order);
        condition.values << filter.after->order;
        return;
    }
    if (filter.order == ListOrder::LastSavedFirst) {
        condition.where += QStringLiteral(" AND %1 < ?").arg(order);
        condition.values << filter.after->order;
        return;
    }
    const QString beyond = filter.ascending && filter.order == ListOrder::NewestFirst
                               ? QStringLiteral(">")
                               : QStringLiteral("<");
    if (sortedByKey(filter)) {
        condition.where += QStringLiteral(" AND (%1, r.created_utc, %2) %3 (?, ?, ?)")
                               .arg(sortExpression(filter, version), order, beyond);
        condition.values << filter.after->sortKey;
    } else {
        condition.where += QStringLiteral(" AND (r.created_utc, %1) %2 (?, ?)").arg(order, beyond);
    }
    condition.values << filter.after->createdUtc << filter.after->order;
}

Condition conditionFor(const RecordFilter& filter, const Dialect& dialect, int version)
{
    Condition condition{QStringLiteral("1 = 1"), {}};
    addExact(condition, "as_found_verdict", filter.asFoundVerdict, version >= asFoundVersion);
    addExact(condition, "serial", filter.serial);
    addExact(condition, "reference_id", filter.referenceId);
    addExact(condition, "customer", filter.customer, version >= registerVersion);
    addIdPrefix(condition, filter.idPrefix, dialect);
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
    addAfter(condition, filter, dialect, version);
    return condition;
}

// The listing's order, on a table or query whose columns are `created` and `order` (and `key`,
// the sort key, in a listing sorted by one).
QString orderOf(const RecordFilter& filter, const QString& created, const QString& order,
                const QString& key)
{
    switch (filter.order) {
    case ListOrder::AsSaved:
        return order;
    case ListOrder::LastSavedFirst:
        return order + QStringLiteral(" DESC");
    default: {
        const QString direction = filter.ascending ? QString() : QStringLiteral(" DESC");
        const QString byTime = created + direction + QStringLiteral(", ") + order + direction;
        return sortedByKey(filter) ? key + direction + QStringLiteral(", ") + byTime : byTime;
    }
    }
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

namespace {

// The ids of the records that correct each record, newest first, as a column `corrected_by`
// and what the listing joins to make it. A store of the first version has no index of the
// corrections: one pass gathers them all, instead of a pass for every record listed.
std::pair<QString, QString> correctionsOf(const Dialect& dialect, bool indexed)
{
    if (indexed)
        return {dialect.postgres
                    ? QStringLiteral("(SELECT string_agg(c.id, ',' ORDER BY c.created_utc DESC, "
                                     "c.saved_order DESC) FROM records c WHERE c.corrects = r.id)")
                    : QStringLiteral("(SELECT group_concat(id, ',') FROM (SELECT c.id FROM "
                                     "records c WHERE c.corrects = r.id ORDER BY c.created_utc "
                                     "DESC, c.rowid DESC))"),
                {}};
    return {QStringLiteral("k.corrected_by"),
            dialect.postgres
                ? QStringLiteral(" LEFT JOIN (SELECT corrects, string_agg(id, ',' ORDER BY "
                                 "created_utc DESC, saved_order DESC) AS corrected_by FROM records "
                                 "WHERE corrects <> '' GROUP BY corrects) k ON k.corrects = r.id")
                : QStringLiteral(" LEFT JOIN (SELECT corrects, group_concat(id, ',') AS "
                                 "corrected_by FROM (SELECT corrects, id FROM records WHERE "
                                 "corrects <> '' ORDER BY created_utc DESC, rowid DESC) GROUP BY "
                                 "corrects) k ON k.corrects = r.id")};
}

// A store of the first version has no index of the time saved: newest first, its records
// would be sorted whole for every page. The last saved first, by the table's own order, is the
// same but for a clock set back, and is read a page at a time.
RecordFilter asListed(const RecordFilter& filter, int version)
{
    RecordFilter listed = filter;
    if (version < correctionIndexVersion && filter.order == ListOrder::NewestFirst &&
        !sortedByKey(filter) && !filter.ascending)
        listed.order = ListOrder::LastSavedFirst;
    return listed;
}

// The records the filter picks, newest first, a page of them when it has a limit.
QString recordsStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where, int version)
{
    const QString order = QLatin1String(dialect.orderColumn);
    QString picked =
        QStringLiteral("SELECT %1, r.%2 AS list_order").arg(namesOf(columns, "r."), order);
    QString joined;
    if (filter.corrections) {
        const auto [column, join] = correctionsOf(dialect, version >= correctionIndexVersion);
        picked += QStringLiteral(", %1 AS corrected_by").arg(column);
        joined = join;
    }
    const QString key = sortExpression(filter, version);
    if (sortedByKey(filter))
        picked += QStringLiteral(", %1 AS sort_key").arg(key);
    picked += QStringLiteral(" FROM records r%1 WHERE %2 ORDER BY %3")
                  .arg(joined, where,
                       orderOf(filter, QStringLiteral("r.created_utc"), "r." + order, key));
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return picked;
}

// The same records, each with its readings in the rows that follow it: one statement, read
// as it goes.
QString listingStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where, int version)
{
    return QStringLiteral("SELECT q.*, v.target, v.reading FROM (%1) q LEFT JOIN verification v "
                          "ON v.record_id = q.id ORDER BY %2, v.position")
        .arg(recordsStatement(dialect, columns, filter, where, version),
             orderOf(filter, QStringLiteral("q.created_utc"), QStringLiteral("q.list_order"),
                     QStringLiteral("q.sort_key")));
}

// The readings of the same records, in the same order, for reading beside them.
QString readingsStatement(const Dialect& dialect, const RecordFilter& filter, const QString& where,
                          int version)
{
    const QString order = QLatin1String(dialect.orderColumn);
    const QString key = sortExpression(filter, version);
    QString picked =
        QStringLiteral("SELECT r.id, r.created_utc, r.%1 AS list_order%4 FROM records "
                       "r WHERE %2 ORDER BY %3")
            .arg(order, where, orderOf(filter, QStringLiteral("r.created_utc"), "r." + order, key),
                 sortedByKey(filter) ? QStringLiteral(", %1 AS sort_key").arg(key) : QString());
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return QStringLiteral("SELECT v.record_id, v.target, v.reading FROM (%1) q JOIN verification v "
                          "ON v.record_id = q.id ORDER BY %2, v.position")
        .arg(picked, orderOf(filter, QStringLiteral("q.created_utc"),
                             QStringLiteral("q.list_order"), QStringLiteral("q.sort_key")));
}

} // namespace

Listing listingStatements(const Dialect& dialect, const QList<const Column*>& columns,
                          const RecordFilter& asked, int version)
{
    const RecordFilter filter = asListed(asked, version);
    const Condition condition = conditionFor(filter, dialect, version);
    return {recordsStatement(dialect, columns, filter, condition.where, version),
            readingsStatement(dialect, filter, condition.where, version), condition.values,
            listingStatement(dialect, columns, filter, condition.where, version)};
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
    const int readingColumn = static_cast<int>(columns.size()) + (filter.corrections ? 2 : 1) +
                              (sortedByKey(filter) ? 1 : 0);
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
                     QStringLiteral("%1 records saved before the store kept a hash chain were "
                                    "chained in the order they were saved, by %2")
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
