#include "checkmodel.h"

#include <QLocale>
#include <QStringList>

namespace quarvet::adjust {
namespace {

// A stored number back in a field, as the user's locale writes it and exactly.
QString fieldText(double value)
{
    return QLocale().toString(value, 'g', QLocale::FloatingPointShortest);
}

QString numbersText(const QList<double>& values, qsizetype from = 0)
{
    QStringList texts;
    for (qsizetype n = from; n < values.size(); ++n)
        texts << fieldText(values[n]);
    return texts.join(QLatin1Char(' '));
}

// The set-up and the further readings as found, as the record kept them.
void setUpTexts(const records::Record& record, CheckTexts& texts)
{
    const auto& setUp = record.setUp;
    const std::pair<CheckField, std::optional<double>> inputs[] = {
        {CheckField::ReferenceK, setUp ? std::optional(setUp->referenceK) : std::nullopt},
        {CheckField::Drift, setUp ? std::optional(setUp->drift) : std::nullopt},
        {CheckField::Resolution, setUp ? std::optional(setUp->resolution) : std::nullopt},
        {CheckField::Uniformity, setUp ? std::optional(setUp->uniformity) : std::nullopt},
        {CheckField::Stability, setUp ? std::optional(setUp->stability) : std::nullopt}};
    for (const auto& [which, value] : inputs)
        texts[index(which)] = value ? fieldText(*value) : QString();
    const QList<records::PointResult> found = records::readPoints(record.asFoundPoints);
    for (int n = 0; n < 2; ++n)
        texts[index(n == 0 ? CheckField::FoundReadings1 : CheckField::FoundReadings2)] =
            n < found.size() ? numbersText(found[n].readings, 1) : QString();
}

// Readings at the two targets go to their points, those at the first other target to the
// third; a target read several times, all of them.
void verificationTexts(const records::Record& record, CheckTexts& texts)
{
    std::vector<calc::VerificationReading> readings;
    for (const records::VerificationReading& reading : record.verification)
        readings.push_back({reading.target, reading.reading});
    QList<double> atPoints[3];
    std::optional<double> third;
    for (const calc::PointReadings& point : calc::readingsByTarget(readings)) {
        const int at = point.target == record.entriesRead[0]   ? 0
                       : point.target == record.entriesRead[1] ? 1
                       : !third                                ? 2
                                                               : -1;
        if (at == 2)
            third = point.target;
        if (at >= 0)
            atPoints[at] << QList<double>(point.readings.begin(), point.readings.end());
    }
    texts[index(CheckField::Reading1)] = numbersText(atPoints[0]);
    texts[index(CheckField::Reading2)] = numbersText(atPoints[1]);
    texts[index(CheckField::ThirdTarget)] = third ? fieldText(*third) : QString();
    texts[index(CheckField::ThirdReading)] = numbersText(atPoints[2]);
}

} // namespace

void CheckModel::setMeasurement(const std::array<double, 4>& values,
                                const std::array<QString, 4>& typed)
{
    measurement_ = values;
    typedEntries_ = typed;
}

void CheckModel::update(const CheckTexts& texts, const calc::Separators& separators,
                        calc::DecisionRule rule)
{
    rule_ = rule;
    entries_ = readCheckEntries(texts, separators);
    adjustment_ = {};
    evaluation_.reset();
    if (!measurement_)
        return;
    if (entries_.current) {
        // Each point's indicated value is the mean of its readings, as the record takes it.
        std::vector<calc::ReferencePoint> points;
        for (const calc::PointReadings& point : entries_.asFound(*measurement_))
            points.push_back({point.target, calc::budgetOf({}, point.readings).mean});
        adjustment_ = calc::adjust(points, *entries_.current);
    }
    if (std::optional<calc::SetUp> setUp = entries_.setUp()) {
        setUp->scope = scope_;
        setUp->pooled = pooled_;
        evaluation_ = calc::evaluate(*setUp, entries_.asFound(*measurement_),
                                     calc::readingsByTarget(entries_.verification(*measurement_)),
                                     entries_.tolerance, rule);
    }
}

std::optional<calc::Outcome> CheckModel::asFoundOutcome() const
{
    return evaluated() ? std::optional(evaluation_->asFoundOutcome) : std::nullopt;
}

std::optional<calc::Outcome> CheckModel::asLeftOutcome() const
{
    if (!evaluated() || entries_.anyWrong())
        return std::nullopt;
    // Incomplete entries decide before the points' verdicts, as they refuse a record.
    std::vector<calc::Verdict> verdicts;
    for (const calc::PointResult& point : evaluation_->asLeft)
        verdicts.push_back(point.verdict);
    return calc::outcomeOf(verdicts, entries_.tolerance.has_value(), entries_.incomplete().point);
}

const calc::PointResult* CheckModel::asLeftResult(std::size_t n) const
{
    const std::array<std::optional<double>, 3> targets{
        measurement_ ? std::optional((*measurement_)[0]) : std::nullopt,
        measurement_ ? std::optional((*measurement_)[1]) : std::nullopt, entries_.thirdTarget};
    const bool read = n < 2 ? !entries_.readings[n].empty() : !entries_.thirdReadings.empty();
    if (n > 2 || !evaluated() || !read || !targets[n])
        return nullptr;
    const calc::PointResult* result = nullptr;
    for (const calc::PointResult& point : evaluation_->asLeft)
        if (point.target == *targets[n])
            result = &point;
    return result;
}

void CheckModel::fillRecordInput(records::RecordInput& input) const
{
    input.current = *entries_.current;
    input.referenceUncertainty = *entries_.uncertainty;
    input.setUp = records::keptSetUp(entries_.budget);
    for (std::size_t n = 0; n < 2; ++n)
        input.furtherReadings[n] =
            QList<double>(entries_.foundReadings[n].begin(), entries_.foundReadings[n].end());
    input.rule = rule_;
    input.tolerance = entries_.tolerance;
    for (const calc::VerificationReading& reading : entries_.verification(*measurement_))
        input.verification.append({reading.target, reading.reading});
    input.entriesRead = *measurement_;
    input.entriesTyped = typedEntries_;
}

CheckTexts CheckModel::textsOf(const records::Record& record, calc::DecisionRule& rule)
{
    CheckTexts texts;
    texts[index(CheckField::CurrentSlope)] = record.currentSlopeCode;
    texts[index(CheckField::CurrentOffset)] = record.currentOffsetCode;
    texts[index(CheckField::Tolerance)] =
        record.tolerance ? fieldText(*record.tolerance) : QString();
    texts[index(CheckField::Uncertainty)] = fieldText(record.referenceUncertainty);
    setUpTexts(record, texts);
    verificationTexts(record, texts);
    rule = calc::DecisionRule::Guarded;
    calc::readRule(record.decisionRule.toStdString(), rule);
    return texts;
}

} // namespace quarvet::adjust
