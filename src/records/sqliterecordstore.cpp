#include "sqliterecordstore.h"

#include "recordform.h"
#include "sqlitelisting.h"
#include "sqlrecords.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSysInfo>
#include <QThread>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <string>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace quarvet::records {
namespace {

constexpr int busyMilliseconds = 10000;

using sql::run;

// SQLite's own result codes, the primary ones, as Qt reports them.
int resultCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

bool locked(const QSqlError& error)
{
    const int code = resultCode(error);
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// SQLite answers "locked" at once, without waiting, where waiting could deadlock: two
// connections switching a new file to WAL at the same moment. Such a statement is tried
// again, within the same time a busy database is waited for.
template <typename Attempt> QSqlError waiting(Attempt attempt)
{
    const QDeadlineTimer deadline(busyMilliseconds);
    for (;;) {
        const QSqlError error = attempt();
        if (!locked(error) || deadline.hasExpired())
            return error;
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

QSqlError runWaiting(QSqlDatabase database, const QString& statement)
{
    return waiting([&] { return run(database, statement); });
}

// What an error of SQLite's says about the file; `otherwise` for one that says nothing of it.
StoreFault faultOf(const QSqlError& error, StoreFaultKind otherwise)
{
    if (error.nativeErrorCode() == QLatin1String(sql::notKeptCode))
        return storeFault(StoreFaultKind::Altered);
    if (error.nativeErrorCode() == QLatin1String(sql::clockBehindCode))
        return storeFault(StoreFaultKind::ClockBehind, error.driverText());
    switch (resultCode(error)) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return storeFault(StoreFaultKind::Locked);
    case SQLITE_NOTADB:
        return storeFault(StoreFaultKind::NotADatabase);
    case SQLITE_CORRUPT:
        return damaged(Damage::Page, sql::said(error));
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM: {
        // In a reading, the file could not be read: say so, not that it cannot be written.
        const bool reading =
            otherwise == StoreFaultKind::NotRead || otherwise == StoreFaultKind::Unreadable;
        return storeFault(reading ? otherwise : StoreFaultKind::Unwritable, sql::said(error));
    }
    default:
        return {otherwise, false, false, {}, sql::said(error)};
    }
}

// Folds a text's case for the history's filter; SQLite's own lower() knows only ASCII.
void foldCase(sqlite3_context* context, int, sqlite3_value** values)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    // Serials are nearly always ASCII, whose folding is its lower case: done in place, the
    // filter searching a large store costs what the database's own lower() would.
    const int size = sqlite3_value_bytes(values[0]);
    if (std::all_of(text, text + size,
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string folded(text, static_cast<std::size_t>(size));
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        sqlite3_result_text(context, folded.data(), size, SQLITE_TRANSIENT);
        return;
    }
    const QByteArray folded = QString::fromUtf8(text, size).toCaseFolded().toUtf8();
    sqlite3_result_text(context, folded.constData(), static_cast<int>(folded.size()),
                        SQLITE_TRANSIENT);
}

void addFoldFunction(QSqlDatabase& database)
{
    const QVariant handle = database.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (auto* connection = *static_cast<sqlite3* const*>(handle.data()))
            sqlite3_create_function_v2(connection, "quarvet_fold", 1,
                                       SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, foldCase,
                                       nullptr, nullptr, nullptr);
}

// Whether the file is one of ours and of a schema this program knows, read in one statement,
// so one snapshot: read apart, another program's migration could commit between them and its
// fresh tables look like another program's. `version` 0: no tables yet.
StoreFault judge(QSqlDatabase database, const Schema& schema, int& version)
{
    QVariantList row;
    const QSqlError error = waiting([&] {
        return sql::firstRow(
            database,
            QStringLiteral("SELECT user_version, (SELECT count(*) FROM sqlite_master), "
                           "(SELECT group_concat(name, ',') FROM (SELECT name FROM "
                           "pragma_table_info('records') ORDER BY name)), (SELECT "
                           "group_concat(made, char(30)) FROM (SELECT type || ' ' || name || "
                           "CASE WHEN type IN ('index', 'trigger') THEN ':' || sql ELSE '' END "
                           "AS made FROM sqlite_master WHERE name NOT LIKE 'sqlite_%')) FROM "
                           "pragma_user_version"),
            row);
    });
    if (error.isValid())
        return faultOf(error, StoreFaultKind::Unreadable);
    version = row.value(0).toInt();
    // No version yet: a new file, or one whose first save never finished, holds no tables.
    if (version == 0)
        return row.value(1).toInt() == 0 ? StoreFault() : storeFault(StoreFaultKind::Foreign);
    return judgeSchema(schema, sqliteDialect(), version, row.value(2).toString(),
                       row.value(3).toString());
}

// Who saves, as the system sees it: the login name of the process's user, not what the
// environment says, and the machine's name.
QString savingUser()
{
    QString login;
#ifdef Q_OS_UNIX
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_name)
        login = QString::fromLocal8Bit(user->pw_name);
    else
        login = QStringLiteral("uid ") + QString::number(::geteuid());
#else
    login = qEnvironmentVariable("USERNAME");
#endif
    return login + QLatin1Char('@') + QSysInfo::machineHostName();
}

// The schema brought up to date and the change made, in one transaction: all of it or none.
void markUpgrade(const QString& path, int from);

// The change made in one transaction, after the schema's steps a file of an earlier version
// needs; such a file is marked as this program's upgrade once the transaction holds the write
// lock (`marked`), so that no program rolling back a cut-short upgrade meanwhile takes the mark
// of one about to begin.
StoreFault saveInTransaction(QSqlDatabase database, const QString& path, const Schema& schema,
                             const StoreChange& change, const ChangeFault& expected, bool& marked)
{
    if (QSqlError error = runWaiting(database, QStringLiteral("BEGIN IMMEDIATE")); error.isValid())
        return faultOf(error, StoreFaultKind::NotSaved);
    int version = 0;
    // Looked at again under the lock: another program may have made or upgraded the tables.
    StoreFault fault = judge(database, schema, version);
    marked = !fault.failed() && version > 0 && version < schema.version();
    if (marked)
        markUpgrade(path, version);
    QSqlError error;
    const QString savedBy = savingUser();
    if (!fault.failed())
        error = sql::migrate(database, sqliteDialect(), schema, version, savedBy);
    if (!fault.failed() && !error.isValid())
        error = change(database, sqliteDialect(), savedBy);
    if (!fault.failed() && !error.isValid())
        error = run(database, QStringLiteral("COMMIT"));
    if (error.isValid() && expected)
        fault = expected(error);
    if (error.isValid() && !fault.failed())
        fault = faultOf(error, StoreFaultKind::NotSaved);
    if (fault.failed())
        run(database, QStringLiteral("ROLLBACK"));
    return fault;
}

// How a connection may touch the file. A file not yet known to be ours is only read: a
// connection that may write rolls back another program's unfinished transaction, or merges
// its write-ahead log, the moment it reads.
enum class Access {
    Write,
    Read,
    // Read without SQLite's shared-memory file: for a file this user may not write, where that
    // file would be made read-only and block every later save.
    ReadUnshared,
};

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

bool writable(const QString& path)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
#else
    return QFileInfo(path).isWritable();
#endif
}

// How a reading opens the file. SQLite makes its shared-memory file beside a store in WAL mode
// with the store's own mode: for a store this user may not write, one that stays read-only and
// blocks every later save once the store may be written again. Such a store is read as it
// is on the disk when nothing beside it holds a transaction; when its log holds records not
// yet merged, it is not read at all (nothing for it is made).
std::optional<Access> readingAccess(const QString& path)
{
    if (writable(path))
        return Access::Read;
    const QFileInfo log(path + QStringLiteral("-wal"));
    const bool shared = exists(path + QStringLiteral("-shm"));
    if (log.exists() && log.size() > 0 && !shared)
        return std::nullopt;
    const bool settled = !shared && !exists(path + QStringLiteral("-journal"));
    return settled ? Access::ReadUnshared : Access::Read;
}

// One connection to the file, waiting up to the busy time for a lock.
sql::Connection connectionTo(const QString& path, Access access)
{
    return sql::Connection(QStringLiteral("QSQLITE"), [&](QSqlDatabase& database) {
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds);
        if (access != Access::Write)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        if (access == Access::ReadUnshared) {
            options += QStringLiteral(";QSQLITE_OPEN_URI");
            database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                     QStringLiteral("?immutable=1"));
        } else {
            database.setDatabaseName(path);
        }
        database.setConnectOptions(options);
    });
}

