#include "registry.h"

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

bool WindowsRegistry::GetKeyValue(RegistryRoot keyRoot, std::string_view keyName,
                                  std::string_view subKeyRef, std::string& keyVal) const
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey(keyRoot), std::string(keyName).c_str(), 0, readAccess, &key) !=
        ERROR_SUCCESS) {
        keyVal.clear();
        return false;
    }
    char buffer[registryBufferSize] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, std::string(subKeyRef).c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        keyVal.clear();
        return false;
    }
    registryValueText(type, std::string_view(buffer, size), keyVal);
    return true;
}

std::unique_ptr<Registry> systemRegistry()
{
    return std::make_unique<WindowsRegistry>();
}

} // namespace quarvet::about
