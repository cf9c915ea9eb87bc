#include "checkentries.h"

#include <algorithm>

namespace quarvet::adjust {
namespace {

std::size_t index(CheckField field)
{
    return static_cast<std::size_t>(field);
}

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
        if (readings[n])
            taken.push_back({entries[n], *readings[n]});
    if (thirdTarget && thirdReading)
        taken.push_back({*thirdTarget, *thirdReading});
    return taken;
}

records::Refusal CheckEntries::incomplete() const
{
    if (typed[index(CheckField::ThirdTarget)] != typed[index(CheckField::ThirdReading)])
        return incompletePoint(3);
    const bool anyReading = readings[0] || readings[1] || (thirdTarget && thirdReading);
    if (const std::size_t point = records::pointWithoutReading(
            {readings[0].has_value(), readings[1].has_value()}, anyReading))
        return incompletePoint(point);
    return {};
}

records::Refusal CheckEntries::foreignRefusal(const CheckTexts& texts) const
{
    for (std::size_t n = 0; n < checkFieldCount; ++n) {
        if (!foreign[n] || !foreignSeparator)
            continue;
        const auto field = static_cast<CheckField>(n);
        return records::foreignSeparator(
            field == CheckField::Tolerance     ? records::RecordField::Tolerance
            : field == CheckField::Uncertainty ? records::RecordField::Uncertainty
                                               : records::RecordField::Verification,
            texts[n].toStdString(), *foreignSeparator);
    }
    return {};
}

bool CheckEntries::judgeable() const
{
    return tolerance && uncertainty && readings[0] && readings[1] && incomplete().ok();
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
    entries.readings[0] = number(entries, texts, CheckField::Reading1, separators);
    entries.readings[1] = number(entries, texts, CheckField::Reading2, separators);
    entries.thirdTarget = number(entries, texts, CheckField::ThirdTarget, separators);
    entries.thirdReading = number(entries, texts, CheckField::ThirdReading, separators);
    return entries;
}

} // namespace quarvet::adjust
