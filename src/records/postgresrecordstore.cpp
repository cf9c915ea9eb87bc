#include "postgresrecordstore.h"

#include "sqlrecords.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace quarvet::records {
namespace {

// The first schema, after the tables.
const char* const schemaSteps[] = {
    "CREATE TABLE quarvet_schema (version INTEGER NOT NULL)",
    // Append-only in the database itself, whatever program or workstation connects.
    R"(CREATE FUNCTION quarvet_records_are_kept() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN RAISE EXCEPTION 'records are never changed or removed'; END $$)",
    "CREATE TRIGGER records_never_changed BEFORE UPDATE OR DELETE ON records "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER records_never_truncated BEFORE TRUNCATE ON records "
    "FOR EACH STATEMENT EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER readings_never_changed BEFORE UPDATE OR DELETE ON verification "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER readings_never_truncated BEFORE TRUNCATE ON verification "
    "FOR EACH STATEMENT EXECUTE FUNCTION quarvet_records_are_kept()",
    "INSERT INTO quarvet_schema (version) VALUES (1)",
};

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

// The schema version the database holds: 0 for none yet, -1 when it holds tables of the
// same names that are not ours.
QString schemaOf(QSqlDatabase database, int& version)
{
    QVariant ours;
    QVariant theirs;
    QString error = sql::singleValue(
        database,
        QStringLiteral("SELECT to_regclass('quarvet_schema') IS NOT NULL, "
                       "to_regclass('records') IS NOT NULL OR to_regclass('verification') IS NOT "
                       "NULL"),
        ours, &theirs);
    if (!error.isEmpty())
        return error;
    if (!ours.toBool()) {
        version = theirs.toBool() ? -1 : 0;
        return {};
    }
    QVariant stored;
    QVariant columns;
    error = sql::singleValue(
        database,
        QStringLiteral("SELECT (SELECT max(version) FROM quarvet_schema), (SELECT "
                       "string_agg(column_name::text, ', ' ORDER BY ordinal_position) FROM "
                       "information_schema.columns WHERE table_schema = current_schema() AND "
                       "table_name = 'records')"),
        stored, &columns);
    version = stored.toInt();
    // A version row beside tables that are not ours is no records database either.
    if (version >= 1 && version <= PostgresRecordStore::schemaVersion &&
        columns.toString() != QLatin1String(sql::recordColumns) + QStringLiteral(", saved_order"))
        version = -1;
    return error;
}

QString judged(int version, const QString& location)
{
    if (version < 0)
        return QStringLiteral("The record database %1 holds tables of another program. Nothing "
                              "was written to it.")
            .arg(location);
    if (version > PostgresRecordStore::schemaVersion)
        return QStringLiteral("The record database %1 was written by a newer program (schema %2; "
                              "this program knows %3). Nothing was written to it.")
            .arg(location)
            .arg(version)
            .arg(PostgresRecordStore::schemaVersion);
    return {};
}

QString limitWaiting(QSqlDatabase database)
{
    // A lock held by a stuck workstation ends in an error, not in a window that never answers;
    // and a workstation that stalls inside its transaction loses it, and with it the lock, so
    // that the others can save again.
    QString error = sql::run(database, QStringLiteral("SET statement_timeout = 15000"));
    if (error.isEmpty())
        error =
            sql::run(database, QStringLiteral("SET idle_in_transaction_session_timeout = 30000"));
    return error;
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
    PostgresAddress address;
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0 || slash == rest.size() - 1) {
        fault = QStringLiteral("it names no database (postgresql://user@host:port/dbname)");
        return std::nullopt;
    }
    address.databaseName = decoded(rest.mid(slash + 1));
    QString authority = rest.left(slash);
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        address.user = decoded(userInfo.left(colon));
        if (colon >= 0)
            address.password = decoded(userInfo.mid(colon + 1));
        authority.remove(0, at + 1);
    }
    QString port;
    if (const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        colon >= 0 && !authority.endsWith(QLatin1Char(']'))) {
        port = authority.mid(colon + 1);
        authority.truncate(colon);
    }
    if (authority.startsWith(QLatin1Char('[')) && authority.endsWith(QLatin1Char(']')))
        authority = authority.mid(1, authority.size() - 2);
    address.host = decoded(authority);
    for (const QString& pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = decoded(pair.section(QLatin1Char('='), 1));
        if (name == QLatin1String("host"))
            address.host = value;
        else if (name == QLatin1String("port"))
            port = value;
        else {
            fault = QStringLiteral("it holds the unknown parameter \"%1\"").arg(name);
            return std::nullopt;
        }
    }
    if (!port.isEmpty()) {
        bool ok = false;
        address.port = port.toInt(&ok);
        if (!ok || address.port < 1 || address.port > 65535) {
            fault = QStringLiteral("its port \"%1\" is no port number").arg(port);
            return std::nullopt;
        }
    }
    if (address.databaseName.contains(QLatin1Char('/')) || address.databaseName.isEmpty()) {
        fault = QStringLiteral("it names no database (postgresql://user@host:port/dbname)");
        return std::nullopt;
    }
    return address;
}

