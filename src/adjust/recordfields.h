#pragma once

#include "lab/instruments.h"
#include "records/recordform.h"

#include <QGroupBox>

class QComboBox;
class QFormLayout;
class QLineEdit;
class QWidget;

namespace quarvet::adjust {

// What a record says beyond the adjustment: the instrument, who adjusted it, against which
// reference, in which conditions, and a note.
class RecordFields : public QGroupBox {
    Q_OBJECT
public:
    explicit RecordFields(QWidget* parent = nullptr);

    // Copies the fields into `input`; refused when the ambient temperature is given and is
    // not a number.
    records::Refusal readInto(records::RecordInput& input) const;
    // Fills every field from a record (for its correction).
    void fill(const records::Record& record);
    // The field a refusal named, to put the focus into; nothing for the others.
    QWidget* fieldFor(records::RecordField field) const;
    // The reference's due date, as the register holds it; and whether one was typed.
    void setReferenceDue(const QDate& due);
    bool referenceDueTyped() const;
    // Offers the customers of records made before, and the method of the newest one when
    // none is typed yet.
    void offer(const QStringList& customers, const QString& method,
               const QStringList& references = {});
    // What the register of instruments holds of the serial number: its type and line, and its
    // owner and description where none is typed.
    void takeInstrument(const lab::Instrument& instrument);
    // The instrument as the fields name it, for the register.
    lab::Instrument instrument() const;

signals:
    // The reference standard's identifier, once it has been typed.
    void referenceEdited(const QString& identifier);
    // The serial number, once it has been typed.
    void serialEdited(const QString& serial);

private:
    QLineEdit* addField(const QString& accessibleName);
    void addReceiptFields(QFormLayout* form);
    void addPartyFields(QFormLayout* form);

    QComboBox* type_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QComboBox* line_ = nullptr;
    QLineEdit* technician_ = nullptr;
    QLineEdit* reference_ = nullptr;
    QLineEdit* referenceDue_ = nullptr;
    QLineEdit* ambient_ = nullptr;
    QLineEdit* note_ = nullptr;
    QLineEdit* customer_ = nullptr;
    QLineEdit* customerAddress_ = nullptr;
    QLineEdit* description_ = nullptr;
    QLineEdit* method_ = nullptr;
    QLineEdit* reason_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLineEdit* received_ = nullptr;
    QLineEdit* condition_ = nullptr;
    QLineEdit* deviations_ = nullptr;
    QComboBox* toleranceSource_ = nullptr;
};

} // namespace quarvet::adjust
