// Places a thread's dynamic TLS block 16 bytes into a page, where the sanitizer runtime of
// Debian 12's compilers misreads it, keeps a heap block reachable only through it, and exits
// while that thread still runs, so that the leak check at exit scans it.
//
//   dtls_probe MODULE kept      the block stays reachable: no leak may be reported
//   dtls_probe MODULE dropped   the pointer is cleared first: the block is a leak
//
// Exit status 2: the module did not load; 3: no block could be placed; else the leak check's.

#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using SlotFunction = void** (*)();

SlotFunction slotOf = nullptr;
bool dropped = false;
pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t done = PTHREAD_COND_INITIALIZER;
int outcome = 0; // 1 placed, -1 not placed

constexpr std::uintptr_t misreadOffset = 16; // the size of the old glibc header

// Chunks of one size class follow each other at a fixed step: allocate until the next one
// would start where the runtime misreads it, then let glibc allocate the TLS block there.
constexpr int mostSteps = 100000;
void* kept[mostSteps + 2]; // a global, scanned at exit: these small blocks are not leaks

__attribute__((noinline)) void** placeSlot()
{
    int count = 0;
    kept[count++] = std::malloc(sizeof(void*));
    kept[count++] = std::malloc(sizeof(void*));
    const auto step =
        reinterpret_cast<std::intptr_t>(kept[1]) - reinterpret_cast<std::intptr_t>(kept[0]);
    while (count < mostSteps + 2) {
        const auto next = reinterpret_cast<std::uintptr_t>(kept[count - 1]) + step;
        if (next % 4096 == misreadOffset)
            break;
        kept[count++] = std::malloc(sizeof(void*));
    }
    return slotOf();
}

__attribute__((noinline)) void fill(void** slot)
{
    *slot = std::malloc(100);
    std::memset(*slot, 0x5a, 100);
    if (dropped)
        *slot = nullptr;
}

void* worker(void*)
{
    void** slot = placeSlot();
    fill(slot);
    pthread_mutex_lock(&mutex);
    outcome = reinterpret_cast<std::uintptr_t>(slot) % 4096 == misreadOffset ? 1 : -1;
    pthread_cond_signal(&done);
    pthread_mutex_unlock(&mutex);
    for (;;)
        pause();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[2], "kept") != 0 && std::strcmp(argv[2], "dropped") != 0)) {
        std::fprintf(stderr, "usage: dtls_probe MODULE kept|dropped\n");
        return 2;
    }
    dropped = std::strcmp(argv[2], "dropped") == 0;
    void* module = dlopen(argv[1], RTLD_NOW);
    if (module == nullptr) {
        std::fprintf(stderr, "dtls_probe: %s\n", dlerror());
        return 2;
    }
    slotOf = reinterpret_cast<SlotFunction>(dlsym(module, "quarvet_dtls_slot"));
    pthread_t thread;
    if (slotOf == nullptr || pthread_create(&thread, nullptr, worker, nullptr) != 0)
        return 2;
    pthread_mutex_lock(&mutex);
    while (outcome == 0)
        pthread_cond_wait(&done, &mutex);
    pthread_mutex_unlock(&mutex);
    if (outcome != 1) {
        std::fprintf(stderr, "dtls_probe: no TLS block could be placed 16 bytes into a page\n");
        return 3;
    }
    std::exit(0); // the worker still runs: its TLS is scanned
}
