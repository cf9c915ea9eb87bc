#pragma once

#include <string>
#include <string_view>

namespace quarvet::instrument {

enum class DecodeError {
    None,
    EmptyText,         // nothing to decode; not a failure of the text
    ValueFieldMissing, // the text ends inside a record's value field
    ValueFieldNotHex,  // a value field holds a character that is no hexadecimal digit
    SlopeFieldNotHex,  // a slope field holds a character that is no hexadecimal digit
    TypeNotDigit,      // the type character is not a digit
    TypeOutOfRange,    // the type number is not in the type table
};

struct DisplayCodes {
    DecodeError error = DecodeError::None;
    // The codes of display lines 1 and 2; "" where the line shows nothing.
    std::string slope1;
    std::string offset1;
    std::string slope2;
    std::string offset2;
    // What the failure concerns: the record (1 to 4), and the characters found.
    int record = 0;
    std::string found;

    bool ok() const { return error == DecodeError::None; }
};

// Decodes a text dump of an instrument's memory into the coefficient codes of its two display
// lines. On a failure no code is produced. Positions in the text count characters (UTF-8),
// not bytes.
DisplayCodes decodeMemory(std::string_view memoryText);

} // namespace quarvet::instrument
