// The register of instruments in a store, on a SQLite file and on a shared PostgreSQL database:
// when each is due from its records (month ends, leap days, corrections), its states, the
// review of its interval, and a listing in the order instruments fall due, a page at a time.
#include "pastcalibration.h"
#include "teststores.h"

#include "lab/instrumenthistory.h"
#include "lab/instruments.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "records/chain.h"
#include "records/storechoice.h"

#include <QTest>

using namespace quarvet;

Q_DECLARE_METATYPE(lab::InstrumentState)

class TestInstruments : public QObject {
    Q_OBJECT
private slots:
    void dueDay_data();
    void dueDay();
    void problems_data();
    void problems();
    void dueFromRecords_data();
    void dueFromRecords();
    void statesAndReview_data();
    void statesAndReview();
};

namespace {

void bothBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

std::unique_ptr<records::RecordStore> storeOf(const test::TestStore& store)
{
    return records::chooseRecordStore(store.isPostgres() ? store.location() : QString(), QString(),
                                      store.location());
}

lab::Instrument instrument(const QString& serial, int months)
{
    lab::Instrument made;
    made.type = QStringLiteral("742");
    made.serial = serial;
    made.intervalMonths = months;
    made.tolerance = 0.5;
    return made;
}

QString said(const records::StoreFailure& failure)
{
    return messages::storeFault(failure.fault);
}

} // namespace

// A day later in the month than the month after has clamps to that month's end, as a
// calendar does: 12 months from 29 February is 28 February, 48 months 29 February again.
void TestInstruments::dueDay_data()
{
    QTest::addColumn<QDate>("last");
    QTest::addColumn<int>("months");
    QTest::addColumn<lab::InstrumentState>("state");
    QTest::addColumn<QDate>("returned");
    QTest::addColumn<QDate>("due"); // invalid: not due
    const auto in = lab::InstrumentState::InService;
    QTest::newRow("12 months from a leap day")
        << QDate(2024, 2, 29) << 12 << in << QDate() << QDate(2025, 2, 28);
    QTest::newRow("48 months from a leap day")
        << QDate(2024, 2, 29) << 48 << in << QDate() << QDate(2028, 2, 29);
    QTest::newRow("a month from 31 January, leap year")
        << QDate(2024, 1, 31) << 1 << in << QDate() << QDate(2024, 2, 29);
    QTest::newRow("a month from 31 January")
        << QDate(2025, 1, 31) << 1 << in << QDate() << QDate(2025, 2, 28);
    QTest::newRow("6 months from 31 August")
        << QDate(2025, 8, 31) << 6 << in << QDate() << QDate(2026, 2, 28);
    QTest::newRow("across the year")
        << QDate(2025, 11, 30) << 3 << in << QDate() << QDate(2026, 2, 28);
    QTest::newRow("never calibrated: due the day registered")
        << QDate() << 12 << in << QDate() << QDate(2026, 1, 5);
    QTest::newRow("back in service after it: due that day")
        << QDate(2025, 6, 1) << 12 << in << QDate(2025, 9, 1) << QDate(2025, 9, 1);
    QTest::newRow("calibrated the day it came back")
        << QDate(2025, 9, 1) << 12 << in << QDate(2025, 9, 1) << QDate(2026, 9, 1);
    QTest::newRow("calibrated after it came back")
        << QDate(2025, 9, 2) << 12 << in << QDate(2025, 9, 1) << QDate(2026, 9, 2);
    QTest::newRow("out of service")
        << QDate(2020, 1, 1) << 12 << lab::InstrumentState::OutOfService << QDate() << QDate();
    QTest::newRow("retired") << QDate(2020, 1, 1) << 12 << lab::InstrumentState::Retired << QDate()
                             << QDate();
}

void TestInstruments::dueDay()
{
    QFETCH(QDate, last);
    QFETCH(int, months);
    QFETCH(lab::InstrumentState, state);
    QFETCH(QDate, returned);
    QFETCH(QDate, due);
    lab::Instrument made = instrument(QStringLiteral("S"), months);
    made.state = state;
    made.registered = QDate(2026, 1, 5);
    made.returned = returned;
    const std::optional<QDate> day = lab::dueDay(made, last);
    QCOMPARE(day.has_value(), due.isValid());
    if (day)
        QCOMPARE(*day, due);
}

