#include "tst_calc.h"

#include "calc/evaluation.h"
#include "calc/scope.h"
#include "messages/messages.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using quarvet::calc::CmcRange;
using quarvet::calc::ScopeFault;
using quarvet::calc::ScopeMark;
using quarvet::calc::Separators;

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(std::vector<CmcRange>)
Q_DECLARE_METATYPE(quarvet::calc::ScopeFault)
Q_DECLARE_METATYPE(quarvet::calc::ScopeMark)
Q_DECLARE_METATYPE(quarvet::calc::PooledFault)
Q_DECLARE_METATYPE(quarvet::calc::BudgetFault)

namespace {

const Separators english{".", ","};
const Separators german{",", "."};

} // namespace

void TestScope::typed_data()
{
    QTest::addColumn<std::vector<std::string>>("typed");
    QTest::addColumn<Separators>("separators");
    QTest::addColumn<ScopeFault>("fault");
    QTest::addColumn<std::string>("kept"); // sorted, as kept; or the range the fault names

    QTest::newRow("one range") << std::vector<std::string>{"0..100=0.02"} << english
                               << ScopeFault::None << std::string("0..100=0.02");
    QTest::newRow("sorted by their start; negative bounds")
        << std::vector<std::string>{"100..250=0.05", "-50..0=0.03", "0..100=0.02"} << english
        << ScopeFault::None << std::string("-50..0=0.03; 0..100=0.02; 100..250=0.05");
    QTest::newRow("a German comma") << std::vector<std::string>{"0..99,5=0,025"} << german
                                    << ScopeFault::None << std::string("0..99.5=0.025");
    QTest::newRow("a point where the comma is the separator")
        << std::vector<std::string>{"0..100=0.02"} << german << ScopeFault::ForeignSeparator
        << std::string("0..100=0.02");
    QTest::newRow("overlapping") << std::vector<std::string>{"0..100=0.02", "90..200=0.03"}
                                 << english << ScopeFault::Overlapping
                                 << std::string("0..100=0.02 and 90..200=0.03");
    QTest::newRow("one inside another")
        << std::vector<std::string>{"0..300=0.05", "20..30=0.01"} << english
        << ScopeFault::Overlapping << std::string("0..300=0.05 and 20..30=0.01");
    QTest::newRow("backwards") << std::vector<std::string>{"100..0=0.02"} << english
                               << ScopeFault::Backwards << std::string("100..0=0.02");
    QTest::newRow("no width") << std::vector<std::string>{"5..5=0.02"} << english
                              << ScopeFault::Backwards << std::string("5..5=0.02");
    QTest::newRow("CMC 0") << std::vector<std::string>{"0..100=0"} << english
                           << ScopeFault::CmcNotAbove0 << std::string("0..100=0");
    QTest::newRow("CMC -0") << std::vector<std::string>{"0..100=-0"} << english
                            << ScopeFault::CmcNotAbove0 << std::string("0..100=-0");
    QTest::newRow("CMC negative") << std::vector<std::string>{"0..100=-0.02"} << english
                                  << ScopeFault::CmcNotAbove0 << std::string("0..100=-0.02");
    QTest::newRow("no CMC") << std::vector<std::string>{"0..100"} << english
                            << ScopeFault::NotARange << std::string("0..100");
    QTest::newRow("no range") << std::vector<std::string>{"100=0.02"} << english
                              << ScopeFault::NotARange << std::string("100=0.02");
    QTest::newRow("CMC before the range") << std::vector<std::string>{"0.02=0..100"} << english
                                          << ScopeFault::NotARange << std::string("0.02=0..100");
    QTest::newRow("a word") << std::vector<std::string>{"0..hot=0.02"} << english
                            << ScopeFault::NotANumber << std::string("0..hot=0.02");
    QTest::newRow("not finite") << std::vector<std::string>{"0..1e400=0.02"} << english
                                << ScopeFault::NotANumber << std::string("0..1e400=0.02");
    QTest::newRow("empty bound") << std::vector<std::string>{"..100=0.02"} << english
                                 << ScopeFault::NotANumber << std::string("..100=0.02");
    QTest::newRow("three dots") << std::vector<std::string>{"0...5=0.02"} << english
                                << ScopeFault::NotARange << std::string("0...5=0.02");
}

