#include "historyfilter.h"

#include "calc/conformity.h"
#include "ui/controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace quarvet::history {
namespace {

// Typing a serial number asks the store once, after a pause, not at every key.
constexpr int pauseMilliseconds = 250;

} // namespace

HistoryFilter::HistoryFilter(QWidget* parent) : QWidget(parent)
{
    pause_ = new QTimer(this);
    pause_->setSingleShot(true);
    pause_->setInterval(pauseMilliseconds);
    connect(pause_, &QTimer::timeout, this, &HistoryFilter::changed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    serial_ = new QLineEdit(this);
    serial_->setAccessibleName(QStringLiteral("Serial filter"));
    serial_->setPlaceholderText(QStringLiteral("part of a serial number"));
    ui::reserveWidth(serial_, serial_->placeholderText());
    auto* serialLabel = new QLabel(QStringLiteral("&Serial number:"), this);
    serialLabel->setBuddy(serial_);
    row->addWidget(serialLabel);
    row->addWidget(serial_, 1);
    connect(serial_, &QLineEdit::textChanged, pause_, qOverload<>(&QTimer::start));
    // Instruments found out of tolerance are what a lab must tell its customers of.
    asFound_ = new QComboBox(this);
    asFound_->setObjectName(QStringLiteral("AsFoundFilter"));
    asFound_->setAccessibleName(QStringLiteral("As-found filter"));
    asFound_->addItem(QStringLiteral("any"), QString());
    for (const calc::Verdict verdict :
         {calc::Verdict::Fail, calc::Verdict::ConditionalFail, calc::Verdict::NotJudged,
          calc::Verdict::ConditionalPass, calc::Verdict::Pass}) {
        const QString text = QString::fromStdString(calc::verdictText(verdict));
        asFound_->addItem(text, text);
    }
    auto* asFoundLabel = new QLabel(QStringLiteral("&As found:"), this);
    asFoundLabel->setBuddy(asFound_);
    row->addWidget(asFoundLabel);
    row->addWidget(asFound_);
    connect(asFound_, &QComboBox::currentIndexChanged, this, &HistoryFilter::changed);
    // Reverse traceability: every record of a reference standard, or of a customer.
    reference_ = addField(row, QStringLiteral("Re&ference:"), QStringLiteral("Reference filter"));
    customer_ = addField(row, QStringLiteral("C&ustomer:"), QStringLiteral("Customer filter"));
    certificate_ =
        addField(row, QStringLiteral("Certifica&te:"), QStringLiteral("Certificate filter"));
}

QLineEdit* HistoryFilter::addField(QHBoxLayout* row, const QString& label, const QString& name)
{
    auto* field = new QLineEdit(this);
    field->setAccessibleName(name);
    field->setPlaceholderText(QStringLiteral("exactly"));
    ui::reserveWidth(field, QStringLiteral("PT100-REF-7"));
    auto* caption = new QLabel(label, this);
    caption->setBuddy(field);
    row->addWidget(caption);
    row->addWidget(field);
    connect(field, &QLineEdit::textChanged, pause_, qOverload<>(&QTimer::start));
    return field;
}

records::RecordFilter HistoryFilter::filter(int limit) const
{
    records::RecordFilter filter;
    filter.serialContains = serial_->text();
    filter.asFoundVerdict = asFound_->currentData().toString();
    filter.referenceId = reference_->text().trimmed();
    filter.customer = customer_->text().trimmed();
    filter.certificate = certificate_->text().trimmed();
    filter.limit = limit;
    filter.corrections = true;
    return filter;
}

bool HistoryFilter::narrows(const records::RecordFilter& filter)
{
    return !filter.serialContains.isEmpty() || !filter.asFoundVerdict.isEmpty() ||
           !filter.referenceId.isEmpty() || !filter.customer.isEmpty() ||
           !filter.certificate.isEmpty();
}

bool HistoryFilter::pending() const
{
    return pause_->isActive();
}

void HistoryFilter::settle()
{
    pause_->stop();
}

} // namespace quarvet::history
