#pragma once

#include "lab/labrefusal.h"
#include "lab/labsettings.h"
#include "records/recordform.h"
#include "records/recordstore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// The register of reference standards, kept in the store beside the records and, like them,
// never changed: a new entry for every change. And the decision, for every face, of what a
// record's reference is.
namespace quarvet::lab {

// One entry of the register: the standard as it stood from `savedUtc` on.
struct ReferenceStandard {
    QString identifier;
    int entry = 0; // 1 for its first entry, one more for each change
    QString description;
    QString certificate;  // its own certificate's number
    QString calibratedBy; // the laboratory that issued that certificate
    double U = 0.0;       // expanded, °C
    double k = 2.0;
    double drift = 0.0; // ± °C since its calibration
    QDate calibrated;
    QDate due;
    bool usable = true; // false once withdrawn
    QDateTime savedUtc;
    QString savedBy;

    bool operator==(const ReferenceStandard&) const = default;
};

// Why a reference standard cannot be used for a calibration on a day.
enum class ReferenceUse { Usable, Withdrawn, Overdue };
ReferenceUse referenceUse(const ReferenceStandard& standard, const QDate& calibrated);

// What is wrong with an entry before it goes into the register; none when
// nothing is: its texts given on one line (at most 200 characters, no control character or
// mark that turns text around, the identifier without blanks around it), U above 0, k from 1
// to 10, drift at least 0, all finite, both dates given, calibrated from 1900 to `today` and
// due not before the calibration.
LabRefusal referenceProblem(const ReferenceStandard& standard, const QDate& today);

// Adds `standard` as the next entry of its identifier (its `entry`, `savedUtc` and `savedBy`
// are the store's); `standard.entry` is set to the number it got.
records::StoreFailure addReference(records::RecordStore& store, ReferenceStandard& standard);
// The newest entry of every standard, by identifier.
records::StoreFailure listReferences(records::RecordStore& store,
                                     QList<ReferenceStandard>& standards);
// Every entry of one standard, oldest first; none when the register does not hold it.
records::StoreFailure referenceEntries(records::RecordStore& store, const QString& identifier,
                                       QList<ReferenceStandard>& entries);
// Which of a reference's values were typed beside its identifier, by what name they are
// given ("--reference-u", "Uncertainty"), and the day of the calibration.
struct TypedReference {
    bool u = false;
    bool k = false;
    bool drift = false;
    bool due = false;
    QString uName, kName, driftName, dueName;
};

// What a record's reference is, decided once for every face: the register's entry that stood on
// `day` (the newest saved by then; the first when none was) when it holds the identifier (its U, k,
// drift and due date, its certificate and calibrating laboratory, into `input`), refused when a
// value typed for it is not the register's, when it is withdrawn, or due before `day`; else typed,
// refused when the laboratory takes references from the register only, or when its U or due date
// was not typed. None when usable, else why not.
// A name the register does not hold but for case (`lookAlike`, the register's name, "R1" for
// "r1") is refused: it would be printed as the register's standard without being it.
LabRefusal decideReference(const QList<ReferenceStandard>& entries, const LabSettings& lab,
                           const TypedReference& typed, const QDate& day,
                           records::RecordInput& input, const QString& lookAlike = {});
// The identifier the register holds that `typed` matches but for case; empty when none does,
// or one matches exactly.
records::StoreFailure registeredLookAlike(records::RecordStore& store, const QString& typed,
                                          QString& registered);

} // namespace quarvet::lab
