#include "postgresrecordstore.h"

#include "keptseals.h"

#include "recordform.h"
#include "sqlrecords.h"

#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

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

// The driver hands its options to the client library as they stand: each value quoted there.
QString connectOptionsFor(const PostgresAddress& address)
{
    QString options = QLatin1String(connectOptions);
    for (const auto& [name, value] : address.options) {
        QString quoted = value;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
        options += QLatin1Char(';') + name + QLatin1String("='") + quoted + QLatin1Char('\'');
    }
    return options;
}

sql::Connection connectionTo(const PostgresAddress& address)
{
    return sql::Connection(QStringLiteral("QPSQL"), [&](QSqlDatabase& database) {
        database.setDatabaseName(address.databaseName);
        database.setHostName(address.host);
        database.setPort(address.port);
        database.setUserName(address.user);
        database.setPassword(address.password);
        database.setConnectOptions(connectOptionsFor(address));
    });
}

// What the server's SQLSTATE says about the database; `otherwise` for one that says nothing
// of it.
StoreFault faultOf(const QSqlError& error, StoreFaultKind otherwise)
{
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String(sql::notKeptCode))
        return storeFault(StoreFaultKind::Altered);
    if (state == QLatin1String(sql::clockBehindCode))
        return storeFault(StoreFaultKind::ClockBehind, error.driverText());
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
    if (!row.value(0).toBool())
        return row.value(1).toBool() ? storeFault(StoreFaultKind::Foreign) : StoreFault{};
    error = sql::firstRow(database, postgresSchemaStatement(schema), row);
    if (error.isValid())
        return faultOf(error, StoreFaultKind::Unreadable);
    version = row.value(0).toInt();
    const StoreFault judged = judgeSchema(schema, postgresDialect(), version,
                                          row.value(1).toString(), row.value(2).toString());
    // What a connection lost while the catalogue was read leaves out is no alteration.
    if (judged.kind == StoreFaultKind::Altered || judged.kind == StoreFaultKind::Foreign)
        if (const QSqlError lost = sql::stillAnswering(database); lost.isValid())
            return faultOf(lost, StoreFaultKind::Unreadable);
    return judged;
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
                        // The server's notices are its own business, not the user's terminal's.
                        QStringLiteral("SET client_min_messages = error"),
                        QStringLiteral("SET idle_in_transaction_session_timeout = 30000")});
}

// Who saves, as the server sees it: the role the session logged in as, and where from.
QString savingRole(QSqlDatabase database, QSqlError& error)
{
    QVariantList row;
    error = sql::firstRow(database,
                          QStringLiteral("SELECT session_user || '@' || "
                                         "coalesce(host(inet_client_addr()), 'local socket')"),
                          row);
    return row.value(0).toString();
}

// Whether the store must be brought up to date before the record goes in: then the lock every
// workstation takes for it is taken in a transaction of its own. Only such a save takes the
// lock, so a session holding it stalls no other.
StoreFault judgeForSaving(QSqlDatabase database, const Schema& schema, bool locked, int& version)
{
    // The server takes in what other sessions changed in the catalogue when it locks a
    // table, not when it takes an advisory lock: reading pg_class after the lock makes it
    // forget a "no such table" it remembered from this session's earlier look.
    if (locked)
        if (QSqlError error =
                sql::runAll(database, {QLatin1String(schemaLock),
                                       QStringLiteral("SELECT FROM pg_class LIMIT 0")});
            error.isValid())
            return faultOf(error, StoreFaultKind::NotSaved);
    return judge(database, schema, version);
}

StoreFault upgrade(QSqlDatabase database, const Schema& schema, int version, const QString& savedBy)
{
    const QSqlError error = sql::migrate(database, postgresDialect(), schema, version, savedBy);
    if (error.nativeErrorCode() == QLatin1String("42501"))
        return storeFault(StoreFaultKind::OwnerMustUpgrade, sql::said(error));
    return error.isValid() ? faultOf(error, StoreFaultKind::NotSaved) : StoreFault{};
}

// Two saves at once that both linked their record to the same head: the second is turned
// away by the chain's unique index, or by the server seeing the first's record as the head
// by then, and tries again on the new head.
bool linkedToTheSameHead(const QSqlError& error)
{
    return error.nativeErrorCode() == QLatin1String("23505") ||
           error.nativeErrorCode() == QLatin1String("QV005");
}

enum class Attempt { Done, Again, Locked };

