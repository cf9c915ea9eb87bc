#pragma once

#include "about/registry.h"
#include "interface.h"

#include <string>
#include <string_view>

namespace quarvet::about {

// What starting the system-information tool needs of the system.
class ProgramLauncher : public Interface {
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

enum class PathStyle { Posix, Windows };
#ifdef _WIN32
inline constexpr PathStyle nativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle nativePathStyle = PathStyle::Posix;
#endif

// True when `path` names the same file whatever the current folder: for Posix one from the
// root ("/"), for Windows a drive letter with its root ("C:\", also "C:/") or a UNC path
// ("\\server\share"), but not "C:tool" or "\tool", which depend on the current drive or folder.
bool isAbsolutePath(std::string_view path, PathStyle style = nativePathStyle);

// Finds the system-information tool through the registry and starts it; Unavailable when
// neither lookup gives a tool or the tool does not start, for the caller to tell the user.
// Only an absolute path is started: a relative one would run whatever program of that name
// the current folder holds.
SysInfoOutcome launchSystemInformation(const Registry& registry, ProgramLauncher& launcher);

} // namespace quarvet::about
