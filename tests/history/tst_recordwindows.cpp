// The record windows as a technician uses them: saving from the adjustment check, the
// history, its certificate, CSV export and corrections, with a real SQLite file.
#include "activewindow.h"
#include "adjust/adjustmentwindow.h"
#include "app/mainwindow.h"
#include "calculatedcheck.h"
#include "history/historywindow.h"
#include "history/labwindow.h"
#include "history/recordtablemodel.h"
#include "history/referenceswindow.h"
#include "lab/certificates.h"
#include "lab/labsettings.h"
#include "lab/references.h"
#include "layoutinvariants.h"
#include "recordingmessages.h"
#include "records/recordformat.h"
#include "records/sqliterecordstore.h"
#include "samplerecord.h"
#include "temporarystore.h"
#include "teststores.h"
#include "ui/filenameservice.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimeZone>
#include <QTimer>
#include <QUuid>

#include <memory>

using quarvet::adjust::AdjustmentWindow;
using quarvet::app::MainWindow;
using quarvet::history::HistoryWindow;
using quarvet::records::Record;

namespace {

// Answers every "save as" with a file of the test's choosing.
class ChosenFileNames final : public quarvet::ui::FileNameService {
public:
    ChosenFileNames() : previous_(quarvet::ui::setFileNameService(this)) {}
    ~ChosenFileNames() override { quarvet::ui::setFileNameService(previous_); }
    QString saveFileName(QWidget*, const QString&, const QString& offered, const QString&) override
    {
        suggested << offered;
        if (whenAsked)
            whenAsked();
        return inFolder.isEmpty() ? answer : inFolder + "/" + QFileInfo(offered).fileName();
    }
    QString answer;
    QString inFolder; // when set, the name offered is taken, in this folder
    QStringList suggested;
    std::function<void()> whenAsked; // what happens elsewhere while the dialog is open

private:
    quarvet::ui::FileNameService* previous_;
};

// A store that answers only when the test lets it, and then succeeds or fails as told.
class GatedStore final : public quarvet::records::RecordStore {
public:
    explicit GatedStore(bool succeeds) : succeeds_(succeeds) {}
    quarvet::records::StoreFailure add(const Record&) override
    {
        gate.acquire();
        using quarvet::records::StoreFaultKind;
        return succeeds_ ? quarvet::records::StoreFailure()
                         : quarvet::records::StoreFailure(quarvet::records::storeFault(
                               StoreFaultKind::NotSaved, "it said no"));
    }
    quarvet::records::StoreFailure visit(const quarvet::records::RecordFilter&,
                                         const quarvet::records::RecordVisitor&) override
    {
        lists.fetchAndAddRelaxed(1);
        gate.acquire();
        return {};
    }
    quarvet::records::StoreFailure count(const quarvet::records::RecordFilter&,
                                         qint64& count) override
    {
        count = 0;
        return {};
    }
    quarvet::records::StoreFailure checkIntegrity() override { return {}; }
    QString location() const override { return QStringLiteral("gated"); }
    // The register and the laboratory read before a save: held too, when asked.
    quarvet::records::StoreFailure inspect(const quarvet::records::StoreReading&) override
    {
        if (gateReads)
            gate.acquire();
        return {};
    }

    QSemaphore gate;
    bool gateReads = false;
    QAtomicInt lists;

private:
    bool succeeds_;
};

// A file whose clock, as the store tells it, is three days behind this workstation's, as a
// shared database's server may be.
class StoreThreeDaysBehind final : public quarvet::records::RecordStore {
public:
    explicit StoreThreeDaysBehind(const QString& path) : file_(path) {}
    using StoreFailure = quarvet::records::StoreFailure;
    StoreFailure change(const quarvet::records::StoreChange& change,
                        const quarvet::records::ChangeFault& fault) override
    {
        return file_.change(change, fault);
    }
    StoreFailure inspect(const quarvet::records::StoreReading& reading) override
    {
        return file_.inspect(reading);
    }
    StoreFailure clock(QDateTime& nowUtc) override
    {
        nowUtc = QDateTime::currentDateTimeUtc().addDays(-3);
        return {};
    }
    StoreFailure add(const Record& record) override { return file_.add(record); }
    StoreFailure visit(const quarvet::records::RecordFilter& filter,
                       const quarvet::records::RecordVisitor& visitor) override
    {
        return file_.visit(filter, visitor);
    }
    StoreFailure count(const quarvet::records::RecordFilter& filter, qint64& count) override
    {
        return file_.count(filter, count);
    }
    StoreFailure checkIntegrity() override { return file_.checkIntegrity(); }
    QString location() const override { return file_.location(); }

private:
    quarvet::records::SqliteRecordStore file_;
};

QWidget* named(QWidget* window, const QString& accessibleName)
{
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (widget->accessibleName() == accessibleName)
            return widget;
    return nullptr;
}

void setText(QWidget* window, const QString& accessibleName, const QString& text)
{
    auto* field = qobject_cast<QLineEdit*>(named(window, accessibleName));
    QVERIFY2(field, qPrintable(accessibleName));
    field->setText(text);
}

QString fieldText(QWidget* window, const QString& accessibleName)
{
    auto* field = qobject_cast<QLineEdit*>(named(window, accessibleName));
    return field ? field->text() : QStringLiteral("<no such field>");
}

QString labelText(QWidget* window, const QString& accessibleName)
{
    auto* label = qobject_cast<QLabel*>(named(window, accessibleName));
    return label ? label->text() : QStringLiteral("<no such label>");
}

QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) ? process.readAllStandardOutput() : QByteArray();
}

// Readings of the record's own, numbered in its note, so that one given to another shows.
void giveOwnReadings(Record& record, int n)
{
    record.note = QString::number(n);
    record.verification = {{0, n / 1000.0}, {100, 100 - n / 1000.0}};
}

// Whether each row shown has the readings its record was saved with.
bool readingsBelong(const quarvet::history::RecordTableModel* rows)
{
    for (int row = 0; row < rows->rowCount(); ++row) {
        const Record* shown = rows->recordAt(row);
        const int n = shown ? shown->note.toInt() : -1;
        if (!shown || shown->verification != QList<quarvet::records::VerificationReading>{
                                                 {0, n / 1000.0}, {100, 100 - n / 1000.0}})
            return false;
    }
    return true;
}

// The register's form filled for a new standard PT-9 with `u` as its U.
void fillRegisterForm(QWidget* references, const QString& u)
{
    for (const auto& [name, text] : {std::pair<const char*, QString>{"Identifier", "PT-9"},
                                     {"Description", "PT100"},
                                     {"Its certificate", "C-9"},
                                     {"Calibrated by", "Acme Cal"},
                                     {"U", u},
                                     {"Calibrated on", "2026-01-10"},
                                     {"Due on", "2027-01-10"}})
        setText(references, name, text);
}

} // namespace

class TestRecordWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void saveRefusesNamingTheField_data();
    void saveRefusesNamingTheField();
    void ctrlSSavesWhatTheWindowShows();
    void unsavedEntriesAreAskedFor_data();
    void unsavedEntriesAreAskedFor();
    void correctionBeingTypedIsAskedFor();
    void windowAndRecordAgree_data();
    void windowAndRecordAgree();
    void budgetWindowFollowsTheEntries();
    void historyOfAStoreKeptBefore();
    void historyIssuesAndTracesReferences();
    void registerAndLaboratoryWindows();
    void registerSaysWhatItKeepsAndAsks();
    void laboratorySaysWhatItKeeps();
    void upgradeShowsItsProgress_data();
    void upgradeShowsItsProgress();
    void registerTakesTheStoresDay();
    void checkTakesTheRegistersReference();
    void standardIsFlaggedWhereChosen_data();
    void standardIsFlaggedWhereChosen();
    void checkHoldsResultsAgainstTheScope();
    void historyIssuesWithoutTheClaim();
    void issuedAgainOffersACopy_data();
    void issuedAgainOffersACopy();
    void receiptFieldsAreKept();
    void historyOpensOnceWithCtrlH();
    void historyStatusFollowsSaves();
    void fileDialogsStartInTheLastFolder();
    void fileDialogsStartWhereTheLastRunWrote_data();
    void fileDialogsStartWhereTheLastRunWrote();
    void certificateFilesAreNamedByTheirNumber_data();
    void certificateFilesAreNamedByTheirNumber();
    void manualOpensWithF1FromEveryWindow();
    void historyFiltersBySerialAndExportsShownRows();
    void certificateOfTheSelectedRecord();
    void correctionNamesTheCorrectedRecord();
    void historyShowsCertificatesAndFindsThem();
    void unusableStoreLeavesTheCalculatorWorking();
    void closingWhileSavingWaitsForTheOutcome_data();
    void closingWhileSavingWaitsForTheOutcome();
    void endOfProgramWaitsForTheSave_data();
    void endOfProgramWaitsForTheSave();
    void reloadsDoNotPileUp();
    void historySaysWhenTheChainIsBroken();
    void historyReadsPagesAndChecksTheStore();
    void historyHoldsPagesAroundWhatIsShown();
    void historySortsInTheStoreWithTheFilter();
    void foreignSeparatorIsRefused_data();
    void foreignSeparatorIsRefused();
    void registerRefusesAForeignSeparator_data();
    void registerRefusesAForeignSeparator();
    void layoutHasNoSlips();

private:
    AdjustmentWindow* openCheck(const QStringList& entries = {"0", "100", "0.5", "99.0"});
    void fillRecord(AdjustmentWindow* check, const QString& serial);
    bool save(AdjustmentWindow* check);
    HistoryWindow* openHistory();

    QTemporaryDir data_;
    int testRun_ = 0; // each row of a test its own files
    std::unique_ptr<TemporaryStore> settings_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<RecordingMessages> messages_;
    std::unique_ptr<ChosenFileNames> fileNames_;
};

void TestRecordWindows::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Every test its own record file, never the user's.
    qputenv("XDG_DATA_HOME",
            (data_.path() + "/" + QTest::currentTestFunction() + "/" + QString::number(++testRun_))
                .toUtf8());
    qunsetenv("QUARVET_DATABASE");
    messages_ = std::make_unique<RecordingMessages>();
    fileNames_ = std::make_unique<ChosenFileNames>();
    settings_ = std::make_unique<TemporaryStore>();
    window_ = std::make_unique<MainWindow>(settings_->store());
    QVERIFY(showActive(window_.get()));
}

