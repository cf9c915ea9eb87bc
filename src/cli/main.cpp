#include "cli.h"
#include "fileio.h"

#include "ui/localeseparators.h"

#include <QLocale>

int main(int argc, char* argv[])
{
    // Before anything opens a file that could otherwise become standard input or output.
    quarvet::cli::occupyClosedStandardStreams();
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Qt's reading of the environment (LC_ALL, LC_NUMERIC, LANG), as the window uses it.
    const auto separators = quarvet::ui::separatorsOf(QLocale::system());
    quarvet::cli::DescriptorSource in(0, "standard input");
    quarvet::cli::DescriptorSink out(1, "standard output");
    quarvet::cli::DescriptorSink err(2, "standard error");
    return quarvet::cli::run(args, separators, {in, out, err});
}
