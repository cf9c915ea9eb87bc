#include "messages/storemessages.h"
#include "records/checkpoints.h"
#include "records/storechoice.h"
#include "samplerecord.h"
#include "teststores.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrl>
#include <QUuid>

using namespace quarvet::records;

namespace {

const QString hashA = QString(64, QLatin1Char('a'));
const QString hashB = QString(64, QLatin1Char('b'));

// A line as the cache keeps one, for the store at `location`.
QByteArray lineFor(const QString& location, const QByteArray& count = "3",
                   const QByteArray& hash = hashA.toLatin1(),
                   const QByteArray& saved = "2026-01-02T03:04:05.006Z",
                   const QByteArray& sealPosition = "0")
{
    return QUrl::toPercentEncoding(location) + '\t' + count + "\t7\t" + hash + '\t' + saved + '\t' +
           sealPosition + '\t' + hashB.toLatin1() + "\t2\n";
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

ChainCheckpoint checkpointOf(qint64 count)
{
    ChainCheckpoint checkpoint;
    checkpoint.count = count;
    checkpoint.order = count;
    checkpoint.hash = hashA;
    checkpoint.savedUtc = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone::utc());
    checkpoint.seals = {1, hashB};
    checkpoint.issueSequence = 2;
    return checkpoint;
}

// A record as saved now, under a new id.
Record sample(const QString& serial)
{
    Record record = quarvet::test::fixedRecord();
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::currentDateTimeUtc();
    record.programVersion = QStringLiteral("1.0.0");
    record.serial = serial;
    record.corrects.clear();
    return record;
}

// A store of the row's backend, `records` to reach it, and a cache of the test's own for its
// checkpoints; the test skipped when the backend is missing.
#define STORE_WITH_ITS_CACHE()                                                                     \
    QFETCH(QString, backend);                                                                      \
    QString skipReason;                                                                            \
    quarvet::test::TestStore store(backend, skipReason);                                           \
    if (store.location().isEmpty())                                                                \
        QSKIP(qPrintable("PostgreSQL cases skipped: " + skipReason));                              \
    const auto records = chooseRecordStore(store.isPostgres() ? store.location() : QString(),      \
                                           QString(), store.location());                           \
    QTemporaryDir cache;                                                                           \
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8())

} // namespace

class TestCheckpoints : public QObject {
    Q_OBJECT
private slots:
    void cacheFileFromTheEnvironment_data();
    void cacheFileFromTheEnvironment();
    void onlyOurLinesAreRead_data();
    void onlyOurLinesAreRead();
    void latestStoresKept();
    void walkGoesOnFromTheCheckpoint_data();
    void walkGoesOnFromTheCheckpoint();
    void checkpointThatDoesNotStandIsNotUsed_data();
    void checkpointThatDoesNotStandIsNotUsed();
    void walkOnwardSaysItsCounts_data();
    void walkOnwardSaysItsCounts();
};

