#include "certificates.h"

#include "issuereadiness.h"
#include "labsql.h"

#include "records/chain.h"
#include "records/checkpoints.h"
#include "records/keptseals.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <optional>

namespace quarvet::lab {

using namespace records;

namespace {

using IssueColumn = TableColumn<CertificateIssue>;

// The issues' table, as the schema made it.
constexpr IssueColumn issueColumns[] = {
    {"sequence", [](const CertificateIssue& i) -> QVariant { return i.sequence; },
     [](CertificateIssue& i, const QVariant& v) { i.sequence = v.toLongLong(); }},
    {"number", [](const CertificateIssue& i) -> QVariant { return i.number; },
     [](CertificateIssue& i, const QVariant& v) { i.number = v.toString(); }},
    {"record_id", [](const CertificateIssue& i) -> QVariant { return i.recordId; },
     [](CertificateIssue& i, const QVariant& v) { i.recordId = v.toString(); }},
    {"issued_utc",
     [](const CertificateIssue& i) -> QVariant {
         return i.issuedUtc.toUTC().toString(Qt::ISODateWithMs);
     },
     [](CertificateIssue& i, const QVariant& v) {
         i.issuedUtc = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
     }},
    {"issued_by", [](const CertificateIssue& i) -> QVariant { return i.issuedBy; },
     [](CertificateIssue& i, const QVariant& v) { i.issuedBy = v.toString(); }},
    {"role", [](const CertificateIssue& i) -> QVariant { return i.role; },
     [](CertificateIssue& i, const QVariant& v) { i.role = v.toString(); }},
    {"saved_by", [](const CertificateIssue& i) -> QVariant { return i.savedBy; },
     [](CertificateIssue& i, const QVariant& v) { i.savedBy = v.toString(); }},
    {"chain_head", [](const CertificateIssue& i) -> QVariant { return i.chainHead; },
     [](CertificateIssue& i, const QVariant& v) { i.chainHead = v.toString(); }},
    {"accredited", [](const CertificateIssue& i) -> QVariant { return i.accredited ? 1 : 0; },
     [](CertificateIssue& i, const QVariant& v) { i.accredited = v.toInt() != 0; }},
    {"settings_entry", [](const CertificateIssue& i) -> QVariant { return i.settingsEntry; },
     [](CertificateIssue& i, const QVariant& v) { i.settingsEntry = v.toLongLong(); }},
    {"record_hash", [](const CertificateIssue& i) -> QVariant { return i.recordHash; },
     [](CertificateIssue& i, const QVariant& v) { i.recordHash = v.toString(); }},
    {"signature", [](const CertificateIssue& i) -> QVariant { return i.signature; },
     [](CertificateIssue& i, const QVariant& v) { i.signature = v.toLongLong(); }}};
static_assert(namesTheFields(issueColumns, issuesTable));

} // namespace

// The number the next issue takes under `settings`, refused when a certificate has it already
// (a pattern or prefix changed so that it makes an old number again).
QSqlError nextNumber(QSqlDatabase database, const LabSettings& settings, const QDateTime& when,
                     qint64& sequence, QString& number)
{
    QVariant last;
    QSqlError error = firstValue(
        database, QStringLiteral("SELECT max(sequence) FROM certificate_issues"), {}, last);
    if (error.isValid())
        return error;
    const QString pattern = settings.value(QStringLiteral("pattern"));
    sequence = last.toLongLong() + 1;
    number = certificateNumber(
        pattern.isEmpty() ? QString::fromLatin1(defaultNumberPattern) : pattern, sequence,
        // The laboratory's year, as its people date things: at 00:30 on 1 January it is the new
        // year's number, whatever the year in UTC.
        when.toLocalTime().date().year(), settings.value(QStringLiteral("prefix")));
    // A pattern and prefix that each print may make a number that does not read back: a
    // blank at its end, or two together, where the prefix is empty.
    if (number != number.trimmed() || number.contains(QStringLiteral("  ")))
        return refused(StoreFaultKind::NumberBlanks, number);
    QVariant taken;
    error = firstValue(database,
                       QStringLiteral("SELECT record_id FROM certificate_issues WHERE number = ?"),
                       {number}, taken);
    if (!error.isValid() && taken.isValid())
        return refused(StoreFaultKind::NumberTaken, number);
    return error;
}
namespace {

// Whether the record can be issued: there, not corrected, not issued yet.
QSqlError issuable(QSqlDatabase database, const QString& recordId)
{
    QVariant found;
    QSqlError error = firstValue(database, QStringLiteral("SELECT id FROM records WHERE id = ?"),
                                 {recordId}, found);
    if (!error.isValid() && !found.isValid())
        return refused(StoreFaultKind::NoSuchRecord, recordId);
    QVariant correction;
    if (!error.isValid())
        error = firstValue(database, QStringLiteral("SELECT id FROM records WHERE corrects = ?"),
                           {recordId}, correction);
    if (!error.isValid() && correction.isValid())
        return refused(StoreFaultKind::Superseded, correction.toString());
    QVariant number;
    if (!error.isValid())
        error = firstValue(database,
                           QStringLiteral("SELECT number FROM certificate_issues WHERE "
                                          "record_id = ?"),
                           {recordId}, number);
    if (!error.isValid() && number.isValid())
        return refused(StoreFaultKind::AlreadyIssued, number.toString());
    return error;
}

// What an issue takes from the laboratory as it stands: whether it claims the accreditation
// (refused where it would lack what that requires), and the settings' last entry, which every
// copy shows whatever the laboratory becomes.
QSqlError takeLaboratory(QSqlDatabase database, const Record& record, const LabSettings& settings,
                         CertificateIssue& issue)
{
    if (const QStringList gaps = issueGaps(settings, record); issue.accredited && !gaps.isEmpty())
        return refused(StoreFaultKind::NotIssuable, gaps.join(QLatin1Char(',')));
    // Issued by a laboratory that states no accreditation, it claims none, and no copy of it
    // may claim one that the laboratory states later.
    issue.accredited =
        issue.accredited && !settings.value(QStringLiteral("accreditation")).isEmpty();
    QVariant lastEntry;
    const QSqlError error =
        firstValue(database, QStringLiteral("SELECT max(entry) FROM lab_settings"), {}, lastEntry);
    issue.settingsEntry = lastEntry.toLongLong();
    return error;
}

// A file of a workstation's own is dated by its clock: one set back would date the
// certificate, and number it, before its record or the certificate issued before it.
QSqlError notBehind(QSqlDatabase database, const Record& record, const QDateTime& issuedUtc)
{
    QVariant lastIssued;
    const QSqlError error = firstValue(
        database, QStringLiteral("SELECT max(issued_utc) FROM certificate_issues"), {}, lastIssued);
    if (error.isValid())
        return error;
    // An invalid date sorts before every valid one, so a store without issues, or one whose
    // last date cannot be read, is held to its record's date alone.
    const QDateTime latest =
        std::max(record.createdUtc.toUTC(),
                 QDateTime::fromString(lastIssued.toString(), Qt::ISODateWithMs).toUTC());
    return issuedUtc < latest.addSecs(-clockSkewSeconds)
               ? refused(StoreFaultKind::IssueClockBehind, latest.toString(Qt::ISODate))
               : QSqlError();
}

// The issue kept under the chain's head as it stands in the issue's transaction, and sealed.
QSqlError keepIssue(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                    const Record& record, CertificateIssue& issue)
{
    QVariant head;
    QSqlError error = firstValue(database,
                                 QStringLiteral("SELECT hash FROM records ORDER BY %1 DESC LIMIT 1")
                                     .arg(QLatin1String(dialect.orderColumn)),
                                 {}, head);
    if (error.isValid())
        return error;
    issue.chainHead = head.toString();
    issue.savedBy = savedBy;
    issue.recordHash = record.hash;
    QSqlQuery query(database);
    error = exec(query,
                 QStringLiteral("INSERT INTO certificate_issues (%1) VALUES (%2)")
                     .arg(columnNames<CertificateIssue>(issueColumns),
                          placeholders<CertificateIssue>(issueColumns)),
                 valuesOf<CertificateIssue>(issueColumns, issue));
    return error.isValid() ? error
                           : seal(database, dialect, issuesTable, {{}, issue.sequence}, savedBy);
}

QSqlError insertIssue(QSqlDatabase database, const Dialect& dialect, const QString& savedBy,
                      const Record& record, CertificateIssue& issue)
{
    QSqlError error = serialised(database, dialect);
    // Dated by the shared database's clock, which no workstation's clock set back can move.
    if (!error.isValid())
        error = serverClock(database, dialect, issue.issuedUtc);
    if (!error.isValid())
        error = issuable(database, issue.recordId);
    if (!error.isValid())
        error = notBehind(database, record, issue.issuedUtc);
    LabSettings settings;
    if (!error.isValid())
        error = readSettings(database, settings);
    // Read in the transaction that spends the number, so that no change of the settings
    // slips between the check and the issue.
    if (!error.isValid())
        error = takeLaboratory(database, record, settings, issue);
    if (!error.isValid())
        error = takeAuthorisation(database, record, settings, issue);
    if (!error.isValid())
        error = nextNumber(database, settings, issue.issuedUtc, issue.sequence, issue.number);
    return error.isValid() ? error : keepIssue(database, dialect, savedBy, record, issue);
}
} // namespace

StoreFailure nextCertificateNumber(RecordStore& store, QString& number)
{
    number.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        LabSettings settings;
        QSqlError error = readSettings(database, settings);
        qint64 sequence = 0;
        if (!error.isValid())
            error =
                nextNumber(database, settings, QDateTime::currentDateTimeUtc(), sequence, number);
        // A number that an issue would refuse names no file: the issue says why.
        if (refusalOf(error).kind != StoreFaultKind::None) {
            number.clear();
            return QSqlError();
        }
        return error;
    });
}

