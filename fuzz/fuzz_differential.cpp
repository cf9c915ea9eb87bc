// Every text the entry conversion reads as a number in a point locale must give the same
// double, bit for bit, as strtod in the "C" locale; and the coefficient code must be the low
// 16 bits of the floor of every double that fits.
#include "calc/calibration.h"
#include "calc/entry.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace quarvet;

namespace {

void checkCode(double value, int scale)
{
    const auto units = calc::scaledFloor(value, scale);
    const double floored = std::floor(value * scale);
    const bool fits = floored >= -2147483648.0 && floored <= 2147483647.0;
    if (units.has_value() != fits)
        std::abort();
    if (!units)
        return;
    char expected[8];
    std::snprintf(expected, sizeof expected, "%04X",
                  static_cast<unsigned>(static_cast<std::int64_t>(floored) & 0xFFFF));
    if (calc::coefficientCode(*units) != expected)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    if (text.find('\0') != std::string::npos)
        return 0;
    const calc::EntryReading value = calc::readEntry(text, {".", ","});
    if (!value.isNumber())
        return 0;
    // strtod knows no group separators.
    std::string plain;
    for (char c : text)
        if (c != ',')
            plain += c;
    const double reference = std::strtod(plain.c_str(), nullptr);
    if (std::memcmp(&reference, &value.value, sizeof reference) != 0) {
        std::fprintf(stderr, "differs: \"%s\"\n", text.c_str());
        std::abort();
    }
    checkCode(value.value, 1);
    checkCode(value.value, calc::slopeScale);
    checkCode(value.value, calc::offsetScale);
    return 0;
}
