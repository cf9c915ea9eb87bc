#pragma once

#include "command.h"

// records sign and records signatures: a record signed by a listed signer whose password is
// asked afresh, and the signatures a record holds.
namespace quarvet::cli {

CommandTable signingCommands();

} // namespace quarvet::cli
