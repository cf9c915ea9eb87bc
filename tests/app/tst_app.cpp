#include "about/aboutwindow.h"
#include "activewindow.h"
#include "adjust/adjustmentwindow.h"
#include "adjust/memorytextdialog.h"
#include "app/mainwindow.h"
#include "app/waitresponsive.h"
#include "fixtures.h"
#include "layoutinvariants.h"
#include "recordingmessages.h"
#include "settings/setupdialog.h"
#include "temporarystore.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using quarvet::app::MainWindow;
using Icon = quarvet::ui::MessageService::Icon;

Q_DECLARE_METATYPE(Icon)

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsEmptyWithFocusInIst1();
    void startsWithStoredDefaults();
    void setupIsOneModelessWindow();
    void setupOkRefreshesTargets();
    void aboutOpensOnceFromEachPlace_data();
    void aboutOpensOnceFromEachPlace();
    void aboutOkUnloadsAndReloads();
    void controls_data();
    void controls();
    void captions_data();
    void captions();
    void layoutHasNoSlips();
    void tabOrderSkipsResults();
    void resultsAreReadOnly();
    void calculates_data();
    void calculates();
    void tooltipsShowDecimalValues();
    void rejectsWrongEntries_data();
    void rejectsWrongEntries();
    void separatorWarningDoesNotStopCalculation();
    void calculationFaultsKeepResults_data();
    void calculationFaultsKeepResults();
    void shortcutsWinInEntryFields_data();
    void shortcutsWinInEntryFields();
    void endOfProgramAsksToEnd();
    void realMessageBoxShowsLineBreaks();
    void realQuestionDefaultsToCancel_data();
    void realQuestionDefaultsToCancel();
    void adjustmentCheckOpensOnce_data();
    void adjustmentCheckOpensOnce();
    void adjustmentCheckFollowsCalculations();
    void adjustmentCheckReadsMemoryText_data();
    void adjustmentCheckReadsMemoryText();
    void adjustmentCheckVerifies_data();
    void adjustmentCheckVerifies();
    void comWaitKeepsEventsFlowing_data();
    void comWaitKeepsEventsFlowing();

private:
    QLineEdit* field(const char* name) const { return window_->findChild<QLineEdit*>(name); }
    void enter(const QString& s1, const QString& s2, const QString& i1, const QString& i2);
    QString results() const;

    std::unique_ptr<TemporaryStore> store_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<RecordingMessages> messages_;
};

void TestMainWindow::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    messages_ = std::make_unique<RecordingMessages>();
    store_ = std::make_unique<TemporaryStore>();
    window_ = std::make_unique<MainWindow>(store_->store());
    QVERIFY(showActive(window_.get()));
}