// Whether the file is there, as far as the system lets the program see: a folder it may not
// enter, or a link that loops, hides a store rather than saying there is none.
enum class Presence { Absent, File, NotAFile, Hidden };

Presence presenceOf(const QString& path, QString& reason)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) == 0)
        return S_ISREG(info.st_mode) ? Presence::File : Presence::NotAFile;
    const int error = errno;
    // Nothing yet (a link to nothing too: the first save makes the file it names); under a
    // file no store can be, and none can be made.
    if (error == ENOENT || error == ENOTDIR)
        return Presence::Absent;
    reason = QString::fromLocal8Bit(std::strerror(error));
    return Presence::Hidden;
#else
    const QFileInfo info(path);
    Q_UNUSED(reason);
    if (!info.exists())
        return Presence::Absent;
    return info.isFile() ? Presence::File : Presence::NotAFile;
#endif
}

// The records name people and instruments: a new file is the user's alone (0600), in a folder
// of the user's alone (0700) when this program makes it, whatever the umask. SQLite gives
// its files beside it the file's own permissions.
bool makePrivateFile(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const bool madeFolder = !QFileInfo::exists(folder);
    if (!QDir().mkpath(folder))
        return false;
    if (madeFolder)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile file(path);
    // Made empty, as SQLite's new files are; an empty file is a store without records.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        return QFileInfo(path).isFile();
    return true;
}

