#include "messages/messages.h"
#include "messages/storemessages.h"
#include "records/postgresrecordstore.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "records/schema.h"
#include "records/sqliterecordstore.h"
#include "records/sqlrecords.h"
#include "records/storechoice.h"
#include "samplerecord.h"
#include "teststores.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <csignal>
#include <functional>
#include <memory>
#include <pwd.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace quarvet::records;

namespace {

// A record as the store sees them: new id, saved now, two readings, a note over two lines.
Record sample(const QString& serial)
{
    Record record = quarvet::test::fixedRecord();
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::currentDateTimeUtc();
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = serial;
    record.ambient.reset();
    record.verification = {{0, 0.03}, {100, 99.99}};
    record.note = QStringLiteral("first line\nsecond line; 'quoted' \"too\"");
    record.corrects.clear();
    return record;
}

QByteArray fingerprint(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray("<unreadable>");
}

// The statements that list what `filter` picks from the store, as the program runs them.
quarvet::records::sql::Listing listingOf(const quarvet::test::TestStore& store,
                                         const RecordFilter& filter)
{
    const auto& schema = quarvet::records::recordSchema();
    return quarvet::records::sql::listingStatements(
        store.isPostgres() ? quarvet::records::postgresDialect()
                           : quarvet::records::sqliteDialect(),
        quarvet::records::columnsAt(schema, schema.version()), filter, schema.version());
}

// Both backends, as rows of a test's table.
void addBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

// A store of the row's backend, or the test skipped with the reason the backend is missing.
#define FRESH_STORE(name)                                                                          \
    QFETCH(QString, backend);                                                                      \
    QString skipReason;                                                                            \
    quarvet::test::TestStore name(backend, skipReason);                                            \
    if (name.location().isEmpty())                                                                 \
        QSKIP(qPrintable("PostgreSQL cases skipped: " + skipReason));                              \
    const auto name##Records = chooseRecordStore(name.isPostgres() ? name.location() : QString(),  \
                                                 QString(), name.location())

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void newestFirstAndBySerial_data() { addBackends(); }
    void newestFirstAndBySerial();
    void nothingMadeUntilTheFirstSave();
    void answerWithoutColumnsIsNoRow();
    void refusedStoresStayUntouched_data();
    void refusedStoresStayUntouched();
    void unfinishedTransactionsStayUntouched_data();
    void unfinishedTransactionsStayUntouched();
    void recordsCannotBeChanged_data() { addBackends(); }
    void recordsCannotBeChanged();
    void unwritableFolderIsNamed();
    void emptyFileHoldsNoRecords();
    void lockedStoreIsNamedAsLocked_data() { addBackends(); }
    void lockedStoreIsNamedAsLocked();
    void lookupsGoThroughAnIndex_data();
    void lookupsGoThroughAnIndex();
    void idPrefixIsTextNotPattern_data() { addBackends(); }
    void idPrefixIsTextNotPattern();
    void sortedListingsReadInPages_data();
    void sortedListingsReadInPages();
    void sortedPagesNeedNoSort_data();
    void sortedPagesNeedNoSort();
    void unreachableServerIsNamed();
    void reachedOverTls_data();
    void reachedOverTls();
    void programsSavingAtOnce_data() { addBackends(); }
    void programsSavingAtOnce();
    void killedSaveLeavesWholeRecords_data() { addBackends(); }
    void killedSaveLeavesWholeRecords();
    void driverWordsBecomeOurs_data();
    void driverWordsBecomeOurs();
    void heldSchemaLockStallsNoSave();
    void postgresUrls_data();
    void postgresUrls();
    void storeChoice_data();
    void storeChoice();
    void composedRecords_data();
    void composedRecords();
    void csvQuotesOnlyWhatItMust_data();
    void csvQuotesOnlyWhatItMust();
};

void TestRecords::roundTrip_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("withAmbient");
    for (const char* backend : {"sqlite", "postgresql"}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", backend, name) << QString::fromLatin1(backend);
        };
        row("plain") << "SN-1001" << true;
        row("quotes and semicolons") << "A'; DROP TABLE records; --\"" << false;
        row("newlines and non-ASCII") << "Zähler\n№ 7\r\t°C \u200F\U0001F321" << true;
        row("empty-looking") << " " << false;
    }
}

void TestRecords::roundTrip()
{
    QFETCH(QString, serial);
    QFETCH(bool, withAmbient);
    FRESH_STORE(store);
    Record record = sample(serial);
    if (withAmbient)
        record.ambient = 23.4;
    // Doubles that only survive when they travel exactly.
    record.entriesRead = {0.1 + 0.2, 1e-300, -0.0, 123456789.12345678};
    record.createdUtc =
        QDateTime::fromMSecsSinceEpoch(record.createdUtc.toMSecsSinceEpoch(), QTimeZone::utc());
    const StoreFailure added = storeRecords->add(record);
    QVERIFY2(!added.failed(), qPrintable(quarvet::messages::storeFault(added.fault)));
    QList<Record> records;
    QVERIFY(!storeRecords->list(QString(), records).failed());
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].serial, serial);
    QCOMPARE(records[0].verification.size(), 2);
    QCOMPARE(records[0].entriesRead[0], 0.1 + 0.2);
    QCOMPARE(records[0].entriesRead[3], 123456789.12345678);
    QCOMPARE(records[0].predictedErrors[1], record.predictedErrors[1]);
    // The store adds who saved it and the record's link in the chain, the first one here.
    Record kept = records[0];
    QCOMPARE(kept.previousHash, chainStart());
    QCOMPARE(kept.hash, recordHash(kept));
    QCOMPARE(kept.savedBy, store.isPostgres()
                               ? QStringLiteral("quarvet@local socket")
                               : QString::fromLocal8Bit(getpwuid(geteuid())->pw_name) + '@' +
                                     QSysInfo::machineHostName());
    kept.savedBy = kept.previousHash = kept.hash = QString();
    QVERIFY(kept == record);
    QVERIFY(!storeRecords->list(serial, records).failed());
    QCOMPARE(records.size(), 1);
}

