#include "storemessages.h"
#include "signingmessages.h"

#include "calc/utf8text.h"

#include <QDir>

namespace quarvet::messages {
namespace {

using records::StoreFault;
using records::StoreFaultKind;

QString store(const StoreFault& fault)
{
    return fault.database ? QStringLiteral("record database") : QStringLiteral("record file");
}

QString damageOf(const StoreFault& fault)
{
    switch (fault.damage) {
    case records::Damage::IntegrityCheck:
        return QStringLiteral("its integrity check failed");
    case records::Damage::LostReadings:
        return QStringLiteral("%1 verification readings belong to no record").arg(fault.count);
    default:
        return QStringLiteral("the database found a damaged page: %1").arg(fault.detail.trimmed());
    }
}

// What another program or workstation, or the store's owner, must do first.
QString waitingRefusalOf(const StoreFault& fault, const QString& subject)
{
    switch (fault.kind) {
    case StoreFaultKind::Locked:
        if (fault.database && !fault.holder.isEmpty())
            return subject + QStringLiteral("is busy: the lock that issues and changes of the "
                                            "register and settings take is held by %1; waited "
                                            "15 s. Try again when it is done; if it is "
                                            "held for good, the database's administrator can "
                                            "end that session.")
                                 .arg(fault.holder);
        return fault.database
                   ? subject + QStringLiteral("is busy: another workstation is saving or holds "
                                              "a lock; waited 15 s. Try again when it is done.")
                   : subject + QStringLiteral("is held by another program (locked); waited "
                                              "10 s. Try again when it is done.");
    case StoreFaultKind::Unfinished:
        return subject + QStringLiteral("holds a transaction another program never finished "
                                        "(the journal %1-journal beside it); it was left as it "
                                        "is. Open it with that program to finish it.")
                             .arg(fault.location);
    case StoreFaultKind::Upgrading:
        return subject + QStringLiteral("is being brought up to date by this program (another "
                                        "run of it, saving a record); it was left as it is. Try "
                                        "again when that is done.");
    case StoreFaultKind::OwnerMustUpgrade:
        return subject + QStringLiteral("must be brought up to this program's schema by the "
                                        "owner of its tables: run quarvet-cli records grant ROLE "
                                        "as the owner.");
    default:
        return {};
    }
}

// What the store is found to be, as said of it: "The record file X is no database".
QString refusalOf(const StoreFault& fault)
{
    const QString subject = QStringLiteral("The %1 %2 ").arg(store(fault), fault.location);
    switch (fault.kind) {
    case StoreFaultKind::NotAFile:
        return subject + QStringLiteral("is no file.");
    case StoreFaultKind::NotADatabase:
        return subject + QStringLiteral("is no database.");
    case StoreFaultKind::Unreadable:
        return subject + QStringLiteral("cannot be read: %1.").arg(fault.detail.trimmed());
    case StoreFaultKind::Foreign:
        return subject + QStringLiteral("holds tables of another program.");
    case StoreFaultKind::Altered:
        return subject + QStringLiteral("has been altered by another program: its tables, "
                                        "indexes or triggers are not this program's.");
    case StoreFaultKind::Newer:
        return subject + QStringLiteral("was written by a newer program (schema %1; this "
                                        "program knows %2).")
                             .arg(fault.version)
                             .arg(fault.known);
    case StoreFaultKind::Damaged:
        return subject + QStringLiteral("is damaged (%1).").arg(damageOf(fault));
    default:
        return waitingRefusalOf(fault, subject);
    }
}

// What the store's own permissions and roles stood in the way of.
QString permissionFailureOf(const StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::ReadOnlyCompanion:
        return QStringLiteral("The record file %1 cannot be written: the file %2 beside it may "
                              "not be written (left, perhaps, by a reading while the store was "
                              "read-only). Remove it when no program has the store open.")
            .arg(fault.location, detail);
    case StoreFaultKind::ReadOnlyUnmerged:
        return QStringLiteral("The record file %1 may not be written by this user, and its log "
                              "%1-wal holds records not yet merged into it: reading it would "
                              "leave a file beside it that blocks later saves. Let its owner "
                              "open it once (quarvet-cli records list), or make it writable.")
            .arg(fault.location);
    case StoreFaultKind::NotOwner:
        return QStringLiteral("Nothing was granted in the record database %1: only the owner of "
                              "its tables may grant; run quarvet-cli records grant ROLE as the "
                              "owner.")
            .arg(fault.location);
    case StoreFaultKind::NoRoles:
        return QStringLiteral("The record file %1 has no roles to grant anything to: it is its "
                              "user's alone. Roles belong to a shared PostgreSQL database "
                              "(QUARVET_DATABASE).")
            .arg(fault.location);
    case StoreFaultKind::NoSuchRole:
        return QStringLiteral("The record database %1 has no role named %2: make it first "
                              "(CREATE ROLE ... LOGIN).")
            .arg(fault.location, detail);
    default:
        return {};
    }
}

// What an accredited certificate lacks, each gap as `issueGaps` names it, in one sentence.
QString issueGapsText(const QStringList& gaps)
{
    static const QMap<QString, QString> words{
        {QStringLiteral("name"), QStringLiteral("the laboratory's name (lab set --name)")},
        {QStringLiteral("address"), QStringLiteral("the laboratory's address (lab set --address)")},
        {QStringLiteral("method"), QStringLiteral("the method of calibration")},
        {QStringLiteral("reference"),
         QStringLiteral("a reference standard from the register (a typed one states no "
                        "traceability)")},
        {QStringLiteral("ambient"), QStringLiteral("the ambient conditions")},
        {QStringLiteral("u"), QStringLiteral("an expanded uncertainty above 0 at every result")}};
    QStringList said;
    for (const QString& gap : gaps)
        said << words.value(gap, gap);
    return QStringLiteral("The certificate was not issued, and no number was spent: a "
                          "certificate that claims the laboratory's accreditation must state "
                          "%1. Record what is missing (a correction of the record, or lab set), "
                          "or issue it without the accreditation claim.")
        .arg(said.join(QStringLiteral("; ")));
}

// What a clock behind, a date after the store's today, or an issue's number stood in the way
// of.
QString dateOrNumberFailureOf(const StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::NumberTaken:
        return QStringLiteral("The certificate number %1 was issued already, and the laboratory's "
                              "number pattern would make it again: choose a pattern or prefix "
                              "that makes new numbers (quarvet-cli lab set --pattern).")
            .arg(detail);
    case StoreFaultKind::NumberBlanks:
        return QStringLiteral("The laboratory's pattern and prefix make the certificate number "
                              "\"%1\", with a blank at its end or two together, which does not "
                              "read back from its page as written: choose a pattern or prefix "
                              "that makes one without (quarvet-cli lab set --pattern).")
            .arg(fault.detail);
    case StoreFaultKind::IssueClockBehind:
        return QStringLiteral("No certificate was issued from %1: this computer's clock is more "
                              "than five minutes behind %2, the date of the record or of the last "
                              "certificate issued. Set the clock right and issue again.")
            .arg(fault.location, detail);
    case StoreFaultKind::NotYetCalibrated:
        return QStringLiteral("The reference's calibration, %1, lies after today as the store's "
                              "clock has it, %2: its calibration must lie between 1900 and today.")
            .arg(detail.section(QLatin1Char(' '), 0, 0), detail.section(QLatin1Char(' '), 1, 1));
    case StoreFaultKind::ClockBehind:
        return QStringLiteral("The record was not saved in %1: this computer's clock is more than "
                              "five minutes behind the last record's date, %2. Set the clock "
                              "right and save again.")
            .arg(fault.location, detail);
    default:
        return permissionFailureOf(fault);
    }
}

