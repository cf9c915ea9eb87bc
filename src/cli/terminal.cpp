#include "terminal.h"

#include <QByteArray>
#include <QUtf8StringView>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace quarvet::cli {
namespace {

// The terminal as it was, put back on the signals that end the program while it asks, so that
// a Ctrl+C does not leave the shell without an echo.
int askedOn = -1;
termios before{};

extern "C" void restoreAndEnd(int signal)
{
    if (askedOn >= 0)
        ::tcsetattr(askedOn, TCSAFLUSH, &before);
    std::signal(signal, SIG_DFL);
    ::raise(signal);
}

constexpr int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// A stop at the prompt would come back to a terminal that shows what is typed: the prompt is
// not stopped.
constexpr int stoppingSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

// One line from the terminal, without its end; false where it could not be read.
bool readLine(int fd, QByteArray& line)
{
    constexpr qsizetype most = 4096;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0 || c == '\n' || c == '\r')
            return n != 0 || !line.isEmpty();
        if (line.size() < most)
            line.append(c);
    }
}

} // namespace

std::optional<QString> askPassword(const QString& prompt, QString& fault)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    termios quiet{};
    if (fd < 0 || ::tcgetattr(fd, &before) != 0) {
        if (fd >= 0)
            ::close(fd);
        fault = QStringLiteral("a signature asks for the password on a terminal, and this "
                               "program has none");
        return std::nullopt;
    }
    quiet = before;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL | ICANON;
    struct sigaction ending {};
    ending.sa_handler = restoreAndEnd;
    struct sigaction kept[std::size(endingSignals)];
    struct sigaction ignoring {};
    ignoring.sa_handler = SIG_IGN;
    struct sigaction keptStops[std::size(stoppingSignals)];
    askedOn = fd;
    for (std::size_t n = 0; n < std::size(endingSignals); ++n)
        ::sigaction(endingSignals[n], &ending, &kept[n]);
    for (std::size_t n = 0; n < std::size(stoppingSignals); ++n)
        ::sigaction(stoppingSignals[n], &ignoring, &keptStops[n]);
    QByteArray line;
    const bool asked = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0 && writeAll(fd, prompt.toUtf8()) &&
                       readLine(fd, line);
    ::tcsetattr(fd, TCSAFLUSH, &before);
    askedOn = -1;
    for (std::size_t n = 0; n < std::size(endingSignals); ++n)
        ::sigaction(endingSignals[n], &kept[n], nullptr);
    for (std::size_t n = 0; n < std::size(stoppingSignals); ++n)
        ::sigaction(stoppingSignals[n], &keptStops[n], nullptr);
    ::close(fd);
    if (!asked || line.isEmpty()) {
        line.fill('\0');
        fault = asked ? QStringLiteral("no password was typed")
                      : QStringLiteral("the terminal could not be read");
        return std::nullopt;
    }
    // A password is text: bytes that are none would be read as another password's.
    const bool text = QUtf8StringView(line).isValidUtf8();
    QString password = text ? QString::fromUtf8(line) : QString();
    line.fill('\0');
    if (!text) {
        fault = QStringLiteral("what was typed is not valid UTF-8 text");
        return std::nullopt;
    }
    return password;
}

} // namespace quarvet::cli
