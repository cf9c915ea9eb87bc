#include "tst_calc.h"

#include "calc/conformity.h"
#include "calc/evaluation.h"
#include "calc/uncertainty.h"
#include "messages/messages.h"

#include <QTest>

#include <clocale>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

using quarvet::calc::Budget;
using quarvet::calc::DecisionRule;
using quarvet::calc::SetUp;
using quarvet::calc::Verdict;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(quarvet::calc::SetUp)
Q_DECLARE_METATYPE(quarvet::calc::DecisionRule)
Q_DECLARE_METATYPE(quarvet::calc::Verdict)
Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(std::function<std::string()>)

namespace {

// Equal to the digits given: within half a unit of the last one.
bool toDigits(double actual, double expected, double lastDigit)
{
    return std::fabs(actual - expected) <= lastDigit / 2;
}

SetUp setUp(double referenceU, double resolution, double drift = 0, double uniformity = 0,
            double stability = 0)
{
    SetUp made;
    made.referenceU = referenceU;
    made.resolution = resolution;
    made.drift = drift;
    made.uniformity = uniformity;
    made.stability = stability;
    return made;
}

} // namespace

void TestUncertainty::workedExamples_data()
{
    QTest::addColumn<SetUp>("setUp");
    QTest::addColumn<std::vector<double>>("readings");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("s");
    QTest::addColumn<double>("uc");
    QTest::addColumn<double>("nuEff");
    QTest::addColumn<double>("U");
    QTest::newRow("five readings at 100 °C")
        << setUp(0.020, 0.01, 0.010, 0.010, 0.005)
        << std::vector<double>{99.99, 100.00, 100.01, 99.99, 100.00} << 99.998 << 0.0083666
        << 0.0140475 << 794.7 << 0.029;
    // Three readings that scatter, against a fine reference: nu_eff near 2, k far above 2.
    QTest::newRow("three readings at 20 °C")
        << setUp(0.002, 0.001) << std::vector<double>{20.00, 20.02, 20.04} << 20.02 << 0.02
        << 0.0115938 << 2.03 << 0.052;
}

void TestUncertainty::workedExamples()
{
    QFETCH(SetUp, setUp);
    QFETCH(std::vector<double>, readings);
    QFETCH(double, mean);
    QFETCH(double, s);
    QFETCH(double, uc);
    QFETCH(double, nuEff);
    QFETCH(double, U);
    const Budget budget = quarvet::calc::budgetOf(setUp, readings);
    QVERIFY(budget.ok());
    QVERIFY2(toDigits(budget.mean, mean, 1e-9), qPrintable(QString::number(budget.mean, 'g', 17)));
    QVERIFY2(toDigits(budget.s, s, 1e-7), qPrintable(QString::number(budget.s, 'g', 17)));
    QVERIFY2(toDigits(budget.uc, uc, 1e-7), qPrintable(QString::number(budget.uc, 'g', 17)));
    QVERIFY2(toDigits(budget.nuEff, nuEff, nuEff > 10 ? 0.1 : 0.01),
             qPrintable(QString::number(budget.nuEff, 'g', 17)));
    QCOMPARE(budget.U, U);
    QCOMPARE(budget.expanded, budget.k * budget.uc);
    QVERIFY(budget.U >= budget.expanded);
    double squares = 0;
    for (const auto& component : budget.components)
        squares += component.u * component.u;
    QCOMPARE(budget.uc * budget.uc, squares);
    if (nuEff < 10)
        QVERIFY2(budget.k > 4, qPrintable(QString::number(budget.k)));
}

// One reading gives no Type A term: the budget has none, and its degrees of freedom are
// infinite, so k is exactly 2.
void TestUncertainty::oneReadingHasNoTypeA()
{
    const std::vector<double> one{100.0};
    const Budget budget = quarvet::calc::budgetOf(setUp(0.02, 0.01), one);
    QVERIFY(budget.ok() && !budget.hasTypeA());
    QCOMPARE(budget.components.size(), std::size_t(2));
    QVERIFY(std::isinf(budget.nuEff));
    QCOMPARE(budget.k, 2.0);
    QCOMPARE(budget.s, 0.0);
}

