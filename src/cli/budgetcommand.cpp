#include "budgetcommand.h"

#include "adjustcommands.h"

#include "calc/uncertainty.h"
#include "messages/messages.h"

#include <cmath>
#include <map>
#include <optional>

namespace quarvet::cli {
namespace {

struct BudgetWords {
    std::map<std::string, std::string> options;
    std::vector<std::string> readings;
    bool json = false;
    std::string usageFault;
};

// Options by their exact names anywhere, each once; every other word is a reading, so that a
// negative one ("-5") is never taken for an option.
BudgetWords readBudgetWords(const std::vector<std::string>& args)
{
    ReadWords read = cli::readWords(args, budgetOptions(), EntryWords::Anywhere);
    BudgetWords words;
    words.usageFault = read.fault;
    if (!read.ok())
        return words;
    words.json = read.options.count("--json") != 0;
    for (const auto& [name, values] : read.options)
        if (name != "--json")
            words.options[name] = values.front();
    words.readings = std::move(read.entries);
    if (words.usageFault.empty() &&
        (!words.options.count("--reference-u") || words.readings.empty()))
        words.usageFault = "budget takes --reference-u U [--reference-k K] [--drift A] "
                           "[--resolution R] [--uniformity A] [--stability A] [--json] "
                           "READING...";
    return words;
}

std::string number(double value)
{
    return calc::shortestText(value);
}

// Infinite degrees of freedom: "inf" in the table, null in JSON, which has no such number.
std::string degrees(double nu, bool json)
{
    return std::isfinite(nu) ? number(nu) : json ? "null" : "inf";
}

void writeJson(const calc::Budget& budget, OutputBuffer& out)
{
    out << "{\"n\":" << std::to_string(budget.n) << ",\"mean\":" << number(budget.mean)
        << ",\"s\":" << number(budget.s) << ",\"components\":[";
    for (std::size_t n = 0; n < budget.components.size(); ++n) {
        const calc::Component& c = budget.components[n];
        out << (n == 0 ? "" : ",") << "{\"name\":\"" << c.name << "\",\"input\":" << number(c.input)
            << ",\"distribution\":\"" << calc::distributionName(c.distribution)
            << "\",\"divisor\":" << number(c.divisor) << ",\"u\":" << number(c.u)
            << ",\"nu\":" << degrees(c.nu, true) << "}";
    }
    out << "],\"uc\":" << number(budget.uc) << ",\"nuEff\":" << degrees(budget.nuEff, true)
        << ",\"k\":" << number(budget.k) << ",\"expanded\":" << number(budget.expanded)
        << ",\"U\":" << number(budget.U) << "}\n";
}

void writeTable(const calc::Budget& budget, OutputBuffer& out)
{
    out << "readings " << std::to_string(budget.n) << ", mean "
        << messages::roundedToUncertainty(budget.mean, budget.U);
    if (budget.hasTypeA())
        out << ", s " << number(budget.s) << '\n';
    else
        out << "\none reading: no Type A term\n";
    out << "component\tinput\tdistribution\tdivisor\tu\tnu\n";
    for (const calc::Component& c : budget.components)
        out << c.name << '\t' << number(c.input) << '\t' << calc::distributionName(c.distribution)
            << '\t' << number(c.divisor) << '\t' << number(c.u) << '\t' << degrees(c.nu, false)
            << '\n';
    out << "u_c " << number(budget.uc) << "\nnu_eff " << degrees(budget.nuEff, false) << "\nk "
        << messages::coverageFactorText(budget.k) << "\nU "
        << messages::expandedUncertaintyText(budget.U)
        << " (k \u00B7 u_c = " << number(budget.expanded) << ", rounded up to two figures)\n";
}

} // namespace

int budgetCommand(const std::vector<std::string>& args, const calc::Separators& separators,
                  Output& io)
{
    const BudgetWords words = readBudgetWords(args);
    if (!words.usageFault.empty())
        return usageFault(words.usageFault, io);
    std::vector<std::pair<std::string, std::string>> labelled(words.options.begin(),
                                                              words.options.end());
    for (std::size_t n = 0; n < words.readings.size(); ++n)
        labelled.emplace_back("Reading " + std::to_string(n + 1), words.readings[n]);
    std::vector<double> values;
    if (!readLabelledNumbers(labelled, separators, values, io, ForeignSeparator::Refuse))
        return failure;
    calc::SetUp setUp;
    for (std::size_t n = 0; n < words.options.size(); ++n)
        setUp.*setUpOptions().at(labelled[n].first) = values[n];
    if (referenceURefused(setUp, io))
        return failure;
    const std::vector<double> readings(values.begin() + words.options.size(), values.end());
    const calc::Budget budget = calc::budgetOf(setUp, readings);
    if (!budget.ok()) {
        io.sayError(messages::budgetFault(budget.fault) + "\n");
        return failure;
    }
    if (words.json)
        writeJson(budget, io.out);
    else
        writeTable(budget, io.out);
    return success;
}

} // namespace quarvet::cli
