#pragma once

#include "recordcommands.h"

namespace quarvet::cli {

// quarvet-cli lab signer add | withdraw | list: who may sign the laboratory's records.
CommandTable signerCommands();

} // namespace quarvet::cli
