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
#include "history/labwindow.h"
#include "history/referenceswindow.h"
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
    // The register fills U, k, drift and the due date as the reference is left.
    for (QLineEdit* field : check->findChildren<QLineEdit*>())
        if (field->accessibleName() == QLatin1String("Reference standard"))
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
                     checkAndSave(main, folder) && issue(main, folder);
    for (const auto& box : messages.boxes)
        std::fprintf(stderr, "said: %s\n", qPrintable(box.text));
    main.close();
    return all && messages.boxes.isEmpty() && scratch.removeRecursively() ? 0 : 1;
}