// The schema brought up to date and the change made, in one transaction.
StoreFault saveOnce(QSqlDatabase database, const Schema& schema, const StoreChange& change,
                    const ChangeFault& expected, Attempt& attempt)
{
    const bool locked = attempt == Attempt::Locked;
    attempt = Attempt::Done;
    QSqlError error = sql::run(database, QStringLiteral("BEGIN"));
    int version = 0;
    StoreFault fault = error.isValid() ? faultOf(error, StoreFaultKind::NotSaved)
                                       : judgeForSaving(database, schema, locked, version);
    const QString savedBy = fault.failed() ? QString() : savingRole(database, error);
    if (error.isValid())
        fault = faultOf(error, StoreFaultKind::NotSaved);
    if (!fault.failed() && version < schema.version() && !locked)
        attempt = Attempt::Locked;
    else if (!fault.failed() && version < schema.version())
        fault = upgrade(database, schema, version, savedBy);
    if (!fault.failed() && attempt == Attempt::Done)
        error = change(database, postgresDialect(), savedBy);
    if (!fault.failed() && attempt == Attempt::Done && !error.isValid())
        error = sql::run(database, QStringLiteral("COMMIT"));
    if (error.isValid() && expected)
        fault = expected(error);
    if (error.isValid() && !fault.failed() && linkedToTheSameHead(error))
        attempt = Attempt::Again;
    else if (error.isValid() && !fault.failed())
        fault = faultOf(error, StoreFaultKind::NotSaved);
    if (fault.failed() || attempt != Attempt::Done)
        sql::run(database, QStringLiteral("ROLLBACK"));
    if (fault.kind == StoreFaultKind::Locked)
        fault.holder = serialisingHolders(database);
    return fault;
}

StoreFault save(QSqlDatabase database, const Schema& schema, const StoreChange& change,
                const ChangeFault& expected)
{
    Attempt attempt = Attempt::Again;
    StoreFault fault;
    for (int round = 0; attempt != Attempt::Done && round < 100; ++round)
        fault = saveOnce(database, schema, change, expected, attempt);
    return attempt == Attempt::Done ? fault : storeFault(StoreFaultKind::Locked);
}

} // namespace

