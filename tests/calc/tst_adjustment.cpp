#include "calc/adjustment.h"
#include "messages/messages.h"
#include "tst_calc.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace quarvet::calc;

Q_DECLARE_METATYPE(quarvet::calc::CalcFault)
Q_DECLARE_METATYPE(quarvet::calc::VerificationFault)

namespace {

Adjustment twoPoints(double target1, double target2, double indicated1, double indicated2,
                     Coefficients current = {})
{
    const ReferencePoint points[] = {{target1, indicated1}, {target2, indicated2}};
    return adjust(points, current);
}

QByteArray codesOf(const Adjustment& adjustment)
{
    return QByteArray::fromStdString(adjustment.line.slopeCode + " " + adjustment.line.offsetCode);
}

} // namespace

void TestAdjustment::codesReadBack_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("neutral slope") << QByteArray("2710") << true << 10000;
    QTest::newRow("lower case") << QByteArray("fe04") << true << -508;
    QTest::newRow("minus one") << QByteArray("D8F0") << true << -10000;
    QTest::newRow("lowest") << QByteArray("8000") << true << -32768;
    QTest::newRow("highest") << QByteArray("7FFF") << true << 32767;
    QTest::newRow("three digits") << QByteArray("27A") << false << 0;
    QTest::newRow("five digits") << QByteArray("27A80") << false << 0;
    QTest::newRow("trailing blank") << QByteArray("27A ") << false << 0;
    QTest::newRow("not hexadecimal") << QByteArray("G000") << false << 0;
    QTest::newRow("sign") << QByteArray("-001") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
}

void TestAdjustment::codesReadBack()
{
    QFETCH(QByteArray, code);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const auto read = readCoefficientCode(code.toStdString());
    QCOMPARE(read.has_value(), valid);
    if (valid)
        QCOMPARE(int(*read), value);
}

// The worked example: what the codes will really make the instrument read.
void TestAdjustment::workedExample()
{
    const Adjustment adjustment = twoPoints(0, 100, 0.5, 99.0);
    QCOMPARE(codesOf(adjustment), QByteArray("27A8 FE04"));
    QCOMPARE(adjustment.appliedSlope, 1.0152);
    QCOMPARE(adjustment.appliedOffset, -0.508);
    QVERIFY(!adjustment.slopeWraps && !adjustment.offsetWraps);
    QCOMPARE(adjustment.points.size(), std::size_t(2));
    // 1.0152 * 0.5 - 0.508 and 1.0152 * 99 - 0.508 - 100, each rounded as computed.
    QCOMPARE(adjustment.points[0].asLeft, -0.00039999999999995595);
    QCOMPARE(adjustment.points[1].error, -0.0031999999999783313);
    QCOMPARE(adjustment.largestError, 0.0031999999999783313);
}

void TestAdjustment::lines_data()
{
    QTest::addColumn<QList<double>>("pairs"); // target, indicated, ...
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<bool>("slopeWraps");
    QTest::addColumn<double>("appliedSlope");
    QTest::newRow("slope of seven wraps") << QList<double>{0, 0, 70, 10} << QByteArray("2710 0000")
                                          << QByteArray("1170 0000") << true << 0.4464;
    QTest::newRow("readings under 2710 01F4 are taken back")
        << QList<double>{0, 1.0, 100, 99.5} << QByteArray("2710 01F4") << QByteArray("27A8 FE04")
        << false << 1.0152;
    QTest::newRow("readings under a slope of 2")
        << QList<double>{0, 1.0, 100, 198.0} << QByteArray("4E20 0000") << QByteArray("27A8 FE04")
        << false << 1.0152;
    QTest::newRow("three points on a line")
        << QList<double>{0, 1, 10, 6, 20, 11} << QByteArray("2710 0000") << QByteArray("4E20 F830")
        << false << 2.0;
    QTest::newRow("three points, least squares")
        << QList<double>{0, 0.5, 50, 50.1, 100, 99} << QByteArray("2710 0000")
        << QByteArray("27A8 FD8E") << false << 1.0152;
}

void TestAdjustment::lines()
{
    QFETCH(QList<double>, pairs);
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, codes);
    QFETCH(bool, slopeWraps);
    QFETCH(double, appliedSlope);
    std::vector<ReferencePoint> points;
    for (qsizetype n = 0; n + 1 < pairs.size(); n += 2)
        points.push_back({pairs[n], pairs[n + 1]});
    const Coefficients coefficients{*readCoefficientCode(current.left(4).toStdString()),
                                    *readCoefficientCode(current.mid(5).toStdString())};
    const Adjustment adjustment = adjust(points, coefficients);
    QVERIFY(adjustment.ok());
    QCOMPARE(codesOf(adjustment), codes);
    QCOMPARE(adjustment.slopeWraps, slopeWraps);
    QCOMPARE(adjustment.appliedSlope, appliedSlope);
    QCOMPARE(adjustment.points.size(), points.size());
}

