#include "checkentries.h"

#include <QRegularExpression>

#include <algorithm>

namespace quarvet::adjust {
namespace {

// A number, or nothing for a blank or wrong text; a wrong one is marked as such.
std::optional<double> number(CheckEntries& entries, const CheckTexts& texts, CheckField field,
                             const calc::Separators& separators)
{
    const std::string text = texts[index(field)].toStdString();
    const calc::EntryReading reading = calc::readEntry(text, separators);
    entries.wrong[index(field)] = entries.typed[index(field)] && !reading.isNumber();
    if (!reading.isNumber())
        return std::nullopt;
    // 12.5 reads as 125 in German: said next to the entry problems, as the main window warns.
    if (const auto pair = calc::probeSeparators(separators);
        pair && calc::holds(text, pair->foreign)) {
        entries.foreignSeparator = pair;
        entries.foreign[index(field)] = true;
    }
    return reading.value;
}

// Numbers separated by blanks or semicolons (a point read several times); empty for a blank
// text, and for a wrong one, which is marked.
std::vector<double> numbers(CheckEntries& entries, const CheckTexts& texts, CheckField field,
                            const calc::Separators& separators)
{
    static const QRegularExpression between(QStringLiteral("[\\s;]+"));
    const QStringList words = texts[index(field)].split(between, Qt::SkipEmptyParts);
    std::vector<double> read;
    bool foreign = false;
    const auto pair = calc::probeSeparators(separators);
    for (const QString& word : words) {
        const std::string text = word.toStdString();
        const calc::EntryReading reading = calc::readEntry(text, separators);
        if (!reading.isNumber() || read.size() >= mostReadingsInAField) {
            entries.wrong[index(field)] = true;
            return {};
        }
        foreign = foreign || (pair && calc::holds(text, pair->foreign));
        read.push_back(reading.value);
    }
    if (foreign) {
        entries.foreignSeparator = pair;
        entries.foreign[index(field)] = true;
    }
    return read;
}

// A set-up input: its default when blank.
double setUpValue(CheckEntries& entries, const CheckTexts& texts, CheckField field,
                  const calc::Separators& separators, double fallback)
{
    return number(entries, texts, field, separators).value_or(fallback);
}

// A code, blank or not, is wrong until it is one.
std::optional<std::int16_t> code(CheckEntries& entries, const CheckTexts& texts, CheckField field)
{
    const auto read = calc::readCoefficientCode(texts[index(field)].toStdString());
    entries.wrong[index(field)] = !read;
    return read;
}

records::Refusal incompletePoint(std::size_t point)
{
    records::Refusal refusal;
    refusal.field = records::RecordField::Verification;
    refusal.kind = records::RefusalKind::Incomplete;
    refusal.point = point;
    return refusal;
}

} // namespace

bool CheckEntries::anyWrong() const
{
    return std::find(wrong.begin(), wrong.end(), true) != wrong.end();
}

bool CheckEntries::composed() const
{
    return current && (current->slopeCode != calc::Coefficients{}.slopeCode ||
                       current->offsetCode != calc::Coefficients{}.offsetCode);
}

std::vector<calc::VerificationReading>
CheckEntries::verification(const std::array<double, 4>& entries) const
{
    std::vector<calc::VerificationReading> taken;
    for (std::size_t n = 0; n < 2; ++n)
        for (double reading : readings[n])
            taken.push_back({entries[n], reading});
    if (thirdTarget)
        for (double reading : thirdReadings)
            taken.push_back({*thirdTarget, reading});
    return taken;
}

std::vector<calc::PointReadings> CheckEntries::asFound(const std::array<double, 4>& entries) const
{
    std::vector<calc::PointReadings> points;
    for (std::size_t n = 0; n < 2; ++n) {
        points.push_back({entries[n], {entries[n + 2]}});
        points.back().readings.insert(points.back().readings.end(), foundReadings[n].begin(),
                                      foundReadings[n].end());
    }
    return points;
}

std::optional<calc::SetUp> CheckEntries::setUp() const
{
    if (!uncertainty)
        return std::nullopt;
    calc::SetUp setUp = budget;
    setUp.referenceU = *uncertainty;
    return setUp;
}

records::Refusal CheckEntries::incomplete() const
{
    if (typed[index(CheckField::ThirdTarget)] != typed[index(CheckField::ThirdReading)])
        return incompletePoint(3);
    const bool anyReading =
        !readings[0].empty() || !readings[1].empty() || (thirdTarget && !thirdReadings.empty());
    if (const std::size_t point =
            calc::pointWithoutReading({!readings[0].empty(), !readings[1].empty()}, anyReading))
        return incompletePoint(point);
    return {};
}

records::Refusal CheckEntries::foreignRefusal(const CheckTexts& texts) const
{
    for (std::size_t n = 0; n < checkFieldCount; ++n) {
        if (!foreign[n] || !foreignSeparator)
            continue;
        const auto field = static_cast<CheckField>(n);
        const bool setUp = field == CheckField::Uncertainty || field == CheckField::ReferenceK ||
                           field == CheckField::Drift || field == CheckField::Resolution ||
                           field == CheckField::Uniformity || field == CheckField::Stability;
        const bool found =
            field == CheckField::FoundReadings1 || field == CheckField::FoundReadings2;
        return records::foreignSeparator(field == CheckField::Tolerance
                                             ? records::RecordField::Tolerance
                                         : setUp ? records::RecordField::Uncertainty
                                         : found ? records::RecordField::Entries
                                                 : records::RecordField::Verification,
                                         texts[n].toStdString(), *foreignSeparator);
    }
    return {};
}

bool CheckEntries::judgeable() const
{
    return tolerance && uncertainty && !readings[0].empty() && !readings[1].empty() &&
           incomplete().ok();
}

CheckEntries readCheckEntries(const CheckTexts& texts, const calc::Separators& separators)
{
    CheckEntries entries;
    for (std::size_t n = 0; n < checkFieldCount; ++n)
        entries.typed[n] = !texts[n].trimmed().isEmpty();
    const auto slope = code(entries, texts, CheckField::CurrentSlope);
    const auto offset = code(entries, texts, CheckField::CurrentOffset);
    if (slope && offset)
        entries.current = calc::Coefficients{*slope, *offset};
    entries.tolerance = number(entries, texts, CheckField::Tolerance, separators);
    entries.uncertainty = number(entries, texts, CheckField::Uncertainty, separators);
    entries.readings[0] = numbers(entries, texts, CheckField::Reading1, separators);
    entries.readings[1] = numbers(entries, texts, CheckField::Reading2, separators);
    entries.thirdTarget = number(entries, texts, CheckField::ThirdTarget, separators);
    entries.thirdReadings = numbers(entries, texts, CheckField::ThirdReading, separators);
    entries.foundReadings[0] = numbers(entries, texts, CheckField::FoundReadings1, separators);
    entries.foundReadings[1] = numbers(entries, texts, CheckField::FoundReadings2, separators);
    calc::SetUp& budget = entries.budget;
    budget.referenceK = setUpValue(entries, texts, CheckField::ReferenceK, separators, 2.0);
    budget.drift = setUpValue(entries, texts, CheckField::Drift, separators, 0.0);
    budget.resolution = setUpValue(entries, texts, CheckField::Resolution, separators, 0.01);
    budget.uniformity = setUpValue(entries, texts, CheckField::Uniformity, separators, 0.0);
    budget.stability = setUpValue(entries, texts, CheckField::Stability, separators, 0.0);
    return entries;
}

} // namespace quarvet::adjust
