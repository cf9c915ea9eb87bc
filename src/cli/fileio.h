#pragma once

#include "io.h"

#include <string>

namespace quarvet::cli {

// What both ends of a file descriptor keep: the descriptor, its name for messages and the
// error of its last failed use.
struct DescriptorState {
    int descriptor;
    std::string name;
    int error = 0;

    std::string failure() const;
};

// Input from an open file descriptor; an interrupted read is retried, any other error is a
// failure, never the end of the input.
class DescriptorSource final : public ByteSource {
public:
    DescriptorSource(int descriptor, std::string name) : state_{descriptor, std::move(name)} {}
    ~DescriptorSource() override;
    // Opens `path` for reading; on failure `failure()` says why and every read fails.
    static std::unique_ptr<DescriptorSource> open(const std::string& path);

    std::ptrdiff_t read(char* buffer, std::size_t size) override;
    std::string failure() const override { return state_.failure(); }
    std::string name() const override { return state_.name; }

private:
    DescriptorState state_;
    bool owned_ = false;
};

// Output to an open file descriptor, written whole (short writes continued).
class DescriptorSink final : public ByteSink {
public:
    DescriptorSink(int descriptor, std::string name) : state_{descriptor, std::move(name)} {}
    bool write(std::string_view data) override;
    std::string failure() const override { return state_.failure(); }
    std::string name() const override { return state_.name; }

private:
    DescriptorState state_;
};

// Makes sure descriptors 0, 1 and 2 are open before anything else opens a file, so that no
// file the program opens becomes its standard input or output by accident. A closed one is
// taken by a descriptor that fails every use: reading a closed standard input stays an
// error, writing to a closed standard output stays a failed write, and a file name that
// reaches a closed stream through /dev/stdin or /proc/self/fd does not read as empty.
void occupyClosedStandardStreams();

} // namespace quarvet::cli