void TestAdjustment::faults_data()
{
    QTest::addColumn<QList<double>>("pairs");
    QTest::addColumn<int>("currentSlope");
    QTest::addColumn<CalcFault>("fault");
    QTest::newRow("current slope code 0")
        << QList<double>{0, 1, 100, 2} << 0 << CalcFault::CurrentSlopeZero;
    QTest::newRow("equal raw readings")
        << QList<double>{0, 5, 100, 5} << 10000 << CalcFault::EqualIndicatedValues;
    QTest::newRow("three equal raw readings")
        << QList<double>{0, 5, 50, 5, 100, 5} << 10000 << CalcFault::AllIndicatedEqual;
    QTest::newRow("both raw readings overflow, unequal indicated")
        << QList<double>{0, 1e305, 100, 1.1e305} << 1 << CalcFault::NotFinite;
    QTest::newRow("one point") << QList<double>{0, 5} << 10000 << CalcFault::EqualIndicatedValues;
    QTest::newRow("raw readings overflow")
        << QList<double>{0, -1e308, 100, 1e308} << 1 << CalcFault::NotFinite;
    QTest::newRow("steep fit") << QList<double>{0, 0, 1e6, 1, 2e6, 2} << 10000
                               << CalcFault::SlopeOutOfRange;
}

void TestAdjustment::faults()
{
    QFETCH(QList<double>, pairs);
    QFETCH(int, currentSlope);
    QFETCH(CalcFault, fault);
    std::vector<ReferencePoint> points;
    for (qsizetype n = 0; n + 1 < pairs.size(); n += 2)
        points.push_back({pairs[n], pairs[n + 1]});
    const Adjustment adjustment = adjust(points, {std::int16_t(currentSlope), 0});
    QCOMPARE(adjustment.line.fault, fault);
    QVERIFY(adjustment.line.slopeCode.empty() && adjustment.points.empty());
    QVERIFY(!quarvet::messages::calculationFault(fault).empty());
}

// With neutral codes the two-point check is calc itself, bit for bit.
void TestAdjustment::neutralCheckIsCalc_data()
{
    TestCalibration().codes_data();
}

void TestAdjustment::neutralCheckIsCalc()
{
    QFETCH(double, s1);
    QFETCH(double, s2);
    QFETCH(double, i1);
    QFETCH(double, i2);
    const CalcResult calc = calibrate(s1, s2, i1, i2);
    const Adjustment adjustment = twoPoints(s1, s2, i1, i2);
    QCOMPARE(adjustment.line.slopeCode, calc.slopeCode);
    QCOMPARE(adjustment.line.offsetCode, calc.offsetCode);
    QCOMPARE(adjustment.line.slope, calc.slope);
    QCOMPARE(adjustment.line.offset, calc.offset);
}

// Floored codes miss the line by less than one unit each: at a point, by at most
// 1e-4 * |raw| + 1e-3, plus the rounding of the arithmetic.
void TestAdjustment::errorBoundHolds()
{
    std::mt19937_64 random(1208);
    std::uniform_real_distribution<double> temperature(-200, 600);
    std::uniform_real_distribution<double> deviation(-5, 5);
    int checked = 0;
    for (int n = 0; n < 100000; ++n) {
        const double target1 = temperature(random);
        const double target2 = temperature(random);
        const Adjustment adjustment =
            twoPoints(target1, target2, target1 + deviation(random), target2 + deviation(random));
        if (!adjustment.ok() || adjustment.slopeWraps || adjustment.offsetWraps)
            continue;
        ++checked;
        for (const PointPrediction& point : adjustment.points) {
            const double bound = 1e-4 * std::fabs(point.raw) + 1e-3;
            QVERIFY2(std::fabs(point.error) <= bound * (1 + 1e-9) + 1e-12,
                     qPrintable(QString::number(point.error, 'g', 17)));
        }
    }
    QVERIFY(checked > 10000);
}