void TestRecordWindows::cleanup()
{
    window_.reset();
    settings_.reset();
    fileNames_.reset();
    messages_.reset();
    QLocale::setDefault(QLocale::system());
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

AdjustmentWindow* TestRecordWindows::openCheck(const QStringList& entries)
{
    return openCheckAfter(*window_, entries);
}

void TestRecordWindows::fillRecord(AdjustmentWindow* check, const QString& serial)
{
    setText(check, "Serial number", serial);
    setText(check, "Technician", "Jörg O'Brien");
    setText(check, "Reference standard", "PT100-REF-7");
    setText(check, "Reference due date", QDate::currentDate().addDays(30).toString(Qt::ISODate));
    setText(check, "Uncertainty", "0.02");
    setText(check, "Tolerance", "0.1");
    setText(check, "As-left reading at point 1", "0.03");
    setText(check, "As-left reading at point 2", "99.99");
}

bool TestRecordWindows::save(AdjustmentWindow* check)
{
    check->saveRecord();
    return QTest::qWaitFor([&] { return !check->isSaving(); }, 20000);
}

HistoryWindow* TestRecordWindows::openHistory()
{
    window_->showHistory();
    auto* history = window_->findChild<HistoryWindow*>();
    if (history && !QTest::qWaitFor([&] { return !history->isLoading(); }, 20000))
        return nullptr;
    return history;
}

void TestRecordWindows::saveRefusesNamingTheField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");
    QTest::newRow("no serial") << "Serial number"
                               << "  "
                               << "serial number is empty";
    QTest::newRow("no technician") << "Technician"
                                   << ""
                                   << "technician is empty";
    QTest::newRow("no reference") << "Reference standard"
                                  << ""
                                  << "reference standard is empty";
    QTest::newRow("overdue reference")
        << "Reference due date" << QDate::currentDate().addDays(-1).toString(Qt::ISODate)
        << "has passed";
    QTest::newRow("due date no date") << "Reference due date"
                                      << "next May"
                                      << "no date";
    QTest::newRow("ambient no number") << "Ambient temperature"
                                       << "warm"
                                       << "ambient temperature is not a number";
    QTest::newRow("tolerance no number") << "Tolerance"
                                         << "abc"
                                         << "Not a number or no code: Tolerance";
    QTest::newRow("due date with more after it")
        << "Reference due date" << QDate::currentDate().addDays(3).toString(Qt::ISODate) + "x"
        << "no date";
    QTest::newRow("serial turned around") << "Serial number"
                                          << "SN-\u202E12"
                                          << "turns text around";
    QTest::newRow("no uncertainty") << "Uncertainty"
                                    << ""
                                    << "uncertainty U is empty";
    // U from the resolution alone once saved a record that fails as Pass.
    QTest::newRow("uncertainty 0") << "Uncertainty"
                                   << "0"
                                   << "U must be a number above 0";
    QTest::newRow("uncertainty -0") << "Uncertainty"
                                    << "-0"
                                    << "U must be a number above 0";
    // The window shows no verdict for half the points: neither may the record.
    QTest::newRow("one as-left reading") << "As-left reading at point 2"
                                         << ""
                                         << "as-left readings at both points";
}

// Refused with the field named and the focus in it; nothing saved.
void TestRecordWindows::saveRefusesNamingTheField()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, says);
    AdjustmentWindow* check = openCheck();
    // The reference's U has no default: the window starts with none, and asks for it.
    auto* uncertainty = qobject_cast<QLineEdit*>(named(check, "Uncertainty"));
    QVERIFY(uncertainty && uncertainty->text().isEmpty());
    QCOMPARE(uncertainty->placeholderText(), QStringLiteral("required"));
    fillRecord(check, "SN-1");
    setText(check, field, text);
    QVERIFY(showActive(check));
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains(says, Qt::CaseInsensitive),
             qPrintable(messages_->boxes[0].text));
    QCOMPARE(focusOnceActive(check), named(check, field));
    QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Quarvet/records.sqlite"));
}

void TestRecordWindows::ctrlSSavesWhatTheWindowShows()
{
    AdjustmentWindow* check = openCheck({"0", "100", "+0.50", "99.0"});
    fillRecord(check, "Zähler \"7\"; № 2");
    for (QComboBox* type : check->findChildren<QComboBox*>())
        if (type->accessibleName() == "Instrument type")
            type->setCurrentText("745");
    setText(check, "Note", "after repair");
    QVERIFY(showActive(check));
    named(check, "Technician")->setFocus();
    QTest::keyClick(named(check, "Technician"), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QTest::qWaitFor([&] { return labelText(check, "Record status").startsWith("Saved"); },
                            20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QList<Record> saved;
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    const Record& record = saved[0];
    QCOMPARE(record.serial, QStringLiteral("Zähler \"7\"; № 2"));
    QCOMPARE(record.instrumentType, QStringLiteral("745"));
    QCOMPARE(record.technician, QStringLiteral("Jörg O'Brien"));
    QCOMPARE(record.entriesTyped[2], QStringLiteral("+0.50")); // as typed
    QCOMPARE(record.entriesRead[2], 0.5);
    QCOMPARE(record.slopeCode, QStringLiteral("27A8"));
    QCOMPARE(record.offsetCode, QStringLiteral("FE04"));
    QCOMPARE(record.referenceUncertainty, 0.02);
    QCOMPARE(record.verification.size(), 2);
    QCOMPARE(record.verdict, QStringLiteral("Pass"));
    QCOMPARE(record.note, QStringLiteral("after repair"));
    QVERIFY(record.corrects.isEmpty());
    QVERIFY(labelText(check, "Record status").contains(record.id.left(8)));
    // The same again would be a second copy for good: refused.
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY(messages_->boxes[0].text.contains("saved already"));
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    setText(check, "Note", "after repair, checked twice");
    QVERIFY(save(check));
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 2);
}

void TestRecordWindows::unsavedEntriesAreAskedFor_data()
{
    QTest::addColumn<bool>("ending");  // Ctrl+P (End of Program), or closing the check
    QTest::addColumn<bool>("typed");   // a serial number typed into the check
    QTest::addColumn<bool>("saved");   // and the record saved after it
    QTest::addColumn<bool>("discard"); // the answer: Discard, or Cancel
    QTest::newRow("End of Program, nothing typed") << true << false << false << false;
    QTest::newRow("End of Program, typed, Cancel") << true << true << false << false;
    QTest::newRow("End of Program, typed, Discard") << true << true << false << true;
    QTest::newRow("End of Program, typed and saved") << true << true << true << false;
    QTest::newRow("closing the check, nothing typed") << false << false << false << false;
    QTest::newRow("closing the check, typed, Cancel") << false << true << false << false;
    QTest::newRow("closing the check, typed, Discard") << false << true << false << true;
    QTest::newRow("closing the check, typed and saved") << false << true << true << false;
}

// A calibration typed into the adjustment check and not saved is discarded by End of Program
// or by closing the check only when the user, asked, chooses so; Cancel keeps it as typed.
// Nothing asks when nothing is typed or all of it is saved.
void TestRecordWindows::unsavedEntriesAreAskedFor()
{
    QFETCH(bool, ending);
    QFETCH(bool, typed);
    QFETCH(bool, saved);
    QFETCH(bool, discard);
    QPointer<AdjustmentWindow> check = openCheck();
    QVERIFY(showActive(check));
    if (typed) {
        named(check, "Serial number")->setFocus();
        QTest::keyClicks(named(check, "Serial number"), "SN-1");
    }
    if (saved) {
        fillRecord(check, "SN-1");
        QVERIFY(save(check));
        QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    }
    messages_->answers = {discard};
    QSignalSpy ended(window_.get(), &MainWindow::endRequested);
    if (ending) {
        // Its shortcut, Ctrl+P, is the main window's own test's.
        window_->findChild<QAction*>("Programmende")->trigger();
    } else {
        check->close();
    }
    const bool asked = typed && !saved;
    QCOMPARE(messages_->questions.size(), asked ? 1 : 0);
    QCOMPARE(messages_->actions, asked ? QStringList{"&Discard"} : QStringList());
    const bool gone = !asked || discard;
    if (ending)
        QCOMPARE(ended.size(), gone ? 1 : 0);
    else
        QCOMPARE(check.isNull() || !check->isVisible(), gone);
    if (!gone)
        QCOMPARE(fieldText(check, "Serial number"), QStringLiteral("SN-1"));
}

// A correction typed in a window of its own is asked for at End of Program too.
void TestRecordWindows::correctionBeingTypedIsAskedFor()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QList<Record> saved;
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    window_->openCorrection(saved[0]);
    AdjustmentWindow* correction = nullptr;
    for (AdjustmentWindow* window : window_->findChildren<AdjustmentWindow*>())
        correction = window != check ? window : correction;
    QVERIFY(correction && showActive(correction));
    named(correction, "Note")->setFocus();
    QTest::keyClicks(named(correction, "Note"), " and again");
    QSignalSpy ended(window_.get(), &MainWindow::endRequested);
    window_->findChild<QAction*>("Programmende")->trigger();
    QCOMPARE(messages_->questions.size(), 1);
    QCOMPARE(ended.size(), 0);
}

void TestRecordWindows::windowAndRecordAgree_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("reading"); // at 0 °C; 100 °C reads 100
    QTest::addColumn<QString>("tolerance");
    QTest::addColumn<QString>("verdict");
    // T = 0.1 and, without the resolution, U = 0.02 at each point read once.
    const auto row = [](const char* rule, const char* reading, const char* verdict,
                        const char* tolerance = "0.1") {
        QTest::addRow("%s %s T %s", rule, reading, tolerance)
            << rule << reading << tolerance << verdict;
    };
    row("guarded", "0.08", "Pass"); // T − U
    row("guarded", "0.0801", "Fail");
    row("guarded", "0", "Not judged", "0.02"); // U = T
    row("simple", "-0.1", "Pass");             // T
    row("simple", "0.1001", "Fail");
    row("non-binary", "0.08", "Pass");
    row("non-binary", "0.0801", "Conditional pass");
    row("non-binary", "-0.1", "Conditional pass");
    row("non-binary", "0.1001", "Conditional fail");
    row("non-binary", "0.12", "Conditional fail"); // T + U
    row("non-binary", "0.1201", "Fail");
}

// The verdict the window shows is the one its record keeps, at the limits of each rule, with
// the rule, the set-up and each point's U.
void TestRecordWindows::windowAndRecordAgree()
{
    QFETCH(QString, rule);
    QFETCH(QString, reading);
    QFETCH(QString, tolerance);
    QFETCH(QString, verdict);
    AdjustmentWindow* check = openCheck();
    const QString serial = "SN-" + rule + reading + tolerance;
    fillRecord(check, serial);
    setText(check, "Resolution", "0");
    setText(check, "Tolerance", tolerance);
    setText(check, "As-left reading at point 1", reading);
    setText(check, "As-left reading at point 2", "100");
    auto* choice = qobject_cast<QComboBox*>(named(check, "Decision rule choice"));
    QVERIFY(choice);
    choice->setCurrentIndex(choice->findText(rule));
    // Found 0.5 and 1 off: a failure, beyond doubt even where U is as large as T.
    const QString asFound = QStringLiteral("Fail");
    QCOMPARE(labelText(check, "Verdict"), verdict);
    QCOMPARE(labelText(check, "As-found verdict"), asFound);
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QList<Record> saved;
    QVERIFY(!store.list(serial, saved).failed());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved[0].verdict, verdict);
    QCOMPARE(saved[0].decisionRule, rule);
    QCOMPARE(saved[0].asFoundVerdict, asFound);
    QVERIFY(saved[0].setUp);
    QCOMPARE(saved[0].setUp->resolution, 0.0);
    const QList<quarvet::records::PointResult> asLeft =
        quarvet::records::readPoints(saved[0].asLeftPoints);
    QCOMPARE(asLeft.size(), 2);
    QCOMPARE(asLeft[0].U, 0.02);
    QCOMPARE(asLeft[0].verdict, verdict);
}