void TestUncertainty::sameBudgetAtAnyMagnitude_data()
{
    QTest::addColumn<double>("scale");
    for (const double scale : {1e-300, 1e-150, 1e-70, 1.0, 1e70, 1e150, 1e300})
        QTest::addRow("%g", scale) << scale;
}

// Two readings a scale apart, and the reference's U that scale too: the budget is the same
// budget scaled, its degrees of freedom and k unchanged, however far from 1 the scale is.
void TestUncertainty::sameBudgetAtAnyMagnitude()
{
    QFETCH(double, scale);
    const std::vector<double> readings{0.0, scale};
    const Budget budget = quarvet::calc::budgetOf(setUp(scale, 0.0), readings);
    QVERIFY(budget.ok());
    QVERIFY2(std::fabs(budget.nuEff - 4.0) < 1e-9, qPrintable(QString::number(budget.nuEff)));
    QCOMPARE(budget.k, quarvet::calc::coverageFactor(budget.nuEff));
    // s = scale / sqrt(2), u_A = scale / 2, u_ref = scale / 2: u_c = scale / sqrt(2).
    QVERIFY(std::fabs(budget.uc / scale - 1 / std::sqrt(2.0)) < 1e-12);
    QVERIFY(budget.U >= budget.expanded);
}

void TestUncertainty::refusedInputs_data()
{
    using Fault = quarvet::calc::BudgetFault;
    QTest::addColumn<SetUp>("setUp");
    QTest::addColumn<std::vector<double>>("readings");
    QTest::addColumn<int>("fault");
    const std::vector<double> two{1.0, 1.1};
    SetUp noK = setUp(0.02, 0.01);
    noK.referenceK = 0;
    QTest::newRow("no readings") << setUp(0.02, 0.01) << std::vector<double>{}
                                 << int(Fault::NoReadings);
    QTest::newRow("k of zero") << noK << two << int(Fault::CoverageNotPositive);
    QTest::newRow("negative drift") << setUp(0.02, 0.01, -0.1) << two << int(Fault::Negative);
    QTest::newRow("negative resolution") << setUp(0.02, -0.01) << two << int(Fault::Negative);
    QTest::newRow("infinite reading")
        << setUp(0.02, 0.01) << std::vector<double>{1.0, HUGE_VAL} << int(Fault::NotFinite);
    QTest::newRow("NaN uncertainty") << setUp(std::nan(""), 0.01) << two << int(Fault::NotFinite);
    QTest::newRow("a spread that overflows")
        << setUp(0.02, 0.01) << std::vector<double>{-1e308, 1e308} << int(Fault::TooLarge);
}

void TestUncertainty::refusedInputs()
{
    QFETCH(SetUp, setUp);
    QFETCH(std::vector<double>, readings);
    QFETCH(int, fault);
    QCOMPARE(int(quarvet::calc::budgetOf(setUp, readings).fault), fault);
}

void TestUncertainty::roundingUp_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("reported");
    QTest::newRow("up") << 0.028133 << 0.029;
    QTest::newRow("two figures already") << 0.029 << 0.029;
    QTest::newRow("just above two figures") << 0.0290000001 << 0.030;
    QTest::newRow("into the next decade") << 0.0991 << 0.1;
    QTest::newRow("large") << 1234.0 << 1300.0;
    QTest::newRow("a power of ten") << 0.1 << 0.1;
    QTest::newRow("zero") << 0.0 << 0.0;
    // Beyond the powers of ten a double holds exactly: still the nearest double to two
    // figures, never below the value.
    QTest::newRow("tiny") << 1e-22 << 1e-22;
    QTest::newRow("tinier") << 3e-53 << 3e-53;
    QTest::newRow("huge") << 4e24 << 4e24;
    QTest::newRow("huge, up") << 4.01e24 << 4.1e24;
    QTest::newRow("99 up into the next decade") << 9.91e-30 << 1e-29;
}

