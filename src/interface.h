#pragma once

namespace quarvet {

// The base of the program's interfaces (a store, a registry, a stream, a message service):
// one is used through a reference to what stands behind it, never copied, which would cut
// it down to the interface.
class Interface {
public:
    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;

protected:
    Interface() = default;
    ~Interface() = default;
};

} // namespace quarvet
