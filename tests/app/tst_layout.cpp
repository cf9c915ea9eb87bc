// The windows on a laptop's screen: each fits 1366x768 with room for a title bar and a
// panel, and the adjustment check keeps its fields in place, wide enough for what they hold,
// as results, verdicts and warnings come and go.
#include "activewindow.h"
#include "adjust/adjustmentwindow.h"
#include "adjust/checkview.h"
#include "app/mainwindow.h"
#include "calculatedcheck.h"
#include "history/historywindow.h"
#include "layoutinvariants.h"
#include "plot/errorplotpainter.h"
#include "recordingmessages.h"
#include "temporarystore.h"
#include "windowoutline.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using quarvet::adjust::AdjustmentWindow;
using quarvet::app::MainWindow;

namespace {

// A 1366x768 screen less a panel and a title bar.
const QSize laptop(1366, 768 - 64);

using Entries = QList<QPair<QString, QString>>;

QLineEdit* entry(QWidget* window, const QString& accessibleName)
{
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        if (field->accessibleName() == accessibleName)
            return field;
    return nullptr;
}

// Where each entry and choice of `window` is, and how large, in the window's coordinates.
QMap<QString, QRect> placesOfEntries(QWidget* window)
{
    QMap<QString, QRect> places;
    QList<QWidget*> entries;
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        entries << field;
    for (QComboBox* choice : window->findChildren<QComboBox*>())
        entries << choice;
    for (QWidget* control : entries)
        if (control->isVisibleTo(window) && !control->accessibleName().isEmpty())
            places.insert(control->accessibleName(),
                          QRect(control->mapTo(window, QPoint(0, 0)), control->size()));
    return places;
}

// The texts of `window` that do not fit where they are shown: an entry too narrow for what
// it holds, a label whose text is cut rather than wrapped.
QStringList cutTexts(QWidget* window)
{
    QStringList faults;
    for (QLineEdit* field : window->findChildren<QLineEdit*>()) {
        // The frame and the text's margins take about ten pixels of a field; an empty one
        // shows its placeholder.
        const QString shown = field->text().isEmpty() ? field->placeholderText() : field->text();
        if (field->isVisibleTo(window) &&
            field->fontMetrics().horizontalAdvance(shown) > field->width() - 10)
            faults << QStringLiteral("%1 (%2 px) cuts \"%3\"")
                          .arg(field->accessibleName())
                          .arg(field->width())
                          .arg(shown);
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const QString text = QString(label->text()).remove(QLatin1Char('&'));
        const bool cut = label->wordWrap() ? label->heightForWidth(label->width()) > label->height()
                                           : label->fontMetrics().horizontalAdvance(text) >
                                                 label->contentsRect().width();
        if (cut)
            faults << QStringLiteral("\"%1\" is cut (%2x%3)")
                          .arg(text)
                          .arg(label->width())
                          .arg(label->height());
    }
    return faults;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void checkKeepsItsFieldsInPlace_data();
    void checkKeepsItsFieldsInPlace();
    void windowsFitALaptop_data();
    void windowsFitALaptop();
    void columnsAreNeverClipped_data();
    void columnsAreNeverClipped();
    void dialogsFitALaptop_data();
    void dialogsFitALaptop();
    void plotLegendIsNeverCut_data();
    void plotLegendIsNeverCut();
    void picturesShowTheWindowsAsTheyAre_data();
    void picturesShowTheWindowsAsTheyAre();
    void everyPictureOfAWindowIsHeldToIt();

private:
    AdjustmentWindow* openCheck(const QStringList& entries);
    QWidget* openWindow(const QString& name);

    QTemporaryDir data_;
    int testRun_ = 0;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<TemporaryStore> settings_;
    std::unique_ptr<MainWindow> window_;
};

void TestLayout::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("XDG_DATA_HOME", data_.filePath(QString::number(++testRun_)).toUtf8());
    qunsetenv("QUARVET_DATABASE");
    messages_ = std::make_unique<RecordingMessages>();
    settings_ = std::make_unique<TemporaryStore>();
    window_ = std::make_unique<MainWindow>(settings_->store());
    QVERIFY(showActive(window_.get()));
}

