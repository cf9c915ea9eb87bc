#include "messages/storemessages.h"
#include "records/chain.h"
#include "records/columns.h"
#include "records/postgresrecordstore.h"
#include "records/recordformat.h"
#include "records/schema.h"
#include "records/sqliterecordstore.h"
#include "records/storechoice.h"
#include "samplerecord.h"
#include "teststores.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <random>

#include <sys/stat.h>

using namespace quarvet::records;
using quarvet::test::addCopies;
using quarvet::test::sqliteValue;

namespace {

Record sample(const QString& serial, qint64 msecs)
{
    Record record = quarvet::test::fixedRecord();
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
    record.serial = serial;
    record.corrects.clear();
    return record;
}

// A listing of a record kept before the uncertainty of results was evaluated, without the
// keys that came with it and after it, which must all be null or empty there. Those releases
// wrote no verdict as an empty text; it is now said in words, and only there may they differ.
QByteArray withoutUncertainty(QString json)
{
    json.replace(QStringLiteral("\"verdict\":\"not verified\""),
                 QStringLiteral("\"verdict\":\"\""));
    static const QRegularExpression keys(QStringLiteral(
        ",?\"(as_found_points|as_found_verdict|as_left_points|decision_rule|drift|"
        "reference_k|resolution|stability|uniformity|pooled_s|pooled_nu)\":null|,?\"(customer|"
        "customer_address|method|reference_source|reference_certificate|"
        "reference_calibrated_by|correction_reason|item_description|location|received|"
        "item_condition|deviations|tolerance_source)\":\"\""));
    return json.remove(keys).replace(QStringLiteral("{,"), QStringLiteral("{")).toUtf8();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A schema one version past this program's, adding one column to every record: the row and
// the step that a new column takes, and nothing else.
QVariant writeTestColumn(const Record& record)
{
    return QVariant(QStringLiteral("extra of ") + record.serial);
}
void readTestColumn(Record&, const QVariant&) {}

const Schema& schemaWithTestColumn()
{
    static QList<Column> columns = [] {
        QList<Column> all(recordColumns().begin(), recordColumns().end());
        all.append({"test_extra", ColumnType::Text, false, recordSchema().version() + 1, "",
                    "'none'", "test_extra", writeTestColumn, readTestColumn, nullptr});
        return all;
    }();
    static QList<Migration> steps = [] {
        QList<Migration> all(recordSchema().migrations.begin(), recordSchema().migrations.end());
        all.append({recordSchema().version() + 1, {}, {}, {}});
        return all;
    }();
    static const Schema schema{columns, steps};
    return schema;
}

#define FRESH_STORE(name)                                                                          \
    QFETCH(QString, backend);                                                                      \
    QString skipReason;                                                                            \
    quarvet::test::TestStore name(backend, skipReason);                                            \
    if (name.location().isEmpty())                                                                 \
        QSKIP(qPrintable("PostgreSQL cases skipped: " + skipReason));

std::unique_ptr<RecordStore> storeAt(const quarvet::test::TestStore& store)
{
    return chooseRecordStore(store.isPostgres() ? store.location() : QString(), QString(),
                             store.location());
}

void addBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

} // namespace

class TestRecordSchema : public QObject {
    Q_OBJECT
private slots:
    void schema1FileUpgradedKeepsEveryField();
    void firstVersionNamesCorrectionsAsUpgraded();
    void upgradeCutShortIsTakenUp_data();
    void upgradeCutShortIsTakenUp();
    void upgradeTellsHowFarItHasCome();
    void todaysReleaseFileReadsAsWritten();
    void firstVersionUpgradedBySave_data() { addBackends(); }
    void firstVersionUpgradedBySave();
    void addedColumnIsOneRowAndOneStep_data() { addBackends(); }
    void addedColumnIsOneRowAndOneStep();
    void damagedPagesAreNamedAndLeftAlone();
    void damagedReadingsEndTheListing();
    void sortByAColumnTheStoreLacks_data();
    void sortByAColumnTheStoreLacks();
    void recordCorrectedOnce_data() { addBackends(); }
    void recordCorrectedOnce();
    void pagesAndFilterFindEveryMatch_data() { addBackends(); }
    void pagesAndFilterFindEveryMatch();
    void alteredStoresAreRefused_data();
    void alteredStoresAreRefused();
    void newStoreIsTheUsersAlone();
    void strangePathsAreNamed_data();
    void strangePathsAreNamed();
    void hashCoversEveryField_data();
    void hashCoversEveryField();
    void numbersAsQtWritesThem_data();
    void numbersAsQtWritesThem();
    void pointsInJson_data();
    void pointsInJson();
    void localTimesAcrossTransitions_data();
    void localTimesAcrossTransitions();
};

// The file of the schema-1 program: read as it is, then upgraded by a save, each of its
// records must say exactly what that program's own listing said.
void TestRecordSchema::schema1FileUpgradedKeepsEveryField()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile listing(QStringLiteral(FIXTURES "/schema1.json"));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    const QList<QByteArray> expected = listing.readAll().trimmed().split('\n');
    QCOMPARE(expected.size(), 11);
    SqliteRecordStore store(path);
    for (const bool upgraded : {false, true}) {
        if (upgraded) {
            QVERIFY2(!store.add(sample("after upgrade", 1893456000000)).failed(), "save");
            QCOMPARE(sqliteValue(path, "PRAGMA user_version").toInt(), recordSchema().version());
        }
        QList<Record> records;
        const StoreFailure read = store.list(QString(), records);
        QVERIFY2(!read.failed(), qPrintable(quarvet::messages::storeFault(read.fault)));
        if (upgraded)
            records.removeFirst(); // the newest: the record the upgrade came with
        QCOMPARE(records.size(), expected.size());
        // To the byte: scripts compare listings. The chain's fields are the upgrade's own.
        static const QRegularExpression chainFields(
            QStringLiteral("\"(hash|previous_hash|saved_by)\":\"[0-9a-f]*\","));
        for (qsizetype n = 0; n < records.size(); ++n) {
            QCOMPARE(records[n].hash.isEmpty(), !upgraded);
            QCOMPARE(withoutUncertainty(jsonObject(records[n]).remove(chainFields)), expected[n]);
        }
    }
    QVERIFY(!store.checkIntegrity().failed());
    // Chained oldest first, the upgrade noted; the record saved with it goes on from them.
    ChainReport chain;
    QVERIFY(!store.checkChain(chain).failed());
    QVERIFY(!chain.broken);
    QCOMPARE(chain.count, 12);
    QCOMPARE(chain.notes.notes.size(), 1);
    QVERIFY2(chain.notes.notes[0].contains("11 records saved before"),
             qPrintable(chain.notes.notes[0]));
}