// The Budget window shows each point's components and follows the entries; a correction
// takes the set-up, the rule and every reading back into the window.
void TestRecordWindows::budgetWindowFollowsTheEntries()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-budget");
    setText(check, "Further readings at point 2", "99.01 98.99");
    setText(check, "As-left reading at point 1", "0.03 0.05");
    setText(check, "Drift", "0.01");
    auto* choice = qobject_cast<QComboBox*>(named(check, "Decision rule choice"));
    choice->setCurrentIndex(choice->findText("non-binary"));
    check->findChild<QPushButton*>("ShowBudget")->click();
    auto* budget = check->findChild<QWidget*>("Budget");
    QVERIFY(budget && budget->isVisible());
    auto* table = budget->findChild<QTableWidget*>();
    QVERIFY(table);
    const auto rows = [table] {
        QStringList said;
        for (int row = 0; row < table->rowCount(); ++row)
            said << (table->item(row, 0) ? table->item(row, 0)->text() : QString());
        return said;
    };
    // Two points as found, two as left; Type A where a point was read more than once.
    QCOMPARE(rows().filter("As found at").size(), 2);
    QCOMPARE(rows().filter("As left at").size(), 2);
    QCOMPARE(rows().filter("Type A").size(), 2);
    QVERIFY(rows().contains("drift of the reference"));
    // Every input as typed, or to four figures where it was worked out from the readings.
    for (int row = 0; row < table->rowCount(); ++row)
        if (const QTableWidgetItem* input = table->item(row, 1))
            QVERIFY2(input->text().size() <= 8, qPrintable(input->text()));
    setText(check, "Uncertainty", "");
    QCOMPARE(table->rowCount(), 0);
    setText(check, "Uncertainty", "0.02");
    QVERIFY(table->rowCount() > 0);
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QList<Record> saved;
    QVERIFY(!store.list("SN-budget", saved).failed());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(quarvet::records::readPoints(saved[0].asFoundPoints)[1].readings,
             (QList<double>{99, 99.01, 98.99}));
    // Corrected: the window holds again what the record was made of.
    auto* corrected = new AdjustmentWindow;
    corrected->correct(saved[0]);
    QCOMPARE(qobject_cast<QLineEdit*>(named(corrected, "Further readings at point 2"))->text(),
             QStringLiteral("99.01 98.99"));
    QCOMPARE(qobject_cast<QLineEdit*>(named(corrected, "As-left reading at point 1"))->text(),
             QStringLiteral("0.03 0.05"));
    QCOMPARE(qobject_cast<QLineEdit*>(named(corrected, "Drift"))->text(), QStringLiteral("0.01"));
    QCOMPARE(qobject_cast<QComboBox*>(named(corrected, "Decision rule choice"))->currentText(),
             QStringLiteral("non-binary"));
    QCOMPARE(labelText(corrected, "Verdict"), labelText(check, "Verdict"));
    delete corrected;
}

// A store written by the release before results had budgets: the history shows its records
// as not evaluated, and the first save upgrades it without a change to them.
void TestRecordWindows::historyOfAStoreKeptBefore()
{
    const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + "/Quarvet";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema4.sqlite"), folder + "/records.sqlite"));
    QFile::setPermissions(folder + "/records.sqlite", QFile::ReadOwner | QFile::WriteOwner);
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    using Model = quarvet::history::RecordTableModel;
    const int rows = history->shownRows()->rowCount();
    QCOMPARE(rows, 3);
    for (int row = 0; row < rows; ++row)
        QCOMPARE(history->shownRows()->index(row, Model::AsFound).data().toString(),
                 QStringLiteral("not evaluated"));
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-after");
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    history->reload();
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QCOMPARE(history->shownRows()->rowCount(), 4);
    QCOMPARE(history->shownRows()->index(0, Model::AsFound).data().toString(),
             QStringLiteral("Fail"));
    QCOMPARE(history->shownRows()->index(1, Model::AsFound).data().toString(),
             QStringLiteral("not evaluated"));
}

void TestRecordWindows::historyOpensOnceWithCtrlH()
{
    QLineEdit* entry = window_->findChild<QLineEdit*>("Ist2");
    entry->setFocus();
    for (int n = 0; n < 2; ++n)
        QTest::keyClick(entry, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(window_->findChildren<HistoryWindow*>().size(), 1);
    QCOMPARE(entry->text(), QString()); // the shortcut deleted nothing, typed nothing
    QCOMPARE(window_->findChild<QAction*>("History")->text(), QStringLiteral("&History..."));
    auto* history = window_->findChild<HistoryWindow*>();
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QVERIFY(labelText(history, "History status").startsWith("0 records"));
    // From inside the adjustment check as well, a field's editing keys notwithstanding.
    delete history;
    AdjustmentWindow* check = openCheck();
    QVERIFY(showActive(check));
    auto* serial = qobject_cast<QLineEdit*>(named(check, "Serial number"));
    serial->setFocus();
    QTest::keyClicks(serial, "SN-12");
    QTest::keyClick(serial, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(window_->findChildren<HistoryWindow*>().size(), 1);
    QCOMPARE(serial->text(), QStringLiteral("SN-12"));
}

// Help > Manual, and F1 from every window, open the program's manual, once.
void TestRecordWindows::manualOpensWithF1FromEveryWindow()
{
    QCOMPARE(window_->findChild<QAction*>("Manual")->text(), QStringLiteral("&Manual"));
    AdjustmentWindow* check = openCheck();
    for (QWidget* from : {static_cast<QWidget*>(check), static_cast<QWidget*>(window_.get())}) {
        QVERIFY(showActive(from));
        QWidget* field =
            from == check ? named(check, "Serial number") : window_->findChild<QLineEdit*>("Soll1");
        field->setFocus();
        QTest::keyClick(field, Qt::Key_F1);
        const auto manuals = window_->findChildren<QTextBrowser*>("Manual");
        QCOMPARE(manuals.size(), 1);
        QVERIFY(manuals[0]->isVisible());
        QVERIFY2(manuals[0]->toPlainText().contains("Quarvet Basic"),
                 qPrintable(manuals[0]->toPlainText().left(200)));
        // The pictures of the windows it shows are there, not placeholders.
        const QVariant picture = manuals[0]->loadResource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("docs/screenshots/main-window.png")));
        QVERIFY(!picture.toByteArray().isEmpty() || !picture.value<QImage>().isNull());
        manuals[0]->close();
    }
}

// A file dialog suggests the folder a file was last written to, not the home folder again.
void TestRecordWindows::fileDialogsStartInTheLastFolder()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    const QString folder = data_.filePath("exports");
    QVERIFY(QDir().mkpath(folder));
    fileNames_->answer = folder + "/records.csv";
    history->exportCsv();
    QVERIFY(QTest::qWaitFor([&] { return !history->isExporting(); }, 20000));
    QVERIFY(QFile::exists(folder + "/records.csv"));
    fileNames_->answer.clear();
    history->findChild<QTableView*>()->selectRow(0);
    history->writeCertificate();
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QCOMPARE(fileNames_->suggested.size(), 2);
    QCOMPARE(QFileInfo(fileNames_->suggested[1]).absolutePath(), folder);
}

void TestRecordWindows::fileDialogsStartWhereTheLastRunWrote_data()
{
    QTest::addColumn<QString>("kept"); // what the settings hold; %1 is a folder that is there
    QTest::addColumn<bool>("there");   // whether the dialog starts there, else at home
    QTest::newRow("a folder written to") << "%1" << true;
    QTest::newRow("a folder since removed") << "%1/gone" << false;
    QTest::newRow("a relative path") << "exports" << false;
    QTest::newRow("a file, not a folder") << "%1/records.csv" << false;
    QTest::newRow("nothing") << "" << false;
}

// The folder a file was last written to is kept for the next run, read back as any setting
// is: one that is no folder now is not offered.
void TestRecordWindows::fileDialogsStartWhereTheLastRunWrote()
{
    QFETCH(QString, kept);
    QFETCH(bool, there);
    const QString folder = data_.filePath("kept");
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + "/records.csv");
    QVERIFY(file.open(QIODevice::WriteOnly));
    fileNames_->answer = folder + "/written.pdf";
    quarvet::ui::chooseFileToWrite(window_.get(), "Write", "first.pdf", "");
    QCOMPARE(settings_->store().read("Files", "LastFolder", ""), folder);
    QVERIFY(settings_->store().write("Files", {{"LastFolder", kept.arg(folder)}}));
    window_.reset(); // the next run
    window_ = std::make_unique<MainWindow>(settings_->store());
    fileNames_->suggested.clear();
    fileNames_->answer.clear();
    quarvet::ui::chooseFileToWrite(window_.get(), "Write", "next.pdf", "");
    QCOMPARE(QFileInfo(fileNames_->suggested.value(0)).absolutePath(),
             there ? folder : QDir::homePath());
}

void TestRecordWindows::certificateFilesAreNamedByTheirNumber_data()
{
    QTest::addColumn<bool>("kept"); // a file named by the number taken is in the folder already
    QTest::newRow("no file of the number taken") << false;
    QTest::newRow("a file of the number taken, kept") << true;
}