void TestCheckpoints::cacheFileFromTheEnvironment_data()
{
    QTest::addColumn<QString>("cacheHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("file");
    QTest::newRow("the cache's own folder") << "/c/"
                                            << "/h"
                                            << "/c/Quarvet/chain-checkpoints";
    QTest::newRow("home's when none is set") << ""
                                             << "/h"
                                             << "/h/.cache/Quarvet/chain-checkpoints";
    // A relative folder would be read from wherever the program was started.
    QTest::newRow("home's for a relative one") << "c"
                                               << "/h"
                                               << "/h/.cache/Quarvet/chain-checkpoints";
    QTest::newRow("none without an absolute folder") << "c"
                                                     << "h"
                                                     << "";
    QTest::newRow("climbing out is cleaned") << "/c/../d"
                                             << ""
                                             << "/d/Quarvet/chain-checkpoints";
}

void TestCheckpoints::cacheFileFromTheEnvironment()
{
    QFETCH(QString, cacheHome);
    QFETCH(QString, home);
    QFETCH(QString, file);
    QCOMPARE(checkpointFile(cacheHome, home), file);
}

void TestCheckpoints::onlyOurLinesAreRead_data()
{
    const QString store = QStringLiteral("/data/records.sqlite");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("read");
    QTest::newRow("a line of ours") << lineFor(store) << true;
    QTest::newRow("among others' lines")
        << lineFor("/else") + "junk\n" + lineFor(store) + lineFor("/more") << true;
    QTest::newRow("another store's line") << lineFor("/data/records.sqlite2") << false;
    QTest::newRow("a field short")
        << QString::fromLatin1(lineFor(store)).section('\t', 0, 6).toLatin1() + '\n'
        << false;
    QTest::newRow("a field more") << lineFor(store).chopped(1) + "\t9\n" << false;
    QTest::newRow("no records") << lineFor(store, "0") << false;
    QTest::newRow("a count that is no number") << lineFor(store, "3x") << false;
    QTest::newRow("a hash of capitals") << lineFor(store, "3", hashA.toUpper().toLatin1()) << false;
    QTest::newRow("a hash cut short") << lineFor(store, "3", hashA.left(63).toLatin1()) << false;
    QTest::newRow("a date that is none")
        << lineFor(store, "3", hashA.toLatin1(), "yesterday") << false;
    QTest::newRow("a seal before the first")
        << lineFor(store, "3", hashA.toLatin1(), "2026-01-02T03:04:05.006Z", "-1") << false;
    QTest::newRow("binary bytes") << QByteArray("\0\xff\t\t\t\t\t\t\t\n", 10) << false;
    // A file of a size no cache of ours reaches is not read at all, whatever it holds.
    QTest::newRow("larger than a cache") << lineFor(store) + QByteArray(1024 * 1024, '#') << false;
}

// A cache is the user's file, open to any program: what it holds is used only where every
// field is what this program writes, and anything else costs a whole walk.
void TestCheckpoints::onlyOurLinesAreRead()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, read);
    QTemporaryDir dir;
    const QString file = dir.filePath("chain-checkpoints");
    QVERIFY(writeFile(file, content));
    const std::optional<ChainCheckpoint> checkpoint =
        readCheckpoint(file, QStringLiteral("/data/records.sqlite"));
    QCOMPARE(checkpoint.has_value(), read);
    if (read) {
        QCOMPARE(checkpoint->count, 3);
        QCOMPARE(checkpoint->order, 7);
        QCOMPARE(checkpoint->hash, hashA);
        QCOMPARE(checkpoint->seals.hash, hashB);
        QCOMPARE(checkpoint->issueSequence, 2);
        QCOMPARE(checkpoint->savedUtc,
                 QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone::utc()));
    }
    // Keeping a checkpoint writes a cache of this program's lines alone.
    QVERIFY(keepCheckpoint(file, QStringLiteral("/other"), checkpointOf(9)));
    QCOMPARE(readCheckpoint(file, QStringLiteral("/other"))->count, 9);
    QCOMPARE(readCheckpoint(file, QStringLiteral("/data/records.sqlite")).has_value(), read);
}

// One line a store, the stores walked most lately kept; a folder where the file should be
// keeps nothing and reads nothing.
void TestCheckpoints::latestStoresKept()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cache/Quarvet/chain-checkpoints");
    for (int store = 0; store < 105; ++store)
        QVERIFY(keepCheckpoint(file, QStringLiteral("/s%1").arg(store), checkpointOf(store + 1)));
    QVERIFY(keepCheckpoint(file, QStringLiteral("/s104"), checkpointOf(500)));
    QCOMPARE(readCheckpoint(file, QStringLiteral("/s104"))->count, 500);
    QCOMPARE(readCheckpoint(file, QStringLiteral("/s5"))->count, 6);
    QVERIFY(!readCheckpoint(file, QStringLiteral("/s4")));
    QFile lines(file);
    QVERIFY(lines.open(QIODevice::ReadOnly));
    QCOMPARE(lines.readAll().count('\n'), 100);
    QVERIFY(QFile::remove(file) && QDir().mkpath(file));
    QVERIFY(!keepCheckpoint(file, QStringLiteral("/s1"), checkpointOf(1)));
    QVERIFY(!readCheckpoint(file, QStringLiteral("/s1")));
    // A link in its place is neither read nor written through, to wherever it points.
    const QString elsewhere = dir.filePath("elsewhere");
    QVERIFY(writeFile(elsewhere, lineFor("/s1")));
    QVERIFY(QDir(file).removeRecursively() && QFile::link(elsewhere, file));
    QVERIFY(!readCheckpoint(file, QStringLiteral("/s1")));
    QVERIFY(!keepCheckpoint(file, QStringLiteral("/s2"), checkpointOf(2)));
    QFile target(elsewhere);
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), lineFor("/s1"));
}

