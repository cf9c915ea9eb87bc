#include "signatures.h"

#include "certificates.h"
#include "labsql.h"
#include "records/keptseals.h"

namespace quarvet::lab {

using namespace records;

namespace {

using Column = TableColumn<Signature>;

QString utcText(const QDateTime& when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime utcOf(const QVariant& text)
{
    return QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
}

constexpr Column signatureColumns[] = {
    {"sequence", [](const Signature& s) -> QVariant { return s.sequence; },
     [](Signature& s, const QVariant& v) { s.sequence = v.toLongLong(); }},
    {"record_id", [](const Signature& s) -> QVariant { return s.recordId; },
     [](Signature& s, const QVariant& v) { s.recordId = v.toString(); }},
    {"record_hash", [](const Signature& s) -> QVariant { return s.recordHash; },
     [](Signature& s, const QVariant& v) { s.recordHash = v.toString(); }},
    {"login", [](const Signature& s) -> QVariant { return s.login; },
     [](Signature& s, const QVariant& v) { s.login = v.toString(); }},
    {"signer_entry", [](const Signature& s) -> QVariant { return s.signerEntry; },
     [](Signature& s, const QVariant& v) { s.signerEntry = v.toInt(); }},
    {"name", [](const Signature& s) -> QVariant { return s.name; },
     [](Signature& s, const QVariant& v) { s.name = v.toString(); }},
    {"role", [](const Signature& s) -> QVariant { return s.role; },
     [](Signature& s, const QVariant& v) { s.role = v.toString(); }},
    {"meaning", [](const Signature& s) -> QVariant { return s.meaning; },
     [](Signature& s, const QVariant& v) { s.meaning = v.toString(); }},
    {"signed_utc", [](const Signature& s) -> QVariant { return utcText(s.signedUtc); },
     [](Signature& s, const QVariant& v) { s.signedUtc = utcOf(v); }},
    {"authenticated_by", [](const Signature& s) -> QVariant { return s.authenticatedBy; },
     [](Signature& s, const QVariant& v) { s.authenticatedBy = v.toString(); }},
    {"saved_by", [](const Signature& s) -> QVariant { return s.savedBy; },
     [](Signature& s, const QVariant& v) { s.savedBy = v.toString(); }}};
static_assert(namesTheFields(signatureColumns, signaturesTable));

// The login part of who the store says saved a row ("login@host").
QString loginOf(const QString& savedBy)
{
    const qsizetype at = savedBy.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? savedBy : savedBy.left(at);
}

// The signer's newest entry, which must list them; its name, role and entry go on the
// signature.
QSqlError takeSigner(QSqlDatabase database, Signature& signature)
{
    QSqlQuery query(database);
    QSqlError error = exec(query,
                           QStringLiteral("SELECT entry, name, role, listed FROM lab_signers WHERE "
                                          "login = ? ORDER BY entry DESC LIMIT 1"),
                           {signature.login});
    if (!error.isValid() && !query.next())
        error = query.lastError().isValid() ? query.lastError()
                                            : refused(StoreFaultKind::NotASigner, signature.login);
    else if (!error.isValid() && query.value(3).toInt() == 0)
        error = refused(StoreFaultKind::NotASigner, signature.login);
    if (error.isValid())
        return error;
    signature.signerEntry = query.value(0).toInt();
    signature.name = query.value(1).toString();
    signature.role = query.value(2).toString();
    return {};
}

// The record signed: there, its hash taken, not corrected nor issued.
QSqlError takeRecord(QSqlDatabase database, Signature& signature, QString& savedBy)
{
    QSqlQuery query(database);
    QSqlError error = exec(query, QStringLiteral("SELECT hash, saved_by FROM records WHERE id = ?"),
                           {signature.recordId});
    if (!error.isValid() && !query.next())
        error = query.lastError().isValid()
                    ? query.lastError()
                    : refused(StoreFaultKind::NoSuchRecord, signature.recordId);
    if (error.isValid())
        return error;
    signature.recordHash = query.value(0).toString();
    savedBy = query.value(1).toString();
    QVariant found;
    error = firstValue(database, QStringLiteral("SELECT id FROM records WHERE corrects = ?"),
                       {signature.recordId}, found);
    if (!error.isValid() && found.isValid())
        return refused(StoreFaultKind::SignCorrected, found.toString());
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT number FROM certificate_issues WHERE "
                                          "record_id = ?"),
                           {signature.recordId}, found);
    if (!error.isValid() && found.isValid())
        return refused(StoreFaultKind::SignIssued, found.toString());
    return error;
}

// Whether the signer signed the record already with this meaning, or would approve what they
// performed (or performed what they approved) where the laboratory does not let them.
QSqlError judgeSigner(QSqlDatabase database, const Signature& signature, const QString& savedBy)
{
    QSqlQuery query(database);
    QSqlError error = exec(query,
                           QStringLiteral("SELECT meaning FROM record_signatures WHERE "
                                          "record_id = ? AND login = ?"),
                           {signature.recordId, signature.login});
    QStringList meanings;
    while (!error.isValid() && query.next())
        meanings << query.value(0).toString();
    if (!error.isValid())
        error = query.lastError();
    if (error.isValid())
        return error;
    if (meanings.contains(signature.meaning))
        return refused(StoreFaultKind::SignedAlready, signature.meaning);
    LabSettings settings;
    if (error = readSettings(database, settings); error.isValid())
        return error;
    if (samePersonMayApprove(settings))
        return {};
    const bool approving = signature.meaning == meaningWord(Meaning::Approved);
    const bool performed =
        meanings.contains(meaningWord(Meaning::Performed)) || loginOf(savedBy) == signature.login;
    const bool performing = signature.meaning == meaningWord(Meaning::Performed);
    if ((approving && performed) ||
        (performing && meanings.contains(meaningWord(Meaning::Approved))))
        return refused(StoreFaultKind::SamePerson, signature.login);
    return {};
}

// Until when `login` is shut out at `now`: its newest failures since it last signed, three in
// a row within the time, shut it out for as long after the last; invalid where it is not.
QSqlError lockedUntil(QSqlDatabase database, const QString& login, const QDateTime& now,
                      QDateTime& until)
{
    until = {};
    QSqlQuery query(database);
    const QSqlError error =
        exec(query,
             QStringLiteral("SELECT failed_utc FROM signing_failures WHERE login = ? AND "
                            "failed_utc > coalesce((SELECT max(signed_utc) FROM record_signatures "
                            "WHERE login = ?), '') ORDER BY sequence DESC LIMIT %1")
                 .arg(signingFailuresAllowed),
             {login, login});
    QList<QDateTime> failed;
    while (!error.isValid() && query.next())
        failed << utcOf(query.value(0));
    if (error.isValid() || query.lastError().isValid())
        return error.isValid() ? error : query.lastError();
    if (failed.size() == signingFailuresAllowed &&
        failed.last().secsTo(failed.first()) <= signingLockSeconds &&
        now < failed.first().addSecs(signingLockSeconds))
        until = failed.first().addSecs(signingLockSeconds);
    return {};
}

// Refused where the login is shut out now: checked again in the signature's own transaction,
// after its password was checked, so that passwords tried at once on several terminals do not
// slip past the shutting out.
QSqlError notLockedOut(QSqlDatabase database, const Signature& signature)
{
    QDateTime until;
    const QSqlError error = lockedUntil(database, signature.login, signature.signedUtc, until);
    if (!error.isValid() && until.isValid())
        return refused(StoreFaultKind::SigningLocked,
                       until.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return error;
}

QSqlError nextSequence(QSqlDatabase database, const char* table, qint64& sequence)
{
    QVariant last;
    const QSqlError error =
        firstValue(database, QStringLiteral("SELECT max(sequence) FROM %1").arg(table), {}, last);
    sequence = last.toLongLong() + 1;
    return error;
}

QSqlError insertSignature(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                          Signature& signature)
{
    QString recordSavedBy;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, signature.signedUtc);
    if (!error.isValid())
        error = notLockedOut(database, signature);
    if (!error.isValid())
        error = takeSigner(database, signature);
    if (!error.isValid())
        error = takeRecord(database, signature, recordSavedBy);
    if (!error.isValid())
        error = judgeSigner(database, signature, recordSavedBy);
    if (!error.isValid())
        error = nextSequence(database, "record_signatures", signature.sequence);
    if (error.isValid())
        return error;
    signature.savedBy = savedBy;
    QSqlQuery query(database);
    error = exec(query,
                 QStringLiteral("INSERT INTO record_signatures (%1) VALUES (%2)")
                     .arg(columnNames<Signature>(signatureColumns),
                          placeholders<Signature>(signatureColumns)),
                 valuesOf<Signature>(signatureColumns, signature));
    return error.isValid()
               ? error
               : seal(database, dialect, signaturesTable, {{}, signature.sequence}, savedBy);
}

QSqlError insertFailure(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                        const QString& login)
{
    QDateTime now;
    qint64 sequence = 0;
    QSqlError error = serialised(database, dialect);
    if (!error.isValid())
        error = serverClock(database, dialect, now);
    if (!error.isValid())
        error = nextSequence(database, "signing_failures", sequence);
    QSqlQuery query(database);
    if (!error.isValid())
        error = exec(query,
                     QStringLiteral("INSERT INTO signing_failures (sequence, login, failed_utc, "
                                    "saved_by) VALUES (?, ?, ?, ?)"),
                     {sequence, login, utcText(now), savedBy});
    return error.isValid() ? error
                           : seal(database, dialect, signingFailuresTable, {{}, sequence}, savedBy);
}

} // namespace

