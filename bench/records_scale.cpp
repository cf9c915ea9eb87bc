// The record store at a lab's scale: a store of COUNT records (1,000,000 by default) made by
// this program, against a store of ten, and each reading against its floor in the same run.
//   records_scale QUARVET-CLI [COUNT] [RUNS] [POSTGRES-URL [postgres-only]]
// - a save: into the large store against into the small one;
// - a lookup by serial number (quarvet-cli records list --serial): large against small;
// - quarvet-cli records list in each format against sqlite3 -csv printing the same rows,
//   (a row a record, as the listing prints), with the largest resident size of each;
// - the history window: until its first rows are shown, its resident size, and its filter;
// - the history's filter against the database's own query of the same records;
// - a store of the first schema: the history's first rows, and the first save, which brings
//   it up to date, against its schema's steps with the records chained by hand; in it, once
//   upgraded, issues against a store of twenty, and the history's chain check on opening;
// - with a PostgreSQL URL, a database of as many records beside one of ten: the same listing
//   against psql fetching in batches, the lookups, the history's first rows and its filter.
#include "scaletools.h"

#include "history/historypage.h"
#include "history/historywindow.h"
#include "history/recordtablemodel.h"
#include "records/chain.h"
#include "records/postgresrecordstore.h"
#include "records/schema.h"
#include "records/sqliterecordstore.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

using namespace quarvet;
using namespace quarvet::bench;