void TestRecords::newestFirstAndBySerial()
{
    FRESH_STORE(store);
    for (const char* serial : {"A", "B", "A"}) {
        QVERIFY(!storeRecords->add(sample(serial)).failed());
        QTest::qWait(2);
    }
    Record sameMoment = sample("A");
    QVERIFY(!storeRecords->add(sameMoment).failed());
    QList<Record> records;
    QVERIFY(!storeRecords->list("A", records).failed());
    QCOMPARE(records.size(), 3);
    QVERIFY(records[0].createdUtc >= records[1].createdUtc);
    QVERIFY(records[1].createdUtc >= records[2].createdUtc);
    QCOMPARE(records[0].id, sameMoment.id);
    QVERIFY(!storeRecords->list(QString(), records).failed());
    QCOMPARE(records.size(), 4);
    QCOMPARE(records[2].serial, QStringLiteral("B"));
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

void TestRecords::refusedStoresStayUntouched_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::addColumn<int>("fault");
    const int notADatabase = int(StoreFaultKind::NotADatabase);
    const int foreign = int(StoreFaultKind::Foreign);
    const int newer = int(StoreFaultKind::Newer);
    QTest::newRow("sqlite: garbage") << "sqlite"
                                     << "garbage"
                                     << "is no database" << notADatabase;
    QTest::newRow("sqlite: another program's version number") << "sqlite"
                                                              << "version"
                                                              << "another program" << foreign;
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: newer schema", backend) << backend << "newer"
                                                   << "newer program" << newer;
        QTest::addRow("%s: our version beside other tables", backend)
            << backend << "imposter"
            << "another program" << foreign;
        QTest::addRow("%s: another program's tables", backend) << backend << "foreign"
                                                               << "another program" << foreign;
    }
}

void TestRecords::unfinishedTransactionsStayUntouched_data()
{
    QTest::addColumn<QString>("mode");      // the journal mode of the program that wrote it
    QTest::addColumn<QString>("made");      // what it made: "foreign" tables, or "nothing"
    QTest::addColumn<QString>("companion"); // the file beside it that holds what is unfinished
    QTest::addColumn<int>("fault");         // the save's and the listing's, None when kept
    QTest::newRow("another program's transaction cut short")
        << "DELETE"
        << "foreign"
        << "-journal" << int(StoreFaultKind::Unfinished);
    QTest::newRow("another program's log not merged") << "WAL"
                                                      << "foreign"
                                                      << "-wal" << int(StoreFaultKind::Foreign);
    // A first save of this program's cut short: rolled back, the file is empty, and the save
    // goes in.
    QTest::newRow("a first save cut short") << "DELETE"
                                            << "nothing"
                                            << "-journal" << int(StoreFaultKind::None);
}

// A file not known to be ours is only read: another program's unfinished transaction is
// neither rolled back nor merged, by a save or by a listing.
void TestRecords::unfinishedTransactionsStayUntouched()
{
    QFETCH(QString, mode);
    QFETCH(QString, made);
    QFETCH(QString, companion);
    QFETCH(int, fault);
    QTemporaryDir dir;
    const QString source = dir.filePath("source.sqlite");
    const QString path = dir.filePath("Quarvet/records.sqlite");
    QVERIFY(QDir().mkpath(dir.filePath("Quarvet")));
    {
        QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "writer");
        writer.setDatabaseName(source);
        QVERIFY(writer.open());
        QSqlQuery query(writer);
        QVERIFY(query.exec("PRAGMA journal_mode = " + mode));
        QVERIFY(query.exec("PRAGMA wal_autocheckpoint = 0"));
        QVERIFY(query.exec("PRAGMA cache_size = 1")); // pages reach the file before the end
        if (made == "foreign")
            QVERIFY(query.exec("CREATE TABLE contacts (name TEXT)"));
        QVERIFY(query.exec("BEGIN"));
        QVERIFY(query.exec("CREATE TABLE filler (x TEXT)"));
        for (int n = 0; n < 500; ++n)
            QVERIFY(query.exec("INSERT INTO filler VALUES (hex(randomblob(300)))"));
        if (mode == "WAL")
            QVERIFY(query.exec("COMMIT"));
        // The files as a crash would leave them.
        QVERIFY(QFile::copy(source, path));
        QVERIFY(QFile::copy(source + companion, path + companion));
        query.finish();
        writer.close();
    }
    QSqlDatabase::removeDatabase("writer");
    const QByteArray before = fingerprint(path) + fingerprint(path + companion);
    SqliteRecordStore store(path);
    QList<Record> records;
    const StoreFaultKind listed = store.list(QString(), records).fault.kind;
    QCOMPARE(fingerprint(path) + fingerprint(path + companion), before);
    const StoreFailure saved = store.add(sample("X"));
    QVERIFY2(int(saved.fault.kind) == fault,
             qPrintable(quarvet::messages::storeFault(saved.fault)));
    if (fault == int(StoreFaultKind::None)) {
        QVERIFY(!store.list(QString(), records).failed());
        QCOMPARE(records.size(), 1);
        return;
    }
    QCOMPARE(int(listed), fault);
    QCOMPARE(fingerprint(path) + fingerprint(path + companion), before);
}