void TestUncertainty::roundingUp()
{
    QFETCH(double, value);
    QFETCH(double, reported);
    QCOMPARE(quarvet::calc::roundUpToTwoFigures(value), reported);
}

// Readings that are all the same have that mean and no spread at all: no residue of the sum
// may give a tiny s, a ν_eff of 1e61 and a k past 2.
void TestUncertainty::identicalReadingsAreIdentical_data()
{
    QTest::addColumn<std::vector<double>>("readings");
    QTest::addColumn<double>("U"); // as for readings of 5
    QTest::newRow("0.1 three times") << std::vector<double>{0.1, 0.1, 0.1} << 0.040;
    QTest::newRow("100.01 four times")
        << std::vector<double>{100.01, 100.01, 100.01, 100.01} << 0.040;
    QTest::newRow("-0.3 twice") << std::vector<double>{-0.3, -0.3} << 0.040;
    QTest::newRow("1e-300 three times") << std::vector<double>{1e-300, 1e-300, 1e-300} << 0.040;
}

void TestUncertainty::identicalReadingsAreIdentical()
{
    QFETCH(std::vector<double>, readings);
    QFETCH(double, U);
    const Budget budget = quarvet::calc::budgetOf(setUp(0.04, 0), readings);
    QVERIFY(budget.ok());
    QCOMPARE(budget.mean, readings.front()); // exactly: QCOMPARE of doubles would be fuzzy
    QVERIFY(budget.mean == readings.front());
    QVERIFY2(budget.s == 0.0, qPrintable(QString::number(budget.s)));
    QVERIFY(std::isinf(budget.nuEff));
    QVERIFY2(budget.k == 2.0, qPrintable(QString::number(budget.k, 'g', 17)));
    QCOMPARE(budget.U, U);
    // And k tends to exactly 2 as ν grows: the coverage probability is that of k = 2.
    QVERIFY2(std::fabs(quarvet::calc::coverageFactor(1e15) - 2.0) < 1e-12,
             qPrintable(QString::number(quarvet::calc::coverageFactor(1e15), 'g', 17)));
}

// A window's process runs under the user's LC_NUMERIC, as Qt sets it; the texts of U, k and
// the budget are written with a point there too (a certificate once read "0.5000 0,0161").
void TestUncertainty::numberTextsIgnoreTheProcessLocale_data()
{
    using namespace quarvet::messages;
    QTest::addColumn<std::function<std::string()>>("write");
    QTest::addColumn<QString>("expected");
    QTest::newRow("U below ten") << std::function([] { return expandedUncertaintyText(0.03); })
                                 << "0.030";
    QTest::newRow("U of ten and more")
        << std::function([] { return expandedUncertaintyText(14.2); }) << "14";
    QTest::newRow("U of a million")
        << std::function([] { return expandedUncertaintyText(2.5e6); }) << "2.5e+06";
    QTest::newRow("k") << std::function([] { return coverageFactorText(2.0355640139148647); })
                       << "2.04";
    QTest::newRow("k of one degree of freedom")
        << std::function([] { return coverageFactorText(13.968); }) << "14.0";
    QTest::newRow("k of a normal distribution")
        << std::function([] { return coverageFactorText(2.0); }) << "2.00";
    QTest::newRow("k typed for a reference, past three figures")
        << std::function([] { return coverageFactorText(150.0); }) << "150";
    QTest::newRow("k typed absurdly large")
        << std::function([] { return coverageFactorText(1e300); }) << "1.00e+300";
    QTest::newRow("a budget's figure")
        << std::function([] { return significantText(0.016123, 3); }) << "0.0161";
}

void TestUncertainty::numberTextsIgnoreTheProcessLocale()
{
    QFETCH(std::function<std::string()>, write);
    QFETCH(QString, expected);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        QSKIP("the locale de_DE.UTF-8 is not generated (scripts/test generates it)");
    const std::string written = write();
    std::setlocale(LC_NUMERIC, "C");
    QCOMPARE(QString::fromStdString(written), expected);
}

