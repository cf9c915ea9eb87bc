// How long listing a large history takes: 100,000 records (by default) in an SQLite file,
// read by the store, by `quarvet-cli records list` in each format, and into the history
// window; against the floor of reading the same rows with a plain Qt SQL query. Also one save
// into the large file. records_listing QUARVET-CLI [COUNT] [RUNS]
#include "history/historywindow.h"
#include "history/recordtablemodel.h"
#include "records/sqliterecordstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quarvet;

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
    return record;
}

// One record saved by the store, then copied in one statement to `count` records.
bool makeFile(const QString& path, int count)
{
    records::SqliteRecordStore store(path);
    const records::Record first = sample("SN-0");
    if (store.add(first).failed())
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "fill");
        database.setDatabaseName(path);
        ok = database.open();
        QSqlQuery query(database);
        const QString copies =
            QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) ")
                .arg(count - 1);
        ok = ok && query.exec("BEGIN") &&
             query.exec(
                 copies +
                 "INSERT INTO records SELECT printf('%08x-0000-4000-8000-000000000000', i), "
                 "strftime('%Y-%m-%dT%H:%M:%f', '2026-01-01', '+' || i || ' minutes') || 'Z', "
                 "program_version, instrument_type, 'SN-' || (i % 5000), display_line, "
                 "technician, reference_id, reference_u, reference_due, ambient, "
                 "target1_typed, target2_typed, indicated1_typed, indicated2_typed, "
                 "target1, target2, indicated1, indicated2, current_slope_code, "
                 "current_offset_code, slope_code, offset_code, predicted_error1, "
                 "predicted_error2, tolerance, rule, verdict, note, NULL "
                 "FROM n, records WHERE records.rowid = 1") &&
             query.exec(copies +
                        "INSERT INTO verification SELECT "
                        "printf('%08x-0000-4000-8000-000000000000', i), position, "
                        "target, reading FROM n, verification WHERE record_id = '" +
                        first.id + "'") &&
             query.exec("COMMIT");
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timed(int runs, const std::function<void()>& work)
{
    std::vector<double> seconds;
    for (int n = 0; n < runs; ++n) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: records_listing QUARVET-CLI [COUNT] [RUNS]\n");
        return 2;
    }
    const QString cli = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    QTemporaryDir dir;
    const QString path = dir.filePath("Quarvet/records.sqlite");
    if (!makeFile(path, count)) {
        std::fprintf(stderr, "records_listing: the file could not be made\n");
        return 1;
    }
    const double floor = timed(runs, [&] {
        {
            QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "floor");
            database.setDatabaseName(path);
            database.open();
            QSqlQuery query(database);
            query.setForwardOnly(true);
            query.exec("SELECT * FROM records ORDER BY created_utc DESC");
            std::size_t cells = 0;
            while (query.next())
                for (int c = 0; c < 30; ++c)
                    cells += query.value(c).isValid();
            std::fprintf(stderr, "%s", cells == 0 ? "no rows\n" : "");
        }
        QSqlDatabase::removeDatabase("floor");
    });
    std::printf("%d records; medians of %d runs; floor: a plain query of every row %.3f s\n", count,
                runs, floor);
    const auto report = [&](const char* what, double seconds) {
        std::printf("%-44s %7.3f s  %5.2fx the floor\n", what, seconds, seconds / floor);
    };
    records::SqliteRecordStore store(path);
    report("store: list all", timed(runs, [&] {
               QList<records::Record> all;
               store.list(QString(), all);
           }));
    report("store: list one serial", timed(runs, [&] {
               QList<records::Record> some;
               store.list("SN-42", some);
           }));
    for (const char* format : {"text", "csv", "json"}) {
        report(qPrintable(QStringLiteral("quarvet-cli records list --format %1").arg(format)),
               timed(runs, [&] {
                   QProcess process;
                   QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                   environment.insert("XDG_DATA_HOME", dir.path());
                   environment.remove("QUARVET_DATABASE");
                   process.setProcessEnvironment(environment);
                   process.setStandardOutputFile(QProcess::nullDevice());
                   process.start(cli, {"records", "list", "--format", format});
                   process.waitForFinished(-1);
               }));
    }
    report("history window: open until the table is shown", timed(runs, [&] {
               auto* window = new history::HistoryWindow(
                   [&] { return std::make_shared<records::SqliteRecordStore>(path); });
               QSignalSpy loaded(window, &history::HistoryWindow::loaded);
               window->show();
               loaded.wait(600000);
               QApplication::processEvents();
               if (window->records()->rowCount() != count)
                   std::fprintf(stderr, "history shows %d rows\n", window->records()->rowCount());
               delete window;
           }));
    report("store: one save into the large file", timed(runs, [&] { store.add(sample("new")); }));
    return 0;
}