// Refused, and left as it was: the same bytes, or in a database the same rows.
void TestRecords::refusedStoresStayUntouched()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    QFETCH(int, fault);
    FRESH_STORE(store);
    const QString path = store.location();
    if (kind == "garbage") {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
    } else if (kind == "newer") {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(store.isPostgres()
                    ? store.runSql({"CREATE TABLE quarvet_schema (version INTEGER)",
                                    "INSERT INTO quarvet_schema VALUES (99)",
                                    "CREATE TABLE records (id TEXT)"})
                    : store.runSql({"CREATE TABLE records (id TEXT)", "PRAGMA user_version = 99"}));
    } else if (kind == "version") {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(store.runSql({"CREATE TABLE contacts (name TEXT)", "PRAGMA user_version = 1"}));
    } else if (kind == "imposter") {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(store.isPostgres() ? store.runSql({"CREATE TABLE quarvet_schema (version INTEGER)",
                                                   "INSERT INTO quarvet_schema VALUES (1)",
                                                   "CREATE TABLE records (id TEXT, serial TEXT)",
                                                   "CREATE TABLE verification (record_id TEXT)"})
                                   : store.runSql({"CREATE TABLE records (id TEXT, serial TEXT)",
                                                   "CREATE TABLE verification (record_id TEXT)",
                                                   "PRAGMA user_version = 1"}));
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(store.runSql({"CREATE TABLE records (name TEXT)"}));
    }
    const QByteArray before = store.isPostgres() ? QByteArray() : fingerprint(path);
    const StoreFailure failure = storeRecords->add(sample("X"));
    QCOMPARE(int(failure.fault.kind), fault);
    QVERIFY2(quarvet::messages::storeFault(failure.fault).contains(storeRecords->location()) &&
                 quarvet::messages::storeFault(failure.fault).contains(says),
             qPrintable(quarvet::messages::storeFault(failure.fault)));
    QList<Record> records;
    QCOMPARE(int(storeRecords->list(QString(), records).fault.kind), fault);
    if (store.isPostgres()) {
        // Nothing added to their table, no table of ours beside it.
        QVERIFY(store.runSql({"SELECT 1 FROM records", "SELECT 1 FROM records"}));
        if (kind != "imposter")
            QVERIFY(!store.runSql({"SELECT 1 FROM verification"}));
        QVERIFY(store.runSql({"DO $$ BEGIN IF (SELECT count(*) FROM records) <> 0 THEN "
                              "RAISE EXCEPTION 'changed'; END IF; END $$"}));
    } else {
        QCOMPARE(fingerprint(path), before);
        QVERIFY(!QFile::exists(path + "-wal"));
    }
}

// Append-only is the database's own rule, not only the program's habit.
void TestRecords::recordsCannotBeChanged()
{
    FRESH_STORE(store);
    QVERIFY(!storeRecords->add(sample("A")).failed());
    QVERIFY(!store.runSql({"UPDATE records SET serial = 'B'"}));
    QVERIFY(!store.runSql({"DELETE FROM verification"}));
    QVERIFY(!store.runSql({"DELETE FROM records"}));
    if (store.isPostgres())
        QVERIFY(!store.runSql({"TRUNCATE verification, records"}));
    // Nor is a reading added to a record kept already.
    QVERIFY(!store.runSql({"INSERT INTO verification (record_id, position, target, reading) "
                           "SELECT id, 9, 50, 53 FROM records"}));
    QList<Record> records;
    QVERIFY(!storeRecords->list(QString(), records).failed());
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
    QVERIFY2(quarvet::messages::storeFault(failure.fault).contains(path),
             qPrintable(quarvet::messages::storeFault(failure.fault)));
}

// What a first save killed before its commit leaves: a file with no tables.
void TestRecords::emptyFileHoldsNoRecords()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QFile empty(path);
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    SqliteRecordStore store(path);
    QList<Record> records;
    const StoreFailure listed = store.list(QString(), records);
    QVERIFY2(!listed.failed(), qPrintable(quarvet::messages::storeFault(listed.fault)));
    QVERIFY(records.isEmpty());
    QVERIFY(!store.add(sample("A")).failed());
    QVERIFY(!store.list(QString(), records).failed());
    QCOMPARE(records.size(), 1);
}

// Another program, or another workstation, holds the store past the store's patience: the
// message says so, and how long it waited.
void TestRecords::lockedStoreIsNamedAsLocked()
{
    FRESH_STORE(store);
    QVERIFY(!storeRecords->add(sample("A")).failed());
    QProcess holder;
    holder.start(QStringLiteral(RECORDS_HELPER), {store.location(), "hold", "20"});
    QVERIFY(holder.waitForReadyRead(10000));
    QList<Record> records;
    const StoreFailure failure = store.isPostgres() ? storeRecords->add(sample("B"))
                                                    : storeRecords->list(QString(), records);
    holder.kill();
    holder.waitForFinished(30000);
    QCOMPARE(failure.fault.kind, StoreFaultKind::Locked);
    QVERIFY2(quarvet::messages::storeFault(failure.fault)
                     .contains(store.isPostgres()
                                   ? "another workstation is saving or holds a lock; "
                                     "waited 15 s"
                                   : "locked") &&
                 quarvet::messages::storeFault(failure.fault).contains(storeRecords->location()),
             qPrintable(quarvet::messages::storeFault(failure.fault)));
}

namespace {

// What a PostgreSQL plan, in its JSON form, reads of the records table: "reads records whole"
// for a node that reads it without a condition on an index (a sequential scan, or an index
// read from end to end and filtered), else nothing.
QString recordsReadWhole(const QString& json)
{
    QStringList said;
    std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        if (node["Relation Name"].toString() == "records" && !node.contains("Index Cond") &&
            !node.contains("Recheck Cond"))
            said << "reads records whole: " + node["Node Type"].toString();
        for (const QJsonValue& child : node["Plans"].toArray())
            walk(child.toObject());
    };
    for (const QJsonValue& plan : QJsonDocument::fromJson(json.toUtf8()).array())
        walk(plan.toObject()["Plan"].toObject());
    return said.join(QStringLiteral("; "));
}

} // namespace

void TestRecords::lookupsGoThroughAnIndex_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("lookup");
    for (const char* backend : {"sqlite", "postgresql"})
        for (const char* lookup : {"id prefix", "whole id", "serial", "reference", "customer"})
            QTest::addRow("%s: %s", backend, lookup) << backend << lookup;
}