namespace {

records::Record sample(const QString& serial)
{
    records::Record record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::currentDateTimeUtc();
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = serial;
    record.technician = QStringLiteral("Technician");
    record.referenceId = QStringLiteral("REF-7");
    record.referenceUncertainty = 0.02;
    record.referenceDue = QDate(2030, 1, 1);
    record.entriesTyped = {"0", "100", "0.5", "99"};
    record.entriesRead = {0, 100, 0.5, 99};
    record.currentSlopeCode = "2710";
    record.currentOffsetCode = "0000";
    record.slopeCode = "27A8";
    record.offsetCode = "FE04";
    record.verification = {{0, 0.03}, {100, 99.99}};
    record.tolerance = 0.1;
    record.rule = "pass when |error| <= tolerance - uncertainty (guard band = 0.02)";
    record.verdict = "Pass";
    record.note = "a note of some length, as technicians write them";
    // Each point's budget, as records are kept since the uncertainty of results is evaluated.
    record.setUp = records::BudgetSetUp{};
    record.decisionRule = "guarded";
    record.rule = "guarded acceptance: pass when |error| <= tolerance - U at each point";
    record.asFoundVerdict = "Fail";
    const double inf = std::numeric_limits<double>::infinity();
    record.asFoundPoints =
        records::pointsText({{0, {0.5}, 0.010408329997330663, inf, 2, 0.021, "Fail"},
                             {100, {99}, 0.010408329997330663, inf, 2, 0.021, "Fail"}});
    record.asLeftPoints =
        records::pointsText({{0, {0.03}, 0.010408329997330663, inf, 2, 0.021, "Pass"},
                             {100, {99.99}, 0.010408329997330663, inf, 2, 0.021, "Pass"}});
    return record;
}

// The copies of the first record, one a second (so that the last is saved before today, as the
// store's clock check wants), about 63 to a serial number at a million.
const char* const copyRecords =
    "INSERT INTO records (id, created_utc, program_version, instrument_type, serial, "
    "display_line, technician, reference_id, reference_u, reference_due, ambient, target1_typed, "
    "target2_typed, indicated1_typed, indicated2_typed, target1, target2, indicated1, "
    "indicated2, current_slope_code, current_offset_code, slope_code, offset_code, "
    "predicted_error1, predicted_error2, tolerance, rule, verdict, note, reference_k, drift, "
    "resolution, uniformity, stability, decision_rule, as_found_verdict, as_found_points, "
    "as_left_points) SELECT %1, %2, "
    "program_version, instrument_type, 'SN-' || (i % 16000), display_line, technician, "
    "reference_id, reference_u, reference_due, ambient, target1_typed, target2_typed, "
    "indicated1_typed, indicated2_typed, target1, target2, indicated1, indicated2, "
    "current_slope_code, current_offset_code, slope_code, offset_code, predicted_error1, "
    "predicted_error2, tolerance, rule, verdict, note, reference_k, drift, resolution, "
    "uniformity, stability, decision_rule, as_found_verdict, as_found_points, as_left_points "
    "FROM %3, records WHERE records.id = '%4'";
const char* const copyReadings = "INSERT INTO verification SELECT %1, position, target, reading "
                                 "FROM %2, verification WHERE record_id = '%3'";

// One record saved by the store, then copied in two statements to `count` records.
bool makeSqlite(const QString& path, int count)
{
    const records::Record first = sample("SN-0");
    if (records::SqliteRecordStore(path).add(first).failed())
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "fill");
        database.setDatabaseName(path);
        QSqlQuery query(database);
        const QString numbers =
            QStringLiteral("(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < %1) SELECT i FROM n)")
                .arg(count - 1);
        const QString id = "printf('%08x-0000-4000-8000-000000000000', i)";
        const QString when = "strftime('%Y-%m-%dT%H:%M:%f', '2026-01-01', '+' || i || "
                             "' seconds') || 'Z'";
        // The readings first, as the store saves them: it takes none for a record kept already.
        ok = database.open() && query.exec("BEGIN") &&
             query.exec(QString(copyReadings).arg(id, numbers, first.id)) &&
             query.exec(QString(copyRecords).arg(id, when, numbers, first.id)) &&
             query.exec("COMMIT");
        if (!ok)
            std::fprintf(stderr, "records_scale: %s\n", qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

// A connection of this process to the database at `address`, named `name`.
QSqlDatabase postgresConnection(const records::PostgresAddress& address, const QString& name)
{
    QSqlDatabase database = QSqlDatabase::addDatabase("QPSQL", name);
    database.setHostName(address.host);
    database.setPort(address.port);
    database.setUserName(address.user);
    database.setDatabaseName(address.databaseName);
    return database;
}

// The first copies hashed and chained as the program would, so that the lookups' commands,
// which write certificates of them, find each record's fields give its hash.
bool rehashFirstCopies(const records::PostgresAddress& address, int copies, QSqlQuery& query)
{
    records::PostgresRecordStore store(address);
    QList<records::Record> read;
    records::RecordFilter filter;
    filter.order = records::ListOrder::AsSaved;
    filter.limit = copies + 1;
    if (store
            .visit(filter,
                   [&](const records::ListedRecord& listed) {
                       read.append(listed.record);
                       return true;
                   })
            .failed() ||
        read.size() != copies + 1 || !query.exec("BEGIN") ||
        !query.exec("SET LOCAL session_replication_role = replica") ||
        !query.prepare("UPDATE records SET previous_hash = ?, hash = ? WHERE id = ?"))
        return false;
    for (int n = 1; n <= copies; ++n) {
        read[n].previousHash = read[n - 1].hash;
        read[n].hash = records::recordHash(read[n]);
        query.addBindValue(read[n].previousHash);
        query.addBindValue(read[n].hash);
        query.addBindValue(read[n].id);
        if (!query.exec())
            return false;
    }
    return query.exec("COMMIT");
}

bool makePostgres(const QString& url, int count)
{
    QString fault;
    const auto address = records::readPostgresUrl(url, fault);
    const records::Record first = sample("SN-0");
    if (!address || records::PostgresRecordStore(*address).add(first).failed())
        return false;
    bool ok = true;
    {
        QSqlDatabase database = postgresConnection(*address, "fill");
        QSqlQuery query(database);
        const QString numbers = QStringLiteral("generate_series(1, %1) AS g(i)").arg(count - 1);
        const QString id = "lpad(to_hex(i), 8, '0') || '-0000-4000-8000-000000000000'";
        const QString when = "to_char(timestamp '2026-01-01' + i * interval '1 second', "
                             "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
        // The server holds each record to the head of the chain as it comes; the copies are
        // linked one to the next instead (their hashes stand for ones, which no save reads),
        // with the server's checks held off for this transaction alone.
        const QString records = QString(copyRecords)
                                    .replace("INSERT INTO records (id, created_utc, ",
                                             "INSERT INTO records (id, created_utc, "
                                             "previous_hash, hash, ")
                                    .replace("SELECT %1, %2, ", "SELECT %1, %2, %5, %6, ");
        ok =
            database.open() && query.exec("BEGIN") &&
            query.exec("SET LOCAL session_replication_role = replica") &&
            query.exec(records.arg(id, when, numbers, first.id,
                                   "CASE WHEN i = 1 THEN records.hash ELSE 'bench-' || (i - 1) END",
                                   "'bench-' || i")) &&
            query.exec(QString(copyReadings).arg(id, numbers, first.id)) && query.exec("COMMIT") &&
            rehashFirstCopies(*address, std::min(count - 1, 9), query) && query.exec("ANALYZE");
        if (!ok)
            std::fprintf(stderr, "records_scale: %s\n", qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

// The floor prints what the listing prints: a row a record, its readings in one column,
// newest first (the database's own number format, which is cheaper than the exact one).
const char* const listingQuery =
    "SELECT r.*, (SELECT group_concat(v.target || ' ' || v.reading, '; ') FROM verification v "
    "WHERE v.record_id = r.id) FROM records r ORDER BY r.created_utc DESC, r.rowid DESC";
const char* const postgresListingQuery =
    "SELECT r.*, (SELECT string_agg(v.target || ' ' || v.reading, '; ' ORDER BY v.position) "
    "FROM verification v WHERE v.record_id = r.id) FROM records r ORDER BY r.created_utc DESC, "
    "r.saved_order DESC";

// A save and a lookup by serial number, in the large store against the small one, in turn.
void saveAndLookup(const QString& cli, const QString& large, const QString& small, int runs)
{
    records::SqliteRecordStore smallStore(small + "/Quarvet/records.sqlite");
    records::SqliteRecordStore largeStore(large + "/Quarvet/records.sqlite");
    std::vector<double> saves[2];
    for (int round = 0; round < runs * 4; ++round) {
        saves[0].push_back(timed(1, [&] { smallStore.add(sample("SN-NEW")); }));
        saves[1].push_back(timed(1, [&] { largeStore.add(sample("SN-NEW")); }));
    }
    // SN-7 is in both stores: once in the small one, about 63 times in the large one.
    const QStringList lookup{"records", "list", "--serial", "SN-7"};
    const std::vector<Timing> lookups = alternating(
        runs, {{cli, lookup, environmentFor(small, {})}, {cli, lookup, environmentFor(large, {})}});
    std::printf("%-52s %8s    %6s\n", "", "", "ratio");
    report("save, store of 10 records (floor)", median(saves[0]), median(saves[0]));
    report("save, large store", median(saves[1]), median(saves[0]));
    holdTo(median(saves[1]) <= 1.5 * median(saves[0]), "a save within 1.5x of a small store's");
    report("records list --serial, store of 10 (floor)", lookups[0].seconds, lookups[0].seconds);
    report("records list --serial, large store", lookups[1].seconds, lookups[0].seconds);
    holdTo(lookups[1].seconds <= 2 * lookups[0].seconds, "a lookup by serial within 2x");
}

// A command run to its end, output thrown away; its time.
double timedCommand(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
    return timer.nsecsElapsed() / 1e9;
}

// Commands that find one record by a prefix of its id (a certificate; a correction, which
// finds the record it corrects), in the small store against the large one, in turn: another
// record each round, since a record is corrected once.
void lookups(const QString& cli, const QProcessEnvironment& small, const QProcessEnvironment& large,
             int runs)
{
    const QProcessEnvironment environments[2] = {small, large};
    std::vector<double> seconds[2][2];
    QTemporaryDir out;
    for (int round = 0; round < std::min(runs, 9); ++round)
        for (int store = 0; store < 2; ++store) {
            const QProcessEnvironment& environment = environments[store];
            const QString id = QStringLiteral("%1").arg(round + 1, 8, 16, QLatin1Char('0'));
            seconds[0][store].push_back(timedCommand(
                cli, {"records", "certificate", id, "-o", out.filePath("c.pdf")}, environment));
            seconds[1][store].push_back(timedCommand(
                cli,
                {"records",         "add",        "--corrects",  id,      "--reason",      "bench",
                 "--serial",        "SN-C",       "--type",      "742",   "--line",        "1",
                 "--technician",    "Jo",         "--reference", "REF-7", "--reference-u", "0.02",
                 "--reference-due", "2099-01-01", "0",           "100",   "0.5",           "99"},
                environment));
        }
    report("records certificate ID, store of 10 (floor)", median(seconds[0][0]),
           median(seconds[0][0]));
    report("records certificate ID, large store", median(seconds[0][1]), median(seconds[0][0]));
    holdTo(median(seconds[0][1]) <= 1.5 * median(seconds[0][0]), "a certificate within 1.5x");
    report("correction (records add --corrects), store of 10", median(seconds[1][0]),
           median(seconds[1][0]));
    report("correction (records add --corrects), large store", median(seconds[1][1]),
           median(seconds[1][0]));
    holdTo(median(seconds[1][1]) <= 1.5 * median(seconds[1][0]), "a correction within 1.5x");
}

// quarvet-cli's listings against sqlite3 -csv printing the same rows, in turn.
void listings(const QString& cli, const QString& folder, int runs)
{
    const QProcessEnvironment environment = environmentFor(folder, {});
    std::vector<Command> commands{
        {"sqlite3", {"-csv", folder + "/Quarvet/records.sqlite", listingQuery}, environment}};
    const char* const formats[] = {"csv", "text", "json"};
    for (const char* format : formats)
        commands.push_back({cli, {"records", "list", "--format", format}, environment});
    const std::vector<Timing> timings = alternating(runs, commands);
    report("sqlite3 -csv, the same rows (floor)", timings[0].seconds, timings[0].seconds,
           timings[0].kib);
    const double goals[] = {1.5, 2, 2};
    for (int n = 0; n < 3; ++n) {
        report(qPrintable(QStringLiteral("records list --format %1").arg(formats[n])),
               timings[n + 1].seconds, timings[0].seconds, timings[n + 1].kib);
        holdTo(timings[n + 1].seconds <= goals[n] * timings[0].seconds &&
                   timings[n + 1].kib <= 64 * 1024,
               "a listing within its ratio of sqlite3 and 64 MiB");
    }
}

// Until the history window's first rows are shown, on a store `source` gives: the median of
// `runs`.
double firstRowsShown(const history::HistoryWindow::StoreSource& source, int runs)
{
    return timed(runs, [&] {
        auto* window = new history::HistoryWindow(source);
        QSignalSpy loaded(window, &history::HistoryWindow::loaded);
        window->show();
        loaded.wait(600000);
        QApplication::processEvents();
        delete window;
    });
}

// The history window over the large store: until its first rows are shown, its resident
// size after scrolling through ten pages, and its filter.
void historyWindow(const QString& file, int runs)
{
    long kib = 0;
    int filtered = 0;
    const double shown =
        firstRowsShown([&] { return std::make_shared<records::SqliteRecordStore>(file); }, runs);
    auto* window = new history::HistoryWindow(
        [&] { return std::make_shared<records::SqliteRecordStore>(file); });
    window->show();
    (void)QTest::qWaitFor([&] { return !window->isLoading(); }, 600000);
    for (int page = 0; page < 10; ++page) {
        window->records()->fetchMore({});
        (void)QTest::qWaitFor([&] { return !window->isLoading(); }, 600000);
    }
    kib = statusKib("VmHWM");
    const int rows = window->records()->rowCount();
    // On to the end: the pages scrolled past are let go, so memory stays as it was.
    while (window->records()->canFetchMore({})) {
        window->records()->fetchMore({});
        (void)QTest::qWaitFor([&] { return !window->isLoading(); }, 600000);
        window->records()->data(window->records()->index(window->records()->rowCount() - 1, 0),
                                Qt::DisplayRole);
    }
    const long endKib = statusKib("VmHWM");
    const int allRows = window->records()->rowCount();
    QElapsedTimer timer;
    timer.start();
    const int held = window->records()->pagesHeld();
    window->findChild<QLineEdit*>()->setText("SN-4242");
    (void)QTest::qWaitFor([&] { return !window->isLoading(); }, 600000);
    const double filterSeconds = timer.nsecsElapsed() / 1e9;
    filtered = window->records()->rowCount();
    delete window;
    report("history window: first rows shown", shown, 1.0);
    holdTo(shown <= 1.0, "the history's first rows within 1 s");
    std::printf("%-52s %8d rows, largest resident size %.1f MiB\n",
                "history window: ten pages scrolled", rows, kib / 1024.0);
    std::printf("%-52s %8d rows, largest resident size %.1f MiB, %d pages held\n",
                "history window: scrolled to the end", allRows, endKib / 1024.0, held);
    holdTo(endKib <= 100 * 1024, "the history scrolled to its end within 100 MiB");
    qint64 matches = 0;
    records::RecordFilter filter;
    filter.serialContains = "SN-4242";
    records::SqliteRecordStore(file).count(filter, matches);
    std::printf("%-52s %8.3f s, %d of %lld matches shown\n",
                "history window: filter SN-4242 (250 ms pause)", filterSeconds, filtered, matches);
}

// The history's filter as the window reads it (the first page, the store's count and the
// count of those picked), against the database's own query of the same records with their
// readings, in turn in this process.
void filterAgainstQuery(records::RecordStore& store, QSqlDatabase database, const char* floor,
                        const char* floorLabel, int runs)
{
    records::RecordFilter wanted;
    wanted.serialContains = "SN-4242";
    wanted.corrections = true;
    wanted.limit = history::RecordTableModel::pageRows;
    std::vector<double> seconds[2];
    qint64 shown = 0;
    qint64 rows = 0;
    for (int round = 0; round < runs; ++round) {
        seconds[0].push_back(timed(1, [&] {
            QSqlQuery query(database);
            query.setForwardOnly(true);
            query.exec(QString::fromLatin1(floor));
            for (rows = 0; query.next(); ++rows)
                for (int n = 0; n < query.record().count(); ++n)
                    (void)query.value(n);
        }));
        seconds[1].push_back(timed(1, [&] {
            history::HistoryPage page;
            history::readHistoryPage(store, wanted, true, page);
            shown = page.matching;
        }));
    }
    report(floorLabel, median(seconds[0]), median(seconds[0]));
    report("history's filter SN-4242: page and counts", median(seconds[1]), median(seconds[0]));
    std::printf("%-52s %8lld records picked, %lld rows of the query\n", "", shown, rows);
    holdTo(median(seconds[1]) <= 1.5 * median(seconds[0]),
           "the history's filter within 1.5x of the database's query");
}

// The floors of the filter: the records whose serial holds SN-4242, whatever its case, with
// their readings, newest first.
const char* const filterQuery =
    "SELECT r.*, v.target, v.reading FROM records r LEFT JOIN verification v ON v.record_id = "
    "r.id WHERE r.serial LIKE '%SN-4242%' ORDER BY r.created_utc DESC, r.rowid DESC, v.position";
const char* const postgresFilterQuery =
    "SELECT r.*, v.target, v.reading FROM records r LEFT JOIN verification v ON v.record_id = "
    "r.id WHERE r.serial ILIKE '%SN-4242%' ORDER BY r.created_utc DESC, r.saved_order DESC, "
    "v.position";

void sqliteFilter(const QString& file, int runs)
{
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "floor");
        database.setDatabaseName(file);
        database.open();
        records::SqliteRecordStore store(file);
        filterAgainstQuery(store, database, filterQuery,
                           "sqlite3 query, serial LIKE '%SN-4242%' (floor)", runs);
    }
    QSqlDatabase::removeDatabase("floor");
}

// A store of the first schema: `count` copies of a record of a file that schema's program
// wrote, saved a hundred to the second.
bool makeFirstSchema(const QString& file, int count)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    bool made = QFile::copy(QStringLiteral(QUARVET_SCHEMA1_STORE), file) &&
                QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "first");
        database.setDatabaseName(file);
        QSqlQuery query(database);
        const QString columns =
            "program_version, instrument_type, display_line, technician, reference_id, "
            "reference_u, reference_due, ambient, target1_typed, target2_typed, "
            "indicated1_typed, indicated2_typed, target1, target2, indicated1, indicated2, "
            "current_slope_code, current_offset_code, slope_code, offset_code, "
            "predicted_error1, predicted_error2, tolerance, rule, verdict, note";
        made = made && database.open() &&
               query.exec(
                   QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                  "WHERE i < %1) INSERT INTO records (id, created_utc, serial, "
                                  "corrects, %2) SELECT printf('%08x-0000-4000-8000-000000000000', "
                                  "i), strftime('%Y-%m-%dT%H:%M:%S.000Z', '2026-12-08T21:00:00', "
                                  "'+' || (i / 100) || ' seconds'), 'SN-' || (i % 16000), '', %2 "
                                  "FROM n, (SELECT * FROM records LIMIT 1)")
                       .arg(count)
                       .arg(columns));
    }
    QSqlDatabase::removeDatabase("first");
    return made;
}