void TestMainWindow::cleanup()
{
    window_.reset();
    store_.reset();
    messages_.reset();
    QLocale::setDefault(QLocale::system());
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestMainWindow::enter(const QString& s1, const QString& s2, const QString& i1,
                           const QString& i2)
{
    field("Soll1")->setText(s1);
    field("Soll2")->setText(s2);
    field("Ist1")->setText(i1);
    field("Ist2")->setText(i2);
}

QString TestMainWindow::results() const
{
    return field("Steigung")->text() + QLatin1Char(' ') + field("Offset")->text();
}

void TestMainWindow::startsEmptyWithFocusInIst1()
{
    for (const char* name : {"Soll1", "Soll2", "Ist1", "Ist2", "Steigung", "Offset"})
        QVERIFY2(field(name)->text().isEmpty(), name);
    QCOMPARE(QApplication::focusWidget(), field("Ist1"));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Quarvet"));
    QVERIFY(window_->centralWidget()->width() >= 507);
    QVERIFY(window_->centralWidget()->height() >= 438);
}

void TestMainWindow::startsWithStoredDefaults()
{
    using namespace quarvet::settings;
    QVERIFY(store_->store().write(sectionDefaults, {{keyTarget1, "12,5"}, {keyTarget2, "85"}}));
    MainWindow reopened(store_->store());
    QCOMPARE(reopened.findChild<QLineEdit*>("Soll1")->text(), QStringLiteral("12,5"));
    QCOMPARE(reopened.findChild<QLineEdit*>("Soll2")->text(), QStringLiteral("85"));
    QVERIFY(reopened.findChild<QLineEdit*>("Ist1")->text().isEmpty());
}

void TestMainWindow::setupIsOneModelessWindow()
{
    QAction* setup = window_->findChild<QAction*>("Voreinstellungen");
    setup->trigger();
    auto* dialog = window_->findChild<quarvet::settings::SetupDialog*>();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    dialog->findChild<QLineEdit*>("Soll1")->setText("typed");
    setup->trigger();
    QCOMPARE(window_->findChildren<quarvet::settings::SetupDialog*>().size(), 1);
    QCOMPARE(dialog->findChild<QLineEdit*>("Soll1")->text(), QStringLiteral("typed"));
    // The main window still calculates while the dialog is open.
    enter("20", "80", "20", "80");
    window_->calculate();
    QCOMPARE(results(), QStringLiteral("2710 0000"));
}

void TestMainWindow::setupOkRefreshesTargets()
{
    enter("1", "2", "3", "4");
    window_->findChild<QAction*>("Voreinstellungen")->trigger();
    QPointer<quarvet::settings::SetupDialog> dialog =
        window_->findChild<quarvet::settings::SetupDialog*>();
    QVERIFY(dialog);
    dialog->findChild<QLineEdit*>("Soll1")->setText("-20");
    dialog->findChild<QLineEdit*>("Soll2")->setText("120");
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QCOMPARE(field("Soll1")->text(), QStringLiteral("-20"));
    QCOMPARE(field("Soll2")->text(), QStringLiteral("120"));
    QCOMPARE(field("Ist1")->text(), QStringLiteral("3"));
    QTRY_VERIFY(dialog.isNull());
    // The next opening reads the store afresh.
    window_->findChild<QAction*>("Voreinstellungen")->trigger();
    dialog = window_->findChild<quarvet::settings::SetupDialog*>();
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLineEdit*>("Soll2")->text(), QStringLiteral("120"));
}

void TestMainWindow::aboutOpensOnceFromEachPlace_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("title label") << "Label1";
    QTest::newRow("logo") << "Image1";
}

void TestMainWindow::aboutOpensOnceFromEachPlace()
{
    QFETCH(QString, how);
    for (int i = 0; i < 2; ++i) {
        if (how == "menu")
            window_->findChild<QAction*>("Info")->trigger();
        else
            QTest::mouseClick(window_->findChild<QLabel*>(how), Qt::LeftButton);
    }
    const auto windows = window_->findChildren<quarvet::about::AboutWindow*>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows[0]->isVisible() && !windows[0]->isModal());
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("Quarvet Basic-Info"));
}

void TestMainWindow::aboutOkUnloadsAndReloads()
{
    window_->findChild<QAction*>("Info")->trigger();
    QPointer<quarvet::about::AboutWindow> first =
        window_->findChild<quarvet::about::AboutWindow*>();
    QVERIFY(first);
    QTest::mouseClick(first->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());
    window_->findChild<QAction*>("Info")->trigger();
    QVERIFY(window_->findChild<quarvet::about::AboutWindow*>());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("Label1") << "Label1"
                            << "Quarvet" << QRect(16, 24, 225, 65) << "";
    QTest::newRow("Image1") << "Image1"
                            << "" << QRect(312, 8, 171, 68) << "Quarvet logo";
    QTest::newRow("Frame1") << "Frame1"
                            << "Measured value" << QRect(8, 96, 489, 153) << "";
    QTest::newRow("Soll1") << "Soll1"
                           << "" << QRect(120, 80, 65, 25) << "Target temperature 1";
    QTest::newRow("Soll2") << "Soll2"
                           << "" << QRect(120, 112, 65, 25) << "Target temperature 2";
    QTest::newRow("Ist1") << "Ist1"
                          << "" << QRect(216, 80, 65, 25) << "Indicated temperature 1";
    QTest::newRow("Ist2") << "Ist2"
                          << "" << QRect(216, 112, 65, 25) << "Indicated temperature 2";
    QTest::newRow("Steigung") << "Steigung"
                              << "" << QRect(384, 80, 65, 25) << "Increase";
    QTest::newRow("Offset") << "Offset"
                            << "" << QRect(384, 112, 65, 25) << "Offset";
    QTest::newRow("Berechnen1") << "Berechnen1"
                                << "&Calculate" << QRect(376, 16, 81, 25) << "";
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(QString, accessibleName);
    auto* widget = window_->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->accessibleName(), accessibleName);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(widget))
        shown = label->text();
    else if (auto* box = qobject_cast<QGroupBox*>(widget))
        shown = box->title();
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        shown = button->text();
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        shown = line->text();
    QCOMPARE(shown, text);
    QCOMPARE(widget->font().family(), QStringLiteral("Arial"));
}

