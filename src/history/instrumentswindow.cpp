#include "instrumentswindow.h"

#include "instrumenttablemodel.h"

#include "calc/entry.h"
#include "certificate/historysheet.h"
#include "lab/labsettings.h"
#include "messages/labmessages.h"
#include "messages/storemessages.h"
#include "plot/driftplotpainter.h"
#include "records/recordform.h"
#include "records/recordformat.h"
#include "ui/controls.h"
#include "ui/localeseparators.h"
#include "ui/messageservice.h"
#include "ui/storecall.h"
#include "ui/upgradebar.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace quarvet::history {

// The selected instrument's errors over the years, drawn as the history's PDF draws them.
class DriftPlotView : public QWidget {
public:
    explicit DriftPlotView(QWidget* parent) : QWidget(parent)
    {
        setMinimumSize(320, 200);
        setAccessibleName(QStringLiteral("History plot"));
    }
    void show(const adjust::DriftPlotData& data)
    {
        data_ = data;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        adjust::paintDriftPlot(painter, rect(), data_, palette().color(QPalette::Base),
                               palette().color(QPalette::Text));
    }

private:
    adjust::DriftPlotData data_;
};

namespace {

constexpr int pageSize = 200;

// A number of the form as the entries are read; none where the field is empty, and `wrong`
// set where it holds what is no number.
std::optional<double> numberIn(const QLineEdit* field, bool& wrong)
{
    const QString typed = field->text().trimmed();
    if (typed.isEmpty())
        return std::nullopt;
    const calc::EntryReading reading =
        calc::readEntry(typed.toStdString(), ui::currentSeparators());
    wrong = wrong || !reading.isNumber();
    return reading.isNumber() ? std::optional(reading.value) : std::nullopt;
}

QString numberShown(const std::optional<double>& value)
{
    return value ? QLocale().toString(*value, 'g', QLocale::FloatingPointShortest) : QString();
}

} // namespace