StoreFailure failure(StoreFault fault, const QString& path, bool saving)
{
    fault.location = path;
    fault.saving = saving;
    return StoreFailure(std::move(fault));
}

// A rollback journal left by a transaction that never ended, which the next connection that
// may write rolls back. Its header says how many pages the file had before it began: none
// for a first save of this program's that was cut short, whose rollback leaves an empty file.
bool journalOfAnEmptyFile(const QString& path)
{
    QFile journal(path + QStringLiteral("-journal"));
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = journal.read(28);
    static const char magic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    if (header.size() < 28 || !header.startsWith(QByteArray(magic, 8)))
        return false;
    return header.mid(16, 4) == QByteArray(4, '\0');
}

// Beside a store while this program brings it up to date: a journal found with it is the
// upgrade's own (under way, or cut short), not another program's.
QString upgradeMark(const QString& path)
{
    return path + QStringLiteral("-upgrading");
}

// What the mark says, which a file of another's making, or none at all, does not.
const QByteArray markText = "Quarvet Basic is bringing this store up from schema ";

// Whether the mark beside the file is one this program wrote: a file of its own (no link, no
// folder) that says so. Anything else leaves a journal beside the store to its program.
bool isOwnMark(const QString& path)
{
    const QFileInfo info(upgradeMark(path));
    if (info.isSymLink() || !info.isFile())
        return false;
    QFile mark(upgradeMark(path));
    return mark.open(QIODevice::ReadOnly) && mark.read(markText.size()) == markText;
}

// A judgement a connection that may not write could not make for a journal beside the file:
// none for the journal of a first save cut short; that it is being brought up to date where
// this program's upgrade holds it; else that the file holds another's unfinished transaction.
StoreFault withJournal(StoreFault fault, const QString& path)
{
    const QString journal = path + QStringLiteral("-journal");
    if (!fault.failed() || !exists(journal) || QFileInfo(journal).size() == 0)
        return fault;
    if (journalOfAnEmptyFile(path))
        return {};
    if (!isOwnMark(path))
        return storeFault(StoreFaultKind::Unfinished);
    // No upgrade runs in a folder no journal can be written to: this is one cut short, which
    // may be rolled back but whose journal cannot be taken away.
    if (!QFileInfo(QFileInfo(path).absolutePath()).isWritable())
        return storeFault(StoreFaultKind::Unwritable,
                          QStringLiteral("its folder may not be written, and the journal of an "
                                         "upgrade cut short cannot be taken away from beside it"));
    return storeFault(StoreFaultKind::Upgrading);
}

