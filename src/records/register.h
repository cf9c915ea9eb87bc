#pragma once

#include "recordform.h"
#include "recordstore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// What certificates are issued against and as, kept in the store beside the records and, like
// them, never changed: the register of reference standards (a new entry for every change),
// the laboratory's settings (a new value for every change) and the issues of certificates,
// each numbered once from the store.
namespace quarvet::records {

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

// What is wrong with an entry before it goes into the register, as a sentence; empty when
// nothing is: its texts given on one line (at most 200 characters, no control character or
// mark that turns text around, the identifier without blanks around it), U above 0, k from 1
// to 10, drift at least 0, all finite, both dates given, calibrated from 1900 to `today` and
// due not before the calibration.
QString referenceProblem(const ReferenceStandard& standard, const QDate& today);
// What is wrong with a value of a laboratory setting, as a sentence; empty when nothing is:
// one line (no control character or mark that turns text around), at most 1000 characters
// for the address and the statements, 200 for the others; a pattern that makes numbers.
QString labSettingProblem(const QString& name, const QString& value);

// Adds `standard` as the next entry of its identifier (its `entry`, `savedUtc` and `savedBy`
// are the store's); `standard.entry` is set to the number it got.
StoreFailure addReference(RecordStore& store, ReferenceStandard& standard);
// The newest entry of every standard, by identifier.
StoreFailure listReferences(RecordStore& store, QList<ReferenceStandard>& standards);
// Every entry of one standard, oldest first; none when the register does not hold it.
StoreFailure referenceEntries(RecordStore& store, const QString& identifier,
                              QList<ReferenceStandard>& entries);

// The laboratory's settings, each the newest value set; `names` are those the program knows.
struct LabSettings {
    QMap<QString, QString> values;

    QString value(const QString& name) const { return values.value(name); }
    static const QStringList& names();
};
StoreFailure readLabSettings(RecordStore& store, LabSettings& settings);
// Sets each of `values` (a name of LabSettings::names() to its new value; empty clears it).
StoreFailure setLabSettings(RecordStore& store, const QMap<QString, QString>& values);
// The logo of a file as the settings keep it ("png:" or "svg:" and base64); empty, and
// `fault` saying why, for a file that cannot be read, is larger than 512 KiB, or is no PNG or
// SVG image.
QString logoFromFile(const QString& path, QString& fault);

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
// was not typed. Empty when usable, else the sentence that says why not.
// A name the register does not hold but for case (`lookAlike`, the register's name, "R1" for
// "r1") is refused: it would be printed as the register's standard without being it.
QString decideReference(const QList<ReferenceStandard>& entries, const LabSettings& lab,
                        const TypedReference& typed, const QDate& day, RecordInput& input,
                        const QString& lookAlike = {});
// The identifier the register holds that `typed` matches but for case; empty when none does,
// or one matches exactly.
StoreFailure registeredLookAlike(RecordStore& store, const QString& typed, QString& registered);

// The day of the calibration a correction of record `corrects` is held against: that of the
// first record of its line of corrections. Invalid when the store holds no such record.
StoreFailure calibrationDay(RecordStore& store, const QString& corrects, QDate& day);
// The customers records were made for, in order (at most `most`), and the method of the newest
// record that names one: what a new record is offered.
StoreFailure customersUsed(RecordStore& store, QStringList& customers, int most = 500);
StoreFailure lastMethod(RecordStore& store, QString& method);

// The pattern numbers are made by when none is set, and whether `pattern` makes numbers:
// literal text with {year}, {prefix}, and {seq} or {seq:N} (N digits, at most 12) exactly
// once.
inline constexpr const char* defaultNumberPattern = "{year}-{seq:5}";
bool validNumberPattern(const QString& pattern);
// The number `sequence` makes under `pattern`, in `year`, with the laboratory's `prefix`.
QString certificateNumber(const QString& pattern, qint64 sequence, int year, const QString& prefix);

// The issue of a record's certificate: once a record, numbered from the store.
struct CertificateIssue {
    qint64 sequence = 0;
    QString number;
    QString recordId;
    QDateTime issuedUtc;
    QString issuedBy; // the person who authorised it, as named at issue
    QString role;
    QString savedBy; // who the store says issued it
    // The hash of the record the store held last at issue: every print names that head, so
    // a copy is the same certificate.
    QString chainHead;

    bool operator==(const CertificateIssue&) const = default;
};

// What a certificate is as it is printed: issued (its first print), a copy of an issued one,
// or a draft of a record not yet issued; and the record that corrects it, if any.
struct CertificateStatus {
    std::optional<CertificateIssue> issue; // none: a draft
    bool copy = false;
    QString supersededBy; // the number of the correction's certificate, or its record's id
    LabSettings lab;      // the laboratory as it is set when the page is written
    // A correction: how many certificates of the records it corrects were issued before it,
    // the first of them, which it amends, and the last, which it replaces.
    int amendment = 0;
    QString amends;
    QString replaces;
    QDate calibrated; // the date of calibration: for a correction, the first record's
};

// Everything a record's certificate says beside the record: its issue, the certificate that
// supersedes it (`correctedBy`, newest first, as a listing gives them), the laboratory, and
// for a correction what it amends and the date of the calibration it corrects.
StoreFailure certificateStatus(RecordStore& store, const Record& record,
                               const QStringList& correctedBy, CertificateStatus& status);

// Issues the certificate of record `recordId`: the next sequence of the store under the
// laboratory's pattern, in one transaction with the check that the record is there, not yet
// issued and not corrected. `issue` holds who and when; its number and sequence are set.
StoreFailure issueCertificate(RecordStore& store, CertificateIssue& issue);
// The issue of a record's certificate, if there is one.
StoreFailure readIssue(RecordStore& store, const QString& recordId,
                       std::optional<CertificateIssue>& issue);

} // namespace quarvet::records