InstrumentsWindow::InstrumentsWindow(StoreSource storeSource, QWidget* parent)
    : QWidget(parent, Qt::Window), storeSource_(std::move(storeSource))
{
    setObjectName(QStringLiteral("Instruments"));
    setWindowTitle(QStringLiteral("Instruments"));
    auto* layout = new QVBoxLayout(this);
    model_ = new InstrumentTableModel(this);
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Instruments by due date"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 3);
    connect(model_, &InstrumentTableModel::moreWanted, this, &InstrumentsWindow::readPage);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &InstrumentsWindow::showSelected);
    auto* lower = new QHBoxLayout;
    auto* formHolder = new QWidget(this);
    createForm(formHolder);
    lower->addWidget(formHolder, 1);
    lower->addWidget(createHistory(), 1);
    layout->addLayout(lower, 2);
    createButtons();
    status_ = new QLabel(this);
    status_->setAccessibleName(QStringLiteral("Register status"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    calling_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    reading_ = new ui::StoreCall(ui::StoreCall::readingThreads(), this);
    auto* upgradeBar = new ui::UpgradeBar(this);
    layout->addWidget(upgradeBar);
    upgradeBar->follow(calling_);
    ui::closeOnEscape(this);
    ui::fitToScreen(this, QSize(1000, 640));
    reload();
}

void InstrumentsWindow::createFields()
{
    const auto field = [this](const QString& name, const QString& placeholder = {}) {
        auto* made = new QLineEdit(this);
        made->setAccessibleName(name);
        made->setPlaceholderText(placeholder);
        return made;
    };
    serial_ = field(QStringLiteral("Serial number"));
    type_ = new QComboBox(this);
    type_->setAccessibleName(QStringLiteral("Type"));
    type_->addItems(records::modelNumbers());
    line_ = new QSpinBox(this);
    line_->setAccessibleName(QStringLiteral("Display line"));
    line_->setRange(1, 2);
    interval_ = new QSpinBox(this);
    interval_->setAccessibleName(QStringLiteral("Interval"));
    interval_->setRange(calc::shortestInterval, calc::longestInterval);
    interval_->setValue(12);
    interval_->setSuffix(QStringLiteral(" months"));
    description_ = field(QStringLiteral("Description"));
    owner_ = field(QStringLiteral("Owner"), QStringLiteral("empty: the laboratory's own"));
    location_ = field(QStringLiteral("Location"));
    tolerance_ = field(QStringLiteral("Tolerance"), QStringLiteral("none"));
    rule_ = new QComboBox(this);
    rule_->setAccessibleName(QStringLiteral("Decision rule"));
    rule_->addItems({QString(), QStringLiteral("guarded"), QStringLiteral("simple"),
                     QStringLiteral("non-binary")});
    target1_ = field(QStringLiteral("Target 1"));
    target2_ = field(QStringLiteral("Target 2"));
    thirdPoint_ = field(QStringLiteral("Third point"));
}

void InstrumentsWindow::createForm(QWidget* holder)
{
    createFields();
    auto* form = new QFormLayout(holder);
    auto* targets = new QHBoxLayout;
    for (QLineEdit* target : {target1_, target2_, thirdPoint_})
        targets->addWidget(target);
    form->addRow(QStringLiteral("&Serial number:"), serial_);
    form->addRow(QStringLiteral("&Type:"), type_);
    form->addRow(QStringLiteral("Display &line:"), line_);
    form->addRow(QStringLiteral("&Interval:"), interval_);
    form->addRow(QStringLiteral("&Description:"), description_);
    form->addRow(QStringLiteral("&Owner:"), owner_);
    form->addRow(QStringLiteral("Locati&on:"), location_);
    form->addRow(QStringLiteral("Tolerance ± (°C):"), tolerance_);
    form->addRow(QStringLiteral("Decision r&ule:"), rule_);
    form->addRow(QStringLiteral("Targets, third point (°C):"), targets);
}

QWidget* InstrumentsWindow::createHistory()
{
    auto* holder = new QWidget(this);
    auto* column = new QVBoxLayout(holder);
    column->setContentsMargins(0, 0, 0, 0);
    plot_ = new DriftPlotView(holder);
    column->addWidget(plot_, 1);
    for (QLabel** label : {&drift_, &suggestion_}) {
        *label = new QLabel(holder);
        (*label)->setTextFormat(Qt::PlainText);
        (*label)->setWordWrap(true);
        column->addWidget(*label);
    }
    drift_->setAccessibleName(QStringLiteral("Drift"));
    suggestion_->setAccessibleName(QStringLiteral("Suggested interval"));
    return holder;
}

void InstrumentsWindow::createButtons()
{
    auto* buttons = new QHBoxLayout;
    const std::pair<QString, std::function<void()>> actions[] = {
        {QStringLiteral("&Add"), [this] { addInstrument(); }},
        {QStringLiteral("C&hange selected"), [this] { changeSelected(); }},
        {QStringLiteral("Out of ser&vice"),
         [this] { setSelectedState(lab::InstrumentState::OutOfService); }},
        {QStringLiteral("I&n service"),
         [this] { setSelectedState(lab::InstrumentState::InService); }},
        {QStringLiteral("Re&tire"), [this] { setSelectedState(lab::InstrumentState::Retired); }},
        {QStringLiteral("Acce&pt suggested interval"), [this] { acceptSuggestion(); }},
        {QStringLiteral("&Reload"), [this] { reload(); }}};
    for (const auto& [text, action] : actions) {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, action);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    static_cast<QVBoxLayout*>(layout())->addLayout(buttons);
}

bool InstrumentsWindow::isBusy() const
{
    return calling_->isBusy() || reading_->isBusy();
}

void InstrumentsWindow::reload()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || calling_->isBusy())
        return;
    const auto now = std::make_shared<QDateTime>();
    calling_->start([store, now] { return store->clock(*now); },
                    [this, now](const records::StoreFailure& failure) {
                        if (failure.failed())
                            return ui::showValue(status_, messages::storeFault(failure.fault));
                        model_->restart(now->toLocalTime().date());
                        readPage();
                    });
}