// A file of the first version, which has no index of corrections, names each record's
// corrections page by page as the same file does once upgraded (where the index finds them).
void TestRecordSchema::firstVersionNamesCorrectionsAsUpgraded()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    SqliteRecordStore store(path);
    QMap<QString, QStringList> named[2];
    for (const bool upgraded : {false, true}) {
        if (upgraded)
            QVERIFY(!store.add(sample("after upgrade", 1893456000000)).failed());
        QCOMPARE(sqliteValue(path, "PRAGMA user_version").toInt() > 1, upgraded);
        RecordFilter filter;
        filter.corrections = true;
        filter.limit = 4;
        for (bool more = true; more;) {
            int read = 0;
            QVERIFY(!store
                         .visit(filter,
                                [&](const ListedRecord& listed) {
                                    named[upgraded][listed.record.id] = listed.correctedBy;
                                    filter.after = listed.position;
                                    ++read;
                                    return true;
                                })
                         .failed());
            more = read == filter.limit;
        }
    }
    QCOMPARE(named[0].size(), 11);
    QCOMPARE(named[1].size(), 12);
    int corrected = 0;
    for (auto it = named[0].cbegin(); it != named[0].cend(); ++it) {
        QCOMPARE(it.value(), named[1].value(it.key()));
        corrected += it.value().isEmpty() ? 0 : 1;
    }
    QCOMPARE(corrected, 2); // the original and its correction, each corrected once
}

void TestRecordSchema::upgradeCutShortIsTakenUp_data()
{
    QTest::addColumn<int>("killAt");        // the report of the upgrade's progress it dies at
    QTest::addColumn<bool>("waitsForLock"); // the save waits for another program's lock first
    QTest::newRow("as it begins") << 1 << false;
    QTest::newRow("while it chains") << 3 << false;
    QTest::newRow("with every record chained") << 0 << false;
    QTest::newRow("while it chains, after a wait") << 3 << true;
}

