// Speed of the entry conversion against std::from_chars and QLocale::toDouble on the same
// texts, and of the check, the calculation and the decoding per operation.
#include "calc/adjustment.h"
#include "calc/calculation.h"
#include "calc/entry.h"
#include "calc/uncertainty.h"
#include "instrument/memorydecoder.h"

#include <QLocale>
#include <QString>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace quarvet;

namespace {

const calc::Separators point{".", ","};
const calc::Separators comma{",", "."};

// What technicians type, and a sample of the public hard cases.
std::vector<std::string> typicalTexts()
{
    return {"0", "100", "0.5", "99.0", "-40", "20.25", "85.125", "-0.75", "37.5", "1e2"};
}

std::vector<std::string> vectorTexts()
{
    std::vector<std::string> texts;
    std::ifstream file(std::string(QUARVET_TESTDATA_DIR) + "/vectors.txt");
    std::string line;
    while (texts.size() < 5000 && std::getline(file, line))
        texts.push_back(line.substr(line.find(' ') + 1));
    return texts;
}

// Keeps the texts that QLocale::toDouble reads too, so that all three see the same input.
std::vector<std::string> commonTexts(const std::vector<std::string>& texts)
{
    const QLocale c = QLocale::c();
    std::vector<std::string> common;
    for (const std::string& text : texts) {
        bool ok = false;
        c.toDouble(QString::fromStdString(text), &ok);
        if (ok && calc::readEntry(text, point).isNumber())
            common.push_back(text);
    }
    return common;
}

const std::map<std::string, std::vector<std::string>>& textSets()
{
    static const std::map<std::string, std::vector<std::string>> sets{
        {"typical", commonTexts(typicalTexts())}, {"vectors", commonTexts(vectorTexts())}};
    return sets;
}

void conversion(benchmark::State& state, const std::string& set, int how)
{
    const std::vector<std::string>& texts = textSets().at(set);
    std::vector<QString> qtexts;
    for (const std::string& text : texts)
        qtexts.push_back(QString::fromStdString(text));
    // The same texts as a comma locale's user types them.
    std::vector<std::string> commaTexts = texts;
    for (std::string& text : commaTexts)
        std::replace(text.begin(), text.end(), '.', ',');
    const QLocale c = QLocale::c();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& text = texts[i];
        double value = 0;
        if (how == 0) {
            value = calc::readEntry(text, point).value;
        } else if (how == 3) {
            value = calc::readEntry(commaTexts[i], comma).value;
        } else if (how == 1) {
            std::from_chars(text.data(), text.data() + text.size(), value);
        } else {
            value = c.toDouble(qtexts[i]);
        }
        benchmark::DoNotOptimize(value);
        i = i + 1 == texts.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

void checkFourEntries(benchmark::State& state)
{
    const calc::FieldText entries[] = {{calc::EntryField::Target1, "0"},
                                       {calc::EntryField::Target2, "100"},
                                       {calc::EntryField::Indicated1, "0.5"},
                                       {calc::EntryField::Indicated2, "99.0"}};
    const auto pair = calc::probeSeparators(point);
    for (auto _ : state)
        benchmark::DoNotOptimize(calc::checkEntries(entries, point, pair));
}

void calculateCodes(benchmark::State& state)
{
    const auto pair = calc::probeSeparators(point);
    for (auto _ : state)
        benchmark::DoNotOptimize(calc::calculateCodes({"0", "100", "0.5", "99.0"}, point, pair));
}

void decodeMemoryText(benchmark::State& state)
{
    const std::string text = "00020000000000000010270020A107000000052700702FFCFF0000FF2600804F1"
                             "2000000202700000000000000";
    for (auto _ : state)
        benchmark::DoNotOptimize(instrument::decodeMemory(text));
}

// The as-left prediction of the worked example's two points, against which the budget of one
// point is measured: both are what a technician waits for at each point.
void predictAsLeft(benchmark::State& state)
{
    const calc::ReferencePoint points[] = {{0.0, 0.5}, {100.0, 99.0}};
    for (auto _ : state)
        benchmark::DoNotOptimize(calc::adjust(points, calc::Coefficients{}));
}

void budgetOfOnePoint(benchmark::State& state)
{
    calc::SetUp setUp;
    setUp.referenceU = 0.020;
    setUp.drift = 0.010;
    setUp.uniformity = 0.010;
    setUp.stability = 0.005;
    const double readings[] = {99.99, 100.00, 100.01, 99.99, 100.00};
    for (auto _ : state)
        benchmark::DoNotOptimize(calc::budgetOf(setUp, readings));
}

// Collects the medians so that the table can end with the ratios that matter.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv)
{
    for (const std::string set : {"typical", "vectors"}) {
        benchmark::RegisterBenchmark(("readEntry/" + set).c_str(), conversion, set, 0);
        benchmark::RegisterBenchmark(("from_chars/" + set).c_str(), conversion, set, 1);
        benchmark::RegisterBenchmark(("QLocale::toDouble/" + set).c_str(), conversion, set, 2);
        benchmark::RegisterBenchmark(("readEntry comma locale/" + set).c_str(), conversion, set, 3);
    }
    benchmark::RegisterBenchmark("check of four entries", checkFourEntries);
    benchmark::RegisterBenchmark("calculation with both codes", calculateCodes);
    benchmark::RegisterBenchmark("decoding one memory text", decodeMemoryText);
    benchmark::RegisterBenchmark("as-left prediction of two points", predictAsLeft);
    benchmark::RegisterBenchmark("budget of one point", budgetOfOnePoint);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios of medians, measured in this run:\n");
    std::printf("%-10s %28s %36s %36s\n", "texts", "readEntry / from_chars (<= 2)",
                "QLocale::toDouble / readEntry (>= 3)", "readEntry, comma locale / from_chars");
    for (const std::string set : {"typical", "vectors"}) {
        const double own = reporter.medians["readEntry/" + set];
        const double fromChars = reporter.medians["from_chars/" + set];
        const double qlocale = reporter.medians["QLocale::toDouble/" + set];
        const double commaOwn = reporter.medians["readEntry comma locale/" + set];
        if (own > 0 && fromChars > 0)
            std::printf("%-10s %27.2fx %35.2fx %35.2fx\n", set.c_str(), own / fromChars,
                        qlocale / own, commaOwn / fromChars);
    }
    const double prediction = reporter.medians["as-left prediction of two points"];
    if (prediction > 0)
        std::printf("budget of one point / as-left prediction of two points: %.2fx\n",
                    reporter.medians["budget of one point"] / prediction);
    return 0;
}