// Readings taken under current codes, taken back, give the codes that raw readings give;
// only where the division rounds across a unit of the code may they differ, by one.
void TestAdjustment::composeThenApplyIsApplyToRaw()
{
    std::mt19937_64 random(2026);
    std::uniform_real_distribution<double> temperature(-100, 400);
    std::uniform_int_distribution<int> slopeCode(6000, 14000);
    std::uniform_int_distribution<int> offsetCode(-3000, 3000);
    int same = 0;
    const int cases = 20000;
    for (int n = 0; n < cases; ++n) {
        const Coefficients current{std::int16_t(slopeCode(random)),
                                   std::int16_t(offsetCode(random))};
        const double raw1 = temperature(random);
        const double raw2 = raw1 + 50 + temperature(random);
        const double target1 = raw1 + 1;
        const double target2 = raw2 - 2;
        const auto shown = [&](double raw) {
            return slopeOfCode(current.slopeCode) * raw + offsetOfCode(current.offsetCode);
        };
        const Adjustment underCurrent =
            twoPoints(target1, target2, shown(raw1), shown(raw2), current);
        const Adjustment fromRaw = twoPoints(target1, target2, raw1, raw2);
        QVERIFY(underCurrent.ok() && fromRaw.ok());
        const auto units = [](const std::string& code) { return *readCoefficientCode(code); };
        QVERIFY(std::abs(units(underCurrent.line.slopeCode) - units(fromRaw.line.slopeCode)) <= 1);
        QVERIFY(std::abs(units(underCurrent.line.offsetCode) - units(fromRaw.line.offsetCode)) <=
                1);
        same += underCurrent.line.slopeCode == fromRaw.line.slopeCode &&
                underCurrent.line.offsetCode == fromRaw.line.offsetCode;
    }
    QVERIFY2(same > cases * 9 / 10, qPrintable(QString::number(same)));
}

void TestAdjustment::verification_data()
{
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<double>("uncertainty");
    QTest::addColumn<QList<double>>("readings"); // target, reading, ...
    QTest::addColumn<VerificationFault>("fault");
    QTest::addColumn<QList<bool>>("passes");
    QTest::addColumn<bool>("pass");
    const auto ok = VerificationFault::None;
    QTest::newRow("0.08 passes with a guard band of 0.02")
        << 0.1 << 0.02 << QList<double>{0, 0.08} << ok << QList<bool>{true} << true;
    QTest::newRow("0.081 fails") << 0.1 << 0.02 << QList<double>{100, 100.081} << ok
                                 << QList<bool>{false} << false;
    QTest::newRow("one failing point fails the whole")
        << 0.1 << 0.0 << QList<double>{0, -0.1, 100, 100.2} << ok << QList<bool>{true, false}
        << false;
    QTest::newRow("uncertainty as large as the tolerance judges nothing")
        << 0.1 << 0.1 << QList<double>{0, 0, 50, 50.001} << ok << QList<bool>{false, false}
        << false;
    QTest::newRow("no tolerance") << 0.0 << 0.0 << QList<double>{0, 0}
                                  << VerificationFault::ToleranceNotPositive << QList<bool>{}
                                  << false;
    QTest::newRow("negative uncertainty")
        << 0.1 << -0.01 << QList<double>{0, 0} << VerificationFault::UncertaintyNegative
        << QList<bool>{} << false;
    QTest::newRow("the rounding allowance scales with a tiny tolerance")
        << 1e-20 << 0.0 << QList<double>{0, 1e-10} << ok << QList<bool>{false} << false;
    QTest::newRow("readings beyond a double")
        << 0.1 << 0.0 << QList<double>{-1e308, 1e308} << VerificationFault::NotFinite
        << QList<bool>{} << false;
}

void TestAdjustment::verification()
{
    QFETCH(double, tolerance);
    QFETCH(double, uncertainty);
    QFETCH(QList<double>, readings);
    QFETCH(VerificationFault, fault);
    QFETCH(QList<bool>, passes);
    QFETCH(bool, pass);
    std::vector<VerificationReading> taken;
    for (qsizetype n = 0; n + 1 < readings.size(); n += 2)
        taken.push_back({readings[n], readings[n + 1]});
    const Verification result = verify(taken, tolerance, uncertainty);
    QCOMPARE(result.fault, fault);
    QCOMPARE(result.pass, pass);
    QCOMPARE(qsizetype(result.points.size()), passes.size());
    for (qsizetype n = 0; n < passes.size(); ++n)
        QCOMPARE(result.points[std::size_t(n)].pass, passes[n]);
    QCOMPARE(QString::fromStdString(quarvet::calc::ruleStatement(0.02)),
             QStringLiteral("pass when |error| ≤ tolerance − uncertainty (guard band = 0.02)"));
}
