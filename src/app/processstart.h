#pragma once

#include <optional>

namespace quarvet::app {

// Answers --help and --version on standard output; the exit code when one was given.
std::optional<int> answerInformationOptions(int argc, char* argv[]);

// Holds back Qt's messages while the window system starts. When it cannot start (no
// display, most of the time), Qt would print its warnings and a hint to reinstall, then
// abort; this prints one line saying what is missing and exits with 1 instead. Once the
// window system runs, `started()` lets the held messages through as usual.
class WindowSystemStart {
public:
    WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;
    ~WindowSystemStart();

    void started();
};

} // namespace quarvet::app
