#include "tst_calc.h"

#include "calc/recall.h"

#include <QTest>

#include <cmath>
#include <vector>

using namespace quarvet::calc;

Q_DECLARE_METATYPE(std::optional<Verdict>)

namespace {
constexpr std::optional<Verdict> noVerdict = std::nullopt;
}

// A table worked by hand with the factors 1.25 and 0.5, each step from the one before: the
// interval a laboratory would set after each calibration of one instrument.
void TestRecall::staircase_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<std::optional<Verdict>>("found");
    QTest::addColumn<int>("months");
    QTest::addColumn<int>("step");
    const auto row = [](const char* name, int current, std::optional<Verdict> found, int months,
                        IntervalStep step) {
        QTest::newRow(name) << current << found << months << static_cast<int>(step);
    };
    row("12, pass: 15", 12, Verdict::Pass, 15, IntervalStep::Lengthened);
    row("15, pass: 18.75 to 19", 15, Verdict::Pass, 19, IntervalStep::Lengthened);
    row("19, fail: 9.5 to 10", 19, Verdict::Fail, 10, IntervalStep::Shortened);
    row("10, conditional pass: kept", 10, Verdict::ConditionalPass, 10, IntervalStep::Kept);
    row("10, conditional fail: 5", 10, Verdict::ConditionalFail, 5, IntervalStep::Shortened);
    row("5, pass: 6.25 to 6", 5, Verdict::Pass, 6, IntervalStep::Lengthened);
    row("6, not judged: kept", 6, Verdict::NotJudged, 6, IntervalStep::NoVerdict);
    row("6, no verdict: kept", 6, noVerdict, 6, IntervalStep::NoVerdict);
    row("1, fail: never below a month", 1, Verdict::Fail, 1, IntervalStep::Shortened);
    row("1, pass: 1.25 rounds to 1, a month longer", 1, Verdict::Pass, 2, IntervalStep::Lengthened);
    row("3, conditional fail: 1.5 rounds to 2", 3, Verdict::ConditionalFail, 2,
        IntervalStep::Shortened);
    row("120, pass: stays at ten years", 120, Verdict::Pass, 120, IntervalStep::Lengthened);
    row("100, pass: never above ten years", 100, Verdict::Pass, 120, IntervalStep::Lengthened);
}

void TestRecall::staircase()
{
    QFETCH(int, current);
    QFETCH(std::optional<Verdict>, found);
    QFETCH(int, months);
    QFETCH(int, step);
    const IntervalSuggestion suggestion = nextInterval(current, found, IntervalFactors{});
    QCOMPARE(suggestion.months, months);
    QCOMPARE(static_cast<int>(suggestion.step), step);
}

void TestRecall::factors_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("reads");
    QTest::addColumn<double>("up");
    QTest::addColumn<double>("down");
    QTest::newRow("the defaults") << "1.25:0.5" << true << 1.25 << 0.5;
    QTest::newRow("never stepping") << "1:1" << true << 1.0 << 1.0;
    QTest::newRow("the widest") << "4:0.01" << true << 4.0 << 0.01;
    QTest::newRow("up below 1 shortens after a pass") << "0.9:0.5" << false << 0.0 << 0.0;
    QTest::newRow("down above 1 lengthens after a fail") << "1.5:1.2" << false << 0.0 << 0.0;
    QTest::newRow("down 0 makes no interval") << "1.5:0" << false << 0.0 << 0.0;
    QTest::newRow("up above 4") << "4.01:1" << false << 0.0 << 0.0;
    QTest::newRow("one factor") << "1.5" << false << 0.0 << 0.0;
    QTest::newRow("nothing after the colon") << "1.5:" << false << 0.0 << 0.0;
    QTest::newRow("not a number") << "nan:0.5" << false << 0.0 << 0.0;
    QTest::newRow("infinite") << "inf:0.5" << false << 0.0 << 0.0;
    QTest::newRow("a comma") << "1,5:0.5" << false << 0.0 << 0.0;
    QTest::newRow("a blank before") << " 1.5:0.5" << false << 0.0 << 0.0;
    QTest::newRow("more after") << "1.5:0.5:1" << false << 0.0 << 0.0;
}

void TestRecall::factors()
{
    QFETCH(QString, typed);
    QFETCH(bool, reads);
    const auto factors = readIntervalFactors(typed.toStdString());
    QCOMPARE(factors.has_value(), reads);
    if (!reads)
        return;
    QFETCH(double, up);
    QFETCH(double, down);
    QCOMPARE(factors->up, up);
    QCOMPARE(factors->down, down);
    QCOMPARE(readIntervalFactors(intervalFactorsText(*factors)), factors);
}

// Lines worked by hand: slope = Sxy / Sxx, u = sqrt(Σ residual² / (n − 2) / Sxx).
void TestRecall::drift_data()
{
    QTest::addColumn<QList<double>>("years");
    QTest::addColumn<QList<double>>("errors");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<double>("perYear");
    QTest::addColumn<double>("u");
    QTest::addColumn<double>("intercept");
    // Sxx = 2, Sxy = 0.11; residuals 0.005, −0.01, 0.005.
    QTest::newRow("three a year apart") << QList<double>{0, 1, 2} << QList<double>{0.10, 0.14, 0.21}
                                        << true << 0.055 << std::sqrt(0.00015 / 2.0) << 0.095;
    // Sxx = 5.6875, Sxy = 0.85: slope 68/455.
    QTest::newRow("four unevenly spaced")
        << QList<double>{0, 0.5, 2, 3} << QList<double>{0, 0.1, 0.2, 0.5} << true << 68.0 / 455.0
        << 0.03376327801260927 << -0.0054945054945055;
    QTest::newRow("on a line: no scatter")
        << QList<double>{1, 2, 4} << QList<double>{3, 5, 9} << true << 2.0 << 0.0 << 1.0;
    QTest::newRow("falling") << QList<double>{0, 1, 2} << QList<double>{0.2, 0.1, 0.0} << true
                             << -0.1 << 0.0 << 0.2;
    QTest::newRow("two are no line")
        << QList<double>{0, 1} << QList<double>{0, 1} << false << 0.0 << 0.0 << 0.0;
    QTest::newRow("all on one day")
        << QList<double>{2, 2, 2} << QList<double>{0, 1, 2} << false << 0.0 << 0.0 << 0.0;
}

void TestRecall::drift()
{
    QFETCH(QList<double>, years);
    QFETCH(QList<double>, errors);
    QFETCH(bool, fits);
    std::vector<DriftPoint> points;
    for (qsizetype n = 0; n < years.size(); ++n)
        points.push_back({years[n], errors[n]});
    const std::optional<DriftLine> line = fitDrift(points);
    QCOMPARE(line.has_value(), fits);
    if (!fits)
        return;
    QFETCH(double, perYear);
    QFETCH(double, u);
    QFETCH(double, intercept);
    QVERIFY2(std::abs(line->perYear - perYear) < 1e-12, qPrintable(QString::number(line->perYear)));
    QVERIFY2(std::abs(line->u - u) < 1e-12, qPrintable(QString::number(line->u, 'g', 17)));
    QVERIFY(std::abs(line->intercept - intercept) < 1e-12);
    QCOMPARE(line->count, static_cast<int>(years.size()));
}