// A certificate's file is offered under its number; a draft and a copy say so in the name. An
// issue offers the number it foresees, and where another workstation took that number while
// the dialog was open, the file is named by the number the issue took, unless a file of that
// name is there, which is not replaced.
void TestRecordWindows::certificateFilesAreNamedByTheirNumber()
{
    QFETCH(bool, kept);
    AdjustmentWindow* check = openCheck();
    for (const char* serial : {"SN-1", "SN-2", "SN-3"}) {
        fillRecord(check, serial);
        QVERIFY(save(check));
    }
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    fileNames_->inFolder = data_.filePath("named");
    QVERIFY(QDir().mkpath(fileNames_->inFolder));
    const QString year = QString::number(QDate::currentDate().year());
    const auto offered = [&](bool issuing) {
        fileNames_->suggested.clear();
        if (issuing)
            history->issueSelected("Dr. A. Meier", "Head of lab");
        else
            history->writeCertificate();
        return QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000)
                   ? QFileInfo(fileNames_->suggested.value(0)).fileName()
                   : QString("(still writing)");
    };
    auto* table = history->findChild<QTableView*>();
    table->selectRow(0); // SN-3, newest first
    const QString id = history->records()->recordAt(0)->id;
    QCOMPARE(offered(false), "draft-" + quarvet::records::shortId(id) + ".pdf");
    QCOMPARE(offered(true), year + "-00001.pdf");
    QVERIFY(QFile::exists(fileNames_->inFolder + "/" + year + "-00001.pdf"));
    table->selectRow(0);
    QCOMPARE(offered(false), year + "-00001-copy.pdf");
    table->selectRow(0);
    QCOMPARE(offered(true), year + "-00001-copy.pdf"); // issued already: its copy is offered
    QCOMPARE(messages_->questions.size(), 1);
    const QString taken = fileNames_->inFolder + "/" + year + "-00003.pdf";
    QFile keptFile(taken);
    QVERIFY(!kept || (keptFile.open(QIODevice::WriteOnly) && keptFile.write("kept") == 4));
    keptFile.close();
    // Another workstation issues SN-2 while this one's dialog for SN-1 is open.
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    table->selectRow(2);
    fileNames_->whenAsked = [&] {
        fileNames_->whenAsked = nullptr;
        quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                                  "/Quarvet/records.sqlite");
        QList<Record> other;
        QVERIFY(!store.list(QStringLiteral("SN-2"), other).failed());
        quarvet::lab::CertificateIssue issue{
            0,  {}, other.value(0).id, QDateTime::currentDateTimeUtc(), "B. Other", "Deputy",
            {}, {}};
        QVERIFY(!quarvet::lab::issueCertificate(store, other[0], issue).failed());
        QCOMPARE(issue.number, year + "-00002");
    };
    QCOMPARE(offered(true), year + "-00002.pdf");
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    const QString written =
        fileNames_->inFolder + "/" + year + (kept ? "-00002.pdf" : "-00003.pdf");
    QVERIFY(QFile::exists(written));
    QCOMPARE(QFile::exists(fileNames_->inFolder + "/" + year + "-00002.pdf"), kept);
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QCOMPARE(keptFile.readAll().startsWith("kept"), kept);
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QVERIFY2(labelText(history, "History status").contains(written),
             qPrintable(labelText(history, "History status")));
}

// A record saved while the history is open is shown in both its status lines: the count of
// records and the chain's, which agree without a Reload.
void TestRecordWindows::historyStatusFollowsSaves()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    QVERIFY(QTest::qWaitFor([&] { return !history->isCheckingChain(); }, 20000));
    QVERIFY2(labelText(history, "Chain status").startsWith("1 record, chain intact"),
             qPrintable(labelText(history, "Chain status")));
    fillRecord(check, "SN-2");
    QVERIFY(save(check));
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading() && !history->isCheckingChain(); },
                            20000));
    QVERIFY2(labelText(history, "History status").startsWith("2 records in "),
             qPrintable(labelText(history, "History status")));
    QVERIFY2(labelText(history, "Chain status").startsWith("2 records, chain intact"),
             qPrintable(labelText(history, "Chain status")));
}

void TestRecordWindows::historyFiltersBySerialAndExportsShownRows()
{
    AdjustmentWindow* check = openCheck();
    for (const char* serial : {"AB-1", "ab-2", "CD-3"}) {
        fillRecord(check, serial);
        QVERIFY(save(check));
    }
    QVERIFY(messages_->boxes.isEmpty());
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    QCOMPARE(history->shownRows()->rowCount(), 3);
    // Newest first.
    // Isolated, so that a name with right-to-left letters reads as stored.
    QCOMPARE(history->shownRows()->index(0, 1).data().toString(),
             QStringLiteral("\u2066\u202DCD-3\u202C\u2069"));
    QCOMPARE(history->shownRows()->index(0, 4).data().toString(),
             QStringLiteral("2710 0000 \u2192 27A8 FE04"));
    setText(history, "Serial filter", "ab");
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QCOMPARE(history->shownRows()->rowCount(), 2);
    // Found 0.5 and 1 off with a tolerance of 0.1; the filter is the store's.
    using Model = quarvet::history::RecordTableModel;
    QCOMPARE(history->shownRows()->index(0, Model::AsFound).data().toString(), "Fail");
    auto* asFound = history->findChild<QComboBox*>("AsFoundFilter");
    QVERIFY(asFound);
    for (const char* verdict : {"Pass", "Fail"}) {
        asFound->setCurrentIndex(asFound->findData(QString::fromLatin1(verdict)));
        QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
        QCOMPARE(history->shownRows()->rowCount(), verdict == QByteArray("Fail") ? 2 : 0);
    }
    fileNames_->answer = data_.filePath("shown.csv");
    history->exportCsv();
    QVERIFY(QTest::qWaitFor([&] { return !history->isExporting(); }, 20000));
    QFile csv(fileNames_->answer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    QCOMPARE(lines.size(), 4); // header, two rows, nothing after the last line break
    QVERIFY(lines[1].contains(",ab-2,") && lines[2].contains(",AB-1,"));
    // A failed export says so and leaves no file behind.
    fileNames_->answer = data_.filePath("no/such/folder/x.csv");
    history->exportCsv();
    QVERIFY(QTest::qWaitFor([&] { return !history->isExporting(); }, 20000));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY(messages_->boxes[0].text.contains(fileNames_->answer));
    // Nor is the record file itself replaced by an export of it.
    fileNames_->answer = qEnvironmentVariable("XDG_DATA_HOME") + "/Quarvet/records.sqlite";
    history->exportCsv();
    QVERIFY(QTest::qWaitFor([&] { return !history->isExporting(); }, 20000));
    QCOMPARE(messages_->boxes.size(), 2);
    QVERIFY2(messages_->boxes[1].text.contains("one of the record store's own files"),
             qPrintable(messages_->boxes[1].text));
    history->reload();
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QCOMPARE(history->shownRows()->rowCount(), 2);
}

void TestRecordWindows::certificateOfTheSelectedRecord()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "CERT-1");
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    history->writeCertificate();
    QCOMPARE(messages_->boxes.size(), 1); // nothing selected yet
    messages_->boxes.clear();
    history->findChild<QTableView*>()->selectRow(0);
    fileNames_->answer = data_.filePath("certificate.pdf");
    history->writeCertificate();
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    const QString text = QString::fromUtf8(run("pdftotext", {fileNames_->answer, "-"}));
    QVERIFY2(text.contains("CERT-1") && text.contains("PT100-REF-7"), qPrintable(text));
    // The record's hash and the chain's head, which is that record's own: it was saved last.
    QVERIFY(QTest::qWaitFor([&] { return !history->isCheckingChain(); }, 20000));
    const QString chain = history->findChild<QLabel*>("ChainStatus")->text();
    QVERIFY2(chain.startsWith("1 record, chain intact, head "), qPrintable(chain));
    const QString head = chain.section(' ', -1);
    QCOMPARE(text.count(head), 2);
}

// The history finds every record of a reference standard and of a customer, and issues the
// selected record's certificate once, with who authorised it; a draft before, a copy after.
void TestRecordWindows::historyIssuesAndTracesReferences()
{
    AdjustmentWindow* check = openCheck();
    for (const char* reference : {"REF-A", "REF-B", "REF-A"}) {
        fillRecord(check, QStringLiteral("SN-") + reference);
        setText(check, "Reference standard", reference);
        setText(check, "Customer", QStringLiteral("Customer of ") + reference);
        QVERIFY(save(check));
    }
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    const auto filtered = [&](const char* field, const char* text) {
        setText(history, field, text);
        return QTest::qWaitFor([&] { return !history->isLoading(); }, 20000)
                   ? history->shownRows()->rowCount()
                   : -1;
    };
    QCOMPARE(filtered("Reference filter", "REF-A"), 2);
    // The status says how many the filter picks of how many there are.
    QVERIFY2(labelText(history, "History status").startsWith("2 of 3 records in "),
             qPrintable(labelText(history, "History status")));
    QCOMPARE(filtered("Reference filter", "REF"), 0);
    QCOMPARE(filtered("Reference filter", ""), 3);
    QCOMPARE(filtered("Customer filter", "Customer of REF-B"), 1);
    history->findChild<QTableView*>()->selectRow(0);
    fileNames_->answer = data_.filePath("issued.pdf");
    // Issue... judges who is named in its dialog, which stays open with what was typed.
    bool stayedOpen = false;
    QString keptName;
    QTimer::singleShot(0, history, [&] {
        auto* dialog = history->findChild<QDialog*>("IssueCertificate");
        if (!dialog) { // never left open: the test would wait for it for good
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        for (QLineEdit* field : dialog->findChildren<QLineEdit*>())
            field->setText(field->accessibleName() == "Role" ? "Head of lab" : "Dr. A.\tMeier");
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        stayedOpen = dialog->isVisible();
        keptName = dialog->findChildren<QLineEdit*>().value(0)->text();
        dialog->reject();
    });
    history->findChild<QPushButton*>("Issue")->click();
    QVERIFY(stayedOpen);
    QCOMPARE(keptName, QStringLiteral("Dr. A.\tMeier"));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("holds a control character"),
             qPrintable(messages_->boxes[0].text));
    QVERIFY(!QFile::exists(fileNames_->answer));
    messages_->boxes.clear();
    history->issueSelected("", "Head of lab");
    QCOMPARE(messages_->boxes.size(), 1); // nobody named
    messages_->boxes.clear();
    history->issueSelected("Dr. A. Meier", "Head of lab");
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    const QString number = QString::number(QDate::currentDate().year()) + "-00001";
    QString text = QString::fromUtf8(run("pdftotext", {"-layout", fileNames_->answer, "-"}));
    QVERIFY2(text.contains("Certificate number") && text.contains(number) &&
                 text.contains("Dr. A. Meier, Head of lab") && !text.contains("Copy"),
             qPrintable(text));
    history->issueSelected("Dr. A. Meier", "Head of lab");
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    // Issued already: its copy is offered, here declined.
    QCOMPARE(messages_->questions.size(), 1);
    QVERIFY(messages_->questions[0].text.contains("issued already, as number " + number));
    fileNames_->answer = data_.filePath("copy.pdf");
    history->writeCertificate();
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    text = QString::fromUtf8(run("pdftotext", {"-layout", fileNames_->answer, "-"}));
    QVERIFY2(text.contains(number + " (Copy)"), qPrintable(text));
}

// Where, when and in what state, typed in the window, are kept; a day of receipt that is no
// date is refused with the cursor put in its field.
void TestRecordWindows::receiptFieldsAreKept()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-RECEIPT");
    setText(check, "Location", "Plant 3");
    setText(check, "Received on", "2026-13-01");
    setText(check, "Condition on receipt", "sheath bent");
    setText(check, "Deviations from the method", "bath at 99 °C");
    qobject_cast<QComboBox*>(named(check, "Tolerance source"))->setCurrentText("standard");
    QVERIFY(showActive(check));
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("received is no date"),
             qPrintable(messages_->boxes[0].text));
    QCOMPARE(focusOnceActive(check), named(check, "Received on"));
    const QDate received = QDate::currentDate().addDays(-2);
    setText(check, "Received on", received.toString(Qt::ISODate));
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QList<Record> saved;
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved[0].location, QStringLiteral("Plant 3"));
    QCOMPARE(saved[0].received, received);
    QCOMPARE(saved[0].condition, QStringLiteral("sheath bent"));
    QCOMPARE(saved[0].deviations, QStringLiteral("bath at 99 °C"));
    QCOMPARE(saved[0].toleranceSource, QStringLiteral("standard"));
}