void TestLayout::cleanup()
{
    window_.reset();
    settings_.reset();
    messages_.reset();
    QLocale::setDefault(QLocale::system());
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

AdjustmentWindow* TestLayout::openCheck(const QStringList& entries)
{
    return openCheckAfter(*window_, entries);
}

void TestLayout::checkKeepsItsFieldsInPlace_data()
{
    QTest::addColumn<QString>("size"); // the window's: as it opens, a laptop's, its smallest
    QTest::addColumn<QStringList>("measurement");
    QTest::addColumn<Entries>("steps");
    const QStringList usual{"0", "100", "0.5", "99.0"};
    const Entries verdicts{{"Uncertainty", "0.02"},
                           {"Tolerance", "0"},
                           {"Tolerance", "0.1"},
                           {"As-left reading at point 1", "0.03"},
                           {"As-left reading at point 2", "99.99 100.00"},
                           {"Further readings at point 1", "0.51 0.49 0.5"},
                           {"Third point target", "50"},
                           {"Third point reading", "50.01 49.99"}};
    const Entries wrong{{"Uncertainty", "0,02"},
                        {"Tolerance", "zero"},
                        {"As-left reading at point 1", "0.03 x"},
                        {"Current slope code", "27G0"}};
    for (const char* size : {"as it opens", "a laptop's", "its smallest"}) {
        QTest::addRow("%s: tolerance, verdicts and a third point", size)
            << size << usual << verdicts;
        QTest::addRow("%s: verdicts taken back", size)
            << size << usual << verdicts + Entries{{"Tolerance", ""}, {"Uncertainty", ""}};
        QTest::addRow("%s: entries that are no numbers", size) << size << usual << wrong;
        QTest::addRow("%s: codes that do not fit, with verdicts", size)
            << size << QStringList{"0", "70", "0", "10"} << verdicts;
    }
}

// Results, verdicts, the rule's sentence and warnings appear and go as the entries are
// typed: no entry moves or narrows, none cuts what it holds, no text is cut and the window
// keeps its size.
void TestLayout::checkKeepsItsFieldsInPlace()
{
    QFETCH(QString, size);
    QFETCH(QStringList, measurement);
    QFETCH(Entries, steps);
    AdjustmentWindow* check = openCheck(measurement);
    QVERIFY(check);
    if (size == "a laptop's")
        check->resize(laptop);
    else if (size == "its smallest")
        check->resize(check->minimumSizeHint());
    QVERIFY(showActive(check));
    const QSize opened = check->size();
    const QMap<QString, QRect> places = placesOfEntries(check);
    QVERIFY(places.size() > 30);
    for (const auto& [name, text] : steps) {
        QLineEdit* field = entry(check, name);
        QVERIFY2(field, qPrintable(name));
        field->setText(text);
        QCoreApplication::processEvents();
        QCOMPARE(check->size(), opened);
        const QMap<QString, QRect> now = placesOfEntries(check);
        for (auto place = places.begin(); place != places.end(); ++place)
            QVERIFY2(now.value(place.key()) == place.value(),
                     qPrintable(
                         QStringLiteral("%1 moved after %2 \"%3\"").arg(place.key(), name, text)));
        QVERIFY2(cutTexts(check).isEmpty(), qPrintable(cutTexts(check).join('\n')));
    }
}

void TestLayout::windowsFitALaptop_data()
{
    QTest::addColumn<QString>("window");
    for (const char* name : {"Form1", "Form2", "frmAbout", "AdjustmentCheck", "Budget", "History",
                             "References", "Laboratory", "Manual"})
        QTest::newRow(name) << name;
}

QWidget* TestLayout::openWindow(const QString& name)
{
    if (name == "Form2")
        window_->showSetup();
    else if (name == "frmAbout")
        window_->showAbout();
    else if (name == "History")
        window_->showHistory();
    else if (name == "References")
        window_->showReferences();
    else if (name == "Laboratory")
        window_->showLaboratory();
    else if (name == "Manual")
        window_->showManual();
    else if (name != "Form1") {
        AdjustmentWindow* check = openCheck({"0", "100", "0.5", "99.0"});
        if (name == "Budget" && check)
            check->findChild<QPushButton*>("ShowBudget")->click();
    }
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == name && window->isVisible())
            return window;
    return nullptr;
}

