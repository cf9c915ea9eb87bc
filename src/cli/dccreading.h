#pragma once

#include "command.h"

// records read-dcc: a DCC read back, this program's or another laboratory's, and with --check
// held value by value against the store.
namespace quarvet::cli {

Command readDccCommandEntry();

} // namespace quarvet::cli
