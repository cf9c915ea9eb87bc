#include "mainwindow.h"

#include "manualwindow.h"

#include "calc/adjustment.h"

#include "about/aboutwindow.h"
#include "adjust/adjustmentwindow.h"
#include "calc/calculation.h"
#include "history/historywindow.h"
#include "history/instrumentswindow.h"
#include "history/labwindow.h"
#include "history/referenceswindow.h"
#include "messages/messages.h"
#include "records/storechoice.h"
#include "settings/settingsstore.h"
#include "settings/setupdialog.h"
#include "ui/artwork.h"
#include "ui/clickablelabel.h"
#include "ui/controls.h"
#include "ui/filenameservice.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>

namespace quarvet::app {
namespace {

// Positions are laid out in twips, fifteen to a logical pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

struct Twips {
    int left, top, width, height;

    QRect pixels() const { return twips(left, top, width, height); }
};

// The captions of the measurement frame, numbered as the program has always known them.
struct Caption {
    int index;
    const char* text;
    Twips place;
};
constexpr Caption measurementCaptions[] = {
    {1, "Target value", {1800, 600, 1215, 495}},
    {2, "Indicated value", {3240, 600, 1215, 495}},
    {3, "Temperature 1:", {120, 1200, 1815, 375}},
    {4, "Temperature 2:", {120, 1680, 1695, 375}},
    {5, "\u00B0C", {2760, 1200, 375, 375}},
    {6, "\u00B0C", {2760, 1680, 375, 375}},
    {7, "\u00B0C", {4200, 1200, 375, 375}},
    {8, "\u00B0C", {4200, 1680, 375, 375}},
    {16, "Increase:", {4680, 1200, 975, 375}},
    {17, "Offset:", {4680, 1680, 975, 375}},
    {9, "hex", {6720, 1200, 375, 375}},
    {22, "hex", {6720, 1680, 375, 375}},
};

const QColor background(0xFF, 0xFF, 0xFF);
const QColor foreground(0x40, 0x40, 0x40);

QLabel* addCaption(QWidget* parent, int index, const QString& text, QRect geometry)
{
    QLabel* label = ui::addLabel(parent, "Label2", text, geometry);
    label->setProperty("index", index);
    label->setFont(ui::arial(12));
    // A caption wider than its place wraps, as the column headings do.
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A window that is asked for again comes to the front with the focus.
void bringForward(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

QString localised(double value)
{
    QString text = QString::fromStdString(calc::shortestText(value));
    return text.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace

MainWindow::MainWindow(settings::SettingsStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quarvet"));
    setFont(ui::arial(12));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, foreground);
    setPalette(colours);

    auto* client = new QWidget(this);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    createMenus();
    statusBar()->setAccessibleName(QStringLiteral("Overdue instruments"));
    counting_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    // The client area between the menu bar and the status bar; the frame stays resizable and
    // nothing moves.
    resize(507, 438 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    createTitle(client);
    createMeasurementFrame(client);

    // The targets usually come from the stored defaults, so the indicated values come first.
    setTabOrder(indicated1_, indicated2_);
    setTabOrder(indicated2_, calculateButton_);
    setTabOrder(calculateButton_, target1_);
    setTabOrder(target1_, target2_);
    indicated1_->setFocus();
    fillTargetsFromDefaults();
    keepLastFolder();
    // Once the window is up: a distant database never holds its first painting.
    QTimer::singleShot(0, this, &MainWindow::countOverdue);
}

MainWindow::~MainWindow()
{
    // The settings this window keeps the folder in may go with it.
    ui::startFileDialogsIn(QString(), nullptr);
}

// File dialogs start where the user last wrote a file, in this run or one before.
void MainWindow::keepLastFolder()
{
    const QString section = QStringLiteral("Files");
    const QString key = QStringLiteral("LastFolder");
    ui::startFileDialogsIn(store_.read(section, key, QString()), [this, section,
                                                                  key](const QString& folder) {
        // Not kept, it costs only where the next run's first dialog starts: said, not boxed.
        if (!store_.write(section, {{key, folder}}))
            std::fprintf(stderr, "quarvet: the folder last written to could not be kept in %s\n",
                         qPrintable(store_.location()));
    });
}

void MainWindow::fillTargetsFromDefaults()
{
    const settings::StoredDefaults defaults = settings::readStoredDefaults(store_);
    target1_->setText(defaults.target1);
    target2_->setText(defaults.target2);
}

void MainWindow::showSetup()
{
    if (!setup_) {
        setup_ = new settings::SetupDialog(store_, this);
        connect(setup_, &settings::SetupDialog::defaultsSaved, this,
                &MainWindow::fillTargetsFromDefaults);
    }
    bringForward(setup_);
}

void MainWindow::showAbout()
{
    if (!about_)
        about_ = new about::AboutWindow(this);
    bringForward(about_);
}

void MainWindow::showAdjustmentCheck()
{
    if (!adjustment_) {
        adjustment_ = new adjust::AdjustmentWindow(this);
        adjustment_->setRecordStoreSource([this] { return recordStore(); });
        connect(adjustment_, &adjust::AdjustmentWindow::recordSaved, this, [this] {
            if (history_)
                history_->storeChanged();
            countOverdue();
        });
        connect(adjustment_, &adjust::AdjustmentWindow::instrumentToRegister, this,
                [this](const lab::Instrument& instrument) {
                    showInstruments();
                    instruments_->fillForm(instrument);
                });
        if (lastMeasurement_)
            adjustment_->setMeasurement(*lastMeasurement_, lastTyped_);
        for (QLineEdit* field : adjustment_->findChildren<QLineEdit*>())
            field->installEventFilter(this);
    }
    bringForward(adjustment_);
}

std::shared_ptr<records::RecordStore> MainWindow::recordStore() const
{
    return records::recordStoreFor(
        store_.read(records::databaseSection, records::databaseKey, QString()));
}

void MainWindow::showHistory()
{
    if (!history_) {
        history_ = new history::HistoryWindow([this] { return recordStore(); }, this);
        connect(history_, &history::HistoryWindow::correctionRequested, this,
                &MainWindow::openCorrection);
    }
    bringForward(history_);
}

void MainWindow::showReferences()
{
    if (!references_)
        references_ = new history::ReferencesWindow([this] { return recordStore(); }, this);
    bringForward(references_);
}

void MainWindow::showInstruments()
{
    if (!instruments_) {
        instruments_ = new history::InstrumentsWindow([this] { return recordStore(); }, this);
        connect(instruments_, &history::InstrumentsWindow::changed, this,
                &MainWindow::countOverdue);
    }
    bringForward(instruments_);
}

void MainWindow::countOverdue()
{
    const std::shared_ptr<records::RecordStore> store = recordStore();
    if (!store || counting_->isBusy())
        return;
    const auto overdue = std::make_shared<qint64>(0);
    counting_->start(
        [store, overdue] {
            QDateTime now;
            if (const records::StoreFailure read = store->clock(now); read.failed())
                return read;
            const QDate today = now.toLocalTime().date();
            return lab::walkInstruments(*store, {}, [&](lab::Recall&& recall) {
                *overdue += recall.overdueOn(today) ? 1 : 0;
                return true;
            });
        },
        [this, overdue](const records::StoreFailure& failure) {
            // A store that cannot be read says so where it is used; here nothing is known.
            if (failure.failed() || *overdue == 0)
                return statusBar()->clearMessage();
            statusBar()->showMessage(
                (*overdue == 1 ? QStringLiteral("1 instrument overdue")
                               : QStringLiteral("%1 instruments overdue").arg(*overdue)) +
                QStringLiteral(" (Record > Instruments...)"));
        });
}

void MainWindow::showManual()
{
    if (!manual_)
        manual_ = new ManualWindow(this);
    bringForward(manual_);
}

void MainWindow::showLaboratory()
{
    if (!laboratory_)
        laboratory_ = new history::LabWindow([this] { return recordStore(); }, this);
    bringForward(laboratory_);
}

void MainWindow::openCorrection(const records::Record& record)
{
    // A window of its own: the main window's calculations do not change a correction.
    auto* correction = new adjust::AdjustmentWindow(this);
    correction->setRecordStoreSource([this] { return recordStore(); });
    connect(correction, &adjust::AdjustmentWindow::recordSaved, this, [this] {
        if (history_)
            history_->storeChanged();
    });
    correction->correct(record);
    bringForward(correction);
}

QAction* MainWindow::addCommand(QMenu* menu, const char* name, const QString& text,
                                QKeySequence shortcut)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    commands_.append(action);
    return action;
}

void MainWindow::createMenus()
{
    QMenu* controlling = menuBar()->addMenu(QStringLiteral("&Controlling"));
    controlling->setObjectName(QStringLiteral("Steuerung"));
    QAction* calculating = addCommand(controlling, "Berechnen", QStringLiteral("&Calculate"),
                                      QKeySequence(Qt::CTRL | Qt::Key_B));
    QAction* ending = addCommand(controlling, "Programmende", QStringLiteral("&End of Program"),
                                 QKeySequence(Qt::CTRL | Qt::Key_P));
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("Optionen"));
    QAction* setup = addCommand(options, "Voreinstellungen", QStringLiteral("&Setup"),
                                QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* info =
        addCommand(options, "Info", QStringLiteral("&Info"), QKeySequence(Qt::CTRL | Qt::Key_I));

    connect(calculating, &QAction::triggered, this, &MainWindow::calculate);
    connect(ending, &QAction::triggered, this, &MainWindow::requestEnd);
    connect(setup, &QAction::triggered, this, &MainWindow::showSetup);
    connect(info, &QAction::triggered, this, &MainWindow::showAbout);

    connect(addCommand(options, "Laboratory", QStringLiteral("&Laboratory..."), QKeySequence()),
            &QAction::triggered, this, &MainWindow::showLaboratory);
    createRecordMenu();
}

void MainWindow::createRecordMenu()
{
    QMenu* record = menuBar()->addMenu(QStringLiteral("&Record"));
    record->setObjectName(QStringLiteral("Record"));
    connect(addCommand(record, "AdjustmentCheck", QStringLiteral("&Adjustment check..."),
                       QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, &MainWindow::showAdjustmentCheck);
    QAction* history = addCommand(record, "History", QStringLiteral("&History..."),
                                  QKeySequence(Qt::CTRL | Qt::Key_H));
    // From the adjustment check too, where a calibration's records are looked up.
    history->setShortcutContext(Qt::ApplicationShortcut);
    connect(history, &QAction::triggered, this, &MainWindow::showHistory);
    connect(addCommand(record, "References", QStringLiteral("Re&ferences..."), QKeySequence()),
            &QAction::triggered, this, &MainWindow::showReferences);
    connect(addCommand(record, "Instruments", QStringLiteral("&Instruments..."), QKeySequence()),
            &QAction::triggered, this, &MainWindow::showInstruments);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    QAction* manual =
        addCommand(help, "Manual", QStringLiteral("&Manual"), QKeySequence::HelpContents);
    // From every window of the program.
    manual->setShortcutContext(Qt::ApplicationShortcut);
    connect(manual, &QAction::triggered, this, &MainWindow::showManual);
}

void MainWindow::createTitle(QWidget* client)
{
    auto* title = new ui::ClickableLabel(client);
    title->setObjectName(QStringLiteral("Label1"));
    title->setText(QStringLiteral("Quarvet"));
    title->setFont(ui::arial(36, true));
    title->setGeometry(twips(240, 360, 3375, 975));
    connect(title, &ui::ClickableLabel::clicked, this, &MainWindow::showAbout);

    auto* logo = new ui::ClickableLabel(client);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setGeometry(twips(4680, 120, 2565, 1020));
    logo->setPixmap(ui::logoPixmap(logo->size(), devicePixelRatioF()));
    logo->setAccessibleName(QStringLiteral("Quarvet logo"));
    connect(logo, &ui::ClickableLabel::clicked, this, &MainWindow::showAbout);

    auto* line = new QFrame(client);
    line->setObjectName(QStringLiteral("Line1"));
    line->setGeometry(16, 80 - 2, 472, 4);
    line->setAutoFillBackground(true);
    QPalette ink = line->palette();
    ink.setColor(QPalette::Window, foreground);
    line->setPalette(ink);
}

void MainWindow::createMeasurementFrame(QWidget* client)
{
    auto* frame = new QGroupBox(QStringLiteral("Measured value"), client);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFont(ui::arial(12, true));
    frame->setGeometry(twips(120, 1440, 7335, 2295));

    for (const Caption& caption : measurementCaptions)
        addCaption(frame, caption.index, QString::fromUtf8(caption.text), caption.place.pixels());

    // The entries of each row, then the read-only codes.
    target1_ = addEntry(frame, "Soll1", QStringLiteral("Target temperature 1"),
                        twips(1800, 1200, 975, 375));
    indicated1_ = addEntry(frame, "Ist1", QStringLiteral("Indicated temperature 1"),
                           twips(3240, 1200, 975, 375));
    target2_ = addEntry(frame, "Soll2", QStringLiteral("Target temperature 2"),
                        twips(1800, 1680, 975, 375));
    indicated2_ = addEntry(frame, "Ist2", QStringLiteral("Indicated temperature 2"),
                           twips(3240, 1680, 975, 375));
    slopeCode_ =
        addResult(frame, "Steigung", QStringLiteral("Increase"), twips(5760, 1200, 975, 375));
    offsetCode_ = addResult(frame, "Offset", QStringLiteral("Offset"), twips(5760, 1680, 975, 375));

    calculateButton_ = ui::addButton(frame, "Berechnen1", QStringLiteral("&Calculate"),
                                     twips(5640, 240, 1215, 375));
    calculateButton_->setFont(ui::arial(9.75, true));
    connect(calculateButton_, &QPushButton::clicked, this, &MainWindow::calculate);
}

QLineEdit* MainWindow::addEntry(QWidget* parent, const char* name, const QString& accessibleName,
                                QRect geometry)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setAccessibleName(accessibleName);
    field->setFont(ui::arial(12));
    field->setAlignment(Qt::AlignRight);
    field->setGeometry(geometry);
    field->installEventFilter(this);
    return field;
}

QLineEdit* MainWindow::addResult(QWidget* parent, const char* name, const QString& accessibleName,
                                 QRect geometry)
{
    QLineEdit* field = addEntry(parent, name, accessibleName, geometry);
    field->setReadOnly(true);
    // Out of the tab chain, yet a click selects the code so that it can be copied.
    field->setFocusPolicy(Qt::ClickFocus);
    return field;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A text field claims some control keys for editing (Ctrl+E is end of line on X11);
    // the window's commands must win while the focus is in an entry.
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        // In another window's entries, only the commands that reach every window.
        const auto* widget = qobject_cast<const QWidget*>(watched);
        const bool mine = widget && widget->window() == this;
        for (const QAction* command : std::as_const(commands_)) {
            if (command->isEnabled() && command->shortcut() == pressed &&
                (mine || command->shortcutContext() == Qt::ApplicationShortcut)) {
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

calc::Calculation MainWindow::currentCalculation() const
{
    const std::string texts[] = {target1_->text().toStdString(), target2_->text().toStdString(),
                                 indicated1_->text().toStdString(),
                                 indicated2_->text().toStdString()};
    const calc::Separators separators = ui::currentSeparators();
    return calc::calculateCodes({texts[0], texts[1], texts[2], texts[3]}, separators,
                                calc::probeSeparators(separators));
}

QString MainWindow::reportWrongEntries()
{
    return ui::showCheckReport(this, currentCalculation().check);
}

void MainWindow::calculate()
{
    const calc::Calculation calculation = currentCalculation();
    if (!ui::showCheckReport(this, calculation.check).isEmpty()) {
        target1_->setFocus();
        return;
    }
    const calc::CalcResult& result = calculation.result;
    if (result.ok()) {
        showCodes(result.slopeCode, result.offsetCode, result.slope, result.offset);
        lastMeasurement_ = calculation.values;
        lastTyped_ = {target1_->text(), target2_->text(), indicated1_->text(), indicated2_->text()};
        if (adjustment_)
            adjustment_->setMeasurement(*lastMeasurement_, lastTyped_);
    } else {
        ui::messages().show(this, ui::messageTitle,
                            QString::fromStdString(messages::calculationFault(result.fault)),
                            ui::MessageService::Icon::Stop);
    }
    indicated1_->setFocus();
}

void MainWindow::showCodes(const std::string& slopeCode, const std::string& offsetCode,
                           double slope, double offset)
{
    slopeCode_->setText(QString::fromStdString(slopeCode));
    offsetCode_->setText(QString::fromStdString(offsetCode));
    // Codes alone do not tell a negative offset from a large positive one: what the instrument
    // will apply, to the code's own resolution; beside it the line's value where the code
    // does not hold it.
    const auto slopeCodeValue = calc::readCoefficientCode(slopeCode);
    const auto offsetCodeValue = calc::readCoefficientCode(offsetCode);
    if (!slopeCodeValue || !offsetCodeValue)
        return;
    QString slopeTip = QStringLiteral("Slope: %1")
                           .arg(QLocale().toString(calc::slopeOfCode(*slopeCodeValue), 'f', 4));
    if (calc::wraps(slope, calc::slopeScale))
        slopeTip += QStringLiteral(" (the line's %1)").arg(localised(slope));
    QString offsetTip = QStringLiteral("Offset: %1 °C")
                            .arg(QLocale().toString(calc::offsetOfCode(*offsetCodeValue), 'f', 3));
    if (calc::wraps(offset, calc::offsetScale))
        offsetTip += QStringLiteral(" (the line's %1 °C)").arg(localised(offset));
    slopeCode_->setToolTip(slopeTip);
    offsetCode_->setToolTip(offsetTip);
}

namespace {

QList<adjust::AdjustmentWindow*> savingWindows(const QObject* main)
{
    QList<adjust::AdjustmentWindow*> saving;
    for (adjust::AdjustmentWindow* window : main->findChildren<adjust::AdjustmentWindow*>())
        if (window->isSaving())
            saving << window;
    return saving;
}

} // namespace

// End of Program closes every window at once, saving nothing: a calibration typed into the
// adjustment check and not saved is lost only when the user, asked, chose so.
bool MainWindow::mayEnd()
{
    // The adjustment check and every correction open beside it.
    for (adjust::AdjustmentWindow* window : findChildren<adjust::AdjustmentWindow*>())
        if (!window->isSaving() && !window->mayDiscardEntries())
            return false;
    return true;
}

void MainWindow::requestEnd()
{
    if (!mayEnd())
        return;
    const QList<adjust::AdjustmentWindow*> saving = savingWindows(this);
    if (saving.isEmpty()) {
        emit endRequested();
        return;
    }
    // The program ends once every record in flight is kept; a save that fails leaves the
    // program open, with the window that reports it and what was typed in it.
    endWhenSaved_ = true;
    for (adjust::AdjustmentWindow* window : saving) {
        window->showRecordStatus(
            QStringLiteral("Saving the record: the program ends once it is saved."));
        connect(
            window, &adjust::AdjustmentWindow::savingFinished, this,
            [this](bool saved) {
                if (!saved)
                    endWhenSaved_ = false;
                else if (endWhenSaved_ && savingWindows(this).isEmpty())
                    emit endRequested();
            },
            Qt::SingleShotConnection);
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program: a save in flight is waited for first.
    if (!mayEnd()) {
        event->ignore();
        return;
    }
    if (!savingWindows(this).isEmpty()) {
        event->ignore();
        requestEnd();
        return;
    }
    QMainWindow::closeEvent(event);
}

} // namespace quarvet::app