// The faults met before anything could be looked at, or while writing or reading.
// What the register and the issue of certificates stood in the way of.
QString issueFailureOf(const StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::NoSuchRecord:
        return QStringLiteral("No record %1 is kept in %2.").arg(detail, fault.location);
    case StoreFaultKind::AlreadyIssued:
        return QStringLiteral("The certificate of this record was issued already, as number %1; "
                              "print it again as a copy (quarvet-cli records certificate).")
            .arg(detail);
    case StoreFaultKind::Superseded:
        return QStringLiteral("The record has been corrected by record %1: issue the "
                              "certificate of the correction instead.")
            .arg(detail);
    case StoreFaultKind::NoSuchReference:
        return QStringLiteral("The register in %1 holds no reference standard %2.")
            .arg(fault.location, detail);
    case StoreFaultKind::NotIssued:
        return QStringLiteral("The certificate of record %1 has not been issued.").arg(detail);
    case StoreFaultKind::NotIssuable:
        return issueGapsText(detail.split(QLatin1Char(',')));
    case StoreFaultKind::ChainBroken:
        return QStringLiteral("The store %1 is broken, first at %2 (quarvet-cli records verify "
                              "says how): no certificate is issued, and no number spent, while "
                              "it is.")
            .arg(fault.location, detail);
    default: {
        const QString signing = signingFailureOf(fault);
        return signing.isEmpty() ? dateOrNumberFailureOf(fault) : signing;
    }
    }
}

