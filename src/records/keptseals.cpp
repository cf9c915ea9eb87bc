#include "keptseals.h"

#include "chain.h"
#include "recordformat.h"
#include "sqlrecords.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlQuery>

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace quarvet::records {
namespace {

// Seals and issues are read a page at a time: a store of a million issues is walked holding a
// thousand.
constexpr int pageSize = 1000;

struct Seal {
    qint64 position = 0;
    QString table;
    SealKey key;
    QString previous;
    QString hash;
    QString savedBy;
};

const KeptTable* sealedTable(const QString& name)
{
    for (const KeptTable* table : sealedTables)
        if (name == QLatin1String(table->name))
            return table;
    return nullptr;
}

QString fieldNames(const KeptTable& table, int version)
{
    QStringList names;
    for (std::size_t n = 0; n < fieldsAt(table, version); ++n)
        names << QLatin1String(table.fields[n].name);
    return names.join(QStringLiteral(", "));
}

// "identifier = ? AND entry = ?" and its values, for the key fields the table has.
QString keyCondition(const KeptTable& table, const SealKey& key, QVariantList& values)
{
    QStringList parts;
    if (*table.keyText) {
        parts << QLatin1String(table.keyText) + QStringLiteral(" = ?");
        values << key.text;
    }
    if (*table.keyNumber) {
        parts << QLatin1String(table.keyNumber) + QStringLiteral(" = ?");
        values << key.number;
    }
    return parts.join(QStringLiteral(" AND "));
}

QByteArray fieldText(const TableField& field, const QVariant& value)
{
    switch (field.type) {
    case ColumnType::Integer:
        return QByteArray::number(value.toLongLong());
    case ColumnType::Real:
        return numberText(value.toDouble() + 0.0).toUtf8();
    default:
        return escaped(value.toString());
    }
}

// The version whose fields a table's rows are sealed over: the seals' first, or the table's
// own where it was made after them.
int sealedFrom(const KeptTable& table)
{
    return std::max(sealVersion, table.since);
}

// A field added after the seals began is left out of the forms of rows that hold what older
// rows were filled with: those sealed before it keep their seals.
bool leftOut(const KeptTable& table, const TableField& field, const QByteArray& text)
{
    if (field.since <= sealedFrom(table))
        return false;
    QByteArray fill(field.fill);
    if (fill.startsWith('\'') && fill.endsWith('\'') && fill.size() >= 2)
        fill = fill.mid(1, fill.size() - 2);
    return text.isEmpty() || text == fill;
}

QString sealHash(const KeptTable& table, const QString& previous, const QSqlQuery& row, int version)
{
    QByteArray form = QByteArray("quarvet seal 1\ntable=") + table.name +
                      "\nprevious=" + previous.toLatin1() + '\n';
    for (std::size_t n = 0; n < fieldsAt(table, version); ++n) {
        const TableField& field = table.fields[n];
        const QByteArray text = fieldText(field, row.value(QLatin1String(field.name)));
        if (leftOut(table, field, text))
            continue;
        form += field.name;
        form += '=';
        form += text;
        form += '\n';
    }
    return QString::fromLatin1(QCryptographicHash::hash(form, QCryptographicHash::Sha256).toHex());
}

// The rows a key names: one, or for the notes those noted at one time.
QSqlError keyedRows(QSqlQuery& query, const KeptTable& table, const SealKey& key, int version)
{
    QVariantList values;
    const QString where = keyCondition(table, key, values);
    query.setForwardOnly(true);
    return sql::prepared(query,
                         QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                             .arg(fieldNames(table, version), QLatin1String(table.name), where),
                         values);
}

QSqlError lastSeal(QSqlDatabase database, QString& previous, qint64& position)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    QSqlError error = sql::prepared(
        query,
        QStringLiteral("SELECT position, hash FROM kept_seals ORDER BY position DESC LIMIT 1"), {});
    // No seal yet: the first links to the start, as the first record does.
    const bool found = !error.isValid() && query.next();
    position = found ? query.value(0).toLongLong() : 0;
    previous = found ? query.value(1).toString() : chainStart();
    return error.isValid() ? error : query.lastError();
}

// Every field a table holds in a store brought up to date.
constexpr int everyField = std::numeric_limits<int>::max();

// Seals the row after the seal at `position` whose hash is `previous`, over the fields a
// store of `version` holds; both move on to it.
QSqlError sealAfter(QSqlDatabase database, const KeptTable& table, const SealKey& key,
                    const QString& savedBy, QString& previous, qint64& position,
                    int version = everyField)
{
    QSqlQuery row(database);
    if (QSqlError error = keyedRows(row, table, key, version); error.isValid())
        return error;
    QString hash;
    while (row.next())
        hash = sealHash(table, previous, row, version);
    if (row.lastError().isValid())
        return row.lastError();
    if (hash.isEmpty())
        return QSqlError(QStringLiteral("the row to seal is not there"), table.name,
                         QSqlError::StatementError);
    QSqlQuery insert(database);
    const QSqlError error = sql::prepared(
        insert,
        QStringLiteral("INSERT INTO kept_seals (position, kept_table, key_text, "
                       "key_number, previous_hash, hash, saved_by) VALUES (?, ?, "
                       "?, ?, ?, ?, ?)"),
        {position + 1, QString::fromLatin1(table.name),
         key.text.isNull() ? QStringLiteral("") : key.text, key.number, previous, hash, savedBy});
    if (!error.isValid()) {
        ++position;
        previous = hash;
    }
    return error;
}

QString orderOfKeys(const KeptTable& table)
{
    QStringList keys;
    for (const char* key : {table.keyText, table.keyNumber})
        if (*key)
            keys << QLatin1String(key);
    return keys.join(QStringLiteral(", "));
}

// The keys of a table kept before the seals, in the order of its keys: a table keyed by a
// number alone (the settings, the issues) a page at a time after `last`, the register and the
// notes, which are short, at once.
QSqlError keysOf(QSqlDatabase database, const KeptTable& table, const std::optional<SealKey>& last,
                 std::vector<SealKey>& keys)
{
    keys.clear();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const bool paged = !*table.keyText;
    QVariantList values;
    QString statement =
        QStringLiteral("SELECT %1 FROM %2").arg(orderOfKeys(table), QLatin1String(table.name));
    if (paged && last) {
        statement += QStringLiteral(" WHERE %1 > ?").arg(QLatin1String(table.keyNumber));
        values << last->number;
    }
    statement += QStringLiteral(" ORDER BY ") + orderOfKeys(table);
    if (paged)
        statement += QStringLiteral(" LIMIT %1").arg(pageSize);
    QSqlError error = sql::prepared(query, statement, values);
    while (!error.isValid() && query.next()) {
        SealKey found;
        int column = 0;
        if (*table.keyText)
            found.text = query.value(column++).toString();
        if (*table.keyNumber)
            found.number = query.value(column).toLongLong();
        keys.push_back(found);
    }
    return error.isValid() ? error : query.lastError();
}

} // namespace

