#pragma once

#include "recordcommands.h"

#include <string>
#include <vector>

namespace quarvet::cli {

// quarvet-cli lab show | set: the laboratory's settings kept in the store. `args` follow the
// word "lab".
int labCommand(const std::vector<std::string>& args, RecordsContext& context, Output& io);

// quarvet-cli references add | withdraw | list | show: the register of reference standards.
// `args` follow the word "references".
int referencesCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                      RecordsContext& context, Output& io);

} // namespace quarvet::cli
