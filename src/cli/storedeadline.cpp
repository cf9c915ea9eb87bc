#include "storedeadline.h"

#include "cli.h"

#include <string>

#include <unistd.h>

namespace quarvet::cli {

[[noreturn]] void storeDeadlinePassed()
{
    static const char said[] = "quarvet-cli: the record store did not answer within 120 "
                               "seconds; a record being saved is saved whole or not at all "
                               "(look with records list)\n";
    (void)!::write(2, said, sizeof said - 1);
    ::_exit(failure);
}

void showUpgradeProgress(qint64 done, qint64 total)
{
    StoreDeadline::progressed();
    static const bool terminal = ::isatty(2) == 1;
    std::string line;
    if (done == 0)
        line = "quarvet-cli: bringing the record store up to date, once: chaining the " +
               std::to_string(total) + " records it holds\n";
    else if (terminal)
        line = "\rquarvet-cli: " + std::to_string(done * 100 / total) + " % (" +
               std::to_string(done) + " of " + std::to_string(total) + " records chained)" +
               (done == total ? "\n" : "");
    (void)!::write(2, line.data(), line.size());
}

} // namespace quarvet::cli
