#pragma once

#include "calc/entry.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace quarvet::cli {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Runs quarvet-cli with `args` (without the program name) in a locale given by its
// separators; returns the exit code.
int run(const std::vector<std::string>& args, const calc::Separators& separators, Streams streams);

// Splits one input line into its blank- or tab-separated words.
std::vector<std::string> splitWords(const std::string& line);

} // namespace quarvet::cli