QSqlError serverClock(QSqlDatabase database, const Dialect& dialect, QDateTime& nowUtc)
{
    nowUtc = QDateTime::currentDateTimeUtc();
    if (!dialect.postgres)
        return {};
    QVariantList row;
    const QSqlError error =
        sql::firstRow(database,
                      QStringLiteral("SELECT to_char(clock_timestamp() AT TIME ZONE 'UTC', "
                                     "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"),
                      row);
    if (error.isValid())
        return error;
    nowUtc = QDateTime::fromString(row.value(0).toString(), Qt::ISODateWithMs);
    if (const QSqlError lost = nowUtc.isValid() ? QSqlError() : sql::stillAnswering(database);
        lost.isValid())
        return lost;
    if (!nowUtc.isValid())
        return QSqlError(QStringLiteral("the server's clock did not read as a time"),
                         row.value(0).toString(), QSqlError::StatementError);
    return {};
}

namespace {
constexpr qint64 serialisingLock = 1364350550;
}

QSqlError serialiseKept(QSqlDatabase database, const Dialect& dialect)
{
    return dialect.postgres
               ? sql::run(database,
                          QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(serialisingLock))
               : QSqlError();
}

QString serialisingHolders(QSqlDatabase database)
{
    // Any role may take an advisory lock, and any role sees who holds one. The lock of one
    // 64-bit key is told from one of two 32-bit keys by its sub-id; a lock is a database's
    // own, and the same key held in another database of the server holds up nothing here.
    QSqlQuery query(database);
    const QSqlError error = sql::prepared(
        query,
        QStringLiteral("SELECT string_agg(DISTINCT coalesce(a.usename::text, 'a role') || ' "
                       "(server process ' || l.pid || ')', ', ') FROM pg_locks l LEFT JOIN "
                       "pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND "
                       "l.granted AND l.classid = 0 AND l.objid = %1 AND l.objsubid = 1 "
                       "AND l.pid <> pg_backend_pid() AND l.database = (SELECT oid FROM "
                       "pg_database WHERE datname = current_database())")
            .arg(serialisingLock),
        {});
    return !error.isValid() && query.next() ? query.value(0).toString() : QString();
}

