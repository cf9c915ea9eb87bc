#pragma once

#include <string>

namespace quarvet::about {

// The stand-in file: $QUARVET_REGISTRY when set, else the first Quarvet/registry.reg under
// the folders of $XDG_CONFIG_DIRS (default /etc/xdg) that exists; empty when there is none.
std::string registryFileLocation(const char* quarvetRegistry, const char* xdgConfigDirs,
                                 bool (*exists)(const std::string&));

} // namespace quarvet::about