// Whether the file is ours, judged through a connection that cannot change it.
StoreFault judgeUntouched(const QString& path, const Schema& schema, int& version)
{
    const sql::Connection connection = connectionTo(path, Access::Read);
    if (!connection.opened())
        return storeFault(StoreFaultKind::CannotOpen, sql::said(connection.error()));
    return withJournal(judge(connection.database(), schema, version), path);
}

// Marks the upgrade about to begin; unmarked, a cut-short upgrade leaves the store to be
// opened by hand, as another program's transaction would.
void markUpgrade(const QString& path, int from)
{
    // Not through a link, to wherever it points: a file of its own, the user's alone.
    if (QFileInfo(upgradeMark(path)).isSymLink())
        return;
    QSaveFile mark(upgradeMark(path));
    const QByteArray said =
        markText + QByteArray::number(from) + "; a journal beside it is this upgrade's own.\n";
    if (mark.open(QIODevice::WriteOnly) &&
        mark.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
        mark.write(said) == said.size())
        mark.commit();
}

// A journal of this program's own upgrade, cut short, rolled back as SQLite rolls back any
// journal whose transaction no process holds any more: the store is as it was before, and the
// next save upgrades it again. An upgrade still under way holds the file's write lock: it is
// left to finish, and its mark with it.
void rollBackOwnUpgrade(const QString& path)
{
    if (!isOwnMark(path) || !writable(path))
        return;
    const sql::Connection connection = connectionTo(path, Access::Write);
    if (!connection.opened())
        return;
    QSqlDatabase database = connection.database();
    // Taking the write lock reads the file, which rolls a journal no one holds back.
    if (run(database, QStringLiteral("PRAGMA busy_timeout = 0")).isValid() ||
        run(database, QStringLiteral("BEGIN IMMEDIATE")).isValid())
        return;
    run(database, QStringLiteral("ROLLBACK"));
    QFile::remove(upgradeMark(path));
}

// A file that is there, judged before it is written, its own upgrade cut short rolled back.
StoreFault readyToWrite(const QString& path, const Schema& schema)
{
    // Not opened at all when it may not be written: SQLite would make files beside it.
    if (!writable(path))
        return storeFault(StoreFaultKind::Unwritable, QStringLiteral("this user may not write it"));
    rollBackOwnUpgrade(path);
    int version = 0;
    return judgeUntouched(path, schema, version);
}

// A save turned away by a file beside the store that this user may not write: one that a
// reading left while the store itself was read-only.
StoreFault namedCompanion(StoreFault fault, const QString& path)
{
    if (fault.kind != StoreFaultKind::Unwritable)
        return fault;
    for (const char* companion : {"-shm", "-wal"}) {
        const QString file = path + QLatin1String(companion);
        if (exists(file) && !QFileInfo(file).isWritable())
            return storeFault(StoreFaultKind::ReadOnlyCompanion, file);
    }
    return fault;
}

} // namespace

SqliteRecordStore::SqliteRecordStore(const QString& path, const Schema& schema)
    : path_(path), schema_(schema)
{
}

QStringList SqliteRecordStore::files() const
{
    return {path_, path_ + QStringLiteral("-wal"), path_ + QStringLiteral("-shm"),
            path_ + QStringLiteral("-journal")};
}

StoreFailure SqliteRecordStore::add(const Record& record)
{
    return change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return sql::insertChained(database, dialect, schema_, record, savedBy);
        },
        // The one constraint an insert of ours can meet: the trigger that lets a record be
        // corrected once.
        [&](const QSqlError& error) {
            return resultCode(error) == SQLITE_CONSTRAINT && !record.corrects.isEmpty()
                       ? storeFault(StoreFaultKind::AlreadyCorrected, shortId(record.corrects))
                       : StoreFault{};
        });
}

