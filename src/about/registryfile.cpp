#include "registryfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quarvet::about {
namespace {

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

std::string_view rootName(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return "hkey_classes_root";
    case RegistryRoot::CurrentUser:
        return "hkey_current_user";
    case RegistryRoot::LocalMachine:
        return "hkey_local_machine";
    case RegistryRoot::Users:
        return "hkey_users";
    case RegistryRoot::CurrentConfig:
        return "hkey_current_config";
    }
    return {};
}

std::string valueKey(std::string_view keyPath, std::string_view name)
{
    std::string key = lowerAscii(keyPath);
    while (!key.empty() && key.back() == '\\')
        key.pop_back();
    key += '\0';
    key += lowerAscii(name);
    return key;
}

void appendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Version 5 exports are UTF-16 little-endian with a byte-order mark; read them as UTF-8.
std::string asUtf8(std::string_view content)
{
    if (content.size() < 2 || content[0] != '\xFF' || content[1] != '\xFE')
        return std::string(content);
    std::string out;
    for (std::size_t i = 2; i + 1 < content.size(); i += 2) {
        std::uint32_t unit = static_cast<unsigned char>(content[i]) |
                             static_cast<unsigned char>(content[i + 1]) << 8;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < content.size()) {
            const std::uint32_t low = static_cast<unsigned char>(content[i + 2]) |
                                      static_cast<unsigned char>(content[i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, unit);
    }
    return out;
}

// A quoted string starting at `pos` (on the opening quote); the position after the closing
// quote, or npos when it does not close.
std::size_t readQuoted(std::string_view line, std::size_t pos, std::string& text)
{
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"')
            return pos + 1;
        if (c == '\\' && pos + 1 < line.size() && (line[pos + 1] == '\\' || line[pos + 1] == '"'))
            ++pos;
        text += line[pos];
    }
    return std::string_view::npos;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool parseDword(std::string_view digits, std::string& data)
{
    if (digits.empty() || digits.size() > 8)
        return false;
    std::uint32_t number = 0;
    for (char c : digits) {
        const int digit = hexValue(c);
        if (digit < 0)
            return false;
        number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    data.clear();
    for (int byte = 0; byte < 4; ++byte)
        data += static_cast<char>(number >> (8 * byte) & 0xFF);
    return true;
}

// "hex:" or "hex(N):" followed by comma-separated byte pairs.
bool parseHex(std::string_view definition, unsigned long& type, std::string& data)
{
    type = 3; // REG_BINARY
    std::size_t colon = definition.find(':');
    if (colon == std::string_view::npos)
        return false;
    if (definition.substr(0, 4) == "hex(") {
        const std::size_t close = definition.find(')');
        if (close == std::string_view::npos || close > colon)
            return false;
        type = std::strtoul(std::string(definition.substr(4, close - 4)).c_str(), nullptr, 16);
    } else if (definition.substr(0, colon) != "hex") {
        return false;
    }
    data.clear();
    int high = -1;
    for (char c : definition.substr(colon + 1)) {
        if (c == ',' || c == ' ' || c == '\\')
            continue;
        const int digit = hexValue(c);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            data += static_cast<char>(high << 4 | digit);
            high = -1;
        }
    }
    return high < 0;
}

#ifdef _WIN32
bool readRegularFile(const std::string& path, std::size_t limit, std::string& content)
{
    // Not inherited by the tool the about window may start.
    const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return false;
    struct _stat64 info {};
    const bool ok =
        ::_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG && info.st_size >= 0 &&
        static_cast<unsigned long long>(info.st_size) <= limit &&
        readAllLimited(
            [fd](char* buffer, std::size_t size) {
                return static_cast<long>(::_read(fd, buffer, static_cast<unsigned>(size)));
            },
            limit, content);
    ::_close(fd);
    return ok;
}
#else
bool readRegularFile(const std::string& path, std::size_t limit, std::string& content)
{
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never come; without
    // O_NOCTTY a terminal would become the program's own.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // What was opened is judged, not the path, which may name something else by now.
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
                    static_cast<std::uintmax_t>(info.st_size) <= limit &&
                    readAllLimited(
                        [fd](char* buffer, std::size_t size) {
                            return static_cast<long>(::read(fd, buffer, size));
                        },
                        limit, content);
    ::close(fd);
    return ok;
}
#endif

} // namespace

