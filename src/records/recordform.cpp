#include "recordform.h"

#include "calc/calibration.h"
#include "instrument/typetable.h"
#include "quarvet/version.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace quarvet::records {
namespace {

QString codeText(std::int16_t code)
{
    return QString::fromStdString(calc::coefficientCode(code));
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

// A character Unicode lets a reader ignore (default-ignorable): two serial numbers that
// differ only by one show alike and are two instruments. Its U+ code, or 0 for none.
char32_t invisibleIn(const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        const bool ignorable = c == 0x00AD || c == 0x034F || c == 0x061C ||
                               (c >= 0x115F && c <= 0x1160) || (c >= 0x17B4 && c <= 0x17B5) ||
                               (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
                               (c >= 0x2060 && c <= 0x206F) || c == 0x3164 ||
                               (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 ||
                               (c >= 0xFFF0 && c <= 0xFFF8) || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
                               (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
        if (ignorable)
            return c;
    }
    return 0;
}

Refusal refused(RecordField field, RefusalKind kind)
{
    Refusal refusal;
    refusal.field = field;
    refusal.kind = kind;
    return refusal;
}

Refusal tooLong(RecordField field, qsizetype limit)
{
    Refusal refusal = refused(field, RefusalKind::TooLong);
    refusal.limit = limit;
    return refusal;
}

Refusal unknownModel(const QString& type)
{
    Refusal refusal = refused(RecordField::Type, RefusalKind::UnknownModel);
    refusal.given = type.toStdString();
    for (const QString& model : modelNumbers())
        refusal.choices.push_back(model.toStdString());
    return refusal;
}

// Entries that give no codes, or codes that wrap: writing them would make the instrument
// apply something else than the line.
Refusal adjustmentRefusal(const calc::Adjustment& adjustment)
{
    if (!adjustment.ok()) {
        Refusal refusal = refused(RecordField::Entries, RefusalKind::Calculation);
        refusal.calculation = adjustment.line.fault;
        return refusal;
    }
    if (!adjustment.slopeWraps && !adjustment.offsetWraps)
        return {};
    Refusal refusal = refused(RecordField::Entries, RefusalKind::CodeWraps);
    refusal.offset = !adjustment.slopeWraps;
    refusal.applied = refusal.offset ? adjustment.appliedOffset : adjustment.appliedSlope;
    refusal.line = refusal.offset ? adjustment.line.offset : adjustment.line.slope;
    return refusal;
}

// How many characters a text holds as a reader counts them: a character outside the Basic
// Multilingual Plane is one, not the two halves Qt stores of it.
qsizetype characters(const QString& text)
{
    qsizetype count = 0;
    for (QChar c : text)
        count += c.isLowSurrogate() ? 0 : 1;
    return count;
}

// What is wrong with a name (serial number, technician, reference), one kind of fault at a
// time: each is looked for in every name before the next kind.
Refusal nameTooLong(RecordField field, const QString& text)
{
    return characters(text) > longestName ? tooLong(field, longestName) : Refusal();
}

Refusal nameTurnsAround(RecordField field, const QString& text)
{
    return turnsTextAround(text) ? refused(field, RefusalKind::TurnsTextAround) : Refusal();
}

// A tab, a line break (U+0085, U+2028 and U+2029 among them) or an escape in a name would
// not print as the one line a certificate gives it.
Refusal nameControl(RecordField field, const QString& text)
{
    return unsafeLine(text) ? refused(field, RefusalKind::Control) : Refusal();
}

Refusal nameInvisible(RecordField field, const QString& text)
{
    const char32_t c = invisibleIn(text);
    if (!c)
        return {};
    Refusal refusal = refused(field, RefusalKind::Invisible);
    refusal.given = QStringLiteral("U+%1")
                        .arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'))
                        .toUpper()
                        .toStdString();
    return refusal;
}

// The customer, the method and the reason of a correction, which a correction must give.
Refusal partyRefusal(const RecordInput& input)
{
    if (Refusal refusal = nameTooLong(RecordField::Customer, input.customer); !refusal.ok())
        return refusal;
    const std::pair<RecordField, const QString*> texts[] = {
        {RecordField::Customer, &input.customer},
        {RecordField::CustomerAddress, &input.customerAddress},
        {RecordField::Description, &input.itemDescription},
        {RecordField::Method, &input.method},
        {RecordField::Reason, &input.correctionReason},
        {RecordField::Location, &input.location},
        {RecordField::Condition, &input.condition},
        {RecordField::Deviations, &input.deviations}};
    for (const auto& [field, text] : texts) {
        if (characters(*text) > longestNote)
            return tooLong(field, longestNote);
        if (turnsTextAround(*text))
            return refused(field, RefusalKind::TurnsTextAround);
        // "Big Co" with a zero-width space would be another customer that looks the same.
        if (Refusal refusal = nameInvisible(field, *text); !refusal.ok())
            return refusal;
        if (unsafeLine(*text))
            return refused(field, RefusalKind::Control);
    }
    if (input.customer.isEmpty() && !input.customerAddress.isEmpty())
        return refused(RecordField::Customer, RefusalKind::Empty);
    if (!input.corrects.isEmpty() && input.correctionReason.trimmed().isEmpty())
        return refused(RecordField::Reason, RefusalKind::Empty);
    return {};
}

// The first thing wrong with the texts given; none when all of them can go into a record.
Refusal textRefusal(const RecordInput& input)
{
    if (!modelNumbers().contains(input.instrumentType))
        return unknownModel(input.instrumentType);
    if (input.serial.trimmed().isEmpty())
        return refused(RecordField::Serial, RefusalKind::Empty);
    const std::pair<RecordField, const QString*> names[] = {
        {RecordField::Serial, &input.serial},
        {RecordField::Technician, &input.technician},
        {RecordField::Reference, &input.referenceId}};
    using NameCheck = Refusal (*)(RecordField, const QString&);
    for (const NameCheck check : {&nameTooLong, &nameTurnsAround, &nameControl, &nameInvisible})
        for (const auto& [field, text] : names)
            if (Refusal refusal = check(field, *text); !refusal.ok())
                return refusal;
    if (characters(input.note) > longestNote)
        return tooLong(RecordField::Note, longestNote);
    if (Refusal refusal = partyRefusal(input); !refusal.ok())
        return refusal;
    if (input.displayLine != 1 && input.displayLine != 2)
        return refused(RecordField::DisplayLine, RefusalKind::NotOneOrTwo);
    if (input.technician.trimmed().isEmpty())
        return refused(RecordField::Technician, RefusalKind::Empty);
    if (input.referenceId.trimmed().isEmpty())
        return refused(RecordField::Reference, RefusalKind::Empty);
    // "R1 " would print as the register's R1 without being it.
    if (input.referenceId != input.referenceId.trimmed()) {
        Refusal refusal = refused(RecordField::Reference, RefusalKind::Blanks);
        refusal.given = input.referenceId.toStdString();
        return refusal;
    }
    return {};
}

// The first thing wrong with the dates and numbers given, which are read after the texts.
// The day of receipt, a date not after the calibration; the tolerance's source, one of three
// and only beside a tolerance.
Refusal receiptRefusal(const RecordInput& input, const QDate& today)
{
    // Before 1900, as the register's dates, is a date mistyped.
    if (input.received && (!input.received->isValid() || input.received->year() < 1900))
        return refused(RecordField::Received, RefusalKind::NotADate);
    if (input.received &&
        *input.received > (input.calibrated.isValid() ? input.calibrated : today)) {
        Refusal refusal = refused(RecordField::Received, RefusalKind::AfterCalibration);
        refusal.given = input.received->toString(Qt::ISODate).toStdString();
        return refusal;
    }
    if (input.toleranceSource.isEmpty())
        return {};
    if (!toleranceSources().contains(input.toleranceSource)) {
        Refusal refusal = refused(RecordField::ToleranceSource, RefusalKind::NotAChoice);
        for (const QString& source : toleranceSources())
            refusal.choices.push_back(source.toStdString());
        return refusal;
    }
    if (!input.tolerance)
        return refused(RecordField::ToleranceSource, RefusalKind::NeedsTolerance);
    return {};
}

Refusal valueRefusal(const RecordInput& input, const QDate& today)
{
    // No reference is known without uncertainty: a U of 0 (or -0) would let the resolution alone
    // decide each point's U, and a record say Pass where it fails.
    if (!std::isfinite(input.referenceUncertainty) || !(input.referenceUncertainty > 0))
        return refused(RecordField::Uncertainty, RefusalKind::NotAboveZero);
    // 1e308 would stand on a certificate as a reference's uncertainty.
    if (input.referenceUncertainty > highestReferenceU)
        return refused(RecordField::Uncertainty, RefusalKind::OutOfRange);
    if (!input.referenceDue.isValid())
        return refused(RecordField::ReferenceDue, RefusalKind::NotADate);
    if (input.referenceDue < (input.calibrated.isValid() ? input.calibrated : today)) {
        Refusal refusal = refused(RecordField::ReferenceDue, RefusalKind::Passed);
        refusal.given = input.referenceDue.toString(Qt::ISODate).toStdString();
        return refusal;
    }
    if (!finite(input.ambient))
        return refused(RecordField::Ambient, RefusalKind::NotFinite);
    // −500 °C (below absolute zero) or 1e308 °C would stand on a certificate as the conditions.
    if (input.ambient && (*input.ambient < lowestAmbient || *input.ambient > highestAmbient))
        return refused(RecordField::Ambient, RefusalKind::OutOfRange);
    for (double entry : input.entriesRead)
        if (!std::isfinite(entry))
            return refused(RecordField::Entries, RefusalKind::NotFinite);
    if (!input.verification.isEmpty() && !input.tolerance)
        return refused(RecordField::Tolerance, RefusalKind::NeedsTolerance);
    if (Refusal refusal = receiptRefusal(input, today); !refusal.ok())
        return refusal;
    for (const VerificationReading& reading : input.verification)
        if (!std::isfinite(reading.target) || !std::isfinite(reading.reading))
            return refused(RecordField::Verification, RefusalKind::NotFinite);
    return {};
}

bool hasNoUncertainty(const std::vector<calc::PointResult>& points)
{
    return std::any_of(points.begin(), points.end(),
                       [](const calc::PointResult& point) { return !(point.budget.U > 0.0); });
}

// Why a calibration's points cannot be evaluated, or their results not kept, as a refusal.
Refusal evaluationRefusal(const calc::Evaluation& evaluation)
{
    using Fault = calc::EvaluationFault;
    // A U that rounds to nothing (a reference's U of 5e-324) would claim a perfect result.
    if (evaluation.ok())
        return hasNoUncertainty(evaluation.asFound) || hasNoUncertainty(evaluation.asLeft)
                   ? refused(RecordField::Uncertainty, RefusalKind::NotAboveZero)
                   : Refusal();
    if (evaluation.fault == Fault::Budget) {
        Refusal refusal = refused(RecordField::Uncertainty, RefusalKind::Budget);
        refusal.budget = evaluation.budgetFault;
        return refusal;
    }
    Refusal refusal =
        refused(evaluation.fault == Fault::ToleranceNotPositive ? RecordField::Tolerance
                                                                : RecordField::Verification,
                RefusalKind::Verification);
    refusal.verification = evaluation.fault == Fault::ToleranceNotPositive
                               ? calc::VerificationFault::ToleranceNotPositive
                               : calc::VerificationFault::NotFinite;
    return refusal;
}

// A verification with a reading at every calibration point or none; a verdict from some of
// them would say more than was measured.
Refusal incompleteRefusal(const RecordInput& input)
{
    std::array<bool, 2> pointRead{};
    for (const VerificationReading& reading : input.verification)
        for (std::size_t n = 0; n < pointRead.size(); ++n)
            pointRead[n] = pointRead[n] || reading.target == input.entriesRead[n];
    const std::size_t point = calc::pointWithoutReading(pointRead, !input.verification.isEmpty());
    if (!point)
        return {};
    Refusal refusal = refused(RecordField::Verification, RefusalKind::Incomplete);
    refusal.point = point;
    return refusal;
}

QString scopeWord(calc::ScopeMark mark)
{
    switch (mark) {
    case calc::ScopeMark::Within:
        return QStringLiteral("within");
    case calc::ScopeMark::Raised:
        return QStringLiteral("raised");
    case calc::ScopeMark::Outside:
        return QStringLiteral("outside");
    default:
        return {};
    }
}

// Each point's result; its verdict only when there was a tolerance to judge it by.
QList<PointResult> resultsOf(const std::vector<calc::PointResult>& points, bool judged)
{
    QList<PointResult> results;
    for (const calc::PointResult& point : points)
        results << PointResult{point.target,
                               QList<double>(point.readings.begin(), point.readings.end()),
                               point.budget.uc,
                               point.budget.nuEff,
                               point.budget.k,
                               point.budget.U,
                               !judged ? QString()
                                       : QString::fromStdString(calc::verdictText(point.verdict)),
                               scopeWord(point.scope)};
    return results;
}

// The verdicts, the rule and each point's result, as the evaluation gave them.
void judge(const RecordInput& input, const calc::Evaluation& evaluation, Record& record)
{
    record.setUp = input.setUp;
    // A rule judges against a tolerance: without one there is none to keep.
    if (input.tolerance)
        record.decisionRule = QString::fromStdString(calc::ruleWord(input.rule));
    record.asFoundPoints = pointsText(resultsOf(evaluation.asFound, input.tolerance.has_value()));
    record.asLeftPoints = pointsText(resultsOf(evaluation.asLeft, input.tolerance.has_value()));
    if (const std::optional<calc::Verdict> found = evaluation.asFoundOutcome.verdict)
        record.asFoundVerdict = QString::fromStdString(calc::verdictText(*found));
    if (input.tolerance)
        record.rule = QString::fromStdString(calc::ruleStatement(input.rule));
    if (const std::optional<calc::Verdict> left = evaluation.asLeftOutcome.verdict)
        record.verdict = QString::fromStdString(calc::verdictText(*left));
}

// Where, when and in what state, as given; blanks alone say nothing (the certificate would
// print "on site at" and nothing).
void fillReceipt(Record& record, const RecordInput& input)
{
    const auto said = [](const QString& text) {
        return text.trimmed().isEmpty() ? QString() : text;
    };
    record.location = said(input.location);
    record.received = input.received.value_or(QDate());
    record.condition = said(input.condition);
    record.deviations = said(input.deviations);
    record.toleranceSource = input.toleranceSource;
}

// The record's fields that are taken as given or computed by the adjustment.
void fill(Record& record, const RecordInput& input, const calc::Adjustment& adjustment)
{
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
    record.customer = input.customer;
    record.customerAddress = input.customerAddress;
    record.itemDescription = input.itemDescription;
    record.method = input.method;
    record.referenceSource = input.referenceSource;
    record.referenceCertificate = input.referenceCertificate;
    record.referenceCalibratedBy = input.referenceCalibratedBy;
    record.correctionReason = input.correctionReason;
    fillReceipt(record, input);
}

} // namespace

BudgetSetUp keptSetUp(const calc::SetUp& setUp)
{
    return {setUp.referenceK, setUp.drift,     setUp.resolution,
            setUp.uniformity, setUp.stability, setUp.pooled};
}

calc::SetUp budgetSetUp(const RecordInput& input)
{
    return {input.referenceUncertainty,
            input.setUp.referenceK,
            input.setUp.drift,
            input.setUp.resolution,
            input.setUp.uniformity,
            input.setUp.stability,
            input.scope,
            input.setUp.pooled};
}

std::vector<calc::PointReadings> asFoundReadings(const RecordInput& input)
{
    std::vector<calc::PointReadings> points;
    for (std::size_t n = 0; n < 2; ++n) {
        calc::PointReadings point{input.entriesRead[n], {input.entriesRead[n + 2]}};
        point.readings.insert(point.readings.end(), input.furtherReadings[n].begin(),
                              input.furtherReadings[n].end());
        points.push_back(std::move(point));
    }
    return points;
}

const QStringList& toleranceSources()
{
    static const QStringList sources{QStringLiteral("manufacturer"), QStringLiteral("customer"),
                                     QStringLiteral("standard")};
    return sources;
}

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
    Composition composition;
    composition.refusal = textRefusal(input);
    if (composition.refusal.ok())
        composition.refusal = valueRefusal(input, today);
    if (!composition.refusal.ok())
        return composition;
    std::vector<calc::VerificationReading> verification;
    for (const VerificationReading& reading : input.verification)
        verification.push_back({reading.target, reading.reading});
    const std::vector<calc::PointReadings> asLeft = calc::readingsByTarget(verification);
    const calc::Evaluation evaluation = calc::evaluate(budgetSetUp(input), asFoundReadings(input),
                                                       asLeft, input.tolerance, input.rule);
    composition.refusal = evaluationRefusal(evaluation);
    if (!composition.refusal.ok())
        return composition;
    const calc::ReferencePoint points[] = {
        {input.entriesRead[0], evaluation.asFound[0].budget.mean},
        {input.entriesRead[1], evaluation.asFound[1].budget.mean}};
    const calc::Adjustment adjustment = calc::adjust(points, input.current);
    composition.refusal = adjustmentRefusal(adjustment);
    if (composition.refusal.ok())
        composition.refusal = incompleteRefusal(input);
    if (!composition.refusal.ok())
        return composition;
    Record& record = composition.record;
    record.id = newId;
    record.createdUtc = nowUtc.toUTC();
    fill(record, input, adjustment);
    judge(input, evaluation, record);
    composition.evaluation = evaluation;
    return composition;
}

bool unsafeLine(const QString& text)
{
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            return true;
    }
    return turnsTextAround(text);
}

bool holdsInvisible(const QString& text)
{
    return invisibleIn(text) != 0;
}

Refusal issuerRefusal(const QString& by, const QString& role)
{
    for (const auto& [field, text] :
         {std::pair{RecordField::AuthorisedBy, &by}, std::pair{RecordField::Role, &role}}) {
        if (text->trimmed().isEmpty())
            return refused(field, RefusalKind::Empty);
        if (unsafeLine(*text))
            return refused(field, turnsTextAround(*text) ? RefusalKind::TurnsTextAround
                                                         : RefusalKind::Control);
        for (const auto check : {&nameTooLong, &nameInvisible})
            if (Refusal refusal = check(field, *text); !refusal.ok())
                return refusal;
    }
    return {};
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
