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
struct CommandTable;
struct RecordsContext;
using StoreOpener = std::function<int(const std::function<int(RecordsContext&)>& command)>;
const CommandTable& calculatorCommands();

// Runs quarvet-cli with `args` (without the program name) in a locale given by its
// separators, with the commands of `table` (the calculator's unless given), and the store
// `openStore` opens for those that use it; returns the exit code. Every write is checked:
// output that could not be written ends the run with exit code 1, and so does input that
// could not be read.
int run(const std::vector<std::string>& args, const calc::Separators& separators, Streams streams,
        const CommandTable& table = calculatorCommands(), const StoreOpener& openStore = {});

// Splits one input line into its blank- or tab-separated words.
std::vector<std::string> splitWords(const std::string& line);

} // namespace quarvet::cli