// A program killed while its save brings a large file of the first version up to date leaves
// the upgrade's journal and its mark: the next program that opens the file rolls it back as
// its own and reads it, and the next save upgrades it, with every record kept and chained.
void TestRecordSchema::upgradeCutShortIsTakenUp()
{
    QFETCH(int, killAt);
    QFETCH(bool, waitsForLock);
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    // Pages of a thousand: reports at the start, after each page and at the end.
    QVERIFY(addCopies(path, 5000));
    const qint64 before = sqliteValue(path, "SELECT count(*) FROM records").toLongLong();
    QProcess holder;
    if (waitsForLock) {
        holder.start(QStringLiteral(RECORDS_HELPER), {path, "hold", "2"});
        QVERIFY(holder.waitForReadyRead(20000));
    }
    QProcess saver;
    saver.start(QStringLiteral(RECORDS_HELPER), {path, "1", "killed-", QString::number(killAt)});
    if (waitsForLock) {
        // Not marked while it waits: a program rolling back a cut-short upgrade meanwhile
        // would take the mark of this one, which would then run unmarked.
        QTest::qWait(500);
        QVERIFY(!QFile::exists(path + "-upgrading"));
    }
    QVERIFY(saver.waitForFinished(60000));
    holder.waitForFinished(20000);
    QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::exists(path + "-journal") && QFile::exists(path + "-upgrading"));
    SqliteRecordStore store(path);
    qint64 count = 0;
    const StoreFailure read = store.count({}, count);
    QVERIFY2(!read.failed(), qPrintable(quarvet::messages::storeFault(read.fault)));
    QCOMPARE(count, before);
    QCOMPARE(sqliteValue(path, "PRAGMA user_version").toInt(), 1);
    QVERIFY(!QFile::exists(path + "-upgrading"));
    QVERIFY(!store.add(sample("after", 1893456000000)).failed());
    ChainReport chain;
    QVERIFY(!store.checkChain(chain).failed());
    QVERIFY(chain.whole());
    QCOMPARE(chain.count, count + 1);
}

// The upgrade that chains a file's records tells how far it has come, page by page, before it
// begins and when it is done; a new store, made through the same steps, tells nothing.
void TestRecordSchema::upgradeTellsHowFarItHasCome()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(addCopies(path, 2500));
    QList<QPair<qint64, qint64>> told;
    setUpgradeProgress([&](qint64 done, qint64 total) { told.append({done, total}); });
    QVERIFY(!SqliteRecordStore(path).add(sample("after", 1893456000000)).failed());
    QVERIFY(
        !SqliteRecordStore(dir.filePath("new.sqlite")).add(sample("new", 1893456000000)).failed());
    setUpgradeProgress({});
    const qint64 all = 2511;
    const QList<QPair<qint64, qint64>> expected{{0, all}, {1000, all}, {2000, all}, {all, all}};
    QCOMPARE(told, expected);
}

// A file of the release that first kept the chain (schema 4), as its own listing gave it: read
// to the byte, its chain whole. Kept for the versions after it, which must read and upgrade
// it without a loss.
void TestRecordSchema::todaysReleaseFileReadsAsWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema4.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile listing(QStringLiteral(FIXTURES "/schema4.json"));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    const QList<QByteArray> expected = listing.readAll().trimmed().split('\n');
    SqliteRecordStore store(path);
    // Read as it is, then upgraded by a save: its records the same to the byte, their
    // uncertainty not evaluated, the chain going on from them.
    for (const bool upgraded : {false, true}) {
        if (upgraded) {
            QVERIFY2(!store.add(sample("after upgrade", 1893456000000)).failed(), "save");
            QCOMPARE(sqliteValue(path, "PRAGMA user_version").toInt(), recordSchema().version());
        }
        QList<Record> records;
        const StoreFailure read = store.list(QString(), records);
        QVERIFY2(!read.failed(), qPrintable(quarvet::messages::storeFault(read.fault)));
        if (upgraded)
            records.removeFirst();
        QCOMPARE(records.size(), expected.size());
        for (qsizetype n = 0; n < records.size(); ++n) {
            QVERIFY(!records[n].setUp);
            QCOMPARE(withoutUncertainty(jsonObject(records[n])), expected[n]);
        }
        ChainReport chain;
        QVERIFY(!store.checkChain(chain).failed());
        QVERIFY(chain.whole());
        QCOMPARE(chain.count, upgraded ? 4 : 3);
    }
    QVERIFY(!store.checkIntegrity().failed());
}

// A store made as the first version made it, in either database: the next save brings it
// up to date in its own transaction, and what it held stays.
void TestRecordSchema::firstVersionUpgradedBySave()
{
    FRESH_STORE(store);
    const Dialect& dialect = store.isPostgres() ? postgresDialect() : sqliteDialect();
    if (!store.isPostgres())
        QVERIFY(QDir().mkpath(QFileInfo(store.location()).absolutePath()));
    QVERIFY(store.runSql(migrationStatements(recordSchema(), dialect, 0, 1)));
    const auto records = storeAt(store);
    QVERIFY(!records->add(sample("first", 1700000000000)).failed());
    // The index the second version added is there, and so is its number.
    const QString newest = QString::number(recordSchema().version());
    QVERIFY(store.runSql({store.isPostgres()
                              ? "DO $$ BEGIN IF (SELECT max(version) FROM quarvet_schema) <> " +
                                    newest +
                                    " OR to_regclass('records_by_date') IS NULL THEN RAISE "
                                    "EXCEPTION 'not upgraded'; END IF; END $$"
                              : "SELECT 1 FROM records INDEXED BY records_by_date"}));
    QList<Record> listed;
    QVERIFY(!records->list(QString(), listed).failed());
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].serial, QStringLiteral("first"));
}

