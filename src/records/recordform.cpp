#include "recordform.h"

#include "calc/calibration.h"
#include "instrument/typetable.h"
#include "messages/messages.h"
#include "quarvet/version.h"

#include <QRegularExpression>

#include <cmath>

namespace quarvet::records {
namespace {

QString codeText(std::int16_t code)
{
    return QString::fromStdString(calc::coefficientCode(code));
}

// How a refusal names one of the texts it checks.
QString nameOf(RecordField field)
{
    return field == RecordField::Serial       ? QStringLiteral("The serial number")
           : field == RecordField::Technician ? QStringLiteral("The technician")
                                              : QStringLiteral("The reference standard");
}

bool finite(const std::optional<double>& value)
{
    return !value || std::isfinite(*value);
}

// Embeddings, overrides and isolates make a serial number show as another one; other
// characters (line breaks included) are kept as typed and shown escaped where they would
// confuse.
bool turnsTextAround(const QString& text)
{
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069))
            return true;
    }
    return false;
}

Composition refused(RecordField field, const QString& why)
{
    Composition composition;
    composition.refused = field;
    composition.refusal = why;
    return composition;
}

// The first thing wrong with what was given; None when all of it can go into a record.
Composition firstRefusal(const RecordInput& input, const QDate& today)
{
    if (!modelNumbers().contains(input.instrumentType))
        return refused(RecordField::Type,
                       QStringLiteral("The instrument type \"%1\" is none of the model numbers %2.")
                           .arg(input.instrumentType, modelNumbers().join(QStringLiteral(", "))));
    if (input.serial.trimmed().isEmpty())
        return refused(RecordField::Serial, QStringLiteral("The serial number is empty."));
    const std::pair<RecordField, const QString*> names[] = {
        {RecordField::Serial, &input.serial},
        {RecordField::Technician, &input.technician},
        {RecordField::Reference, &input.referenceId}};
    for (const auto& [field, text] : names)
        if (text->size() > longestName)
            return refused(field, QStringLiteral("%1 is longer than %2 characters.")
                                      .arg(nameOf(field))
                                      .arg(longestName));
    for (const auto& [field, text] : names)
        if (turnsTextAround(*text))
            return refused(field, QStringLiteral("%1 holds a mark that turns text around "
                                                 "(U+202A to U+202E, U+2066 to U+2069): it "
                                                 "would read as another one.")
                                      .arg(nameOf(field)));
    if (input.note.size() > longestNote)
        return refused(RecordField::Note,
                       QStringLiteral("The note is longer than %1 characters.").arg(longestNote));
    if (input.displayLine != 1 && input.displayLine != 2)
        return refused(RecordField::DisplayLine,
                       QStringLiteral("The display line must be 1 or 2."));
    if (input.technician.trimmed().isEmpty())
        return refused(RecordField::Technician, QStringLiteral("The technician is empty."));
    if (input.referenceId.trimmed().isEmpty())
        return refused(RecordField::Reference, QStringLiteral("The reference standard is empty."));
    if (!std::isfinite(input.referenceUncertainty) || input.referenceUncertainty < 0)
        return refused(
            RecordField::Uncertainty,
            QStringLiteral("The reference's uncertainty U must be a number of 0 or more."));
    if (!input.referenceDue.isValid())
        return refused(RecordField::ReferenceDue,
                       QStringLiteral("The reference's due date is no date (YYYY-MM-DD)."));
    if (input.referenceDue < today)
        return refused(RecordField::ReferenceDue,
                       QStringLiteral("The reference's due date %1 has passed: a record made "
                                      "against an overdue reference cannot be saved, and it "
                                      "could never pass.")
                           .arg(input.referenceDue.toString(Qt::ISODate)));
    if (!finite(input.ambient))
        return refused(RecordField::Ambient,
                       QStringLiteral("The ambient temperature is no number."));
    for (double entry : input.entriesRead)
        if (!std::isfinite(entry))
            return refused(RecordField::Entries,
                           QStringLiteral("The entries are not all numbers."));
    if (!input.verification.isEmpty() && !input.tolerance)
        return refused(RecordField::Tolerance,
                       QStringLiteral("Verification readings need a tolerance to be judged by."));
    for (const VerificationReading& reading : input.verification)
        if (!std::isfinite(reading.target) || !std::isfinite(reading.reading))
            return refused(RecordField::Verification,
                           QStringLiteral("A verification reading is no number."));
    return {};
}