// A record found by its id, a prefix of it, its serial, reference or customer is found through
// an index, not by reading every record: each listing's plan, as the database makes it, reads
// the records table through an index only.
void TestRecords::lookupsGoThroughAnIndex()
{
    FRESH_STORE(store);
    QFETCH(QString, lookup);
    Record record = sample("A");
    record.customer = QStringLiteral("Big Co");
    QVERIFY(!storeRecords->add(record).failed());
    Record other = sample("B");
    other.referenceId = QStringLiteral("REF-OTHER");
    QVERIFY(!storeRecords->add(other).failed());
    RecordFilter filter;
    if (lookup == "id prefix" || lookup == "whole id")
        filter = RecordFilter::ofIdPrefix(lookup == "whole id" ? record.id : record.id.left(6));
    filter.serial = lookup == "serial" ? record.serial : QString();
    filter.referenceId = lookup == "reference" ? record.referenceId : QString();
    filter.customer = lookup == "customer" ? record.customer : QString();
    filter.corrections = true;
    filter.limit = 200;
    const quarvet::records::sql::Listing listing = listingOf(store, filter);
    QStringList plans;
    QVERIFY(store.onDatabase([&](QSqlDatabase& database) {
        QSqlQuery query(database);
        // A small table is read whole by choice: the plan must not need to.
        if (store.isPostgres())
            QVERIFY(query.exec("SET enable_seqscan = off"));
        for (QString statement : {listing.records, listing.readings, listing.joined}) {
            if (store.isPostgres()) {
                // The server prepares the statement, as the program's driver has it do, and
                // says how it runs it with these values.
                QStringList values;
                for (qsizetype n = 0; n < listing.values.size(); ++n) {
                    statement.replace(statement.indexOf('?'), 1, QString("$%1").arg(n + 1));
                    values << "'" + listing.values[n].toString().replace("'", "''") + "'";
                }
                QVERIFY2(query.exec("DEALLOCATE ALL") &&
                             query.exec("PREPARE lookup AS " + statement),
                         qPrintable(query.lastError().text()));
                QVERIFY2(query.exec("EXPLAIN (FORMAT JSON) EXECUTE lookup" +
                                    (values.isEmpty() ? QString() : "(" + values.join(", ") + ")")),
                         qPrintable(query.lastError().text()));
            } else {
                QVERIFY2(query.prepare("EXPLAIN QUERY PLAN " + statement),
                         qPrintable(query.lastError().text()));
                for (const QVariant& value : listing.values)
                    query.addBindValue(value);
                QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
            }
            while (query.next())
                plans << (store.isPostgres() ? recordsReadWhole(query.value(0).toString())
                                             : query.value(3).toString());
        }
    }));
    // SQLite: "SCAN r" reads the table, or an index, from end to end; "SEARCH r" goes
    // through an index to what it looks for.
    const QRegularExpression wholeTable(QStringLiteral("^SCAN [rc]\\b|reads records whole"));
    for (const QString& line : plans)
        QVERIFY2(!wholeTable.match(line).hasMatch(), qPrintable(plans.join('\n')));
    // A lookup found what it asked for, through the same statements.
    QList<Record> found;
    QVERIFY(!storeRecords->list(filter, found).failed());
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].id, record.id);
}

void TestRecords::idPrefixIsTextNotPattern()
{
    FRESH_STORE(store);
    Record record = sample("A");
    QVERIFY(!storeRecords->add(record).failed());
    QList<Record> found;
    for (const QString& prefix : {QString("%"), QString("_"), record.id.left(1) + "%"}) {
        QVERIFY(!storeRecords->list(RecordFilter::ofIdPrefix(prefix), found).failed());
        QVERIFY2(found.isEmpty(), qPrintable(prefix));
    }
    QVERIFY(
        !storeRecords->list(RecordFilter::ofIdPrefix(record.id.left(6).toUpper()), found).failed());
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].verification.size(), 2);
}

void TestRecords::unreachableServerIsNamed()
{
    QTemporaryDir dir;
    PostgresAddress address;
    address.host = dir.path(); // a socket folder with no server in it
    address.user = QStringLiteral("quarvet");
    address.databaseName = QStringLiteral("lab");
    PostgresRecordStore store(address);
    const StoreFailure failure = store.add(sample("A"));
    QVERIFY(failure.failed());
    QVERIFY2(quarvet::messages::storeFault(failure.fault).contains("cannot be reached") &&
                 quarvet::messages::storeFault(failure.fault).contains(store.location()),
             qPrintable(quarvet::messages::storeFault(failure.fault)));
    QList<Record> records;
    QVERIFY(store.list(QString(), records).failed());
}

void TestRecords::reachedOverTls_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("refusal"); // part of what a save says; empty when it is kept
    QTest::newRow("certificate verified") << ""
                                          << "";
    QTest::newRow("encrypted") << "?sslmode=require"
                               << "";
    // The server lets no connection in over TCP without TLS.
    QTest::newRow("without TLS") << "?sslmode=disable"
                                 << "cannot be reached";
    QTest::newRow("a certificate not the server's")
        << "?sslmode=verify-full&sslrootcert=" + QFINDTESTDATA("fixtures/other.crt")
        << "cannot be reached";
}

void TestRecords::reachedOverTls()
{
    QFETCH(QString, options);
    QFETCH(QString, refusal);
    QString skipReason;
    quarvet::test::TestStore store(QStringLiteral("postgresql"), skipReason);
    QString url = quarvet::test::postgresTlsUrl();
    if (store.location().isEmpty() || url.isEmpty())
        QSKIP(qPrintable("PostgreSQL cases skipped: " + skipReason));
    // The test's own database on the same server, reached over TCP.
    url.replace("/postgres?", '/' + store.location().section('/', -1) + '?');
    if (!options.isEmpty())
        url = url.section('?', 0, 0) + options;
    const auto tls = chooseRecordStore(url, QString(), QString());
    const StoreFailure saved = tls->add(sample("TLS-1"));
    QVERIFY2(quarvet::messages::storeFault(saved.fault).contains(refusal),
             qPrintable(quarvet::messages::storeFault(saved.fault)));
    QCOMPARE(saved.failed(), !refusal.isEmpty());
    QList<Record> records;
    QVERIFY(!chooseRecordStore(store.location(), QString(), QString())
                 ->list(QString(), records)
                 .failed());
    QCOMPARE(records.size(), refusal.isEmpty() ? 1 : 0);
}