void TestInstruments::problems_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("says");
    QTest::newRow("no serial") << "serial"
                               << ""
                               << "serial number must be one line";
    QTest::newRow("a serial with blanks around") << "serial"
                                                 << " S1"
                                                 << "must not begin or end";
    QTest::newRow("a serial over two lines") << "serial"
                                             << "S\n1"
                                             << "serial number must be";
    QTest::newRow("a serial that turns text around") << "serial"
                                                     << "S\u202E1"
                                                     << "serial";
    QTest::newRow("an owner too long") << "owner" << QString(201, 'x') << "owner must be";
    QTest::newRow("an unknown type") << "type"
                                     << "999"
                                     << "'999' is no instrument type";
    QTest::newRow("line 3") << "line"
                            << "3"
                            << "display line is 1 or 2";
    QTest::newRow("an interval of 0") << "interval"
                                      << "0"
                                      << "from 1 to 120";
    QTest::newRow("an interval of 121") << "interval"
                                        << "121"
                                        << "from 1 to 120";
    QTest::newRow("a tolerance of 0") << "tolerance"
                                      << "0"
                                      << "tolerance must be a number above";
    QTest::newRow("an infinite tolerance") << "tolerance"
                                           << "inf"
                                           << "tolerance must be";
    QTest::newRow("equal targets") << "targets"
                                   << "50"
                                   << "targets must be two temperatures that differ";
    QTest::newRow("an unknown rule") << "rule"
                                     << "strict"
                                     << "guarded, simple or non-binary";
}

// Each refusal names what is wrong; an instrument with the field as given is refused.
void TestInstruments::problems()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, says);
    lab::Instrument made = instrument(QStringLiteral("S1"), 12);
    QVERIFY(lab::instrumentProblem(made).ok());
    if (field == "serial")
        made.serial = value;
    else if (field == "owner")
        made.owner = value;
    else if (field == "type")
        made.type = value;
    else if (field == "line")
        made.line = value.toInt();
    else if (field == "interval")
        made.intervalMonths = value.toInt();
    else if (field == "tolerance")
        made.tolerance = value.toDouble();
    else if (field == "targets")
        made.target1 = made.target2 = value.toDouble();
    else
        made.rule = value;
    const QString refusal = messages::labRefusal(lab::instrumentProblem(made));
    QVERIFY2(refusal.contains(says), qPrintable(refusal));
}

void TestInstruments::dueFromRecords_data()
{
    bothBackends();
}

