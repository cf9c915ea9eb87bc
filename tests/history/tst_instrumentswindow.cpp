// The Instruments window over a real SQLite file: the register in the order instruments fall
// due, overdue ones red and those due soon amber, read a page at a time as the list is
// scrolled; an instrument added from the form; the selected one's history and its interval
// accepted only when confirmed.
#include "adjust/adjustmentwindow.h"
#include "app/mainwindow.h"
#include "history/instrumentswindow.h"
#include "history/instrumenttablemodel.h"
#include "pastcalibration.h"
#include "recordingmessages.h"
#include "records/sqliterecordstore.h"
#include "temporarystore.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>

#include <QBrush>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace quarvet;

class TestInstrumentsWindow : public QObject {
    Q_OBJECT
private slots:
    void dueOrderAndColours();
    void pagesAsScrolled();
    void addAndAcceptInterval_data();
    void addAndAcceptInterval();
    void adjustmentCheckTakesTheRegister();
    void statusBarCountsOverdue();

private:
    QTemporaryDir dir_;
};

namespace {

bool registered(records::RecordStore& store, const QString& serial, int months)
{
    lab::Instrument instrument;
    instrument.type = QStringLiteral("742");
    instrument.serial = serial;
    instrument.intervalMonths = months;
    return !lab::registerInstrument(store, instrument).failed();
}

} // namespace

// Calibrated 13 months ago on a 12-month interval: overdue, red; 11 months and 10 days ago: due
// within 30 days, amber; a month ago: neither. The order is the due day's.
void TestInstrumentsWindow::dueOrderAndColours()
{
    const auto store =
        std::make_shared<records::SqliteRecordStore>(dir_.filePath("colours.sqlite"));
    const QDate today = QDate::currentDate();
    const std::pair<const char*, QDate> calibrated[] = {{"OVERDUE", today.addMonths(-13)},
                                                        {"SOON", today.addMonths(-11).addDays(-10)},
                                                        {"LATER", today.addMonths(-1)}};
    for (const auto& [serial, day] : calibrated)
        QVERIFY(registered(*store, QLatin1String(serial), 12));
    for (const auto& [serial, day] : calibrated)
        QVERIFY(!store->add(test::calibrationOn(QLatin1String(serial), day, "Pass")).failed());
    history::InstrumentsWindow window([store] { return store; });
    window.show();
    history::InstrumentTableModel* model = window.model();
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy() && model->rowCount() == 3; }, 20000));
    const QStringList expected{"OVERDUE", "SOON", "LATER"};
    const QStringList status{"overdue", "due soon", ""};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(model->index(row, history::InstrumentTableModel::Serial).data().toString(),
                 expected[row]);
        QCOMPARE(model->index(row, history::InstrumentTableModel::Status).data().toString(),
                 status[row]);
    }
    const auto background = [&](int row) {
        return model->index(row, history::InstrumentTableModel::Due)
            .data(Qt::BackgroundRole)
            .value<QBrush>()
            .color();
    };
    QVERIFY(background(0).red() > 200 && background(0).green() < 200);
    QVERIFY(background(1).red() > 200 && background(1).green() > 200 && background(1).blue() < 200);
    QVERIFY(!model->index(2, 0).data(Qt::BackgroundRole).isValid());
}

// A register longer than a page is read as the list is scrolled, each instrument once, in
// order, never the whole register at once.
void TestInstrumentsWindow::pagesAsScrolled()
{
    const auto store = std::make_shared<records::SqliteRecordStore>(dir_.filePath("pages.sqlite"));
    for (int n = 0; n < 450; ++n)
        QVERIFY(registered(*store, QStringLiteral("S%1").arg(n, 4, 10, QLatin1Char('0')), 12));
    history::InstrumentsWindow window([store] { return store; });
    window.show();
    history::InstrumentTableModel* model = window.model();
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy() && model->rowCount() > 0; }, 20000));
    QCOMPARE(model->rowCount(), 200);
    auto* table = window.findChild<QTableView*>();
    for (int turn = 0; turn < 20 && model->rowCount() < 450; ++turn) {
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QTest::qWait(50);
        QVERIFY(QTest::qWaitFor([&] { return !window.isBusy(); }, 20000));
    }
    QCOMPARE(model->rowCount(), 450);
    for (int row = 0; row < 450; ++row)
        QCOMPARE(model->index(row, history::InstrumentTableModel::Serial).data().toString(),
                 QStringLiteral("S%1").arg(row, 4, 10, QLatin1Char('0')));
}

void TestInstrumentsWindow::addAndAcceptInterval_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("accepted") << true;
    QTest::newRow("declined") << false;
}

