// quarvet-cli's line-reading commands on arbitrary standard input.
#include "cli/cli.h"
#include "fuzz_input.h"

#include <cstdlib>

using namespace quarvet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const calc::Separators separators = fuzz::takeSeparators(data);
    const std::string input(data);
    // A byte-order mark at the start is no part of any line.
    const std::string_view text =
        data.starts_with("\xEF\xBB\xBF") ? data.substr(3) : std::string_view(input);
    std::size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++lines;
    for (const char* command : {"calc", "decode", "value"}) {
        cli::StringSource in(input);
        cli::StringSink out;
        cli::StringSink err;
        const int status = cli::run({command}, separators, {in, out, err});
        if (status != cli::success && status != cli::failure)
            std::abort();
        // Exactly one output line for every input line.
        std::size_t printed = 0;
        for (char c : out.text())
            printed += c == '\n';
        if (printed != lines)
            std::abort();
    }
    for (const std::string& word : cli::splitWords(input))
        if (word.empty() || word.find_first_of(" \t") != std::string::npos)
            std::abort();
    return 0;
}
