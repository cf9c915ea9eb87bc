#include "sysinfo.h"

namespace quarvet::about {

SysInfoOutcome StartSysInfo(const Registry& registry, ProgramLauncher& launcher)
{
    std::string path;
    std::string value;
    if (registry.GetKeyValue(RegistryRoot::LocalMachine,
                             "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value)) {
        path = value;
    } else if (registry.GetKeyValue(RegistryRoot::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                                    value) &&
               launcher.fileExists(value + sysInfoToolFile)) {
        path = value + sysInfoToolFile;
    } else {
        return SysInfoOutcome::Unavailable;
    }
    return launcher.start(path) ? SysInfoOutcome::Started : SysInfoOutcome::Unavailable;
}

} // namespace quarvet::about
