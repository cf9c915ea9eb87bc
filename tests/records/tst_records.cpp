#include "records/sqliterecordstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <csignal>

using namespace quarvet::records;

namespace {

Record sample(const QString& serial)
{
    Record record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::currentDateTimeUtc();
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = serial;
    record.displayLine = 2;
    record.technician = QStringLiteral("Jörg O'Brien");
    record.referenceId = QStringLiteral("PT100-REF-7");
    record.referenceUncertainty = 0.02;
    record.referenceDue = QDate(2027, 3, 1);
    record.entriesTyped = {QStringLiteral("0"), QStringLiteral("100"), QStringLiteral("0,5"),
                           QStringLiteral("99.0")};
    record.entriesRead = {0, 100, 0.5, 99};
    record.currentSlopeCode = QStringLiteral("2710");
    record.currentOffsetCode = QStringLiteral("0000");
    record.slopeCode = QStringLiteral("27A8");
    record.offsetCode = QStringLiteral("FE04");
    record.predictedErrors = {-0.00039999999999995595, -0.0031999999999783313};
    record.verification = {{0, 0.03}, {100, 99.99}};
    record.tolerance = 0.1;
    record.rule = QStringLiteral("pass when |error| ≤ tolerance − uncertainty (guard band = 0.02)");
    record.verdict = QStringLiteral("Pass");
    record.note = QStringLiteral("first line\nsecond line; 'quoted' \"too\"");
    return record;
}

QByteArray fingerprint(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray("<unreadable>");
}

// Runs SQL on a file by hand, as another program might.
bool runSql(const QString& path, const QStringList& statements)
{
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "by-hand");
        database.setDatabaseName(path);
        ok = database.open();
        QSqlQuery query(database);
        for (const QString& statement : statements)
            ok = ok && query.exec(statement);
    }
    QSqlDatabase::removeDatabase("by-hand");
    return ok;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void newestFirstAndBySerial();
    void nothingMadeUntilTheFirstSave();
    void refusedFilesStayUntouched_data();
    void refusedFilesStayUntouched();
    void recordsCannotBeChanged();
    void unwritableFolderIsNamed();
    void twoProgramsSavingAtOnce();
    void killedSaveLeavesWholeRecords();
};

void TestRecords::roundTrip_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("withAmbient");
    QTest::newRow("plain") << "SN-1001" << true;
    QTest::newRow("quotes and semicolons") << "A'; DROP TABLE records; --\"" << false;
    QTest::newRow("newlines and non-ASCII") << "Zähler\n№ 7\r\t°C" << true;
    QTest::newRow("empty-looking") << " " << false;
}

void TestRecords::roundTrip()
{
    QFETCH(QString, serial);
    QFETCH(bool, withAmbient);
    QTemporaryDir dir;
    SqliteRecordStore store(dir.filePath("data/Quarvet/records.sqlite"));
    Record record = sample(serial);
    if (withAmbient)
        record.ambient = 23.4;
    record.createdUtc =
        QDateTime::fromMSecsSinceEpoch(record.createdUtc.toMSecsSinceEpoch(), QTimeZone::utc());
    QVERIFY2(!store.add(record).failed(), qPrintable(store.add(record).message));
    QList<Record> records;
    QVERIFY(!store.list(QString(), records).failed());
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].serial, serial);
    QCOMPARE(records[0].verification.size(), 2);
    QCOMPARE(records[0].verification[1].reading, 99.99);
    QCOMPARE(records[0].predictedErrors[1], record.predictedErrors[1]);
    QVERIFY(records[0] == record);
}

void TestRecords::newestFirstAndBySerial()
{
    QTemporaryDir dir;
    SqliteRecordStore store(dir.filePath("records.sqlite"));
    for (const char* serial : {"A", "B", "A"}) {
        QVERIFY(!store.add(sample(serial)).failed());
        QTest::qWait(2);
    }
    QList<Record> records;
    QVERIFY(!store.list("A", records).failed());
    QCOMPARE(records.size(), 2);
    QVERIFY(records[0].createdUtc >= records[1].createdUtc);
    QVERIFY(!store.list(QString(), records).failed());
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[1].serial, QStringLiteral("B"));
}

void TestRecords::nothingMadeUntilTheFirstSave()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("data/records.sqlite");
    SqliteRecordStore store(path);
    QList<Record> records;
    QVERIFY(!store.list(QString(), records).failed());
    QVERIFY(records.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestRecords::refusedFilesStayUntouched_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("garbage") << "garbage"
                             << "is no database";
    QTest::newRow("newer schema") << "newer"
                                  << "newer program";
    QTest::newRow("another program's database") << "foreign"
                                                << "another program";
}

void TestRecords::refusedFilesStayUntouched()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    if (kind == "garbage") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
    } else if (kind == "newer") {
        QVERIFY(runSql(path, {"CREATE TABLE records (id TEXT)", "PRAGMA user_version = 2"}));
    } else {
        QVERIFY(runSql(path, {"CREATE TABLE accounts (name TEXT)"}));
    }
    const QByteArray before = fingerprint(path);
    SqliteRecordStore store(path);
    const StoreFailure failure = store.add(sample("X"));
    QVERIFY(failure.failed());
    QVERIFY2(failure.message.contains(path) && failure.message.contains(says),
             qPrintable(failure.message));
    QList<Record> records;
    QVERIFY(store.list(QString(), records).failed());
    QCOMPARE(fingerprint(path), before);
    QVERIFY(!QFile::exists(path + "-wal"));
}

// Append-only is the database's own rule, not only the program's habit.
void TestRecords::recordsCannotBeChanged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    SqliteRecordStore store(path);
    QVERIFY(!store.add(sample("A")).failed());
    QVERIFY(!runSql(path, {"UPDATE records SET serial = 'B'"}));
    QVERIFY(!runSql(path, {"DELETE FROM verification"}));
    QList<Record> records;
    QVERIFY(!store.list(QString(), records).failed());
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].serial, QStringLiteral("A"));
    QCOMPARE(records[0].verification.size(), 2);
}

void TestRecords::unwritableFolderIsNamed()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = dir.filePath("blocker/Quarvet/records.sqlite");
    SqliteRecordStore store(path);
    const StoreFailure failure = store.add(sample("A"));
    QVERIFY(failure.failed());
    QVERIFY2(failure.message.contains(path), qPrintable(failure.message));
}

void TestRecords::twoProgramsSavingAtOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(RECORDS_HELPER), {path, "200", "first-"});
    second.start(QStringLiteral(RECORDS_HELPER), {path, "200", "second-"});
    QVERIFY(first.waitForFinished(120000) && second.waitForFinished(120000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
    SqliteRecordStore store(path);
    QList<Record> records;
    QVERIFY(!store.list(QString(), records).failed());
    QCOMPARE(records.size(), 400);
}

// Killed at any moment, a save leaves the whole record (with all its readings) or none.
void TestRecords::killedSaveLeavesWholeRecords()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    for (int round = 0; round < 3; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(RECORDS_HELPER), {path, "100000", "killed-"});
        QVERIFY(saver.waitForStarted());
        QTest::qWait(300 + 150 * round);
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished(10000));
    }
    SqliteRecordStore store(path);
    QList<Record> records;
    const StoreFailure failure = store.list(QString(), records);
    QVERIFY2(!failure.failed(), qPrintable(failure.message));
    QVERIFY(!records.isEmpty());
    for (const Record& record : records)
        QCOMPARE(record.verification.size(), 3);
    // And the file takes new records after it.
    QVERIFY(!store.add(sample("after")).failed());
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
