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
    return !part.empty() && text[at] == part[0] && text.substr(at, part.size()) == part;
}

// The entry rewritten, in one pass, in the one form std::from_chars reads:
// [-]digits[.digits][e[-]digits]. It is never longer than the entry plus two characters.
class EntryScanner {
public:
    EntryScanner(std::string_view text, const Separators& separators, char* out)
        : text_(text), decimal_(separators.decimal), group_(separators.group), out_(out)
    {
    }

    bool scan()
    {
        skipBlanks();
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative_ = text_[pos_] == '-';
            ++pos_;
        }
        if (negative_)
            out_[length_++] = '-';
        if (!scanMantissa() || !scanExponent())
            return false;
        skipBlanks();
        return pos_ == text_.size();
    }

    std::size_t length() const { return length_; }
    bool negative() const { return negative_; }
    // Position of the leading significant digit relative to the decimal point (1 for "1",
    // -2 for "0.001"), plus the exponent; saturated. Only its sign matters: it tells an
    // overflow from an underflow when from_chars says out of range.
    std::int64_t magnitude() const { return magnitude_; }

private:
    void skipBlanks()
    {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }

    // The state of the mantissa scan, a local of scanMantissa() so that the compiler keeps
    // it in registers through the hot loop and the small steps inlined into it.
    struct Mantissa {
        std::size_t pos;
        std::size_t length;
        std::int64_t integerDigits = 0;
        std::int64_t leadingZeros = 0; // before the first significant digit
        bool significant = false;
        bool inFraction = false;
        bool anyDigit = false;
    };

    bool scanMantissa()
    {
        Mantissa scan{pos_, length_};
        while (scan.pos < text_.size()) {
            if (isDigit(text_[scan.pos]))
                takeDigit(scan);
            else if (!scan.inFraction && startsWith(text_, scan.pos, decimal_))
                takeDecimalSeparator(scan);
            else if (!scan.inFraction && scan.integerDigits > 0 && isGroupBeforeDigit(scan.pos))
                scan.pos += group_.size();
            else
                break;
        }
        pos_ = scan.pos;
        length_ = scan.length;
        if (!scan.anyDigit)
            return false;
        if (out_[length_ - 1] == '.')
            --length_;
        if (scan.significant)
            magnitude_ = scan.integerDigits - scan.leadingZeros;
        return true;
    }

    void takeDigit(Mantissa& scan) const
    {
        const char c = text_[scan.pos++];
        if (!scan.significant) {
            scan.leadingZeros += c == '0' ? 1 : 0;
            scan.significant = c != '0';
        }
        out_[scan.length++] = c;
        scan.anyDigit = true;
        scan.integerDigits += scan.inFraction ? 0 : 1;
    }

    void takeDecimalSeparator(Mantissa& scan) const
    {
        scan.inFraction = true;
        if (scan.integerDigits == 0)
            out_[scan.length++] = '0';
        out_[scan.length++] = '.';
        scan.pos += decimal_.size();
    }

    // A group separator counts only between two digits of the integer part.
    bool isGroupBeforeDigit(std::size_t pos) const
    {
        if (!startsWith(text_, pos, group_))
            return false;
        const std::size_t next = pos + group_.size();
        return next < text_.size() && isDigit(text_[next]);
    }

    bool scanExponent()
    {
        if (pos_ >= text_.size() || (text_[pos_] != 'e' && text_[pos_] != 'E'))
            return true;
        ++pos_;
        bool negative = false;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative = text_[pos_] == '-';
            ++pos_;
        }
        out_[length_++] = 'e';
        if (negative)
            out_[length_++] = '-';
        const std::size_t first = pos_;
        std::int64_t exponent = 0;
        constexpr std::int64_t cap = std::numeric_limits<std::int64_t>::max() / 20;
        while (pos_ < text_.size() && isDigit(text_[pos_])) {
            if (exponent < cap)
                exponent = exponent * 10 + (text_[pos_] - '0');
            out_[length_++] = text_[pos_++];
        }
        if (pos_ == first)
            return false;
        magnitude_ += negative ? -exponent : exponent;
        return true;
    }

    std::string_view text_;
    std::string_view decimal_;
    std::string_view group_;
    char* out_;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
    bool negative_ = false;
    std::int64_t magnitude_ = 0;
};

