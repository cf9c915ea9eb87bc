#include "labmessages.h"

#include "records/recordformat.h"

#include <QLocale>

#include <cmath>

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
    case lab::LabRefusalKind::SettingCountry:
        return QStringLiteral("The laboratory's country is its ISO 3166-1 code, two capital "
                              "letters, as DE or GB.");
    case lab::LabRefusalKind::SettingFactors:
        return QStringLiteral("The interval factors are UP:DOWN, UP from 1 to 4 and DOWN above 0 "
                              "and at most 1, as 1.25:0.5.");
    case lab::LabRefusalKind::SettingScope:
        return QStringLiteral("The scope is kept as ranges LOW..HIGH=U, \"; \" between them, "
                              "that do not overlap: e.g. 0..100=0.02; 100..200=0.03.");
    default:
        return {};
    }
}

// What is wrong with an entry of the register of instruments.
QString instrumentEntry(const lab::LabRefusal& refusal)
{
    switch (refusal.kind) {
    case lab::LabRefusalKind::InstrumentText:
        return QStringLiteral("The instrument's %1 must be one line of at most 200 characters "
                              "(the serial number at least one), %2")
            .arg(refusal.name, oneSaneLine);
    case lab::LabRefusalKind::InstrumentBlanks:
        return QStringLiteral("The serial number must not begin or end with blanks.");
    case lab::LabRefusalKind::InstrumentType:
        return QStringLiteral("'%1' is no instrument type of the type table (quarvet-cli types "
                              "lists them).")
            .arg(refusal.name);
    case lab::LabRefusalKind::InstrumentLine:
        return QStringLiteral("The display line is 1 or 2.");
    case lab::LabRefusalKind::InstrumentInterval:
        return QStringLiteral("The calibration interval is a whole number of months from 1 to "
                              "120.");
    case lab::LabRefusalKind::InstrumentNumbers:
        return refusal.name == QLatin1String("tolerance")
                   ? QStringLiteral("The instrument's tolerance must be a number above 0.")
                   : QStringLiteral("The instrument's targets must be two temperatures that "
                                    "differ, and its third point one, each from -273.15 to 3000 "
                                    "°C.");
    case lab::LabRefusalKind::InstrumentRule:
        return QStringLiteral("The decision rule is guarded, simple or non-binary.");
    default:
        return settingEntry(refusal);
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
        return instrumentEntry(refusal);
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

namespace {

// "12 months × 0.5 = 6 months", or where the step was rounded or bounded, what the product was.
QString steppedBy(const lab::IntervalReview& review, double factor)
{
    // As the factor was typed and the product as a person works it out: 12 × 1.1 is 13.2.
    const double product = review.current * factor;
    const QString said = QStringLiteral("%1 months × %2 = ")
                             .arg(review.current)
                             .arg(QString::number(factor, 'g', QLocale::FloatingPointShortest));
    if (std::abs(product - review.suggestion.months) < 1e-9)
        return said + QStringLiteral("%1 months").arg(review.suggestion.months);
    return said + QStringLiteral("%1, taken as %2 months (whole months, a month at least, from "
                                 "1 to 120)")
                      .arg(QString::number(product, 'g', 12))
                      .arg(review.suggestion.months);
}

} // namespace

QString intervalReason(const lab::IntervalReview& review)
{
    const QString calibration =
        QStringLiteral("The last calibration, on %1,").arg(review.basedOn.toString(Qt::ISODate));
    switch (review.suggestion.step) {
    case calc::IntervalStep::Lengthened:
        return QStringLiteral("%1 found it %2: in tolerance, so %3.")
            .arg(calibration, review.verdict, steppedBy(review, review.factors.up));
    case calc::IntervalStep::Shortened:
        return QStringLiteral("%1 found it %2: out of tolerance, so %3.")
            .arg(calibration, review.verdict, steppedBy(review, review.factors.down));
    case calc::IntervalStep::Reviewed:
        return QStringLiteral("The interval of %1 months was reviewed on %2, after the last "
                              "calibration on %3: it stands until the next calibration.")
            .arg(review.current)
            .arg(review.reviewedUtc.toLocalTime().date().toString(Qt::ISODate),
                 review.basedOn.toString(Qt::ISODate));
    case calc::IntervalStep::Kept:
        return QStringLiteral("%1 found it %2: in tolerance but not with the confidence asked, so "
                              "the interval of %3 months is kept.")
            .arg(calibration, review.verdict)
            .arg(review.current);
    default:
        return review.basedOn.isValid()
                   ? QStringLiteral("%1 gave no verdict to step by, so the interval of %2 months "
                                    "is kept.")
                         .arg(calibration)
                         .arg(review.current)
                   : QStringLiteral("No calibration of it is kept: the interval of %1 months is "
                                    "kept.")
                         .arg(review.current);
    }
}

QStringList historySentences(const QList<lab::HistoryPoint>& history,
                             const lab::IntervalReview& review)
{
    QStringList said;
    for (const lab::TargetDrift& target : lab::driftsOf(history))
        said << (target.line ? QStringLiteral("At %1 °C: drift %2 °C a year, u = %3 °C a year, "
                                              "from %4 calibrations.")
                                   .arg(records::numberText(target.target),
                                        QString::number(target.line->perYear, 'g', 3),
                                        QString::number(target.line->u, 'g', 2))
                                   .arg(target.count)
                             : QStringLiteral("At %1 °C: %2 calibration(s), too few for a drift "
                                              "(three are needed).")
                                   .arg(records::numberText(target.target))
                                   .arg(target.count));
    said << QStringLiteral("Interval %1 months; suggested %2 months. %3")
                .arg(review.current)
                .arg(review.suggestion.months)
                .arg(intervalReason(review));
    return said;
}

} // namespace quarvet::messages