// The next page in the order instruments fall due, after the last row shown.
void InstrumentsWindow::readPage()
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || calling_->isBusy())
        return;
    const auto page = std::make_shared<QList<lab::Recall>>();
    const std::optional<lab::DueKey> after = model_->nextAfter();
    calling_->start(
        [store, page, after] { return lab::duePage(*store, {}, after, pageSize, *page); },
        [this, page](const records::StoreFailure& failure) {
            if (failure.failed())
                return ui::showValue(status_, messages::storeFault(failure.fault));
            const bool first = model_->rowCount() == 0;
            model_->append(*page, page->size() < pageSize);
            // Sized to the first page only: sizing to every row would read them all.
            if (first)
                table_->resizeColumnsToContents();
            const QString shown =
                QStringLiteral("%1 instruments shown, by due date.").arg(model_->rowCount());
            ui::showValue(status_, kept_.isEmpty() ? shown : kept_ + QLatin1Char(' ') + shown);
            kept_.clear();
        });
}

const lab::Recall* InstrumentsWindow::selected() const
{
    return model_->recallAt(table_->currentIndex().row());
}

void InstrumentsWindow::fillForm(const lab::Instrument& instrument)
{
    serial_->setText(instrument.serial);
    type_->setCurrentText(instrument.type);
    line_->setValue(instrument.line);
    interval_->setValue(instrument.intervalMonths);
    description_->setText(instrument.description);
    owner_->setText(instrument.owner);
    location_->setText(instrument.location);
    tolerance_->setText(numberShown(instrument.tolerance));
    rule_->setCurrentText(instrument.rule);
    target1_->setText(numberShown(instrument.target1));
    target2_->setText(numberShown(instrument.target2));
    thirdPoint_->setText(numberShown(instrument.thirdPoint));
}

// The selected instrument in the form, and its history read beside the window.
void InstrumentsWindow::showSelected()
{
    const lab::Recall* recall = selected();
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!recall || !store)
        return;
    fillForm(recall->instrument);
    // Until this one's history is read, no other's suggestion may be accepted for it.
    history_.clear();
    review_ = {};
    if (reading_->isBusy())
        return; // read once the history being read has come
    const lab::Instrument instrument = recall->instrument;
    const auto history = std::make_shared<QList<lab::HistoryPoint>>();
    const auto settings = std::make_shared<lab::LabSettings>();
    reading_->start(
        [store, instrument, history, settings] {
            const records::StoreFailure read =
                lab::instrumentHistory(*store, instrument.type, instrument.serial, *history);
            return read.failed() ? read : lab::readLabSettings(*store, *settings);
        },
        [this, instrument, history, settings](const records::StoreFailure& failure) {
            const lab::Recall* now = selected();
            // Another was selected meanwhile: its history is read instead.
            if (now && (now->instrument.type != instrument.type ||
                        now->instrument.serial != instrument.serial))
                return QTimer::singleShot(0, this, &InstrumentsWindow::showSelected);
            if (failure.failed())
                return ui::showValue(status_, messages::storeFault(failure.fault));
            bool readable = true;
            history_ = *history;
            review_ =
                lab::reviewInterval(instrument, history_, settings->intervalFactors(readable));
            plot_->show(certificate::historyPlotData(history_, instrument.tolerance));
            QStringList sentences = messages::historySentences(history_, review_);
            ui::showValue(suggestion_, sentences.takeLast());
            ui::showValue(drift_, sentences.join(QLatin1Char('\n')));
            emit historyShown();
        });
}