// The last calibration of each instrument, from records a correction did not replace, on the
// day of the calibration a correction stands for; the listing by due day, whole and by pages.
void TestInstruments::dueFromRecords()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(kept, backend);
    const auto store = storeOf(kept);
    for (const auto& [serial, months] :
         {std::pair{"LEAP", 12}, {"MOVED", 12}, {"TWICE", 6}, {"NEVER", 24}}) {
        lab::Instrument made = instrument(QLatin1String(serial), months);
        const records::StoreFailure added = lab::registerInstrument(*store, made);
        QVERIFY2(!added.failed(), qPrintable(said(added)));
        QCOMPARE(made.entry, 1);
    }
    // LEAP: 29 February 2024, and a later calibration that a correction moved to MOVED.
    // TWICE: a calibration corrected twice, each correction later: it stands on its first day.
    const records::Record leap = test::calibrationOn("LEAP", QDate(2024, 2, 29), "Pass");
    const records::Record wrong = test::calibrationOn("LEAP", QDate(2024, 11, 4), "Pass");
    records::Record moved = test::calibrationOn("MOVED", QDate(2025, 1, 10), "Pass", wrong.id);
    const records::Record twice = test::calibrationOn("TWICE", QDate(2025, 3, 31), "Pass");
    const records::Record again = test::calibrationOn("TWICE", QDate(2025, 5, 1), "Pass", twice.id);
    const records::Record thrice =
        test::calibrationOn("TWICE", QDate(2025, 6, 1), "Fail", again.id);
    for (const records::Record& record : {leap, wrong, moved, twice, again, thrice}) {
        const records::StoreFailure added = store->add(record);
        QVERIFY2(!added.failed(), qPrintable(said(added)));
    }
    QMap<QString, lab::Recall> recalled;
    QVERIFY(!lab::walkInstruments(*store, {}, [&](lab::Recall&& recall) {
                 recalled.insert(recall.instrument.serial, recall);
                 return true;
             }).failed());
    QCOMPARE(recalled.size(), 4);
    QCOMPARE(recalled["LEAP"].lastCalibration, QDate(2024, 2, 29));
    QCOMPARE(recalled["LEAP"].due, QDate(2025, 2, 28));
    QCOMPARE(recalled["MOVED"].lastCalibration, QDate(2024, 11, 4));
    QCOMPARE(recalled["MOVED"].lastRecordId, moved.id);
    QCOMPARE(recalled["MOVED"].due, QDate(2025, 11, 4));
    QCOMPARE(recalled["TWICE"].lastCalibration, QDate(2025, 3, 31));
    QCOMPARE(recalled["TWICE"].due, QDate(2025, 9, 30));
    QCOMPARE(recalled["TWICE"].lastAsFoundVerdict, QStringLiteral("Fail"));
    QVERIFY(recalled["TWICE"].review);
    QVERIFY(!recalled["LEAP"].lastRecordId.isEmpty() && !recalled["LEAP"].review);
    QVERIFY(!recalled["NEVER"].lastCalibration.isValid());
    QCOMPARE(recalled["NEVER"].due, recalled["NEVER"].instrument.registered);
    // What is due by 1 October 2025: oldest first; NEVER, registered today, is not yet.
    std::vector<QString> order;
    QVERIFY(!lab::dueBy<QString>(
                 *store, {}, QDate(2025, 10, 1),
                 [](const lab::Recall& recall) { return recall.instrument.serial; }, order)
                 .failed());
    QCOMPARE(QStringList(order.begin(), order.end()), QStringList({"LEAP", "TWICE"}));
    // Page by page, one a page: the whole register in the order it falls due, each once.
    QStringList paged;
    std::optional<lab::DueKey> after;
    for (int page = 0; page < 10; ++page) {
        QList<lab::Recall> rows;
        QVERIFY(!lab::duePage(*store, {}, after, 1, rows).failed());
        if (rows.isEmpty())
            break;
        paged << rows.first().instrument.serial;
        after = lab::dueKeyOf(rows.first());
    }
    QCOMPARE(paged, QStringList({"LEAP", "TWICE", "MOVED", "NEVER"}));
    // The history stands on the calibrations' days, the replaced record left out.
    QList<lab::HistoryPoint> history;
    QVERIFY(!lab::instrumentHistory(*store, "742", "TWICE", history).failed());
    QCOMPARE(history.size(), 1);
    QCOMPARE(history[0].recordId, thrice.id);
    QCOMPARE(history[0].calibrated, QDate(2025, 3, 31));
    QCOMPARE(history[0].asFound.size(), 2);
    QCOMPARE(history[0].asFound[1].target, 100.0);
    QCOMPARE(history[0].asFound[1].error, 99.8 - 100.0);
}

void TestInstruments::statesAndReview_data()
{
    bothBackends();
}