// Eight programs saving at once make one chain: no two records link to the same one.
void TestRecords::programsSavingAtOnce()
{
    FRESH_STORE(store);
    std::vector<std::unique_ptr<QProcess>> savers;
    for (int n = 0; n < 8; ++n) {
        savers.push_back(std::make_unique<QProcess>());
        savers.back()->start(QStringLiteral(RECORDS_HELPER),
                             {store.location(), "50", QStringLiteral("saver%1-").arg(n)});
    }
    for (const auto& saver : savers) {
        QVERIFY(saver->waitForFinished(120000));
        QVERIFY2(saver->exitCode() == 0, saver->readAllStandardError().constData());
    }
    ChainReport chain;
    const StoreFailure checked = storeRecords->checkChain(chain);
    QVERIFY2(!checked.failed(), qPrintable(quarvet::messages::storeFault(checked.fault)));
    QVERIFY(!chain.broken);
    QCOMPARE(chain.count, 400);
    QString head;
    QVERIFY(!storeRecords->chainHead(head).failed());
    QCOMPARE(head, chain.head);
}

// Killed at any moment, a save leaves the whole record (with all its readings) or none.
void TestRecords::killedSaveLeavesWholeRecords()
{
    FRESH_STORE(store);
    for (int round = 0; round < 3; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(RECORDS_HELPER), {store.location(), "100000", "killed-"});
        QVERIFY(saver.waitForStarted());
        QTest::qWait(300 + 150 * round);
        // A process id of 0, once it has ended, would be the whole group.
        if (const qint64 pid = saver.processId(); pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(saver.waitForFinished(10000));
    }
    QList<Record> records;
    const StoreFailure failure = storeRecords->list(QString(), records);
    QVERIFY2(!failure.failed(), qPrintable(quarvet::messages::storeFault(failure.fault)));
    QVERIFY(!records.isEmpty());
    for (const Record& record : records)
        QCOMPARE(record.verification.size(), 3);
    if (!store.isPostgres())
        QVERIFY(store.runSql({"PRAGMA integrity_check"}));
    // And the store takes new records after it.
    QVERIFY(!storeRecords->add(sample("after")).failed());
}

void TestRecords::driverWordsBecomeOurs_data()
{
    QTest::addColumn<QString>("database"); // what the database said
    QTest::addColumn<QString>("driver");   // what the driver said
    QTest::addColumn<QString>("said");
    QTest::newRow("server's words, its code and line breaks off")
        << "ERROR:  canceling statement due to lock timeout\n(55P03)"
        << "QPSQL: Unable to create query"
        << "canceling statement due to lock timeout";
    QTest::newRow("a connection's words on two lines")
        << "connection to server failed: refused\n\tIs the server running?"
        << "QPSQL: Unable to connect"
        << "connection to server failed: refused Is the server running?";
    QTest::newRow("the statement quoted under them left out")
        << "ERROR:  terminating connection due to administrator command\nLINE 1: SELECT r.id "
           "FROM records r\n        ^\n(57P01)"
        << "QPSQL: Unable to create query"
        << "terminating connection due to administrator command";
    QTest::newRow("query not made") << ""
                                    << "QPSQL: Unable to create query"
                                    << "the database did not run the statement";
    QTest::newRow("rows not fetched") << ""
                                      << "Unable to fetch row"
                                      << "the database stopped answering while its rows were read";
    QTest::newRow("connection lost") << ""
                                     << "QPSQL: database not open"
                                     << "the connection to the database was lost";
    QTest::newRow("other driver words kept, without the driver's name")
        << ""
        << "QSQLITE: Unable to begin transaction"
        << "Unable to begin transaction";
}

// The words a store's message quotes are the database's, on one line, or the program's own
// for the driver's bare ones.
void TestRecords::driverWordsBecomeOurs()
{
    QFETCH(QString, database);
    QFETCH(QString, driver);
    QFETCH(QString, said);
    QCOMPARE(quarvet::records::sql::said(QSqlError(driver, database)), said);
}

// A session holding the lock every workstation takes to upgrade the schema stalls no save of
// a store that needs none: the save goes through while it is held.
void TestRecords::heldSchemaLockStallsNoSave()
{
    QUARVET_STORE_OR_SKIP(store, QStringLiteral("postgresql"));
    const auto records = chooseRecordStore(store.location(), QString(), QString());
    QVERIFY(!records->add(sample("A")).failed());
    QProcess holder;
    holder.start(QStringLiteral(RECORDS_HELPER), {store.location(), "hold-schema", "20"});
    QVERIFY(holder.waitForReadyRead(10000));
    const StoreFailure saved = records->add(sample("B"));
    holder.kill();
    holder.waitForFinished(30000);
    QVERIFY2(!saved.failed(), qPrintable(quarvet::messages::storeFault(saved.fault)));
}