// The history's first rows of a store of the first schema, only read (a reader that may not
// upgrade it).
void firstSchemaHistory(const QString& firstSchema, int runs)
{
    QTemporaryDir folder;
    const QString file = folder.filePath("Quarvet/records.sqlite");
    if (!QDir().mkpath(folder.filePath("Quarvet")) || !QFile::copy(firstSchema, file)) {
        std::fprintf(stderr, "records_scale: the first schema's store could not be copied\n");
        return;
    }
    QFile::setPermissions(file, QFile::ReadOwner);
    const double shown =
        firstRowsShown([&] { return std::make_shared<records::SqliteRecordStore>(file); }, runs);
    report("history window, first schema only read: first rows", shown, 1.0);
    holdTo(shown <= 1.0, "a first-schema store's first rows within 1 s");
}

// Each record's SHA-256 over its columns and the hash before it, written back with one
// UPDATE a record.
bool chainRows(QSqlDatabase& database)
{
    QSqlQuery rows(database);
    rows.setForwardOnly(true);
    QSqlQuery update(database);
    bool ok = rows.exec("SELECT * FROM records ORDER BY rowid") &&
              update.prepare("UPDATE records SET previous_hash = ?, hash = ? WHERE id = ?");
    const int columns = rows.record().count();
    QByteArray previous(64, '0');
    while (ok && rows.next()) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(previous);
        for (int n = 0; n < columns; ++n)
            hash.addData(rows.value(n).toString().toUtf8() + '\x1f');
        const QByteArray hex = hash.result().toHex();
        update.addBindValue(QString::fromLatin1(previous));
        update.addBindValue(QString::fromLatin1(hex));
        update.addBindValue(rows.value(0));
        ok = update.exec();
        previous = hex;
    }
    if (!ok)
        std::fprintf(stderr, "records_scale: chaining by hand: %s%s\n",
                     qPrintable(rows.lastError().text()), qPrintable(update.lastError().text()));
    return ok;
}

