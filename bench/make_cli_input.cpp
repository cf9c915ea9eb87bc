// Writes realistic input for the command-line throughput comparison: `calc` lines (two
// targets and two indicated values as technicians type them) or instrument memory texts.
// The same seed gives the same file on every machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

void writeCalcLines(long count, std::mt19937_64& random)
{
    std::uniform_int_distribution<int> low(-500, 300);       // tenths of a degree
    std::uniform_int_distribution<int> span(200, 2500);      // tenths of a degree
    std::uniform_int_distribution<int> deviation(-300, 300); // hundredths
    for (long n = 0; n < count; ++n) {
        const double target1 = low(random) / 10.0;
        const double target2 = target1 + span(random) / 10.0;
        const double indicated1 = target1 + deviation(random) / 100.0;
        const double indicated2 = target2 + deviation(random) / 100.0;
        std::printf("%.1f %.1f %.2f %.2f\n", target1, target2, indicated1, indicated2);
    }
}

// A memory text: marker "0" at position 1, type digit at position 4, four records of 18
// characters from position 19 on, each a slope code and a value, low byte first.
void writeMemoryTexts(long count, std::mt19937_64& random)
{
    std::uniform_int_distribution<int> type(0, 8);
    std::uniform_int_distribution<unsigned> slope(0x2600, 0x2800);
    std::uniform_int_distribution<long> value(-2000000, 2000000);
    char text[91];
    for (long n = 0; n < count; ++n) {
        std::string line = "000" + std::to_string(type(random)) + "00000000000000";
        for (int record = 0; record < 4; ++record) {
            const unsigned code = slope(random);
            const auto bits = static_cast<unsigned long>(value(random)) & 0xFFFFFFFFul;
            std::snprintf(text, sizeof text, "%02X%02X00%02lX%02lX%02lX%02lX0000", code & 0xFF,
                          code >> 8, bits & 0xFF, (bits >> 8) & 0xFF, (bits >> 16) & 0xFF,
                          bits >> 24);
            line += text;
        }
        std::puts(line.c_str());
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3 || (std::strcmp(argv[1], "calc") != 0 && std::strcmp(argv[1], "decode") != 0)) {
        std::fprintf(stderr, "Usage: make_cli_input calc|decode LINES\n");
        return 2;
    }
    const long count = std::strtol(argv[2], nullptr, 10);
    std::mt19937_64 random(20261208);
    if (std::strcmp(argv[1], "calc") == 0)
        writeCalcLines(count, random);
    else
        writeMemoryTexts(count, random);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