void TestMainWindow::captions_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("1") << 1 << "Target value" << QRect(120, 40, 81, 33);
    QTest::newRow("2") << 2 << "Indicated value" << QRect(216, 40, 81, 33);
    QTest::newRow("3") << 3 << "Temperature 1:" << QRect(8, 80, 121, 25);
    QTest::newRow("4") << 4 << "Temperature 2:" << QRect(8, 112, 113, 25);
    QTest::newRow("5") << 5 << "°C" << QRect(184, 80, 25, 25);
    QTest::newRow("6") << 6 << "°C" << QRect(184, 112, 25, 25);
    QTest::newRow("7") << 7 << "°C" << QRect(280, 80, 25, 25);
    QTest::newRow("8") << 8 << "°C" << QRect(280, 112, 25, 25);
    QTest::newRow("9") << 9 << "hex" << QRect(448, 80, 25, 25);
    QTest::newRow("16") << 16 << "Increase:" << QRect(312, 80, 65, 25);
    QTest::newRow("17") << 17 << "Offset:" << QRect(312, 112, 65, 25);
    QTest::newRow("22") << 22 << "hex" << QRect(448, 112, 25, 25);
}

// The twelve captions share the object name Label2 and are told apart by their number.
void TestMainWindow::captions()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    const auto labels = window_->findChild<QGroupBox*>("Frame1")->findChildren<QLabel*>("Label2");
    QCOMPARE(labels.size(), 12);
    const auto found = std::find_if(labels.begin(), labels.end(), [index](QLabel* label) {
        return label->property("index").toInt() == index;
    });
    QVERIFY(found != labels.end());
    QCOMPARE((*found)->text(), text);
    QCOMPARE((*found)->geometry(), geometry);
    QCOMPARE((*found)->font().family(), QStringLiteral("Arial"));
}

void TestMainWindow::layoutHasNoSlips()
{
    QWidget* client = window_->centralWidget();
    const QStringList faults =
        layout::overlaps(client) + layout::outside(client) + layout::mnemonicClashes(window_.get());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestMainWindow::tabOrderSkipsResults()
{
    const char* expected[] = {"Ist2", "Berechnen1", "Soll1", "Soll2", "Ist1"};
    for (const char* name : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(name));
    }
}

void TestMainWindow::resultsAreReadOnly()
{
    for (const char* name : {"Steigung", "Offset"}) {
        QLineEdit* result = field(name);
        QVERIFY(result->isReadOnly());
        result->setFocus();
        QTest::keyClicks(result, "12");
        QVERIFY2(result->text().isEmpty(), name);
    }
}

void TestMainWindow::calculates_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("codes");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    const QStringList worked{"0", "100", "0.5", "99.0"};
    QTest::newRow("button") << us << "button" << worked << "27A8 FE04";
    QTest::newRow("menu") << us << "menu" << worked << "27A8 FE04";
    QTest::newRow("ctrl+b") << us << "shortcut" << worked << "27A8 FE04";
    QTest::newRow("comma locale") << german << "button" << QStringList{"0", "100", "0,5", "99,0"}
                                  << "27A8 FE04";
    QTest::newRow("already right")
        << us << "button" << QStringList{"20", "80", "20", "80"} << "2710 0000";
    QTest::newRow("negative slope")
        << us << "button" << QStringList{"100", "0", "0", "100"} << "D8F0 86A0";
}

void TestMainWindow::calculates()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, how);
    QFETCH(QStringList, texts);
    QFETCH(QString, codes);
    QLocale::setDefault(locale);
    enter(texts[0], texts[1], texts[2], texts[3]);
    field("Soll2")->setFocus();
    if (how == "button")
        QTest::mouseClick(window_->findChild<QPushButton*>("Berechnen1"), Qt::LeftButton);
    else if (how == "menu")
        window_->findChild<QAction*>("Berechnen")->trigger();
    else
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(results(), codes);
    QVERIFY(messages_->boxes.isEmpty());
    QCOMPARE(QApplication::focusWidget(), field("Ist1"));
}