// The floor of an upgrade: the schema's own steps, in one transaction, with the records
// chained by hand where the program chains them.
bool upgradeByHand(const QString& file)
{
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "chain");
        database.setDatabaseName(file);
        QSqlQuery query(database);
        ok = database.open() && query.exec("BEGIN");
        for (const QString& statement :
             records::migrationStatements(records::recordSchema(), records::sqliteDialect(), 1)) {
            if (statement == QLatin1String(records::chainStep))
                ok = ok && chainRows(database);
            else if (statement != QLatin1String(records::sealStep)) // nothing kept beside yet
                ok = ok && query.exec(statement);
        }
        ok = ok && query.exec("COMMIT");
        if (!ok && query.lastError().isValid())
            std::fprintf(stderr, "records_scale: the schema's steps by hand: %s\n",
                         qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase("chain");
    return ok;
}

// The first save into a store of the first schema, which brings it up to date, against the
// floor of its steps by hand, each on a copy of the store.
const QStringList saveArguments{
    "records",       "add",  "--serial",        "SN-U",       "--type",      "742",
    "--line",        "1",    "--technician",    "Jo",         "--reference", "REF-7",
    "--reference-u", "0.02", "--reference-due", "2099-01-01", "0",           "100",
    "0.5",           "99"};

// Issues of certificates in an upgraded store of the first schema (every record chained) of
// `folder` against one of twenty, in turn, each after an issue that leaves where its walk found
// the chain whole, as a lab's everyday issue does; then the history's chain check on opening,
// which goes on from there.
void issues(const QString& cli, const QString& folder, int runs)
{
    QTemporaryDir small;
    const QString smallFile = small.filePath("Quarvet/records.sqlite");
    if (!makeFirstSchema(smallFile, 20)) {
        ++missedGoals;
        return;
    }
    const QProcessEnvironment environments[2] = {environmentFor(small.path(), {}),
                                                 environmentFor(folder, {})};
    QTemporaryDir out;
    const auto issue = [&](int id, int store) {
        return timedCommand(cli,
                            {"records", "issue",
                             QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')), "--by",
                             "A. Meier", "--role", "Head of lab", "-o", out.filePath("issued.pdf")},
                            environments[store]);
    };
    for (int store = 0; store < 2; ++store) {
        timedCommand(cli, saveArguments, environments[store]);
        timedCommand(cli, {"lab", "set", "--name", "Bench lab", "--address", "1 Road"},
                     environments[store]);
        issue(19, store);
    }
    std::vector<double> seconds[2];
    for (int round = 0; round < std::min(runs, 9); ++round)
        for (int store = 0; store < 2; ++store)
            seconds[store].push_back(issue(round + 1, store));
    report("records issue ID, store of 20 (floor)", median(seconds[0]), median(seconds[0]));
    report("records issue ID, large store", median(seconds[1]), median(seconds[0]));
    holdTo(median(seconds[1]) <= 1.5 * median(seconds[0]), "an issue within 1.5x");
    const QString file = folder + "/Quarvet/records.sqlite";
    const double checked = timed(runs, [&] {
        auto* window = new history::HistoryWindow(
            [&] { return std::make_shared<records::SqliteRecordStore>(file); });
        QSignalSpy chainChecked(window, &history::HistoryWindow::chainChecked);
        window->show();
        chainChecked.wait(600000);
        delete window;
    });
    report("history window: chain checked on opening", checked, 1.0);
    holdTo(checked <= 2.0, "the history's chain check on opening within 2 s");
}

