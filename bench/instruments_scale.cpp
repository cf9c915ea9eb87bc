// The register of instruments at a lab's scale: COUNT instruments (100,000 by default) with ten
// records each, in a SQLite store made for the benchmark, and each reading against its floor
// in the same run.
//   instruments_scale QUARVET-CLI [COUNT] [RUNS]
// - quarvet-cli instruments due --within 30, against sqlite3 running the same query with the
//   due day worked out and held to the window in SQL (the floor), with the largest resident
//   size of each, and that of the same command over a register of a hundredth the size;
// - the Instruments window: until its first page is shown, and the longest the window waits
//   for its event loop meanwhile; the next page once the list is scrolled to its end.
#include "scaletools.h"

#include "history/instrumentswindow.h"
#include "history/instrumenttablemodel.h"
#include "lab/instruments.h"
#include "records/sqliterecordstore.h"

#include <QApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

using namespace quarvet;
using namespace quarvet::bench;

namespace {

// Ten records an instrument, the last of each within the year before today: the copy numbered
// i is saved `spacing` seconds after the one before, from `start`.
constexpr int spacingAtAHundredThousand = 300;

QDate startFor(int instruments)
{
    const qint64 span = qint64(instruments) * 10 * spacingAtAHundredThousand * 100000 / instruments;
    return QDate::currentDate().addDays(-span / 86400 - 2);
}

records::Record sample(const QDate& start)
{
    records::Record record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime(start.addDays(-1), QTime(8, 0), Qt::UTC);
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = QStringLiteral("SN-0");
    record.technician = QStringLiteral("Technician");
    record.referenceId = QStringLiteral("REF-7");
    record.referenceUncertainty = 0.02;
    record.referenceDue = QDate(2030, 1, 1);
    record.entriesTyped = {"0", "100", "0.5", "99"};
    record.entriesRead = {0, 100, 0.5, 99};
    record.currentSlopeCode = record.slopeCode = QStringLiteral("2710");
    record.currentOffsetCode = record.offsetCode = QStringLiteral("0000");
    record.tolerance = 0.6;
    record.decisionRule = QStringLiteral("simple");
    record.asFoundVerdict = QStringLiteral("Pass");
    record.asFoundPoints = records::pointsText(
        {{0, {0.5}, 0.01, 1e9, 2, 0.02, "Pass", {}}, {100, {99}, 0.01, 1e9, 2, 0.02, "Fail", {}}});
    return record;
}

// Ten records an instrument, a year or so apart: the copy numbered i goes to SN-(i mod count),
// so that each instrument's last calibration falls within the last year of ten; one record in
// a thousand is corrected, and one in seven found out of tolerance.
const char* const copyRecords =
    "INSERT INTO records (id, created_utc, program_version, instrument_type, serial, "
    "display_line, technician, reference_id, reference_u, reference_due, target1_typed, "
    "target2_typed, indicated1_typed, indicated2_typed, target1, target2, indicated1, indicated2, "
    "current_slope_code, current_offset_code, slope_code, offset_code, predicted_error1, "
    "predicted_error2, tolerance, rule, verdict, note, decision_rule, as_found_verdict, "
    "as_found_points, as_left_points, corrects) SELECT %1, %2, program_version, instrument_type, "
    "'SN-' || (i % %3), display_line, technician, reference_id, reference_u, reference_due, "
    "target1_typed, target2_typed, indicated1_typed, indicated2_typed, target1, target2, "
    "indicated1, indicated2, current_slope_code, current_offset_code, slope_code, offset_code, "
    "predicted_error1, predicted_error2, tolerance, rule, verdict, note, decision_rule, "
    "CASE WHEN i % 7 = 0 THEN 'Fail' ELSE as_found_verdict END, as_found_points, as_left_points, "
    "CASE WHEN i % 1000 = 999 AND i > %3 THEN printf('%08x-0000-4000-8000-000000000000', i - %3) "
    "END FROM %4, records WHERE records.id = '%5'";
// An instrument for each serial number, its interval 12, 18, 24 or 30 months.
const char* const addInstruments =
    "INSERT INTO instruments SELECT i + 3, '742', 'SN-' || i, 1, 1, '', CASE WHEN i % 3 = 0 THEN "
    "'' "
    "ELSE 'Customer ' || (i % 50) END, 'Hall ' || (i % 9), 12 + 6 * (i % 4), '0.6', 'simple', "
    "'0', '100', '', 'in service', '2015-11-01', '', '', '2015-11-01T00:00:00.000Z', 'bench' FROM "
    "(WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) SELECT i FROM "
    "n)";

bool makeStore(const QString& path, int instruments)
{
    const QDate start = startFor(instruments);
    const records::Record first = sample(start);
    if (records::SqliteRecordStore(path).add(first).failed())
        return false;
    // The register's table is made as the program makes it, by its first change.
    records::SqliteRecordStore store(path);
    lab::Instrument made;
    made.type = QStringLiteral("742");
    made.serial = QStringLiteral("SN-bench");
    if (lab::registerInstrument(store, made).failed())
        return false;
    made.state = lab::InstrumentState::Retired;
    if (lab::changeInstrument(store, made, 1).failed())
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "fill");
        database.setDatabaseName(path);
        QSqlQuery query(database);
        const int count = instruments * 10;
        const QString numbers =
            QStringLiteral("(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < %1) SELECT i FROM n)")
                .arg(count - 1);
        const QString id = "printf('%08x-0000-4000-8000-000000000000', i)";
        const QString when = QStringLiteral("strftime('%Y-%m-%dT%H:%M:%f', '%1', '+' || "
                                            "(i * %2) || ' seconds') || 'Z'")
                                 .arg(start.toString(Qt::ISODate))
                                 .arg(spacingAtAHundredThousand * 100000 / instruments);
        ok = database.open() && query.exec("BEGIN") &&
             query.exec(QString(copyRecords)
                            .arg(id, when, QString::number(instruments), numbers, first.id)) &&
             query.exec(QString(addInstruments).arg(instruments - 1)) && query.exec("COMMIT");
        if (!ok)
            std::fprintf(stderr, "instruments_scale: %s\n", qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

// The floor: the same last calibration of each instrument and whether its interval is to be
// reviewed, its due day by SQLite's own month arithmetic, held to the window and sorted in
// SQL, the rows printed as CSV.
const char* const floorQuery =
    "WITH RECURSIVE corrected(id, calibrated) AS (SELECT p.id, p.created_utc FROM records c JOIN "
    "records p ON p.id = c.corrects WHERE c.corrects > '' AND coalesce(p.corrects, '') = '' UNION "
    "SELECT r.id, k.calibrated FROM records r JOIN corrected k ON r.corrects = k.id), "
    "listed AS (SELECT i.*, (SELECT CASE WHEN coalesce(r.corrects, '') = '' THEN r.created_utc "
    "ELSE (SELECT min(k.calibrated) FROM corrected k WHERE k.id = r.id) END FROM records r WHERE "
    "r.serial = i.serial AND r.instrument_type || '' = i.instrument_type AND NOT EXISTS (SELECT 1 "
    "FROM "
    "records s WHERE s.corrects = r.id) ORDER BY 1 DESC LIMIT 1) AS last, EXISTS (SELECT 1 FROM "
    "records f WHERE f.serial = i.serial AND f.instrument_type || '' = i.instrument_type AND "
    "f.as_found_verdict IN ('Fail', 'Conditional fail') AND f.created_utc > "
    "i.interval_reviewed_utc AND NOT EXISTS (SELECT 1 FROM records s WHERE s.corrects = f.id)) AS "
    "review FROM "
    "instruments i "
    "WHERE i.entry = (SELECT max(n.entry) FROM instruments n WHERE n.instrument_type = "
    "i.instrument_type AND n.serial = i.serial) AND i.state = 'in service') "
    "SELECT serial, instrument_type, display_line, owner, location, interval_months, state, "
    "date(last), date(last, '+' || interval_months || ' months') AS due, review FROM listed WHERE "
    "date(last, '+' || interval_months || ' months') <= date('now', '+30 days') ORDER BY due, "
    "instrument_type, serial";

void dueListing(const QString& cli, const QString& large, const QString& small, int runs)
{
    const QProcessEnvironment environment = environmentFor(large, {});
    const std::vector<Command> commands{
        {"sqlite3", {"-csv", large + "/Quarvet/records.sqlite", floorQuery}, environment},
        {cli, {"instruments", "due", "--within", "30"}, environment},
        {cli, {"instruments", "due", "--within", "30", "--format", "json"}, environment},
        {cli, {"instruments", "due", "--within", "30"}, environmentFor(small, {})}};
    const std::vector<Timing> timings = alternating(runs, commands);
    report("sqlite3 -csv, the same rows (floor)", timings[0].seconds, timings[0].seconds,
           timings[0].kib);
    report("instruments due --within 30", timings[1].seconds, timings[0].seconds, timings[1].kib);
    report("instruments due --within 30 --format json", timings[2].seconds, timings[0].seconds,
           timings[2].kib);
    report("the same over a hundredth of the register", timings[3].seconds, timings[0].seconds,
           timings[3].kib);
    holdTo(timings[1].seconds <= 2 * timings[0].seconds &&
               timings[2].seconds <= 2 * timings[0].seconds,
           "instruments due within 2x sqlite3's query");
    holdTo(timings[1].kib <= timings[3].kib + 16 * 1024,
           "resident size within 16 MiB of a hundredth of the register");
}

// The window opened over the large register: until its first page is shown, the longest its
// event loop was kept waiting meanwhile, and the next page after scrolling to the end.
void instrumentsWindow(const QString& file, int runs)
{
    qint64 longestWait = 0;
    const auto source = [&] { return std::make_shared<records::SqliteRecordStore>(file); };
    const double shown = timed(runs, [&] {
        auto* window = new history::InstrumentsWindow(source);
        QElapsedTimer beat;
        beat.start();
        QTimer ticking;
        QObject::connect(&ticking, &QTimer::timeout,
                         [&] { longestWait = std::max(longestWait, beat.restart()); });
        ticking.start(5);
        window->show();
        (void)QTest::qWaitFor([&] { return window->model()->rowCount() > 0; }, 600000);
        delete window;
    });
    report("Instruments window: first page shown", shown, shown);
    std::printf("%-52s %8lld ms\n", "  longest its event loop waited meanwhile", longestWait);
    holdTo(longestWait < 250, "the window never waits 250 ms for the register");
    auto* window = new history::InstrumentsWindow(source);
    window->show();
    (void)QTest::qWaitFor([&] { return !window->isBusy() && window->model()->rowCount() > 0; },
                          600000);
    const double next = timed(1, [&] {
        const int before = window->model()->rowCount();
        window->model()->fetchMore({});
        (void)QTest::qWaitFor([&] { return window->model()->rowCount() > before; }, 600000);
    });
    report("  the next page, scrolled to the end", next, shown);
    std::printf("%-52s %6.1f MiB\n", "  resident size (the whole benchmark)",
                statusKib("VmHWM") / 1024.0);
    delete window;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: instruments_scale QUARVET-CLI [COUNT] [RUNS]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString cli = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    QTemporaryDir large;
    QTemporaryDir small;
    const QString largeFile = large.filePath("Quarvet/records.sqlite");
    if (!makeStore(largeFile, count) ||
        !makeStore(small.filePath("Quarvet/records.sqlite"), std::max(count / 100, 10))) {
        std::fprintf(stderr, "instruments_scale: the stores could not be made\n");
        return 1;
    }
    std::printf("A register of %d instruments with %d records; medians of %d runs\n", count,
                count * 10, runs);
    dueListing(cli, large.path(), small.path(), runs);
    instrumentsWindow(largeFile, runs);
    if (missedGoals > 0)
        std::fprintf(stderr, "instruments_scale: %d goals missed\n", missedGoals);
    return missedGoals > 0 ? 1 : 0;
}
