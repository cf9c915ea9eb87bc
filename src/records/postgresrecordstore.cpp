#include "postgresrecordstore.h"

#include "recordform.h"
#include "sqlrecords.h"

#include <QSqlQuery>
#include <QUrl>

namespace quarvet::records {
namespace {

// Every workstation takes this lock before it looks at the schema, so the first saves of two
// never both make the tables. A number of this program's own, the letters "QRVT".
constexpr const char* schemaLock = "SELECT pg_advisory_xact_lock(1364350548)";

// A server that does not answer must not hold the window longer than a moment or two.
// A connection whose peer went away is found out by TCP keepalives and by data that stays
// unacknowledged, instead of waiting for the operating system's two hours.
constexpr const char* connectOptions =
    "connect_timeout=5;application_name=quarvet;keepalives=1;keepalives_idle=10;"
    "keepalives_interval=5;keepalives_count=3;tcp_user_timeout=20000";

QString decoded(const QString& part)
{
    return QUrl::fromPercentEncoding(part.toUtf8());
}

sql::Connection connectionTo(const PostgresAddress& address)
{
    return sql::Connection(QStringLiteral("QPSQL"), [&](QSqlDatabase& database) {
        database.setDatabaseName(address.databaseName);
        database.setHostName(address.host);
        database.setPort(address.port);
        database.setUserName(address.user);
        database.setPassword(address.password);
        database.setConnectOptions(QLatin1String(connectOptions));
    });
}

// What the server's SQLSTATE says about the database; `otherwise` for one that says nothing
// of it.
StoreFault faultOf(const QSqlError& error, StoreFaultKind otherwise)
{
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String(sql::notKeptCode))
        return storeFault(StoreFaultKind::Altered);
    const auto fault = [&](StoreFaultKind kind) { return storeFault(kind, sql::said(error)); };
    // A statement that waited past its time waited for another workstation's lock.
    if (state == QLatin1String("57014") || state == QLatin1String("55P03") ||
        state == QLatin1String("40001") || state == QLatin1String("40P01"))
        return fault(StoreFaultKind::Locked);
    if (state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01"))
        return fault(StoreFaultKind::Unreachable);
    // In a reading, refused or short of room means it could not be read, not written.
    const bool reading =
        otherwise == StoreFaultKind::NotRead || otherwise == StoreFaultKind::Unreadable;
    if (state == QLatin1String("42501") || state.startsWith(QLatin1String("53")) ||
        state == QLatin1String("25006"))
        return fault(reading ? otherwise : StoreFaultKind::Unwritable);
    if (state == QLatin1String("XX001") || state == QLatin1String("XX002"))
        return damaged(Damage::Page, sql::said(error));
    return fault(otherwise);
}

// The schema version the database holds (0 for none yet), or why it is not ours.
StoreFault judge(QSqlDatabase database, const Schema& schema, int& version)
{
    QVariantList row;
    QSqlError error = sql::firstRow(
        database,
        QStringLiteral("SELECT to_regclass('quarvet_schema') IS NOT NULL, "
                       "to_regclass('records') IS NOT NULL OR to_regclass('verification') IS NOT "
                       "NULL"),
        row);
    if (error.isValid())
        return faultOf(error, StoreFaultKind::Unreadable);
    version = 0;
    if (!row[0].toBool())
        return row[1].toBool() ? storeFault(StoreFaultKind::Foreign) : StoreFault{};
    error = sql::firstRow(
        database,
        QStringLiteral(
            "SELECT (SELECT max(version) FROM quarvet_schema), (SELECT string_agg(attname::text, "
            "',' ORDER BY attname::text COLLATE \"C\") FROM pg_attribute WHERE attrelid = "
            "to_regclass('records') AND attnum > 0 AND NOT attisdropped), (SELECT string_agg(made, "
            "',' ORDER BY made COLLATE \"C\") FROM (SELECT 'table ' || relname AS made FROM "
            "pg_class WHERE relnamespace = current_schema()::regnamespace AND relkind = 'r' AND "
            "relname IN ('records', 'verification', 'quarvet_schema') UNION ALL SELECT 'index ' "
            "|| indexrelid::regclass::text FROM pg_index WHERE indrelid IN "
            "(to_regclass('records'), "
            "to_regclass('verification')) AND NOT indisprimary UNION ALL SELECT 'trigger ' || "
            "tgname FROM pg_trigger WHERE tgrelid IN (to_regclass('records'), "
            "to_regclass('verification')) AND NOT tgisinternal) objects)"),
        row);
    if (error.isValid())
        return faultOf(error, StoreFaultKind::Unreadable);
    version = row[0].toInt();
    return judgeSchema(schema, postgresDialect(), version, row[1].toString(), row[2].toString());
}

// A lock held by a stuck workstation ends in an error, not in a window that never answers;
// and a workstation that stalls inside its transaction loses it, and with it the lock, so
// that the others can save again. A reading takes as long as its reader: a listing of a
// million records to a slow terminal is no stall, so only its waiting for a lock is limited.
QSqlError limitWaiting(QSqlDatabase database, bool reading)
{
    return sql::runAll(database,
                       {reading ? QStringLiteral("SET statement_timeout = 0")
                                : QStringLiteral("SET statement_timeout = 15000"),
                        QStringLiteral("SET lock_timeout = 15000"),
                        QStringLiteral("SET idle_in_transaction_session_timeout = 30000")});
}

// The schema brought up to date and the record in, in one transaction.
StoreFault save(QSqlDatabase database, const Schema& schema, const Record& record)
{
    QSqlError error = sql::runAll(database, {QStringLiteral("BEGIN"), QLatin1String(schemaLock)});
    if (error.isValid())
        return faultOf(error, StoreFaultKind::NotSaved);
    int version = 0;
    StoreFault fault = judge(database, schema, version);
    if (!fault.failed())
        error = sql::runAll(database, migrationStatements(schema, postgresDialect(), version));
    if (!fault.failed() && !error.isValid())
        error = sql::insertRecord(database, schema, record);
    if (!fault.failed() && !error.isValid())
        error = sql::run(database, QStringLiteral("COMMIT"));
    if (error.nativeErrorCode() == QLatin1String("QV001"))
        fault = storeFault(StoreFaultKind::AlreadyCorrected, shortId(record.corrects));
    else if (error.isValid())
        fault = faultOf(error, StoreFaultKind::NotSaved);
    if (fault.failed())
        sql::run(database, QStringLiteral("ROLLBACK"));
    return fault;
}

} // namespace

namespace {

const QString noDatabase =
    QStringLiteral("it names no database (postgresql://user@host:port/dbname)");

// user[:password]@host[:port], the user and password decoded; the port as written.
void readAuthority(QString authority, PostgresAddress& address, QString& port)
{
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        address.user = decoded(userInfo.left(colon));
        if (colon >= 0)
            address.password = decoded(userInfo.mid(colon + 1));
        authority.remove(0, at + 1);
    }
    if (const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        colon >= 0 && !authority.endsWith(QLatin1Char(']'))) {
        port = authority.mid(colon + 1);
        authority.truncate(colon);
    }
    if (authority.startsWith(QLatin1Char('[')) && authority.endsWith(QLatin1Char(']')))
        authority = authority.mid(1, authority.size() - 2);
    address.host = decoded(authority);
}

// ?host=...&port=...; the fault for any other parameter.
QString readParameters(const QString& query, PostgresAddress& address, QString& port)
{
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = decoded(pair.section(QLatin1Char('='), 1));
        if (name == QLatin1String("host"))
            address.host = value;
        else if (name == QLatin1String("port"))
            port = value;
        else
            return QStringLiteral("it holds the unknown parameter \"%1\"").arg(name);
    }
    return {};
}

