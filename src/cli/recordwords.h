#pragma once

#include "cli/run.h"

#include "calc/entry.h"

#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

// The words of the records, lab and references commands: options by their exact names, texts
// and numbers read as the entries are.
namespace quarvet::cli {

std::string said(const QString& text);
// Says `why` on standard error; the exit status of a refusal.
int refusal(const QString& why, Output& io);

// An option's words: its values in order. Options are known by their exact names.
using Options = std::map<std::string, std::vector<std::string>>;

struct OptionShape {
    const char* name;
    int values;           // how many words follow it
    bool repeats = false; // given once for each of several values, e.g. a reading
};

// Reads `words` as options of the given shapes; an unknown option, one given twice that does
// not repeat, or one without its values is wrong usage. With `rest`, the options end at the
// first word that is none, and the words from there are left in `rest`; without it, such a
// word is wrong usage.
std::optional<Options> readOptions(const std::vector<std::string>& words,
                                   const std::vector<OptionShape>& shapes, std::string& fault,
                                   std::vector<std::string>* rest = nullptr);

// A word as text, and whether it is valid UTF-8.
QString text(const std::string& word);
bool validUtf8(const std::string& word);

// Reads a number the way the entries are read; false, with the report, when it is none.
bool numberOf(const std::string& label, const std::string& word, const calc::Separators& separators,
              double& value, Output& io);

} // namespace quarvet::cli
