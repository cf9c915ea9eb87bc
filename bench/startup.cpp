// Times start-up: from just before a program is started to the line it prints once its
// window has been painted, alternating two programs so that both see the same machine.
// Usage: startup RUNS PROGRAM BASELINE
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double milliseconds = 0;
    long residentKilobytes = 0;
};

bool measure(const char* program, Sample& sample)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        setenv("QUARVET_STARTUP_PROBE", "1", 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    FILE* output = fdopen(pipeEnds[0], "r");
    char line[256] = {};
    const bool shown = std::fgets(line, sizeof line, output) != nullptr;
    const auto end = std::chrono::steady_clock::now();
    std::fclose(output);
    int status = 0;
    waitpid(child, &status, 0);
    long kilobytes = 0;
    if (!shown || std::sscanf(line, "shown %ld", &kilobytes) != 1)
        return false;
    sample.milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    sample.residentKilobytes = kilobytes;
    return true;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "Usage: startup RUNS PROGRAM BASELINE\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<double> times[2];
    std::vector<long> memory[2];
    for (int run = 0; run < runs; ++run) {
        for (int which = 0; which < 2; ++which) {
            Sample sample;
            if (!measure(argv[2 + which], sample)) {
                std::fprintf(stderr, "%s did not report its window\n", argv[2 + which]);
                return 1;
            }
            times[which].push_back(sample.milliseconds);
            memory[which].push_back(sample.residentKilobytes);
        }
    }
    const double time = median(times[0]);
    const double baseTime = median(times[1]);
    const long rss = median(memory[0]);
    const long baseRss = median(memory[1]);
    std::printf("start-up to painted window, median of %d alternating runs:\n", runs);
    std::printf("  program   %8.1f ms  %7ld kB resident\n", time, rss);
    std::printf("  baseline  %8.1f ms  %7ld kB resident\n", baseTime, baseRss);
    std::printf("  time ratio %.2fx (goal <= 1.3), memory %+.1f MiB (goal <= +8)\n",
                time / baseTime, (rss - baseRss) / 1024.0);
    return 0;
}