// Out of service and retired are not due; back in service is due at once. A failure found asks
// for a review of the interval until a person accepts one. Each change is an entry that the
// seals keep; an entry on a stale one, or a second registration, is refused.
void TestInstruments::statesAndReview()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(kept, backend);
    const auto store = storeOf(kept);
    lab::Instrument made = instrument(QStringLiteral("S1"), 12);
    QVERIFY(!lab::registerInstrument(*store, made).failed());
    lab::Instrument twin = instrument(QStringLiteral("S1"), 6);
    const records::StoreFailure twice = lab::registerInstrument(*store, twin);
    QCOMPARE(twice.fault.kind, records::StoreFaultKind::InstrumentExists);
    QVERIFY2(said(twice).contains("holds instrument S1 of type 742 already"),
             qPrintable(said(twice)));
    QVERIFY(!store->add(test::calibrationOn("S1", QDate(2025, 1, 15), "Fail")).failed());
    // A later calibration that passes does not answer the failure: a person does.
    QVERIFY(!store->add(test::calibrationOn("S1", QDate(2025, 2, 15), "Pass")).failed());
    const auto recallOf = [&]() {
        lab::InstrumentFilter filter;
        filter.serial = QStringLiteral("S1");
        lab::Recall found;
        lab::walkInstruments(*store, filter, [&](lab::Recall&& recall) {
            found = recall;
            return false;
        });
        return found;
    };
    QVERIFY(recallOf().review);
    QCOMPARE(recallOf().due, QDate(2026, 2, 15));
    lab::Instrument changed = recallOf().instrument;
    changed.state = lab::InstrumentState::OutOfService;
    QVERIFY(!lab::changeInstrument(*store, changed, 1).failed());
    QVERIFY(!recallOf().due);
    // A change made on entry 1 after entry 2 was kept would undo it unseen.
    lab::Instrument stale = changed;
    stale.state = lab::InstrumentState::Retired;
    QCOMPARE(lab::changeInstrument(*store, stale, 1).fault.kind,
             records::StoreFaultKind::InstrumentChanged);
    changed.state = lab::InstrumentState::InService;
    QVERIFY(!lab::changeInstrument(*store, changed, 2).failed());
    const lab::Recall back = recallOf();
    QCOMPARE(back.instrument.returned, back.instrument.savedUtc.toLocalTime().date());
    QCOMPARE(back.due, back.instrument.returned);
    QVERIFY(back.review);
    // The staircase steps from the last calibration, which passed: 12 months × 1.25. Accepted,
    // the review is done, and the same calibration steps it no further.
    QList<lab::HistoryPoint> history;
    QVERIFY(!lab::instrumentHistory(*store, "742", "S1", history).failed());
    lab::IntervalReview review = lab::reviewInterval(back.instrument, history, {});
    QCOMPARE(review.suggestion.months, 15);
    QVERIFY2(messages::intervalReason(review).contains("12 months × 1.25 = 15 months"),
             qPrintable(messages::intervalReason(review)));
    lab::Instrument accepted = back.instrument;
    accepted.intervalMonths = review.suggestion.months;
    QVERIFY(!lab::changeInstrument(*store, accepted, 3, true).failed());
    QCOMPARE(accepted.entry, 4);
    QVERIFY(!recallOf().review);
    QCOMPARE(recallOf().instrument.intervalMonths, 15);
    review = lab::reviewInterval(recallOf().instrument, history, {});
    QCOMPARE(review.suggestion.step, calc::IntervalStep::Reviewed);
    QCOMPARE(review.suggestion.months, 15);
    // Factors as typed, the product as a person works it out.
    review = lab::reviewInterval(back.instrument, history, {1.1, 0.7});
    QVERIFY2(messages::intervalReason(review).contains("12 months × 1.1 = 13.2, taken as 13 "
                                                       "months"),
             qPrintable(messages::intervalReason(review)));
    // A correction saved since that finds the pass was a failure asks again.
    records::Record corrected =
        test::calibrationOn("S1", QDate::currentDate(), "Fail", history.last().recordId);
    corrected.createdUtc = QDateTime::currentDateTimeUtc().addSecs(1);
    QVERIFY(!store->add(corrected).failed());
    QVERIFY(recallOf().review);
    QVERIFY(!lab::instrumentHistory(*store, "742", "S1", history).failed());
    review = lab::reviewInterval(recallOf().instrument, history, {});
    QCOMPARE(review.suggestion.step, calc::IntervalStep::Shortened);
    QList<lab::Instrument> entries;
    QVERIFY(!lab::instrumentEntries(*store, "742", "S1", entries).failed());
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries[0].registered, entries[3].registered);
}

QTEST_GUILESS_MAIN(TestInstruments)
#include "tst_instruments.moc"