void upgradeAgainstFloor(const QString& cli, const QString& firstSchema, int runs)
{
    QTemporaryDir folders[2];
    const QString files[2] = {folders[0].filePath("Quarvet/records.sqlite"),
                              folders[1].filePath("Quarvet/records.sqlite")};
    for (const QString& file : files)
        if (!QDir().mkpath(QFileInfo(file).absolutePath()) || !QFile::copy(firstSchema, file)) {
            std::fprintf(stderr, "records_scale: the first schema's store could not be copied\n");
            return;
        }
    bool chained = false;
    const double floor = timed(1, [&] { chained = upgradeByHand(files[0]); });
    const double upgrade = timedCommand(cli, saveArguments, environmentFor(folders[1].path(), {}));
    report("its steps by hand, SHA-256 and an UPDATE a record (floor)", floor, floor);
    report("first save into it, which brings it up to date", upgrade, floor);
    holdTo(chained, "the floor's steps by hand");
    holdTo(upgrade <= 2 * floor, "an upgrade within 2x of its floor");
    issues(cli, folders[1].path(), runs);
}

// An empty database of its own beside the one at `url`, for a small store: its URL, or
// empty when it could not be made.
QString emptyDatabaseBeside(const QString& url, const QString& name)
{
    QString fault;
    const auto address = records::readPostgresUrl(url, fault);
    bool made = false;
    {
        QSqlDatabase database = postgresConnection(*address, "beside");
        QSqlQuery query(database);
        made = database.open() &&
               query.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name)) &&
               query.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    }
    QSqlDatabase::removeDatabase("beside");
    return made ? url.left(url.lastIndexOf(QLatin1Char('/')) + 1) + name : QString();
}