void TestRecordSchema::addedColumnIsOneRowAndOneStep()
{
    FRESH_STORE(store);
    QVERIFY(!storeAt(store)->add(sample("before", 1700000000000)).failed());
    const auto grown = [&]() -> std::unique_ptr<RecordStore> {
        if (!store.isPostgres())
            return std::make_unique<SqliteRecordStore>(store.location(), schemaWithTestColumn());
        QString fault;
        return std::make_unique<PostgresRecordStore>(*readPostgresUrl(store.location(), fault),
                                                     schemaWithTestColumn());
    }();
    const StoreFailure added = grown->add(sample("after", 1700000001000));
    QVERIFY2(!added.failed(), qPrintable(quarvet::messages::storeFault(added.fault)));
    QList<Record> records;
    QVERIFY(!grown->list(QString(), records).failed());
    QCOMPARE(records.size(), 2);
    // The older record holds the column's fill, the newer what was written.
    QVERIFY(store.runSql({"SELECT 1 FROM records WHERE serial = 'before' AND test_extra = 'none'",
                          "SELECT 1 FROM records WHERE test_extra = 'extra of after'"}));
    // This program, which knows one version less, now refuses the store as newer.
    const StoreFailure refused = storeAt(store)->add(sample("refused", 1700000002000));
    QCOMPARE(refused.fault.kind, StoreFaultKind::Newer);
    QCOMPARE(refused.fault.version, recordSchema().version() + 1);
}

// A page of the records table overwritten: the save is refused as a damaged store, naming it,
// and the file keeps every byte; the check on demand finds it too.
void TestRecordSchema::damagedPagesAreNamedAndLeftAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    SqliteRecordStore store(path);
    for (int n = 0; n < 40; ++n)
        QVERIFY(!store.add(sample(QStringLiteral("SN-%1").arg(n), 1700000000000 + n)).failed());
    QVERIFY(!store.checkIntegrity().failed());
    QByteArray bytes = contents(path);
    const int pageSize = sqliteValue(path, "PRAGMA page_size").toInt();
    QVERIFY(bytes.size() > 3 * pageSize);
    // Every page but the first, which holds the schema: whatever a save touches is garbage.
    for (qsizetype at = pageSize; at < bytes.size(); ++at)
        bytes[at] = char(0xA5 ^ (at & 0x3F));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const StoreFailure saved = store.add(sample("into damage", 1800000000000));
    QCOMPARE(saved.fault.kind, StoreFaultKind::Damaged);
    QVERIFY2(quarvet::messages::storeFault(saved.fault).contains(path) &&
                 quarvet::messages::storeFault(saved.fault).contains("is damaged") &&
                 quarvet::messages::storeFault(saved.fault).contains("Nothing was written"),
             qPrintable(quarvet::messages::storeFault(saved.fault)));
    QCOMPARE(contents(path), bytes);
    QList<Record> records;
    QCOMPARE(store.list(QString(), records).fault.kind, StoreFaultKind::Damaged);
    QCOMPARE(store.checkIntegrity().fault.kind, StoreFaultKind::Damaged);
    QCOMPARE(contents(path), bytes);
}

// The store as the second version made and wrote it.
std::unique_ptr<RecordStore> secondVersionStore(const quarvet::test::TestStore& store)
{
    static const Schema second{recordSchema().columns, recordSchema().migrations.first(2)};
    if (!store.isPostgres())
        return std::make_unique<SqliteRecordStore>(store.location(), second);
    QString fault;
    return std::make_unique<PostgresRecordStore>(*readPostgresUrl(store.location(), fault), second);
}

Record correctionOf(const Record& original, qint64 msecs)
{
    Record correction = sample(original.serial, msecs);
    correction.corrects = original.id;
    return correction;
}

