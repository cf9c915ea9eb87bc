#include "entry.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace quarvet::calc {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsWith(std::string_view text, std::size_t at, std::string_view part)
{
    return !part.empty() && text.substr(at, part.size()) == part;
}

// The entry rewritten in the one form std::from_chars reads: [-]digits[.digits][e[-]digits].
struct Normalised {
    std::string text;
    bool negative = false;
    // Position of the leading significant digit relative to the decimal point (1 for "1",
    // -2 for "0.001"), plus the exponent; saturated. Only its sign matters: it tells an
    // overflow from an underflow when from_chars says out of range.
    std::int64_t magnitude = 0;
};

class EntryScanner {
public:
    EntryScanner(std::string_view text, const Separators& separators)
        : text_(text), separators_(separators)
    {
    }

    bool scan(Normalised& out)
    {
        skipBlanks();
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            out.negative = text_[pos_] == '-';
            ++pos_;
        }
        if (out.negative)
            out.text += '-';
        if (!scanMantissa(out))
            return false;
        if (!scanExponent(out))
            return false;
        skipBlanks();
        return pos_ == text_.size();
    }

private:
    void skipBlanks()
    {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }

    bool scanMantissa(Normalised& out)
    {
        std::string integerDigits;
        std::string fractionDigits;
        bool inFraction = false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (isDigit(c)) {
                (inFraction ? fractionDigits : integerDigits) += c;
                ++pos_;
            } else if (!inFraction && startsWith(text_, pos_, separators_.decimal)) {
                inFraction = true;
                pos_ += separators_.decimal.size();
            } else if (!inFraction && isGroupBetweenDigits(integerDigits)) {
                pos_ += separators_.group.size();
            } else {
                break;
            }
        }
        if (integerDigits.empty() && fractionDigits.empty())
            return false;
        out.magnitude = leadingMagnitude(integerDigits, fractionDigits);
        out.text += integerDigits.empty() ? std::string("0") : integerDigits;
        if (!fractionDigits.empty()) {
            out.text += '.';
            out.text += fractionDigits;
        }
        return true;
    }

    // A group separator counts only between two digits of the integer part.
    bool isGroupBetweenDigits(const std::string& integerDigits) const
    {
        if (integerDigits.empty() || !startsWith(text_, pos_, separators_.group))
            return false;
        const std::size_t next = pos_ + separators_.group.size();
        return next < text_.size() && isDigit(text_[next]);
    }

    static std::int64_t leadingMagnitude(const std::string& integerDigits,
                                         const std::string& fractionDigits)
    {
        const auto firstInt = integerDigits.find_first_not_of('0');
        if (firstInt != std::string::npos)
            return static_cast<std::int64_t>(integerDigits.size() - firstInt);
        const auto firstFrac = fractionDigits.find_first_not_of('0');
        if (firstFrac != std::string::npos)
            return -static_cast<std::int64_t>(firstFrac);
        return 0;
    }

    bool scanExponent(Normalised& out)
    {
        if (pos_ >= text_.size() || (text_[pos_] != 'e' && text_[pos_] != 'E'))
            return true;
        ++pos_;
        bool negative = false;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative = text_[pos_] == '-';
            ++pos_;
        }
        const std::size_t first = pos_;
        std::int64_t exponent = 0;
        constexpr std::int64_t cap = std::numeric_limits<std::int64_t>::max() / 20;
        while (pos_ < text_.size() && isDigit(text_[pos_])) {
            if (exponent < cap)
                exponent = exponent * 10 + (text_[pos_] - '0');
            ++pos_;
        }
        if (pos_ == first)
            return false;
        out.text += negative ? "e-" : "e";
        out.text.append(text_.substr(first, pos_ - first));
        out.magnitude += negative ? -exponent : exponent;
        return true;
    }

    std::string_view text_;
    const Separators& separators_;
    std::size_t pos_ = 0;
};

} // namespace

EntryValue ValConv(std::string_view text, const Separators& separators)
{
    Normalised normalised;
    normalised.text.reserve(text.size() + 2);
    if (!EntryScanner(text, separators).scan(normalised))
        return {EntryStatus::NotANumber, 0.0};

    double value = 0.0;
    const char* first = normalised.text.data();
    const char* last = first + normalised.text.size();
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && ptr == last)
        return {EntryStatus::Number, value};
    if (ec == std::errc::result_out_of_range) {
        // libstdc++ says out of range for underflow too; a value too small for a double
        // is a number, and its nearest double is a zero of its sign.
        if (normalised.magnitude <= 0)
            return {EntryStatus::Number, normalised.negative ? -0.0 : 0.0};
        return {EntryStatus::OutOfRange, 0.0};
    }
    return {EntryStatus::NotANumber, 0.0};
}

std::string shortestText(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace quarvet::calc
