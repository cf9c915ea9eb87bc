#pragma once

// What the benchmarks at a lab's scale share: medians of runs, commands run in turn with their
// largest resident size, and goals held to.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace quarvet::bench {

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double timed(int runs, const std::function<void()>& work)
{
    std::vector<double> seconds;
    for (int n = 0; n < runs; ++n) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
    }
    return median(seconds);
}

// A command run to its end, output thrown away; its largest resident size in KiB, as GNU
// time measures it.
inline long runMeasured(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start("/usr/bin/time", QStringList{"-f", "%M", program} + arguments);
    process.waitForFinished(-1);
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     process.readAllStandardError().constData());
    const QList<QByteArray> lines = process.readAllStandardError().trimmed().split('\n');
    return lines.last().toLong();
}

struct Timing {
    double seconds = 0;
    long kib = 0;
};

// Commands run in turn, round after round, so that a busy moment of the machine falls on all
// of them alike; the median of each, and its largest resident size.
struct Command {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
};

inline std::vector<Timing> alternating(int runs, const std::vector<Command>& commands)
{
    std::vector<std::vector<double>> seconds(commands.size());
    std::vector<Timing> timings(commands.size());
    for (int round = 0; round < runs; ++round)
        for (std::size_t n = 0; n < commands.size(); ++n) {
            QElapsedTimer timer;
            timer.start();
            const long kib =
                runMeasured(commands[n].program, commands[n].arguments, commands[n].environment);
            seconds[n].push_back(timer.nsecsElapsed() / 1e9);
            timings[n].kib = std::max(timings[n].kib, kib);
        }
    for (std::size_t n = 0; n < commands.size(); ++n)
        timings[n].seconds = median(seconds[n]);
    return timings;
}

inline QProcessEnvironment environmentFor(const QString& dataHome, const QString& database)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    environment.insert("QUARVET_DATABASE", database);
    environment.insert("LC_ALL", "C.UTF-8");
    return environment;
}

// Goals this run missed: scripts/bench fails when there are any.
inline int missedGoals = 0;

// A goal the figure above must meet: said, and counted, where it is missed.
inline void holdTo(bool met, const char* goal)
{
    if (met)
        return;
    std::printf("%-52s goal missed: %s\n", "", goal);
    ++missedGoals;
}

inline void report(const char* what, double seconds, double floor, long kib = 0)
{
    std::printf("%-52s %8.3f s  %6.2fx", what, seconds, seconds / floor);
    if (kib > 0)
        std::printf("  %6.1f MiB", kib / 1024.0);
    std::printf("\n");
}

// A size this process's status gives, in KiB: "VmRSS" now, "VmHWM" the largest so far.
inline long statusKib(const QByteArray& field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLong();
    return 0;
}

} // namespace quarvet::bench