QString fileNameOf(const QString& number)
{
    QString name;
    for (const QChar c : number)
        name += c.isSpace() || c.category() == QChar::Other_Control ||
                        QStringLiteral("/\\:*?\"<>|").contains(c)
                    ? QLatin1Char('-')
                    : c;
    // A name of dots alone is a folder's; one Windows keeps for a device names none there.
    static const QRegularExpression device(
        QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\.|$)"),
        QRegularExpression::CaseInsensitiveOption);
    if (name.startsWith(QLatin1Char('.')) || device.match(name).hasMatch())
        name.prepend(QLatin1Char('-'));
    // File systems take 255 bytes a name: room is left for "-copy.pdf".
    while (name.toUtf8().size() > 240)
        name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    return name;
}

bool validNumberPattern(const QString& pattern)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{([^}]*)\\}"));
    int sequences = 0;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(pattern)) {
        static const QRegularExpression known(
            QStringLiteral("^(year|prefix|seq|seq:([1-9]|1[0-2]))$"));
        if (!known.match(match.captured(1)).hasMatch())
            return false;
        sequences += match.captured(1).startsWith(QLatin1String("seq")) ? 1 : 0;
    }
    // Braces that open no placeholder would be read as one by a later version.
    QString rest = pattern;
    rest.remove(placeholder);
    return sequences == 1 && !rest.contains(QLatin1Char('{')) && !rest.contains(QLatin1Char('}'));
}

