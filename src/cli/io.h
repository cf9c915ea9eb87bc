#pragma once

#include "interface.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quarvet::cli {

// One end of a run's input or output, for messages about it.
class ByteStream : public Interface {
public:
    virtual ~ByteStream() = default;
    // What went wrong with the last read or write.
    virtual std::string failure() const = 0;
    // "standard input" or the file's name.
    virtual std::string name() const = 0;
};

// Where input bytes come from.
class ByteSource : public ByteStream {
public:
    // Up to `size` bytes into `buffer`: the count, 0 at the end of the input, or -1 when the
    // input could not be read (then `failure()` says why).
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
};

// Where output bytes go.
class ByteSink : public ByteStream {
public:
    // Writes all of `data`; false when any of it could not be written (`failure()` says why).
    virtual bool write(std::string_view data) = 0;
};

// A text in memory as input; with `failAfter`, reading fails once that many bytes are read.
class StringSource final : public ByteSource {
public:
    explicit StringSource(std::string_view text, std::size_t failAfter = std::string_view::npos)
        : text_(text), failAfter_(failAfter)
    {
    }
    std::ptrdiff_t read(char* buffer, std::size_t size) override;
    std::string failure() const override { return "Input/output error"; }
    std::string name() const override { return "standard input"; }

private:
    std::string_view text_;
    std::size_t failAfter_;
    std::size_t position_ = 0;
};

// Output collected in memory; with `capacity`, writing past it fails, as on a full disk.
class StringSink final : public ByteSink {
public:
    explicit StringSink(std::string name = "standard output",
                        std::size_t capacity = std::string::npos)
        : name_(std::move(name)), capacity_(capacity)
    {
    }
    bool write(std::string_view data) override;
    std::string failure() const override { return "No space left on device"; }
    std::string name() const override { return name_; }
    const std::string& text() const { return text_; }

private:
    std::string name_;
    std::size_t capacity_;
    std::string text_;
};

// A sink that failed to take some output; it ends the run.
struct WriteFailure {
    std::string sink;
    std::string reason;
};

// Collects output and hands it to its sink in large blocks: a line's worth of writing is a
// copy, not a system call. A failed write throws WriteFailure; nothing is written after it.
class OutputBuffer {
public:
    explicit OutputBuffer(ByteSink& sink, std::size_t capacity = 64 * 1024);
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    OutputBuffer& operator<<(std::string_view text)
    {
        if (text.size() <= capacity_ - used_) {
            text.copy(buffer_.get() + used_, text.size());
            used_ += text.size();
        } else {
            appendLarge(text);
        }
        return *this;
    }
    OutputBuffer& operator<<(char c) { return *this << std::string_view(&c, 1); }
    OutputBuffer& operator<<(long number)
    {
        return *this << std::string_view(std::to_string(number));
    }

    void flush();

private:
    void appendLarge(std::string_view text);

    ByteSink& sink_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

// Reads lines of at most `maxLength` bytes (the line feed, and a carriage return before it,
// not counted) in constant memory, whatever the input: a longer line is reported and passed
// over without being kept. A UTF-8 byte-order mark at the start of the input is skipped.
class LineReader {
public:
    static constexpr std::size_t defaultMaxLength = std::size_t{1} << 20;

    enum class Status {
        Line,    // `line` holds the next line, without its line feed
        TooLong, // the next line was longer than the limit and has been skipped
        End,     // no more input
        Failed,  // the input could not be read; see source().failure()
    };

    explicit LineReader(ByteSource& source, std::size_t maxLength = defaultMaxLength);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The line stays valid until the next call.
    Status next(std::string_view& line);
    const ByteSource& source() const { return source_; }
    std::size_t maxLength() const { return maxLength_; }

private:
    bool fill();
    void skipByteOrderMark();
    Status skipRestOfLine();

    ByteSource& source_;
    std::size_t maxLength_;
    std::size_t fullCapacity_; // the longest line, its line end and one read
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;   // start of the next line
    std::size_t scanned_ = 0; // no line feed in [begin_, scanned_)
    std::size_t end_ = 0;     // end of what was read
    bool atEnd_ = false;
    bool failed_ = false;
    bool started_ = false;
};

} // namespace quarvet::cli
