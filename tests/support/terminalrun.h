#pragma once

// quarvet-cli run with a terminal of its own, as a person at a keyboard runs it: what the
// program asks there (a password) is answered on the terminal, never through its standard
// streams, which stay pipes the test reads.

#include "clirun.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

struct TerminalRun {
    int status = -1;
    QString out;
    QString err;
    QString terminal; // what the program wrote on its terminal: the prompt
};

namespace terminalrun {

inline void drain(int fd, QByteArray& into)
{
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, n);
}

// Reads the three until the program ends; `answer` goes to the terminal once it asks.
inline int talk(int master, int out, int err, pid_t child, const QByteArray& answer,
                TerminalRun& run)
{
    QByteArray said, outText, errText;
    bool answered = answer.isNull();
    QElapsedTimer clock;
    clock.start();
    bool outOpen = true, errOpen = true;
    while ((outOpen || errOpen) && clock.elapsed() < 60000) {
        pollfd fds[] = {{master, POLLIN, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
        if (::poll(fds, 3, 200) < 0)
            break;
        if (fds[0].revents & POLLIN)
            drain(master, said);
        for (auto [index, fd, text, open] :
             {std::tuple{1, out, &outText, &outOpen}, std::tuple{2, err, &errText, &errOpen}})
            if (fds[index].revents & (POLLIN | POLLHUP)) {
                const qsizetype before = text->size();
                drain(fd, *text);
                *open = text->size() != before;
            }
        if (!answered && said.contains("Password")) {
            answered = true;
            if (::write(master, answer.constData(), size_t(answer.size())) != answer.size())
                break;
        }
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return -1;
    run.out = QString::fromUtf8(outText);
    run.err = QString::fromUtf8(errText);
    run.terminal = QString::fromUtf8(said);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace terminalrun

// Runs `program` with `args` and `environment`, a terminal of its own as its controlling
// terminal; `password` (and a line's end) typed there when it asks. Without `withTerminal`,
// it has none at all.
inline TerminalRun runOnTerminal(const QString& program, const QStringList& args,
                                 const QProcessEnvironment& environment, const QString& password,
                                 bool withTerminal = true)
{
    TerminalRun run;
    int master = -1, slave = -1;
    int out[2], err[2];
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ::pipe(out) != 0 ||
        ::pipe(err) != 0)
        return run;
    std::vector<QByteArray> texts{program.toLocal8Bit()};
    for (const QString& arg : args)
        texts.push_back(arg.toLocal8Bit());
    std::vector<QByteArray> variables;
    for (const QString& variable : environment.toStringList())
        variables.push_back(variable.toLocal8Bit());
    std::vector<char*> argv, envp;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    for (QByteArray& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // A session of its own, whose controlling terminal is the new one (or none).
        ::setsid();
        ::close(master);
        ::close(out[0]);
        ::close(err[0]);
        if (withTerminal)
            ::ioctl(slave, TIOCSCTTY, 0);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(slave);
    ::close(out[1]);
    ::close(err[1]);
    if (child > 0)
        run.status = terminalrun::talk(
            master, out[0], err[0], child,
            password.isNull() ? QByteArray() : (password + QLatin1Char('\n')).toUtf8(), run);
    ::close(master);
    ::close(out[0]);
    ::close(err[0]);
    return run;
}