QString failureOf(const StoreFault& fault)
{
    const QString detail = fault.detail.trimmed();
    switch (fault.kind) {
    case StoreFaultKind::NoPlace:
        return QStringLiteral("There is no place for the record file: neither XDG_DATA_HOME "
                              "nor HOME names an absolute folder.");
    case StoreFaultKind::BadAddress:
        return QStringLiteral("The record database named by %1 cannot be used: %2. Use "
                              "postgresql://user@host:port/dbname.")
            .arg(fault.location, detail);
    case StoreFaultKind::NoFolder:
        return QStringLiteral("The folder of the record file %1 cannot be made.")
            .arg(fault.location);
    case StoreFaultKind::CannotOpen:
        return QStringLiteral("The record file %1 cannot be opened: %2")
            .arg(fault.location, detail);
    case StoreFaultKind::Unreachable:
        return QStringLiteral("The record database %1 cannot be reached: %2")
            .arg(fault.location, detail);
    case StoreFaultKind::Unwritable:
        return QStringLiteral("The %1 %2 cannot be written: %3")
            .arg(store(fault), fault.location, detail);
    case StoreFaultKind::NotSaved:
        return QStringLiteral("The record was not saved in %1: %2").arg(fault.location, detail);
    case StoreFaultKind::AlreadyCorrected:
        return QStringLiteral("The record was not saved in %1: record %2 has been corrected "
                              "already, perhaps from another window or workstation; correct that "
                              "correction instead (History, Reload).")
            .arg(fault.location, detail);
    case StoreFaultKind::NotRead:
        return QStringLiteral("The records in %1 cannot be read: %2").arg(fault.location, detail);
    default:
        return issueFailureOf(fault);
    }
}

// Why an output did not reach its file, without a full stop.
QString outputReason(const records::OutputFault& fault)
{
    using records::OutputFaultKind;
    switch (fault.kind) {
    case OutputFaultKind::LinkToNothing:
        return QStringLiteral("it is a link to nothing");
    case OutputFaultKind::Folder:
        return QStringLiteral("it is a folder");
    case OutputFaultKind::NotPlainFile:
        return QStringLiteral("it is no plain file (a device, a pipe or a socket)");
    case OutputFaultKind::RecordStore:
        return QStringLiteral("it is one of the record store's own files, %1, which hold every "
                              "record; nothing was changed")
            .arg(fault.detail);
    case OutputFaultKind::NotAsSaved:
        return QStringLiteral("the record's fields do not give its hash: it was changed after "
                              "it was saved (quarvet-cli records verify names what changed), so "
                              "no certificate is written for it");
    case OutputFaultKind::NoGraphics:
        return QStringLiteral("fonts are not available without a running graphical application");
    case OutputFaultKind::WriterFailed:
        return QStringLiteral("the PDF writer did not start");
    case OutputFaultKind::PageUnfinished:
        return QStringLiteral("the PDF writer could not finish the page");
    default: {
        QString reason = fault.detail.trimmed();
        while (reason.endsWith(u'.'))
            reason.chop(1);
        return reason;
    }
    }
}

} // namespace

