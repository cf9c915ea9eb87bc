#include "calc/entry.h"
#include "fixtures.h"
#include "tst_calc.h"

#include <QTest>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>

using quarvet::calc::EntryStatus;
using quarvet::calc::readEntry;
using quarvet::calc::Separators;

Q_DECLARE_METATYPE(quarvet::calc::EntryStatus)

namespace {

using fixtures::comma;
using fixtures::point;
using fixtures::separatorsNamed;

std::string testdata(const char* file)
{
    return std::string(QUARVET_TESTDATA_DIR) + "/" + file;
}

} // namespace

void TestEntry::numbers_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("integer") << QByteArray("point") << QByteArray("42") << 42.0;
    QTest::newRow("blanks around") << QByteArray("point") << QByteArray("  12.5   ") << 12.5;
    QTest::newRow("leading minus") << QByteArray("point") << QByteArray("-3.25") << -3.25;
    QTest::newRow("leading plus") << QByteArray("point") << QByteArray("+7") << 7.0;
    QTest::newRow("no integer digits") << QByteArray("point") << QByteArray(".5") << 0.5;
    QTest::newRow("no fraction digits") << QByteArray("point") << QByteArray("5.") << 5.0;
    QTest::newRow("sign before point") << QByteArray("point") << QByteArray(" -.5") << -0.5;
    QTest::newRow("plus before point") << QByteArray("point") << QByteArray("+.5 ") << 0.5;
    QTest::newRow("plus in exponent") << QByteArray("point") << QByteArray(" 1e+5 ") << 1e5;
    QTest::newRow("exponent") << QByteArray("point") << QByteArray("1E2") << 100.0;
    QTest::newRow("negative exponent") << QByteArray("point") << QByteArray("1e-3") << 0.001;
    QTest::newRow("signed exponent") << QByteArray("point") << QByteArray("2.5e+1") << 25.0;
    QTest::newRow("probe in point locale") << QByteArray("point") << QByteArray("0.1") << 0.1;
    QTest::newRow("probe in comma locale") << QByteArray("comma") << QByteArray("0.1") << 1.0;
    QTest::newRow("12.5 in comma locale") << QByteArray("comma") << QByteArray("12.5") << 125.0;
    QTest::newRow("12,5 in point locale") << QByteArray("point") << QByteArray("12,5") << 125.0;
    QTest::newRow("grouped comma decimal")
        << QByteArray("comma") << QByteArray("1.234,5") << 1234.5;
    QTest::newRow("group sizes unchecked")
        << QByteArray("point") << QByteArray("1,2,3456.5") << 123456.5;
    QTest::newRow("french decimal comma") << QByteArray("french") << QByteArray("-0,25") << -0.25;
    QTest::newRow("french narrow group")
        << QByteArray("french") << QByteArray("1\u202F000,5") << 1000.5;
    QTest::newRow("arabic decimal") << QByteArray("arabic") << QByteArray("12\u066B5") << 12.5;
    QTest::newRow("swiss apostrophe group")
        << QByteArray("swiss") << QByteArray("1\u2019234.5") << 1234.5;
    QTest::newRow("leading zeros") << QByteArray("point") << QByteArray("000012") << 12.0;
    QTest::newRow("underflow is zero") << QByteArray("point") << QByteArray("1e-400") << 0.0;
    QTest::newRow("huge negative exponent")
        << QByteArray("point") << QByteArray("7e-18446744073709551616") << 0.0;
    QTest::newRow("zero with huge exponent")
        << QByteArray("point") << QByteArray("0e99999999999999999999") << 0.0;
    QTest::newRow("largest double")
        << QByteArray("point") << QByteArray("1.7976931348623157e308") << 1.7976931348623157e308;
}

void TestEntry::numbers()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const auto entry = readEntry(text.toStdString(), separatorsNamed(locale));
    QCOMPARE(entry.status, EntryStatus::Number);
    QCOMPARE(entry.value, expected);
}

void TestEntry::negativeUnderflowKeepsSign()
{
    const auto entry = readEntry("-1e-400", point);
    QCOMPARE(entry.status, EntryStatus::Number);
    QVERIFY(entry.value == 0.0 && std::signbit(entry.value));
}

