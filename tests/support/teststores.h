#pragma once

// Fresh record stores for tests: an SQLite file in a temporary folder, or a database of its
// own on the PostgreSQL server the test run started (see tests/records/postgres_server.sh).

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <functional>

namespace quarvet::test {

// The server's URL, or empty with `why` saying why there is none.
inline QString postgresServerUrl(QString& why)
{
    const QString folder = qEnvironmentVariable("QUARVET_TEST_POSTGRES_DIR");
    if (folder.isEmpty()) {
        why = QStringLiteral("QUARVET_TEST_POSTGRES_DIR is not set (run the tests through ctest)");
        return {};
    }
    QFile url(folder + QStringLiteral("/url"));
    if (url.open(QIODevice::ReadOnly))
        return QString::fromUtf8(url.readAll()).trimmed();
    QFile unavailable(folder + QStringLiteral("/unavailable"));
    why = unavailable.open(QIODevice::ReadOnly)
              ? QString::fromUtf8(unavailable.readAll()).trimmed()
              : QStringLiteral("the server was not started (no %1/url)").arg(folder);
    return {};
}

// The server's URL over TCP with TLS, verifying its certificate; empty when it has none.
inline QString postgresTlsUrl()
{
    QFile url(qEnvironmentVariable("QUARVET_TEST_POSTGRES_DIR") + QStringLiteral("/url_tls"));
    return url.open(QIODevice::ReadOnly) ? QString::fromUtf8(url.readAll()).trimmed() : QString();
}

// Runs SQL by hand on a database, as another program might; false when any statement fails.
inline bool runSqlOn(const QString& driver, const std::function<void(QSqlDatabase&)>& configure,
                     const QStringList& statements)
{
    bool ok = true;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(driver, name);
        configure(database);
        ok = database.open();
        QSqlQuery query(database);
        for (const QString& statement : statements)
            ok = ok && query.exec(statement);
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// Another program's statements that undo the store's refusals for a moment and put them back.
inline QStringList unguarded(bool postgres, const QStringList& statements)
{
    if (postgres)
        return QStringList{"ALTER TABLE records DISABLE TRIGGER records_never_changed",
                           "ALTER TABLE verification DISABLE TRIGGER readings_never_changed"} +
               statements +
               QStringList{"ALTER TABLE records ENABLE TRIGGER records_never_changed",
                           "ALTER TABLE verification ENABLE TRIGGER readings_never_changed"};
    const QString trigger = "CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, "
                            "'records are never %4'); END";
    return QStringList{"DROP TRIGGER records_never_changed", "DROP TRIGGER records_never_removed",
                       "DROP TRIGGER readings_never_removed"} +
           statements +
           QStringList{trigger.arg("records_never_changed", "UPDATE", "records", "changed"),
                       trigger.arg("records_never_removed", "DELETE", "records", "removed"),
                       trigger.arg("readings_never_removed", "DELETE", "verification", "removed")};
}

// A store location of its own for one test: `backend` is "sqlite" or "postgresql". For
// PostgreSQL a new database is made on the test server; `location` is then its URL.
class TestStore {
public:
    TestStore(const QString& backend, QString& skipReason) : backend_(backend)
    {
        if (backend_ == QLatin1String("sqlite")) {
            location_ = dir_.filePath(QStringLiteral("data/Quarvet/records.sqlite"));
            return;
        }
        const QString server = postgresServerUrl(skipReason);
        if (server.isEmpty())
            return;
        const QString name = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128);
        if (!runSql({QStringLiteral("CREATE DATABASE ") + name}, server)) {
            skipReason = QStringLiteral("no database could be made on ") + server;
            return;
        }
        location_ = server.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/') + name;
    }

    bool isPostgres() const { return backend_ != QLatin1String("sqlite"); }
    // The file, or the database's URL; empty when the backend is not at hand.
    QString location() const { return location_; }
    QString folder() const { return dir_.path(); }

    // Runs statements on the store's database by hand.
    bool runSql(const QStringList& statements, const QString& url = {}) const
    {
        return runSqlOn(
            driver(), [&](QSqlDatabase& db) { configure(db, url); }, statements);
    }

    // Runs statements by hand, one after another in one session; the database's error of the
    // first refused, empty when all ran.
    QString sqlError(const QStringList& statements, const QString& url = {}) const
    {
        QString said;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(driver(), name);
            configure(database, url);
            QSqlQuery query(database);
            if (!database.open())
                said = QStringLiteral("not opened: ") + database.lastError().text();
            for (const QString& statement : statements)
                if (said.isEmpty() && !query.exec(statement))
                    said = QStringLiteral("refused: ") + query.lastError().text();
        }
        QSqlDatabase::removeDatabase(name);
        return said;
    }