bool InstrumentsWindow::readForm(lab::Instrument& instrument)
{
    bool wrong = false;
    instrument.serial = serial_->text().trimmed();
    instrument.type = type_->currentText();
    instrument.line = line_->value();
    instrument.intervalMonths = interval_->value();
    instrument.description = description_->text().trimmed();
    instrument.owner = owner_->text().trimmed();
    instrument.location = location_->text().trimmed();
    instrument.tolerance = numberIn(tolerance_, wrong);
    instrument.rule = rule_->currentText();
    instrument.target1 = numberIn(target1_, wrong);
    instrument.target2 = numberIn(target2_, wrong);
    instrument.thirdPoint = numberIn(thirdPoint_, wrong);
    QString problem = messages::labRefusal(lab::instrumentProblem(instrument));
    if (wrong)
        problem = QStringLiteral("The tolerance, the targets and the third point are numbers, or "
                                 "empty.");
    if (!problem.isEmpty())
        ui::messages().show(this, ui::messageTitle, problem, ui::MessageService::Icon::Stop);
    return problem.isEmpty();
}

void InstrumentsWindow::addInstrument()
{
    lab::Instrument instrument;
    if (readForm(instrument))
        write(instrument, 0, false,
              QStringLiteral("Added %1.").arg(records::printableText(instrument.serial)));
}

void InstrumentsWindow::changeSelected()
{
    const lab::Recall* recall = selected();
    if (!recall)
        return ui::messages().show(this, ui::messageTitle,
                                   QStringLiteral("Select the instrument to change."),
                                   ui::MessageService::Icon::None);
    lab::Instrument instrument = recall->instrument;
    const int basedOn = instrument.entry;
    if (!readForm(instrument))
        return;
    // The form names the instrument: a change of it is another instrument, added instead.
    if (instrument.serial != recall->instrument.serial ||
        instrument.type != recall->instrument.type)
        return ui::messages().show(this, ui::messageTitle,
                                   QStringLiteral("The serial number and type name the "
                                                  "instrument: to register another, use Add."),
                                   ui::MessageService::Icon::Stop);
    write(instrument, basedOn, false,
          QStringLiteral("Changed %1.").arg(records::printableText(instrument.serial)));
}

void InstrumentsWindow::setSelectedState(lab::InstrumentState state)
{
    const lab::Recall* recall = selected();
    if (!recall || recall->instrument.state == state)
        return;
    lab::Instrument instrument = recall->instrument;
    instrument.state = state;
    write(instrument, recall->instrument.entry, false,
          QStringLiteral("%1 is %2.")
              .arg(records::printableText(instrument.serial), lab::stateText(state)));
}

void InstrumentsWindow::acceptSuggestion()
{
    const lab::Recall* recall = selected();
    if (!recall || review_.basedOn.isNull() || history_.isEmpty() ||
        review_.suggestion.step == calc::IntervalStep::Reviewed)
        return;
    lab::Instrument instrument = recall->instrument;
    if (!ui::messages().confirm(this, ui::messageTitle,
                                QStringLiteral("Set the interval of %1 to %2 months? %3")
                                    .arg(records::printableText(instrument.serial))
                                    .arg(review_.suggestion.months)
                                    .arg(messages::intervalReason(review_)),
                                QStringLiteral("&Accept")))
        return;
    instrument.intervalMonths = review_.suggestion.months;
    write(instrument, recall->instrument.entry, true,
          QStringLiteral("The interval of %1 is %2 months.")
              .arg(records::printableText(instrument.serial))
              .arg(instrument.intervalMonths));
}

void InstrumentsWindow::write(lab::Instrument instrument, int basedOn, bool reviewed,
                              const QString& kept)
{
    const std::shared_ptr<records::RecordStore> store = storeSource_ ? storeSource_() : nullptr;
    if (!store || calling_->isBusy())
        return;
    const auto entry = std::make_shared<lab::Instrument>(std::move(instrument));
    calling_->start(
        [store, entry, basedOn, reviewed] {
            return basedOn == 0 ? lab::registerInstrument(*store, *entry)
                                : lab::changeInstrument(*store, *entry, basedOn, reviewed);
        },
        [this, kept](const records::StoreFailure& failure) {
            if (failure.failed())
                return ui::messages().show(this, ui::messageTitle,
                                           messages::storeFault(failure.fault),
                                           ui::MessageService::Icon::Stop);
            kept_ = kept;
            emit changed();
            reload();
        });
}

} // namespace quarvet::history
