#pragma once

#include "cli/command.h"

#include <vector>

// What shows the records as they were: records verify walks the chain and every issue and
// kept row beside it, records witness writes the chain's head to a file kept outside the
// store, which verify holds the chain against later.
namespace quarvet::cli {

// The store contradicts its chain, a seal, an issue, a witness or a certificate.
inline constexpr int storeContradicted = 4;

// records verify and records witness.
std::vector<Command> chainCommands();

} // namespace quarvet::cli
