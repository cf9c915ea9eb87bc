#include "recordcommands.h"
#include "registercommands.h"
#include "signercommands.h"

namespace quarvet::cli {

const CommandTable& programCommands()
{
    static const CommandTable table = [] {
        CommandTable all = calculatorCommands();
        all += recordCommands();
        all += registerCommands();
        all += signerCommands();
        return all;
    }();
    return table;
}

} // namespace quarvet::cli
