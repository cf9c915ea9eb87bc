#include "recordcommands.h"
#include "registercommands.h"

namespace quarvet::cli {

const CommandTable& programCommands()
{
    static const CommandTable table = [] {
        CommandTable all = calculatorCommands();
        all += recordCommands();
        all += registerCommands();
        return all;
    }();
    return table;
}

} // namespace quarvet::cli