// A record has one correction, however many windows or workstations save one at the same
// moment; a store of the second version that holds two keeps them and shows both.
void TestRecordSchema::recordCorrectedOnce()
{
    FRESH_STORE(store);
    const Record original = sample("SN-1", 1700000000000);
    const auto second = secondVersionStore(store);
    for (const Record& record :
         {original, correctionOf(original, 1700000001000), correctionOf(original, 1700000002000)})
        QVERIFY(!second->add(record).failed());
    const auto records = storeAt(store);
    const Record other = sample("SN-2", 1700000003000);
    QVERIFY(!records->add(other).failed()); // the upgrade
    RecordFilter filter;
    filter.corrections = true;
    QStringList correctedBy;
    QVERIFY(!records
                 ->visit(filter,
                         [&](const ListedRecord& listed) {
                             if (listed.record.id == original.id)
                                 correctedBy = listed.correctedBy;
                             return true;
                         })
                 .failed());
    QCOMPARE(correctedBy.size(), 2);
    const StoreFailure third = records->add(correctionOf(original, 1700000004000));
    QCOMPARE(third.fault.kind, StoreFaultKind::AlreadyCorrected);
    QVERIFY2(quarvet::messages::storeFault(third.fault).contains(original.id.left(8)),
             qPrintable(quarvet::messages::storeFault(third.fault)));
    // Eight saves of a correction of one record at once, each on a connection of its own.
    QList<QFuture<StoreFailure>> saves;
    for (int n = 0; n < 8; ++n)
        saves << QtConcurrent::run([&store, &other, n] {
            return storeAt(store)->add(correctionOf(other, 1700000005000 + n));
        });
    int kept = 0;
    for (QFuture<StoreFailure>& save : saves) {
        const StoreFailure failure = save.result();
        QVERIFY2(!failure.failed() || failure.fault.kind == StoreFaultKind::AlreadyCorrected,
                 qPrintable(quarvet::messages::storeFault(failure.fault)));
        kept += failure.failed() ? 0 : 1;
    }
    QCOMPARE(kept, 1);
    // The second version's three records were chained by the upgrade, oldest first, and
    // noted; the saves after it go on from them.
    ChainReport chain;
    QVERIFY(!records->checkChain(chain).failed());
    QVERIFY(!chain.broken);
    QCOMPARE(chain.count, 5);
    QCOMPARE(chain.notes.notes.size(), 1);
    QVERIFY2(chain.notes.notes[0].contains("3 records saved before"),
             qPrintable(chain.notes.notes[0]));
}

// Only the readings' table damaged: the listing ends at the damage; no record is shown without
// the readings it has.
void TestRecordSchema::damagedReadingsEndTheListing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    SqliteRecordStore store(path);
    for (int n = 0; n < 30; ++n)
        QVERIFY(!store.add(sample(QStringLiteral("SN-%1").arg(n), 1700000000000 + n)).failed());
    const int page = sqliteValue(path, "PRAGMA page_size").toInt();
    const int root =
        sqliteValue(path, "SELECT rootpage FROM sqlite_master WHERE name = 'verification'").toInt();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qint64(root - 1) * page + 8));
    QVERIFY(file.write(QByteArray(32, '\xEE')) == 32);
    file.close();
    int shown = 0;
    const StoreFailure read = store.visit({}, [&](const ListedRecord& listed) {
        ++shown;
        return listed.record.verification.size() == 2;
    });
    QCOMPARE(read.fault.kind, StoreFaultKind::Damaged);
    QCOMPARE(shown, 0);
}

void TestRecordSchema::sortByAColumnTheStoreLacks_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("key"); // a SortKey
    for (const char* fixture : {"schema1", "schema4"})
        for (const auto& [name, key] :
             {std::pair{"as found", SortKey::AsFound}, std::pair{"customer", SortKey::Customer},
              std::pair{"certificate", SortKey::Certificate}})
            QTest::addRow("%s: %s", fixture, name) << fixture << int(key);
}

// Sorted by a column a store of an earlier version does not keep (the same for every record),
// its records are listed by the time saved, either way round, and not refused.
void TestRecordSchema::sortByAColumnTheStoreLacks()
{
    QFETCH(QString, fixture);
    QFETCH(int, key);
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/") + fixture + ".sqlite", path));
    QFile::setPermissions(path, QFile::ReadOwner);
    SqliteRecordStore store(path);
    for (const bool ascending : {false, true}) {
        QStringList listed[2];
        for (const SortKey sortBy : {SortKey::Date, SortKey(key)}) {
            RecordFilter filter;
            filter.sortBy = sortBy;
            filter.ascending = ascending;
            const StoreFailure read = store.visit(filter, [&](const ListedRecord& record) {
                listed[sortBy != SortKey::Date] << record.record.id;
                return true;
            });
            QVERIFY2(!read.failed(), qPrintable(quarvet::messages::storeFault(read.fault)));
        }
        QVERIFY(!listed[0].isEmpty());
        QCOMPARE(listed[1], listed[0]);
    }
}

