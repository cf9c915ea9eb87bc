// The entry conversion and both checks on arbitrary entry texts and separators.
#include "calc/calibration.h"
#include "calc/check.h"
#include "fuzz_input.h"

#include <cmath>
#include <cstdlib>

using namespace quarvet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const calc::Separators separators = fuzz::takeSeparators(data);
    const std::vector<std::string> texts = fuzz::splitPieces(data, 4);

    for (const std::string& text : texts) {
        const calc::EntryValue value = calc::ValConv(text, separators);
        if (value.isNumber() && !std::isfinite(value.value))
            std::abort();
    }
    const calc::LabelledEntry entries[] = {{calc::labelTarget1, texts[0]},
                                           {calc::labelTarget2, texts[1]},
                                           {calc::labelIndicated1, texts[2]},
                                           {calc::labelIndicated2, texts[3]}};
    const calc::CheckReport main = calc::checkMainEntries(entries, separators);
    const calc::CheckReport setup =
        calc::checkSetupEntries(std::span(entries).first(2), separators);
    if (!setup.separatorWarning.empty())
        std::abort();
    if (main.wrongEntries.empty()) {
        // Whatever the check passes, the calculation reads; it may refuse, never fail silently.
        const calc::CalcResult result =
            calc::calibrateEntries({texts[0], texts[1], texts[2], texts[3]}, separators);
        if (result.fault == calc::CalcFault::UnreadableEntry)
            std::abort();
        if (result.ok() && (result.slopeCode.size() != 4 || result.offsetCode.size() != 4))
            std::abort();
        if (!result.ok() && calc::describeFault(result).empty())
            std::abort();
    }
    return 0;
}