void TestMainWindow::tooltipsShowDecimalValues()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    enter("0", "100", "0,5", "99");
    window_->calculate();
    // What the codes make the instrument apply, not the line's digits.
    QCOMPARE(field("Steigung")->toolTip(), QStringLiteral("Slope: 1,0152"));
    QCOMPARE(field("Offset")->toolTip(), QStringLiteral("Offset: -0,508 °C"));
    // A slope its code does not hold: the line's value beside what is applied.
    enter("0", "100", "0", "10");
    window_->calculate();
    QCOMPARE(field("Steigung")->toolTip(), QStringLiteral("Slope: -3,1072 (the line's 10)"));
}

void TestMainWindow::rejectsWrongEntries_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("report");
    QTest::newRow("fault in Ist2 only") << QStringList{"0", "100", "0.5", "abc"}
                                        << "Following Inputs are wrong:\r\r"
                                           "Indicated temperature 2\r";
    QTest::newRow("first and last") << QStringList{"", "100", "0.5", "9 9"}
                                    << "Following Inputs are wrong:\r\r"
                                       "Target temperature 1\rIndicated temperature 2\r";
}

void TestMainWindow::rejectsWrongEntries()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, report);
    enter("20", "80", "20", "80");
    window_->calculate();
    enter(texts[0], texts[1], texts[2], texts[3]);
    field("Ist2")->setFocus();
    QCOMPARE(window_->reportWrongEntries(), report);
    messages_->boxes.clear();

    window_->calculate();
    QCOMPARE(messages_->boxes.size(), 1);
    QCOMPARE(messages_->boxes[0].title, QStringLiteral("Quarvet"));
    QCOMPARE(messages_->boxes[0].text, report);
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QCOMPARE(results(), QStringLiteral("2710 0000"));
    QCOMPARE(QApplication::focusWidget(), field("Soll1"));
}

void TestMainWindow::separatorWarningDoesNotStopCalculation()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    enter("0", "12.5", "x", "1,5");
    QCOMPARE(window_->reportWrongEntries(), QStringLiteral("Following Inputs are wrong:\r\r"
                                                           "Indicated temperature 1\r"));
    QCOMPARE(messages_->boxes.size(), 2);
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QCOMPARE(messages_->boxes[1].text, QStringLiteral("Following separator '.' is unknown.\r"
                                                      "The correct separator is ',' !\r"
                                                      "Please check the entered values!\r"));
    QCOMPARE(messages_->boxes[1].icon, Icon::None);
    QCOMPARE(messages_->boxes[1].title, QStringLiteral("Quarvet"));

    messages_->boxes.clear();
    enter("0", "12.5", "0", "1");
    window_->calculate();
    QCOMPARE(messages_->boxes.size(), 1);
    // 12.5 reads as 125 here: slope 125 (1250000 = 0x1312D0), offset 0.
    QCOMPARE(results(), QStringLiteral("12D0 0000"));
    QCOMPARE(QApplication::focusWidget(), field("Ist1"));
}

void TestMainWindow::calculationFaultsKeepResults_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("message");
    QTest::newRow("equal indicated values")
        << QStringList{"0", "100", "5", "5"}
        << "The two indicated values are equal, so no slope can be calculated.\r"
           "Please enter two different indicated values.";
    QTest::newRow("slope too large") << QStringList{"0", "1000000", "0", "1"}
                                     << "The slope is too large to be coded.\r"
                                        "It must lie between -214748.3648 and 214748.3647.";
    // Once the codes 0000 86A0 of a slope 0, where the line's slope is 0.5.
    QTest::newRow("indicated difference overflows")
        << QStringList{"0", "100", "-1e308", "1e308"}
        << "The values are too large to be calculated with.\rPlease check the entered values.";
}

void TestMainWindow::calculationFaultsKeepResults()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, message);
    enter("0", "100", "1", "101");
    window_->calculate();
    enter(texts[0], texts[1], texts[2], texts[3]);
    field("Soll1")->setFocus();
    window_->calculate();
    QCOMPARE(messages_->boxes.size(), 1);
    QCOMPARE(messages_->boxes[0].text, message);
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QCOMPARE(results(), QStringLiteral("2710 FC18"));
    QCOMPARE(QApplication::focusWidget(), field("Ist1"));
}

void TestMainWindow::shortcutsWinInEntryFields_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("action");
    const QList<QPair<int, QString>> commands{{Qt::Key_B, "Berechnen"},
                                              {Qt::Key_P, "Programmende"},
                                              {Qt::Key_E, "Voreinstellungen"},
                                              {Qt::Key_I, "Info"}};
    for (const char* focus : {"Ist1", "Soll2"})
        for (const auto& [key, action] : commands)
            QTest::addRow("%s in %s", qPrintable(action), focus) << focus << key << action;
}

