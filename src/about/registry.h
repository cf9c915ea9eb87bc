#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace quarvet::about {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

inline constexpr unsigned long registryText = 1;   // REG_SZ
inline constexpr unsigned long registryNumber = 4; // REG_DWORD, little-endian
// A value larger than this is not read, as the buffer of the Windows lookup holds no more.
inline constexpr std::size_t registryBufferSize = 1024;

// Gives the text of a value read as `data` (the bytes the registry returned) of `type`:
// a text loses one code-0 character at its end (the terminator, as a rule), a 32-bit number
// becomes its decimal text. Any other type leaves `keyVal` as it was.
void registryValueText(unsigned long type, std::string_view data, std::string& keyVal);

// A stand-in file larger than this is no registry: an export of the few keys the program looks
// up takes a few kilobytes, and a larger one is a mistake or an attack.
inline constexpr std::size_t registryFileLimit = std::size_t{1} << 20;

// Collects what `readSome` delivers (as read() does: the count of bytes, 0 at the end, -1 with
// errno set on an error) into `content`. An interrupted read is tried again; false when a read
// fails or more than `limit` bytes come, for half a file is no file.
bool readAllLimited(const std::function<long(char*, std::size_t)>& readSome, std::size_t limit,
                    std::string& content);

// Read access to the registry, or to what stands in for it.
class Registry {
public:
    virtual ~Registry() = default;
    // True with the value as text in `keyVal`, or false with `keyVal` empty.
    virtual bool GetKeyValue(RegistryRoot keyRoot, std::string_view keyName,
                             std::string_view subKeyRef, std::string& keyVal) const = 0;
};

#ifdef _WIN32
// The Windows registry itself, asked for read access only.
class WindowsRegistry final : public Registry {
public:
    bool GetKeyValue(RegistryRoot keyRoot, std::string_view keyName, std::string_view subKeyRef,
                     std::string& keyVal) const override;
};
#endif

// Stands in for the registry where there is none: the keys and values of a file in the
// registry editor's export format ("REGEDIT4" or "Windows Registry Editor Version 5.00",
// the latter also as UTF-16 with its byte-order mark). Key paths and value names are
// compared without regard to case, as Windows does. Lines it cannot read are passed over.
class RegFileRegistry final : public Registry {
public:
    explicit RegFileRegistry(std::string_view content);
    // An empty stand-in, where every lookup fails, when the file cannot be read, is no regular
    // file (a device may never end, a pipe may block) or holds more than registryFileLimit.
    static std::unique_ptr<RegFileRegistry> fromFile(const std::string& path);

    bool GetKeyValue(RegistryRoot keyRoot, std::string_view keyName, std::string_view subKeyRef,
                     std::string& keyVal) const override;

private:
    struct Value {
        unsigned long type = 0;
        std::string data;
    };
    std::map<std::string, Value> values_; // by "root\key\path" + '\0' + name, lower case
};

// The stand-in file: $QUARVET_REGISTRY when set, else the first Quarvet/registry.reg under
// the folders of $XDG_CONFIG_DIRS (default /etc/xdg) that exists; empty when there is none.
std::string registryFileLocation(const char* quarvetRegistry, const char* xdgConfigDirs,
                                 bool (*exists)(const std::string&));

// The registry of this system: Windows' own, or the stand-in file from the environment.
std::unique_ptr<Registry> systemRegistry();

} // namespace quarvet::about
