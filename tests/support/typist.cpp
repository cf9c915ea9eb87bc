// typist TEXT COMMAND [ARGUMENT...]: runs COMMAND with a terminal of its own as its controlling
// terminal and types TEXT and a line's end there each time COMMAND asks for a password (says
// "Password" on it), as a person at the keyboard would; its standard streams are the typist's.
// Exits with COMMAND's status. For the examples of README, whose commands ask on the terminal.
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string typed = std::string(argv[1]) + "\n";
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return 127;
    const pid_t child = ::fork();
    if (child == 0) {
        // The terminal stays open in the command: its reader never sees it hang up.
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        ::close(master);
        ::execvp(argv[2], argv + 2);
        ::_exit(127);
    }
    ::close(slave);
    std::string said;
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        pollfd terminal{master, POLLIN, 0};
        if (::poll(&terminal, 1, 100) < 0 && errno != EINTR)
            break;
        char buffer[512];
        const ssize_t n = (terminal.revents & POLLIN) ? ::read(master, buffer, sizeof buffer) : 0;
        if (n <= 0) {
            // Nothing to read, or no terminal open on the other side for a moment.
            if (terminal.revents & (POLLHUP | POLLERR))
                ::usleep(20000);
            continue;
        }
        said.append(buffer, std::size_t(n));
        if (said.find("Password") != std::string::npos) {
            said.clear();
            if (::write(master, typed.data(), typed.size()) < 0)
                break;
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