// Whatever else the set-up holds, the result's U is never below what the reference alone
// contributes: 2 · U_ref / k_ref.
void TestUncertainty::neverBelowTheReference()
{
    const std::vector<std::vector<double>> readings{
        {5.0}, {5.0, 5.0}, {5.0, 5.001, 4.999}, {5.0, 5.3, 4.7, 5.1}};
    for (const double referenceU : {0.0, 0.001, 0.02, 0.5})
        for (const double referenceK : {1.0, 2.0, 2.5})
            for (const double resolution : {0.0, 0.001, 0.1})
                for (const auto& taken : readings) {
                    SetUp made = setUp(referenceU, resolution);
                    made.referenceK = referenceK;
                    const Budget budget = quarvet::calc::budgetOf(made, taken);
                    QVERIFY(budget.ok());
                    QVERIFY(budget.U >= 2 * referenceU / referenceK);
                    QVERIFY(budget.k >= 2.0);
                }
}

// k falls towards 2 as the readings grow in number, and is exactly 2 for infinite degrees.
void TestUncertainty::coverageFactorTendsToTwo()
{
    double previous = 1e9;
    for (const double nu : {1.0, 2.0, 5.0, 20.0, 100.0, 10000.0, 1e7}) {
        const double k = quarvet::calc::coverageFactor(nu);
        QVERIFY2(k < previous && k > 2.0, qPrintable(QString::number(k)));
        previous = k;
    }
    QVERIFY(std::fabs(previous - 2.0) < 1e-3);
    // And in budgets: the same spread read 2, 3, ... 2000 times.
    previous = 1e9;
    for (const int n : {2, 3, 5, 10, 30, 100, 2000}) {
        std::vector<double> readings;
        for (int m = 0; m < n; ++m)
            readings.push_back(100.0 + (m % 2 ? 0.01 : -0.01));
        const Budget budget = quarvet::calc::budgetOf(setUp(0.002, 0.001), readings);
        QVERIFY2(budget.k < previous && budget.k > 2.0, qPrintable(QString::number(budget.k)));
        previous = budget.k;
    }
    QVERIFY(previous < 2.01);
}

void TestUncertainty::componentsNeverLowerU_data()
{
    QTest::addColumn<SetUp>("larger");
    QTest::newRow("drift") << setUp(0.02, 0.01, 0.01);
    QTest::newRow("uniformity") << setUp(0.02, 0.01, 0, 0.01);
    QTest::newRow("stability") << setUp(0.02, 0.01, 0, 0, 0.01);
    QTest::newRow("a coarser display") << setUp(0.02, 0.1);
    QTest::newRow("a worse reference") << setUp(0.05, 0.01);
}

// Adding to any component never lowers the combined uncertainty, nor U where the readings give
// no Type A term. With one, it can lower U: a Type B term raises the effective degrees of
// freedom, and k falls faster than u_c grows (two readings 0.02 apart: 0.041 without a
// drift of ± 0.01, 0.040 with it). That is the Welch–Satterthwaite method as the GUM gives
// it; the test pins it, so a change to the method shows.
void TestUncertainty::componentsNeverLowerU()
{
    QFETCH(SetUp, larger);
    for (const auto& taken : std::vector<std::vector<double>>{
             {5.0}, {5.0, 5.02}, {5.0, 5.02, 5.04}, {5.0, 5.01, 5.0, 4.99, 5.0}}) {
        const Budget base = quarvet::calc::budgetOf(setUp(0.02, 0.01), taken);
        const Budget grown = quarvet::calc::budgetOf(larger, taken);
        QVERIFY(grown.uc > base.uc);
        if (!base.hasTypeA())
            QVERIFY(grown.U >= base.U);
    }
    const std::vector<double> two{5.0, 5.02};
    QCOMPARE(quarvet::calc::budgetOf(setUp(0.02, 0.01), two).U, 0.041);
    QCOMPARE(quarvet::calc::budgetOf(setUp(0.02, 0.01, 0.01), two).U, 0.040);
}

