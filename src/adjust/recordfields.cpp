#include "recordfields.h"

#include "records/recordformat.h"
#include "ui/localeseparators.h"

#include "calc/check.h"

#include <QComboBox>
#include <QCompleter>
#include <QFormLayout>
#include <QLineEdit>

namespace quarvet::adjust {

RecordFields::RecordFields(QWidget* parent) : QGroupBox(QStringLiteral("Record"), parent)
{
    auto* form = new QFormLayout(this);
    // Serial numbers and names are read whole, not through a slit.
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    setMinimumWidth(420);
    type_ = new QComboBox(this);
    type_->setAccessibleName(QStringLiteral("Instrument type"));
    type_->addItems(records::modelNumbers());
    // Made in the order they are shown, which is the order Tab takes.
    line_ = new QComboBox(this);
    line_->setAccessibleName(QStringLiteral("Display line"));
    line_->addItems({QStringLiteral("1"), QStringLiteral("2")});
    serial_ = addField(QStringLiteral("Serial number"));
    technician_ = addField(QStringLiteral("Technician"));
    reference_ = addField(QStringLiteral("Reference standard"));
    referenceDue_ = addField(QStringLiteral("Reference due date"));
    referenceDue_->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
    ambient_ = addField(QStringLiteral("Ambient temperature"));
    ambient_->setPlaceholderText(QStringLiteral("optional"));
    note_ = addField(QStringLiteral("Note"));
    connect(reference_, &QLineEdit::editingFinished, this,
            [this] { emit referenceEdited(reference_->text().trimmed()); });
    connect(serial_, &QLineEdit::editingFinished, this,
            [this] { emit serialEdited(serial_->text().trimmed()); });
    form->addRow(QStringLiteral("&Type, line:"), type_);
    form->addRow(QString(), line_);
    form->addRow(QStringLiteral("Seria&l number:"), serial_);
    form->addRow(QStringLiteral("T&echnician:"), technician_);
    form->addRow(QStringLiteral("&Reference standard:"), reference_);
    form->addRow(QStringLiteral("Reference &due date:"), referenceDue_);
    form->addRow(QStringLiteral("Am&bient (\u00B0C):"), ambient_);
    form->addRow(QStringLiteral("&Note:"), note_);
    addPartyFields(form);
}

// Whom and by which method, and why a correction corrects: after the record's own fields.
void RecordFields::addPartyFields(QFormLayout* form)
{
    customer_ = addField(QStringLiteral("Customer"));
    customer_->setPlaceholderText(QStringLiteral("none: an in-house calibration"));
    customerAddress_ = addField(QStringLiteral("Customer address"));
    description_ = addField(QStringLiteral("Item description"));
    method_ = addField(QStringLiteral("Method"));
    method_->setPlaceholderText(QStringLiteral("procedure and revision"));
    reason_ = addField(QStringLiteral("Correction reason"));
    reason_->setPlaceholderText(QStringLiteral("needed for a correction"));
    form->addRow(QStringLiteral("&Customer:"), customer_);
    form->addRow(QStringLiteral("Customer &address:"), customerAddress_);
    form->addRow(QStringLiteral("Item descr&iption:"), description_);
    form->addRow(QStringLiteral("Met&hod:"), method_);
    form->addRow(QStringLiteral("Reas&on for a correction:"), reason_);
    addReceiptFields(form);
}

// Where, when and in what state, all optional: what a certificate states besides the results.
void RecordFields::addReceiptFields(QFormLayout* form)
{
    location_ = addField(QStringLiteral("Location"));
    location_->setPlaceholderText(QStringLiteral("blank: in the laboratory"));
    received_ = addField(QStringLiteral("Received on"));
    received_->setPlaceholderText(QStringLiteral("YYYY-MM-DD, optional"));
    condition_ = addField(QStringLiteral("Condition on receipt"));
    deviations_ = addField(QStringLiteral("Deviations from the method"));
    toleranceSource_ = new QComboBox(this);
    toleranceSource_->setAccessibleName(QStringLiteral("Tolerance source"));
    toleranceSource_->addItem(QStringLiteral("not stated"));
    for (const QString& source : records::toleranceSources())
        toleranceSource_->addItem(source, source);
    form->addRow(QStringLiteral("Location:"), location_);
    form->addRow(QStringLiteral("Received on:"), received_);
    form->addRow(QStringLiteral("Condition on receipt:"), condition_);
    form->addRow(QStringLiteral("Deviations:"), deviations_);
    form->addRow(QStringLiteral("Tolerance source:"), toleranceSource_);
}

QLineEdit* RecordFields::addField(const QString& accessibleName)
{
    auto* field = new QLineEdit(this);
    field->setAccessibleName(accessibleName);
    return field;
}

records::Refusal RecordFields::readInto(records::RecordInput& input) const
{
    input.instrumentType = type_->currentText();
    input.serial = serial_->text();
    input.displayLine = line_->currentIndex() + 1;
    input.technician = technician_->text();
    input.referenceId = reference_->text();
    input.referenceDue = records::readDueDate(referenceDue_->text().trimmed());
    input.note = note_->text();
    input.customer = customer_->text();
    input.customerAddress = customerAddress_->text();
    input.itemDescription = description_->text();
    input.method = method_->text();
    input.correctionReason = reason_->text();
    input.location = location_->text();
    input.received.reset();
    if (const QString received = received_->text().trimmed(); !received.isEmpty())
        input.received = records::readDueDate(received);
    input.condition = condition_->text();
    input.deviations = deviations_->text();
    input.toleranceSource = toleranceSource_->currentData().toString();
    input.ambient.reset();
    if (ambient_->text().trimmed().isEmpty())
        return {};
    const calc::EntryReading reading =
        calc::readEntry(ambient_->text().toStdString(), ui::currentSeparators());
    if (!reading.isNumber()) {
        records::Refusal refusal;
        refusal.field = records::RecordField::Ambient;
        refusal.kind = records::RefusalKind::Unreadable;
        return refusal;
    }
    // A record keeps its numbers for good: one read another way than typed is refused.
    const std::string typed = ambient_->text().toStdString();
    if (const auto pair = calc::probeSeparators(ui::currentSeparators());
        pair && calc::holds(typed, pair->foreign))
        return records::foreignSeparator(records::RecordField::Ambient, typed, *pair);
    input.ambient = reading.value;
    return {};
}

void RecordFields::fill(const records::Record& record)
{
    const int type = type_->findText(record.instrumentType);
    if (type >= 0)
        type_->setCurrentIndex(type);
    line_->setCurrentIndex(record.displayLine == 2 ? 1 : 0);
    serial_->setText(record.serial);
    technician_->setText(record.technician);
    reference_->setText(record.referenceId);
    referenceDue_->setText(record.referenceDue.toString(Qt::ISODate));
    ambient_->setText(record.ambient
                          ? QLocale().toString(*record.ambient, 'g', QLocale::FloatingPointShortest)
                          : QString());
    note_->setText(record.note);
    customer_->setText(record.customer);
    customerAddress_->setText(record.customerAddress);
    description_->setText(record.itemDescription);
    method_->setText(record.method);
    location_->setText(record.location);
    received_->setText(record.received.toString(Qt::ISODate));
    condition_->setText(record.condition);
    deviations_->setText(record.deviations);
    toleranceSource_->setCurrentIndex(
        std::max(0, toleranceSource_->findData(record.toleranceSource)));
    // A correction gives its own reason.
    reason_->clear();
}

void RecordFields::setReferenceDue(const QDate& due)
{
    referenceDue_->setText(due.toString(Qt::ISODate));
}

bool RecordFields::referenceDueTyped() const
{
    return !referenceDue_->text().trimmed().isEmpty();
}

void RecordFields::offer(const QStringList& customers, const QString& method,
                         const QStringList& references)
{
    // The register's standards to pick from as the identifier is typed.
    auto* registered = new QCompleter(references, reference_);
    registered->setCaseSensitivity(Qt::CaseInsensitive);
    reference_->setCompleter(registered);
    auto* completer = new QCompleter(customers, customer_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    customer_->setCompleter(completer);
    if (method_->text().isEmpty())
        method_->setText(method);
}

QWidget* RecordFields::fieldFor(records::RecordField field) const
{
    using F = records::RecordField;
    const std::pair<F, QWidget*> fields[] = {{F::Type, type_},
                                             {F::Serial, serial_},
                                             {F::DisplayLine, line_},
                                             {F::Technician, technician_},
                                             {F::Reference, reference_},
                                             {F::ReferenceDue, referenceDue_},
                                             {F::Ambient, ambient_},
                                             {F::Note, note_},
                                             {F::Customer, customer_},
                                             {F::CustomerAddress, customerAddress_},
                                             {F::Description, description_},
                                             {F::Method, method_},
                                             {F::Reason, reason_},
                                             {F::Location, location_},
                                             {F::Received, received_},
                                             {F::Condition, condition_},
                                             {F::Deviations, deviations_},
                                             {F::ToleranceSource, toleranceSource_}};
    for (const auto& [named, widget] : fields)
        if (named == field)
            return widget;
    return nullptr;
}

void RecordFields::takeInstrument(const lab::Instrument& instrument)
{
    type_->setCurrentText(instrument.type);
    line_->setCurrentIndex(instrument.line - 1);
    if (customer_->text().trimmed().isEmpty())
        customer_->setText(instrument.owner);
    if (description_->text().trimmed().isEmpty())
        description_->setText(instrument.description);
}

lab::Instrument RecordFields::instrument() const
{
    lab::Instrument instrument;
    instrument.serial = serial_->text().trimmed();
    instrument.type = type_->currentText();
    instrument.line = line_->currentIndex() + 1;
    instrument.owner = customer_->text().trimmed();
    instrument.description = description_->text().trimmed();
    instrument.location = location_->text().trimmed();
    return instrument;
}

} // namespace quarvet::adjust