QString certificateNumber(const QString& pattern, qint64 sequence, int year, const QString& prefix)
{
    static const QRegularExpression placeholder(
        QStringLiteral("\\{(year|prefix|seq)(?::(\\d+))?\\}"));
    QString number;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(pattern)) {
        number += pattern.mid(from, match.capturedStart() - from);
        const QString name = match.captured(1);
        if (name == QLatin1String("year"))
            number += QString::number(year);
        else if (name == QLatin1String("prefix"))
            number += prefix;
        else
            number +=
                QStringLiteral("%1").arg(sequence, match.captured(2).toInt(), 10, QLatin1Char('0'));
        from = match.capturedEnd();
    }
    return number + pattern.mid(from);
}

namespace {

// The record of `id`, read whole; none when the store does not hold it.
StoreFailure recordOf(RecordStore& store, const QString& id, std::optional<Record>& record)
{
    QList<Record> found;
    RecordFilter filter = RecordFilter::ofIdPrefix(id);
    filter.limit = 1;
    const StoreFailure failure = store.list(filter, found);
    record = found.isEmpty() || found[0].id != id ? std::nullopt : std::optional(found[0]);
    return failure;
}

// For a correction: the line of records it corrects, back to the first, with their issues.
StoreFailure amendmentOf(RecordStore& store, const Record& record, CertificateStatus& status)
{
    status.calibrated = record.createdUtc.toLocalTime().date();
    QString id = record.corrects;
    for (int step = 0; !id.isEmpty() && step < 10000; ++step) {
        std::optional<Record> corrected;
        std::optional<CertificateIssue> issue;
        StoreFailure failure = recordOf(store, id, corrected);
        if (!failure.failed() && corrected)
            failure = readIssue(store, id, issue);
        if (failure.failed() || !corrected)
            return failure;
        // Only certificates issued count: the nearest replaced, the first amended.
        if (issue) {
            ++status.amendment;
            if (status.replaces.isEmpty()) {
                status.replaces = issue->number;
                status.replacedRecord = corrected;
            }
            status.amends = issue->number;
        }
        status.calibrated = corrected->createdUtc.toLocalTime().date();
        id = corrected->corrects;
    }
    return {};
}

} // namespace

