#pragma once

#include "registry.h"

#include <string>

namespace quarvet::about {

// What starting the system-information tool needs of the system.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    virtual bool fileExists(const std::string& path) const = 0;
    // Starts the program in a normal window with the focus, without waiting for it.
    virtual bool start(const std::string& path) = 0;
};

// The tool's file in the folder that the fallback registry value names.
#ifdef _WIN32
inline constexpr const char* sysInfoToolFile = "\\MSINFO32.EXE";
#else
inline constexpr const char* sysInfoToolFile = "/hardinfo";
#endif

enum class SysInfoOutcome { Started, Unavailable };

// Finds the system-information tool through the registry and starts it; Unavailable when
// neither lookup gives a tool or the tool does not start, for the caller to tell the user.
SysInfoOutcome StartSysInfo(const Registry& registry, ProgramLauncher& launcher);

} // namespace quarvet::about
