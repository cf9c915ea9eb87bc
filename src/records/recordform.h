#pragma once

#include "record.h"
#include "records/refusal.h"

#include "calc/adjustment.h"
#include "calc/conformity.h"
#include "calc/evaluation.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace quarvet::records {

// The model numbers of the instrument type table, in the table's order.
QStringList modelNumbers();

// What a technician gives for a record; the rest is computed from it.
struct RecordInput {
    QString instrumentType;
    QString serial;
    int displayLine = 1;
    QString technician;
    QString referenceId;
    double referenceUncertainty = 0.0;
    QDate referenceDue;
    BudgetSetUp setUp; // the rest of each point's budget
    std::optional<double> ambient;
    std::array<QString, 4> entriesTyped; // target 1, target 2, indicated 1, indicated 2
    std::array<double, 4> entriesRead{};
    // Readings at the two calibration points after the indicated entry, which is the first;
    // the mean of a point's readings is what the adjustment uses.
    std::array<QList<double>, 2> furtherReadings;
    calc::DecisionRule rule = calc::DecisionRule::Guarded;
    calc::Coefficients current;
    std::optional<double> tolerance;
    QList<VerificationReading> verification;
    QString note;
    QString corrects;
    // Whom and by which method it is calibrated for (empty: in-house, method not stated), the
    // reference's own certificate and where it came from, and why a correction corrects.
    QString customer;
    QString customerAddress;
    QString itemDescription;
    QString method;
    QString referenceSource; // "register" or "typed"
    QString referenceCertificate;
    QString referenceCalibratedBy;
    QString correctionReason;
    // Where, when and in what state, as Record keeps them; `received` holds an invalid date
    // where one was given that is none.
    QString location;
    std::optional<QDate> received;
    QString condition;
    QString deviations;
    QString toleranceSource;
    // The laboratory's scope of accreditation when it is saved; empty without one.
    std::vector<calc::CmcRange> scope;
    // The day of the calibration, against which the reference's due date is held: today, or
    // for a correction the day of the calibration it corrects. Today when not set.
    QDate calibrated;
    // For a correction, when the calibration it corrects was saved: the register's entry that
    // stood then is its reference's, not one changed later that day. Not set for a new one.
    QDateTime calibratedUtc;
    // The store's clock as it was read before the record is composed: its time and day.
    QDateTime nowUtc;
};

// What composing a record gives: the record, or why there is none.
struct Composition {
    Record record;
    calc::Evaluation evaluation; // each point's budget and verdict, as found and as left
    Refusal refusal; // the field and what is wrong with it; messages::recordRefusal says it

    bool ok() const { return refusal.ok(); }
};

// The record of an adjustment: codes and predicted errors computed as the adjustment check
// does from the mean of each point's readings; each point's budget, and with a tolerance the
// verdicts as found and as left by `rule`, as calc::evaluate gives them. Refused,
// naming the field, when the serial number, technician or reference is empty, the
// reference's due date lies before `today` (no record made against an overdue reference can
// pass), a number is not finite, or the codes cannot be calculated.
Composition composeRecord(const RecordInput& input, const QDate& today, const QDateTime& nowUtc,
                          const QString& newId);

// Where a tolerance comes from, as a record keeps it: the manufacturer's stated limits, the
// customer's requirement, or a standard.
const QStringList& toleranceSources();

// The budget's set-up of an input: the reference's U with the rest; and the rest of a budget's
// set-up as a record keeps it. The one conversion for the window and the command line.
calc::SetUp budgetSetUp(const RecordInput& input);
BudgetSetUp keptSetUp(const calc::SetUp& setUp);
// The readings at each calibration point, as found.
std::vector<calc::PointReadings> asFoundReadings(const RecordInput& input);

// Whether a text to be printed on one line holds a control character (C0, DEL, C1) or a mark
// that turns text around: either would print it as another text.
bool unsafeLine(const QString& text);
// Whether a text holds a character Unicode lets a reader ignore: two names that differ only by
// one look alike and are two.
bool holdsInvisible(const QString& text);

// What is wrong with who authorises a certificate, as they are printed on it: each empty, longer
// than a name may be, or holding a control character, a mark that turns text around or one
// that shows as nothing; none when both can be printed as given.
Refusal issuerRefusal(const QString& by, const QString& role);

// The ambient temperatures a record takes, °C: wider than any laboratory's or site's conditions.
inline constexpr double lowestAmbient = -100.0;
inline constexpr double highestAmbient = 100.0;
// No reference standard of a temperature laboratory is known to worse than this, in °C.
inline constexpr double highestReferenceU = 10.0;

// A due date written exactly as YYYY-MM-DD; an invalid date for any other text.
QDate readDueDate(const QString& text);

// The longest texts a record takes, in characters: enough for any serial number, name or
// identifier, and for a note of a page; the same in every store.
inline constexpr qsizetype longestName = 200;
inline constexpr qsizetype longestNote = 10000;

// The short form of a record's id shown in lists: its first eight hexadecimal digits.
QString shortId(const QString& id);

} // namespace quarvet::records
