#pragma once

#include <QDate>
#include <QString>

// Why an entry of the register, a laboratory setting or a record's reference is refused,
// typed; messages::labRefusal words it.
namespace quarvet::lab {

enum class LabRefusalKind {
    None,
    ReferenceText,       // `name`: one line of 1 to 200 characters
    ReferenceBlanks,     // the identifier begins or ends with blanks
    ReferenceNumbers,    // U above 0, k from 1 to 10, drift at least 0
    ReferenceDates,      // the dates are no dates
    ReferenceCalibrated, // calibrated before 1900 or after today
    ReferenceDueEarly,   // due before its calibration
    SettingText,         // `name`: one line of at most `limit` characters
    SettingPattern,      // a number pattern that makes no numbers
    SettingNumberText,   // `name` (pattern or prefix) holds what a number cannot print as written
    SettingScope,        // a scope that does not read as ranges (`detail` says why)
    SettingPooled,       // a pooled repeatability that does not read as S:NU
    LookAlike,           // the register holds `name` where `identifier` was typed
    RegisteredOnly,      // the laboratory takes references from its register only
    NotRegistered,       // a typed reference without its U (`name`) or due date (`detail`)
    Disagrees,           // `name` typed is not the register's entry `entry` of `identifier`
    CalibratedAfter,     // calibrated on `first`, after the calibration on `second`
    Withdrawn,
    Overdue,            // due on `first`, before the calibration on `second`
    SignerText,         // `name` (login, name or role): one line of 1 to 200 characters
    SignerLogin,        // a login with blanks in it
    SettingChoice,      // `name` takes one of a few words, and was given another
    SettingFactors,     // interval factors that do not read as UP:DOWN
    SettingCountry,     // a country that is not two capital letters
    InstrumentText,     // `name`: one line of at most 200 characters (the serial: 1 to 200)
    InstrumentBlanks,   // the serial number begins or ends with blanks
    InstrumentType,     // `name` is no model number of the type table
    InstrumentLine,     // the display line is neither 1 nor 2
    InstrumentInterval, // the interval is not a whole number of months from 1 to 120
    InstrumentNumbers,  // `name` (tolerance or targets) is not finite, or not above 0, or equal
    InstrumentRule,     // a decision rule the program does not know
};

struct LabRefusal {
    LabRefusalKind kind = LabRefusalKind::None;
    QString name;       // the field, setting or name it is about
    QString identifier; // the reference standard's
    QString detail;
    int entry = 0;
    int limit = 0;
    QDate first;
    QDate second;

    bool ok() const { return kind == LabRefusalKind::None; }
};

// A refusal of `kind` about `name` (and the reference standard `identifier`).
inline LabRefusal refusedAs(LabRefusalKind kind, const QString& name = {},
                            const QString& identifier = {})
{
    LabRefusal refusal;
    refusal.kind = kind;
    refusal.name = name;
    refusal.identifier = identifier;
    return refusal;
}

} // namespace quarvet::lab