// An accredited laboratory's Issue... names all that its certificate would lack; issued
// without the claim from the dialog, the certificate says so.
void TestRecordWindows::historyIssuesWithoutTheClaim()
{
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QVERIFY(!quarvet::lab::setLabSettings(store, {{"name", "Lab"},
                                                  {"address", "1 Road"},
                                                  {"accreditation", "D-K-1"},
                                                  {"registered-references-only", "no"}})
                 .failed());
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    history->findChild<QTableView*>()->selectRow(0);
    fileNames_->answer = data_.filePath("without-the-claim.pdf");
    history->issueSelected("Dr. A. Meier", "Head of lab");
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QCOMPARE(messages_->boxes.size(), 1);
    for (const char* missing : {"the method of calibration",
                                "a reference standard from the "
                                "register",
                                "the ambient conditions"})
        QVERIFY2(messages_->boxes[0].text.contains(missing), qPrintable(messages_->boxes[0].text));
    QVERIFY(!QFile::exists(fileNames_->answer));
    messages_->boxes.clear();
    QTimer::singleShot(0, history, [&] {
        auto* dialog = history->findChild<QDialog*>("IssueCertificate");
        if (!dialog) {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        for (QLineEdit* field : dialog->findChildren<QLineEdit*>())
            field->setText(field->accessibleName() == "Role" ? "Head of lab" : "Dr. A. Meier");
        dialog->findChild<QCheckBox*>("WithoutAccreditation")->setChecked(true);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    history->findChild<QPushButton*>("Issue")->click();
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    const QString text = QString::fromUtf8(run("pdftotext", {"-layout", fileNames_->answer, "-"}));
    QVERIFY2(text.contains("Issued without the accreditation claim") && !text.contains("D-K-1"),
             qPrintable(text));
}

void TestRecordWindows::issuedAgainOffersACopy_data()
{
    QTest::addColumn<bool>("copy"); // the answer: write a copy, or cancel
    QTest::newRow("a copy written") << true;
    QTest::newRow("cancelled") << false;
}

// Issue... on a record issued already offers its copy in the window instead of sending the
// user to the command line; cancelled, nothing is written.
void TestRecordWindows::issuedAgainOffersACopy()
{
    QFETCH(bool, copy);
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QVERIFY(
        !quarvet::lab::setLabSettings(store, {{"name", "Lab"}, {"address", "1 Road"}}).failed());
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    history->findChild<QTableView*>()->selectRow(0);
    for (const char* file : {"issued.pdf", "again.pdf"}) {
        fileNames_->answer = data_.filePath(QString::number(copy) + file);
        messages_->answers = {copy};
        history->issueSelected("Dr. A. Meier", "Head of lab");
        QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    }
    QCOMPARE(messages_->questions.size(), 1);
    QVERIFY2(messages_->questions[0].text.contains("was issued already, as number"),
             qPrintable(messages_->questions[0].text));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    QCOMPARE(QFile::exists(fileNames_->answer), copy);
    if (copy) {
        const QString text =
            QString::fromUtf8(run("pdftotext", {"-layout", fileNames_->answer, "-"}));
        QVERIFY2(text.contains("COPY") || text.contains("Copy"), qPrintable(text.left(400)));
    }
}

// The register's window adds entries and withdraws, each a new entry; the laboratory's
// window keeps its settings in the store and refuses a pattern that makes no numbers.
// "Calibrated up to today" is the store's today: a calibration of this workstation's today is
// refused where the store's clock is days behind, before anything is written.
void TestRecordWindows::registerTakesTheStoresDay()
{
    auto store = std::make_shared<StoreThreeDaysBehind>(data_.filePath("behind/records.sqlite"));
    auto* references =
        new quarvet::history::ReferencesWindow([store] { return store; }, window_.get());
    QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 20000));
    const QDate today = QDate::currentDate();
    const std::pair<const char*, QString> form[] = {
        {"Identifier", "PT-8"},
        {"Description", "PT100"},
        {"Its certificate", "C-8"},
        {"Calibrated by", "Acme Cal"},
        {"U", "0.02"},
        {"Calibrated on", today.toString(Qt::ISODate)},
        {"Due on", today.addYears(1).toString(Qt::ISODate)}};
    for (const auto& [name, text] : form)
        setText(references, name, text);
    references->addEntry();
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("between 1900 and today"),
             qPrintable(messages_->boxes[0].text));
    QVERIFY(!references->isBusy()); // refused before the store was asked
    messages_->boxes.clear();
    delete references;
}

void TestRecordWindows::registerAndLaboratoryWindows()
{
    window_->showReferences();
    auto* references = window_->findChild<quarvet::history::ReferencesWindow*>();
    QVERIFY(references && references->isVisible());
    QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 20000));
    const std::pair<const char*, const char*> form[] = {{"Identifier", "PT-9"},
                                                        {"Description", "PT100"},
                                                        {"Its certificate", "C-9"},
                                                        {"Calibrated by", "Acme Cal"},
                                                        {"U", "0.02"},
                                                        {"Calibrated on", "2026-01-10"},
                                                        {"Due on", "2025-01-10"}};
    for (const auto& [name, text] : form)
        setText(references, name, text);
    references->addEntry(); // due before its calibration
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("due date lies before"),
             qPrintable(messages_->boxes[0].text));
    messages_->boxes.clear();
    setText(references, "Due on", "2027-01-10");
    references->addEntry();
    auto* table = references->findChild<QTableWidget*>();
    QVERIFY(
        QTest::qWaitFor([&] { return !references->isBusy() && table->rowCount() == 1; }, 20000));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("PT-9"));
    table->selectRow(0);
    messages_->answers = {true};
    references->withdrawSelected();
    QVERIFY(QTest::qWaitFor(
        [&] { return !references->isBusy() && table->item(0, 9)->text() == "withdrawn"; }, 20000));
    QCOMPARE(table->item(0, 10)->text(), QStringLiteral("2"));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));

    window_->showLaboratory();
    auto* lab = window_->findChild<quarvet::history::LabWindow*>();
    QVERIFY(lab);
    QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000));
    setText(lab, "Laboratory name", "Quarvet Lab");
    setText(lab, "Number pattern", "{year}-no-sequence");
    lab->save();
    QCOMPARE(messages_->boxes.size(), 1);
    messages_->boxes.clear();
    setText(lab, "Number pattern", "Q-{seq:3}");
    lab->save();
    QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    quarvet::lab::LabSettings settings;
    QVERIFY(!quarvet::lab::readLabSettings(store, settings).failed());
    QCOMPARE(settings.value("name"), QStringLiteral("Quarvet Lab"));
    QCOMPARE(settings.value("pattern"), QStringLiteral("Q-{seq:3}"));
}

// The register says what each entry kept; an entry that changes nothing is not added twice;
// a row chosen fills the form for its next entry; withdrawing asks first; Esc closes it.
void TestRecordWindows::registerSaysWhatItKeepsAndAsks()
{
    window_->showReferences();
    auto* references = window_->findChild<quarvet::history::ReferencesWindow*>();
    QVERIFY(showActive(references));
    QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 20000));
    fillRegisterForm(references, "0.02");
    auto* table = references->findChild<QTableWidget*>();
    const auto settled = [&] { return QTest::qWaitFor([&] { return !references->isBusy(); }); };
    for (int press = 0; press < 2; ++press) {
        references->addEntry();
        QVERIFY(settled());
    }
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(labelText(references, "Register status"),
             QStringLiteral("Kept PT-9 in the register. 1 reference standard in the register."));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("holds PT-9 as typed already"),
             qPrintable(messages_->boxes[0].text));
    setText(references, "Description", QString());
    table->setCurrentCell(0, 0);
    QCOMPARE(fieldText(references, "Description"), QStringLiteral("PT100"));
    QCOMPARE(fieldText(references, "U"), QStringLiteral("0.02"));
    for (const bool withdraw : {false, true}) {
        messages_->answers = {withdraw};
        references->withdrawSelected();
        QVERIFY(settled());
        QCOMPARE(table->item(0, 9)->text(),
                 withdraw ? QStringLiteral("withdrawn") : QStringLiteral("yes"));
    }
    QCOMPARE(messages_->questions.size(), 2);
    QVERIFY(labelText(references, "Register status").startsWith("Withdrew PT-9."));
    QVERIFY(showActive(references));
    QTest::keyClick(references, Qt::Key_Escape);
    QVERIFY(!references->isVisible());
}

// The Laboratory window's Save says what it kept; Esc closes it.
void TestRecordWindows::laboratorySaysWhatItKeeps()
{
    window_->showLaboratory();
    auto* lab = window_->findChild<quarvet::history::LabWindow*>();
    QVERIFY(showActive(lab));
    QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000));
    setText(lab, "Laboratory name", "Quarvet Lab");
    lab->save();
    QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000));
    QCOMPARE(labelText(lab, "Laboratory status"),
             QStringLiteral("Kept in the laboratory's settings: name."));
    QVERIFY(showActive(lab));
    QTest::keyClick(lab, Qt::Key_Escape);
    QVERIFY(!lab->isVisible());
}

void TestRecordWindows::upgradeShowsItsProgress_data()
{
    QTest::addColumn<QString>("window"); // the window whose save brings the store up to date
    QTest::newRow("adjustment check") << "check";
    QTest::newRow("register of reference standards") << "register";
    QTest::newRow("laboratory") << "laboratory";
}

// The first save into a large store of the first schema chains its records first: the window
// that saves shows a bar of the records chained, all of them at the end, and hides it when the
// save is done.
void TestRecordWindows::upgradeShowsItsProgress()
{
    QFETCH(QString, window);
    const QString path = qEnvironmentVariable("XDG_DATA_HOME") + "/Quarvet/records.sqlite";
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(quarvet::test::addCopies(path, 2500));
    const qint64 records =
        quarvet::test::sqliteValue(path, "SELECT count(*) FROM records").toLongLong();
    QWidget* saving = nullptr;
    if (window == "check") {
        AdjustmentWindow* check = openCheck();
        fillRecord(check, "SN-upgrade");
        QVERIFY(save(check));
        saving = check;
    } else if (window == "register") {
        window_->showReferences();
        auto* references = window_->findChild<quarvet::history::ReferencesWindow*>();
        QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 20000));
        fillRegisterForm(references, "0.02");
        references->addEntry();
        QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 60000));
        saving = references;
    } else {
        window_->showLaboratory();
        auto* lab = window_->findChild<quarvet::history::LabWindow*>();
        QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000));
        setText(lab, "Laboratory name", "Quarvet Lab");
        lab->save();
        QVERIFY(QTest::qWaitFor([&] { return !lab->isBusy(); }, 60000));
        saving = lab;
    }
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    QCOMPARE(quarvet::test::sqliteValue(path, "PRAGMA user_version").toInt(),
             quarvet::records::recordSchema().version());
    auto* bar = saving->findChild<QProgressBar*>("upgradeProgress");
    QVERIFY(bar);
    QVERIFY(!bar->isVisible());
    QCOMPARE(bar->maximum(), records);
    QCOMPARE(bar->value(), records);
    QCOMPARE(bar->format(),
             QStringLiteral("Bringing the record store up to date, once: %1 of %1 records chained")
                 .arg(records));
}

