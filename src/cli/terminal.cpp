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

// The signals that would end or stop the program taken while the terminal hides what is
// typed, and given back as they were.
class PromptSignals {
public:
    explicit PromptSignals(int fd)
    {
        struct sigaction ending {};
        ending.sa_handler = restoreAndEnd;
        struct sigaction ignoring {};
        ignoring.sa_handler = SIG_IGN;
        askedOn = fd;
        for (std::size_t n = 0; n < std::size(endingSignals); ++n)
            ::sigaction(endingSignals[n], &ending, &ending_[n]);
        for (std::size_t n = 0; n < std::size(stoppingSignals); ++n)
            ::sigaction(stoppingSignals[n], &ignoring, &stopping_[n]);
    }
    ~PromptSignals()
    {
        askedOn = -1;
        for (std::size_t n = 0; n < std::size(endingSignals); ++n)
            ::sigaction(endingSignals[n], &ending_[n], nullptr);
        for (std::size_t n = 0; n < std::size(stoppingSignals); ++n)
            ::sigaction(stoppingSignals[n], &stopping_[n], nullptr);
    }
    PromptSignals(const PromptSignals&) = delete;
    PromptSignals& operator=(const PromptSignals&) = delete;

private:
    struct sigaction ending_[std::size(endingSignals)];
    struct sigaction stopping_[std::size(stoppingSignals)];
};

// A password is text: bytes that are none would be read as another password's.
std::optional<QString> passwordOf(QByteArray& line, bool asked, QString& fault)
{
    const bool text = asked && !line.isEmpty() && QUtf8StringView(line).isValidUtf8();
    QString password = text ? QString::fromUtf8(line) : QString();
    line.fill('\0');
    if (text)
        return password;
    fault = !asked           ? QStringLiteral("the terminal could not be read")
            : line.isEmpty() ? QStringLiteral("no password was typed")
                             : QStringLiteral("what was typed is not valid UTF-8 text");
    return std::nullopt;
}

} // namespace

std::optional<QString> askPassword(const QString& prompt, QString& fault)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 || ::tcgetattr(fd, &before) != 0) {
        if (fd >= 0)
            ::close(fd);
        fault = QStringLiteral("a signature asks for the password on a terminal, and this "
                               "program has none");
        return std::nullopt;
    }
    termios quiet = before;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL | ICANON;
    QByteArray line;
    bool asked = false;
    {
        const PromptSignals taken(fd);
        asked = ::tcsetattr(fd, TCSAFLUSH, &quiet) == 0 && writeAll(fd, prompt.toUtf8()) &&
                readLine(fd, line);
        ::tcsetattr(fd, TCSAFLUSH, &before);
    }
    ::close(fd);
    return passwordOf(line, asked, fault);
}

} // namespace quarvet::cli
