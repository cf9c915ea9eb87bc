// A module loaded at run time: glibc gives each thread that touches its thread-local variable
// a block of its own, allocated with malloc when the thread first does.
extern "C" void** quarvet_dtls_slot()
{
    static thread_local void* slot = nullptr;
    return &slot;
}
