// Writes quarvet-cli's manual page from its template: the synopsis is the command table's
// usage, so that the manual names every command as --help does.
#include "recordcommands.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// A usage block as roff lines without filling: minus signs as such, a line never taken for a
// request, the lines that go on indented a little.
std::string roff(const std::string& block)
{
    std::string said;
    std::istringstream lines(block);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t text = line.find_first_not_of(' ');
        std::string out = text == 0 ? std::string() : std::string("    ");
        out += "\\&";
        for (std::size_t n = text == std::string::npos ? line.size() : text; n < line.size(); ++n)
            out += line[n] == '-' ? std::string("\\-") : std::string(1, line[n]);
        said += out + "\n";
    }
    return said;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: quarvet-cli-manual TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream page;
    page << in.rdbuf();
    if (!in) {
        std::cerr << "quarvet-cli-manual: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::string synopsis = ".nf\n";
    for (const quarvet::cli::Command& command : quarvet::cli::programCommands().commands)
        for (const std::string& block : command.usage)
            synopsis += roff(block);
    synopsis += roff("quarvet-cli --help | --version") + ".fi";
    std::string text = page.str();
    const std::size_t at = text.find("@SYNOPSIS@");
    if (at == std::string::npos) {
        std::cerr << "quarvet-cli-manual: no @SYNOPSIS@ in " << argv[1] << "\n";
        return 1;
    }
    text.replace(at, 10, synopsis);
    std::ofstream out(argv[2]);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "quarvet-cli-manual: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
