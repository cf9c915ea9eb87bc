#pragma once

#include "cli.h"
#include "io.h"

#include "calc/utf8text.h"

#include <array>
#include <string>
#include <string_view>

// What the commands of one run share: where they write, and how they read lines.
namespace quarvet::cli {

// What one run writes to: standard output in large blocks, standard error at once.
struct Output {
    OutputBuffer out;
    OutputBuffer err;

    void sayError(std::string_view text)
    {
        err << text;
        err.flush();
    }
};

// Wrong usage: the fault on standard error, exit code 2.
inline int usageFault(const std::string& fault, Output& io)
{
    io.sayError("quarvet-cli: " + fault + "\n");
    return usageError;
}

inline std::string_view withoutCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// Reads every line of `in` and hands it to `answer`, which writes one output line and says
// whether it succeeded. A line over the limit is answered for it. Returns the exit code.
template <typename Answer> int forEachLine(ByteSource& in, Output& io, Answer answer)
{
    LineReader reader(in);
    int status = success;
    std::string_view line;
    for (long number = 1;; ++number) {
        switch (reader.next(line)) {
        case LineReader::Status::Line:
            if (!answer(withoutCarriageReturn(line), number))
                status = failure;
            continue;
        case LineReader::Status::TooLong:
            io.out << "error: line " << number << " is longer than 1 MiB\n";
            status = failure;
            continue;
        case LineReader::Status::Failed:
            io.out.flush();
            io.sayError("quarvet-cli: cannot read " + calc::printable(in.name()) + ": " +
                        in.failure() + "\n");
            return failure;
        case LineReader::Status::End:
            return status;
        }
    }
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The first words of a line (as many as `words` holds), split at blanks and tabs, and how
// many words it has. A loop of its own: this runs for every line of a large input.
template <std::size_t Count>
std::size_t firstWords(std::string_view line, std::array<std::string_view, Count>& words)
{
    std::size_t count = 0;
    const std::size_t size = line.size();
    std::size_t pos = 0;
    for (;;) {
        while (pos < size && isBlank(line[pos]))
            ++pos;
        if (pos == size)
            return count;
        const std::size_t start = pos;
        while (pos < size && !isBlank(line[pos]))
            ++pos;
        if (count < Count)
            words[count] = line.substr(start, pos - start);
        ++count;
    }
}

} // namespace quarvet::cli