void TestCheckpoints::walkGoesOnFromTheCheckpoint_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("statement"); // %1..%5 are the records' ids, in saving order
    QTest::addColumn<int>("resumedAfter");
    QTest::addColumn<int>("brokenAt"); // the record the walk finds broken first, 0 for none
    QTest::addColumn<int>("wholeWalkBrokenAt");
    for (const char* backend : {"sqlite", "postgresql"}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", backend, name) << QString::fromLatin1(backend);
        };
        row("nothing changed") << "" << 3 << 0 << 0;
        row("a record saved since changed")
            << "UPDATE records SET technician = 'Mallory' WHERE id = '%5'" << 3 << 5 << 5;
        // Where the walk before stopped no longer holds: everything is walked again.
        row("the checkpoint's record given another hash")
            << "UPDATE records SET hash = '" + hashA + "' WHERE id = '%3'" << 0 << 3 << 3;
        row("the checkpoint's record removed")
            << "DELETE FROM verification WHERE record_id = '%3'; DELETE FROM records WHERE id = "
               "'%3'"
            << 0 << 4 << 4;
        // What was found whole is not read again by the everyday walk; the whole walk of
        // records verify and Check store finds it.
        row("a record found whole before changed")
            << "UPDATE records SET technician = 'Mallory' WHERE id = '%1'" << 3 << 0 << 1;
    }
}

// The everyday walk reads only what was saved since a walk found the chain whole, from where
// it stopped, and holds those records to the chain as a whole walk does.
void TestCheckpoints::walkGoesOnFromTheCheckpoint()
{
    QFETCH(QString, statement);
    QFETCH(int, resumedAfter);
    QFETCH(int, brokenAt);
    QFETCH(int, wholeWalkBrokenAt);
    STORE_WITH_ITS_CACHE();
    QStringList ids;
    const auto save = [&] {
        const Record record = sample(QStringLiteral("SN-%1").arg(ids.size() + 1));
        ids << record.id;
        return !records->add(record).failed();
    };
    QVERIFY(save() && save() && save());
    ChainReport first;
    QVERIFY(!checkChainOnward(*records, first).failed());
    QVERIFY(first.whole());
    QCOMPARE(first.resumedAfter, 0);
    QVERIFY(save() && save());
    QString tamper = statement;
    for (int n = 0; n < ids.size(); ++n)
        tamper.replace(QStringLiteral("%%1").arg(n + 1), ids[n]);
    if (!tamper.isEmpty())
        QVERIFY(store.runSql(
            quarvet::test::unguarded(store.isPostgres(), tamper.split(QStringLiteral("; ")))));
    ChainReport onward;
    const StoreFailure failure = checkChainOnward(*records, onward);
    QVERIFY2(!failure.failed(), qPrintable(quarvet::messages::storeFault(failure.fault)));
    QCOMPARE(onward.resumedAfter, resumedAfter);
    QCOMPARE(firstBreak(onward),
             brokenAt == 0 ? QString() : QStringLiteral("record ") + ids[brokenAt - 1]);
    // A store found broken keeps no checkpoint: every walk reads it whole until it is mended.
    const QString file = checkpointFile(cache.path(), {});
    const std::optional<ChainCheckpoint> kept = readCheckpoint(file, records->location());
    QCOMPARE(kept.has_value(), brokenAt == 0);
    if (kept)
        QCOMPARE(kept->count, 5);
    ChainReport whole;
    QVERIFY(!records->checkChain(whole).failed());
    QCOMPARE(firstBreak(whole), wholeWalkBrokenAt == 0
                                    ? QString()
                                    : QStringLiteral("record ") + ids[wholeWalkBrokenAt - 1]);
}