void TestRecords::postgresUrls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("fault"); // a part of it; empty when the URL is read
    QTest::newRow("full") << "postgresql://lab@db.example:6543/calibration"
                          << "lab"
                          << "db.example" << 6543 << "calibration"
                          << "";
    QTest::newRow("short scheme, no port") << "postgres://lab@db/records"
                                           << "lab"
                                           << "db" << 5432 << "records"
                                           << "";
    QTest::newRow("socket folder, encoded") << "postgresql://quarvet@%2Frun%2Fpg:5433/x"
                                            << "quarvet"
                                            << "/run/pg" << 5433 << "x"
                                            << "";
    QTest::newRow("socket folder as parameter") << "postgresql:///lab?host=/tmp/s&port=7"
                                                << ""
                                                << "/tmp/s" << 7 << "lab"
                                                << "";
    QTest::newRow("IPv6") << "postgresql://u@[::1]:5432/d"
                          << "u"
                          << "::1" << 5432 << "d"
                          << "";
    QTest::newRow("encoded user") << "postgresql://J%C3%B6rg%40lab@h/d"
                                  << "Jörg@lab"
                                  << "h" << 5432 << "d"
                                  << "";
    QTest::newRow("other scheme") << "mysql://u@h/d"
                                  << ""
                                  << "" << 0 << ""
                                  << "postgresql://";
    QTest::newRow("no database") << "postgresql://u@h:5432"
                                 << ""
                                 << "" << 0 << ""
                                 << "no database";
    QTest::newRow("empty database") << "postgresql://u@h/"
                                    << ""
                                    << "" << 0 << ""
                                    << "no database";
    QTest::newRow("port no number") << "postgresql://u@h:54x/d"
                                    << ""
                                    << "" << 0 << ""
                                    << "port";
    QTest::newRow("port too large") << "postgresql://u@h:70000/d"
                                    << ""
                                    << "" << 0 << ""
                                    << "port";
    QTest::newRow("unknown parameter") << "postgresql://u@h/d?sslmod=require"
                                       << ""
                                       << "" << 0 << ""
                                       << "sslmod";
    // Which of the two holds would be the reader's choice: a downgrade to no TLS at all.
    QTest::newRow("a parameter given twice") << "postgresql://u@h/d?sslmode=require&sslmode=disable"
                                             << ""
                                             << "" << 0 << ""
                                             << "gives the parameter \"sslmode\" twice";
    QTest::newRow("TLS options") << "postgresql://u@h/d?sslmode=verify-full&sslrootcert=/a%20b/c"
                                 << "u"
                                 << "h" << 5432 << "d"
                                 << "";
    QTest::newRow("option the driver would split") << "postgresql://u@h/d?sslrootcert=/a%3Bb"
                                                   << ""
                                                   << "" << 0 << ""
                                                   << "holds a ;";
    // The password is what ends the authority early: no part of the text is repeated.
    QTest::newRow("password with a slash") << "postgresql://u:S3cret/@127.0.0.1:5432/db"
                                           << ""
                                           << "" << 0 << ""
                                           << "~/.pgpass";
    QTest::newRow("password with a hash") << "postgresql://u:S3#cret@h/db"
                                          << ""
                                          << "" << 0 << ""
                                          << "~/.pgpass";
    QTest::newRow("encoded password") << "postgresql://u:S3cret%2F@h/db"
                                      << "u"
                                      << "h" << 5432 << "db"
                                      << "";
}

void TestRecords::postgresUrls()
{
    QFETCH(QString, url);
    QFETCH(QString, fault);
    QString said;
    const auto address = readPostgresUrl(url, said);
    QCOMPARE(address.has_value(), fault.isEmpty());
    if (!address) {
        QVERIFY2(said.contains(fault) && !said.contains("S3") && !said.contains("cret"),
                 qPrintable(said));
        return;
    }
    QFETCH(QString, user);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, database);
    QCOMPARE(address->user, user);
    QCOMPARE(address->host, host);
    QCOMPARE(address->port, port);
    QCOMPARE(address->databaseName, database);
}

void TestRecords::storeChoice_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("location"); // what the chosen store names
    QTest::addColumn<QString>("refusal");  // part of what it says to every operation
    QTest::newRow("default file") << ""
                                  << ""
                                  << "/data/Quarvet/records.sqlite"
                                  << "";
    QTest::newRow("setting") << ""
                             << "postgresql://lab@db/rec"
                             << "postgresql://lab@db:5432/rec"
                             << "";
    QTest::newRow("environment before setting") << "postgresql://a@e/x"
                                                << "postgresql://lab@db/rec"
                                                << "postgresql://a@e:5432/x"
                                                << "";
    QTest::newRow("password never shown") << "postgresql://a:secret@e/x"
                                          << ""
                                          << "postgresql://a@e:5432/x"
                                          << "";
    QTest::newRow("unreadable environment") << "sqlite:///tmp/x"
                                            << ""
                                            << "QUARVET_DATABASE"
                                            << "QUARVET_DATABASE";
    QTest::newRow("unreadable setting") << ""
                                        << "records.db"
                                        << "Records/Database"
                                        << "Records/Database";
    QTest::newRow("setting with an unencoded password")
        << ""
        << "postgresql://u:S3cret/@127.0.0.1:5432/db"
        << "Records/Database"
        << "~/.pgpass";
    QTest::newRow("IPv6 in brackets") << "postgresql://a@[::1]:5/x"
                                      << ""
                                      << "postgresql://a@[::1]:5/x"
                                      << "";
    QTest::newRow("options shown, password not") << "postgresql://a:secret@e/x?sslmode=require"
                                                 << ""
                                                 << "postgresql://a@e:5432/x?sslmode=require"
                                                 << "";
}

void TestRecords::storeChoice()
{
    QFETCH(QString, environment);
    QFETCH(QString, setting);
    QFETCH(QString, location);
    QFETCH(QString, refusal);
    const auto store = chooseRecordStore(environment, setting, "/data/Quarvet/records.sqlite");
    QCOMPARE(store->location(), location);
    if (refusal.isEmpty())
        return;
    QList<Record> records;
    const StoreFailure failure = store->list(QString(), records);
    QVERIFY2(quarvet::messages::storeFault(failure.fault).contains(refusal) &&
                 !quarvet::messages::storeFault(failure.fault).contains("S3cret"),
             qPrintable(quarvet::messages::storeFault(failure.fault)));
    QVERIFY(store->add(sample("A")).failed());
}

