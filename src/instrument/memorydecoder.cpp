#include "memorydecoder.h"

#include "calc/calibration.h"
#include "typetable.h"

#include <array>
#include <cstdint>

namespace quarvet::instrument {
namespace {

constexpr std::size_t recordLength = 18;
constexpr int recordCount = 4;

// Positions count from 1; a position outside the text reads as "".
std::string_view charAt(std::string_view text, std::size_t position)
{
    if (position < 1 || position > text.size())
        return {};
    return text.substr(position - 1, 1);
}

std::size_t firstPosition(std::string_view text, char c)
{
    const std::size_t at = text.find(c);
    return at == std::string_view::npos ? 0 : at + 1;
}

// The start marker: the first "0", unless a "1" comes before it. A text with a "0" but no
// "1" gets 0: the rule compares positions, and no "1" counts as position 0.
std::size_t startMarker(std::string_view text)
{
    const std::size_t zero = firstPosition(text, '0');
    const std::size_t one = firstPosition(text, '1');
    return zero > one ? one : zero;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

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

struct Record {
    std::string slopeCode;
    std::string offsetCode;
};

// The value field is four byte pairs, low byte first; read high byte first as a signed
// 32-bit number.
DecodeError readOffset(std::string_view text, std::size_t base, Record& record, std::string& found)
{
    constexpr std::array<std::size_t, 8> order{12, 13, 10, 11, 8, 9, 6, 7};
    std::uint32_t bits = 0;
    found.clear();
    for (std::size_t offset : order)
        found += charAt(text, base + offset);
    if (found.size() != order.size())
        return DecodeError::ValueFieldMissing;
    for (char c : found) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return DecodeError::ValueFieldNotHex;
        bits = bits << 4 | static_cast<std::uint32_t>(digit);
    }
    record.offsetCode = calc::coefficientCode(thousandthsRounded(static_cast<std::int32_t>(bits)));
    return DecodeError::None;
}

// The slope is stored as the code itself, low byte first: swapping the pairs is all.
std::string slopeCode(std::string_view text, std::size_t base)
{
    std::string code;
    for (std::size_t offset : {2, 3, 0, 1})
        code += charAt(text, base + offset);
    return code;
}

DisplayCodes failure(DecodeError error, int record, std::string found)
{
    DisplayCodes codes;
    codes.error = error;
    codes.record = record;
    codes.found = std::move(found);
    return codes;
}

} // namespace

DisplayCodes ReadTyp(std::string_view eepromDaten)
{
    if (eepromDaten.empty())
        return failure(DecodeError::EmptyText, 0, {});
    const std::size_t marker = startMarker(eepromDaten);
    const std::string typeCharacter(charAt(eepromDaten, marker + 3));

    // Index 0 stands for "no record" and stays empty.
    std::array<Record, recordCount + 1> records;
    for (int n = 1; n <= recordCount; ++n) {
        const std::size_t base = marker + recordLength * static_cast<std::size_t>(n);
        records[n].slopeCode = slopeCode(eepromDaten, base);
        std::string found;
        if (const DecodeError error = readOffset(eepromDaten, base, records[n], found);
            error != DecodeError::None)
            return failure(error, n, found);
    }

    const TypeConstant line1 = ReadTypConst(typeCharacter, "Line1");
    const TypeConstant line2 = ReadTypConst(typeCharacter, "Line2");
    if (!line1.ok() || !line2.ok()) {
        const bool mismatch = line1.error == TypeError::TypeMismatch;
        return failure(mismatch ? DecodeError::TypeNotDigit : DecodeError::TypeOutOfRange, 0,
                       typeCharacter);
    }
    DisplayCodes codes;
    codes.slope1 = records[line1.number()].slopeCode;
    codes.offset1 = records[line1.number()].offsetCode;
    codes.slope2 = records[line2.number()].slopeCode;
    codes.offset2 = records[line2.number()].offsetCode;
    return codes;
}

std::string describeDecodeError(const DisplayCodes& codes)
{
    const std::string record = "record " + std::to_string(codes.record);
    switch (codes.error) {
    case DecodeError::None:
        return {};
    case DecodeError::EmptyText:
        return "the memory text is empty";
    case DecodeError::ValueFieldMissing:
        return record + ": the value field is missing (the text ends too early)";
    case DecodeError::ValueFieldNotHex:
        return record + ": the value field \"" + codes.found + "\" is not hexadecimal";
    case DecodeError::TypeNotDigit:
        return codes.found.empty() ? "the type character is missing"
                                   : "the type character \"" + codes.found + "\" is not a digit";
    case DecodeError::TypeOutOfRange:
        return "type " + codes.found + " is not in the type table (0 to 8)";
    }
    return {};
}

std::string ComGet()
{
    return "nicht in BASIS Version";
}

DisplayCodes readInstrument()
{
    return ReadTyp(ComGet());
}

} // namespace quarvet::instrument
