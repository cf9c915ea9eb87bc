// The memory text decoder and the type table on arbitrary texts.
#include "instrument/memorydecoder.h"
#include "instrument/typetable.h"

#include <cstdlib>
#include <string_view>

using namespace quarvet::instrument;

namespace {

bool isCodeOrEmpty(const std::string& code)
{
    if (code.empty())
        return true;
    if (code.size() != 4)
        return false;
    for (char c : code)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const DisplayCodes codes = ReadTyp(text);
    if (codes.ok()) {
        // Offset codes are always formed; slope codes are copied as stored.
        if (!isCodeOrEmpty(codes.offset1) || !isCodeOrEmpty(codes.offset2))
            std::abort();
    } else if (!codes.slope1.empty() || !codes.offset1.empty() || !codes.slope2.empty() ||
               !codes.offset2.empty() || describeDecodeError(codes).empty()) {
        std::abort();
    }
    for (const char* name : {"TypName", "Line1", "Line2", "TypFaktor", "line1"}) {
        const TypeConstant constant = ReadTypConst(text, name);
        if (!constant.ok() && constant.value)
            std::abort();
    }
    return 0;
}