void TestUncertainty::verdictsAtTheLimits_data()
{
    QTest::addColumn<double>("error");
    QTest::addColumn<double>("U");
    QTest::addColumn<DecisionRule>("rule");
    QTest::addColumn<Verdict>("verdict");
    const double T = 0.1;
    const double U = 0.02;
    const double beyond = 1e-6;
    using R = DecisionRule;
    using V = Verdict;
    QTest::newRow("guarded at T − U") << T - U << U << R::Guarded << V::Pass;
    QTest::newRow("guarded past T − U") << -(T - U + beyond) << U << R::Guarded << V::Fail;
    QTest::newRow("guarded at T") << T << U << R::Guarded << V::Fail;
    QTest::newRow("guarded, U not below T") << 0.0 << T << R::Guarded << V::NotJudged;
    QTest::newRow("guarded, U above T, at T + U") << 0.3 << 0.2 << R::Guarded << V::NotJudged;
    QTest::newRow("guarded, U above T, 5 off") << -5.0 << 0.2 << R::Guarded << V::Fail;
    // 0.4 − 0.1 read as 0.30000000000000004: on T + U but for the last bit, which may not fail.
    QTest::newRow("guarded, U above T, on T + U but for rounding")
        << 0.4 - 0.1 << 0.2 << R::Guarded << V::NotJudged;
    QTest::newRow("guarded, U as large as T, on T + U") << T + T << T << R::Guarded << V::NotJudged;
    QTest::newRow("guarded, U as large as T, past T + U")
        << T + T + beyond << T << R::Guarded << V::Fail;
    QTest::newRow("simple at T") << -T << U << R::Simple << V::Pass;
    QTest::newRow("simple past T") << T + beyond << U << R::Simple << V::Fail;
    QTest::newRow("simple, U above T") << 0.0 << 2 * T << R::Simple << V::Pass;
    QTest::newRow("non-binary at T − U") << T - U << U << R::NonBinary << V::Pass;
    QTest::newRow("non-binary past T − U")
        << T - U + beyond << U << R::NonBinary << V::ConditionalPass;
    QTest::newRow("non-binary at T") << -T << U << R::NonBinary << V::ConditionalPass;
    QTest::newRow("non-binary past T") << T + beyond << U << R::NonBinary << V::ConditionalFail;
    QTest::newRow("non-binary at T + U") << T + U << U << R::NonBinary << V::ConditionalFail;
    QTest::newRow("non-binary past T + U") << T + U + beyond << U << R::NonBinary << V::Fail;
    QTest::newRow("a tolerance of 1e-20 and an error of 1e-10")
        << 1e-10 << 0.0 << R::Simple << V::Fail;
    QTest::newRow("no number") << std::nan("") << U << R::Simple << V::NotJudged;
}

void TestUncertainty::verdictsAtTheLimits()
{
    QFETCH(double, error);
    QFETCH(double, U);
    QFETCH(DecisionRule, rule);
    QFETCH(Verdict, verdict);
    const double tolerance = QByteArray(QTest::currentDataTag()).contains("1e-20") ? 1e-20 : 0.1;
    QCOMPARE(quarvet::calc::judgePoint(error, tolerance, U, rule), verdict);
}

void TestUncertainty::overallIsTheWorst_data()
{
    using V = Verdict;
    using A = quarvet::calc::Absence;
    QTest::addColumn<std::vector<int>>("verdicts");
    QTest::addColumn<bool>("tolerance");
    QTest::addColumn<int>("incomplete");
    QTest::addColumn<int>("overall"); // a verdict, or -1 - the absence
    const auto none = [](A absence) { return -1 - int(absence); };
    QTest::newRow("none") << std::vector<int>{} << true << 0 << none(A::NotVerified);
    QTest::newRow("none without tolerance")
        << std::vector<int>{} << false << 0 << none(A::NotVerified);
    QTest::newRow("read without tolerance")
        << std::vector<int>{int(V::NotJudged)} << false << 0 << none(A::NoTolerance);
    QTest::newRow("incomplete before all")
        << std::vector<int>{int(V::Fail)} << true << 2 << none(A::Incomplete);
    QTest::newRow("all pass") << std::vector<int>{int(V::Pass), int(V::Pass)} << true << 0
                              << int(V::Pass);
    QTest::newRow("a conditional pass") << std::vector<int>{int(V::Pass), int(V::ConditionalPass)}
                                        << true << 0 << int(V::ConditionalPass);
    QTest::newRow("one not judged") << std::vector<int>{int(V::ConditionalPass), int(V::NotJudged)}
                                    << true << 0 << int(V::NotJudged);
    QTest::newRow("a conditional fail before not judged")
        << std::vector<int>{int(V::NotJudged), int(V::ConditionalFail)} << true << 0
        << int(V::ConditionalFail);
    QTest::newRow("a fail before all")
        << std::vector<int>{int(V::ConditionalFail), int(V::Fail), int(V::Pass)} << true << 0
        << int(V::Fail);
}

