#include "labmessages.h"

namespace quarvet::messages {
namespace {

QString dateText(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

// What a text of the register and the laboratory's settings must be besides its length.
const QString oneSaneLine = QStringLiteral("without control characters, marks that turn text "
                                           "around or characters that cannot be seen.");

// What is wrong with a setting of the laboratory.
QString settingEntry(const lab::LabRefusal& refusal)
{
    switch (refusal.kind) {
    case lab::LabRefusalKind::SettingText:
        return QStringLiteral("The laboratory's %1 must be one line of at most %2 characters, %3")
            .arg(refusal.name)
            .arg(refusal.limit)
            .arg(oneSaneLine);
    case lab::LabRefusalKind::SettingPattern:
        return QStringLiteral("A number pattern holds {seq} or {seq:N} once, and may hold {year} "
                              "and {prefix}: e.g. {prefix}-{year}-{seq:5}.");
    case lab::LabRefusalKind::SettingNumberText:
        return QStringLiteral("The laboratory's %1 makes certificate numbers: it may hold letters "
                              "of the Latin, Greek and Cyrillic scripts, digits, punctuation, "
                              "symbols and single blanks, none at either end, so that every "
                              "number prints left to right and reads back as written.")
            .arg(refusal.name);
    case lab::LabRefusalKind::SettingPooled:
        return QStringLiteral(
            "The pooled repeatability is kept as S:NU, a standard deviation above "
            "0 and at least 1 degree of freedom: e.g. 0.012:9.");
    case lab::LabRefusalKind::SettingChoice:
        return refusal.name == QLatin1String("issue-needs")
                   ? QStringLiteral("The laboratory's issue-needs is none, reviewed or approved.")
                   : QStringLiteral("The laboratory's %1 is yes or no.").arg(refusal.name);
    case lab::LabRefusalKind::SettingScope:
        return QStringLiteral("The scope is kept as ranges LOW..HIGH=U, \"; \" between them, "
                              "that do not overlap: e.g. 0..100=0.02; 100..200=0.03.");
    default:
        return {};
    }
}

// What is wrong with an entry of the register.
QString referenceEntry(const lab::LabRefusal& refusal)
{
    switch (refusal.kind) {
    case lab::LabRefusalKind::ReferenceText:
        return QStringLiteral("The reference's %1 must be one line of 1 to 200 characters, %2")
            .arg(refusal.name, oneSaneLine);
    case lab::LabRefusalKind::ReferenceBlanks:
        return QStringLiteral("The reference's identifier must not begin or end with blanks.");
    case lab::LabRefusalKind::ReferenceNumbers:
        return QStringLiteral(
            "The reference's U must be a number above 0 and at most 10, its k a number from "
            "1 to 10 and its drift a number of at least 0.");
    case lab::LabRefusalKind::ReferenceDates:
        return QStringLiteral("The reference's dates of calibration and due must be dates, as "
                              "YYYY-MM-DD.");
    case lab::LabRefusalKind::ReferenceCalibrated:
        return QStringLiteral("The reference's calibration must lie between 1900 and today.");
    case lab::LabRefusalKind::ReferenceDueEarly:
        return QStringLiteral("The reference's due date lies before its calibration.");
    case lab::LabRefusalKind::SignerText:
        return QStringLiteral("The signer's %1 must be one line of 1 to 200 characters, %2")
            .arg(refusal.name, oneSaneLine);
    case lab::LabRefusalKind::SignerLogin:
        return QStringLiteral("The signer's login must hold no blanks: it is the name the "
                              "store knows them by.");
    default:
        return settingEntry(refusal);
    }
}

// Why a record's reference cannot be used.
QString recordReference(const lab::LabRefusal& refusal)
{
    switch (refusal.kind) {
    case lab::LabRefusalKind::LookAlike:
        return QStringLiteral("The register holds %1, not %2: name the reference standard as the "
                              "register does, or give it a name of its own.")
            .arg(refusal.name, refusal.identifier);
    case lab::LabRefusalKind::RegisteredOnly:
        return QStringLiteral("The laboratory takes reference standards from its register "
                              "only, which does not hold %1.")
            .arg(refusal.identifier);
    case lab::LabRefusalKind::NotRegistered:
        return QStringLiteral("The reference standard %1 is not in the register: give its U "
                              "(%2) and its due date (%3).")
            .arg(refusal.identifier, refusal.name, refusal.detail);
    case lab::LabRefusalKind::Disagrees:
        return QStringLiteral("%1 is not what the register holds for %2 (entry %3); leave it "
                              "out, or take the register's")
            .arg(refusal.name, refusal.identifier)
            .arg(refusal.entry);
    case lab::LabRefusalKind::CalibratedAfter:
        return QStringLiteral("The reference standard %1 was calibrated on %2, after the "
                              "calibration on %3: its certificate cannot stand behind it.")
            .arg(refusal.identifier, dateText(refusal.first), dateText(refusal.second));
    case lab::LabRefusalKind::Withdrawn:
        return QStringLiteral("The reference standard %1 has been withdrawn from the register "
                              "and cannot be used.")
            .arg(refusal.identifier);
    case lab::LabRefusalKind::Overdue:
        return QStringLiteral("The reference standard %1 was due for calibration on %2, before "
                              "the calibration on %3: it cannot be used.")
            .arg(refusal.identifier, dateText(refusal.first), dateText(refusal.second));
    default:
        return referenceEntry(refusal);
    }
}

} // namespace

QString labRefusal(const lab::LabRefusal& refusal)
{
    return recordReference(refusal);
}

} // namespace quarvet::messages
