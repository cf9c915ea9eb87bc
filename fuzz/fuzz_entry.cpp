// The entry conversion and both checks on arbitrary entry texts and separators.
#include "calc/calculation.h"
#include "fuzz_input.h"
#include "messages/messages.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace quarvet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const calc::Separators separators = fuzz::takeSeparators(data);
    const std::vector<std::string> texts = fuzz::splitPieces(data, 4);

    for (const std::string& text : texts) {
        const calc::EntryReading value = calc::readEntry(text, separators);
        if (value.isNumber() && !std::isfinite(value.value))
            std::abort();
    }
    const calc::Calculation main = calc::calculateCodes(
        {texts[0], texts[1], texts[2], texts[3]}, separators, calc::probeSeparators(separators));
    const calc::FieldText setupEntries[] = {{calc::EntryField::Target1, texts[0]},
                                            {calc::EntryField::Target2, texts[1]}};
    const calc::EntryCheck setup = calc::checkEntries(setupEntries, separators, std::nullopt);
    if (setup.foreignSeparator)
        std::abort();
    // Both checks agree on the targets.
    for (const calc::EntryField field : setup.wrongFields)
        if (std::find(main.check.wrongFields.begin(), main.check.wrongFields.end(), field) ==
            main.check.wrongFields.end())
            std::abort();
    if (main.calculated()) {
        // Whatever the check passes, the calculation reads; it may refuse, never fail silently.
        const calc::CalcResult& result = main.result;
        if (result.ok() && (result.slopeCode.size() != 4 || result.offsetCode.size() != 4))
            std::abort();
        if (!result.ok() && messages::calculationFault(result.fault).empty())
            std::abort();
    } else if (messages::wrongEntriesReport(main.check.wrongFields).empty()) {
        std::abort();
    }
    return 0;
}
