#pragma once

#include "cli.h"
#include "io.h"

#include "calc/utf8text.h"

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

} // namespace quarvet::cli
