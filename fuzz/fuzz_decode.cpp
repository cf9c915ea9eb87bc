// The memory text decoder and the type table on arbitrary texts.
#include "instrument/memorydecoder.h"
#include "instrument/typetable.h"
#include "messages/messages.h"

#include <cstdlib>
#include <string_view>

using namespace quarvet::instrument;

namespace {

bool isCodeOrEmpty(const std::string& code, bool lowerCaseToo)
{
    if (code.empty())
        return true;
    if (code.size() != 4)
        return false;
    for (char c : code)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
              (lowerCaseToo && c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// A message may quote the text, but never a byte a terminal would act on.
bool isPrintable(const std::string& message)
{
    for (char c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const DisplayCodes codes = decodeMemory(text);
    if (codes.ok()) {
        // Offset codes are always formed; slope codes are copied as stored, digits checked.
        if (!isCodeOrEmpty(codes.offset1, false) || !isCodeOrEmpty(codes.offset2, false) ||
            !isCodeOrEmpty(codes.slope1, true) || !isCodeOrEmpty(codes.slope2, true))
            std::abort();
    } else if (!codes.slope1.empty() || !codes.offset1.empty() || !codes.slope2.empty() ||
               !codes.offset2.empty() || quarvet::messages::decodeFault(codes).empty() ||
               !isPrintable(quarvet::messages::decodeFault(codes))) {
        std::abort();
    }
    for (const char* name : {"TypName", "Line1", "Line2", "TypFaktor", "line1"}) {
        const TypeConstant constant = typeConstant(text, name);
        if (!constant.ok() && constant.value)
            std::abort();
    }
    return 0;
}
