#pragma once

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarvet::calc {
struct Calculation;
} // namespace quarvet::calc

namespace quarvet::about {
class AboutWindow;
} // namespace quarvet::about

namespace quarvet::adjust {
class AdjustmentWindow;
} // namespace quarvet::adjust

class QMenu;

namespace quarvet::history {
class HistoryWindow;
class InstrumentsWindow;
class LabWindow;
class ReferencesWindow;
} // namespace quarvet::history
namespace quarvet::records {
struct Record;
class RecordStore;
} // namespace quarvet::records
namespace quarvet::ui {
class StoreCall;
} // namespace quarvet::ui
namespace quarvet::settings {
class SetupDialog;
class SettingsStore;
} // namespace quarvet::settings

namespace quarvet::app {

class ManualWindow;

// The main window: four entries of a two-point calibration, the two result codes and the
// commands that start every other action of the program.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(settings::SettingsStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Fills both target fields from the stored defaults, over whatever they held.
    void fillTargetsFromDefaults();

    // Checks the four entries, shows what is wrong and returns the report (empty when all
    // four are numbers).
    QString reportWrongEntries();
    // Checks, calculates and shows both codes; refused input puts the focus into Soll1.
    void calculate();

    // The setup dialog, created when first asked for and brought forward when open.
    void showSetup();
    // The about window, likewise one instance.
    void showAbout();
    // The adjustment check, likewise one instance; it follows every successful calculation.
    void showAdjustmentCheck();

    // The history of records, likewise one instance.
    void showHistory();
    // The register of reference standards, and the laboratory's settings.
    void showReferences();
    void showLaboratory();
    // The register of instruments, likewise one instance.
    void showInstruments();
    // Counts the overdue instruments beside the window and says how many in the status bar.
    void countOverdue();
    // The manual (Help > Manual, F1), likewise one instance.
    void showManual();
    // A new adjustment-check window filled from `record`, whose saved record corrects it.
    void openCorrection(const records::Record& record);
    // Where records go now: QUARVET_DATABASE, else the setting Records/Database, else the
    // user's own file.
    std::shared_ptr<records::RecordStore> recordStore() const;

    // End of Program: at once, unless a record is being saved; then once it is saved, and not
    // at all when it is not, so that nothing typed is lost unsaid.
    void requestEnd();
    bool isEndWaiting() const { return endWhenSaved_; }

signals:
    void endRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool mayEnd();
    void keepLastFolder();
    void createMenus();
    void createRecordMenu();
    QAction* addCommand(QMenu* menu, const char* name, const QString& text, QKeySequence shortcut);
    void createTitle(QWidget* client);
    void createMeasurementFrame(QWidget* client);
    QLineEdit* addEntry(QWidget* parent, const char* name, const QString& accessibleName,
                        QRect geometry);
    QLineEdit* addResult(QWidget* parent, const char* name, const QString& accessibleName,
                         QRect geometry);
    calc::Calculation currentCalculation() const;
    void showCodes(const std::string& slopeCode, const std::string& offsetCode, double slope,
                   double offset);

    QLineEdit* target1_ = nullptr;
    QLineEdit* target2_ = nullptr;
    QLineEdit* indicated1_ = nullptr;
    QLineEdit* indicated2_ = nullptr;
    QLineEdit* slopeCode_ = nullptr;
    QLineEdit* offsetCode_ = nullptr;
    QPushButton* calculateButton_ = nullptr;
    QList<QAction*> commands_;
    bool endWhenSaved_ = false;
    settings::SettingsStore& store_;
    QPointer<settings::SetupDialog> setup_;
    QPointer<about::AboutWindow> about_;
    QPointer<adjust::AdjustmentWindow> adjustment_;
    QPointer<history::HistoryWindow> history_;
    QPointer<history::ReferencesWindow> references_;
    QPointer<history::LabWindow> laboratory_;
    QPointer<history::InstrumentsWindow> instruments_;
    ui::StoreCall* counting_ = nullptr;
    QPointer<ManualWindow> manual_;
    std::optional<std::array<double, 4>> lastMeasurement_; // of the last successful calculation
    std::array<QString, 4> lastTyped_;                     // its entries as typed
};

} // namespace quarvet::app
