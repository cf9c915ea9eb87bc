#pragma once

#include "lab/labsettings.h"
#include "records/recordstore.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Signatures on records: a listed signer, authenticated afresh, says that they performed,
// reviewed or approved a record, bound to the record's hash and sealed like every row kept
// beside the records; and what the laboratory asks of them before a certificate is issued.
namespace quarvet::lab {

enum class Meaning { Performed, Reviewed, Approved };
// "performed", "reviewed", "approved": the word kept and typed.
QString meaningWord(Meaning meaning);
std::optional<Meaning> meaningOf(const QString& word);

struct Signature {
    qint64 sequence = 0; // numbered by the store, from 1
    QString recordId;
    QString recordHash;  // the hash of the record signed
    QString login;       // as the store authenticated the signer
    int signerEntry = 0; // the entry of the list of signers that named them
    QString name;        // printed name and role as listed at that moment
    QString role;
    QString meaning;
    QDateTime signedUtc;     // the server's clock on a shared database
    QString authenticatedBy; // "server" or "system"
    QString savedBy;

    bool byServer() const { return authenticatedBy == QLatin1String("server"); }
    bool operator==(const Signature&) const = default;
};

// What the laboratory asks of a record before its certificate is issued ("issue-needs"):
// nothing, a review, or a review and an approval.
enum class IssueNeeds { None, Reviewed, Approved };
IssueNeeds issueNeedsOf(const LabSettings& lab);
// Whether one person may both perform and approve a record ("same-person-may-approve").
bool samePersonMayApprove(const LabSettings& lab);
// The meanings `needs` asks for that `signatures` lack, in order ("reviewed", "approved").
QStringList missingMeanings(IssueNeeds needs, const QList<Signature>& signatures);
// The signature that authorises a certificate: the newest approval, else the newest review.
std::optional<Signature> authorisingSignature(const QList<Signature>& signatures);

// Three wrong passwords within this many seconds shut a login out for as long.
inline constexpr int signingFailuresAllowed = 3;
inline constexpr int signingLockSeconds = 60;
// Until when `login` may not sign, after three wrong passwords in a row within a minute;
// invalid when it may.
records::StoreFailure signingLockedUntil(records::RecordStore& store, const QString& login,
                                         QDateTime& until);
// Keeps a wrong password given for `login`.
records::StoreFailure noteFailedSigning(records::RecordStore& store, const QString& login);

// Adds `signature` (its record, login, meaning and authentication set) in one transaction
// with the checks: the login a listed signer, the record there and not corrected nor issued,
// not signed with that meaning by that signer already, and no one approving what they
// performed or saved unless the laboratory lets them. Its sequence, record hash, name, role,
// entry and time are the store's.
records::StoreFailure addSignature(records::RecordStore& store, Signature& signature);
// The signatures on a record, in the order given.
records::StoreFailure signaturesOf(records::RecordStore& store, const QString& recordId,
                                   QList<Signature>& signatures);

} // namespace quarvet::lab