// The verdict and its rule; a refusal when the verification cannot be judged.
Composition judge(const RecordInput& input, Record& record)
{
    if (!input.tolerance)
        return {};
    std::vector<calc::VerificationReading> readings;
    for (const VerificationReading& reading : input.verification)
        readings.push_back({reading.target, reading.reading});
    const calc::Verification verification =
        calc::verify(readings, *input.tolerance, input.referenceUncertainty);
    if (!verification.ok())
        return refused(verification.fault == calc::VerificationFault::UncertaintyNegative
                           ? RecordField::Uncertainty
                           : RecordField::Tolerance,
                       QString::fromStdString(messages::verificationFault(verification.fault)));
    record.rule = QString::fromStdString(messages::decisionRule(input.referenceUncertainty));
    if (!readings.empty())
        record.verdict = verification.pass ? QStringLiteral("Pass") : QStringLiteral("Fail");
    return {};
}

} // namespace

QStringList modelNumbers()
{
    QStringList models;
    for (int type = 1;; ++type) {
        const instrument::TypeConstant model = instrument::typeConstant(type, "TypName");
        if (!model.ok())
            return models;
        if (model.value)
            models << QString::number(*model.value);
    }
}

Composition composeRecord(const RecordInput& input, const QDate& today, const QDateTime& nowUtc,
                          const QString& newId)
{
    if (Composition refusal = firstRefusal(input, today); !refusal.ok())
        return refusal;
    const calc::ReferencePoint points[] = {{input.entriesRead[0], input.entriesRead[2]},
                                           {input.entriesRead[1], input.entriesRead[3]}};
    const calc::Adjustment adjustment = calc::adjust(points, input.current);
    if (!adjustment.ok())
        return refused(RecordField::Entries,
                       QString::fromStdString(
                           messages::oneLine(messages::calculationFault(adjustment.line.fault))));
    Composition composition;
    Record& record = composition.record;
    record.id = newId;
    record.createdUtc = nowUtc.toUTC();
    record.programVersion = QString::fromLatin1(versionText);
    record.instrumentType = input.instrumentType;
    record.serial = input.serial;
    record.displayLine = input.displayLine;
    record.technician = input.technician;
    record.referenceId = input.referenceId;
    record.referenceUncertainty = input.referenceUncertainty;
    record.referenceDue = input.referenceDue;
    record.ambient = input.ambient;
    record.entriesTyped = input.entriesTyped;
    record.entriesRead = input.entriesRead;
    record.currentSlopeCode = codeText(input.current.slopeCode);
    record.currentOffsetCode = codeText(input.current.offsetCode);
    record.slopeCode = QString::fromStdString(adjustment.line.slopeCode).toUpper();
    record.offsetCode = QString::fromStdString(adjustment.line.offsetCode).toUpper();
    for (std::size_t n = 0; n < 2; ++n)
        record.predictedErrors[n] = adjustment.points[n].error;
    record.verification = input.verification;
    record.tolerance = input.tolerance;
    record.note = input.note;
    record.corrects = input.corrects;
    if (Composition refusal = judge(input, record); !refusal.ok())
        return refusal;
    return composition;
}

QDate readDueDate(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    return shape.match(text).hasMatch() ? QDate::fromString(text, Qt::ISODate) : QDate();
}

QString shortId(const QString& id)
{
    return id.left(8);
}

} // namespace quarvet::records
