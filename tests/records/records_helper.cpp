// Adds records to a store from a process of its own, for the tests that need two programs at
// once or one killed in the middle: records_helper STORE COUNT TAG, where STORE is a file or
// a postgresql:// URL. records_helper STORE hold SECONDS holds the file locked exclusively, or
// the database's records table, as another program might; hold-schema holds the lock every
// workstation takes to upgrade a database's schema. It says so on standard output once it
// holds it. A fifth argument, K, kills the helper at the K-th report of an upgrade's progress
// (0: at its last, when every record is chained), inside the upgrade its first save makes.
#include "messages/storemessages.h"
#include "records/postgresrecordstore.h"
#include "records/storechoice.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstdio>

namespace {

int hold(const QString& path, int seconds, bool schemaLock)
{
    // A database's records table, locked by a session that holds its transaction open.
    QString fault;
    const auto address = quarvet::records::readPostgresUrl(path, fault);
    QSqlDatabase database = QSqlDatabase::addDatabase(address ? "QPSQL" : "QSQLITE", "holder");
    if (address) {
        database.setHostName(address->host);
        database.setPort(address->port);
        database.setUserName(address->user);
        database.setDatabaseName(address->databaseName);
    } else {
        database.setDatabaseName(path);
    }
    if (!database.open())
        return 1;
    QSqlQuery query(database);
    const bool held =
        schemaLock ? query.exec("SELECT pg_advisory_lock(1364350548)")
        : address
            ? query.exec("BEGIN") && query.exec("LOCK TABLE records IN ACCESS EXCLUSIVE MODE")
            : query.exec("PRAGMA locking_mode = EXCLUSIVE") && query.exec("BEGIN EXCLUSIVE") &&
                  query.exec("SELECT count(*) FROM records") && query.next();
    if (!held)
        return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    QThread::sleep(seconds);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4 && argc != 5)
        return 2;
    if (QByteArray(argv[2]) == "hold" || QByteArray(argv[2]) == "hold-schema")
        return hold(QString::fromLocal8Bit(argv[1]), std::atoi(argv[3]),
                    QByteArray(argv[2]) == "hold-schema");
    if (argc == 5) {
        // Told through copies of the function: the count is kept outside it.
        static int told = 0;
        const int killAt = std::atoi(argv[4]);
        quarvet::records::setUpgradeProgress([killAt](qint64 done, qint64 total) {
            if (++told == killAt || (killAt == 0 && done == total))
                ::raise(SIGKILL);
        });
    }
    const QString where = QString::fromLocal8Bit(argv[1]);
    const bool url = where.startsWith(QLatin1String("postgresql://"));
    const auto store =
        quarvet::records::chooseRecordStore(url ? where : QString(), QString(), where);
    const long count = std::strtol(argv[2], nullptr, 10);
    for (long n = 0; n < count; ++n) {
        quarvet::records::Record record;
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.createdUtc = QDateTime::currentDateTimeUtc();
        record.serial = QString::fromLocal8Bit(argv[3]) + QString::number(n);
        record.verification = {{0, 0.01}, {100, 100.02}, {50, 50.0}};
        const auto failure = store->add(record);
        if (failure.failed()) {
            std::fprintf(stderr, "%s\n", qPrintable(quarvet::messages::storeFault(failure.fault)));
            return 1;
        }
    }
    return 0;
}
