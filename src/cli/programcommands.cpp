#include "dcccommands.h"
#include "instrumentcommands.h"
#include "recordcommands.h"
#include "registercommands.h"
#include "signercommands.h"
#include "signingcommands.h"

namespace quarvet::cli {

const CommandTable& programCommands()
{
    static const CommandTable table = [] {
        CommandTable all = calculatorCommands();
        all += recordCommands();
        all += registerCommands();
        all += signerCommands();
        all += signingCommands();
        all += instrumentCommands();
        all += dccCommands();
        return all;
    }();
    return table;
}

} // namespace quarvet::cli