QString certificateFault(const records::OutputFault& fault)
{
    if (!fault.failed())
        return {};
    return QStringLiteral("The certificate could not be written to “%1”: %2.")
        .arg(QDir::toNativeSeparators(fault.path), outputReason(fault));
}

QString exportFault(const records::OutputFault& fault)
{
    if (!fault.failed())
        return {};
    return QStringLiteral("The records could not be written to %1: %2.")
        .arg(fault.path, outputReason(fault));
}

QString dccFault(const records::OutputFault& fault)
{
    if (!fault.failed())
        return {};
    return QStringLiteral("The DCC could not be written to %1: %2.")
        .arg(fault.path, outputReason(fault));
}

QString historyFault(const records::OutputFault& fault)
{
    if (!fault.failed())
        return {};
    return QStringLiteral("The instrument's history could not be written to %1: %2.")
        .arg(fault.path, outputReason(fault));
}

QString idPrefixFault(qsizetype count, const QString& prefix)
{
    if (count == 0)
        return QStringLiteral("No record has an id beginning with %1.").arg(prefix);
    Q_UNUSED(count);
    return QStringLiteral("More than one record has an id beginning with %1: give more of it.")
        .arg(prefix);
}

QString shortHash(const QString& hash)
{
    return hash.left(16);
}

