#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quarvet::instrument {

enum class TypeError { None, OutOfRange, TypeMismatch };

struct TypeConstant {
    TypeError error = TypeError::None;
    std::optional<std::int16_t> value; // no value: the empty entry (0 as a number, "" as text)

    bool ok() const { return error == TypeError::None; }
    int number() const { return value.value_or(0); }
};

// One constant of an instrument type: "TypName", "Line1", "Line2" or "TypFaktor" (exact and
// case-sensitive; any other name gives the empty value without looking at the type number).
// A fractional type number is rounded half to even.
TypeConstant typeConstant(double typeNumber, std::string_view constName);
// The type number as text, as a memory dump holds it: digits, with blanks and a sign allowed.
TypeConstant typeConstant(std::string_view typeNumber, std::string_view constName);

} // namespace quarvet::instrument