namespace {

const QString noDatabase =
    QStringLiteral("it names no database (postgresql://user@host:port/dbname)");

// What a URL that is no URL is told: never a part of it, which may be a password.
const QString noUrl = QStringLiteral(
    "it is no URL that can be read (a user name or password holding one of : / ? # @ % is "
    "written percent-encoded, %2F for /; a password is better kept in ~/.pgpass)");

// The client library's options a lab may need to reach its server: encryption, the
// certificates, the password file. Anything else in the query is refused, so a typing error
// never passes silently as an option ignored.
const QStringList clientOptions = {QStringLiteral("sslmode"),
                                   QStringLiteral("sslrootcert"),
                                   QStringLiteral("sslcert"),
                                   QStringLiteral("sslkey"),
                                   QStringLiteral("sslcrl"),
                                   QStringLiteral("sslcrldir"),
                                   QStringLiteral("sslsni"),
                                   QStringLiteral("ssl_min_protocol_version"),
                                   QStringLiteral("ssl_max_protocol_version"),
                                   QStringLiteral("channel_binding"),
                                   QStringLiteral("gssencmode"),
                                   QStringLiteral("krbsrvname"),
                                   QStringLiteral("passfile"),
                                   QStringLiteral("target_session_attrs")};

// libpq reads a socket folder written percent-encoded as the host, which is no host name to
// QUrl: it is moved into the query, where it is a parameter like any other.
QString withSocketFolderInQuery(QString url)
{
    const qsizetype start = url.indexOf(QLatin1String("://")) + 3;
    const qsizetype end = url.indexOf(QLatin1Char('/'), start);
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'), end < 0 ? -1 : end - 1);
    const qsizetype host = at >= start ? at + 1 : start;
    if (end < 0 || !url.mid(host, 3).startsWith(QLatin1String("%2F"), Qt::CaseInsensitive))
        return url;
    qsizetype hostEnd = url.indexOf(QLatin1Char(':'), host);
    if (hostEnd < 0 || hostEnd > end)
        hostEnd = end;
    const QString folder = url.mid(host, hostEnd - host);
    url.remove(host, hostEnd - host);
    const QString parameter = QStringLiteral("host=") + folder;
    return url + (url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + parameter;
}

bool quotable(const QString& value)
{
    // The driver turns every ';' of its options into a space.
    return std::none_of(value.begin(), value.end(),
                        [](QChar c) { return c == QLatin1Char(';') || c.unicode() < 0x20; });
}

// ?host=...&port=...&sslmode=...; the fault for any other parameter, and for one given twice:
// "sslmode=require&sslmode=disable" would leave which holds to the reader.
QString readParameters(const QUrlQuery& query, PostgresAddress& address, QString& port)
{
    QStringList given;
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (given.contains(name))
            return QStringLiteral("it gives the parameter \"%1\" twice").arg(name.left(40));
        given << name;
        if (name == QLatin1String("host"))
            address.host = value;
        else if (name == QLatin1String("port"))
            port = value;
        else if (name == QLatin1String("user"))
            address.user = value;
        else if (name == QLatin1String("password"))
            address.password = value;
        else if (!clientOptions.contains(name))
            return QStringLiteral("it holds the unknown parameter \"%1\"").arg(name.left(40));
        else if (!quotable(value))
            return QStringLiteral("its parameter \"%1\" holds a ; or a control character")
                .arg(name);
        else
            address.options.append({name, value});
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
        return QStringLiteral("its port is no number from 1 to 65535");
    return {};
}

// The database: the one segment of the path.
QString readDatabase(const QUrl& url, PostgresAddress& address)
{
    const QString path = url.path(QUrl::FullyEncoded).mid(1);
    if (!url.path().startsWith(QLatin1Char('/')) || path.isEmpty() ||
        path.contains(QLatin1Char('/')))
        return noDatabase;
    address.databaseName = QUrl::fromPercentEncoding(path.toUtf8());
    return address.databaseName.isEmpty() || address.databaseName.contains(QLatin1Char('/'))
               ? noDatabase
               : QString();
}

} // namespace

std::optional<PostgresAddress> readPostgresUrl(const QString& text, QString& fault)
{
    if (!text.startsWith(QLatin1String("postgresql://")) &&
        !text.startsWith(QLatin1String("postgres://"))) {
        fault = QStringLiteral("it does not begin with postgresql://");
        return std::nullopt;
    }
    const QUrl url(withSocketFolderInQuery(text), QUrl::StrictMode);
    if (!url.isValid() || url.hasFragment()) {
        fault = url.errorString().startsWith(QLatin1String("Invalid port"))
                    ? QStringLiteral("its port is no number from 1 to 65535, or ") + noUrl
                    : noUrl;
        return std::nullopt;
    }
    PostgresAddress address;
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    address.host = url.host(QUrl::FullyDecoded);
    QString port = url.port() < 0 ? QString() : QString::number(url.port());
    QString why = readDatabase(url, address);
    if (why.isEmpty())
        why = readParameters(QUrlQuery(url), address, port);
    if (why.isEmpty())
        why = readPort(port, address);
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
    // The password is never shown; the options are, as they decide how the server is reached.
    QUrlQuery options;
    for (const auto& [name, value] : address_.options)
        options.addQueryItem(name, value);
    const QString query = options.isEmpty() ? QString() : QLatin1Char('?') + options.toString();
    QString host = address_.host.isEmpty() ? QStringLiteral("localhost") : address_.host;
    // An IPv6 address in brackets, as a URL writes it.
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('/')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("postgresql://%1@%2:%3/%4%5")
        .arg(address_.user, host)
        .arg(address_.port)
        .arg(address_.databaseName, query);
}

StoreFailure PostgresRecordStore::failure(StoreFault fault, bool saving) const
{
    fault.database = true;
    fault.location = location();
    fault.saving = saving;
    return StoreFailure(std::move(fault));
}

StoreFailure PostgresRecordStore::write(const Writing& writing)
{
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::Unreachable, sql::said(connection.error())),
                       true);
    QSqlDatabase database = connection.database();
    if (const QSqlError error = limitWaiting(database, false); error.isValid())
        return failure(faultOf(error, StoreFaultKind::NotSaved), true);
    return failure(writing(database), true);
}

StoreFailure PostgresRecordStore::add(const Record& record)
{
    return change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return sql::insertChained(database, dialect, schema_, record, savedBy);
        },
        [&](const QSqlError& error) {
            return error.nativeErrorCode() == QLatin1String("QV001")
                       ? storeFault(StoreFaultKind::AlreadyCorrected, shortId(record.corrects))
                       : StoreFault{};
        });
}

StoreFailure PostgresRecordStore::change(const StoreChange& change, const ChangeFault& expected)
{
    return write([&](QSqlDatabase database) { return save(database, schema_, change, expected); });
}

StoreFailure PostgresRecordStore::clock(QDateTime& nowUtc)
{
    const sql::Connection connection = connectionTo(address_);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::Unreachable, sql::said(connection.error())),
                       false);
    QSqlError error = limitWaiting(connection.database(), true);
    if (!error.isValid())
        error = serverClock(connection.database(), postgresDialect(), nowUtc);
    return error.isValid() ? failure(faultOf(error, StoreFaultKind::NotRead), false)
                           : StoreFailure();
}

