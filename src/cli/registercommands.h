#pragma once

#include "recordcommands.h"

#include <string>
#include <vector>

namespace quarvet::cli {

// quarvet-cli lab show | set, the laboratory's settings kept in the store; and references
// add | withdraw | list | show, the register of reference standards.
CommandTable registerCommands();

} // namespace quarvet::cli