// Pages follow one another without a gap or a repeat, even with records of the same
// millisecond; the filter folds case beyond ASCII and finds matches past the first page.
void TestRecordSchema::pagesAndFilterFindEveryMatch()
{
    FRESH_STORE(store);
    const auto records = storeAt(store);
    QStringList saved;
    for (int n = 0; n < 25; ++n) {
        const QString serial =
            n % 5 == 0 ? QStringLiteral("ZÄHLER-%1").arg(n) : QStringLiteral("SN-%1").arg(n);
        QVERIFY(!records->add(sample(serial, 1700000000000 + n / 3)).failed());
        saved.prepend(serial);
    }
    for (const auto& [contains, limit] :
         {std::pair{QString(), 7}, std::pair{QStringLiteral("Zäh"), 2},
          std::pair{QStringLiteral("zäh"), 0}}) {
        RecordFilter filter;
        filter.serialContains = contains;
        filter.limit = limit;
        QStringList read;
        for (;;) {
            qsizetype before = read.size();
            ListPosition last;
            const StoreFailure failure = records->visit(filter, [&](const ListedRecord& listed) {
                read << listed.record.serial;
                last = listed.position;
                return true;
            });
            QVERIFY2(!failure.failed(), qPrintable(quarvet::messages::storeFault(failure.fault)));
            if (limit == 0 || read.size() - before < limit)
                break;
            filter.after = last;
        }
        QStringList wanted = saved;
        if (!contains.isEmpty())
            wanted = saved.filter(QStringLiteral("ZÄHLER"));
        QCOMPARE(read, wanted);
        qint64 count = 0;
        QVERIFY(!records->count(filter, count).failed());
        QCOMPARE(count, wanted.size());
    }
}

void TestRecordSchema::alteredStoresAreRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QStringList>("alteration");
    QTest::newRow("sqlite: a trigger that swallows saves")
        << "sqlite"
        << QStringList{"CREATE TRIGGER swallow BEFORE INSERT ON records BEGIN SELECT "
                       "RAISE(IGNORE); END"};
    QTest::newRow("sqlite: the append-only rule dropped")
        << "sqlite" << QStringList{"DROP TRIGGER records_never_changed"};
    QTest::newRow("sqlite: an index of another program's")
        << "sqlite" << QStringList{"CREATE INDEX theirs ON records(note)"};
    QTest::newRow("postgresql: a trigger that swallows saves")
        << "postgresql"
        << QStringList{"CREATE FUNCTION swallow() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                       "RETURN NULL; END $$",
                       "CREATE TRIGGER swallow BEFORE INSERT ON records FOR EACH ROW EXECUTE "
                       "FUNCTION swallow()"};
    QTest::newRow("postgresql: the append-only rule dropped")
        << "postgresql" << QStringList{"DROP TRIGGER records_never_changed ON records"};
    // A rule is no trigger: only the count of rows kept shows that nothing was.
    QTest::newRow("postgresql: a rule that swallows readings")
        << "postgresql"
        << QStringList{"CREATE RULE swallow AS ON INSERT TO verification DO INSTEAD NOTHING"};
}

// Our tables changed by another program so that a save could vanish or a record be changed:
// refused, and a save that is turned away unseen is not reported as kept.
void TestRecordSchema::alteredStoresAreRefused()
{
    QFETCH(QStringList, alteration);
    FRESH_STORE(store);
    const auto records = storeAt(store);
    QVERIFY(!records->add(sample("before", 1700000000000)).failed());
    QVERIFY(store.runSql(alteration));
    const StoreFailure saved = records->add(sample("after", 1700000001000));
    QCOMPARE(saved.fault.kind, StoreFaultKind::Altered);
    QVERIFY2(quarvet::messages::storeFault(saved.fault).contains(records->location()) &&
                 quarvet::messages::storeFault(saved.fault).contains("altered"),
             qPrintable(quarvet::messages::storeFault(saved.fault)));
    // Whatever another program did, what is there is never said to be more than it is.
    QList<Record> listed;
    const StoreFailure read = records->list(QString(), listed);
    QVERIFY(read.failed() || listed.size() == 1);
}

// Records name people and instruments: another user of the machine reads none of them,
// whatever the umask.
void TestRecordSchema::newStoreIsTheUsersAlone()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("data/Quarvet");
    const QString path = folder + "/records.sqlite";
    const mode_t before = ::umask(0);
    SqliteRecordStore store(path);
    const StoreFailure saved = store.add(sample("SN-1", 1700000000000));
    QList<Record> records;
    const StoreFailure read = store.list(QString(), records);
    ::umask(before);
    QVERIFY2(!saved.failed() && !read.failed(),
             qPrintable(quarvet::messages::storeFault(saved.fault) +
                        quarvet::messages::storeFault(read.fault)));
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                        QFile::WriteOther | QFile::ExeOther;
    for (const QString& made : {folder, path})
        QVERIFY2(!(QFileInfo(made).permissions() & others), qPrintable(made));
    QCOMPARE(records.size(), 1);
}

void TestRecordSchema::strangePathsAreNamed_data()
{
    QTest::addColumn<QString>("made");
    QTest::addColumn<int>("fault");
    QTest::newRow("a link that loops") << "loop" << int(StoreFaultKind::CannotOpen);
    QTest::newRow("a folder") << "folder" << int(StoreFaultKind::NotAFile);
    QTest::newRow("a pipe") << "fifo" << int(StoreFaultKind::NotAFile);
    QTest::newRow("a link to a device") << "device" << int(StoreFaultKind::NotAFile);
}