// Each window opens no larger than the screen, can be made as small as a laptop's screen,
// and at that size shows every control it names; the adjustment check shows all of its
// entries, the plot, what is wrong and Save without scrolling.
void TestLayout::windowsFitALaptop()
{
    QFETCH(QString, window);
    QWidget* opened = openWindow(window);
    QVERIFY2(opened, qPrintable(window));
    QVERIFY(showActive(opened));
    // The offscreen platform's screen is smaller than a laptop's: there, no larger than that.
    const QSize room =
        opened->screen()->availableGeometry().size().expandedTo(QSize(laptop.width(), 768));
    QVERIFY2(opened->width() <= room.width() && opened->height() <= room.height(),
             qPrintable(QStringLiteral("%1x%2 on a screen of %3x%4")
                            .arg(opened->width())
                            .arg(opened->height())
                            .arg(room.width())
                            .arg(room.height())));
    const QSize smallest = opened->minimumSizeHint().expandedTo(opened->minimumSize());
    QVERIFY2(
        smallest.width() <= laptop.width() && smallest.height() <= laptop.height(),
        qPrintable(QStringLiteral("at least %1x%2").arg(smallest.width()).arg(smallest.height())));
    opened->resize(laptop);
    QTest::qWait(50);
    QVERIFY2(layout::outside(opened).isEmpty(), qPrintable(layout::outside(opened).join('\n')));
    if (window != "AdjustmentCheck")
        return;
    auto* view = opened->findChild<quarvet::adjust::CheckView*>();
    for (QLineEdit* field : view->findChildren<QLineEdit*>())
        QVERIFY2(field->visibleRegion().boundingRect() == field->rect(),
                 qPrintable(field->accessibleName() + " is out of sight"));
    for (const char* shown : {"ErrorPlot", "SaveRecord"}) {
        auto* control = opened->findChild<QWidget*>(shown);
        QVERIFY2(control->visibleRegion().boundingRect() == control->rect(), shown);
    }
    for (QLabel* label : opened->findChildren<QLabel*>())
        if (label->accessibleName() == "Entry problems" ||
            label->accessibleName() == "Record status")
            QVERIFY2(label->visibleRegion().boundingRect() == label->rect(),
                     qPrintable(label->accessibleName()));
}

void TestLayout::columnsAreNeverClipped_data()
{
    QTest::addColumn<int>("extra"); // pixels above the window's smallest width; -1: as it opens
    QTest::newRow("at its smallest") << 0;
    QTest::newRow("slightly wider") << 20;
    QTest::newRow("as it opens") << -1;
}

// The check's columns scroll up and down, never sideways: at any width the window takes, no
// entry of theirs runs under the other column or out of the window.
void TestLayout::columnsAreNeverClipped()
{
    QFETCH(int, extra);
    AdjustmentWindow* check = openCheck({"0", "100", "0.5", "99.0"});
    QVERIFY(showActive(check));
    if (extra >= 0)
        check->resize(check->minimumSizeHint().width() + extra, laptop.height());
    QTest::qWait(50);
    const auto areas = check->findChildren<QScrollArea*>();
    QCOMPARE(areas.size(), 2);
    for (QScrollArea* area : areas) {
        QList<QWidget*> entries;
        for (QLineEdit* field : area->widget()->findChildren<QLineEdit*>())
            entries << field;
        for (QComboBox* choice : area->widget()->findChildren<QComboBox*>())
            entries << choice;
        for (QWidget* entry : entries)
            QVERIFY2(entry->mapTo(area->viewport(), QPoint(entry->width(), 0)).x() <=
                         area->viewport()->width(),
                     qPrintable(QStringLiteral("%1 is clipped at a width of %2")
                                    .arg(entry->accessibleName())
                                    .arg(check->width())));
    }
}

void TestLayout::dialogsFitALaptop_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::newRow("memory text") << "MemoryText";
}