void TestRecords::composedRecords_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QList<double>>("entries");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<QList<double>>("readings"); // pairs of target and reading
    QTest::addColumn<QString>("verdict");
    QTest::newRow("neutral, passing")
        << "2710 0000" << QList<double>{0, 100, 0.5, 99} << "27A8 FE04"
        << QList<double>{0, 0.079, 100, 99.921} << "Pass";
    // The guard band is each point's U (0.021 from the reference's 0.02 and the resolution),
    // not the reference's U alone.
    QTest::newRow("guard band decides")
        << "2710 0000" << QList<double>{0, 100, 0.5, 99} << "27A8 FE04"
        << QList<double>{0, 0.08, 100, 100} << "Fail";
    // Readings taken under an offset of 0.5 give the codes of the raw readings.
    QTest::newRow("composed with current codes")
        << "2710 01F4" << QList<double>{0, 100, 1.0, 99.5} << "27A8 FE04" << QList<double>{} << "";
}

void TestRecords::composedRecords()
{
    QFETCH(QString, current);
    QFETCH(QList<double>, entries);
    QFETCH(QString, codes);
    QFETCH(QList<double>, readings);
    QFETCH(QString, verdict);
    RecordInput input;
    input.instrumentType = modelNumbers().value(2);
    input.serial = "SN";
    input.technician = "T";
    input.referenceId = "R";
    input.referenceUncertainty = 0.02;
    input.referenceDue = QDate(2030, 1, 1);
    input.current = {*quarvet::calc::readCoefficientCode(current.left(4).toStdString()),
                     *quarvet::calc::readCoefficientCode(current.mid(5).toStdString())};
    for (int n = 0; n < 4; ++n) {
        input.entriesRead[n] = entries[n];
        input.entriesTyped[n] = QString::number(entries[n]);
    }
    for (qsizetype n = 0; n + 1 < readings.size(); n += 2)
        input.verification.append({readings[n], readings[n + 1]});
    input.tolerance = 0.1;
    const Composition made =
        composeRecord(input, QDate(2029, 12, 31), QDateTime::currentDateTimeUtc(), "id");
    QVERIFY2(made.ok(), quarvet::messages::recordRefusal(made.refusal).c_str());
    QCOMPARE(made.record.slopeCode + ' ' + made.record.offsetCode, codes);
    QCOMPARE(made.record.currentSlopeCode + ' ' + made.record.currentOffsetCode, current);
    QCOMPARE(made.record.verdict, verdict);
    QVERIFY(made.record.rule.contains("guard band w = U of that point's result"));
    QCOMPARE(readPoints(made.record.asLeftPoints).size(), readings.size() / 2);
    for (const PointResult& point : readPoints(made.record.asLeftPoints))
        QCOMPARE(point.U, 0.021);
    // Found 0.5 and −1 (or 1 and −0.5) off with a tolerance of 0.1.
    QCOMPARE(made.record.asFoundVerdict, QStringLiteral("Fail"));
    QCOMPARE(made.record.instrumentType, QStringLiteral("742"));
    // The reference is due on the day itself: still in date. The day after: refused.
    QVERIFY(composeRecord(input, QDate(2030, 1, 1), QDateTime::currentDateTimeUtc(), "id").ok());
    const Composition late =
        composeRecord(input, QDate(2030, 1, 2), QDateTime::currentDateTimeUtc(), "id");
    QCOMPARE(late.refusal.field, RecordField::ReferenceDue);
    QVERIFY(late.record.verdict.isEmpty());
}

void TestRecords::csvQuotesOnlyWhatItMust_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "SN-1"
                           << "SN-1";
    QTest::newRow("comma") << "a,b"
                           << "\"a,b\"";
    QTest::newRow("quote") << "12\" probe"
                           << "\"12\"\" probe\"";
    QTest::newRow("line break") << "a\nb"
                                << "\"a\nb\"";
    QTest::newRow("semicolon and non-ASCII") << "Zähler; №7"
                                             << "Zähler; №7";
}

void TestRecords::csvQuotesOnlyWhatItMust()
{
    QFETCH(QString, serial);
    QFETCH(QString, field);
    Record record = sample(serial);
    record.entriesTyped[2] = "0.5"; // no other comma than the serial's
    const QString row = csvRow(record);
    QVERIFY2(row.contains(",742," + field + ",2,"), qPrintable(row));
    QVERIFY(row.endsWith("\r\n"));
    QCOMPARE(csvHeader().count(','), row.count(',') - serial.count(','));
}

// A row without values is no answer: the store's readers take the columns they asked for by
// position (a connection that went away under a query once crashed a save that read them).
void TestRecords::answerWithoutColumnsIsNoRow()
{
    QUARVET_STORE_OR_SKIP(store, QStringLiteral("postgresql"));
    QVariantList row{QStringLiteral("left over")};
    QSqlError error;
    QVERIFY(store.onDatabase([&](QSqlDatabase& database) {
        // PostgreSQL answers a SELECT of nothing with one row of no columns.
        error = quarvet::records::sql::firstRow(database, QStringLiteral("SELECT"), row);
    }));
    QVERIFY(error.isValid());
    QVERIFY(row.isEmpty());
    QVERIFY(store.onDatabase([&](QSqlDatabase& database) {
        error = quarvet::records::sql::firstRow(database, QStringLiteral("SELECT 1, 'a'"), row);
    }));
    QVERIFY2(!error.isValid(), qPrintable(error.text()));
    QCOMPARE(row, (QVariantList{1, QStringLiteral("a")}));
}