void TestMainWindow::shortcutsWinInEntryFields()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, action);
    enter("20", "80", "20", "80");
    QLineEdit* entry = field(focus.toLatin1().constData());
    entry->setFocus();
    entry->setCursorPosition(0);
    QSignalSpy triggered(window_->findChild<QAction*>(action), &QAction::triggered);
    QTest::keyClick(entry, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(triggered.size(), 1);
    QCOMPARE(entry->cursorPosition(), 0);
    if (action == "Voreinstellungen")
        QVERIFY(window_->findChild<quarvet::settings::SetupDialog*>());
    if (action == "Info")
        QVERIFY(window_->findChild<quarvet::about::AboutWindow*>());
}

void TestMainWindow::endOfProgramAsksToEnd()
{
    QSignalSpy ended(window_.get(), &MainWindow::endRequested);
    window_->findChild<QAction*>("Programmende")->trigger();
    QCOMPARE(ended.size(), 1);
}

void TestMainWindow::realMessageBoxShowsLineBreaks()
{
    messages_.reset();
    QString shownText;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        shownText = box->text();
        shownIcon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    quarvet::ui::messages().show(window_.get(), QStringLiteral("Quarvet"),
                                 QStringLiteral("one\rtwo\r"), Icon::Stop);
    QCOMPARE(shownText, QStringLiteral("one\ntwo\n"));
    QCOMPARE(shownIcon, QMessageBox::Critical);
}

void TestMainWindow::realQuestionDefaultsToCancel_data()
{
    QTest::addColumn<int>("key"); // 0: the action's button clicked
    QTest::addColumn<bool>("going");
    QTest::newRow("Enter takes Cancel, the default") << int(Qt::Key_Return) << false;
    QTest::newRow("Esc cancels") << int(Qt::Key_Escape) << false;
    QTest::newRow("the action clicked") << 0 << true;
}

// A question before something is lost offers the action by name and Cancel, the default.
void TestMainWindow::realQuestionDefaultsToCancel()
{
    QFETCH(int, key);
    QFETCH(bool, going);
    messages_.reset();
    QStringList buttons;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton* button : box->buttons())
            buttons << button->text();
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        if (key == 0)
            box->buttons().value(buttons.indexOf("&Discard"))->click();
        else
            QTest::keyClick(box, Qt::Key(key));
    });
    const bool answer = quarvet::ui::messages().confirm(window_.get(), QStringLiteral("Quarvet"),
                                                        QStringLiteral("Discard them?"),
                                                        QStringLiteral("&Discard"));
    QCOMPARE(buttons.size(), 2);
    QVERIFY(buttons.contains("&Discard"));
    QCOMPARE(answer, going);
}

namespace {

// The adjustment check's field or value that outside checks know by its accessible name.
QString shownIn(QWidget* window, const QString& accessibleName)
{
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->accessibleName() != accessibleName)
            continue;
        if (auto* field = qobject_cast<QLineEdit*>(widget))
            return field->text();
        if (auto* label = qobject_cast<QLabel*>(widget))
            return label->text();
    }
    return QStringLiteral("<no such field>");
}

QLineEdit* fieldNamed(QWidget* window, const QString& accessibleName)
{
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        if (field->accessibleName() == accessibleName)
            return field;
    return nullptr;
}

} // namespace

void TestMainWindow::adjustmentCheckOpensOnce_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("ctrl+r in an entry field") << "shortcut";
}

void TestMainWindow::adjustmentCheckOpensOnce()
{
    QFETCH(QString, how);
    for (int n = 0; n < 2; ++n) {
        if (how == "menu") {
            window_->findChild<QAction*>("AdjustmentCheck")->trigger();
        } else {
            QVERIFY(showActive(window_.get()));
            field("Ist2")->setFocus();
            QTest::keyClick(field("Ist2"), Qt::Key_R, Qt::ControlModifier);
        }
    }
    const auto windows = window_->findChildren<quarvet::adjust::AdjustmentWindow*>();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows[0]->isVisible());
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("Adjustment check"));
    QCOMPARE(field("Ist2")->text(), QString()); // the shortcut typed nothing
    for (const char* name :
         {"Slope code to write", "Offset code to write", "Code warning", "Current slope code",
          "Current offset code", "Predicted error at point 1", "Predicted error at point 2",
          "Largest error", "Tolerance", "Uncertainty", "As-left reading at point 1",
          "As-left reading at point 2", "Verdict"})
        QVERIFY2(shownIn(windows[0], name) != "<no such field>", name);
}

