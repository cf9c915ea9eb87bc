#include "fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quarvet::cli {
namespace {

#ifdef _WIN32
long readSome(int descriptor, char* buffer, std::size_t size)
{
    return ::_read(descriptor, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 30)));
}
long writeSome(int descriptor, const char* data, std::size_t size)
{
    return ::_write(descriptor, data, static_cast<unsigned>(std::min<std::size_t>(size, 1 << 30)));
}
#else
long readSome(int descriptor, char* buffer, std::size_t size)
{
    return ::read(descriptor, buffer, size);
}
long writeSome(int descriptor, const char* data, std::size_t size)
{
    return ::write(descriptor, data, size);
}
#endif

// Which of descriptors 0, 1 and 2 were closed when the program started.
bool closedAtStart[3] = {false, false, false};

// Whether `path` names one of the program's own standard streams that was closed at start
// ("/dev/stdin", "/dev/fd/0", "/proc/self/fd/0" and links to them): opened again, it would
// be the stand-in that now holds the descriptor, read as an empty file.
bool namesClosedStandardStream(const std::string& path)
{
    std::error_code error;
    std::filesystem::path name(path);
    for (int hop = 0; hop < 40 && std::filesystem::is_symlink(name, error); ++hop) {
        const std::string text = name.string();
        if (text.starts_with("/proc/") || text.starts_with("/dev/fd/"))
            break; // the descriptor's own link: what it names is the stand-in
        const std::filesystem::path target = std::filesystem::read_symlink(name, error);
        if (error)
            break;
        name = target.is_absolute() ? target : name.parent_path() / target;
    }
    const std::string text = name.lexically_normal().string();
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        const std::string number = std::to_string(descriptor);
        if (closedAtStart[descriptor] &&
            (text == "/dev/fd/" + number || text == "/proc/self/fd/" + number ||
             text == "/proc/thread-self/fd/" + number || text == own + number))
            return true;
    }
    return false;
}

std::string describe(int error)
{
    return error == 0 ? std::string("unknown error") : std::string(std::strerror(error));
}

} // namespace

std::string DescriptorState::failure() const
{
    return describe(error);
}

DescriptorSource::~DescriptorSource()
{
    if (owned_ && state_.descriptor >= 0)
        ::close(state_.descriptor);
}

std::unique_ptr<DescriptorSource> DescriptorSource::open(const std::string& path)
{
#ifdef _WIN32
    const int descriptor = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
#else
    if (namesClosedStandardStream(path)) {
        auto source = std::make_unique<DescriptorSource>(-1, path);
        source->state_.error = EBADF;
        return source;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
#endif
    auto source = std::make_unique<DescriptorSource>(descriptor, path);
    source->owned_ = descriptor >= 0;
    if (descriptor < 0)
        source->state_.error = errno;
    return source;
}

std::ptrdiff_t DescriptorSource::read(char* buffer, std::size_t size)
{
    if (state_.descriptor < 0)
        return -1;
    for (;;) {
        const long count = readSome(state_.descriptor, buffer, size);
        if (count >= 0)
            return count;
        if (errno != EINTR) {
            state_.error = errno;
            return -1;
        }
    }
}

bool DescriptorSink::write(std::string_view data)
{
    while (!data.empty()) {
        const long count = writeSome(state_.descriptor, data.data(), data.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            state_.error = count < 0 ? errno : ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

void occupyClosedStandardStreams()
{
#ifndef _WIN32
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        closedAtStart[descriptor] = true;
        // Opened the other way round, so that every use fails as it would have.
        const int flags = (descriptor == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY;
        int opened = ::open("/dev/null", flags);
        if (opened < 0)
            opened = ::open("/", O_RDONLY | O_DIRECTORY);
        // Descriptors are given out lowest first: the closed one is taken, unless the
        // system had nothing to give, and then nothing else can open a file there either.
        if (opened > descriptor)
            ::close(opened);
    }
#endif
}

} // namespace quarvet::cli