StoreFailure calibrationOf(RecordStore& store, const QString& corrects, RecordInput& input)
{
    input.calibrated = QDate();
    input.calibratedUtc = QDateTime();
    QString id = corrects;
    for (int step = 0; step < 10000 && !id.isEmpty(); ++step) {
        std::optional<Record> record;
        if (const StoreFailure failure = recordOf(store, id, record); failure.failed() || !record)
            return failure;
        input.calibratedUtc = record->createdUtc.toUTC();
        input.calibrated = record->createdUtc.toLocalTime().date();
        id = record->corrects;
    }
    return {};
}

StoreFailure customersUsed(RecordStore& store, QStringList& customers, int most)
{
    customers.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < registerVersion)
            return QSqlError();
        QSqlQuery query(database);
        const QSqlError error =
            exec(query,
                 QStringLiteral("SELECT DISTINCT customer FROM records WHERE customer IS NOT NULL "
                                "AND customer <> '' ORDER BY customer LIMIT %1")
                     .arg(most),
                 {});
        while (!error.isValid() && query.next())
            customers << query.value(0).toString();
        return error.isValid() ? error : query.lastError();
    });
}

StoreFailure lastMethod(RecordStore& store, QString& method)
{
    method.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
        if (version < registerVersion)
            return QSqlError();
        QVariant value;
        const QSqlError error = firstValue(
            database,
            QStringLiteral("SELECT method FROM records WHERE method IS NOT NULL AND method <> '' "
                           "ORDER BY created_utc DESC, %1 DESC LIMIT 1")
                .arg(QLatin1String(dialect.orderColumn)),
            {}, value);
        method = value.toString();
        return error;
    });
}

StoreFailure certificateStatus(RecordStore& store, const Record& record,
                               const QStringList& correctedBy, CertificateStatus& status)
{
    StoreFailure failure = readIssue(store, record.id, status.issue);
    if (!failure.failed() && !correctedBy.isEmpty()) {
        std::optional<CertificateIssue> correction;
        failure = readIssue(store, correctedBy.first(), correction);
        status.supersededBy =
            correction ? correction->number
                       : QStringLiteral("of record %1 (not yet issued)").arg(correctedBy.first());
    }
    if (!failure.failed())
        failure = readLabSettings(store, status.lab,
                                  status.issue ? status.issue->settingsEntry : qint64(0));
    if (!failure.failed())
        failure = amendmentOf(store, record, status);
    if (!failure.failed())
        failure = signaturesOf(store, record.id, status.signatures);
    // What was signed of another record, or of this one before a change, is no signature here.
    status.signatures.removeIf([&](const Signature& s) { return s.recordHash != record.hash; });
    return failure;
}

