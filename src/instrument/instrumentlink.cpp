#include "instrumentlink.h"

namespace quarvet::instrument {

std::string readInstrumentMemory()
{
    return "nicht in BASIS Version";
}

DisplayCodes readAndDecodeInstrument()
{
    return decodeMemory(readInstrumentMemory());
}

} // namespace quarvet::instrument
