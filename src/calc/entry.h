#pragma once

#include <string>
#include <string_view>

namespace quarvet::calc {

// What the user's locale contributes to number entry, each as UTF-8. Either may be several
// bytes long (U+202F, U+066B) or empty when the locale has none.
struct Separators {
    std::string decimal;
    std::string group;
};

enum class EntryStatus { Number, NotANumber, OutOfRange };

struct EntryReading {
    EntryStatus status = EntryStatus::NotANumber;
    double value = 0.0;

    bool isNumber() const { return status == EntryStatus::Number; }
};

// The number-entry conversion of every temperature the user types. The locale gives only the
// two separators; the grammar is the program's own, so that every window, the command-line
// tool and the tests read a text the same way. The value is the double nearest to the text.
EntryReading readEntry(std::string_view text, const Separators& separators);

// Shortest text that reads back to the same double, with a point as decimal separator.
std::string shortestText(double value);

} // namespace quarvet::calc
