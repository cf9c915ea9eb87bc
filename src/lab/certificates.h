#pragma once

#include "lab/labsettings.h"
#include "lab/signatures.h"
#include "records/record.h"
#include "records/recordstore.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The issues of certificates, each numbered once from the store and never changed, what a
// certificate is as it is printed, and what a new record is offered from those before it.
namespace quarvet::lab {

// The calibration a correction of record `corrects` is held against: the first record of its
// line of corrections. Its day and when it was saved go into `input` (`calibrated`,
// `calibratedUtc`); both invalid when the store holds no such record.
records::StoreFailure calibrationOf(records::RecordStore& store, const QString& corrects,
                                    records::RecordInput& input);
// The customers records were made for, in order (at most `most`), and the method of the newest
// record that names one: what a new record is offered.
records::StoreFailure customersUsed(records::RecordStore& store, QStringList& customers,
                                    int most = 500);
records::StoreFailure lastMethod(records::RecordStore& store, QString& method);

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
    // With the laboratory's accreditation claim, or issued without it on purpose (work
    // outside its scope); issues kept before the choice carry the claim.
    bool accredited = true;
    qint64 settingsEntry = 0; // the laboratory's settings as they stood at issue
    QString recordHash = {};  // the record's hash as issued; empty in issues kept before
    // The signature whose signer authorised it; 0 where the person was named as typed.
    qint64 signature = {};

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
    // For an amendment, the record whose certificate it replaces: what it changed is listed.
    std::optional<records::Record> replacedRecord;
    // The record's signatures on the record as it is, in the order given.
    QList<Signature> signatures = {};
};

// What an amendment amends and replaces, as every face of the certificate says it; the
// certificates not issued are named by record.
QString amendmentText(const CertificateStatus& status);

// Everything a record's certificate says beside the record: its issue, the certificate that
// supersedes it (`correctedBy`, newest first, as a listing gives them), the laboratory, and
// for a correction what it amends and the date of the calibration it corrects.
records::StoreFailure certificateStatus(records::RecordStore& store, const records::Record& record,
                                        const QStringList& correctedBy, CertificateStatus& status);

// What a certificate of `record` that claims the laboratory's accreditation would lack of
// what ISO/IEC 17025 7.8 requires it to state, by name: "name" and "address" of the
// laboratory, the "method", a "reference" from the register, the "ambient" conditions, a "u"
// above 0 at every result. None for a laboratory that states no accreditation.
QStringList issueGaps(const LabSettings& lab, const records::Record& record);

// Issues the certificate of `record`: the next sequence of the store under the laboratory's
// pattern, in one transaction with the check that the record is there, not yet issued and
// not corrected, and, where it claims the accreditation, that it lacks nothing issueGaps
// names (refused as NotIssuable with the gaps). `issue` holds who and when; its number and
// sequence are set. A store kept before the hash chain is brought up to date first, and
// `record` read again with the hash that gave it.
records::StoreFailure issueCertificate(records::RecordStore& store, records::Record& record,
                                       CertificateIssue& issue);
// The number the next issue would take now, for a file's name: another issue may take it
// first. Empty in a store that has not issued nor set anything yet, or where the number
// would be refused.
records::StoreFailure nextCertificateNumber(records::RecordStore& store, QString& number);
// A certificate's number as a file's name: what no file system takes, and blanks, become '-';
// a name of dots or of a Windows device is marked with a '-' before it; at most 240 bytes.
QString fileNameOf(const QString& number);
// The issue of a record's certificate, if there is one.
records::StoreFailure readIssue(records::RecordStore& store, const QString& recordId,
                                std::optional<CertificateIssue>& issue);

// What a certificate says of itself, in its document's metadata and on its page: what it was
// written as, and from which record under which chain head.
struct CertificateMark {
    QString kind;   // "issued", "copy" or "draft"
    QString number; // none for a draft
    QString recordId;
    QString recordHash;
    QString chainHead;

    bool operator==(const CertificateMark&) const = default;
};

// Whether two certificate numbers are one as a page prints them: a page's text, read back, gives
// a run of blanks as one and a letter in one of its Unicode forms.
bool sameNumberAsPrinted(const QString& a, const QString& b);
// Whether a page's mark says what its document's metadata says, its number as printed.
bool sameMarkAsPrinted(const CertificateMark& page, const CertificateMark& metadata);

CertificateMark markOf(const records::Record& record, const QString& chainHead,
                       const CertificateStatus& status);

// Whether the store holds what a certificate says: its record unchanged, its chain head in the
// chain at or after that record, and (issued or a copy) its number issued for that record
// under that head. An issued certificate is a witness the store's owner cannot recall.
struct CertificateFinding {
    enum class Kind {
        Holds,
        NoRecord,        // the store holds no such record: another store's, or removed
        RecordChanged,   // the record's hash is not the certificate's
        HeadNotInChain,  // the chain no longer passes through its head
        NotIssued,       // the store holds no issue of its number
        IssuedOtherwise, // the number was issued for another record or under another head
    };
    Kind kind = Kind::Holds;
    std::optional<CertificateIssue> issue; // the store's issue of its number
    QString supersededBy;                  // the id of the record that corrects it, if any
};
records::StoreFailure checkCertificate(records::RecordStore& store, const CertificateMark& mark,
                                       CertificateFinding& finding);

} // namespace quarvet::lab
