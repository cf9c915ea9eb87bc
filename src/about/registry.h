#pragma once

#include "interface.h"

#include <cstddef>
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
// becomes its decimal text. Any other type leaves `value` as it was.
void registryValueText(unsigned long type, std::string_view data, std::string& value);

// Read access to the registry, or to what stands in for it.
class Registry : public Interface {
public:
    virtual ~Registry() = default;
    // True with the value as text in `value`, or false with `value` empty.
    virtual bool readValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                           std::string& value) const = 0;
};

#ifdef _WIN32
// The Windows registry itself, asked for read access only.
class WindowsRegistry final : public Registry {
public:
    bool readValue(RegistryRoot root, std::string_view keyPath, std::string_view valueName,
                   std::string& value) const override;
};
#endif

} // namespace quarvet::about
