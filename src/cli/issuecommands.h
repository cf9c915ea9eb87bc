#pragma once

#include "recordcommands.h"

#include <string>
#include <vector>

// records certificate and records issue: a record's certificate printed, and issued once with
// the next number of the laboratory's pattern.
namespace quarvet::cli {

int certificateCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                       RecordsContext& context, Output& io);
int issueCommand(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                 RecordsContext& context, Output& io);

} // namespace quarvet::cli
