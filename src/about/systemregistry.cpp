#include "systemregistry.h"

#include "registryfile.h"
#include "registrylocation.h"

#include <cstdlib>
#include <sys/stat.h>

namespace quarvet::about {

#ifndef _WIN32
std::unique_ptr<Registry> systemRegistry()
{
    const auto isFile = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    };
    const std::string location = registryFileLocation(std::getenv("QUARVET_REGISTRY"),
                                                      std::getenv("XDG_CONFIG_DIRS"), +isFile);
    if (location.empty())
        return std::make_unique<RegFileRegistry>(std::string_view());
    return RegFileRegistry::fromFile(location);
}
#endif

} // namespace quarvet::about
