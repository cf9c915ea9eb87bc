#pragma once

#include "memorydecoder.h"

#include <string>

namespace quarvet::instrument {

// What the instrument answers when asked for its memory. This edition has no instrument
// interface: the answer is always the same text, which does not decode.
std::string readInstrumentMemory();

// Reads the instrument and decodes what it answered.
DisplayCodes readAndDecodeInstrument();

} // namespace quarvet::instrument
