// Looks up the system-information tool in the registry stand-in named by $QUARVET_REGISTRY,
// in a process of its own, for the tests that may find it hanging or running out of memory.
#include "about/systemregistry.h"

#include <cstdio>
#include <sys/resource.h>

// A sanitizer reserves more address space than any limit would allow.
#if defined(__SANITIZE_ADDRESS__)
#define QUARVET_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARVET_SANITIZED 1
#endif
#endif

int main()
{
#ifndef QUARVET_SANITIZED
    // A file read without end fails here instead of taking the machine's memory.
    const rlimit limit{rlim_t{1} << 31, rlim_t{1} << 31};
    ::setrlimit(RLIMIT_AS, &limit);
#endif
    std::string value;
    if (!quarvet::about::systemRegistry()->readValue(quarvet::about::RegistryRoot::LocalMachine,
                                                     "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                                     "PATH", value))
        return 1;
    std::fputs(value.c_str(), stdout);
    return 0;
}
