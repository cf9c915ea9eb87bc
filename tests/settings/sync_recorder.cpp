// Loaded into a saving process with LD_PRELOAD: notes, in order, each file synced to the disk
// and each rename, with device and inode, in the file $SYNC_RECORD. A test reads from it
// whether a save's data was on the disk before it replaced the old file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void note(const char* line)
{
    const char* record = std::getenv("SYNC_RECORD");
    if (!record)
        return;
    const int fd = ::open(record, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write with O_APPEND: the line stays whole.
    if (::write(fd, line, std::strlen(line)) < 0)
        std::abort();
    ::close(fd);
}

void noteSync(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return;
    char line[128];
    std::snprintf(line, sizeof line, "sync %llu:%llu\n",
                  static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    note(line);
}

void noteRename(int fromFolder, const char* from, const char* to)
{
    struct stat info {};
    if (::fstatat(fromFolder, from, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    char line[4200];
    std::snprintf(line, sizeof line, "rename %llu:%llu %s\n",
                  static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino), to);
    note(line);
}

template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int fsync(int fd)
{
    noteSync(fd);
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

int fdatasync(int fd)
{
    noteSync(fd);
    static const auto real = next<int (*)(int)>("fdatasync");
    return real(fd);
}

int rename(const char* from, const char* to) noexcept
{
    noteRename(AT_FDCWD, from, to);
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) noexcept
{
    noteRename(fromFolder, from, to);
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    return real(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
              unsigned int flags) noexcept
{
    noteRename(fromFolder, from, to);
    static const auto real =
        next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return real(fromFolder, from, toFolder, to, flags);
}
}
