// Writes quarvet-cli's manual page from its template: the synopsis is the command table's
// usage, so that the manual names every command as --help does.
#include "recordcommands.h"

#include <algorithm>
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
        // A line that goes on with the one before (12 columns in) stands 4 in.
        const std::size_t text = line.find_first_not_of(' ');
        std::string out(text == std::string::npos || text < 12 ? 0 : text - 8, ' ');
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
    // The usage as --help prints it, without its "Usage: " and the indent of its lines.
    std::string synopsis = ".nf\n";
    std::istringstream usage(quarvet::cli::usageOf(quarvet::cli::programCommands()));
    std::string line;
    while (std::getline(usage, line))
        synopsis += roff(line.substr(std::min<std::size_t>(7, line.size())));
    synopsis += ".fi";
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