    // Opens the store's database by hand and gives it to `use`; false when it does not open.
    bool onDatabase(const std::function<void(QSqlDatabase&)>& use) const
    {
        bool opened = false;
        runSqlOn(driver(),
                 [&](QSqlDatabase& db) {
                     configure(db, {});
                     opened = db.open();
                     if (opened)
                         use(db);
                 },
                 {});
        return opened;
    }

private:
    QString driver() const
    {
        return isPostgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    }

    void configure(QSqlDatabase& db, const QString& url) const
    {
        if (!isPostgres()) {
            db.setDatabaseName(location_);
            return;
        }
        const QString target = url.isEmpty() ? location_ : url;
        // postgresql://quarvet@%2Fsocket%2Ffolder:5432/name
        const QString authority = target.section(QLatin1Char('/'), 2, 2);
        db.setHostName(QUrl::fromPercentEncoding(
            authority.section(QLatin1Char('@'), 1).section(QLatin1Char(':'), 0, 0).toUtf8()));
        db.setPort(authority.section(QLatin1Char(':'), -1).toInt());
        db.setUserName(authority.section(QLatin1Char('@'), 0, 0));
        db.setDatabaseName(target.section(QLatin1Char('/'), -1));
    }

    QString backend_;
    QTemporaryDir dir_;
    QString location_;
};

// A value of one SQL statement run by hand on an SQLite file.
inline QVariant sqliteValue(const QString& path, const QString& statement)
{
    QVariant value;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", name);
        database.setDatabaseName(path);
        QSqlQuery query(database);
        if (database.open() && query.exec(statement) && query.next())
            value = query.value(0);
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

// `count` copies of a record of a first-version file, saved after its records, one a second.
inline bool addCopies(const QString& path, int count)
{
    const QString columns = sqliteValue(path, "SELECT group_concat(name, ', ') FROM "
                                              "pragma_table_info('records') WHERE name NOT IN "
                                              "('id', 'created_utc', 'serial', 'corrects')")
                                .toString();
    return runSqlOn(
        "QSQLITE", [&](QSqlDatabase& db) { db.setDatabaseName(path); },
        {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         QString::number(count) + ") INSERT INTO records (id, created_utc, serial, corrects, " +
         columns +
         ") SELECT printf('%08x-0000-4000-8000-000000000000', i), strftime('%Y-%m-%dT%H:%M:"
         "%S.000Z', '2026-12-08T21:00:00', '+' || i || ' seconds'), 'SN-' || i, '', " +
         columns + " FROM n, (SELECT * FROM records LIMIT 1)"});
}

} // namespace quarvet::test

// A store of `backend` named `name` for the test that says it, or the test skipped with why
// there is none (a PostgreSQL server that could not start).
#define QUARVET_STORE_OR_SKIP(name, backend)                                                       \
    QString name##SkipReason;                                                                      \
    quarvet::test::TestStore name((backend), name##SkipReason);                                    \
    if (name.location().isEmpty())                                                                 \
    QSKIP(qPrintable("PostgreSQL cases skipped: " + name##SkipReason))