PostgresRecordStore::PostgresRecordStore(PostgresAddress address) : address_(std::move(address)) {}

QString PostgresRecordStore::location() const
{
    // The password is never shown.
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(address_.user, address_.host.isEmpty() ? QStringLiteral("localhost") : address_.host)
        .arg(address_.port)
        .arg(address_.databaseName);
}

StoreFailure PostgresRecordStore::add(const Record& record)
{
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return {QStringLiteral("The record database %1 cannot be reached: %2")
                    .arg(location(), connection.error().trimmed())};
    QSqlDatabase database = connection.database();
    QString error = limitWaiting(database);
    if (error.isEmpty())
        error = sql::run(database, QStringLiteral("BEGIN"));
    if (!error.isEmpty())
        return {QStringLiteral("The record was not saved in %1: %2").arg(location(), error)};
    int version = 0;
    error = sql::run(database, QLatin1String(schemaLock));
    if (error.isEmpty())
        error = schemaOf(database, version);
    if (error.isEmpty()) {
        if (const QString refused = judged(version, location()); !refused.isEmpty()) {
            sql::run(database, QStringLiteral("ROLLBACK"));
            return {refused};
        }
    }
    if (error.isEmpty() && version == 0)
        error = sql::makeSchema(database, QStringLiteral("DOUBLE PRECISION"),
                                QStringLiteral("saved_order BIGINT GENERATED ALWAYS AS IDENTITY"),
                                schemaSteps);
    if (error.isEmpty())
        error = sql::insertRecord(database, record);
    if (error.isEmpty())
        error = sql::run(database, QStringLiteral("COMMIT"));
    if (!error.isEmpty()) {
        sql::run(database, QStringLiteral("ROLLBACK"));
        return {
            QStringLiteral("The record was not saved in %1: %2").arg(location(), error.trimmed())};
    }
    return {};
}

StoreFailure PostgresRecordStore::list(const RecordFilter& filter, QList<Record>& records)
{
    records.clear();
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return {QStringLiteral("The record database %1 cannot be reached: %2")
                    .arg(location(), connection.error().trimmed())};
    QSqlDatabase database = connection.database();
    int version = 0;
    QString error = limitWaiting(database);
    // One snapshot for the schema and the rows: a save in between cannot tear them apart.
    if (error.isEmpty())
        error =
            sql::run(database, QStringLiteral("BEGIN TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    if (error.isEmpty())
        error = schemaOf(database, version);
    if (error.isEmpty()) {
        if (const QString refused = judged(version, location()); !refused.isEmpty()) {
            sql::run(database, QStringLiteral("ROLLBACK"));
            return {refused.section(QLatin1String(" Nothing"), 0, 0)};
        }
    }
    if (error.isEmpty() && version > 0)
        error = sql::readRecords(database, filter, QStringLiteral("saved_order"), records);
    sql::run(database, QStringLiteral("ROLLBACK"));
    if (!error.isEmpty()) {
        records.clear();
        return {QStringLiteral("The records in %1 cannot be read: %2")
                    .arg(location(), error.trimmed())};
    }
    return {};
}

} // namespace quarvet::records