// Whatever stands at the file's place and is no store is named, for a save and a reading
// alike; none is taken for a store without records, and none is replaced.
void TestRecordSchema::strangePathsAreNamed()
{
    QFETCH(QString, made);
    QFETCH(int, fault);
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    if (made == "loop")
        QVERIFY(QFile::link(path, path));
    else if (made == "folder")
        QVERIFY(QDir().mkpath(path));
    else if (made == "device")
        QVERIFY(QFile::link("/dev/null", path));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    SqliteRecordStore store(path);
    const StoreFailure saved = store.add(sample("X", 1700000000000));
    QCOMPARE(int(saved.fault.kind), fault);
    QVERIFY2(quarvet::messages::storeFault(saved.fault).contains(path),
             qPrintable(quarvet::messages::storeFault(saved.fault)));
    QList<Record> records;
    QCOMPARE(int(store.list(QString(), records).fault.kind), fault);
    QCOMPARE(int(store.checkIntegrity().fault.kind), fault);
    QVERIFY(!QFileInfo(path).isFile());
}

void TestRecordSchema::hashCoversEveryField_data()
{
    QTest::addColumn<QString>("column");
    for (const Column& column : recordColumns())
        if (qstrcmp(column.name, "hash") != 0)
            QTest::newRow(column.name) << QString::fromLatin1(column.name);
}

// The canonical form is fixed for good: every certificate ever printed names hashes made of
// it. Each field, readings and the link to the record before included, changes the hash.
void TestRecordSchema::hashCoversEveryField()
{
    QFETCH(QString, column);
    Record record = quarvet::test::fixedRecord();
    record.savedBy = QStringLiteral("lab@bench-3");
    record.previousHash = chainStart();
    QCOMPARE(recordHash(record),
             QStringLiteral("65810f7d7f97f21a5cdc416a92f2d1986f37d1bdc8e113d0bf936be7921c131f"));
    // And of a record with the uncertainty of its results, as kept since it is evaluated.
    Record evaluated = quarvet::test::evaluatedRecord();
    evaluated.savedBy = record.savedBy;
    evaluated.previousHash = record.hash = recordHash(record);
    QCOMPARE(recordHash(evaluated),
             QStringLiteral("138c171292c31f525953711aa7607634317eee7732e7ffc5aa0c53644bb03500"));
    for (const Column& field : recordColumns()) {
        if (QString::fromLatin1(field.name) != column)
            continue;
        if (field.since >= asFoundVersion)
            record = evaluated;
        // A date column reads only dates: its change is another day.
        const bool date = column == QLatin1String("received");
        if (date)
            record.received = QDate(2026, 1, 5);
        Record changed = record;
        switch (field.type) {
        case ColumnType::Readings:
            changed.verification.last().reading += 0.001;
            break;
        case ColumnType::Real:
            field.read(changed, field.write(record).toDouble() + 0.5);
            break;
        case ColumnType::Integer:
            field.read(changed, field.write(record).toInt() + 1);
            break;
        default:
            field.read(changed, date ? QVariant(QStringLiteral("2026-01-06"))
                                     : QString(QLatin1Char('x') + field.write(record).toString()));
        }
        QVERIFY(!(changed == record));
        QVERIFY(recordHash(changed) != recordHash(record));
    }
}

void TestRecordSchema::numbersAsQtWritesThem_data()
{
    QTest::addColumn<double>("value");
    const auto row = [](const char* name, double value) { QTest::newRow(name) << value; };
    row("zero", 0.0);
    row("negative zero", -0.0);
    row("one", 1.0);
    row("ten thousand: decimal as long as scientific", 1e4);
    row("a hundred thousand: scientific shorter", 1e5);
    row("digits up to the point", 1234567.0);
    row("0.0001", 0.0001);
    row("0.00001", 0.00001);
    row("1.5e-5", 1.5e-5);
    row("0.1 + 0.2", 0.1 + 0.2);
    row("smallest subnormal", 5e-324);
    row("largest", 1.7976931348623157e308);
    row("a large integer", 12345678901234567890.0);
    row("exponent of three digits", -1.25e-100);
    row("infinity", std::numeric_limits<double>::infinity());
}

