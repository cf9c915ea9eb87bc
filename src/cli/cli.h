#pragma once

#include "calc/entry.h"
#include "io.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quarvet::cli {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

struct Streams {
    ByteSource& in;
    ByteSink& out;
    ByteSink& err;
};

struct Output;

// Commands beyond calc/ and instrument/ (the records, which need Qt's database and PDF code),
// by name; each gets the words after its name and the run's output.
using MoreCommands =
    std::map<std::string, std::function<int(const std::vector<std::string>&, Output&)>>;

// Runs quarvet-cli with `args` (without the program name) in a locale given by its
// separators; returns the exit code. Every write is checked: output that could not be
// written ends the run with exit code 1, and so does input that could not be read.
int run(const std::vector<std::string>& args, const calc::Separators& separators, Streams streams,
        const MoreCommands& more = {});

// Splits one input line into its blank- or tab-separated words.
std::vector<std::string> splitWords(const std::string& line);

} // namespace quarvet::cli