// The adjustment check takes a reference standard from the register as the command line
// does: its values into the fields, refused when changed or withdrawn; the method used last
// and the customers before are offered.
// The window shows each U as the record will keep it: with the laboratory's pooled
// repeatability, raised to its CMC, and says which results lie outside its scope before
// anything is saved.
void TestRecordWindows::checkHoldsResultsAgainstTheScope()
{
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    QVERIFY(!quarvet::lab::setLabSettings(
                 store, {{"cmc", "-10..50=0.05"}, {"pooled-repeatability", "0.01:9"}})
                 .failed());
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-SCOPE");
    QVERIFY(QTest::qWaitFor(
        [&] { return labelText(check, "Uncertainty as found at point 1").contains("0.050"); },
        20000));
    // Read once, outside the scope: the pooled repeatability's U, not the CMC.
    QVERIFY2(labelText(check, "Uncertainty as found at point 2").contains("0.030"),
             qPrintable(labelText(check, "Uncertainty as found at point 2")));
    QVERIFY2(labelText(check, "Decision rule")
                 .contains("The result at 100 °C lies outside the laboratory's scope"),
             qPrintable(labelText(check, "Decision rule")));
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    QList<Record> saved;
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    const QList<quarvet::records::PointResult> left =
        quarvet::records::readPoints(saved[0].asLeftPoints);
    QCOMPARE(left.size(), 2);
    QCOMPARE(left[0].scope, QStringLiteral("raised"));
    QCOMPARE(left[0].U, 0.05);
    QCOMPARE(left[1].scope, QStringLiteral("outside"));
    QCOMPARE(left[1].U, 0.03);
    QVERIFY(saved[0].setUp && saved[0].setUp->pooled);
}

void TestRecordWindows::checkTakesTheRegistersReference()
{
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    quarvet::lab::ReferenceStandard standard{"PT-REG",
                                             0,
                                             "PT100",
                                             "C-77",
                                             "Acme Cal",
                                             0.03,
                                             2.0,
                                             0.004,
                                             QDate::currentDate().addYears(-1),
                                             QDate::currentDate().addYears(1),
                                             true,
                                             {},
                                             {}};
    QVERIFY(!quarvet::lab::addReference(store, standard).failed());
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-REG");
    setText(check, "Customer", "Big Co");
    setText(check, "Method", "QP-7 rev 2");
    auto* reference = qobject_cast<QLineEdit*>(named(check, "Reference standard"));
    reference->setText("PT-REG");
    emit reference->editingFinished();
    QVERIFY(QTest::qWaitFor([&] { return fieldText(check, "Uncertainty") == "0.03"; }, 20000));
    QCOMPARE(fieldText(check, "Drift"), QStringLiteral("0.004"));
    QCOMPARE(fieldText(check, "Reference due date"),
             QDate::currentDate().addYears(1).toString(Qt::ISODate));
    QVERIFY(save(check));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    QList<Record> saved;
    QVERIFY(!store.list(QString(), saved).failed());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved[0].referenceSource, QStringLiteral("register"));
    QCOMPARE(saved[0].referenceCertificate, QStringLiteral("C-77"));
    QCOMPARE(saved[0].customer, QStringLiteral("Big Co"));
    // A U typed that is not the register's is refused, naming the reference.
    setText(check, "Uncertainty", "0.02");
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("not what the register holds for PT-REG"),
             qPrintable(messages_->boxes[0].text));
    // A new window is offered what was used before.
    auto* next = new AdjustmentWindow;
    next->setRecordStoreSource(
        [&] { return std::make_shared<quarvet::records::SqliteRecordStore>(store.location()); });
    QVERIFY(QTest::qWaitFor([&] { return fieldText(next, "Method") == "QP-7 rev 2"; }, 20000));
    auto* customer = qobject_cast<QLineEdit*>(named(next, "Customer"));
    QVERIFY(customer->completer());
    QCOMPARE(customer->completer()->model()->rowCount(), 1);
    // The register's standards in use are offered to pick from.
    auto* offered = qobject_cast<QLineEdit*>(named(next, "Reference standard"))->completer();
    QVERIFY(offered);
    QCOMPARE(offered->model()->index(0, 0).data().toString(), QStringLiteral("PT-REG"));
    delete next;
}

void TestRecordWindows::standardIsFlaggedWhereChosen_data()
{
    QTest::addColumn<bool>("usable");
    QTest::addColumn<int>("dueInDays");
    QTest::addColumn<QString>("said");  // what the check says once it is chosen; "": no flag
    QTest::addColumn<QString>("inUse"); // what the register's row says of it
    QTest::newRow("in use") << true << 365 << ""
                            << "yes";
    QTest::newRow("overdue") << true << -1 << "It is overdue: Save will refuse it"
                             << "overdue";
    QTest::newRow("withdrawn") << false << 365 << "It is withdrawn: Save will refuse it"
                               << "withdrawn";
}

// A standard overdue or withdrawn is flagged where it is chosen, saying that Save will refuse
// it, and stands out in the register; one in use is taken without a word of either.
void TestRecordWindows::standardIsFlaggedWhereChosen()
{
    QFETCH(bool, usable);
    QFETCH(int, dueInDays);
    QFETCH(QString, said);
    QFETCH(QString, inUse);
    quarvet::records::SqliteRecordStore store(qEnvironmentVariable("XDG_DATA_HOME") +
                                              "/Quarvet/records.sqlite");
    quarvet::lab::ReferenceStandard standard;
    standard.identifier = "PT-REG";
    standard.description = "PT100";
    standard.certificate = "C-77";
    standard.calibratedBy = "Acme Cal";
    standard.U = 0.03;
    standard.calibrated = QDate::currentDate().addYears(-2);
    standard.due = QDate::currentDate().addDays(dueInDays);
    QVERIFY(!quarvet::lab::addReference(store, standard).failed());
    if (!usable) {
        standard.usable = false;
        QVERIFY(!quarvet::lab::addReference(store, standard).failed());
    }
    AdjustmentWindow* check = openCheck();
    auto* reference = qobject_cast<QLineEdit*>(named(check, "Reference standard"));
    reference->setText("PT-REG");
    emit reference->editingFinished();
    QVERIFY(QTest::qWaitFor([&] { return fieldText(check, "Uncertainty") == "0.03"; }, 20000));
    const QString status = labelText(check, "Record status");
    QVERIFY2(said.isEmpty() ? !status.contains("Save will refuse") : status.contains(said),
             qPrintable(status));
    window_->showReferences();
    auto* references = window_->findChild<quarvet::history::ReferencesWindow*>();
    auto* table = references->findChild<QTableWidget*>();
    QVERIFY(
        QTest::qWaitFor([&] { return !references->isBusy() && table->rowCount() == 1; }, 20000));
    QCOMPARE(table->item(0, 9)->text(), inUse);
    QCOMPARE(table->item(0, 0)->font().bold(), inUse == "overdue");
}

// The history names each record's certificate and whether it is issued, amends an earlier
// one or is superseded by a correction; the filter finds a record by its certificate's number.
void TestRecordWindows::historyShowsCertificatesAndFindsThem()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "FIX-1");
    QVERIFY(save(check));
    fillRecord(check, "OTHER-2");
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    using Model = quarvet::history::RecordTableModel;
    // As shown, without the marks that keep a stored text left to right.
    const auto shown = [&](int row, int column) {
        return history->shownRows()
            ->index(row, column)
            .data()
            .toString()
            .remove(QRegularExpression("[\u2066-\u2069\u202A-\u202E]"));
    };
    const auto rowOf = [&](const QString& serial) {
        for (int row = 0; row < history->shownRows()->rowCount(); ++row)
            if (shown(row, Model::Serial) == serial)
                return row;
        return -1;
    };
    history->findChild<QTableView*>()->selectRow(rowOf("FIX-1"));
    fileNames_->answer = data_.filePath("fix.pdf");
    history->issueSelected("Dr. A. Meier", "Head of lab");
    QVERIFY(QTest::qWaitFor([&] { return !history->isWritingCertificate(); }, 20000));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    const QString number = QString::number(QDate::currentDate().year()) + "-00001";
    QVERIFY(QTest::qWaitFor([&] { return shown(rowOf("FIX-1"), Model::Certificate) == number; },
                            20000));
    QCOMPARE(shown(rowOf("FIX-1"), Model::IssueState), QStringLiteral("issued"));
    QCOMPARE(shown(rowOf("OTHER-2"), Model::Certificate), QString());
    QCOMPARE(shown(rowOf("OTHER-2"), Model::IssueState), QStringLiteral("not issued"));
    // Corrected: the issued record is superseded, and its correction amends it; a correction
    // of a record never issued amends nothing.
    int rows = 2;
    for (const char* serial : {"FIX-1", "OTHER-2"}) {
        history->findChild<QTableView*>()->selectRow(rowOf(serial));
        const auto before = window_->findChildren<AdjustmentWindow*>();
        history->correctSelected();
        AdjustmentWindow* correction = nullptr;
        for (AdjustmentWindow* window : window_->findChildren<AdjustmentWindow*>())
            correction = before.contains(window) ? correction : window;
        QVERIFY(correction);
        setText(correction, "Correction reason", "reading mistyped");
        QVERIFY(save(correction));
        ++rows;
        QVERIFY(QTest::qWaitFor(
            [&] { return history->shownRows()->rowCount() == rows && !history->isLoading(); },
            20000));
    }
    const QStringList states{"not issued", "not issued, amended", "not issued, superseded",
                             "issued, superseded"};
    for (int row = 0; row < 4; ++row)
        QCOMPARE(shown(row, Model::IssueState), states[row]);
    QCOMPARE(shown(3, Model::Serial), QStringLiteral("FIX-1"));
    const auto filtered = [&](const QString& text) {
        setText(history, "Certificate filter", text);
        return QTest::qWaitFor([&] { return !history->isLoading(); }, 20000)
                   ? history->shownRows()->rowCount()
                   : -1;
    };
    QCOMPARE(filtered(" " + number + " "), 1);
    QCOMPARE(rowOf("FIX-1"), 0);
    QCOMPARE(filtered(number.left(4)), 0); // a number whole, not a part of one
    QCOMPARE(filtered(""), 4);
}