// Ranges may meet at a bound but not share more: a temperature has one CMC.
void TestScope::typed()
{
    QFETCH(std::vector<std::string>, typed);
    QFETCH(Separators, separators);
    QFETCH(ScopeFault, fault);
    QFETCH(std::string, kept);
    const quarvet::calc::ScopeReading reading = quarvet::calc::readScope(typed, separators);
    QCOMPARE(reading.fault, fault);
    if (fault == ScopeFault::None) {
        QCOMPARE(quarvet::calc::scopeText(reading.ranges), kept);
        return;
    }
    QCOMPARE(reading.what, kept);
    QVERIFY(reading.ranges.empty());
    QVERIFY(!quarvet::messages::scopeFault(reading).empty());
}

// A scope is kept as text and read back on every save: the numbers must come back bit for bit.
void TestScope::keptReadsBackExactly()
{
    const std::vector<CmcRange> ranges{{-200.0, -0.1, 0.1 + 0.2},
                                       {-0.1, 1.0 / 3.0, 5e-324},
                                       {1.0 / 3.0, 1e300, 0.015000000000000001}};
    const quarvet::calc::ScopeReading back =
        quarvet::calc::readKeptScope(quarvet::calc::scopeText(ranges));
    QVERIFY(back.ok());
    QVERIFY(back.ranges == ranges);
    QVERIFY(quarvet::calc::readKeptScope("").ok());
    QVERIFY(quarvet::calc::readKeptScope("").ranges.empty());
}

void TestScope::keptByAnotherHand_data()
{
    QTest::addColumn<std::string>("kept");
    QTest::newRow("a comma") << std::string("0..100=0,02");
    QTest::newRow("overlapping") << std::string("0..100=0.02; 50..150=0.03");
    QTest::newRow("no blank after the semicolon") << std::string("0..100=0.02;100..200=0.03");
    QTest::newRow("a CMC of 0") << std::string("0..100=0");
    QTest::newRow("a semicolon at the end") << std::string("0..100=0.02; ");
    QTest::newRow("not in the order kept") << std::string("100..200=0.03; 0..100=0.02");
    QTest::newRow("a number not as written") << std::string("0..100=0.020");
}

// A store edited by hand must not hand the evaluation a scope it misreads.
void TestScope::keptByAnotherHand()
{
    QFETCH(std::string, kept);
    const quarvet::calc::ScopeReading reading = quarvet::calc::readKeptScope(kept);
    QCOMPARE(reading.fault, ScopeFault::NotAsKept);
    QVERIFY(reading.ranges.empty());
}

void TestScope::cmcAt_data()
{
    QTest::addColumn<double>("temperature");
    QTest::addColumn<double>("cmc"); // 0: outside every range
    QTest::newRow("inside the first") << 25.0 << 0.02;
    QTest::newRow("its lower bound") << -50.0 << 0.02;
    QTest::newRow("the shared bound takes the larger") << 100.0 << 0.05;
    QTest::newRow("inside the second") << 150.0 << 0.05;
    QTest::newRow("its upper bound") << 250.0 << 0.05;
    QTest::newRow("just above") << std::nextafter(250.0, 300.0) << 0.0;
    QTest::newRow("just below") << std::nextafter(-50.0, -100.0) << 0.0;
    QTest::newRow("in a gap") << 300.0 << 0.0;
    QTest::newRow("the third") << 400.0 << 0.1;
}