void TestUncertainty::overallIsTheWorst()
{
    QFETCH(std::vector<int>, verdicts);
    QFETCH(bool, tolerance);
    QFETCH(int, incomplete);
    QFETCH(int, overall);
    std::vector<Verdict> points;
    for (const int verdict : verdicts)
        points.push_back(Verdict(verdict));
    const quarvet::calc::Outcome outcome =
        quarvet::calc::outcomeOf(points, tolerance, std::size_t(incomplete));
    QCOMPARE(outcome.verdict ? int(*outcome.verdict) : -1 - int(outcome.absence), overall);
    QCOMPARE(outcome.point, std::size_t(incomplete));
    if (outcome.verdict)
        QCOMPARE(quarvet::calc::passes(*outcome.verdict),
                 overall == int(Verdict::Pass) || overall == int(Verdict::ConditionalPass));
}

void TestUncertainty::asFoundOfTheWorkedExample_data()
{
    QTest::addColumn<DecisionRule>("rule");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("guarded") << DecisionRule::Guarded << Verdict::Fail;
    QTest::newRow("simple") << DecisionRule::Simple << Verdict::Fail;
    QTest::newRow("non-binary") << DecisionRule::NonBinary << Verdict::Fail;
}

// The adjustment check's worked example as found: indicated 0.5 at 0 and 99.0 at 100, with
// the budget's defaults and the reference's 0.02, tolerance 0.1: the instrument was found out
// of tolerance, whatever the rule, and the customer must be told.
void TestUncertainty::asFoundOfTheWorkedExample()
{
    QFETCH(DecisionRule, rule);
    QFETCH(Verdict, verdict);
    const std::vector<quarvet::calc::PointReadings> found{{0, {0.5}}, {100, {99.0}}};
    const auto evaluation = quarvet::calc::evaluate(setUp(0.02, 0.01), found, {}, 0.1, rule);
    QVERIFY(evaluation.ok());
    QCOMPARE(evaluation.asFoundOutcome.verdict, std::optional<Verdict>(verdict));
    QCOMPARE(evaluation.asFound[0].verdict, Verdict::Fail);
    QCOMPARE(evaluation.asFound[1].verdict, Verdict::Fail);
    QCOMPARE(evaluation.asFound[0].budget.U, 0.021);
    QVERIFY(!evaluation.asLeftOutcome.verdict);
}