QSqlError seal(QSqlDatabase database, const Dialect& dialect, const KeptTable& table,
               const SealKey& key, const QString& savedBy)
{
    QString previous;
    qint64 position = 0;
    QSqlError error = serialiseKept(database, dialect);
    if (!error.isValid())
        error = lastSeal(database, previous, position);
    return error.isValid() ? error : sealAfter(database, table, key, savedBy, previous, position);
}

namespace {

// A row kept before the seals, sealed as the seals' first version has its table: its later
// fields hold what rows kept before are filled with, which the seals leave out.
QSqlError sealKeptBefore(QSqlDatabase database, const KeptTable& table, const SealKey& key,
                         const QString& savedBy, QString& previous, qint64& position)
{
    return sealAfter(database, table, key, savedBy, previous, position, sealedFrom(table));
}

} // namespace

QSqlError sealExisting(QSqlDatabase database, const Dialect& dialect, const QString& savedBy)
{
    QString previous;
    qint64 position = 0;
    QSqlError error = serialiseKept(database, dialect);
    if (!error.isValid())
        error = lastSeal(database, previous, position);
    qint64 beside = 0; // rows sealed beside the notes, which alone are worth a note
    for (const KeptTable* table : sealedTables) {
        if (table->since > sealVersion) // made after the seals: sealed from its first row
            continue;
        std::vector<SealKey> keys;
        std::optional<SealKey> last;
        do {
            if (!error.isValid())
                error = keysOf(database, *table, last, keys);
            for (std::size_t n = 0; n < keys.size() && !error.isValid(); ++n)
                error = sealKeptBefore(database, *table, keys[n], savedBy, previous, position);
            if (table != &notesTable)
                beside += static_cast<qint64>(keys.size());
            if (!keys.empty())
                last = keys.back();
        } while (!error.isValid() && !*table->keyText && keys.size() == pageSize);
    }
    if (error.isValid() || beside == 0)
        return error;
    const QString noted = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    QSqlQuery note(database);
    error = sql::prepared(
        note, QStringLiteral("INSERT INTO store_notes (noted_utc, note) VALUES (?, ?)"),
        {noted, (beside == 1 ? QStringLiteral("%1 row kept beside the records before they were "
                                              "sealed was sealed, by %2")
                             : QStringLiteral("%1 rows kept beside the records before they were "
                                              "sealed were sealed, by %2"))
                    .arg(beside)
                    .arg(savedBy)});
    return error.isValid()
               ? error
               : sealKeptBefore(database, notesTable, {noted, 0}, savedBy, previous, position);
}

