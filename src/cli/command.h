#pragma once

#include "options.h"
#include "run.h"

#include "calc/entry.h"

#include <functional>
#include <string>
#include <vector>

// The command line's commands as one table: each command's name, its usage, the options it
// takes and what runs it. The dispatch, `--help` of a command and the usage all come from the
// table, so that a new command is one entry (and one file) and says its own usage.
namespace quarvet::cli {

struct RecordsContext; // the store and what its commands need, opened by the program
struct Command;
struct CommandTable;

// What a command is run with.
struct Invocation {
    const CommandTable& table;
    const Command& command;
    const std::vector<std::string>& words; // after the command's name
    const calc::Separators& separators;
    ByteSource& in;
    Output& io;
    RecordsContext* store = nullptr; // for a command of the store, opened for it
};

// The store a command of the store runs with.
inline RecordsContext& storeOf(const Invocation& run)
{
    return *run.store;
}

struct Command {
    std::string name; // "calc", or a word and its subcommand: "records add"
    // Its usage, one block a form of it, each as "quarvet-cli NAME ..." with the lines that
    // go on with it; none where another command's block of its group tells it.
    std::vector<std::string> usage;
    // The options it takes, read by readOptions or readWords from here; none for a command
    // whose words are entries or names only.
    std::vector<OptionShape> options;
    bool usesStore = false;
    std::function<int(const Invocation&)> run;
};

// A word whose commands are its subcommands ("records"), and what is said when none is named.
struct CommandGroup {
    std::string name;
    std::string fault;
};

struct CommandTable {
    std::vector<Command> commands;
    std::vector<CommandGroup> groups;

    CommandTable& operator+=(const CommandTable& more);
};

// The table's usage, every block in order, then how to ask for help: "Usage: ..." lines.
std::string usageOf(const CommandTable& table);
// The usage of the command `words` begin with, and of its subcommand when one is named and the
// table knows it: "Usage: " and its blocks; empty for a command it does not know.
std::string usageOf(const CommandTable& table, const std::vector<std::string>& words);

// A usage block's lines after its first begin here.
inline constexpr const char* usageContinued = "\n                   ";

// Wrong usage that no fault of the command names better: the whole usage, exit 2.
int wrongUsage(const Invocation& invocation);

// Opens the store for a command that uses it and runs `command` with it; the exit status.
using StoreOpener = std::function<int(const std::function<int(RecordsContext&)>& command)>;

// The calculator's commands: calc, value, decode, read, types, check, fit, verify, budget.
const CommandTable& calculatorCommands();

} // namespace quarvet::cli
