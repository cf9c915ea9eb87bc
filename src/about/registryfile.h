#pragma once

#include "registry.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace quarvet::about {

// A stand-in file larger than this is no registry: an export of the few keys the program looks
// up takes a few kilobytes, and a larger one is a mistake or an attack.
inline constexpr std::size_t registryFileLimit = std::size_t{1} << 20;

// Collects what `readSome` delivers (as read() does: the count of bytes, 0 at the end, -1 with
// errno set on an error) into `content`. An interrupted read is tried again; false when a read
// fails or more than `limit` bytes come, for half a file is no file.
bool readAllLimited(const std::function<long(char*, std::size_t)>& readSome, std::size_t limit,
                    std::string& content);

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

    bool readValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                   std::string& value) const override;

private:
    void readLine(std::string_view line, std::string& section);
    void readValueLine(std::string_view line, const std::string& section);

    struct Value {
        unsigned long type = 0;
        std::string data;
    };
    std::map<std::string, Value> values_; // by "root\key\path" + '\0' + name, lower case
};

} // namespace quarvet::about
