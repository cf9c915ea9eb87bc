#pragma once

#include "calc/adjustment.h"
#include "calc/calibration.h"
#include "calc/check.h"
#include "calc/uncertainty.h"

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Plain C++, so that the module of message texts can say every refusal in words.
namespace quarvet::records {

// The field a refusal is about, so that a window can take the technician there.
enum class RecordField {
    None,
    Type,
    Serial,
    DisplayLine,
    Technician,
    Reference,
    Uncertainty,
    ReferenceDue,
    Ambient,
    Entries,
    Tolerance,
    Verification,
    Note,
    Customer,
    Method,
    Reason,
    CustomerAddress,
    Description,
    AuthorisedBy, // who authorises a certificate's issue, and their role
    Role,
    Location,        // where it was calibrated, when not in the laboratory
    Received,        // the day the item was received
    Condition,       // the item's condition on receipt
    Deviations,      // from the method
    ToleranceSource, // where the tolerance comes from
};

// What is wrong with the field.
enum class RefusalKind {
    None,
    UnknownModel,     // the instrument type is none of the model numbers
    Empty,            // nothing but blanks
    Blanks,           // blanks before or after the name, which would print as another's
    TooLong,          // more characters than `limit`
    TurnsTextAround,  // holds a mark that makes it read as another text
    Control,          // holds a control character (a line break, an escape)
    Invisible,        // holds a character that shows as nothing: `given` is its U+ code
    NotOneOrTwo,      // a display line other than 1 or 2
    NotAboveZero,     // an uncertainty of 0 or less, or not finite
    NotADate,         // a due date that is no date
    Passed,           // a due date before today
    NotFinite,        // a number that is infinite or none
    OutOfRange,       // an ambient temperature no laboratory works at, a reference U none has
    Unreadable,       // a text that does not read as a number
    NeedsTolerance,   // readings given without a tolerance to judge them by
    Calculation,      // the entries give no codes: `calculation` says why
    Verification,     // the readings cannot be judged: `verification` says why
    Incomplete,       // a verification point without its reading (or, the third, its target)
    Budget,           // a point's budget cannot be made: `budget` says why
    CodeWraps,        // a code does not hold its value: `offset` tells which, `applied`, `line`
    ForeignSeparator, // `given` holds `foreign`, the separator the locale does not use
    AfterCalibration, // a day of receipt after the calibration, `given`
    NotAChoice,       // none of `choices`
};

// Why something cannot become a record, with the values a sentence about it needs.
struct Refusal {
    RecordField field = RecordField::None;
    RefusalKind kind = RefusalKind::None;
    std::string given;                // the instrument type, or the due date (YYYY-MM-DD)
    std::vector<std::string> choices; // the model numbers an instrument type can be
    long long limit = 0;              // the most characters the field takes
    std::size_t point = 0;            // the verification point (1 to 3) without its reading
    calc::CalcFault calculation = calc::CalcFault::None;
    calc::VerificationFault verification = calc::VerificationFault::None;
    calc::BudgetFault budget = calc::BudgetFault::None;
    std::string foreign; // the separator the locale does not use, and the one it does
    std::string correct;
    bool offset = false; // a code that wraps: the offset's, else the slope's
    double applied = 0;  // what the instrument would apply
    double line = 0;     // what the line asks for

    bool ok() const { return kind == RefusalKind::None; }
};

// A number of a record typed with the separator the locale does not use.
inline Refusal foreignSeparator(RecordField field, std::string given,
                                const calc::SeparatorPair& pair)
{
    Refusal refusal;
    refusal.field = field;
    refusal.kind = RefusalKind::ForeignSeparator;
    refusal.given = std::move(given);
    refusal.foreign = pair.foreign;
    refusal.correct = pair.correct;
    return refusal;
}

} // namespace quarvet::records