void TestScope::cmcAt()
{
    QFETCH(double, temperature);
    QFETCH(double, cmc);
    const std::vector<CmcRange> ranges{{-50, 100, 0.02}, {100, 250, 0.05}, {350, 450, 0.1}};
    const std::optional<double> found = quarvet::calc::cmcAt(ranges, temperature);
    QCOMPARE(found.has_value(), cmc > 0);
    if (found)
        QCOMPARE(*found, cmc);
}

void TestScope::resultsHeldAgainstTheScope_data()
{
    QTest::addColumn<std::vector<CmcRange>>("scope");
    QTest::addColumn<double>("reading"); // at 50 °C, tolerance 0.1, guarded
    QTest::addColumn<ScopeMark>("mark");
    QTest::addColumn<double>("U");
    QTest::addColumn<bool>("passes");
    // The budget alone gives U 0.021 (reference 0.02, resolution 0.01).
    QTest::newRow("no scope") << std::vector<CmcRange>{} << 50.07 << ScopeMark::NoScope << 0.021
                              << true;
    QTest::newRow("a CMC below the budget's U")
        << std::vector<CmcRange>{{0, 100, 0.01}} << 50.07 << ScopeMark::Within << 0.021 << true;
    QTest::newRow("a CMC equal to it")
        << std::vector<CmcRange>{{0, 100, 0.021}} << 50.07 << ScopeMark::Within << 0.021 << true;
    // The laboratory may not claim 0.021 where its CMC is 0.05: the pass at 0.07 is lost.
    QTest::newRow("a CMC above it: raised, and the verdict with it")
        << std::vector<CmcRange>{{0, 100, 0.05}} << 50.07 << ScopeMark::Raised << 0.05 << false;
    QTest::newRow("outside every range: U as evaluated")
        << std::vector<CmcRange>{{100, 200, 0.05}} << 50.07 << ScopeMark::Outside << 0.021 << true;
}

// The verdict is given with the U that is reported, on every face that evaluates.
void TestScope::resultsHeldAgainstTheScope()
{
    QFETCH(std::vector<CmcRange>, scope);
    QFETCH(double, reading);
    QFETCH(ScopeMark, mark);
    QFETCH(double, U);
    QFETCH(bool, passes);
    quarvet::calc::SetUp setUp;
    setUp.referenceU = 0.02;
    setUp.scope = scope;
    const std::vector<quarvet::calc::PointReadings> left{{50.0, {reading}}};
    const quarvet::calc::Evaluation evaluation =
        quarvet::calc::evaluate(setUp, left, left, 0.1, quarvet::calc::DecisionRule::Guarded);
    QVERIFY(evaluation.ok());
    for (const auto* results : {&evaluation.asFound, &evaluation.asLeft}) {
        QCOMPARE(results->at(0).scope, mark);
        QCOMPARE(results->at(0).budget.U, U);
        QCOMPARE(results->at(0).verdict == quarvet::calc::Verdict::Pass, passes);
    }
    const std::vector<double> outside = quarvet::calc::outsideScope(evaluation);
    QCOMPARE(outside.size(), mark == ScopeMark::Outside ? 1u : 0u);
}

void TestScope::pooledTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Separators>("separators");
    QTest::addColumn<quarvet::calc::PooledFault>("fault");
    QTest::addColumn<QString>("kept");
    using F = quarvet::calc::PooledFault;
    QTest::newRow("as kept") << "0.012:9" << english << F::None << "0.012:9";
    QTest::newRow("a German comma") << "0,012:9,5" << german << F::None << "0.012:9.5";
    QTest::newRow("a point where the comma is the separator")
        << "0.012:9" << german << F::ForeignSeparator << "";
    QTest::newRow("no degrees of freedom") << "0.012" << english << F::NotAPair << "";
    QTest::newRow("a word") << "small:9" << english << F::NotANumber << "";
    QTest::newRow("not finite") << "0.012:1e400" << english << F::NotANumber << "";
    QTest::newRow("s of 0") << "0:9" << english << F::NotValid << "";
    QTest::newRow("s below 0") << "-0.01:9" << english << F::NotValid << "";
    QTest::newRow("less than one degree of freedom") << "0.01:0.5" << english << F::NotValid << "";
}