void TestMainWindow::adjustmentCheckFollowsCalculations()
{
    enter("0", "100", "0.5", "99.0");
    window_->calculate();
    window_->showAdjustmentCheck();
    auto* check = window_->findChild<quarvet::adjust::AdjustmentWindow*>();
    QVERIFY(check);
    QCOMPARE(shownIn(check, "Slope code to write"), QStringLiteral("27A8"));
    QCOMPARE(shownIn(check, "Offset code to write"), QStringLiteral("FE04"));
    QCOMPARE(shownIn(check, "Predicted error at point 1"), QStringLiteral("-0.0004"));
    QCOMPARE(shownIn(check, "Predicted error at point 2"), QStringLiteral("-0.0032"));
    QCOMPARE(shownIn(check, "Largest error"), QStringLiteral("0.0032"));
    QCOMPARE(shownIn(check, "Code warning"), QString());
    // Current codes that are no codes predict nothing, rather than a line of zeros.
    fieldNamed(check, "Current slope code")->setText("27G0");
    for (const char* nothing :
         {"Slope code to write", "Code values", "Largest error", "Predicted error at point 1"})
        QCOMPARE(shownIn(check, nothing), QString());
    fieldNamed(check, "Current slope code")->setText("2710");
    QCOMPARE(shownIn(check, "Code values"), QStringLiteral("slope 1.0152, offset -0.5080 \u00B0C"));
    // A new calculation refreshes it; one that fails leaves the last good one.
    enter("0", "70", "0", "10");
    window_->calculate();
    QCOMPARE(shownIn(check, "Slope code to write"), QStringLiteral("1170"));
    QVERIFY(shownIn(check, "Code warning").contains("0.4464"));
    enter("0", "100", "5", "5");
    window_->calculate();
    QCOMPARE(shownIn(check, "Slope code to write"), QStringLiteral("1170"));
    // Readings taken under current codes give the composed codes.
    enter("0", "100", "1.0", "99.5");
    window_->calculate();
    fieldNamed(check, "Current offset code")->setText("01F4");
    QCOMPARE(shownIn(check, "Slope code to write"), QStringLiteral("27A8"));
    QCOMPARE(shownIn(check, "Offset code to write"), QStringLiteral("FE04"));
    QVERIFY(!shownIn(check, "Composed codes note").isEmpty());
}

void TestMainWindow::adjustmentCheckReadsMemoryText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QString>("slope");
    QTest::addColumn<QString>("offset");
    const QString worked = QString::fromLatin1(fixtures::workedMemoryText);
    QTest::newRow("display line 1") << worked << 1 << true << "2710"
                                    << "01F4";
    QTest::newRow("display line 2") << worked << 2 << true << "26FF"
                                    << "04B0";
    QTest::newRow("the link's text does not decode")
        << "nicht in BASIS Version" << 1 << false << "2710"
        << "0000";
}