bool readAllLimited(const std::function<long(char*, std::size_t)>& readSome, std::size_t limit,
                    std::string& content)
{
    content.clear();
    char buffer[16384];
    for (;;) {
        const long count = readSome(buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0)
            return true;
        // A file that grows past the limit while it is read is as large as one that started so.
        if (count < 0 || static_cast<std::size_t>(count) > sizeof buffer ||
            static_cast<std::size_t>(count) > limit - content.size()) {
            content.clear();
            return false;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

RegFileRegistry::RegFileRegistry(std::string_view content)
{
    const std::string text = asUtf8(content);
    std::string section;
    std::string line;
    bool hexLine = false; // `line` holds "=hex": a "\" at its end joins the next line to it
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view piece(text.data() + pos, end - pos);
        pos = end + 1;
        if (!piece.empty() && piece.back() == '\r')
            piece.remove_suffix(1);
        line += piece;
        // Long binary values go on over several lines, each but the last ending in "\". Only
        // the new piece is searched: searching the whole line again for every piece took time
        // growing with the square of the value's length. A match cannot straddle two pieces,
        // as the earlier one ends in a "\", which "=hex" does not hold.
        hexLine = hexLine || piece.find("=hex") != std::string_view::npos;
        if (hexLine && !line.empty() && line.back() == '\\')
            continue;
        readLine(line, section);
        line.clear();
        hexLine = false;
    }
}

void RegFileRegistry::readLine(std::string_view line, std::string& section)
{
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return;
    if (line[first] == '[') {
        const std::size_t close = line.rfind(']');
        section =
            close > first ? std::string(line.substr(first + 1, close - first - 1)) : std::string();
        // A section to delete ("[-HKEY...]") has no values.
        if (!section.empty() && section.front() == '-')
            section.clear();
    } else if (!section.empty() && (line[first] == '"' || line[first] == '@')) {
        readValueLine(line.substr(first), section);
    }
}

void RegFileRegistry::readValueLine(std::string_view line, const std::string& section)
{
    std::string name;
    std::size_t after = 1; // past "@", the default value
    if (line.front() == '"')
        after = readQuoted(line, 0, name);
    if (after == std::string_view::npos || after >= line.size() || line[after] != '=')
        return;
    const std::string_view definition = line.substr(after + 1);
    Value value;
    bool ok = false;
    if (!definition.empty() && definition.front() == '"') {
        value.type = registryText;
        ok = readQuoted(definition, 0, value.data) != std::string_view::npos;
        value.data += '\0'; // stored with its terminator, as Windows keeps texts
    } else if (definition.substr(0, 6) == "dword:") {
        value.type = registryNumber;
        ok = parseDword(definition.substr(6), value.data);
    } else {
        ok = parseHex(definition, value.type, value.data);
    }
    if (ok)
        values_[valueKey(section, name)] = std::move(value);
}

std::unique_ptr<RegFileRegistry> RegFileRegistry::fromFile(const std::string& path)
{
    std::string content;
    if (!readRegularFile(path, registryFileLimit, content))
        return std::make_unique<RegFileRegistry>(std::string_view());
    return std::make_unique<RegFileRegistry>(content);
}

bool RegFileRegistry::readValue(RegistryRoot root, std::string_view keyPath,
                                std::string_view valueName, std::string& value) const
{
    const std::string path = std::string(rootName(root)) + "\\" + std::string(keyPath);
    const auto found = values_.find(valueKey(path, valueName));
    if (found == values_.end() || found->second.data.size() > registryBufferSize) {
        value.clear();
        return false;
    }
    registryValueText(found->second.type, found->second.data, value);
    return true;
}

} // namespace quarvet::about