void TestUncertainty::evaluation_data()
{
    using quarvet::calc::EvaluationFault;
    QTest::addColumn<std::vector<double>>("verification"); // pairs of target and reading
    QTest::addColumn<double>("tolerance");                 // 0: none
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("asLeftPoints");
    QTest::addColumn<QString>("asFound"); // "" for no verdict
    QTest::addColumn<QString>("asLeft");
    const auto row = [](const char* name, std::vector<double> verification, double tolerance,
                        EvaluationFault fault, int points, const char* asFound,
                        const char* asLeft) {
        QTest::newRow(name) << verification << tolerance << int(fault) << points << asFound
                            << asLeft;
    };
    row("both targets read once", {0, 0.03, 100, 99.99}, 0.1, EvaluationFault::None, 2, "Fail",
        "Pass");
    // A target read again is one point with two readings, wherever its readings stand.
    row("a target read twice", {0, 0.03, 100, 99.99, 0, 0.05}, 0.1, EvaluationFault::None, 2,
        "Fail", "Pass");
    row("a third target", {0, 0.03, 100, 99.99, 50, 50.2}, 0.1, EvaluationFault::None, 3, "Fail",
        "Fail");
    row("no verification: found only", {}, 0.1, EvaluationFault::None, 0, "Fail", "");
    row("no tolerance: budgets only", {0, 0.03, 100, 99.99}, 0, EvaluationFault::None, 2, "", "");
    row("tolerance not above 0", {0, 0.03}, -0.1, EvaluationFault::ToleranceNotPositive, 0, "", "");
    row("tolerance infinite", {0, 0.03}, std::numeric_limits<double>::infinity(),
        EvaluationFault::NotFinite, 0, "", "");
    row("a reading too large to combine", {0, 1e308, 0, -1e308}, 0.1, EvaluationFault::Budget, 0,
        "", "");
}

// As found at the adjustment check's worked example (0.5 and 99 at 0 and 100), as left at the
// verification targets, each point with its own budget under the one set-up.
void TestUncertainty::evaluation()
{
    QFETCH(std::vector<double>, verification);
    QFETCH(double, tolerance);
    QFETCH(int, fault);
    QFETCH(int, asLeftPoints);
    QFETCH(QString, asFound);
    QFETCH(QString, asLeft);
    std::vector<quarvet::calc::VerificationReading> readings;
    for (std::size_t n = 0; n + 1 < verification.size(); n += 2)
        readings.push_back({verification[n], verification[n + 1]});
    const std::vector<quarvet::calc::PointReadings> found{{0, {0.5}}, {100, {99}}};
    const auto evaluation = quarvet::calc::evaluate(
        setUp(0.02, 0.01), found, quarvet::calc::readingsByTarget(readings),
        tolerance == 0 ? std::nullopt : std::optional<double>(tolerance), DecisionRule::Guarded);
    QCOMPARE(int(evaluation.fault), fault);
    if (!evaluation.ok())
        return;
    QCOMPARE(evaluation.asLeft.size(), std::size_t(asLeftPoints));
    const auto said = [](const quarvet::calc::Outcome& outcome) {
        return outcome.verdict
                   ? QString::fromStdString(quarvet::calc::verdictText(*outcome.verdict))
                   : QString();
    };
    QCOMPARE(said(evaluation.asFoundOutcome), asFound);
    QCOMPARE(said(evaluation.asLeftOutcome), asLeft);
    // Each point's error is its mean's, and its U its own budget's: 0.021 read once.
    QCOMPARE(evaluation.asFound[1].error, -1.0);
    for (const auto& point : evaluation.asLeft)
        QCOMPARE(point.budget.n, int(point.readings.size()));
    QCOMPARE(evaluation.asFound[0].budget.U, 0.021);
}

void TestUncertainty::roundedToUncertainty_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("U");
    QTest::addColumn<QString>("written");
    QTest::newRow("to U's third decimal") << 0.5033 << 0.017 << "0.503";
    QTest::newRow("U with a trailing zero") << 0.5033 << 0.02 << "0.503";
    QTest::newRow("U of two decimals") << 50.034 << 0.24 << "50.03";
    QTest::newRow("U of whole degrees") << 101.4 << 12.0 << "101";
    // Written in exponent form, U still tells the place: 8.1e-05 is the sixth decimal.
    QTest::newRow("a U below 1e-4") << 0.5 << 8.1e-05 << "0.500000";
    QTest::newRow("a negative error that rounds to nothing") << -0.0001 << 0.021 << "0.000";
}

// Each result is written to the decimal place of its U's last figure, on every face.
void TestUncertainty::roundedToUncertainty()
{
    QFETCH(double, value);
    QFETCH(double, U);
    QFETCH(QString, written);
    QCOMPARE(QString::fromStdString(quarvet::messages::roundedToUncertainty(value, U)), written);
}