namespace {

QString recordNamed(const records::Record& record)
{
    return QStringLiteral("Record %1 (saved %2, serial number %3)")
        .arg(record.id, record.createdUtc.toString(Qt::ISODate), record.serial);
}

QString breakOf(const records::ChainBreak& broken)
{
    using Kind = records::ChainBreak::Kind;
    const QString record = recordNamed(broken.record);
    switch (broken.kind) {
    case Kind::Changed:
        // A record slipped in with a hash of its own making, which the next save linked to,
        // cannot be told from one changed afterwards.
        return record + QStringLiteral(" was changed after it was saved, or inserted with a "
                                       "forged hash: its fields do not give its hash.");
    case Kind::Removed:
        return QStringLiteral("A record was removed before this one: ") + record +
               QStringLiteral(" links to a record the store no longer holds.");
    case Kind::Backwards:
        return record + QStringLiteral(" is dated more than five minutes before the record saved "
                                       "before it: it was saved under a clock set back, or its "
                                       "date was changed.");
    default:
        return record + (broken.record.hash.isEmpty()
                             ? QStringLiteral(" was inserted outside this program: it has no "
                                              "hash.")
                             : QStringLiteral(" was inserted outside this program: the chain "
                                              "passes it by, or its hash is forged."));
    }
}

// A kept table as people call it.
QString keptTableWords(const QString& table)
{
    if (table == QLatin1String("reference_standards"))
        return QStringLiteral("the register of reference standards");
    if (table == QLatin1String("lab_settings"))
        return QStringLiteral("the laboratory's settings");
    if (table == QLatin1String("certificate_issues"))
        return QStringLiteral("the issues of certificates");
    if (table == QLatin1String("store_notes"))
        return QStringLiteral("the store's notes");
    if (table == QLatin1String("lab_signers"))
        return QStringLiteral("the laboratory's signers");
    if (table == QLatin1String("record_signatures"))
        return QStringLiteral("the signatures on records");
    if (table == QLatin1String("signing_failures"))
        return QStringLiteral("the failed attempts to sign");
    if (table == QLatin1String("instruments"))
        return QStringLiteral("the register of instruments");
    return QStringLiteral("the table ") + table;
}

// The row a seal names, as people call it.
QString keptRowWords(const records::KeptBreak& broken)
{
    const QString number = QString::number(broken.key.number);
    if (broken.table == QLatin1String("reference_standards"))
        return QStringLiteral("Entry %1 of reference standard %2 in the register")
            .arg(number, broken.key.text);
    if (broken.table == QLatin1String("lab_settings"))
        return QStringLiteral("Entry %1 of the laboratory's settings").arg(number);
    if (broken.table == QLatin1String("certificate_issues"))
        return QStringLiteral("Issue %1 of the issues of certificates").arg(number);
    if (broken.table == QLatin1String("lab_signers"))
        return QStringLiteral("Entry %1 of signer %2").arg(number, broken.key.text);
    if (broken.table == QLatin1String("record_signatures"))
        return QStringLiteral("Signature %1 of the signatures on records").arg(number);
    if (broken.table == QLatin1String("signing_failures"))
        return QStringLiteral("Failed attempt %1 to sign").arg(number);
    if (broken.table == QLatin1String("instruments"))
        return QStringLiteral("Entry %1 of the register of instruments").arg(number);
    return QStringLiteral("The store's note of %1").arg(broken.key.text);
}

QString keptBreakOf(const records::KeptBreak& broken)
{
    using Kind = records::KeptBreak::Kind;
    switch (broken.kind) {
    case Kind::Changed:
        return keptRowWords(broken) +
               QStringLiteral(" does not give its seal %1, kept by %2: the row was changed after "
                              "it was kept, or the seal written outside this program.")
                   .arg(broken.position)
                   .arg(QString::fromStdString(calc::printable(broken.sealedBy.toStdString())));
    case Kind::Removed:
        return keptRowWords(broken) +
               QStringLiteral(" is sealed (seal %1, kept by %2) but not there: the row was "
                              "removed, or the seal written outside this program.")
                   .arg(broken.position)
                   .arg(QString::fromStdString(calc::printable(broken.sealedBy.toStdString())));
    case Kind::NotItsRecord:
        return keptRowWords(broken) +
               QStringLiteral(" (seal %1) signed a record that is not there or no longer has the "
                              "hash signed: the signature was carried to another record, or the "
                              "record changed.")
                   .arg(broken.position);
    case Kind::Unsealed:
        return (broken.count == 1
                    ? QStringLiteral("%1 row that no seal names was added to %2 outside this "
                                     "program.")
                    : QStringLiteral("%1 rows that no seal names were added to %2 outside this "
                                     "program."))
            .arg(broken.count)
            .arg(keptTableWords(broken.table));
    default:
        return QStringLiteral("The seals of the rows kept beside the records are broken at seal "
                              "%1: one was removed, changed or added outside this program.")
            .arg(broken.position);
    }
}

QString issueBreakOf(const records::IssueBreak& broken)
{
    using Kind = records::IssueBreak::Kind;
    const QString certificate = broken.number;
    const QString record = broken.recordId;
    switch (broken.kind) {
    case Kind::NoRecord:
        return QStringLiteral("Certificate %1 was issued for record %2, which the store no "
                              "longer holds.")
            .arg(certificate, record);
    case Kind::RecordChanged:
        return QStringLiteral("Certificate %1 was issued for record %2 with another hash: the "
                              "record was changed after it was issued.")
            .arg(certificate, record);
    default:
        return QStringLiteral("Certificate %1 names the chain head %2, which is neither its "
                              "record's hash nor a later record's: the records were rewritten "
                              "after it was issued.")
            .arg(certificate, shortHash(broken.chainHead));
    }
}

QString witnessBreakOf(const records::WitnessBreak& broken)
{
    const QString witnessed =
        QStringLiteral("the witness of %1 saw %2 %3 ending in head %4; ")
            .arg(broken.witness.noted)
            .arg(broken.witness.count)
            .arg(broken.witness.count == 1 ? QStringLiteral("record") : QStringLiteral("records"))
            .arg(shortHash(broken.witness.head));
    if (broken.found.isEmpty())
        return witnessed + QStringLiteral("the store holds fewer records now: records were "
                                          "removed after it.");
    return witnessed + QStringLiteral("record %1 of the store has the hash %2: the records were "
                                      "rewritten after it.")
                           .arg(broken.witness.count)
                           .arg(shortHash(broken.found));
}

// Every finding beside a chain that is whole in itself, the first of each kind.
QStringList findingsBeside(const records::ChainReport& report)
{
    QStringList found;
    if (report.backwards)
        found << breakOf(*report.backwards);
    if (report.witnessBroken)
        found << witnessBreakOf(*report.witnessBroken);
    if (report.issueBroken)
        found << issueBreakOf(*report.issueBroken);
    if (report.keptBroken)
        found << keptBreakOf(*report.keptBroken);
    return found;
}

} // namespace