void TestEntry::failures_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<EntryStatus>("expected");

    const auto nan = EntryStatus::NotANumber;
    QTest::newRow("empty") << QByteArray("point") << QByteArray("") << nan;
    QTest::newRow("blanks only") << QByteArray("point") << QByteArray("   ") << nan;
    QTest::newRow("letter after number") << QByteArray("point") << QByteArray("12a") << nan;
    QTest::newRow("letter before number") << QByteArray("point") << QByteArray("a12") << nan;
    QTest::newRow("two decimal separators") << QByteArray("point") << QByteArray("1.2.3") << nan;
    QTest::newRow("decimal separator only") << QByteArray("point") << QByteArray(".") << nan;
    QTest::newRow("sign only") << QByteArray("point") << QByteArray("-") << nan;
    QTest::newRow("two signs") << QByteArray("point") << QByteArray("+-1") << nan;
    QTest::newRow("blank after sign") << QByteArray("point") << QByteArray("- 1") << nan;
    QTest::newRow("blank inside") << QByteArray("point") << QByteArray("1 2") << nan;
    QTest::newRow("exponent without digits") << QByteArray("point") << QByteArray("1e") << nan;
    QTest::newRow("exponent sign only") << QByteArray("point") << QByteArray("1e-") << nan;
    QTest::newRow("exponent alone") << QByteArray("point") << QByteArray("e5") << nan;
    QTest::newRow("group before digits") << QByteArray("point") << QByteArray(",5") << nan;
    QTest::newRow("group at end") << QByteArray("point") << QByteArray("5,") << nan;
    QTest::newRow("group in fraction") << QByteArray("point") << QByteArray("1.2,3") << nan;
    QTest::newRow("group before decimal") << QByteArray("comma") << QByteArray("1.,5") << nan;
    QTest::newRow("point in french locale") << QByteArray("french") << QByteArray("12.5") << nan;
    QTest::newRow("tab is not a blank") << QByteArray("point") << QByteArray("\t1") << nan;
    QTest::newRow("hexadecimal") << QByteArray("point") << QByteArray("0x10") << nan;
    QTest::newRow("infinity") << QByteArray("point") << QByteArray("inf") << nan;
    QTest::newRow("nan") << QByteArray("point") << QByteArray("nan") << nan;
    QTest::newRow("signed infinity") << QByteArray("point") << QByteArray("-infinity") << nan;
    QTest::newRow("plus minus") << QByteArray("point") << QByteArray(" +-5") << nan;
    QTest::newRow("point only, signed") << QByteArray("point") << QByteArray("-.") << nan;
    QTest::newRow("control character") << QByteArray("point") << QByteArray("1\x01") << nan;
    QTest::newRow("invalid utf-8") << QByteArray("point") << QByteArray("1\xC3") << nan;
    QTest::newRow("half a multibyte separator")
        << QByteArray("arabic") << QByteArray("12\xD9") << nan;
    QTest::newRow("overflow") << QByteArray("point") << QByteArray("1e309")
                              << EntryStatus::OutOfRange;
    QTest::newRow("overflow negative")
        << QByteArray("point") << QByteArray("-2e308") << EntryStatus::OutOfRange;
    QTest::newRow("overflow long digits")
        << QByteArray("point") << QByteArray(400, '9') << EntryStatus::OutOfRange;
    QTest::newRow("overflow wide exponent")
        << QByteArray("point") << QByteArray("1e18446744073709551616") << EntryStatus::OutOfRange;
}

void TestEntry::failures()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, text);
    QFETCH(EntryStatus, expected);
    QCOMPARE(readEntry(text.toStdString(), separatorsNamed(locale)).status, expected);
}

// Every public vector, as written and with the variations a user's entry may carry.
void TestEntry::publicVectors_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<bool>("decorate");
    QTest::newRow("point, as written") << QByteArray("point") << false;
    QTest::newRow("comma, blanks and sign") << QByteArray("comma") << true;
    QTest::newRow("arabic, blanks and sign") << QByteArray("arabic") << true;
}