QString readPort(const QString& port, PostgresAddress& address)
{
    if (port.isEmpty())
        return {};
    bool ok = false;
    address.port = port.toInt(&ok);
    if (!ok || address.port < 1 || address.port > 65535)
        return QStringLiteral("its port \"%1\" is no port number").arg(port);
    return {};
}

} // namespace

std::optional<PostgresAddress> readPostgresUrl(const QString& url, QString& fault)
{
    QString rest = url;
    if (rest.startsWith(QLatin1String("postgresql://")))
        rest.remove(0, 13);
    else if (rest.startsWith(QLatin1String("postgres://")))
        rest.remove(0, 11);
    else {
        fault = QStringLiteral("it does not begin with postgresql://");
        return std::nullopt;
    }
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    PostgresAddress address;
    address.databaseName = slash < 0 ? QString() : decoded(rest.mid(slash + 1));
    QString port;
    QString why;
    if (slash >= 0) {
        readAuthority(rest.left(slash), address, port);
        why = readParameters(query, address, port);
    }
    if (why.isEmpty() && slash >= 0)
        why = readPort(port, address);
    if (why.isEmpty() &&
        (address.databaseName.contains(QLatin1Char('/')) || address.databaseName.isEmpty()))
        why = noDatabase;
    if (!why.isEmpty()) {
        fault = why;
        return std::nullopt;
    }
    return address;
}

