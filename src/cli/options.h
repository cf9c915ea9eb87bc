#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The one reader of every command's options, from the description of each option: its name,
// how many words follow it, whether it may be given again, and which words it takes as its
// values. Options are known by their exact names, so that an entry such as "-5" is never
// taken for one. Plain C++.
namespace quarvet::cli {

// An option's words: its values in order (several times its count for one that repeats).
using Options = std::map<std::string, std::vector<std::string>>;

// Which words an option takes as its values.
enum class ValueWords {
    NotAnOption,  // any word but one of the command's options: "-0.5" is one, "--json" not
    NoDoubleDash, // any word that does not begin with "--"
    AnyWord,      // the next words, whatever they are; their fault says what was given
};

struct OptionShape {
    const char* name;
    int values = 1;       // how many words follow it
    bool repeats = false; // given once for each of several values, e.g. a reading
    ValueWords take = ValueWords::NotAnOption;
    // What it takes, for the fault when its values are missing: "a point number and a
    // reading"; by default "a value" or "N values".
    const char* takes = nullptr;
};

// Where a command's other words (its entries) may stand.
enum class EntryWords {
    None,     // a word that is no option is wrong usage
    AtEnd,    // the options end at the first word that is none
    Anywhere, // among the options, in order
};

struct ReadWords {
    Options options;
    std::vector<std::string> entries;
    std::string fault; // the usage fault; empty when the words read, and then nothing else

    bool ok() const { return fault.empty(); }
};

// Reads `words` as options of the given shapes and entries; an unknown option ("--" and a
// name not among them), one given twice that does not repeat, or one without its values is
// wrong usage.
ReadWords readWords(const std::vector<std::string>& words, const std::vector<OptionShape>& shapes,
                    EntryWords entries);

// The same, with the entries left in `rest` when given (AtEnd) and wrong usage without it.
std::optional<Options> readOptions(const std::vector<std::string>& words,
                                   const std::vector<OptionShape>& shapes, std::string& fault,
                                   std::vector<std::string>* rest = nullptr);

// The one value of an option given once, if it was given.
std::optional<std::string> valueOf(const Options& options, const std::string& name);
// The output format `--format` names, "text" when it is not given; none when it names
// another than text, csv or json (the caller says so, in its own words).
std::optional<std::string> formatOf(const Options& options);

} // namespace quarvet::cli