namespace {

// A page of the seals after `position`, in order.
QSqlError sealsAfter(QSqlDatabase database, qint64 position, std::vector<Seal>& seals)
{
    seals.clear();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    QSqlError error = sql::prepared(
        query,
        QStringLiteral("SELECT position, kept_table, key_text, key_number, previous_hash, hash, "
                       "saved_by FROM kept_seals WHERE position > ? ORDER BY position LIMIT %1")
            .arg(pageSize),
        {position});
    while (!error.isValid() && query.next())
        seals.push_back({query.value(0).toLongLong(),
                         query.value(1).toString(),
                         {query.value(2).toString(), query.value(3).toLongLong()},
                         query.value(4).toString(),
                         query.value(5).toString(),
                         query.value(6).toString()});
    return error.isValid() ? error : query.lastError();
}

// Whether the record a signature names still has the hash signed: a signature carried to
// another record, or standing for a record since changed, breaks even where its seal was made
// again.
QSqlError judgeSigned(QSqlDatabase database, const QSqlQuery& signature, const Seal& seal,
                      std::optional<KeptBreak>& broken)
{
    QSqlQuery record(database);
    record.setForwardOnly(true);
    QSqlError error = sql::prepared(record, QStringLiteral("SELECT hash FROM records WHERE id = ?"),
                                    {signature.value(QStringLiteral("record_id"))});
    const bool there = !error.isValid() && record.next();
    if (!error.isValid())
        error = record.lastError();
    if (!error.isValid() &&
        (!there ||
         record.value(0).toString() != signature.value(QStringLiteral("record_hash")).toString()))
        broken = KeptBreak{
            KeptBreak::Kind::NotItsRecord, seal.table, seal.key, seal.position, 0, seal.savedBy};
    return error;
}

// Whether the seal names a row that still gives it; its break when not.
QSqlError judgeSeal(QSqlDatabase database, const Seal& seal, int version,
                    std::optional<KeptBreak>& broken)
{
    using Kind = KeptBreak::Kind;
    const KeptTable* table = sealedTable(seal.table);
    if (!table) {
        broken = KeptBreak{Kind::Unlinked, seal.table, seal.key, seal.position};
        return {};
    }
    QSqlQuery row(database);
    if (QSqlError error = keyedRows(row, *table, seal.key, version); error.isValid())
        return error;
    bool found = false;
    while (row.next()) {
        found = true;
        if (sealHash(*table, seal.previous, row, version) == seal.hash)
            return table == &signaturesTable ? judgeSigned(database, row, seal, broken)
                                             : QSqlError();
    }
    if (row.lastError().isValid())
        return row.lastError();
    broken = KeptBreak{found ? Kind::Changed : Kind::Removed,
                       seal.table,
                       seal.key,
                       seal.position,
                       0,
                       seal.savedBy};
    return {};
}

// Whether each sealed table holds as many rows as it has seals: a row added by another program
// has none.
QSqlError judgeCounts(QSqlDatabase database, int version, const std::map<QString, qint64>& sealed,
                      std::optional<KeptBreak>& broken)
{
    for (const KeptTable* table : sealedTables) {
        if (table->since > version) // not made yet in a store of this version
            continue;
        QVariantList row;
        const QString name = QLatin1String(table->name);
        if (QSqlError error =
                sql::firstRow(database, QStringLiteral("SELECT count(*) FROM %1").arg(name), row);
            error.isValid())
            return error;
        const auto seals = sealed.find(name);
        const qint64 held = row.value(0).toLongLong();
        const qint64 named = seals == sealed.end() ? 0 : seals->second;
        if (held > named) {
            broken = KeptBreak{KeptBreak::Kind::Unsealed, name, {}, 0, held - named};
            return {};
        }
    }
    return {};
}

} // namespace