void TestScope::pooledTyped()
{
    QFETCH(QString, typed);
    QFETCH(Separators, separators);
    QFETCH(quarvet::calc::PooledFault, fault);
    QFETCH(QString, kept);
    const quarvet::calc::PooledReading reading =
        quarvet::calc::readPooled(typed.toStdString(), separators);
    QCOMPARE(reading.fault, fault);
    if (reading.ok())
        QCOMPARE(QString::fromStdString(quarvet::calc::pooledText(reading.value)), kept);
    else
        QVERIFY(!quarvet::messages::pooledFault(reading, typed.toStdString()).empty());
}

void TestScope::pooledForAPointReadOnce_data()
{
    QTest::addColumn<std::vector<double>>("readings");
    QTest::addColumn<double>("s");
    QTest::addColumn<double>("nu");
    QTest::addColumn<quarvet::calc::BudgetFault>("fault");
    QTest::addColumn<bool>("pooledUsed");
    using F = quarvet::calc::BudgetFault;
    QTest::newRow("read once: the pooled s")
        << std::vector<double>{50.02} << 0.01 << 9.0 << F::None << true;
    QTest::newRow("read twice: its own s")
        << std::vector<double>{50.02, 50.04} << 0.01 << 9.0 << F::None << false;
    QTest::newRow("an s of 0 is no evaluation")
        << std::vector<double>{50.02} << 0.0 << 9.0 << F::PooledNotValid << false;
    QTest::newRow("not a number") << std::vector<double>{50.02}
                                  << std::numeric_limits<double>::quiet_NaN() << 9.0
                                  << F::PooledNotValid << false;
    QTest::newRow("under one degree of freedom")
        << std::vector<double>{50.02} << 0.01 << 0.0 << F::PooledNotValid << false;
}

// GUM 4.2.4: the Type A term of a single reading from the process's earlier evaluation, with
// that evaluation's degrees of freedom carried into ν_eff by Welch–Satterthwaite.
void TestScope::pooledForAPointReadOnce()
{
    QFETCH(std::vector<double>, readings);
    QFETCH(double, s);
    QFETCH(double, nu);
    QFETCH(quarvet::calc::BudgetFault, fault);
    QFETCH(bool, pooledUsed);
    quarvet::calc::SetUp setUp;
    setUp.referenceU = 0.02;
    const quarvet::calc::Budget without = quarvet::calc::budgetOf(setUp, readings);
    setUp.pooled = quarvet::calc::PooledRepeatability{s, nu};
    const quarvet::calc::Budget budget = quarvet::calc::budgetOf(setUp, readings);
    QCOMPARE(budget.fault, fault);
    if (!budget.ok())
        return;
    const auto pooled = std::find_if(budget.components.begin(), budget.components.end(),
                                     [](const quarvet::calc::Component& c) {
                                         return c.name.find("pooled") != std::string::npos;
                                     });
    QCOMPARE(pooled != budget.components.end(), pooledUsed);
    if (!pooledUsed) {
        QCOMPARE(budget.U, without.U);
        return;
    }
    QCOMPARE(pooled->u, s);
    QCOMPARE(pooled->nu, nu);
    // Every other term is Type B: ν_eff = u_c⁴ / (s⁴ / ν).
    const double uc2 = without.uc * without.uc + s * s;
    QVERIFY(std::fabs(budget.uc - std::sqrt(uc2)) <= 1e-15);
    QVERIFY(std::fabs(budget.nuEff - uc2 * uc2 / (s * s * s * s / nu)) <= 1e-9 * budget.nuEff);
    QVERIFY(budget.k > 2.0);
    QVERIFY(budget.U > without.U);
}
