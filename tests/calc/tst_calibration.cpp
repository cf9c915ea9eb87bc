#include "calc/adjustment.h"
#include "calc/calculation.h"
#include "messages/messages.h"
#include "tst_calc.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace quarvet::calc;

Q_DECLARE_METATYPE(quarvet::calc::CalcFault)

void TestCalibration::coefficientCodes_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<bool>("wraps"); // the code does not hold n
    QTest::newRow("zero") << 0 << QByteArray("0000") << false;
    QTest::newRow("one") << 1 << QByteArray("0001") << false;
    QTest::newRow("slope one") << 10000 << QByteArray("2710") << false;
    QTest::newRow("fifth digit dropped") << 70000 << QByteArray("1170") << true;
    QTest::newRow("minus one") << -1 << QByteArray("FFFF") << false;
    QTest::newRow("minus one degree") << -1000 << QByteArray("FC18") << false;
    QTest::newRow("minus 508") << -508 << QByteArray("FE04") << false;
    QTest::newRow("signed 16-bit low") << -32768 << QByteArray("8000") << false;
    QTest::newRow("signed 16-bit high") << 32767 << QByteArray("7FFF") << false;
    QTest::newRow("one past the high") << 32768 << QByteArray("8000") << true;
    QTest::newRow("one past the low") << -32769 << QByteArray("7FFF") << true;
    QTest::newRow("unsigned 16-bit high") << 65535 << QByteArray("FFFF") << true;
    QTest::newRow("int32 max") << std::numeric_limits<int>::max() << QByteArray("FFFF") << true;
    QTest::newRow("int32 min") << std::numeric_limits<int>::min() << QByteArray("0000") << true;
}

void TestCalibration::coefficientCodes()
{
    QFETCH(int, n);
    QFETCH(QByteArray, code);
    QFETCH(bool, wraps);
    QCOMPARE(QByteArray::fromStdString(coefficientCode(n)), code);
    // The wrap is decided from the integer; what the instrument applies is what the code holds.
    QCOMPARE(codeWraps(n), wraps);
    const auto held = readCoefficientCode(code.toStdString());
    QVERIFY(held);
    QCOMPARE(codeHeld(n), *held);
    QCOMPARE(codeHeld(n) == n, !wraps);
}

void TestCalibration::scaledFloor_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("scale");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");
    QTest::newRow("worked slope") << 1.015228426395939 << slopeScale << true << 10152;
    QTest::newRow("worked offset") << -0.507614213197968 << offsetScale << true << -508;
    QTest::newRow("floor, not truncation") << -0.0005 << offsetScale << true << -1;
    QTest::newRow("below resolution") << 0.0009 << offsetScale << true << 0;
    QTest::newRow("no rounding before floor") << 0.99999999 << slopeScale << true << 9999;
    QTest::newRow("largest slope") << 214748.3647 << slopeScale << true << 2147483647;
    QTest::newRow("smallest slope") << -214748.3648 << slopeScale << true << -2147483647 - 1;
    QTest::newRow("slope too large") << 214748.3648 << slopeScale << false << 0;
    QTest::newRow("slope too small") << -214748.3649 << slopeScale << false << 0;
    QTest::newRow("offset too large") << 2147483.648 << offsetScale << false << 0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << offsetScale << false
                              << 0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << slopeScale << false
                                  << 0;
}

void TestCalibration::scaledFloor()
{
    QFETCH(double, value);
    QFETCH(int, scale);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const auto units = quarvet::calc::scaledFloor(value, scale);
    QCOMPARE(units.has_value(), fits);
    if (fits)
        QCOMPARE(*units, expected);
}

void TestCalibration::codes_data()
{
    QTest::addColumn<double>("s1");
    QTest::addColumn<double>("s2");
    QTest::addColumn<double>("i1");
    QTest::addColumn<double>("i2");
    QTest::addColumn<QByteArray>("slope");
    QTest::addColumn<QByteArray>("offset");
    QTest::newRow("worked example")
        << 0.0 << 100.0 << 0.5 << 99.0 << QByteArray("27A8") << QByteArray("FE04");
    QTest::newRow("already right")
        << 20.0 << 80.0 << 20.0 << 80.0 << QByteArray("2710") << QByteArray("0000");
    QTest::newRow("one degree high")
        << 0.0 << 100.0 << 1.0 << 101.0 << QByteArray("2710") << QByteArray("FC18");
    QTest::newRow("slope seven wraps")
        << 0.0 << 70.0 << 0.0 << 10.0 << QByteArray("1170") << QByteArray("0000");
    QTest::newRow("negative slope")
        << 100.0 << 0.0 << 0.0 << 100.0 << QByteArray("D8F0") << QByteArray("86A0");
    // Fused, S2 - m*I2 comes out as -20.000000000000007 and the code as B1DF.
    QTest::newRow("no fused multiply-add")
        << -50.0 << 60.0 << -19.8 << 52.8 << QByteArray("3B2F") << QByteArray("B1E0");
    // From the first point the offset is exactly -40 (63C0); the second point is the rule.
    QTest::newRow("offset from second point")
        << -50.0 << 60.0 << -19.7 << 197.0 << QByteArray("13D4") << QByteArray("63BF");
}