// The dialogs a window opens over itself fit too, and the check's own sits within it.
void TestLayout::dialogsFitALaptop()
{
    QFETCH(QString, dialog);
    AdjustmentWindow* check = openCheck({"0", "100", "0.5", "99.0"});
    QVERIFY(showActive(check));
    QSize seen;
    QTimer::singleShot(0, check, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (modal->objectName() == dialog)
                seen = modal->minimumSizeHint().expandedTo(modal->size());
            modal->close();
        }
    });
    check->findChild<QPushButton*>("ReadFromMemory")->click();
    QVERIFY(seen.isValid());
    QVERIFY2(seen.width() <= laptop.width() && seen.height() <= laptop.height(),
             qPrintable(QStringLiteral("%1x%2").arg(seen.width()).arg(seen.height())));
}

void TestLayout::plotLegendIsNeverCut_data()
{
    QTest::addColumn<qreal>("width");
    QTest::newRow("the check's plot at its narrowest") << qreal(270);
    QTest::newRow("a certificate's column") << qreal(550);
    QTest::newRow("a wide plot") << qreal(1200);
}

// What the plot's colours stand for goes onto further lines rather than being cut, and is
// whole; on one line where there is room.
void TestLayout::plotLegendIsNeverCut()
{
    QFETCH(qreal, width);
    const QFontMetricsF metrics(QApplication::font());
    const QStringList lines = quarvet::adjust::errorPlotLegend(metrics, width);
    for (const QString& line : lines)
        QVERIFY2(metrics.horizontalAdvance(line) <= width, qPrintable(line));
    const QString whole = lines.join(' ');
    QVERIFY(whole.startsWith("error (\u00B0C) against temperature: as found (red), "));
    QVERIFY(whole.endsWith("verification (black), \u00B1tolerance (green)"));
    QCOMPARE(lines.size() == 1, metrics.horizontalAdvance(whole) <= width);
}

void TestLayout::picturesShowTheWindowsAsTheyAre_data()
{
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << "main-window"
                                 << "Form1";
    QTest::newRow("laboratory") << "laboratory"
                                << "Laboratory";
    QTest::newRow("references") << "references"
                                << "References";
    QTest::newRow("adjustment check") << "adjustment-check"
                                      << "AdjustmentCheck";
    QTest::newRow("history") << "history"
                             << "History";
}

// Each picture README shows has the outline of its window recorded beside it as it was
// taken: a window changed since (a control added, moved, renamed or captioned anew) and
// not pictured again is named here.
void TestLayout::picturesShowTheWindowsAsTheyAre()
{
    QFETCH(QString, picture);
    QFETCH(QString, window);
    QFile recorded(QStringLiteral(SCREENSHOTS "/") + picture + ".outline");
    QVERIFY2(recorded.open(QIODevice::ReadOnly), qPrintable(recorded.fileName()));
    const QStringList then = QString::fromUtf8(recorded.readAll()).split('\n');
    QWidget* opened = openWindow(window);
    QVERIFY(opened);
    const QStringList now = outline::of(opened).split('\n');
    for (qsizetype line = 0; line < std::max(then.size(), now.size()); ++line)
        QVERIFY2(then.value(line) == now.value(line),
                 qPrintable(QStringLiteral("docs/screenshots/%1.png is older than its window "
                                           "(run scripts/screenshot): line %2 was \"%3\", is "
                                           "\"%4\"")
                                .arg(picture)
                                .arg(line + 1)
                                .arg(then.value(line), now.value(line))));
}

// Every picture of a window README shows has its outline beside it; the certificate's is a
// page of a PDF (scripts/certificate-picture), no window's.
void TestLayout::everyPictureOfAWindowIsHeldToIt()
{
    QFile readme(QStringLiteral(SCREENSHOTS "/../../README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression picture(QStringLiteral(R"(\]\(docs/([^)]+)\.png\))"));
    int pictures = 0;
    for (const QRegularExpressionMatch& shown : picture.globalMatch(text)) {
        ++pictures;
        const QString name = shown.captured(1);
        if (name != QLatin1String("screenshots/certificate"))
            QVERIFY2(QFile::exists(QStringLiteral(SCREENSHOTS "/../") + name + ".outline"),
                     qPrintable(name + ".png has no outline beside it"));
    }
    QVERIFY(pictures >= 6);
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