// Every number of a listing is written as Qt has always written it: the listings of earlier
// versions and of this one read the same. The table, and 200,000 doubles of every kind.
void TestRecordSchema::numbersAsQtWritesThem()
{
    QFETCH(double, value);
    QCOMPARE(numberText(value), QString::number(value, 'g', QLocale::FloatingPointShortest));
    std::mt19937_64 random(QTest::currentDataTag()[0]);
    for (int n = 0; n < 10000; ++n) {
        const quint64 bits = random();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        const double reading =
            double(qint64(random() % 2000000) - 1000000) / std::pow(10.0, double(random() % 9));
        for (const double number : {any, reading})
            if (std::isfinite(number))
                QCOMPARE(numberText(number),
                         QString::number(number, 'g', QLocale::FloatingPointShortest));
    }
}

void TestRecordSchema::localTimesAcrossTransitions_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("UTC") << QByteArray("UTC");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("New York") << QByteArray("America/New_York");
    QTest::newRow("Lord Howe: half-hour summer time") << QByteArray("Australia/Lord_Howe");
    QTest::newRow("Kathmandu: no transitions lately") << QByteArray("Asia/Kathmandu");
}

// The text listing's local times, newest first and to the millisecond around every change of
// the zone's offset, are what Qt's own conversion says.
void TestRecordSchema::localTimesAcrossTransitions()
{
    QFETCH(QByteArray, zone);
    const QByteArray before = qgetenv("TZ");
    qputenv("TZ", zone);
    const QTimeZone local(zone);
    QDateTime at(QDate(2027, 12, 31), QTime(23, 59, 59, 999), QTimeZone::utc());
    QList<QDateTime> instants;
    for (int step = 0; step < 8; ++step) {
        const QTimeZone::OffsetData change = local.previousTransition(at);
        at = change.atUtc.isValid() ? change.atUtc : at.addDays(-100);
        for (const qint64 offset : {3600000, 1, 0, -1, -3600000})
            instants << at.addMSecs(offset);
    }
    // Newest first, as listed, and then the other way round.
    QList<QDateTime> forward = instants;
    std::reverse(forward.begin(), forward.end());
    instants << forward;
    for (const QDateTime& instant : std::as_const(instants)) {
        Record record = sample("T", instant.toMSecsSinceEpoch());
        const QString shown = textLine(record).section('\t', 1, 1);
        QCOMPARE(shown, instant.toLocalTime().toString(Qt::ISODate));
    }
    before.isNull() ? qunsetenv("TZ") : qputenv("TZ", before);
}

QTEST_GUILESS_MAIN(TestRecordSchema)
#include "tst_recordschema.moc"

void TestRecordSchema::pointsInJson_data()
{
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("json");
    QTest::newRow("as written") << "target=0 readings=0.03,0.05 uc=0.0104 nuEff=inf k=2 U=0.021 "
                                   "verdict=Conditional pass"
                                << "[{\"U\":0.021,\"k\":2,\"nuEff\":null,\"readings\":[0.03,0.05],"
                                   "\"target\":0,\"uc\":0.0104,\"verdict\":\"Conditional pass\"}]";
    QTest::newRow("none read") << ""
                               << "[]";
    // Whatever another program put there is shown as it is, never as a list it is not.
    QTest::newRow("a number that is none")
        << "target=0 readings=0.03 uc=x nuEff=inf k=2 U=0.021 verdict=Pass"
        << "\"target=0 readings=0.03 uc=x nuEff=inf k=2 U=0.021 verdict=Pass\"";
    QTest::newRow("a key missing") << "target=0 readings=0.03 uc=0.01 k=2 U=0.021 verdict=Pass"
                                   << "\"target=0 readings=0.03 uc=0.01 k=2 U=0.021 verdict=Pass\"";
    QTest::newRow("not JSON's form of a number")
        << "target=.5 readings=0.03 uc=0.01 nuEff=inf k=2 U=0.021 verdict=Pass"
        << "\"target=.5 readings=0.03 uc=0.01 nuEff=inf k=2 U=0.021 verdict=Pass\"";
    QTest::newRow("a quote in the verdict")
        << "target=0 readings=0 uc=0 nuEff=inf k=2 U=0 verdict=\"x"
        << "[{\"U\":0,\"k\":2,\"nuEff\":null,\"readings\":[0],\"target\":0,\"uc\":0,"
           "\"verdict\":\"\\\"x\"}]";
}

// The results at points in a JSON listing: a list when the kept text is as this program
// writes it, the text itself otherwise; the numbers as they are kept.
void TestRecordSchema::pointsInJson()
{
    QFETCH(QString, kept);
    QFETCH(QString, json);
    Record record = quarvet::test::evaluatedRecord();
    record.asLeftPoints = kept;
    const QJsonObject listed = QJsonDocument::fromJson(jsonObject(record).toUtf8()).object();
    QVERIFY(!listed.isEmpty());
    const QString shown = QString::fromUtf8(
        QJsonDocument(QJsonArray{listed["as_left_points"]}).toJson(QJsonDocument::Compact));
    QCOMPARE(shown, "[" + json + "]");
}