void TestEntry::publicVectors()
{
    QFETCH(QByteArray, locale);
    QFETCH(bool, decorate);
    const Separators separators = separatorsNamed(locale);
    std::ifstream file(testdata("vectors.txt"));
    QVERIFY2(file, "decimal-to-double vectors not found; set QUARVET_TESTDATA_DIR");
    std::string line;
    int count = 0;
    int wrong = 0;
    while (std::getline(file, line)) {
        const auto blank = line.find(' ');
        const std::uint64_t bits = std::stoull(line.substr(0, blank), nullptr, 16);
        std::string text = line.substr(blank + 1);
        bool negate = false;
        if (decorate) {
            if (auto dot = text.find('.'); dot != std::string::npos)
                text.replace(dot, 1, separators.decimal);
            negate = text.front() != '-' && text.front() != '+' && count % 2 == 0;
            text = "  " + std::string(negate ? "-" : "") + text + " ";
        }
        const auto entry = readEntry(text, separators);
        const std::uint64_t expected = negate ? bits ^ (std::uint64_t(1) << 63) : bits;
        if (!entry.isNumber() || std::bit_cast<std::uint64_t>(entry.value) != expected) {
            if (++wrong <= 5)
                qWarning("wrong: %s", text.substr(0, 80).c_str());
        }
        ++count;
    }
    QCOMPARE(count, 100000);
    QCOMPARE(wrong, 0);
}

void TestEntry::publicRangeVectors_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<EntryStatus>("expected");
    QTest::newRow("overflow") << QStringLiteral("overflow.txt") << EntryStatus::OutOfRange;
    QTest::newRow("underflow") << QStringLiteral("underflow.txt") << EntryStatus::Number;
}

void TestEntry::publicRangeVectors()
{
    QFETCH(QString, file);
    QFETCH(EntryStatus, expected);
    std::ifstream in(testdata(file.toUtf8().constData()));
    QVERIFY(in);
    std::string text;
    int count = 0;
    while (std::getline(in, text)) {
        const auto entry = readEntry(text, point);
        QVERIFY2(entry.status == expected, text.c_str());
        if (expected == EntryStatus::Number)
            QVERIFY2(entry.value == 0.0 && std::signbit(entry.value) == (text.front() == '-'),
                     text.c_str());
        ++count;
    }
    QCOMPARE(count, 500);
}

void TestEntry::megabyteOfDigits()
{
    const std::string digits = "0." + std::string(1 << 20, '3');
    const auto entry = readEntry(digits, point);
    QCOMPARE(entry.status, EntryStatus::Number);
    QCOMPARE(entry.value, 1.0 / 3.0);
}

// Short decimals take a quicker road than from_chars; it must end at the same double. The
// shapes are those at the edges of that road: 19 digits, integers around 2^53, 22 fraction
// digits and one more.
void TestEntry::shortDecimalsAgreeWithFromChars_data()
{
    QTest::addColumn<int>("integerDigits");
    QTest::addColumn<int>("fractionDigits");
    QTest::newRow("typed temperatures") << 3 << 2;
    QTest::newRow("nineteen digits") << 10 << 9;
    QTest::newRow("twenty digits") << 10 << 10;
    QTest::newRow("sixteen digits, around 2^53") << 16 << 0;
    QTest::newRow("22 fraction digits") << 0 << 22;
    QTest::newRow("23 fraction digits") << 0 << 23;
    QTest::newRow("point at the end") << 5 << -1;
    QTest::newRow("leading zeros past 19 digits") << 25 << 3;
}

void TestEntry::shortDecimalsAgreeWithFromChars()
{
    QFETCH(int, integerDigits);
    QFETCH(int, fractionDigits);
    std::mt19937_64 random(20261208 + integerDigits * 100 + fractionDigits);
    std::uniform_int_distribution<int> digit(0, 9);
    int wrong = 0;
    for (int n = 0; n < 40000; ++n) {
        std::string text = n % 2 ? "-" : "";
        for (int d = 0; d < integerDigits; ++d)
            text += char('0' + (d == 0 && integerDigits == 16   ? 9
                                : integerDigits == 25 && d < 22 ? 0
                                                                : digit(random)));
        if (fractionDigits != 0)
            text += '.';
        for (int d = 0; d < fractionDigits; ++d)
            text += char('0' + digit(random));
        double expected = 0.0;
        const std::string plain = text.back() == '.' ? text + "0" : text;
        std::from_chars(plain.data(), plain.data() + plain.size(), expected);
        // The same number typed in a comma locale takes the same road.
        std::string commaText = text;
        std::replace(commaText.begin(), commaText.end(), '.', ',');
        for (const auto& [typed, separators] : {std::pair{text, point}, {commaText, comma}}) {
            const auto entry = readEntry(typed, separators);
            if (!entry.isNumber() || std::bit_cast<std::uint64_t>(entry.value) !=
                                         std::bit_cast<std::uint64_t>(expected)) {
                if (++wrong <= 5)
                    qWarning("wrong: %s", typed.c_str());
            }
        }
    }
    QCOMPARE(wrong, 0);
}