void TestRecords::sortedListingsReadInPages_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("ascending");
    const std::pair<SortKey, const char*> keys[] = {
        {SortKey::Date, "date"},         {SortKey::Serial, "serial"},
        {SortKey::Type, "type"},         {SortKey::AsFound, "as found"},
        {SortKey::Verdict, "as left"},   {SortKey::Technician, "technician"},
        {SortKey::Customer, "customer"}, {SortKey::Certificate, "certificate"}};
    for (const char* backend : {"sqlite", "postgresql"})
        for (const auto& [key, name] : keys)
            for (const bool ascending : {false, true})
                QTest::addRow("%s: %s, %s", backend, name, ascending ? "ascending" : "descending")
                    << QString::fromLatin1(backend) << static_cast<int>(key) << ascending;
}

// A listing sorted by a column, read a page at a time from where the page before ended, is
// the whole listing in that order: every record once, ties in the time saved and then the
// saving order, in the direction asked for.
void TestRecords::sortedListingsReadInPages()
{
    FRESH_STORE(store);
    QFETCH(int, key);
    QFETCH(bool, ascending);
    const QStringList few{"Al", "Jo", "Mo"};
    for (int n = 0; n < 23; ++n) {
        Record record = sample(QStringLiteral("SN-%1").arg(QChar(u'a' + n % 4)));
        // Pairs saved in the same millisecond: the saving order decides between them.
        record.createdUtc =
            QDateTime::fromMSecsSinceEpoch(1700000000000 + n / 2 * 1000, QTimeZone::utc());
        record.instrumentType = QString::number(742 + n % 3);
        record.verdict = QStringList{"Pass", "Fail", ""}[n % 3];
        record.asFoundVerdict = QStringList{"Fail", "Pass"}[n % 2];
        record.technician = few[(n / 3) % 3];
        record.customer = QStringList{"", "Acme", "Zeta"}[n % 3];
        QVERIFY(!storeRecords->add(record).failed());
    }
    const auto keyOf = [key](const Record& record) -> QString {
        switch (static_cast<SortKey>(key)) {
        case SortKey::Serial:
            return record.serial;
        case SortKey::Type:
            return record.instrumentType;
        case SortKey::AsFound:
            return record.asFoundVerdict;
        case SortKey::Verdict:
            return record.verdict;
        case SortKey::Technician:
            return record.technician;
        case SortKey::Customer:
            return record.customer;
        default:
            return {};
        }
    };
    QList<ListedRecord> all;
    QVERIFY(!storeRecords
                 ->visit({},
                         [&](const ListedRecord& listed) {
                             all.append(listed);
                             return true;
                         })
                 .failed());
    QCOMPARE(all.size(), 23);
    std::stable_sort(all.begin(), all.end(), [&](const ListedRecord& a, const ListedRecord& b) {
        const auto rank = [&](const ListedRecord& r) {
            return std::make_tuple(keyOf(r.record), r.position.createdUtc, r.position.order);
        };
        return ascending ? rank(a) < rank(b) : rank(b) < rank(a);
    });
    RecordFilter filter;
    filter.sortBy = static_cast<SortKey>(key);
    filter.ascending = ascending;
    filter.limit = 4;
    QStringList paged;
    for (qsizetype read = -1; read != 0;) {
        read = 0;
        QVERIFY(!storeRecords
                     ->visit(filter,
                             [&](const ListedRecord& listed) {
                                 paged << listed.record.id;
                                 filter.after = listed.position;
                                 ++read;
                                 return true;
                             })
                     .failed());
    }
    QStringList expected;
    for (const ListedRecord& listed : all)
        expected << listed.record.id;
    QCOMPARE(paged, expected);
}

void TestRecords::sortedPagesNeedNoSort_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("key");
    const std::pair<SortKey, const char*> keys[] = {
        {SortKey::Date, "date"},        {SortKey::Serial, "serial"},
        {SortKey::Type, "type"},        {SortKey::AsFound, "as found"},
        {SortKey::Verdict, "as left"},  {SortKey::Technician, "technician"},
        {SortKey::Customer, "customer"}};
    for (const char* backend : {"sqlite", "postgresql"})
        for (const auto& [key, name] : keys)
            QTest::addRow("%s: %s", backend, name) << backend << static_cast<int>(key);
}

// A page of a listing sorted by a column the history sorts by comes through an index in that
// order: the store is never sorted whole for a page, however many records it holds.
void TestRecords::sortedPagesNeedNoSort()
{
    FRESH_STORE(store);
    QFETCH(int, key);
    QVERIFY(!storeRecords->add(sample("A")).failed());
    RecordFilter filter;
    filter.sortBy = static_cast<SortKey>(key);
    filter.limit = 200;
    filter.after = ListPosition{"2026-01-01T00:00:00.000Z", 5, "M"};
    const quarvet::records::sql::Listing listing = listingOf(store, filter);
    QString statement = listing.records;
    QStringList plan;
    QVERIFY(store.onDatabase([&](QSqlDatabase& database) {
        QSqlQuery query(database);
        if (store.isPostgres()) {
            // A sort is only a cost to the planner: made dear, it is chosen only where no
            // index gives the order.
            QVERIFY(query.exec("SET enable_seqscan = off") && query.exec("SET enable_sort = off"));
            for (qsizetype n = 0; n < listing.values.size(); ++n)
                statement.replace(statement.indexOf('?'), 1,
                                  "'" + listing.values[n].toString() + "'");
            QVERIFY2(query.exec("EXPLAIN (FORMAT JSON) " + statement),
                     qPrintable(query.lastError().text()));
        } else {
            QVERIFY(query.prepare("EXPLAIN QUERY PLAN " + statement));
            for (const QVariant& value : listing.values)
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
        }
        while (query.next())
            plan << query.value(store.isPostgres() ? 0 : 3).toString();
    }));
    // Ties of a column ordered by an index of the column and the time may be put in order
    // among themselves ("RIGHT PART", "Incremental Sort"); the whole store never is.
    const QRegularExpression sorted(
        QStringLiteral("TEMP B-TREE FOR ORDER BY|\"Node Type\": \"Sort\""));
    QVERIFY2(!sorted.match(plan.join('\n')).hasMatch(), qPrintable(plan.join('\n')));
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