void TestRecordWindows::correctionNamesTheCorrectedRecord()
{
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "FIX-1");
    setText(check, "As-left reading at point 1", "0.5"); // a wrong reading: fails
    QVERIFY(save(check));
    HistoryWindow* history = openHistory();
    QVERIFY(history);
    history->findChild<QTableView*>()->selectRow(0);
    const Record original = *history->records()->recordAt(0);
    QCOMPARE(original.verdict, QStringLiteral("Fail"));
    history->correctSelected();
    const auto checks = window_->findChildren<AdjustmentWindow*>();
    QCOMPARE(checks.size(), 2);
    AdjustmentWindow* correction = checks[0] == check ? checks[1] : checks[0];
    QVERIFY(correction->windowTitle().contains(original.id.left(8)));
    QCOMPARE(fieldText(correction, "Serial number"), QStringLiteral("FIX-1"));
    QCOMPARE(fieldText(correction, "Slope code to write"), original.slopeCode);
    QCOMPARE(fieldText(correction, "As-left reading at point 2"), QStringLiteral("99.99"));
    setText(correction, "As-left reading at point 1", "0.03");
    // A correction says why it corrects.
    QVERIFY(save(correction));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("reason for the correction"),
             qPrintable(messages_->boxes[0].text));
    messages_->boxes.clear();
    setText(correction, "Correction reason", "as-left reading 1 mistyped");
    QVERIFY(save(correction));
    QVERIFY2(messages_->boxes.isEmpty(), qPrintable(messages_->boxes.value(0).text));
    QVERIFY(QTest::qWaitFor(
        [&] { return history->records()->rowCount() == 2 && !history->isLoading(); }, 20000));
    const Record fixed = *history->records()->recordAt(0);
    QCOMPARE(fixed.corrects, original.id);
    QCOMPARE(fixed.correctionReason, QStringLiteral("as-left reading 1 mistyped"));
    QCOMPARE(fixed.verdict, QStringLiteral("Pass"));
    QCOMPARE(fixed.entriesTyped, original.entriesTyped);
    QCOMPARE(history->records()->correctedBy(original.id), fixed.id);
    const QModelIndex mark =
        history->records()->index(1, quarvet::history::RecordTableModel::Correction);
    QVERIFY(mark.data().toString().startsWith("corrected by " + fixed.id.left(8)));
    QVERIFY(mark.data(Qt::FontRole).value<QFont>().strikeOut());
    // Saved again from the same window, it corrects the correction: one live record.
    setText(correction, "Note", "second thoughts");
    QVERIFY(save(correction));
    QVERIFY(QTest::qWaitFor(
        [&] { return history->records()->rowCount() == 3 && !history->isLoading(); }, 20000));
    QCOMPARE(history->records()->recordAt(0)->corrects, fixed.id);
    // The original cannot be corrected a second time beside its correction.
    messages_->boxes.clear();
    history->findChild<QTableView*>()->selectRow(2);
    history->correctSelected();
    QCOMPARE(window_->findChildren<AdjustmentWindow*>().size(), 2);
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY(messages_->boxes[0].text.contains("was corrected by"));
}

void TestRecordWindows::unusableStoreLeavesTheCalculatorWorking()
{
    // The data folder is a file: no record file can be made under it.
    QFile blocker(data_.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", data_.filePath("blocker").toUtf8());
    AdjustmentWindow* check = openCheck();
    fillRecord(check, "SN-1");
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains(data_.filePath("blocker")),
             qPrintable(messages_->boxes[0].text));
    QCOMPARE(labelText(check, "Record status"), QStringLiteral("The record was not saved."));
    // The calculator goes on.
    window_->findChild<QLineEdit*>("Ist2")->setText("98");
    window_->calculate();
    QCOMPARE(window_->findChild<QLineEdit*>("Steigung")->text(), QStringLiteral("2810"));
}

void TestRecordWindows::closingWhileSavingWaitsForTheOutcome_data()
{
    QTest::addColumn<bool>("saves");
    QTest::addColumn<bool>("refused"); // by what the store held, before anything was saved
    QTest::newRow("saved: the window closes") << true << false;
    QTest::newRow("not saved: the window stays") << false << false;
    // The store answered, yet the record was refused (its reference overdue): nothing kept,
    // so what was typed stays.
    QTest::newRow("refused once the store was read: the window stays") << true << true;
}

void TestRecordWindows::closingWhileSavingWaitsForTheOutcome()
{
    QFETCH(bool, saves);
    QFETCH(bool, refused);
    auto store = std::make_shared<GatedStore>(saves);
    store->gateReads = refused;
    QPointer<AdjustmentWindow> check = openCheck();
    check->setRecordStoreSource([store] { return store; });
    fillRecord(check, "SN-1");
    if (refused)
        setText(check, "Reference due date",
                QDate::currentDate().addDays(-1).toString(Qt::ISODate));
    check->saveRecord();
    QVERIFY(check->isSaving());
    // What is saved is what was shown at the press: no entry changes until the outcome, from
    // the reading of the register on.
    QVERIFY(!named(check, "Tolerance")->isEnabled());
    QVERIFY(!named(check, "Serial number")->isEnabled());
    QVERIFY(!check->close());
    QVERIFY(check->isVisible());
    QVERIFY(labelText(check, "Record status").contains("closes once"));
    store->gate.release(8);
    QVERIFY(QTest::qWaitFor([&] { return !check || !check->isSaving(); }, 20000));
    QCoreApplication::processEvents();
    const bool kept = saves && !refused;
    QCOMPARE(check.isNull() || !check->isVisible(), kept);
    QCOMPARE(messages_->boxes.size(), kept ? 0 : 1);
    if (!kept)
        QVERIFY(named(check, "Tolerance")->isEnabled());
}

void TestRecordWindows::endOfProgramWaitsForTheSave_data()
{
    QTest::addColumn<bool>("saves");
    QTest::addColumn<bool>("byClose"); // the main window closed rather than End of Program
    QTest::newRow("saved: the program ends") << true << false;
    QTest::newRow("not saved: the program stays, the failure told") << false << false;
    QTest::newRow("main window closed, saved") << true << true;
    QTest::newRow("main window closed, not saved") << false << true;
}

// Ending the program while a save is in flight neither loses the record nor ends unseen: it
// ends once the record is kept, and stays, saying why, when it is not.
void TestRecordWindows::endOfProgramWaitsForTheSave()
{
    QFETCH(bool, saves);
    QFETCH(bool, byClose);
    auto store = std::make_shared<GatedStore>(saves);
    QPointer<AdjustmentWindow> check = openCheck();
    check->setRecordStoreSource([store] { return store; });
    fillRecord(check, "SN-END");
    QSignalSpy ended(window_.get(), &MainWindow::endRequested);
    check->saveRecord();
    if (byClose)
        QVERIFY(!window_->close());
    else
        window_->findChild<QAction*>("Programmende")->trigger();
    QCOMPARE(ended.size(), 0);
    QVERIFY(window_->isEndWaiting());
    QVERIFY(labelText(check, "Record status").contains("program ends once it is saved"));
    store->gate.release();
    QVERIFY(QTest::qWaitFor([&] { return !check || !check->isSaving(); }, 20000));
    QCoreApplication::processEvents();
    QCOMPARE(ended.size(), saves ? 1 : 0);
    QCOMPARE(messages_->boxes.size(), saves ? 0 : 1);
    QVERIFY(check && check->isVisible());
    QCOMPARE(qobject_cast<QLineEdit*>(named(check, "Serial number"))->text(),
             QStringLiteral("SN-END"));
}

// A record changed under the store's triggers: the history says so when it opens, naming it.
void TestRecordWindows::historySaysWhenTheChainIsBroken()
{
    const QString path = data_.filePath("tampered/records.sqlite");
    auto store = std::make_shared<quarvet::records::SqliteRecordStore>(path);
    Record record = quarvet::test::fixedRecord();
    record.corrects.clear();
    for (const char* serial : {"T-1", "T-2"}) {
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.serial = QString::fromLatin1(serial);
        QVERIFY(!store->add(record).failed());
    }
    QVERIFY(quarvet::test::runSqlOn(
        "QSQLITE", [&](QSqlDatabase& db) { db.setDatabaseName(path); },
        {"DROP TRIGGER records_never_changed",
         "UPDATE records SET verdict = 'Pass', technician "
         "= 'Mallory' WHERE serial = 'T-1'",
         "CREATE TRIGGER records_never_changed BEFORE UPDATE ON records BEGIN SELECT "
         "RAISE(ABORT, 'records are never changed'); END"}));
    HistoryWindow* history = new HistoryWindow([store] { return store; }, window_.get());
    QVERIFY(QTest::qWaitFor([&] { return !history->isCheckingChain(); }, 20000));
    const QString said = history->findChild<QLabel*>("ChainStatus")->text();
    QVERIFY2(said.startsWith("Chain broken") && said.contains("serial number T-1) was changed"),
             qPrintable(said));
}

void TestRecordWindows::reloadsDoNotPileUp()
{
    auto store = std::make_shared<GatedStore>(true);
    HistoryWindow* history = new HistoryWindow([store] { return store; }, window_.get());
    for (int n = 0; n < 10; ++n)
        history->reload();
    store->gate.release(100);
    QVERIFY(QTest::qWaitFor([&] { return !history->isLoading(); }, 20000));
    QCOMPARE(store->lists.loadAcquire(), 2); // the first, and one for all the presses after it
}