StoreFailure PostgresRecordStore::inspect(const StoreReading& reading)
{
    return read([&](QSqlDatabase database, int version) {
        return reading(database, postgresDialect(), version);
    });
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
    return read([&](QSqlDatabase database, int version) {
        return sql::countRecords(database, postgresDialect(), version, filter, count);
    });
}

namespace {

QString quotedName(QString name)
{
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// What a workstation needs and no more: records and their readings read and added, the
// schema's version and the notes read. No change, no removal, no version of its own; the
// tables' owner keeps their triggers.
QStringList grantsTo(const QString& role, const QString& schemaName, const Schema& schema)
{
    const QString who = quotedName(role);
    QStringList names;
    for (const Column* column : columnsAt(schema, schema.version()))
        names << QLatin1String(column->name);
    const QString columns = names.join(QStringLiteral(", "));
    return {QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(quotedName(schemaName), who),
            QStringLiteral("GRANT SELECT, INSERT ON verification TO %1").arg(who),
            // Every column of a record but its saving order, which the server numbers: a row
            // typed with its own order could stop every later save.
            QStringLiteral("REVOKE INSERT ON records FROM %1").arg(who),
            QStringLiteral("GRANT SELECT ON records TO %1").arg(who),
            QStringLiteral("GRANT INSERT (%1) ON records TO %2").arg(columns, who),
            QStringLiteral("GRANT SELECT ON quarvet_schema, store_notes TO %1").arg(who),
            // The register and the issues are a workstation's to add to; the laboratory's
            // settings and who signs are set by the owner of the tables.
            QStringLiteral("GRANT SELECT, INSERT ON reference_standards, certificate_issues, "
                           "kept_seals, record_signatures, signing_failures, instruments TO %1")
                .arg(who),
            QStringLiteral("REVOKE INSERT ON lab_settings, lab_signers FROM %1").arg(who),
            QStringLiteral("GRANT SELECT ON lab_settings, lab_signers TO %1").arg(who)};
}

StoreFault grantIn(QSqlDatabase database, const Schema& schema, const QString& role)
{
    QVariantList row;
    QSqlError error = sql::runAll(database, {QStringLiteral("BEGIN"), QLatin1String(schemaLock)});
    if (!error.isValid())
        error = sql::firstRow(database,
                              QStringLiteral("SELECT current_schema(), session_user || '@' || "
                                             "coalesce(host(inet_client_addr()), 'local socket'), "
                                             "EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%1')")
                                  .arg(QString(role).replace(QLatin1Char('\''), "''")),
                              row);
    if (error.isValid())
        return faultOf(error, StoreFaultKind::NotSaved);
    if (!row.value(2).toBool())
        return storeFault(StoreFaultKind::NoSuchRole, role);
    const QString schemaName = row.value(0).toString();
    int version = 0;
    StoreFault fault = judge(database, schema, version);
    if (!fault.failed() && version < schema.version())
        fault = upgrade(database, schema, version, row.value(1).toString());
    if (fault.failed())
        return fault;
    // Granting on tables of another's is no error to the server, only a warning that nothing
    // was granted: this role must own them.
    error = sql::firstRow(database,
                          QStringLiteral("SELECT bool_and(pg_has_role(session_user, relowner, "
                                         "'USAGE')) FROM pg_class WHERE oid IN "
                                         "(to_regclass('records'), to_regclass('verification'), "
                                         "to_regclass('quarvet_schema'), "
                                         "to_regclass('store_notes'))"),
                          row);
    if (!error.isValid() && !row.value(0).toBool())
        return storeFault(StoreFaultKind::NotOwner);
    if (!error.isValid())
        error =
            sql::runAll(database, grantsTo(role, schemaName, schema) << QStringLiteral("COMMIT"));
    return error.isValid() ? faultOf(error, StoreFaultKind::NotSaved) : StoreFault{};
}

} // namespace

StoreFailure PostgresRecordStore::grant(const QString& role)
{
    return write([&](QSqlDatabase database) {
        StoreFault fault = grantIn(database, schema_, role);
        if (fault.failed())
            sql::run(database, QStringLiteral("ROLLBACK"));
        return fault;
    });
}

StoreFailure PostgresRecordStore::readNotes(StoreNotes& notes, bool countOrphans)
{
    notes = {};
    return read([&](QSqlDatabase database, int version) {
        return sql::readNotes(database, version, notes, countOrphans);
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