void TestCheckpoints::checkpointThatDoesNotStandIsNotUsed_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("forged"); // which of the checkpoint's claims is not the store's
    for (const char* backend : {"sqlite", "postgresql"})
        for (const char* forged : {"more records", "a seal", "an issue"})
            QTest::addRow("%s: %s", backend, forged) << backend << forged;
}

// A checkpoint whose record stands but whose count, seal or issue the store does not hold (a
// cache any program may write, or a store put back from a copy) is not gone on from: the
// whole chain is walked.
void TestCheckpoints::checkpointThatDoesNotStandIsNotUsed()
{
    QFETCH(QString, forged);
    STORE_WITH_ITS_CACHE();
    for (int n = 0; n < 3; ++n)
        QVERIFY(!records->add(sample(QStringLiteral("SN-%1").arg(n))).failed());
    ChainReport first;
    QVERIFY(!checkChainOnward(*records, first).failed());
    const QString file = checkpointFile(cache.path(), {});
    std::optional<ChainCheckpoint> checkpoint = readCheckpoint(file, records->location());
    QVERIFY(checkpoint);
    if (forged == "more records")
        checkpoint->count = 1000000;
    else if (forged == "a seal")
        checkpoint->seals = {999, hashB};
    else
        checkpoint->issueSequence = 999;
    QVERIFY(keepCheckpoint(file, records->location(), checkpoint));
    QVERIFY(!records->add(sample(QStringLiteral("SN-3"))).failed());
    ChainReport onward;
    QVERIFY(!checkChainOnward(*records, onward).failed());
    QCOMPARE(onward.resumedAfter, 0);
    QCOMPARE(onward.count, 4);
    QVERIFY(onward.whole());
}

void TestCheckpoints::walkOnwardSaysItsCounts_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("resumedAfter");
    QTest::addColumn<QString>("begins");
    QTest::newRow("one record, found before")
        << qint64(1) << qint64(1) << "1 record, chain intact, head ";
    QTest::newRow("two, one found before")
        << qint64(2) << qint64(1) << "2 records, chain intact, head ";
    QTest::newRow("three, two found before")
        << qint64(3) << qint64(2) << "3 records, chain intact, head ";
    // Said of stores whose chain is not whole or not made yet: the singular where it counts one.
    QTest::newRow("one record not chained yet")
        << qint64(1) << qint64(-1)
        << "The record store here keeps no hash chain yet (schema 1): the next save chains its "
           "1 record.";
    QTest::newRow("one reading left of a removed record")
        << qint64(1) << qint64(-2)
        << "Chain broken: 1 reading belongs to no record in the store: the record it was saved "
           "with was removed.";
}

// What the history says of a walk of the chain, in the singular where it counts one.
void TestCheckpoints::walkOnwardSaysItsCounts()
{
    QFETCH(qint64, count);
    QFETCH(qint64, resumedAfter);
    QFETCH(QString, begins);
    ChainReport report;
    report.count = count;
    report.head = QString(64, QLatin1Char('a'));
    // -1: a store that keeps no chain yet; -2: one with a reading whose record is gone.
    report.chained = resumedAfter != -1;
    report.notes.version = 1;
    report.notes.orphanReadings = resumedAfter == -2 ? 1 : 0;
    report.resumedAfter = std::max<qint64>(resumedAfter, 0);
    const QString said = quarvet::messages::chainReport(report, QStringLiteral("here"));
    QVERIFY2(said.startsWith(begins), qPrintable(said));
    if (resumedAfter < 0)
        return;
    QVERIFY2(said.contains(QStringLiteral("(the first %1 %2 found intact")
                               .arg(resumedAfter)
                               .arg(resumedAfter == 1 ? "was" : "were")),
             qPrintable(said));
}

QTEST_GUILESS_MAIN(TestCheckpoints)
#include "tst_checkpoints.moc"
