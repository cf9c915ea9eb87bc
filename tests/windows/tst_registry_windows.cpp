// Runs under Wine: the registry lookups of the about window against a real registry.
#include "about/registryfile.h"
#include "about/sysinfo.h"
#include "about/systemregistry.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace quarvet::about;

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what)
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what);
    }
}

const char* const testKey = "SOFTWARE\\QuarvetTest";

void setValue(const char* key, const char* name, DWORD type, const std::string& data)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        std::printf("cannot create %s\n", key);
        std::exit(2);
    }
    RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
}

void deleteKey(const char* key)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
}

struct Lookup {
    const char* what;
    const char* name;
    bool found;
    std::string text;
};

void checkLookups()
{
    deleteKey(testKey);
    setValue(testKey, "Text", REG_SZ, std::string("C:\\Tools", 9));
    setValue(testKey, "Unterminated", REG_SZ, "abc");
    setValue(testKey, "TwoZeros", REG_SZ, std::string("ab\0\0", 4));
    setValue(testKey, "Number", REG_DWORD, std::string("\x00\x01\x00\x00", 4));
    setValue(testKey, "Big", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4));
    setValue(testKey, "Binary", REG_BINARY, "\x01\x02");
    setValue(testKey, "TooLong", REG_SZ, std::string(2000, 'x'));

    const std::vector<Lookup> lookups = {
        {"text value loses its terminator", "Text", true, "C:\\Tools"},
        {"text without terminator keeps all", "Unterminated", true, "abc"},
        {"text ending in two zeros loses one", "TwoZeros", true, std::string("ab\0", 3)},
        {"256 reads as 256", "Number", true, "256"},
        {"largest number", "Big", true, "4294967295"},
        {"other types leave the text as it was", "Binary", true, "unchanged"},
        {"value larger than the buffer", "TooLong", false, ""},
        {"missing value", "Missing", false, ""},
    };
    WindowsRegistry registry;
    for (const Lookup& lookup : lookups) {
        std::string value = "unchanged";
        const bool found =
            registry.readValue(RegistryRoot::LocalMachine, testKey, lookup.name, value);
        check(found == lookup.found && value == lookup.text, lookup.what);
    }
    std::string value = "unchanged";
    check(!registry.readValue(RegistryRoot::LocalMachine, "SOFTWARE\\NoSuchKey", "x", value) &&
              value.empty(),
          "missing key gives false and an empty text");
    deleteKey(testKey);
}

class RecordingLauncher final : public ProgramLauncher {
public:
    std::vector<std::string> existing;
    std::vector<std::string> started;
    bool fileExists(const std::string& path) const override
    {
        for (const std::string& file : existing)
            if (file == path)
                return true;
        return false;
    }
    bool start(const std::string& path) override
    {
        started.push_back(path);
        return true;
    }
};

const char* const msinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const char* const locationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

void checkSysInfo()
{
    WindowsRegistry registry;
    deleteKey(msinfoKey);
    deleteKey(locationKey);
    {
        RecordingLauncher launcher;
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Unavailable &&
                  launcher.started.empty(),
              "neither value: unavailable, nothing started");
    }
    setValue(locationKey, "MSINFO", REG_SZ, std::string("C:\\MSInfo", 10));
    {
        RecordingLauncher launcher;
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Unavailable &&
                  launcher.started.empty(),
              "fallback folder without the tool: unavailable");
        launcher.existing = {"C:\\MSInfo\\MSINFO32.EXE"};
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Started &&
                  launcher.started == std::vector<std::string>{"C:\\MSInfo\\MSINFO32.EXE"},
              "fallback folder with the tool starts it");
    }
    setValue(msinfoKey, "PATH", REG_SZ, std::string("C:\\Tools\\msinfo32.exe", 22));
    {
        RecordingLauncher launcher;
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Started &&
                  launcher.started == std::vector<std::string>{"C:\\Tools\\msinfo32.exe"},
              "the first lookup names the tool that is started");
    }
    // A relative path would start whatever the current folder holds of that name.
    setValue(msinfoKey, "PATH", REG_SZ, std::string("evil\\msinfo32.exe", 18));
    {
        RecordingLauncher launcher;
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Unavailable &&
                  launcher.started.empty(),
              "a relative tool path is not started");
    }
    deleteKey(msinfoKey);
    setValue(locationKey, "MSINFO", REG_SZ, std::string(".", 2));
    {
        RecordingLauncher launcher;
        launcher.existing = {".\\MSINFO32.EXE"};
        check(launchSystemInformation(registry, launcher) == SysInfoOutcome::Unavailable &&
                  launcher.started.empty(),
              "a relative tool folder is not started from");
    }
    deleteKey(msinfoKey);
    deleteKey(locationKey);
}

// The stand-in file read with the C runtime's calls: only a plain file counts.
void checkStandInFile()
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string file = std::string(folder) + "quarvet-registry.reg";
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fputs("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n"
                   "\"PATH\"=\"C:\\\\Tools\\\\x.exe\"\r\n",
                   out);
        std::fclose(out);
    }
    const struct {
        std::string path;
        bool found;
        const char* what;
    } cases[] = {
        {file, true, "a plain stand-in file is read"},
        {"NUL", false, "a device is no stand-in file"},
        {folder, false, "a folder is no stand-in file"},
    };
    for (const auto& standIn : cases) {
        std::string value;
        const bool found = RegFileRegistry::fromFile(standIn.path)
                               ->readValue(RegistryRoot::LocalMachine, msinfoKey, "PATH", value);
        check(found == standIn.found && (!found || value == "C:\\Tools\\x.exe"), standIn.what);
    }
    std::remove(file.c_str());
}

struct PathCase {
    const char* path;
    bool absolute;
};

void checkAbsolutePaths()
{
    const PathCase cases[] = {
        {"C:\\Windows\\System32\\msinfo32.exe", true},
        {"c:/tools", true},
        {"\\\\server\\share\\msinfo32.exe", true},
        {"C:msinfo32.exe", false},
        {"\\Tools\\msinfo32.exe", false},
        {"evil\\msinfo32.exe", false},
        {".", false},
        {"", false},
    };
    for (const PathCase& pathCase : cases)
        check(isAbsolutePath(pathCase.path) == pathCase.absolute, pathCase.path);
}

} // namespace

int main()
{
    checkLookups();
    checkSysInfo();
    checkAbsolutePaths();
    checkStandInFile();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