QString amendmentText(const CertificateStatus& status)
{
    QString said =
        QStringLiteral("Amendment %1 to certificate %2").arg(status.amendment).arg(status.amends);
    if (status.replaces != status.amends)
        said += QStringLiteral("; it replaces certificate %1").arg(status.replaces);
    return said;
}

QStringList issueGaps(const LabSettings& lab, const Record& record)
{
    if (lab.value(QStringLiteral("accreditation")).isEmpty())
        return {};
    QStringList gaps;
    for (const char* setting : {"name", "address"})
        if (lab.value(QLatin1String(setting)).trimmed().isEmpty())
            gaps << QLatin1String(setting);
    if (record.method.trimmed().isEmpty())
        gaps << QStringLiteral("method");
    if (record.referenceSource != QLatin1String("register"))
        gaps << QStringLiteral("reference");
    if (!record.ambient)
        gaps << QStringLiteral("ambient");
    // A record kept before results had budgets reports no U at all.
    bool everyU = record.setUp.has_value();
    for (const QString* points : {&record.asFoundPoints, &record.asLeftPoints})
        for (const records::PointResult& point : records::readPoints(*points))
            everyU = everyU && point.U > 0.0;
    if (!everyU)
        gaps << QStringLiteral("u");
    return gaps;
}

StoreFailure issueCertificate(RecordStore& store, Record& record, CertificateIssue& issue)
{
    // A certificate names the chain's head: none is issued, and no number spent, while the
    // chain, a seal or an issue is found broken, or the record itself no longer gives its
    // hash. The walk goes on from where one before found the store whole (its place, count,
    // seal and issue checked first), so that a lab of ten years issues as fast as a new one;
    // a row changed before that place is found by records verify and Check store, which walk
    // every record.
    ChainReport report;
    if (const StoreFailure failure = checkChainOnward(store, report); failure.failed())
        return failure;
    if (!report.chained)
        if (const StoreFailure failure = upgradeFor(store, record); failure.failed())
            return failure;
    QString broken = report.chained && !report.whole() ? firstBreak(report) : QString();
    if (broken.isEmpty() && report.chained && recordHash(record) != record.hash)
        broken = QStringLiteral("record ") + record.id;
    if (broken.isEmpty() && report.chained)
        if (const StoreFailure failure = linksAround(store, record, broken); failure.failed())
            return failure;
    if (!broken.isEmpty()) {
        StoreFault fault = storeFault(StoreFaultKind::ChainBroken, broken);
        fault.location = store.location();
        return StoreFailure(std::move(fault));
    }
    return store.change(
        [&](QSqlDatabase database, const Dialect& dialect, const QString& savedBy) {
            return insertIssue(database, dialect, savedBy, record, issue);
        },
        refusalOf);
}