// More records than a page: the rest come as the view asks for them, the filter finds what
// lies past the first page, and Check store tells a whole file from a damaged one.
void TestRecordWindows::historyReadsPagesAndChecksTheStore()
{
    const QString path = data_.filePath("paged/records.sqlite");
    auto store = std::make_shared<quarvet::records::SqliteRecordStore>(path);
    Record record = quarvet::test::fixedRecord();
    record.corrects.clear();
    for (int n = 0; n < 450; ++n) {
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.serial = n == 300 ? QString(200, 'W') : QStringLiteral("SN-%1").arg(n);
        record.createdUtc = QDateTime::fromMSecsSinceEpoch(1700000000000 + n, QTimeZone::utc());
        giveOwnReadings(record, n);
        QVERIFY(!store->add(record).failed());
    }
    HistoryWindow* history = new HistoryWindow([store] { return store; }, window_.get());
    const auto settled = [&] {
        return QTest::qWaitFor([&] { return !history->isLoading(); }, 20000);
    };
    QVERIFY(settled());
    QCOMPARE(history->records()->rowCount(), 200);
    QCOMPARE(history->records()->recordAt(0)->serial, QStringLiteral("SN-449"));
    QVERIFY(readingsBelong(history->records()));
    for (const int expected : {400, 450}) {
        QVERIFY(history->records()->canFetchMore({}));
        history->records()->fetchMore({});
        QVERIFY(settled());
        QCOMPARE(history->records()->rowCount(), expected);
    }
    QVERIFY(!history->records()->canFetchMore({}));
    QCOMPARE(history->records()->recordAt(449)->serial, QStringLiteral("SN-0"));
    // A serial of 200 characters is elided: the columns after it stay in sight.
    auto* table = history->findChild<QTableView*>();
    QVERIFY(table->columnWidth(quarvet::history::RecordTableModel::Serial) <=
            table->fontMetrics().averageCharWidth() * 32);
    setText(history, "Serial filter", "sn-4");
    QVERIFY(settled());
    // SN-4, SN-40 to SN-49 and SN-400 to SN-449, newest first, the oldest past a first page.
    QCOMPARE(history->records()->rowCount(), 61);
    QCOMPARE(history->records()->recordAt(60)->serial, QStringLiteral("SN-4"));
    QVERIFY(readingsBelong(history->records()));
    // Counted from the page that holds them all, or by the store past a page.
    QVERIFY2(labelText(history, "History status").startsWith("61 of 450 records"),
             qPrintable(labelText(history, "History status")));
    setText(history, "Serial filter", "sn-");
    QVERIFY(settled());
    QVERIFY2(labelText(history, "History status").startsWith("449 of 450 records"),
             qPrintable(labelText(history, "History status")));
    history->findChild<QPushButton*>("CheckStore")->click();
    QVERIFY(QTest::qWaitFor([&] { return !history->isChecking(); }, 20000));
    QVERIFY2(labelText(history, "History status").contains("nothing in it is damaged"),
             qPrintable(labelText(history, "History status")));
    QVERIFY(messages_->boxes.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(8192));
    QVERIFY(file.write(QByteArray(file.size() - 8192, '\xA5')) > 0);
    file.close();
    history->findChild<QPushButton*>("CheckStore")->click();
    QVERIFY(QTest::qWaitFor([&] { return !history->isChecking(); }, 20000));
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.contains("is damaged"), qPrintable(messages_->boxes[0].text));
    delete history;
}

// Scrolled through ten pages, the history holds the pages around the rows shown and the
// selected row's, fewer than it read; a page let go is read again when it is shown, as it was
// listed, whatever was saved since.
void TestRecordWindows::historyHoldsPagesAroundWhatIsShown()
{
    using Model = quarvet::history::RecordTableModel;
    auto store = std::make_shared<quarvet::records::SqliteRecordStore>(
        data_.filePath("window/records.sqlite"));
    Record record = quarvet::test::fixedRecord();
    record.corrects.clear();
    const int count = 10 * Model::pageRows;
    const auto save = [&](int n) {
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.serial = QStringLiteral("SN-%1").arg(n);
        record.createdUtc = QDateTime::fromMSecsSinceEpoch(1700000000000 + n, QTimeZone::utc());
        return !store->add(record).failed();
    };
    for (int n = 0; n < count; ++n)
        QVERIFY(save(n));
    HistoryWindow* history = new HistoryWindow([store] { return store; }, window_.get());
    history->show();
    QVERIFY(QTest::qWaitForWindowExposed(history));
    Model* model = history->records();
    auto* table = history->findChild<QTableView*>();
    const auto settled = [&] { return QTest::qWaitFor([&] { return !history->isLoading(); }); };
    QVERIFY(settled());
    const int selected = 3 * Model::pageRows + 7;
    while (model->canFetchMore({})) {
        table->scrollToBottom();
        QVERIFY(settled());
        if (model->rowCount() > selected && !table->selectionModel()->hasSelection())
            table->selectRow(selected);
    }
    QCOMPARE(table->currentIndex().row(), selected);
    QCOMPARE(model->rowCount(), count);
    QVERIFY(QTest::qWaitFor([&] { return model->recordAt(count - 1) != nullptr; }));
    QVERIFY2(model->pagesHeld() <= 2 * Model::pagesAround + 2,
             qPrintable(QString::number(model->pagesHeld())));
    QVERIFY(!model->recordAt(0));
    QCOMPARE(model->recordAt(selected)->serial, QStringLiteral("SN-%1").arg(count - 1 - selected));
    // Saved since the listing was read: shown after a Reload, not in a page read again.
    QVERIFY(save(count));
    table->scrollToTop();
    QVERIFY(QTest::qWaitFor([&] { return model->recordAt(0) != nullptr; }));
    for (const int row : {0, Model::pageRows - 1})
        QCOMPARE(model->recordAt(row)->serial, QStringLiteral("SN-%1").arg(count - 1 - row));
    QCOMPARE(model->data(model->index(0, Model::Serial), Qt::UserRole).toString(),
             QStringLiteral("SN-%1").arg(count - 1));
    QVERIFY(!model->recordAt(count - 1));
    QVERIFY(model->pagesHeld() <= 2 * Model::pagesAround + 2);
    delete history;
}

// A header's click sorts in the store, the filter kept: the rows are the filter's, in the
// column's order, past a first page; a column the store does not sort by changes nothing.
void TestRecordWindows::historySortsInTheStoreWithTheFilter()
{
    using Model = quarvet::history::RecordTableModel;
    auto store = std::make_shared<quarvet::records::SqliteRecordStore>(
        data_.filePath("sorted/records.sqlite"));
    Record record = quarvet::test::fixedRecord();
    record.corrects.clear();
    const QStringList technicians{"Mo", "Al", "Jo"};
    for (int n = 0; n < 2 * Model::pageRows + 30; ++n) {
        record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        record.serial = QStringLiteral("%1-%2").arg(n % 2 ? "SN" : "XY").arg(n);
        record.technician = technicians[n % 3];
        record.createdUtc = QDateTime::fromMSecsSinceEpoch(1700000000000 + n, QTimeZone::utc());
        giveOwnReadings(record, n);
        QVERIFY(!store->add(record).failed());
    }
    HistoryWindow* history = new HistoryWindow([store] { return store; }, window_.get());
    Model* model = history->records();
    auto* table = history->findChild<QTableView*>();
    const auto settled = [&] { return QTest::qWaitFor([&] { return !history->isLoading(); }); };
    QVERIFY(settled());
    setText(history, "Serial filter", "sn-");
    QVERIFY(settled());
    table->sortByColumn(Model::Technician, Qt::AscendingOrder);
    QVERIFY(settled());
    while (model->canFetchMore({})) {
        model->fetchMore({});
        QVERIFY(settled());
    }
    QCOMPARE(model->rowCount(), Model::pageRows + 15);
    QString before = "Al";
    for (int row = 0; row < model->rowCount(); ++row) {
        const Record* shown = model->recordAt(row);
        QVERIFY(shown);
        QVERIFY(shown->serial.startsWith("SN-"));
        QVERIFY2(before <= shown->technician, qPrintable(shown->serial));
        before = shown->technician;
    }
    QCOMPARE(model->recordAt(0)->technician, QStringLiteral("Al"));
    QCOMPARE(model->recordAt(model->rowCount() - 1)->technician, QStringLiteral("Mo"));
    QVERIFY(readingsBelong(model));
    // Within a technician's records, by the time saved in the same direction.
    QVERIFY(model->recordAt(0)->createdUtc < model->recordAt(1)->createdUtc);
    table->sortByColumn(Model::Codes, Qt::AscendingOrder);
    QVERIFY(settled());
    QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), int(Model::Technician));
    QCOMPARE(model->recordAt(0)->technician, QStringLiteral("Al"));
    delete history;
}

void TestRecordWindows::foreignSeparatorIsRefused_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("tolerance") << "Tolerance"
                               << "0.1";
    QTest::newRow("uncertainty") << "Uncertainty"
                                 << "0.02";
    QTest::newRow("a reading") << "As-left reading at point 1"
                               << "0.03";
    QTest::newRow("ambient") << "Ambient temperature"
                             << "23.5";
    QTest::newRow("an entry of the main window") << QString() << "0.5";
}

// Where the comma is the decimal separator, "0.1" reads as 1: the window warns, as the main
// window does, and refuses to keep such a number in a record, naming it.
void TestRecordWindows::foreignSeparatorIsRefused()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    AdjustmentWindow* check =
        openCheck({"0", "100", field.isEmpty() ? text : QStringLiteral("0,5"), "99"});
    QVERIFY(check);
    fillRecord(check, "SN-1");
    for (const auto& [name, value] : {std::pair{"Uncertainty", "0,02"},
                                      {"Tolerance", "0,1"},
                                      {"As-left reading at point 1", "0,03"},
                                      {"As-left reading at point 2", "99,99"}})
        setText(check, name, value);
    if (!field.isEmpty())
        setText(check, field, text);
    QVERIFY(showActive(check));
    QVERIFY(save(check));
    QCOMPARE(messages_->boxes.size(), field.isEmpty() ? 2 : 1); // the main window warned too
    const QString said = messages_->boxes.last().text;
    QVERIFY2(said.contains("'" + text + "' holds '.'"), qPrintable(said));
    if (!field.isEmpty())
        QCOMPARE(focusOnceActive(check), named(check, field));
    QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_DATA_HOME") + "/Quarvet/records.sqlite"));
}

void TestRecordWindows::registerRefusesAForeignSeparator_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("U, English") << "en_US"
                                << "U"
                                << "0,02";
    QTest::newRow("k, English") << "en_US"
                                << "k"
                                << "2,0";
    QTest::newRow("drift, English") << "en_US"
                                    << "Drift"
                                    << "0,01";
    QTest::newRow("U, German") << "de_DE"
                               << "U"
                               << "0.02";
}

// A number of the register typed with the separator the locale does not use ("0,02" read as 2
// where '.' is decimal) is refused before the entry is kept for good, naming it, with the
// cursor in its field.
void TestRecordWindows::registerRefusesAForeignSeparator()
{
    QFETCH(QString, locale);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    window_->showReferences();
    auto* references = window_->findChild<quarvet::history::ReferencesWindow*>();
    QVERIFY(QTest::qWaitFor([&] { return !references->isBusy(); }, 20000));
    fillRegisterForm(references, QString());
    setText(references, field, text);
    QVERIFY(showActive(references));
    references->addEntry();
    QCOMPARE(messages_->boxes.size(), 1);
    QVERIFY2(messages_->boxes[0].text.startsWith(field + " '" + text + "' holds"),
             qPrintable(messages_->boxes[0].text));
    QCOMPARE(focusOnceActive(references), named(references, field));
    QVERIFY(!references->isBusy());
    QCOMPARE(references->findChild<QTableWidget*>()->rowCount(), 0);
}

void TestRecordWindows::layoutHasNoSlips()
{
    AdjustmentWindow* check = openCheck();
    QVERIFY(showActive(check));
    QVERIFY2(layout::mnemonicClashes(check).isEmpty(),
             qPrintable(layout::mnemonicClashes(check).join('\n')));
    HistoryWindow* history = openHistory();
    QVERIFY(showActive(history));
    QVERIFY2(layout::mnemonicClashes(history).isEmpty(),
             qPrintable(layout::mnemonicClashes(history).join('\n')));
    QVERIFY2(layout::outside(history).isEmpty(), qPrintable(layout::outside(history).join('\n')));
}

QTEST_MAIN(TestRecordWindows)
#include "tst_recordwindows.moc"