// The same listing from PostgreSQL against psql fetching in batches of 1000.
void postgresListing(const QString& cli, const QString& url, int runs)
{
    QString fault;
    const auto address = records::readPostgresUrl(url, fault);
    QProcessEnvironment psql = environmentFor({}, url);
    psql.insert("PGHOST", address->host);
    psql.insert("PGPORT", QString::number(address->port));
    psql.insert("PGUSER", address->user);
    psql.insert("PGDATABASE", address->databaseName);
    const QString query = QString::fromLatin1(postgresListingQuery);
    const std::vector<Timing> timings = alternating(
        runs, {{"psql", {"-X", "-q", "--csv", "-v", "FETCH_COUNT=1000", "-c", query}, psql},
               {cli, {"records", "list", "--format", "csv"}, environmentFor({}, url)}});
    report("psql --csv, FETCH_COUNT=1000 (floor)", timings[0].seconds, timings[0].seconds,
           timings[0].kib);
    report("records list --format csv", timings[1].seconds, timings[0].seconds, timings[1].kib);
}

// A PostgreSQL database of `count` records beside one of ten: the listing, the lookups, the
// history's first rows and its filter.
void postgresScale(const QString& cli, const QString& url, int count, int runs)
{
    const QString small = emptyDatabaseBeside(url, QStringLiteral("quarvet_bench_small"));
    if (small.isEmpty() || !makePostgres(url, count) || !makePostgres(small, 10)) {
        std::fprintf(stderr, "records_scale: the PostgreSQL records could not be made (%s)\n",
                     small.isEmpty() ? "no database beside" : qPrintable(small));
        ++missedGoals;
        return;
    }
    std::printf("PostgreSQL databases of %d and 10 records\n", count);
    postgresListing(cli, url, runs);
    lookups(cli, environmentFor({}, small), environmentFor({}, url), runs);
    QString fault;
    const auto address = records::readPostgresUrl(url, fault);
    const double shown = firstRowsShown(
        [&] { return std::make_shared<records::PostgresRecordStore>(*address); }, runs);
    report("history window: first rows shown", shown, 1.0);
    holdTo(shown <= 1.0, "the history's first rows within 1 s");
    {
        records::PostgresRecordStore store(*address);
        QSqlDatabase database = postgresConnection(*address, "floor");
        database.open();
        filterAgainstQuery(store, database, postgresFilterQuery,
                           "psql query, serial ILIKE '%SN-4242%' (floor)", runs);
    }
    QSqlDatabase::removeDatabase("floor");
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: records_scale QUARVET-CLI [COUNT] [RUNS] [POSTGRES-URL "
                             "[postgres-only]]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString cli = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 1000000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const QString postgres = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    // The PostgreSQL figures alone, as after a change that touches only them.
    if (!postgres.isEmpty() && argc > 5 && QByteArray(argv[5]) == "postgres-only") {
        postgresScale(cli, postgres, count, runs);
        return missedGoals > 0 ? 1 : 0;
    }
    QTemporaryDir large;
    QTemporaryDir small;
    const QString largeFile = large.filePath("Quarvet/records.sqlite");
    const QString smallFile = small.filePath("Quarvet/records.sqlite");
    if (!makeSqlite(largeFile, count) || !makeSqlite(smallFile, 10)) {
        std::fprintf(stderr, "records_scale: the stores could not be made\n");
        return 1;
    }
    std::printf("SQLite stores of %d and 10 records; medians of %d runs\n", count, runs);
    listings(cli, large.path(), runs);
    historyWindow(largeFile, runs);
    sqliteFilter(largeFile, runs);
    QTemporaryDir firstSchemaFolder;
    const QString firstSchema = firstSchemaFolder.filePath("records.sqlite");
    if (makeFirstSchema(firstSchema, count)) {
        firstSchemaHistory(firstSchema, runs);
        upgradeAgainstFloor(cli, firstSchema, runs);
    } else {
        std::fprintf(stderr, "records_scale: the first schema's store could not be made\n");
        ++missedGoals;
    }
    saveAndLookup(cli, large.path(), small.path(), runs);
    lookups(cli, environmentFor(small.path(), {}), environmentFor(large.path(), {}), runs);
    if (!postgres.isEmpty())
        postgresScale(cli, postgres, count, runs);
    if (missedGoals > 0)
        std::fprintf(stderr, "records_scale: %d goals missed\n", missedGoals);
    return missedGoals > 0 ? 1 : 0;
}