PostgresRecordStore::PostgresRecordStore(PostgresAddress address, const Schema& schema)
    : address_(std::move(address)), schema_(schema)
{
}

QString PostgresRecordStore::location() const
{
    // The password is never shown.
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(address_.user, address_.host.isEmpty() ? QStringLiteral("localhost") : address_.host)
        .arg(address_.port)
        .arg(address_.databaseName);
}

StoreFailure PostgresRecordStore::failure(StoreFault fault, bool saving) const
{
    fault.database = true;
    fault.location = location();
    fault.saving = saving;
    return StoreFailure(std::move(fault));
}

StoreFailure PostgresRecordStore::add(const Record& record)
{
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::Unreachable, sql::said(connection.error())),
                       true);
    QSqlDatabase database = connection.database();
    if (const QSqlError error = limitWaiting(database, false); error.isValid())
        return failure(faultOf(error, StoreFaultKind::NotSaved), true);
    return failure(save(database, schema_, record), true);
}

StoreFailure PostgresRecordStore::read(const Reading& reading)
{
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::Unreachable, sql::said(connection.error())),
                       false);
    QSqlDatabase database = connection.database();
    // One snapshot for the schema and the rows: a save in between cannot tear them apart.
    QSqlError error = limitWaiting(database, true);
    if (!error.isValid())
        error =
            sql::run(database, QStringLiteral("BEGIN TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    if (error.isValid())
        return failure(faultOf(error, StoreFaultKind::NotRead), false);
    int version = 0;
    StoreFault fault = judge(database, schema_, version);
    if (!fault.failed() && version > 0)
        if (error = reading(database, version); error.isValid())
            fault = faultOf(error, StoreFaultKind::NotRead);
    sql::run(database, QStringLiteral("ROLLBACK"));
    return fault.failed() ? failure(std::move(fault), false) : StoreFailure();
}

StoreFailure PostgresRecordStore::visit(const RecordFilter& filter, const RecordVisitor& visitor)
{
    return read([&](QSqlDatabase database, int version) {
        return sql::visitRecords(database, postgresDialect(), schema_, version, filter, visitor);
    });
}

StoreFailure PostgresRecordStore::count(const RecordFilter& filter, qint64& count)
{
    count = 0;
    return read([&](QSqlDatabase database, int) {
        return sql::countRecords(database, postgresDialect(), filter, count);
    });
}

StoreFailure PostgresRecordStore::checkIntegrity()
{
    // The server keeps its own pages whole; what this program can check is that every
    // reading belongs to a record, which it reads every row of both tables to find.
    qint64 orphans = 0;
    StoreFailure read = this->read([&](QSqlDatabase database, int) {
        QVariantList row;
        const QSqlError error = sql::firstRow(
            database,
            QStringLiteral("SELECT count(*) FROM verification v LEFT JOIN records r ON r.id = "
                           "v.record_id WHERE r.id IS NULL"),
            row);
        orphans = row.value(0).toLongLong();
        return error;
    });
    if (read.failed() || orphans == 0)
        return read;
    return failure(damaged(Damage::LostReadings, {}, orphans), false);
}

} // namespace quarvet::records