QString meaningWord(Meaning meaning)
{
    switch (meaning) {
    case Meaning::Performed:
        return QStringLiteral("performed");
    case Meaning::Reviewed:
        return QStringLiteral("reviewed");
    default:
        return QStringLiteral("approved");
    }
}

std::optional<Meaning> meaningOf(const QString& word)
{
    for (const Meaning meaning : {Meaning::Performed, Meaning::Reviewed, Meaning::Approved})
        if (word == meaningWord(meaning))
            return meaning;
    return std::nullopt;
}

IssueNeeds issueNeedsOf(const LabSettings& lab)
{
    const QString set = lab.value(QStringLiteral("issue-needs"));
    return set == QLatin1String("approved")   ? IssueNeeds::Approved
           : set == QLatin1String("reviewed") ? IssueNeeds::Reviewed
                                              : IssueNeeds::None;
}

bool samePersonMayApprove(const LabSettings& lab)
{
    return lab.value(QStringLiteral("same-person-may-approve")) == QLatin1String("yes");
}

QStringList missingMeanings(IssueNeeds needs, const QList<Signature>& signatures)
{
    QStringList missing;
    const auto lacks = [&](Meaning meaning) {
        return std::none_of(signatures.begin(), signatures.end(),
                            [&](const Signature& s) { return s.meaning == meaningWord(meaning); });
    };
    if (needs != IssueNeeds::None && lacks(Meaning::Reviewed))
        missing << meaningWord(Meaning::Reviewed);
    if (needs == IssueNeeds::Approved && lacks(Meaning::Approved))
        missing << meaningWord(Meaning::Approved);
    return missing;
}