QString chainReport(const records::ChainReport& report, const QString& location)
{
    if (!report.chained)
        return QStringLiteral("The record store %1 keeps no hash chain yet (schema %2): the next "
                              "save chains its %3 %4.")
            .arg(location)
            .arg(report.notes.version)
            .arg(report.count)
            .arg(report.count == 1 ? QStringLiteral("record") : QStringLiteral("records"));
    if (!report.broken && report.notes.orphanReadings > 0)
        return (report.notes.orphanReadings == 1
                    ? QStringLiteral("Chain broken: %1 reading belongs to no record in the store: "
                                     "the record it was saved with was removed.")
                    : QStringLiteral("Chain broken: %1 readings belong to no record in the store: "
                                     "the record they were saved with was removed."))
            .arg(report.notes.orphanReadings);
    if (report.broken)
        return (report.intact == 1 ? QStringLiteral("Chain broken: the first record is intact. ")
                                   : QStringLiteral("Chain broken: the first %1 records are "
                                                    "intact. ")
                                         .arg(report.intact)) +
               breakOf(*report.broken);
    if (const QStringList found = findingsBeside(report); !found.isEmpty())
        return QStringLiteral("Not intact: ") + found.join(QLatin1Char(' '));
    if (report.resumedAfter > 0)
        return QStringLiteral("%1 %2, chain intact, head %3 (the first %4 %5 found intact by a "
                              "walk before; Check store walks them all again)")
            .arg(report.count)
            .arg(report.count == 1 ? QStringLiteral("record") : QStringLiteral("records"))
            .arg(shortHash(report.head))
            .arg(report.resumedAfter)
            .arg(report.resumedAfter == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    return (report.count == 1 ? QStringLiteral("%1 record, chain intact, head %2")
                              : QStringLiteral("%1 records, chain intact, head %2"))
        .arg(report.count)
        .arg(report.count == 0 ? QString(16, QLatin1Char('0')) : shortHash(report.head));
}

QString storeFault(const StoreFault& fault)
{
    if (!fault.failed())
        return {};
    if (const QString refused = refusalOf(fault); !refused.isEmpty())
        return fault.saving ? refused + QStringLiteral(" Nothing was written to it.") : refused;
    return failureOf(fault);
}

// What the store's answer to a certificate's mark means; empty when it holds.
QString certificateContradiction(const lab::CertificateMark& mark,
                                 const lab::CertificateFinding& finding)
{
    using Kind = lab::CertificateFinding::Kind;
    switch (finding.kind) {
    case Kind::NoRecord:
        return QStringLiteral("The store holds no record %1: the certificate is another "
                              "store's, or its record was removed.")
            .arg(mark.recordId);
    case Kind::RecordChanged:
        return QStringLiteral("Record %1 in the store is not the one the certificate was "
                              "written from: its hash differs, so it was changed since.")
            .arg(mark.recordId);
    case Kind::HeadNotInChain:
        return QStringLiteral("The chain head %1 the certificate names is not in the store's "
                              "chain at or after its record: the records were rewritten since.")
            .arg(mark.chainHead.left(16));
    case Kind::NotIssued:
        return QStringLiteral("The store holds no issue of certificate %1: its record %2 was "
                              "never issued.")
            .arg(mark.number, mark.recordId);
    case Kind::IssuedOtherwise:
        return QStringLiteral("The store issued record %1 as certificate %2 under chain head %3, "
                              "not as certificate %4 under %5.")
            .arg(mark.recordId, finding.issue ? finding.issue->number : QString(),
                 finding.issue ? shortHash(finding.issue->chainHead) : QString(), mark.number,
                 shortHash(mark.chainHead));
    default:
        return {};
    }
}

} // namespace quarvet::messages
