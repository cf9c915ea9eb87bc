#include "registrylocation.h"

namespace quarvet::about {

std::string registryFileLocation(const char* quarvetRegistry, const char* xdgConfigDirs,
                                 bool (*exists)(const std::string&))
{
    if (quarvetRegistry && *quarvetRegistry)
        return quarvetRegistry;
    const std::string dirs = xdgConfigDirs && *xdgConfigDirs ? xdgConfigDirs : "/etc/xdg";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        std::size_t end = dirs.find(':', pos);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(pos, end - pos);
        pos = end + 1;
        // Relative entries are not meant for this list and are passed over.
        if (dir.empty() || dir.front() != '/')
            continue;
        const std::string candidate = dir + "/Quarvet/registry.reg";
        if (exists(candidate))
            return candidate;
    }
    return {};
}

} // namespace quarvet::about
