#pragma once

#include "run.h"

#include "calc/entry.h"

#include <string>
#include <vector>

namespace quarvet::cli {

// budget: the uncertainty budget of one point from the set-up and the readings taken there,
// as a table or JSON. `args` follow the command's name.
int budgetCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                  Output& io);

} // namespace quarvet::cli
