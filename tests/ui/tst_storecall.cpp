// One call into a record store off the window's thread: its outcome, its deadline, and a
// window closed while it runs.
#include "ui/storecall.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <QWidget>

#include <memory>

using quarvet::records::StoreFailure;
using quarvet::ui::StoreCall;

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

QTEST_MAIN(TestStoreCall)
#include "tst_storecall.moc"