void TestMainWindow::adjustmentCheckReadsMemoryText()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(bool, filled);
    QFETCH(QString, slope);
    QFETCH(QString, offset);
    window_->showAdjustmentCheck();
    auto* check = window_->findChild<quarvet::adjust::AdjustmentWindow*>();
    QString fault;
    QCOMPARE(check->takeCurrentCodesFromMemory(text, line, fault), filled);
    QCOMPARE(fault.isEmpty(), filled);
    QCOMPARE(shownIn(check, "Current slope code"), slope);
    QCOMPARE(shownIn(check, "Current offset code"), offset);
    // What the dialog shows of a fault is text, never markup.
    quarvet::adjust::MemoryTextDialog dialog(window_.get());
    dialog.showFault(QStringLiteral("the value field \"<hr>ZZ\" is not hexadecimal"));
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->accessibleName() == "Decoding fault")
            QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestMainWindow::adjustmentCheckVerifies_data()
{
    QTest::addColumn<QStringList>("typed"); // tolerance, uncertainty, reading 1, reading 2
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("problems");
    // Without the resolution, U at each point read once is the reference's 0.02.
    QTest::newRow("0.08 passes") << QStringList{"0.1", "0.02", "0.08", "100"} << "Pass"
                                 << "";
    // An uncertainty as large as the tolerance: nothing can pass, and no instrument is failed.
    QTest::newRow("U as large as T: not judged")
        << QStringList{"0.1", "0.1", "0", "100"} << "Not judged"
        << "";
    QTest::newRow("0.081 fails") << QStringList{"0.1", "0.02", "0.081", "100"} << "Fail"
                                 << "";
    // Readings repeated at a point: their mean 0.08, and their spread widens U past it.
    QTest::newRow("0.07 and 0.09 fail") << QStringList{"0.1", "0.02", "0.07 0.09", "100"} << "Fail"
                                        << "";
    QTest::newRow("incomplete") << QStringList{"0.1", "0.02", "0.08", ""} << "incomplete at point 2"
                                << "";
    // Where there is no verdict, why, in the words of the record and the certificate.
    QTest::newRow("nothing read after") << QStringList{"0.1", "0.02", "", ""} << "not verified"
                                        << "";
    QTest::newRow("no tolerance") << QStringList{"", "0.02", "0.08", "100"}
                                  << "not judged: no tolerance"
                                  << "";
    QTest::newRow("not a number is named, no box") << QStringList{"0.1", "x", "0.08", "100"} << ""
                                                   << "Not a number or no code: Uncertainty";
    QTest::newRow("a reading among readings that is none")
        << QStringList{"0.1", "0.02", "0.08 x", "100"} << ""
        << "Not a number or no code: As-left reading at point 1";
    QTest::newRow("a comma in the English locale is named")
        << QStringList{"0,1", "0", "0.08", "100"} << "Pass"
        << "Following separator ',' is unknown. The correct separator is '.' ! "
           "Please check the entered values!";
}

void TestMainWindow::adjustmentCheckVerifies()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, verdict);
    QFETCH(QString, problems);
    enter("0", "100", "0.5", "99.0");
    window_->calculate();
    window_->showAdjustmentCheck();
    auto* check = window_->findChild<quarvet::adjust::AdjustmentWindow*>();
    fieldNamed(check, "Resolution")->setText("0");
    const char* names[] = {"Tolerance", "Uncertainty", "As-left reading at point 1",
                           "As-left reading at point 2"};
    for (int n = 0; n < 4; ++n)
        fieldNamed(check, names[n])->setText(typed[n]);
    QCOMPARE(shownIn(check, "Verdict"), verdict);
    QCOMPARE(shownIn(check, "Decision rule")
                 .contains("Not judged: the uncertainty is not "
                           "smaller than the tolerance"),
             verdict == "Not judged");
    QCOMPARE(shownIn(check, "Entry problems"), problems);
    // Found 0.5 and 1 off: out of tolerance before the adjustment, whatever came after, and
    // beyond doubt even where U is no smaller than T.
    if (problems.isEmpty())
        QCOMPARE(shownIn(check, "As-found verdict"),
                 verdict.startsWith("not judged: no tolerance") ? verdict : "Fail");
    if (verdict == "Pass" && typed[1] == "0.02")
        QCOMPARE(shownIn(check, "Uncertainty as left at point 1"),
                 "error 0.0800, U 0.020 (k = 2.00)");
    QVERIFY(messages_->boxes.isEmpty());
}

void TestMainWindow::comWaitKeepsEventsFlowing_data()
{
    QTest::addColumn<double>("timeout");
    QTest::addColumn<bool>("eventsRun");
    QTest::newRow("negative returns at once") << -1.0 << false;
    QTest::newRow("not a number returns at once") << std::nan("") << false;
    QTest::newRow("zero waits for the clock to move") << 0.0 << false;
    QTest::newRow("a short wait runs events") << 0.05 << true;
}

void TestMainWindow::comWaitKeepsEventsFlowing()
{
    QFETCH(double, timeout);
    QFETCH(bool, eventsRun);
    bool ran = false;
    // Dies with this test, and takes the timer along when the wait ran no events.
    QObject context;
    QTimer::singleShot(0, &context, [&ran] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    quarvet::app::waitResponsive(timeout);
    const qint64 waited = clock.nsecsElapsed();
    if (eventsRun) {
        QVERIFY(ran);
        QVERIFY(waited >= qint64(timeout * 1e9));
    }
    QVERIFY(waited > 0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_app.moc"
