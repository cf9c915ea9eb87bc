#include "io.h"

#include <algorithm>
#include <cstring>

namespace quarvet::cli {

std::ptrdiff_t StringSource::read(char* buffer, std::size_t size)
{
    const std::size_t limit = std::min(text_.size(), failAfter_);
    if (position_ >= limit)
        return position_ < text_.size() ? -1 : 0;
    const std::size_t count = std::min(size, limit - position_);
    text_.copy(buffer, count, position_);
    position_ += count;
    return static_cast<std::ptrdiff_t>(count);
}

bool StringSink::write(std::string_view data)
{
    if (data.size() > capacity_ - std::min(capacity_, text_.size()))
        return false;
    text_.append(data);
    return true;
}

OutputBuffer::OutputBuffer(ByteSink& sink, std::size_t capacity)
    : sink_(sink), capacity_(capacity), buffer_(new char[capacity])
{
}

void OutputBuffer::flush()
{
    if (used_ == 0)
        return;
    const std::string_view pending(buffer_.get(), used_);
    used_ = 0;
    if (!sink_.write(pending))
        throw WriteFailure{sink_.name(), sink_.failure()};
}

void OutputBuffer::appendLarge(std::string_view text)
{
    flush();
    if (text.size() <= capacity_) {
        text.copy(buffer_.get(), text.size());
        used_ = text.size();
    } else if (!sink_.write(text)) {
        throw WriteFailure{sink_.name(), sink_.failure()};
    }
}

namespace {
// What is read at a time, as a rule; a line may take the whole limit besides.
constexpr std::size_t blockSize = 64 * 1024;
constexpr std::size_t minimumRead = 4 * 1024;
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
} // namespace

LineReader::LineReader(ByteSource& source, std::size_t maxLength)
    : source_(source), maxLength_(maxLength), fullCapacity_(maxLength + 2 + blockSize),
      capacity_(std::min(fullCapacity_, blockSize)), buffer_(new char[capacity_])
{
}

bool LineReader::fill()
{
    if (atEnd_ || failed_)
        return false;
    if (capacity_ - end_ < minimumRead && begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        scanned_ -= begin_;
        begin_ = 0;
    }
    // Only a line longer than the buffer makes it grow, up to the limit and one block.
    if (capacity_ - end_ < minimumRead && capacity_ < fullCapacity_) {
        const std::size_t grown = std::min(fullCapacity_, 2 * capacity_);
        std::unique_ptr<char[]> larger(new char[grown]);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ = grown;
    }
    const std::ptrdiff_t count = source_.read(buffer_.get() + end_, capacity_ - end_);
    if (count < 0) {
        failed_ = true;
        return false;
    }
    if (count == 0) {
        atEnd_ = true;
        return false;
    }
    end_ += static_cast<std::size_t>(count);
    return true;
}

void LineReader::skipByteOrderMark()
{
    started_ = true;
    // A pipe may hand over the mark a byte at a time.
    while (end_ - begin_ < byteOrderMark.size() &&
           std::string_view(buffer_.get() + begin_, end_ - begin_) ==
               byteOrderMark.substr(0, end_ - begin_) &&
           fill()) {
    }
    if (std::string_view(buffer_.get() + begin_, end_ - begin_).starts_with(byteOrderMark)) {
        begin_ += byteOrderMark.size();
        scanned_ = std::max(scanned_, begin_);
    }
}

LineReader::Status LineReader::next(std::string_view& line)
{
    if (!started_) {
        fill();
        skipByteOrderMark();
    }
    for (;;) {
        const char* data = buffer_.get();
        if (const void* feed = std::memchr(data + scanned_, '\n', end_ - scanned_)) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(feed) - data);
            // A carriage return before the line feed ends the line; it is no part of it.
            const bool crlf = at > begin_ && data[at - 1] == '\r';
            if (at - begin_ - (crlf ? 1 : 0) > maxLength_) {
                begin_ = scanned_ = at + 1;
                return Status::TooLong;
            }
            line = std::string_view(data + begin_, at - begin_);
            begin_ = scanned_ = at + 1;
            return Status::Line;
        }
        scanned_ = end_;
        // One byte more may still be the carriage return of a line of full length.
        if (end_ - begin_ > maxLength_ + 1 ||
            (end_ - begin_ == maxLength_ + 1 && data[end_ - 1] != '\r'))
            return skipRestOfLine();
        if (!fill()) {
            if (failed_)
                return Status::Failed;
            if (begin_ == end_)
                return Status::End;
            // The last line, without a line feed.
            line = std::string_view(data + begin_, end_ - begin_);
            begin_ = scanned_ = end_;
            return Status::Line;
        }
    }
}

LineReader::Status LineReader::skipRestOfLine()
{
    for (;;) {
        begin_ = scanned_ = end_ = 0;
        if (!fill())
            return failed_ ? Status::Failed : Status::TooLong;
        if (const void* feed = std::memchr(buffer_.get(), '\n', end_)) {
            begin_ = scanned_ =
                static_cast<std::size_t>(static_cast<const char*>(feed) - buffer_.get()) + 1;
            return Status::TooLong;
        }
    }
}

} // namespace quarvet::cli