void TestCalibration::codes()
{
    QFETCH(double, s1);
    QFETCH(double, s2);
    QFETCH(double, i1);
    QFETCH(double, i2);
    QFETCH(QByteArray, slope);
    QFETCH(QByteArray, offset);
    const CalcResult result = calibrate(s1, s2, i1, i2);
    QCOMPARE(result.fault, CalcFault::None);
    QCOMPARE(QByteArray::fromStdString(result.slopeCode), slope);
    QCOMPARE(QByteArray::fromStdString(result.offsetCode), offset);
}

void TestCalibration::faults_data()
{
    QTest::addColumn<double>("s1");
    QTest::addColumn<double>("s2");
    QTest::addColumn<double>("i1");
    QTest::addColumn<double>("i2");
    QTest::addColumn<CalcFault>("fault");
    QTest::newRow("equal indicated")
        << 0.0 << 100.0 << 5.0 << 5.0 << CalcFault::EqualIndicatedValues;
    QTest::newRow("equal zeros of both signs")
        << 0.0 << 100.0 << 0.0 << -0.0 << CalcFault::EqualIndicatedValues;
    QTest::newRow("steep slope") << 0.0 << 1e6 << 0.0 << 1.0 << CalcFault::SlopeOutOfRange;
    QTest::newRow("target difference overflows")
        << -1e308 << 1e308 << 0.0 << 1.0 << CalcFault::NotFinite;
    // Once read as slope 0 with offset 100 (codes 0000 86A0) where the line's is 50.
    QTest::newRow("indicated difference overflows")
        << 0.0 << 100.0 << -1e308 << 1e308 << CalcFault::NotFinite;
    // Once reported as a slope too large to code, though the slope is 1.
    QTest::newRow("both differences overflow")
        << -1e308 << 1e308 << -1e308 << 1e308 << CalcFault::NotFinite;
    QTest::newRow("product overflows, slope codable")
        << 0.0 << 1e306 << 1e308 << 1.0000001e308 << CalcFault::NotFinite;
    QTest::newRow("finite slope too steep to code")
        << -1e307 << 1e307 << 0.0 << 1.0 << CalcFault::SlopeOutOfRange;
    QTest::newRow("large offset") << 3e6 << 3e6 + 1 << 0.0 << 1.0 << CalcFault::OffsetOutOfRange;
}

void TestCalibration::faults()
{
    QFETCH(double, s1);
    QFETCH(double, s2);
    QFETCH(double, i1);
    QFETCH(double, i2);
    QFETCH(CalcFault, fault);
    const CalcResult result = calibrate(s1, s2, i1, i2);
    QCOMPARE(result.fault, fault);
    QVERIFY(result.slopeCode.empty() && result.offsetCode.empty());
    QVERIFY(!quarvet::messages::calculationFault(result.fault).empty());
}

void TestCalibration::entries_data()
{
    QTest::addColumn<QByteArray>("decimal");
    QTest::addColumn<QStringList>("texts"); // target 1, target 2, indicated 1, indicated 2
    QTest::addColumn<QByteArray>("codes");
    QTest::newRow("point locale") << QByteArray(".") << QStringList{"0", "100", "0.5", "99.0"}
                                  << QByteArray("27A8 FE04");
    QTest::newRow("comma locale") << QByteArray(",") << QStringList{"0", "100", "0,5", "99,0"}
                                  << QByteArray("27A8 FE04");
    QTest::newRow("wrong entries give no codes")
        << QByteArray(".") << QStringList{"x", "100", "y", "99"}
        << QByteArray("Following Inputs are wrong: Target temperature 1, Indicated temperature 1");
    QTest::newRow("out of range target")
        << QByteArray(".") << QStringList{"1e999", "100", "1", "99"}
        << QByteArray("Following Inputs are wrong: Target temperature 1");
    QTest::newRow("fault after a passed check")
        << QByteArray(".") << QStringList{"0", "100", "5", "5.0"}
        << QByteArray("The two indicated values are equal, so no slope can be calculated. "
                      "Please enter two different indicated values.");
}

void TestCalibration::entries()
{
    QFETCH(QByteArray, decimal);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, codes);
    const Separators separators{decimal.toStdString(), decimal == "," ? "." : ","};
    std::vector<std::string> owned;
    for (const QString& text : texts)
        owned.push_back(text.toStdString());
    const Calculation calculation = calculateCodes({owned[0], owned[1], owned[2], owned[3]},
                                                   separators, probeSeparators(separators));
    const CalcResult& result = calculation.result;
    using namespace quarvet::messages;
    const std::string shown = !calculation.calculated()
                                  ? wrongEntriesLine(calculation.check.wrongFields)
                              : result.ok() ? result.slopeCode + " " + result.offsetCode
                                            : oneLine(calculationFault(result.fault));
    QCOMPARE(QByteArray::fromStdString(shown), codes);
}
