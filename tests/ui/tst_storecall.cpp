// One call into a record store off the window's thread: its outcome, its deadline, and a
// window closed while it runs.
#include "ui/storecall.h"
#include "ui/upgradebar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>

using quarvet::records::StoreFailure;
using quarvet::ui::StoreCall;
using quarvet::ui::UpgradeBar;

namespace {

// A call that answers only when the test lets it, and then succeeds or fails as told.
StoreCall::Work gated(const std::shared_ptr<QSemaphore>& gate, bool succeeds)
{
    return [gate, succeeds] {
        gate->acquire();
        return succeeds ? StoreFailure()
                        : StoreFailure(quarvet::records::storeFault(
                              quarvet::records::StoreFaultKind::NotSaved, "it said no"));
    };
}

} // namespace

class TestStoreCall : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void outcomeReachesTheWindow_data();
    void outcomeReachesTheWindow();
    void oneCallAtATime();
    void closingWaitsForTheOutcome_data();
    void closingWaitsForTheOutcome();
    void silenceIsSaidPastTheDeadline();
    void upgradeIsToldToItsOwnCall();
};

void TestStoreCall::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestStoreCall::outcomeReachesTheWindow_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("saved") << true;
    QTest::newRow("refused by the store") << false;
}

void TestStoreCall::outcomeReachesTheWindow()
{
    QFETCH(bool, succeeds);
    QWidget window;
    StoreCall call(QThreadPool::globalInstance(), &window);
    std::optional<StoreFailure> outcome;
    const auto gate = std::make_shared<QSemaphore>(1);
    QVERIFY(call.start(gated(gate, succeeds), [&](const StoreFailure& said) { outcome = said; }));
    QVERIFY(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
    QCOMPARE(outcome->failed(), !succeeds);
    QVERIFY(!call.isBusy());
}

// A second call while one runs is refused, not queued behind it.
void TestStoreCall::oneCallAtATime()
{
    QWidget window;
    StoreCall call(QThreadPool::globalInstance(), &window);
    const auto gate = std::make_shared<QSemaphore>();
    int answers = 0;
    QVERIFY(call.start(gated(gate, true), [&](const StoreFailure&) { ++answers; }));
    QVERIFY(call.isBusy());
    QVERIFY(!call.start(gated(gate, true), [&](const StoreFailure&) { ++answers; }));
    gate->release();
    QVERIFY(QTest::qWaitFor([&] { return !call.isBusy(); }, 20000));
    QCOMPARE(answers, 1);
    QVERIFY(call.start(gated(gate, true), [&](const StoreFailure&) { ++answers; }));
    gate->release();
    QVERIFY(QTest::qWaitFor([&] { return answers == 2; }, 20000));
}

void TestStoreCall::closingWaitsForTheOutcome_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("closes");
    QTest::newRow("saved: the window closes") << true << true;
    QTest::newRow("not saved: the window stays, with what was typed") << false << false;
}

void TestStoreCall::closingWaitsForTheOutcome()
{
    QFETCH(bool, succeeds);
    QFETCH(bool, closes);
    // A window that holds its close while the call runs, as the record windows do.
    class Window : public QWidget {
    public:
        Window() { call = new StoreCall(QThreadPool::globalInstance(), this); }
        void closeEvent(QCloseEvent* event) override
        {
            if (!call->holdClose(event))
                QWidget::closeEvent(event);
        }
        StoreCall* call;
    } window;
    window.show();
    const auto gate = std::make_shared<QSemaphore>();
    bool told = false;
    QVERIFY(window.call->start(gated(gate, succeeds), [&](const StoreFailure&) {
        told = true;
        // Told while the window is still open.
        QVERIFY(window.isVisible());
    }));
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    gate->release();
    QVERIFY(QTest::qWaitFor([&] { return told; }, 20000));
    QCOMPARE(window.isVisible(), !closes);
    // Once the call is over, a close is a close again.
    QVERIFY(window.close());
}

// A store that keeps the answer past the deadline: the window is told, the call goes on.
void TestStoreCall::silenceIsSaidPastTheDeadline()
{
    QWidget window;
    StoreCall call(QThreadPool::globalInstance(), &window, std::chrono::milliseconds(1));
    QSignalSpy overdue(&call, &StoreCall::overdue);
    const auto gate = std::make_shared<QSemaphore>();
    bool told = false;
    QVERIFY(call.start(gated(gate, true), [&](const StoreFailure&) { told = true; }));
    QVERIFY(overdue.wait(20000));
    QVERIFY(call.isBusy());
    gate->release();
    QVERIFY(QTest::qWaitFor([&] { return told; }, 20000));
    QCOMPARE(overdue.size(), 1);
}

// Two calls at once are each told of the upgrade made on their own thread, in place of the
// program's handler; progress told restarts the deadline, so that a long upgrade is never
// taken for a store that does not answer; the bar following a call ends hidden at its total.
void TestStoreCall::upgradeIsToldToItsOwnCall()
{
    std::atomic<int> toldTheProgram = 0;
    quarvet::records::setUpgradeProgress([&](qint64, qint64) { ++toldTheProgram; });
    QWidget window;
    StoreCall first(QThreadPool::globalInstance(), &window, std::chrono::milliseconds(1000));
    StoreCall second(QThreadPool::globalInstance(), &window, std::chrono::milliseconds(1000));
    QList<qint64> told[2];
    connect(&first, &StoreCall::upgrading, &window, [&](qint64 done) { told[0] << done; });
    connect(&second, &StoreCall::upgrading, &window, [&](qint64 done) { told[1] << done; });
    QSignalSpy overdue(&first, &StoreCall::overdue);
    UpgradeBar bar(&window);
    bar.follow(&first);
    int answers = 0;
    QVERIFY(first.start(
        [] {
            // Longer than the deadline altogether, never silent for as long.
            for (int done = 0; done <= 10; ++done) {
                quarvet::records::reportUpgrade(done, 10);
                QThread::msleep(150);
            }
            return StoreFailure();
        },
        [&](const StoreFailure&) { ++answers; }));
    QVERIFY(second.start(
        [] {
            quarvet::records::reportUpgrade(7, 7);
            return StoreFailure();
        },
        [&](const StoreFailure&) { ++answers; }));
    QVERIFY(QTest::qWaitFor([&] { return answers == 2; }, 20000));
    quarvet::records::setUpgradeProgress({});
    QCOMPARE(told[0], (QList<qint64>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(told[1], QList<qint64>{7});
    QCOMPARE(toldTheProgram.load(), 0);
    QCOMPARE(overdue.size(), 0);
    QVERIFY(bar.isHidden());
    QCOMPARE(
        bar.format(),
        QStringLiteral("Bringing the record store up to date, once: 10 of 10 records chained"));
    QCOMPARE(bar.value(), 10);
}

QTEST_MAIN(TestStoreCall)
#include "tst_storecall.moc"
