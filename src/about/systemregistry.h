#pragma once

#include "registry.h"

#include <memory>

namespace quarvet::about {

// The registry of this system: Windows' own, or the stand-in file from the environment.
std::unique_ptr<Registry> systemRegistry();

} // namespace quarvet::about