StoreFailure SqliteRecordStore::change(const StoreChange& change, const ChangeFault& expected)
{
    QString reason;
    const Presence presence = presenceOf(path_, reason);
    if (presence == Presence::Hidden)
        return failure(storeFault(StoreFaultKind::CannotOpen, reason), path_, true);
    if (presence == Presence::NotAFile)
        return failure(storeFault(StoreFaultKind::NotAFile), path_, true);
    const bool existed = presence == Presence::File;
    if (!existed && !makePrivateFile(path_))
        return failure(storeFault(StoreFaultKind::NoFolder), path_, true);
    if (existed)
        if (StoreFault fault = readyToWrite(path_, schema_); fault.failed())
            return failure(std::move(fault), path_, true);
    const sql::Connection connection = connectionTo(path_, Access::Write);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::CannotOpen, sql::said(connection.error())), path_,
                       true);
    QSqlDatabase database = connection.database();
    bool upgrading = false;
    StoreFault saved = namedCompanion(
        saveInTransaction(database, path_, schema_, change, expected, upgrading), path_);
    // WAL lets readers and a saving program go on side by side; switched only once a save
    // went through, so that a refused file keeps every byte. Should the switch fail, the
    // record is saved all the same and the next save tries again.
    if (!saved.failed())
        runWaiting(database, QStringLiteral("PRAGMA journal_mode = WAL"));
    if (upgrading)
        QFile::remove(upgradeMark(path_));
    return failure(std::move(saved), path_, true);
}

// Opens the file for reading and judges it; `version` 0 when it holds no records yet.
template <typename Reading>
StoreFailure readFrom(const QString& path, const Schema& schema, Reading reading)
{
    QString reason;
    switch (presenceOf(path, reason)) {
    case Presence::Absent:
        return {};
    case Presence::Hidden:
        return failure(storeFault(StoreFaultKind::CannotOpen, reason), path, false);
    case Presence::NotAFile:
        return failure(storeFault(StoreFaultKind::NotAFile), path, false);
    case Presence::File:
        break;
    }
    rollBackOwnUpgrade(path);
    const std::optional<Access> access = readingAccess(path);
    if (!access)
        return failure(storeFault(StoreFaultKind::ReadOnlyUnmerged), path, false);
    sql::Connection connection = connectionTo(path, *access);
    if (!connection.opened())
        return failure(storeFault(StoreFaultKind::CannotOpen, sql::said(connection.error())), path,
                       false);
    QSqlDatabase database = connection.database();
    addFoldFunction(database);
    int version = 0;
    if (StoreFault fault = withJournal(judge(database, schema, version), path); fault.failed())
        return failure(std::move(fault), path, false);
    // A file whose first save never finished holds no tables, and no records.
    if (version == 0)
        return {};
    // One snapshot for every statement of the reading.
    QSqlError error = run(database, QStringLiteral("BEGIN"));
    if (!error.isValid())
        error = reading(database, version);
    run(database, QStringLiteral("ROLLBACK"));
    if (error.isValid())
        return failure(faultOf(error, StoreFaultKind::NotRead), path, false);
    return {};
}

StoreFailure SqliteRecordStore::inspect(const StoreReading& reading)
{
    return readFrom(path_, schema_, [&](QSqlDatabase database, int version) {
        return reading(database, sqliteDialect(), version);
    });
}

StoreFailure SqliteRecordStore::visit(const RecordFilter& filter, const RecordVisitor& visitor)
{
    return readFrom(path_, schema_, [&](QSqlDatabase database, int version) {
        return sqlite::visitRecords(database, schema_, version, filter, visitor);
    });
}

StoreFailure SqliteRecordStore::count(const RecordFilter& filter, qint64& count)
{
    count = 0;
    return readFrom(path_, schema_, [&](QSqlDatabase database, int version) {
        return sql::countRecords(database, sqliteDialect(), version, filter, count);
    });
}

StoreFailure SqliteRecordStore::readNotes(StoreNotes& notes, bool countOrphans)
{
    notes = {};
    return readFrom(path_, schema_, [&](QSqlDatabase database, int version) {
        return sql::readNotes(database, version, notes, countOrphans);
    });
}

StoreFailure SqliteRecordStore::checkIntegrity()
{
    bool whole = true;
    StoreFailure read = readFrom(path_, schema_, [&](QSqlDatabase database, int) {
        QVariantList row;
        const QSqlError error =
            sql::firstRow(database, QStringLiteral("PRAGMA integrity_check"), row);
        whole = !error.isValid() && row.value(0).toString() == QLatin1String("ok");
        return error;
    });
    if (read.failed() || whole)
        return read;
    return failure(damaged(Damage::IntegrityCheck), path_, false);
}

} // namespace quarvet::records