// A short decimal ([-]digits[<decimal>digits], at most 19 digits, `decimal` the locale's
// one-byte separator) whose digits as an integer need no more than 53 bits and whose
// fraction has at most 22 digits: both that integer and the power of ten are exact doubles,
// so one correctly rounded division gives the double nearest to the text (Clinger's fast
// path). Temperatures as people type them are all of this kind.
bool readShortDecimal(const char* first, const char* last, char decimal, double& value)
{
    const bool negative = first < last && *first == '-';
    first += negative ? 1 : 0;
    constexpr std::uint64_t exactLimit = std::uint64_t{1} << 53;
    std::uint64_t digits = 0;
    std::size_t digitCount = 0;
    std::size_t fractionDigits = 0;
    bool inFraction = false;
    for (const char* at = first; at < last; ++at) {
        if (isDigit(*at)) {
            digits = digits * 10 + static_cast<std::uint64_t>(*at - '0');
            ++digitCount;
            // Past 2^53 the integer is no exact double: the long way. Checked at every digit,
            // it also keeps the integer far from overflowing.
            if (digits > exactLimit)
                return false;
            fractionDigits += inFraction ? 1 : 0;
        } else if (*at == decimal && !inFraction) {
            inFraction = true;
        } else {
            return false;
        }
    }
    constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (digitCount == 0 || fractionDigits > 22)
        return false;
    const double magnitude = static_cast<double>(digits) / powersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

// Most entries are short decimals, or already in the form from_chars reads (with a point as
// the decimal separator, no grouping, no plus sign). Reading them in place saves the
// rewriting. Only a reading that takes the whole text and starts as a number of ours counts;
// anything else (a group separator, "inf", an underflow) goes the long way.
bool readInPlace(std::string_view text, const Separators& separators, double& value)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ')
        ++first;
    while (last > first && text[last - 1] == ' ')
        --last;
    if (first < last && text[first] == '+' && first + 1 < last && text[first + 1] != '-')
        ++first;
    const char* end = text.data() + last;
    if (separators.decimal.size() == 1 &&
        readShortDecimal(text.data() + first, end, separators.decimal.front(), value))
        return true;
    const std::size_t lead = first < last && text[first] == '-' ? first + 1 : first;
    if (separators.decimal != "." || lead >= last || !(isDigit(text[lead]) || text[lead] == '.'))
        return false;
    const auto [ptr, ec] = std::from_chars(text.data() + first, end, value);
    return ec == std::errc() && ptr == end;
}

} // namespace

EntryReading readEntry(std::string_view text, const Separators& separators)
{
    if (double value = 0.0; readInPlace(text, separators, value))
        return {EntryStatus::Number, value};

    // Entries are short; a long one gets a buffer of its own.
    char local[256];
    std::string heap;
    char* buffer = local;
    if (text.size() + 2 > sizeof local) {
        heap.resize(text.size() + 2);
        buffer = heap.data();
    }
    EntryScanner scanner(text, separators, buffer);
    if (!scanner.scan())
        return {EntryStatus::NotANumber, 0.0};

    double value = 0.0;
    const char* last = buffer + scanner.length();
    const auto [ptr, ec] = std::from_chars(buffer, last, value);
    if (ec == std::errc() && ptr == last)
        return {EntryStatus::Number, value};
    if (ec == std::errc::result_out_of_range) {
        // libstdc++ says out of range for underflow too; a value too small for a double
        // is a number, and its nearest double is a zero of its sign.
        if (scanner.magnitude() <= 0)
            return {EntryStatus::Number, scanner.negative() ? -0.0 : 0.0};
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
