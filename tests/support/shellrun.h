#pragma once

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <unistd.h>

// A script run by bash, for what only a real process shows: closed descriptors, special
// files, an ignored SIGPIPE, a missing display.
struct ShellRun {
    bool finished;
    int status;
    QByteArray out;
    QByteArray err;
};

inline ShellRun runInShell(const QString& script, const QProcessEnvironment& environment,
                           int timeoutMs = 30000)
{
    QProcess shell;
    shell.setProcessEnvironment(environment);
    // A group of its own, so that a program that never ends goes with the shell.
    shell.setChildProcessModifier([] { ::setsid(); });
    shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
    const bool finished = shell.waitForFinished(timeoutMs);
    if (!finished) {
        ::kill(-static_cast<pid_t>(shell.processId()), SIGKILL);
        shell.waitForFinished(5000);
    }
    return {finished, shell.exitCode(), shell.readAllStandardOutput(),
            shell.readAllStandardError()};
}
