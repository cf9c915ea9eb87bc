#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarvet::calc {

// The length in bytes of the character that starts at `pos`: a well-formed UTF-8 sequence, or
// a single byte where the bytes are not one (each such byte then counts as a character).
std::size_t utf8CharacterLength(std::string_view text, std::size_t pos);

// The text with every character that a terminal would act on rather than show written as an
// escape: control characters and malformed bytes as \xHH, C1 controls and the invisible
// direction and format marks as \uHHHH, and the backslash itself doubled, so that a message
// that quotes hostile input can neither move the cursor nor be mistaken for another text.
std::string printable(std::string_view text);

// Whether `c` is a character that shows nothing but moves or turns the text around it: a
// zero-width character, a line or paragraph separator, a direction control.
bool isInvisibleMark(char32_t c);

} // namespace quarvet::calc
