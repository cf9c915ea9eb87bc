#include "typetable.h"

#include <array>
#include <cmath>
#include <limits>

namespace quarvet::instrument {
namespace {

using Column = std::array<std::optional<std::int16_t>, 9>;

// Type 0 holds no value in any column.
constexpr Column typName{std::nullopt, 731, 736, 742, 745, 753, 758, 761, 739};
constexpr Column line1{std::nullopt, 1, 1, 1, 1, 2, 2, 1, 0};
constexpr Column line2{std::nullopt, 0, 3, 0, 3, 0, 4, 2, 3};
constexpr Column typFaktor{std::nullopt, 1000, 1000, 100, 100, 100, 100, 100, 100};

const Column* columnNamed(std::string_view name)
{
    if (name == "TypName")
        return &typName;
    if (name == "Line1")
        return &line1;
    if (name == "Line2")
        return &line2;
    if (name == "TypFaktor")
        return &typFaktor;
    return nullptr;
}

TypeConstant lookUp(const Column& column, std::int64_t index)
{
    if (index < 0 || index >= static_cast<std::int64_t>(column.size()))
        return {TypeError::OutOfRange, std::nullopt};
    return {TypeError::None, column[static_cast<std::size_t>(index)]};
}

// Digits with optional blanks around and a sign; nullopt when it is no such text, and a
// value past 32 bits saturates (it is out of the table's range either way).
std::optional<std::int64_t> digitsValue(std::string_view text)
{
    std::size_t pos = text.find_first_not_of(' ');
    const std::size_t end = text.find_last_not_of(' ');
    if (pos == std::string_view::npos)
        return std::nullopt;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-')
        negative = text[pos++] == '-';
    if (pos > end)
        return std::nullopt;
    std::int64_t value = 0;
    for (; pos <= end; ++pos) {
        if (text[pos] < '0' || text[pos] > '9')
            return std::nullopt;
        if (value <= std::numeric_limits<std::int32_t>::max())
            value = value * 10 + (text[pos] - '0');
    }
    return negative ? -value : value;
}

} // namespace

TypeConstant typeConstant(double typeNumber, std::string_view constName)
{
    const Column* column = columnNamed(constName);
    if (!column)
        return {};
    if (std::isnan(typeNumber))
        return {TypeError::TypeMismatch, std::nullopt};
    // The default rounding mode takes halves to the even neighbour.
    const double rounded = std::nearbyint(typeNumber);
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        return {TypeError::OutOfRange, std::nullopt};
    return lookUp(*column, static_cast<std::int64_t>(rounded));
}

TypeConstant typeConstant(std::string_view typeNumber, std::string_view constName)
{
    const Column* column = columnNamed(constName);
    if (!column)
        return {};
    const auto index = digitsValue(typeNumber);
    if (!index)
        return {TypeError::TypeMismatch, std::nullopt};
    return lookUp(*column, *index);
}

} // namespace quarvet::instrument
