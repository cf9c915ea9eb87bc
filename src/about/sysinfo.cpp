#include "sysinfo.h"

namespace quarvet::about {
namespace {

bool isSeparator(char c, PathStyle style)
{
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

} // namespace

bool isAbsolutePath(std::string_view path, PathStyle style)
{
    if (style == PathStyle::Posix)
        return !path.empty() && path.front() == '/';
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && isSeparator(path[2], style))
        return true;
    // "\\server\share", and "\\?\C:\..." and "\\.\..." alike.
    return path.size() >= 3 && isSeparator(path[0], style) && isSeparator(path[1], style) &&
           !isSeparator(path[2], style);
}

SysInfoOutcome launchSystemInformation(const Registry& registry, ProgramLauncher& launcher)
{
    std::string path;
    std::string value;
    if (registry.readValue(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                           "PATH", value)) {
        path = value;
    } else if (registry.readValue(RegistryRoot::LocalMachine,
                                  "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", value) &&
               isAbsolutePath(value) && launcher.fileExists(value + sysInfoToolFile)) {
        path = value + sysInfoToolFile;
    } else {
        return SysInfoOutcome::Unavailable;
    }
    if (!isAbsolutePath(path))
        return SysInfoOutcome::Unavailable;
    return launcher.start(path) ? SysInfoOutcome::Started : SysInfoOutcome::Unavailable;
}

} // namespace quarvet::about
