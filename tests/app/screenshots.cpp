// Renders the pictures of the windows README shows, as a technician leaves them on the way
// through a calibration: a calculation, the laboratory, the register, the adjustment check
// saved, and the history with the record issued. Beside each picture it writes the window's
// outline, which the layout test compares with the window as it is now.
//
//   quarvet_screenshots FOLDER   (scripts/screenshot runs it on Xvfb)
#include "adjust/adjustmentwindow.h"
#include "app/mainwindow.h"
#include "calculatedcheck.h"
#include "history/historywindow.h"
#include "history/instrumentswindow.h"
#include "history/instrumenttablemodel.h"
#include "history/labwindow.h"
#include "history/referenceswindow.h"
#include "lab/instruments.h"
#include "recordingmessages.h"
#include "temporarystore.h"
#include "ui/filenameservice.h"
#include "windowoutline.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <cstdio>

using quarvet::app::MainWindow;

namespace {

class TemporaryFiles final : public quarvet::ui::FileNameService {
public:
    explicit TemporaryFiles(QString folder)
        : folder_(std::move(folder)), previous_(quarvet::ui::setFileNameService(this))
    {
    }
    ~TemporaryFiles() override { quarvet::ui::setFileNameService(previous_); }
    QString saveFileName(QWidget*, const QString&, const QString& offered, const QString&) override
    {
        return folder_ + QLatin1Char('/') + QFileInfo(offered).fileName();
    }

private:
    QString folder_;
    quarvet::ui::FileNameService* previous_;
};

bool fill(QWidget* window, const QList<QPair<QString, QString>>& entries)
{
    bool all = true;
    for (const auto& [name, text] : entries) {
        QLineEdit* found = nullptr;
        for (QLineEdit* field : window->findChildren<QLineEdit*>())
            found = field->accessibleName() == name ? field : found;
        if (found)
            found->setText(text);
        else
            std::fprintf(stderr, "no field %s\n", qPrintable(name));
        all = all && found;
    }
    return all;
}

// The picture and the outline of `window`, shown at its own size, into `folder`.
bool keep(QWidget* window, const QString& folder, const QString& name)
{
    window->show();
    window->raise();
    QTest::qWait(400);
    QFile outline(folder + QLatin1Char('/') + name + QStringLiteral(".outline"));
    const bool kept = window->grab().save(folder + QLatin1Char('/') + name + ".png") &&
                      outline.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      outline.write(outline::of(window).toUtf8()) >= 0 && outline.flush();
    std::printf("%s/%s.png\n", qPrintable(folder), qPrintable(name));
    return kept;
}

template <typename Window> Window* waitedFor(MainWindow& main)
{
    Window* window = main.findChild<Window*>();
    return window && QTest::qWaitFor([&] { return !window->isBusy(); }, 20000) ? window : nullptr;
}

bool calculate(MainWindow& main, const QString& folder)
{
    calculateIn(main, {"0", "100", "0.5", "99.0"});
    return keep(&main, folder, QStringLiteral("main-window"));
}

bool setUpLaboratory(MainWindow& main, const QString& folder)
{
    main.showLaboratory();
    auto* lab = waitedFor<quarvet::history::LabWindow>(main);
    if (!lab || !fill(lab, {{"Laboratory name", "Quarvet Calibration Laboratory"},
                            {"Laboratory address", "Messweg 1, 12345 Prüfstadt"},
                            {"Number prefix", "QCL"},
                            {"Number pattern", "{prefix}-{year}-{seq:5}"}}))
        return false;
    lab->save();
    if (!QTest::qWaitFor([&] { return !lab->isBusy(); }, 20000))
        return false;
    const bool kept = keep(lab, folder, QStringLiteral("laboratory"));
    lab->close();
    return kept;
}

bool registerStandard(MainWindow& main, const QString& folder)
{
    main.showReferences();
    auto* references = waitedFor<quarvet::history::ReferencesWindow>(main);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    if (!references ||
        !fill(references, {{"Identifier", "PT100-REF-7"},
                           {"Description", "PT100 reference thermometer"},
                           {"Its certificate", "DKD-K-1234/2026"},
                           {"Calibrated by", "Acme Calibration GmbH"},
                           {"U", "0.02"},
                           {"Calibrated on", today},
                           {"Due on", QDate::currentDate().addYears(1).toString(Qt::ISODate)}}))
        return false;
    references->addEntry();
    if (!QTest::qWaitFor([&] { return !references->isBusy(); }, 20000))
        return false;
    const bool kept = keep(references, folder, QStringLiteral("references"));
    references->close();
    return kept;
}

// A calibration of years before, kept in the store as the adjustment check would have kept it:
// found with `errors` at 0 and 100 °C against ±0.1 °C.
quarvet::records::Record pastCalibration(const QString& serial, const QDate& day,
                                         std::pair<double, double> errors)
{
    using quarvet::records::PointResult;
    quarvet::records::Record record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime(day, QTime(10, 0), QTimeZone::utc());
    record.programVersion = QStringLiteral("1.0.0");
    record.instrumentType = QStringLiteral("742");
    record.serial = serial;
    record.technician = QStringLiteral("A. Technician");
    record.referenceId = QStringLiteral("PT100-REF-7");
    record.referenceUncertainty = 0.02;
    record.referenceDue = day.addYears(1);
    record.entriesTyped = {"0", "100", QString::number(errors.first),
                           QString::number(100 + errors.second)};
    record.entriesRead = {0, 100, errors.first, 100 + errors.second};
    record.currentSlopeCode = record.slopeCode = QStringLiteral("2710");
    record.currentOffsetCode = record.offsetCode = QStringLiteral("0000");
    record.tolerance = 0.1;
    record.decisionRule = QStringLiteral("simple");
    const auto verdict = [](double error) {
        return std::abs(error) <= 0.1 ? QStringLiteral("Pass") : QStringLiteral("Fail");
    };
    record.asFoundVerdict = verdict(errors.first) == QLatin1String("Fail") ||
                                    verdict(errors.second) == QLatin1String("Fail")
                                ? QStringLiteral("Fail")
                                : QStringLiteral("Pass");
    record.asFoundPoints = quarvet::records::pointsText(
        {PointResult{0, {errors.first}, 0.01, 1e9, 2, 0.02, verdict(errors.first), {}},
         PointResult{100, {100 + errors.second}, 0.01, 1e9, 2, 0.02, verdict(errors.second), {}}});
    return record;
}

// The register of instruments: the one calibrated next, with its years of history, one
// overdue and one due within the month.
bool registerInstruments(MainWindow& main)
{
    const auto store = main.recordStore();
    const QDate today = QDate::currentDate();
    const std::tuple<const char*, const char*, const char*, int> instruments[] = {
        {"SN-4711-A", "Big Co Ltd", "Cold store 2", 12},
        {"SN-2210", "", "Laboratory, bench 1", 12},
        {"SN-3305", "Big Co Ltd", "Packing hall", 6}};
    for (const auto& [serial, owner, location, months] : instruments) {
        quarvet::lab::Instrument instrument;
        instrument.type = QStringLiteral("742");
        instrument.serial = QLatin1String(serial);
        instrument.owner = QString::fromUtf8(owner);
        instrument.location = QString::fromUtf8(location);
        instrument.intervalMonths = months;
        instrument.tolerance = 0.1;
        if (quarvet::lab::registerInstrument(*store, instrument).failed())
            return false;
    }
    const quarvet::records::Record past[] = {
        pastCalibration("SN-4711-A", today.addYears(-3), {0.01, -0.02}),
        pastCalibration("SN-4711-A", today.addYears(-2), {0.04, -0.03}),
        pastCalibration("SN-2210", today.addMonths(-13), {0.02, 0.01}),
        pastCalibration("SN-4711-A", today.addYears(-1).addDays(-5), {0.07, -0.05}),
        pastCalibration("SN-3305", today.addMonths(-6).addDays(12), {0.03, 0.0})};
    for (const quarvet::records::Record& record : past)
        if (store->add(record).failed())
            return false;
    return true;
}

// The register by due date, the instrument just calibrated selected with its history.
bool showInstruments(MainWindow& main, const QString& folder)
{
    main.showInstruments();
    auto* instruments = waitedFor<quarvet::history::InstrumentsWindow>(main);
    if (!instruments ||
        !QTest::qWaitFor(
            [&] { return !instruments->isBusy() && instruments->model()->rowCount() == 3; }, 20000))
        return false;
    auto* table = instruments->findChild<QTableView*>();
    for (int row = 0; row < 3; ++row)
        if (instruments->model()->recallAt(row)->instrument.serial == QLatin1String("SN-4711-A"))
            table->setCurrentIndex(instruments->model()->index(row, 0));
    if (!QTest::qWaitFor([&] { return !instruments->history().isEmpty(); }, 20000))
        return false;
    const bool kept = keep(instruments, folder, QStringLiteral("instruments"));
    instruments->close();
    return kept;
}

bool checkAndSave(MainWindow& main, const QString& folder)
{
    main.showAdjustmentCheck();
    auto* check = main.findChild<quarvet::adjust::AdjustmentWindow*>();
    if (!check || !fill(check, {{"Tolerance", "0.1"},
                                {"As-left reading at point 1", "0.03"},
                                {"As-left reading at point 2", "99.99 100.00"},
                                {"Serial number", "SN-4711-A"},
                                {"Technician", "A. Technician"},
                                {"Reference standard", "PT100-REF-7"},
                                {"Ambient temperature", "23.0"},
                                {"Customer", "Big Co Ltd"},
                                {"Method", "QP-12 rev. 3"}}))
        return false;
    // The register fills U, k, drift and the due date as the reference is left, and the
    // register of instruments the type as the serial number is.
    for (QLineEdit* field : check->findChildren<QLineEdit*>())
        if (field->accessibleName() == QLatin1String("Reference standard") ||
            field->accessibleName() == QLatin1String("Serial number"))
            emit field->editingFinished();
    QTest::qWait(500);
    check->saveRecord();
    if (!QTest::qWaitFor([&] { return !check->isSaving(); }, 20000))
        return false;
    return keep(check, folder, QStringLiteral("adjustment-check"));
}

bool issue(MainWindow& main, const QString& folder)
{
    main.showHistory();
    auto* history = main.findChild<quarvet::history::HistoryWindow*>();
    if (!history || !QTest::qWaitFor([&] { return !history->isLoading(); }, 20000))
        return false;
    history->findChild<QTableView*>()->selectRow(0);
    history->issueSelected(QStringLiteral("Dr. A. Meier"), QStringLiteral("Head of laboratory"));
    if (!QTest::qWaitFor([&] { return !history->isWritingCertificate() && !history->isLoading(); },
                         20000))
        return false;
    history->findChild<QTableView*>()->selectRow(0);
    return keep(history, folder, QStringLiteral("history"));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: quarvet_screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    // A folder of a name that stays the same, as the pictures show where the store and the
    // certificate are.
    QDir scratch(QDir::tempPath() + QStringLiteral("/quarvet-screenshots"));
    if (!scratch.removeRecursively() || !scratch.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s afresh\n", qPrintable(scratch.path()));
        return 1;
    }
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    qunsetenv("QUARVET_DATABASE");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    RecordingMessages messages;
    TemporaryFiles files(scratch.path());
    TemporaryStore settings;
    MainWindow main(settings.store());
    const bool all = QDir().mkpath(folder) && calculate(main, folder) &&
                     setUpLaboratory(main, folder) && registerStandard(main, folder) &&
                     registerInstruments(main) && checkAndSave(main, folder) &&
                     issue(main, folder) && showInstruments(main, folder);
    for (const auto& box : messages.boxes)
        std::fprintf(stderr, "said: %s\n", qPrintable(box.text));
    main.close();
    return all && messages.boxes.isEmpty() && scratch.removeRecursively() ? 0 : 1;
}
