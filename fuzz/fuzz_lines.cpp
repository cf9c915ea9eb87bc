// The line reader against a plain split of the same bytes: the same lines, a line over the
// limit reported once, the byte-order mark skipped only at the very start, whatever sizes
// the reads come in. The limit is small here so that short inputs reach it.
#include "cli/io.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quarvet;

namespace {

// Hands out the text in reads of the sizes the fuzzer chose, 1 to 16 bytes.
class ChunkedSource final : public cli::ByteSource {
public:
    ChunkedSource(std::string_view text, std::string_view sizes) : text_(text), sizes_(sizes) {}

    std::ptrdiff_t read(char* buffer, std::size_t size) override
    {
        std::size_t chunk = sizes_.empty() ? 7 : 1 + static_cast<unsigned char>(sizes_[0]) % 16;
        if (!sizes_.empty())
            sizes_.remove_prefix(1);
        chunk = std::min<std::size_t>({chunk, size, text_.size() - position_});
        text_.copy(buffer, chunk, position_);
        position_ += chunk;
        return static_cast<std::ptrdiff_t>(chunk);
    }
    std::string failure() const override { return {}; }
    std::string name() const override { return "fuzz input"; }

private:
    std::string_view text_;
    std::string_view sizes_;
    std::size_t position_ = 0;
};

struct Expected {
    bool tooLong;
    std::string line;
};

std::vector<Expected> plainSplit(std::string_view text, std::size_t limit)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<Expected> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        // A carriage return at the end is part of the line ending, not of its length.
        const bool tooLong = line.size() - (line.ends_with('\r') ? 1 : 0) > limit;
        lines.push_back({tooLong, tooLong ? std::string() : std::string(line)});
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    if (data.size() < 2)
        return 0;
    const std::size_t limit = 1 + static_cast<unsigned char>(data[0]) % 64;
    const std::size_t sizeCount = static_cast<unsigned char>(data[1]) % 32;
    data.remove_prefix(2);
    const std::string_view sizes = data.substr(0, std::min(sizeCount, data.size()));
    data.remove_prefix(sizes.size());

    ChunkedSource source(data, sizes);
    cli::LineReader reader(source, limit);
    const std::vector<Expected> expected = plainSplit(data, limit);
    std::string_view line;
    for (const Expected& want : expected) {
        const auto status = reader.next(line);
        if (want.tooLong ? status != cli::LineReader::Status::TooLong
                         : status != cli::LineReader::Status::Line || line != want.line)
            std::abort();
    }
    if (reader.next(line) != cli::LineReader::Status::End)
        std::abort();
    return 0;
}
