#include "storedeadline.h"

#include "cli.h"

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

} // namespace quarvet::cli