std::optional<Signature> authorisingSignature(const QList<Signature>& signatures)
{
    std::optional<Signature> found;
    for (const Meaning meaning : {Meaning::Approved, Meaning::Reviewed}) {
        for (const Signature& signature : signatures)
            if (signature.meaning == meaningWord(meaning))
                found = signature;
        if (found)
            return found;
    }
    return found;
}

StoreFailure signingLockedUntil(RecordStore& store, const QString& login, QDateTime& until)
{
    until = {};
    QDateTime now;
    if (const StoreFailure failure = store.clock(now); failure.failed())
        return failure;
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        return version < signatureVersion ? QSqlError() : lockedUntil(database, login, now, until);
    });
}

StoreFailure noteFailedSigning(RecordStore& store, const QString& login)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertFailure(database, dialect, savedBy, login);
        },
        refusalOf);
}

StoreFailure addSignature(RecordStore& store, Signature& signature)
{
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertSignature(database, dialect, savedBy, signature);
        },
        refusalOf);
}

QSqlError readSignatures(QSqlDatabase database, int version, const QString& recordId,
                         QList<Signature>& signatures)
{
    signatures.clear();
    if (version < signatureVersion)
        return {};
    QSqlQuery query(database);
    const QSqlError error =
        exec(query,
             QStringLiteral("SELECT %1 FROM record_signatures WHERE record_id = ? ORDER BY "
                            "sequence")
                 .arg(columnNames<Signature>(signatureColumns)),
             {recordId});
    while (!error.isValid() && query.next())
        signatures << rowFrom<Signature>(signatureColumns, query);
    return error.isValid() ? error : query.lastError();
}

// Who authorised the issue: where the laboratory asks for signatures, the record's approving
// signature (refused without those it asks for, or with a person typed); where it asks for
// none, the person typed, or else a signature there is.
QSqlError takeAuthorisation(QSqlDatabase database, const Record& record,
                            const LabSettings& settings, CertificateIssue& issue)
{
    QList<Signature> signatures;
    if (QSqlError error = readSignatures(database, signatureVersion, record.id, signatures);
        error.isValid())
        return error;
    // Only what was signed of the record as it is counts.
    signatures.removeIf([&](const Signature& s) { return s.recordHash != record.hash; });
    const IssueNeeds needs = issueNeedsOf(settings);
    const bool typed = !issue.issuedBy.isEmpty();
    if (needs != IssueNeeds::None && typed)
        return refused(StoreFaultKind::SignedIssue, {});
    if (const QStringList missing = missingMeanings(needs, signatures); !missing.isEmpty())
        return refused(StoreFaultKind::SignaturesMissing, missing.join(QLatin1Char(',')));
    if (typed)
        return {};
    // Nobody named, and nobody who signed to authorise it.
    const std::optional<Signature> authorising = authorisingSignature(signatures);
    if (!authorising)
        return refused(StoreFaultKind::SignaturesMissing, QStringLiteral("--by"));
    issue.issuedBy = authorising->name;
    issue.role = authorising->role;
    issue.signature = authorising->sequence;
    return {};
}

StoreFailure signaturesOf(RecordStore& store, const QString& recordId, QList<Signature>& signatures)
{
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        return readSignatures(database, version, recordId, signatures);
    });
}

} // namespace quarvet::lab
