// The registry stand-in on arbitrary file contents.
#include "about/registryfile.h"
#include "about/sysinfo.h"

#include <cstdlib>
#include <string_view>

using namespace quarvet::about;

namespace {

class NoLauncher final : public ProgramLauncher {
public:
    bool fileExists(const std::string&) const override { return true; }
    bool start(const std::string&) override { return false; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(bytes), size);
    const RegFileRegistry registry(content);
    std::string value = "unchanged";
    if (!registry.readValue(RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                            "PATH", value) &&
        !value.empty())
        std::abort();
    registry.readValue(RegistryRoot::CurrentUser, "a", "", value);
    NoLauncher launcher;
    if (launchSystemInformation(registry, launcher) != SysInfoOutcome::Unavailable)
        std::abort();
    return 0;
}
