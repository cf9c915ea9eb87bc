#pragma once

#include "io.h"

#include <string>

namespace quarvet::cli {

// Input from an open file descriptor; an interrupted read is retried, any other error is a
// failure, never the end of the input.
class DescriptorSource final : public ByteSource {
public:
    DescriptorSource(int descriptor, std::string name);
    ~DescriptorSource() override;
    // Opens `path` for reading; on failure `failure()` says why and every read fails.
    static std::unique_ptr<DescriptorSource> open(const std::string& path);

    std::ptrdiff_t read(char* buffer, std::size_t size) override;
    std::string failure() const override;
    std::string name() const override { return name_; }

private:
    int descriptor_;
    std::string name_;
    int error_ = 0;
    bool owned_ = false;
};

// Output to an open file descriptor, written whole (short writes continued).
class DescriptorSink final : public ByteSink {
public:
    DescriptorSink(int descriptor, std::string name);
    bool write(std::string_view data) override;
    std::string failure() const override;
    std::string name() const override { return name_; }

private:
    int descriptor_;
    std::string name_;
    int error_ = 0;
};

// Makes sure descriptors 0, 1 and 2 are open before anything else opens a file, so that no
// file the program opens becomes its standard input or output by accident. A closed one is
// taken by a descriptor that fails every use: reading a closed standard input stays an
// error, writing to a closed standard output stays a failed write.
void occupyClosedStandardStreams();

} // namespace quarvet::cli
