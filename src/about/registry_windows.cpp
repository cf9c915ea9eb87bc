#include "systemregistry.h"

#include <windows.h>

namespace quarvet::about {
namespace {

HKEY rootKey(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
        return HKEY_USERS;
    case RegistryRoot::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

// Read access only (KEY_READ): asking for more fails for an ordinary user under the
// local-machine root, and a lookup needs nothing else.
constexpr REGSAM readAccess = 0x20019;

} // namespace

bool WindowsRegistry::readValue(RegistryRoot root, std::string_view keyPath,
                                std::string_view valueName, std::string& value) const
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey(root), std::string(keyPath).c_str(), 0, readAccess, &key) !=
        ERROR_SUCCESS) {
        value.clear();
        return false;
    }
    char buffer[registryBufferSize] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, std::string(valueName).c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        value.clear();
        return false;
    }
    registryValueText(type, std::string_view(buffer, size), value);
    return true;
}

std::unique_ptr<Registry> systemRegistry()
{
    return std::make_unique<WindowsRegistry>();
}

} // namespace quarvet::about
