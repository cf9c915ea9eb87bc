#include "cli.h"

#include "ui/localeseparators.h"

#include <QLocale>
#include <iostream>

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Qt's reading of the environment (LC_ALL, LC_NUMERIC, LANG), as the window uses it.
    const auto separators = quarvet::ui::separatorsOf(QLocale::system());
    return quarvet::cli::run(args, separators, {std::cin, std::cout, std::cerr});
}