namespace {

// The issue whose `field` (record_id or number) is `value`, in a store of `version`.
QSqlError issueWhere(QSqlDatabase database, int version, const char* field, const QString& value,
                     std::optional<CertificateIssue>& issue)
{
    issue.reset();
    if (version < registerVersion)
        return QSqlError();
    // A store that has not been upgraded is read as it is: its issues carry the claim.
    const auto held =
        std::span<const IssueColumn>(issueColumns).first(fieldsAt(issuesTable, version));
    QSqlQuery query(database);
    const QSqlError error = exec(query,
                                 QStringLiteral("SELECT %1 FROM certificate_issues WHERE %2 = ?")
                                     .arg(columnNames<CertificateIssue>(held), field),
                                 {value});
    if (!error.isValid() && query.next())
        issue = rowFrom<CertificateIssue>(held, query);
    return error.isValid() ? error : query.lastError();
}

// Whether `head` is the chain's head now, or the hash of a record the one saved after it
// links to, saved after the record at `order`: a head the chain passed through at or after
// that record.
QSqlError headAfter(QSqlDatabase database, const Dialect& dialect, const QString& head,
                    qint64 order, bool& inChain)
{
    const QString column = QLatin1String(dialect.orderColumn);
    QVariant last;
    QSqlError error = firstValue(
        database, QStringLiteral("SELECT hash FROM records ORDER BY %1 DESC LIMIT 1").arg(column),
        {}, last);
    inChain = !head.isEmpty() && last.toString() == head;
    QVariant next;
    if (!error.isValid() && !inChain)
        error = firstValue(
            database, QStringLiteral("SELECT %1 FROM records WHERE previous_hash = ?").arg(column),
            {head}, next);
    inChain = inChain || (next.isValid() && next.toLongLong() > order);
    return error;
}

// What the store holds of the certificate's record: none, changed, or with the certificate's
// head in its chain; and whether a correction supersedes it.
QSqlError judgeRecord(QSqlDatabase database, const Dialect& dialect, const CertificateMark& mark,
                      CertificateFinding& finding)
{
    using Kind = CertificateFinding::Kind;
    QSqlQuery query(database);
    QSqlError error =
        exec(query,
             QStringLiteral("SELECT hash, %1, (SELECT c.id FROM records c WHERE c.corrects = r.id "
                            "ORDER BY c.created_utc DESC LIMIT 1) FROM records r WHERE id = ?")
                 .arg(QLatin1String(dialect.orderColumn)),
             {mark.recordId});
    if (error.isValid() || !query.next())
        return finding.kind = Kind::NoRecord, error.isValid() ? error : query.lastError();
    finding.supersededBy = query.value(2).toString();
    if (query.value(0).toString() != mark.recordHash)
        return finding.kind = Kind::RecordChanged, QSqlError();
    bool inChain = false;
    error = headAfter(database, dialect, mark.chainHead, query.value(1).toLongLong(), inChain);
    if (!inChain)
        finding.kind = Kind::HeadNotInChain;
    return error;
}

} // namespace

StoreFailure readIssue(RecordStore& store, const QString& recordId,
                       std::optional<CertificateIssue>& issue)
{
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        return issueWhere(database, version, "record_id", recordId, issue);
    });
}

CertificateMark markOf(const Record& record, const QString& chainHead,
                       const CertificateStatus& status)
{
    CertificateMark mark;
    mark.kind = !status.issue ? QStringLiteral("draft")
                : status.copy ? QStringLiteral("copy")
                              : QStringLiteral("issued");
    mark.number = status.issue ? status.issue->number : QString();
    mark.recordId = record.id;
    mark.recordHash = record.hash;
    mark.chainHead = chainHead;
    return mark;
}

bool sameNumberAsPrinted(const QString& a, const QString& b)
{
    const auto printed = [](const QString& number) {
        QString folded = number.normalized(QString::NormalizationForm_KC);
        folded.removeIf([](QChar c) { return c.isSpace(); });
        return folded;
    };
    return printed(a) == printed(b);
}

bool sameMarkAsPrinted(const CertificateMark& page, const CertificateMark& metadata)
{
    return page.kind == metadata.kind && page.recordId == metadata.recordId &&
           page.recordHash == metadata.recordHash && page.chainHead == metadata.chainHead &&
           sameNumberAsPrinted(page.number, metadata.number);
}

StoreFailure checkCertificate(RecordStore& store, const CertificateMark& mark,
                              CertificateFinding& finding)
{
    using Kind = CertificateFinding::Kind;
    // A store with nothing to read (no file yet, no tables) holds no such record.
    finding = {};
    finding.kind = Kind::NoRecord;
    return store.inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
        if (version < chainVersion)
            return QSqlError();
        finding.kind = Kind::Holds;
        QSqlError error = judgeRecord(database, dialect, mark, finding);
        if (error.isValid() || finding.kind != Kind::Holds || mark.kind == QLatin1String("draft"))
            return error;
        // Found by its record, whose id the page gives exactly; its number as printed.
        error = issueWhere(database, version, "record_id", mark.recordId, finding.issue);
        if (!error.isValid() && !finding.issue)
            finding.kind = Kind::NotIssued;
        else if (!error.isValid() && (!sameNumberAsPrinted(finding.issue->number, mark.number) ||
                                      finding.issue->chainHead != mark.chainHead))
            finding.kind = Kind::IssuedOtherwise;
        return error;
    });
}
} // namespace quarvet::lab
