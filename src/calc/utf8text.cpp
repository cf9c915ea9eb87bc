#include "utf8text.h"

#include <cstdint>

namespace quarvet::calc {
namespace {

bool inRange(unsigned char c, unsigned char low, unsigned char high)
{
    return c >= low && c <= high;
}

// Code point of the well-formed sequence of `length` bytes at `pos`.
char32_t codePoint(std::string_view text, std::size_t pos, std::size_t length)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (length == 1)
        return lead;
    char32_t value = lead & (0x7Fu >> length);
    for (std::size_t n = 1; n < length; ++n)
        value = value << 6 | (static_cast<unsigned char>(text[pos + n]) & 0x3Fu);
    return value;
}

void appendHex(std::string& out, const char* prefix, std::uint32_t value, int digits)
{
    constexpr char hexDigits[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
}

} // namespace

std::size_t utf8CharacterLength(std::string_view text, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80)
        return 1;
    // The second byte's range depends on the lead: this refuses overlong forms, surrogates
    // and code points beyond U+10FFFF (the table of well-formed byte sequences).
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (inRange(lead, 0xC2, 0xDF)) {
        length = 2;
    } else if (inRange(lead, 0xE0, 0xEF)) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (inRange(lead, 0xF0, 0xF4)) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 1;
    }
    if (pos + length > text.size() ||
        !inRange(static_cast<unsigned char>(text[pos + 1]), low, high))
        return 1;
    for (std::size_t n = 2; n < length; ++n)
        if (!inRange(static_cast<unsigned char>(text[pos + n]), 0x80, 0xBF))
            return 1;
    return length;
}

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8CharacterLength(text, pos);
        const auto byte = static_cast<unsigned char>(text[pos]);
        const char32_t c = codePoint(text, pos, length);
        if (length == 1 && (byte < 0x20 || byte >= 0x7F))
            appendHex(out, "\\x", byte, 2);
        else if ((c >= 0x80 && c < 0xA0) || isInvisibleMark(c))
            appendHex(out, "\\u", c, 4);
        else if (c == '\\')
            out += "\\\\";
        else
            out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

bool isInvisibleMark(char32_t c)
{
    // Zero-width characters, the line and paragraph separators and every direction control
    // (the Arabic letter mark among them).
    return c == 0x061C || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

} // namespace quarvet::calc
