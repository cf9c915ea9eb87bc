// Linked into every executable of a build under AddressSanitizer, so that a test, a process a
// test starts with an environment of its own, a fuzzer and a developer's own run all get it.
//
// The sanitizer runtimes of Debian 12's compilers (GCC 12, clang 14) guess where a thread's
// dynamic TLS block lies from its address alone: a block that malloc happens to place 16 bytes
// into a page is taken for one with the header of a glibc older than 2.25, and the two words
// before it, which are the allocator's own chunk header, are read as the block's start and
// size. LeakSanitizer's tracer then scans that nonsense range at exit and dies ("Tracer caught
// signal 11"). Whether a block lands there depends on every allocation before it, so the
// environment and the locale decide whether a test fails.
//
// Without the interception nothing goes unscanned: glibc allocates those blocks with malloc
// and keeps them in the thread's vector, which is reached from the static TLS the leak check
// scans. tests/sanitizer places such a block and shows both: no crash, and a leak still found.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
