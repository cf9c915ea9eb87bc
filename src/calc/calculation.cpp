#include "calculation.h"

#include <array>

namespace quarvet::calc {

Calculation calculateCodes(const EntryTexts& texts, const Separators& separators,
                           const std::optional<SeparatorPair>& lookFor)
{
    const std::array<FieldText, 4> entries{{{EntryField::Target1, texts.target1},
                                            {EntryField::Target2, texts.target2},
                                            {EntryField::Indicated1, texts.indicated1},
                                            {EntryField::Indicated2, texts.indicated2}}};
    Calculation calculation;
    std::array<double, 4>& values = calculation.values;
    for (std::size_t n = 0; n < entries.size(); ++n)
        values[n] = checkEntry(entries[n], separators, lookFor, calculation.check).value;
    if (calculation.calculated())
        calculation.result = calibrate(values[0], values[1], values[2], values[3]);
    return calculation;
}

} // namespace quarvet::calc
