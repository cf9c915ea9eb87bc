#include "memorydecoder.h"

#include "calc/calibration.h"
#include "calc/utf8text.h"
#include "typetable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace quarvet::instrument {
namespace {

constexpr std::size_t recordLength = 18;
constexpr int recordCount = 4;

// Positions count characters from 1; a position outside the text reads as "". Dumps are
// ASCII as a rule, where a character is a byte: AsciiText. Any other text gets an index of
// where the characters of the fields' window start (IndexedText), so that one accented letter
// in a comment does not shift every field. Both offer at, byteAt and find to the decoding.
class AsciiText {
public:
    explicit AsciiText(std::string_view text) : text_(text) {}

    std::string_view at(std::size_t position) const
    {
        return position < 1 || position > text_.size() ? std::string_view{}
                                                       : text_.substr(position - 1, 1);
    }
    // The character at `position` as a byte; -1 outside the text.
    int byteAt(std::size_t position) const
    {
        return position < 1 || position > text_.size()
                   ? -1
                   : static_cast<unsigned char>(text_[position - 1]);
    }
    // Position of the first `c`, 0 when there is none.
    std::size_t find(char c) const
    {
        const std::size_t at = text_.find(c);
        return at == std::string_view::npos ? 0 : at + 1;
    }

private:
    std::string_view text_;
};

class IndexedText {
public:
    explicit IndexedText(std::string_view text) : text_(text) {}

    // The fields lie within a window after the start marker; only that window is indexed,
    // so that memory does not grow with the text.
    void indexWindowFrom(std::size_t first)
    {
        first_ = std::max<std::size_t>(first, 1);
        starts_.clear();
        std::size_t pos = byteOffset(first_);
        for (std::size_t n = 0; n <= windowSize && pos <= text_.size(); ++n) {
            starts_.push_back(pos);
            pos += pos < text_.size() ? calc::utf8CharacterLength(text_, pos) : 1;
        }
    }

    std::string_view at(std::size_t position) const
    {
        if (position >= first_ && position + 1 < first_ + starts_.size())
            return text_.substr(starts_[position - first_],
                                starts_[position - first_ + 1] - starts_[position - first_]);
        // Past a window that reaches the end of the text: past the text.
        if (position >= first_ && !starts_.empty() && starts_.back() >= text_.size())
            return {};
        // Outside the window: walk to it (never on the decoder's own path).
        const std::size_t pos = position < 1 ? text_.size() : byteOffset(position);
        return pos >= text_.size() ? std::string_view{}
                                   : text_.substr(pos, calc::utf8CharacterLength(text_, pos));
    }
    // -1 also for a character of several bytes: it is no digit of any kind.
    int byteAt(std::size_t position) const
    {
        const std::string_view character = at(position);
        return character.size() == 1 ? static_cast<unsigned char>(character.front()) : -1;
    }
    std::size_t find(char c) const
    {
        const std::size_t at = text_.find(c);
        if (at == std::string_view::npos)
            return 0;
        // A byte below 0x80 never lies inside a multi-byte character: it starts one.
        std::size_t position = 1;
        for (std::size_t pos = 0; pos < at; pos += calc::utf8CharacterLength(text_, pos))
            ++position;
        return position;
    }

private:
    static constexpr std::size_t windowSize = 128; // the marker, the type and four records

    // Where the character at `position` (from 1) starts; the text's size past its end.
    std::size_t byteOffset(std::size_t position) const
    {
        std::size_t pos = 0;
        for (std::size_t n = 1; n < position && pos < text_.size(); ++n)
            pos += calc::utf8CharacterLength(text_, pos);
        return pos;
    }

