#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include "calc/outcome.h"
#include "calc/uncertainty.h"

#include <array>
#include <optional>

namespace quarvet::records {

// One reading of a verification: the target and what the instrument read after adjustment.
struct VerificationReading {
    double target = 0.0;
    double reading = 0.0;

    bool operator==(const VerificationReading&) const = default;
};

// What a record's uncertainty budgets were made with besides the reference's U, as given.
struct BudgetSetUp {
    double referenceK = 2.0; // the coverage factor of the reference's U
    double drift = 0.0;      // ± a of the reference since its calibration, °C
    double resolution = 0.01;
    double uniformity = 0.0;
    double stability = 0.0;
    // The laboratory's pooled standard deviation, where it had one, used at points read once.
    std::optional<calc::PooledRepeatability> pooled;

    bool operator==(const BudgetSetUp&) const = default;
};

// The result at one point: the readings taken there (their mean is the reading used), the
// budget of that result and its verdict. Kept as it was stated when the record was saved.
struct PointResult {
    double target = 0.0;
    QList<double> readings;
    double uc = 0.0;
    double nuEff = 0.0; // infinity when every component is Type B
    double k = 0.0;
    double U = 0.0;  // as reported
    QString verdict; // empty when there was no tolerance to judge against
    // Against the laboratory's scope when it was saved: "within", "raised" (U is the CMC, the
    // budget's being smaller), "outside"; empty where the laboratory had no scope.
    QString scope = {};

    bool operator==(const PointResult&) const = default;
};

// One calibration record, as it is kept: never changed once saved. A correction is a new
// record that names the one it corrects.
struct Record {
    QString id;           // a UUID, without braces
    QDateTime createdUtc; // when it was saved, in UTC
    QString programVersion;
    QString instrumentType; // a model number of the instrument type table
    QString serial;
    int displayLine = 1; // 1 or 2
    QString technician;
    QString referenceId;
    double referenceUncertainty = 0.0; // expanded, at the reference's own k, °C
    QDate referenceDue;
    std::optional<double> ambient;       // °C
    std::array<QString, 4> entriesTyped; // target 1, target 2, indicated 1, indicated 2
    std::array<double, 4> entriesRead{};
    QString currentSlopeCode;
    QString currentOffsetCode;
    QString slopeCode;
    QString offsetCode;
    std::array<double, 2> predictedErrors{};
    QList<VerificationReading> verification;
    std::optional<double> tolerance;
    QString rule;
    QString verdict; // as left: "Pass", "Fail", ..., or empty without a verification
    QString note;
    QString corrects; // the id of the record this one corrects, or empty
    // The uncertainty of each result: none in records kept before the program evaluated it.
    std::optional<BudgetSetUp> setUp;
    QString decisionRule;   // "guarded", "simple" or "non-binary"
    QString asFoundVerdict; // empty without a tolerance
    // The results at the two calibration points before adjustment and at each verification
    // target, as kept: pointsText of them, which readPoints reads back.
    QString asFoundPoints;
    QString asLeftPoints;
    // Whom and by which method it was calibrated for, and the reference's own certificate:
    // empty in records kept before, and where not given (an in-house calibration, a method
    // not stated).
    QString customer;
    QString customerAddress;
    QString itemDescription; // what the instrument is, beside its type and serial number
    QString method;
    QString referenceSource;       // "register", or "typed" when not taken from the register
    QString referenceCertificate;  // the reference's certificate number
    QString referenceCalibratedBy; // the laboratory that calibrated the reference
    QString correctionReason;      // why this record corrects the one it names
    // Where, when and in what state (empty or invalid where not given, and in records kept
    // before): on site at `location` (in the laboratory when empty), the day the item was
    // received, its condition on receipt, deviations from the method, and the source of the
    // tolerance ("manufacturer", "customer" or "standard").
    QString location;
    QDate received;
    QString condition;
    QString deviations;
    QString toleranceSource;
    // Set by the store as it saves: who saved it as the system sees it (login@host, or the
    // database role @ the client's address), and the record's link in the store's hash chain.
    // Empty in records saved before the store kept them.
    QString savedBy;
    QString previousHash; // the hash of the record saved before it, in hexadecimal
    QString hash;         // SHA-256 of its canonical form, which holds previousHash

    bool operator==(const Record&) const = default;
};

// Results at points as one line of text, as they are kept and exported to CSV:
// "target=T readings=R,R uc=… nuEff=… k=… U=… [scope=S ]verdict=V" a point, "; " between points.
// And back: a point that does not read is left out.
QString pointsText(const QList<PointResult>& points);
QList<PointResult> readPoints(const QString& text);

// What a record's results came to, read back from the verdicts it keeps. As left: the
// verdict, no tolerance for readings taken without one, not verified without readings. As
// found: the verdict, no tolerance, or not evaluated in a record kept before results had
// budgets. At a point: its verdict or no tolerance.
calc::Outcome asLeftOutcome(const Record& record);
calc::Outcome asFoundOutcome(const Record& record);
calc::Outcome pointOutcome(QStringView verdict);
// The budget's components a record's set-up gives, the same at every point: as at a point
// read once, to which a point read more than once adds its readings' Type A term. Only for a
// record with a set-up.
// With `readings`, the budget of the point read so.
calc::Budget setUpBudget(const Record& record, std::span<const double> readings = {});
// How the results are traceable through the record's reference, as every face of its
// certificate says it: through a reference from the register, its calibration named; a typed
// one, said to name none.
QString referenceTraceability(const Record& record);
// The same in words, the same on every face and in every export (calc::outcomeText).
QString asLeftVerdictText(const Record& record);
QString asFoundVerdictText(const Record& record);
QString pointVerdictText(QStringView verdict);

} // namespace quarvet::records