// Added from the form; selected, its history shows the failure found and the staircase's
// halving, which only a confirmed acceptance keeps as a new entry.
void TestInstrumentsWindow::addAndAcceptInterval()
{
    QFETCH(bool, confirmed);
    const auto store = std::make_shared<records::SqliteRecordStore>(
        dir_.filePath(QStringLiteral("accept-%1.sqlite").arg(QTest::currentDataTag())));
    RecordingMessages messages;
    messages.answers = {confirmed};
    history::InstrumentsWindow window([store] { return store; });
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy(); }, 20000));
    lab::Instrument typed;
    typed.type = QStringLiteral("742");
    typed.serial = QStringLiteral("FORM-1");
    typed.intervalMonths = 12;
    typed.tolerance = 0.05;
    window.fillForm(typed);
    window.addInstrument();
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy() && window.model()->rowCount() == 1; },
                            20000));
    QVERIFY2(messages.boxes.isEmpty(), qPrintable(messages.boxes.value(0).text));
    QVERIFY(!store->add(test::calibrationOn("FORM-1", QDate(2025, 6, 2), "Fail")).failed());
    window.reload();
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy() && window.model()->rowCount() == 1; },
                            20000));
    auto* table = window.findChild<QTableView*>();
    table->setCurrentIndex(window.model()->index(0, 0));
    QVERIFY(QTest::qWaitFor([&] { return !window.history().isEmpty(); }, 20000));
    QCOMPARE(window.review().suggestion.months, 6);
    window.acceptSuggestion();
    QCOMPARE(messages.questions.size(), 1);
    QVERIFY(messages.questions[0].text.contains("to 6 months"));
    QVERIFY(QTest::qWaitFor([&] { return !window.isBusy(); }, 20000));
    QList<lab::Instrument> entries;
    QVERIFY(!lab::instrumentEntries(*store, "742", "FORM-1", entries).failed());
    QCOMPARE(entries.size(), confirmed ? 2 : 1);
    QCOMPARE(entries.last().intervalMonths, confirmed ? 6 : 12);
    QCOMPARE(entries.last().tolerance, std::optional<double>(0.05));
}

// The adjustment check, told a serial number: the register's type, line, owner and tolerance
// for one it holds; for one it does not, Register instrument..., which hands the fields on.
void TestInstrumentsWindow::adjustmentCheckTakesTheRegister()
{
    const auto store =
        std::make_shared<records::SqliteRecordStore>(dir_.filePath("adjustment.sqlite"));
    lab::Instrument held;
    held.type = QStringLiteral("736");
    held.serial = QStringLiteral("HELD-1");
    held.line = 2;
    held.owner = QStringLiteral("Big Co Ltd");
    held.tolerance = 0.25;
    QVERIFY(!lab::registerInstrument(*store, held).failed());
    adjust::AdjustmentWindow window;
    window.setRecordStoreSource([store] { return store; });
    const auto field = [&](const QString& name) {
        for (QLineEdit* found : window.findChildren<QLineEdit*>())
            if (found->accessibleName() == name)
                return found;
        return static_cast<QLineEdit*>(nullptr);
    };
    auto* registering = window.findChild<QPushButton*>("RegisterInstrument");
    QVERIFY(registering && field("Serial number") && field("Tolerance") && field("Customer"));
    field("Serial number")->setText("HELD-1");
    emit field("Serial number")->editingFinished();
    QVERIFY(QTest::qWaitFor([&] { return field("Customer")->text() == "Big Co Ltd"; }, 20000));
    QCOMPARE(field("Tolerance")->text(), QStringLiteral("0.25"));
    QStringList combos;
    for (QComboBox* combo : window.findChildren<QComboBox*>())
        combos << combo->accessibleName() + "=" + combo->currentText();
    QVERIFY2(combos.contains("Instrument type=736") && combos.contains("Display line=2"),
             qPrintable(combos.join(", ")));
    QVERIFY(registering->isHidden());
    field("Serial number")->setText("NEW-7");
    emit field("Serial number")->editingFinished();
    QVERIFY(QTest::qWaitFor([&] { return !registering->isHidden(); }, 20000));
    QSignalSpy asked(&window, &adjust::AdjustmentWindow::instrumentToRegister);
    registering->click();
    QCOMPARE(asked.size(), 1);
    const auto offered = asked[0][0].value<lab::Instrument>();
    QCOMPARE(offered.serial, QStringLiteral("NEW-7"));
    QCOMPARE(offered.owner, QStringLiteral("Big Co Ltd"));
}

// The main window says how many instruments are overdue once the store is read, in its
// status bar; none overdue, nothing.
void TestInstrumentsWindow::statusBarCountsOverdue()
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    qunsetenv("QUARVET_DATABASE");
    records::SqliteRecordStore store(data.filePath("Quarvet/records.sqlite"));
    for (const char* serial : {"LATE-1", "LATE-2", "FINE"})
        QVERIFY(registered(store, QLatin1String(serial), 12));
    const QDate today = QDate::currentDate();
    QVERIFY(!store.add(test::calibrationOn("LATE-1", today.addMonths(-14), "Pass")).failed());
    QVERIFY(!store.add(test::calibrationOn("LATE-2", today.addMonths(-13), "Pass")).failed());
    QVERIFY(!store.add(test::calibrationOn("FINE", today.addDays(-1), "Pass")).failed());
    TemporaryStore settings;
    app::MainWindow main(settings.store());
    QVERIFY(QTest::qWaitFor(
        [&] { return main.statusBar()->currentMessage().startsWith("2 instruments overdue"); },
        20000));
    qunsetenv("XDG_DATA_HOME");
}

QTEST_MAIN(TestInstrumentsWindow)
#include "tst_instrumentswindow.moc"