    std::string_view text_;
    std::size_t first_ = 1;
    std::vector<std::size_t> starts_; // of the window's characters, and one past them
};

bool isAscii(std::string_view text)
{
    // No early exit: the compiler turns this loop into a few vector instructions.
    unsigned char high = 0;
    for (const char c : text)
        high |= static_cast<unsigned char>(c);
    return high < 0x80;
}

// The start marker: the first "0", unless a "1" comes before it. A text with a "0" but no
// "1" gets 0: the rule compares positions, and no "1" counts as position 0.
template <typename Text> std::size_t startMarker(const Text& text)
{
    const std::size_t zero = text.find('0');
    const std::size_t one = text.find('1');
    return zero > one ? one : zero;
}

// The value of each byte as a hexadecimal digit, -1 for any other byte.
constexpr std::array<signed char, 256> hexDigitValues = [] {
    std::array<signed char, 256> values{};
    for (int c = 0; c < 256; ++c) {
        values[c] = -1;
        if (c >= '0' && c <= '9')
            values[c] = static_cast<signed char>(c - '0');
        if (c >= 'A' && c <= 'F')
            values[c] = static_cast<signed char>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f')
            values[c] = static_cast<signed char>(c - 'a' + 10);
    }
    return values;
}();

// Integer quotient by 1000, halves to the even neighbour.
std::int32_t thousandthsRounded(std::int32_t value)
{
    std::int32_t quotient = value / 1000;
    const std::int32_t remainder = value % 1000;
    const std::int32_t twice = 2 * (remainder < 0 ? -remainder : remainder);
    const std::int32_t away = value < 0 ? -1 : 1;
    if (twice > 1000 || (twice == 1000 && quotient % 2 != 0))
        quotient += away;
    return quotient;
}

// A record's two fields, checked and read; codes are written only for the records shown.
struct Record {
    std::array<char, 4> slope{};
    std::uint32_t value = 0;
};

// The value field is four byte pairs, low byte first; read high byte first as a signed
// 32-bit number. The slope is stored as the code itself, low byte first: swapping the
// pairs is all.
constexpr std::array<std::size_t, 8> valueOrder{12, 13, 10, 11, 8, 9, 6, 7};
constexpr std::array<std::size_t, 4> slopeOrder{2, 3, 0, 1};

// A field's characters, read at `base` plus each offset in turn; false unless each is a
// hexadecimal digit.
template <typename Text, std::size_t Size>
bool readHexField(const Text& text, std::size_t base, const std::array<std::size_t, Size>& offsets,
                  std::array<char, Size>& characters, std::uint32_t& value)
{
    value = 0;
    for (std::size_t n = 0; n < Size; ++n) {
        const int c = text.byteAt(base + offsets[n]);
        const int digit = c < 0 ? -1 : hexDigitValues[static_cast<std::size_t>(c)];
        if (digit < 0)
            return false;
        characters[n] = static_cast<char>(c);
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

// What a field holds, for a message; reached only when the field is wrong.
template <typename Text, std::size_t Size>
std::string fieldText(const Text& text, std::size_t base,
                      const std::array<std::size_t, Size>& offsets)
{
    std::string found;
    for (const std::size_t offset : offsets)
        found += text.at(base + offset);
    return found;
}

std::size_t recordBase(std::size_t marker, int record)
{
    return marker + recordLength * static_cast<std::size_t>(record);
}

DisplayCodes failure(DecodeError error, int record, std::string found)
{
    DisplayCodes codes;
    codes.error = error;
    codes.record = record;
    codes.found = std::move(found);
    return codes;
}

// Checks all four records, value fields first as they always were, then slope fields.
template <typename Text>
DecodeError readRecords(const Text& text, std::size_t marker, std::array<Record, 5>& records,
                        int& failed)
{
    std::array<char, valueOrder.size()> digits{};
    for (failed = 1; failed <= recordCount; ++failed) {
        const std::size_t base = recordBase(marker, failed);
        if (!readHexField(text, base, valueOrder, digits, records[failed].value)) {
            // The field's characters follow each other: it is cut short when its last is missing.
            constexpr std::size_t lastOffset = 13;
            return text.at(base + lastOffset).empty() ? DecodeError::ValueFieldMissing
                                                      : DecodeError::ValueFieldNotHex;
        }
    }
    std::uint32_t unused = 0;
    for (failed = 1; failed <= recordCount; ++failed)
        if (!readHexField(text, recordBase(marker, failed), slopeOrder, records[failed].slope,
                          unused))
            return DecodeError::SlopeFieldNotHex;
    failed = 0;
    return DecodeError::None;
}

// Display lines 1 and 2 of a type character: the type table's Line1 and Line2, looked up
// once for each digit since every memory text asks.
struct DisplayLines {
    TypeConstant line1;
    TypeConstant line2;
};

DisplayLines displayLines(std::string_view typeCharacter)
{
    static const std::array<DisplayLines, 10> digits = [] {
        std::array<DisplayLines, 10> lines;
        for (char digit = '0'; digit <= '9'; ++digit) {
            const std::string_view text(&digit, 1);
            lines[static_cast<std::size_t>(digit - '0')] = {typeConstant(text, "Line1"),
                                                            typeConstant(text, "Line2")};
        }
        return lines;
    }();
    if (typeCharacter.size() == 1 && typeCharacter.front() >= '0' && typeCharacter.front() <= '9')
        return digits[static_cast<std::size_t>(typeCharacter.front() - '0')];
    return {typeConstant(typeCharacter, "Line1"), typeConstant(typeCharacter, "Line2")};
}

// The codes of the record a display line shows; both empty for record 0, "no record".
void writeCodes(const std::array<Record, 5>& records, int shown, std::string& slopeCode,
                std::string& offsetCode)
{
    if (shown == 0)
        return;
    const Record& record = records[static_cast<std::size_t>(shown)];
    slopeCode.assign(record.slope.data(), record.slope.size());
    offsetCode = calc::coefficientCode(thousandthsRounded(static_cast<std::int32_t>(record.value)));
}

template <typename Text> DisplayCodes decode(const Text& text)
{
    const std::size_t marker = startMarker(text);
    // Index 0 stands for "no record".
    std::array<Record, recordCount + 1> records;
    int failed = 0;
    if (const DecodeError error = readRecords(text, marker, records, failed);
        error != DecodeError::None) {
        const std::size_t base = recordBase(marker, failed);
        return failure(error, failed,
                       error == DecodeError::SlopeFieldNotHex ? fieldText(text, base, slopeOrder)
                                                              : fieldText(text, base, valueOrder));
    }
    const std::string_view typeCharacter = text.at(marker + 3);
    const DisplayLines lines = displayLines(typeCharacter);
    if (!lines.line1.ok() || !lines.line2.ok()) {
        const bool mismatch = lines.line1.error == TypeError::TypeMismatch;
        return failure(mismatch ? DecodeError::TypeNotDigit : DecodeError::TypeOutOfRange, 0,
                       std::string(typeCharacter));
    }
    DisplayCodes codes;
    writeCodes(records, lines.line1.number(), codes.slope1, codes.offset1);
    writeCodes(records, lines.line2.number(), codes.slope2, codes.offset2);
    return codes;
}

} // namespace

DisplayCodes decodeMemory(std::string_view memoryText)
{
    if (memoryText.empty())
        return failure(DecodeError::EmptyText, 0, {});
    if (isAscii(memoryText))
        return decode(AsciiText(memoryText));
    return decode(IndexedText(memoryText));
}

} // namespace quarvet::instrument