QSqlError checkSeals(QSqlDatabase database, const Dialect& dialect, int version,
                     std::optional<KeptBreak>& broken, SealMark& mark)
{
    Q_UNUSED(dialect);
    broken.reset();
    if (version < sealVersion)
        return {};
    const bool fromTheStart = mark.position == 0;
    std::map<QString, qint64> sealed;
    std::vector<Seal> page;
    do {
        if (QSqlError error = sealsAfter(database, mark.position, page); error.isValid())
            return error;
        for (const Seal& seal : page) {
            if (seal.previous != mark.hash) {
                broken = KeptBreak{KeptBreak::Kind::Unlinked, seal.table, seal.key, seal.position};
                return {};
            }
            if (QSqlError error = judgeSeal(database, seal, version, broken);
                error.isValid() || broken)
                return error;
            mark.hash = seal.hash;
            ++sealed[seal.table];
            mark.position = seal.position;
        }
    } while (page.size() == pageSize);
    // Only a walk of every seal knows how many rows each table should hold.
    return fromTheStart ? judgeCounts(database, version, sealed, broken) : QSqlError();
}

namespace {

QSqlError newestHash(QSqlDatabase database, const QString& order, QString& newest)
{
    QSqlQuery last(database);
    last.setForwardOnly(true);
    const QSqlError error = sql::prepared(
        last, QStringLiteral("SELECT hash FROM records ORDER BY %1 DESC LIMIT 1").arg(order), {});
    newest = !error.isValid() && last.next() ? last.value(0).toString() : QString();
    return error.isValid() ? error : last.lastError();
}

// The issue of a row of the issues' page: its break, if any. `heads` are the chain's head
// as the walk found it and as the snapshot has it.
std::optional<IssueBreak> judgeIssue(const QSqlQuery& row, const QStringList& heads)
{
    using Kind = IssueBreak::Kind;
    const QString number = row.value(1).toString();
    const QString recordId = row.value(2).toString();
    const QString chainHead = row.value(3).toString();
    const QString issuedHash = row.value(4).toString();
    if (row.value(5).isNull())
        return IssueBreak{Kind::NoRecord, number, recordId, chainHead};
    if (!issuedHash.isEmpty() && row.value(6).toString() != issuedHash)
        return IssueBreak{Kind::RecordChanged, number, recordId, chainHead};
    // The head it names is the store's, or the record after it is this one or a later one.
    const QVariant nextOrder = row.value(8);
    const bool inChain =
        heads.contains(chainHead) ||
        (!nextOrder.isNull() && nextOrder.toLongLong() > row.value(7).toLongLong());
    if (!chainHead.isEmpty() && !inChain)
        return IssueBreak{Kind::HeadNotInChain, number, recordId, chainHead};
    return std::nullopt;
}

} // namespace

QSqlError checkIssues(QSqlDatabase database, const Dialect& dialect, int version,
                      const QString& head, std::optional<IssueBreak>& broken, qint64& sequence)
{
    broken.reset();
    if (version < registerVersion)
        return {};
    const QString order = QLatin1String(dialect.orderColumn);
    // Issued meanwhile under a record saved after the walk: the head as this snapshot has it.
    QString newest;
    if (QSqlError error = newestHash(database, order, newest); error.isValid())
        return error;
    const QString issuedHash =
        version >= sealVersion ? QStringLiteral("i.record_hash") : QStringLiteral("''");
    const QString statement =
        QStringLiteral("SELECT i.sequence, i.number, i.record_id, i.chain_head, %1, r.id, "
                       "r.hash, r.%2, n.%2 FROM certificate_issues i LEFT JOIN records r ON r.id = "
                       "i.record_id LEFT JOIN records n ON n.previous_hash = i.chain_head WHERE "
                       "i.sequence > ? ORDER BY i.sequence LIMIT %3")
            .arg(issuedHash, order)
            .arg(pageSize);
    int read = 0;
    do {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (QSqlError error = sql::prepared(query, statement, {sequence}); error.isValid())
            return error;
        for (read = 0; query.next(); ++read) {
            sequence = query.value(0).toLongLong();
            if ((broken = judgeIssue(query, {head, newest})))
                return {};
        }
        if (query.lastError().isValid())
            return query.lastError();
    } while (read == pageSize);
    return {};
}

} // namespace quarvet::records
