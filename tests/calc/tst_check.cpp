#include "calc/calculation.h"
#include "fixtures.h"
#include "messages/messages.h"
#include "tst_calc.h"

#include <QTest>

using namespace quarvet::calc;
using fixtures::separatorsNamed;

namespace {

// Reports are compared with "|" standing for each carriage return, to keep rows readable.
QByteArray visible(std::string text)
{
    for (char& c : text)
        if (c == '\r')
            c = '|';
    return QByteArray::fromStdString(text);
}

const QByteArray header = "Following Inputs are wrong:||";
const QByteArray commaWarning = "Following separator '.' is unknown.|"
                                "The correct separator is ',' !|"
                                "Please check the entered values!|";
const QByteArray pointWarning = "Following separator ',' is unknown.|"
                                "The correct separator is '.' !|"
                                "Please check the entered values!|";

} // namespace

void TestCheck::probe_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("foreign");
    QTest::addColumn<QByteArray>("correct");
    QTest::newRow("point locale") << QByteArray("point") << QByteArray(",") << QByteArray(".");
    QTest::newRow("comma locale") << QByteArray("comma") << QByteArray(".") << QByteArray(",");
    QTest::newRow("neither") << QByteArray("french") << QByteArray() << QByteArray();
}

void TestCheck::probe()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, foreign);
    QFETCH(QByteArray, correct);
    const std::optional<SeparatorPair> pair = probeSeparators(separatorsNamed(locale));
    QCOMPARE(pair.has_value(), !foreign.isEmpty());
    if (pair) {
        QCOMPARE(QByteArray::fromStdString(pair->foreign), foreign);
        QCOMPARE(QByteArray::fromStdString(pair->correct), correct);
    }
}

void TestCheck::mainCheck_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QStringList>("texts"); // target 1, target 2, indicated 1, indicated 2
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("warning");

    const QByteArray none;
    QTest::newRow("all numbers") << QByteArray("point") << QStringList{"0", "100", "0.5", "99"}
                                 << none << none;
    QTest::newRow("exponents raise nothing")
        << QByteArray("point") << QStringList{"1E2", "1e-3", " -4 ", "+5"} << none << none;
    QTest::newRow("first and last wrong")
        << QByteArray("point") << QStringList{"", "100", "0.5", "x"}
        << header + "Target temperature 1|Indicated temperature 2|" << none;
    QTest::newRow("all four wrong")
        << QByteArray("point") << QStringList{"a", "   ", "1.2.3", "12a"}
        << header + "Target temperature 1|Target temperature 2|Indicated temperature 1|"
                    "Indicated temperature 2|"
        << none;
    QTest::newRow("point in comma locale")
        << QByteArray("comma") << QStringList{"0", "12.5", "1", "2"} << none << commaWarning;
    QTest::newRow("comma in point locale")
        << QByteArray("point") << QStringList{"0", "12,5", "1", "2"} << none << pointWarning;
    QTest::newRow("grouped number still warns")
        << QByteArray("comma") << QStringList{"1.234,5", "2", "1", "3"} << none << commaWarning;
    QTest::newRow("foreign separator in a wrong entry only")
        << QByteArray("comma") << QStringList{"1.2.3x", "2", "1", "3"}
        << header + "Target temperature 1|" << none;
    QTest::newRow("several foreign separators, one warning")
        << QByteArray("comma") << QStringList{"1.5", "2.5", "3.5", "4.5"} << none << commaWarning;
    QTest::newRow("wrong entry and foreign separator")
        << QByteArray("comma") << QStringList{"1.5", "2", "q", "4"}
        << header + "Indicated temperature 1|" << commaWarning;
    QTest::newRow("out of range is listed")
        << QByteArray("point") << QStringList{"1e400", "2", "3", "4"}
        << header + "Target temperature 1|" << none;
    QTest::newRow("unknown locale skips the search")
        << QByteArray("french") << QStringList{"1,5", "2", "3", "4.5"}
        << header + "Indicated temperature 2|" << none;
}

void TestCheck::mainCheck()
{
    QFETCH(QByteArray, locale);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, warning);
    std::vector<std::string> owned;
    for (const QString& text : texts)
        owned.push_back(text.toStdString());
    const Separators separators = separatorsNamed(locale);
    const Calculation result = calculateCodes({owned[0], owned[1], owned[2], owned[3]}, separators,
                                              probeSeparators(separators));
    QCOMPARE(visible(quarvet::messages::wrongEntriesReport(result.check.wrongFields)), report);
    const std::optional<SeparatorPair>& foreign = result.check.foreignSeparator;
    QCOMPARE(visible(foreign ? quarvet::messages::separatorWarning(*foreign) : ""), warning);
    // Codes come exactly when every entry is a number.
    QCOMPARE(result.calculated(), report.isEmpty());
}

void TestCheck::setupCheck_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QString>("target1");
    QTest::addColumn<QString>("target2");
    QTest::addColumn<QByteArray>("report");

    QTest::newRow("both numbers") << QByteArray("point") << "20"
                                  << "80" << QByteArray();
    QTest::newRow("foreign separator passes") << QByteArray("comma") << "12.5"
                                              << "80" << QByteArray();
    QTest::newRow("second wrong") << QByteArray("point") << "20"
                                  << "abc" << header + "Target temperature 2|";
    QTest::newRow("both wrong") << QByteArray("point") << ""
                                << "1e999" << header + "Target temperature 1|Target temperature 2|";
}

void TestCheck::setupCheck()
{
    QFETCH(QByteArray, locale);
    QFETCH(QString, target1);
    QFETCH(QString, target2);
    QFETCH(QByteArray, report);
    const std::string first = target1.toStdString();
    const std::string second = target2.toStdString();
    const FieldText entries[] = {{EntryField::Target1, first}, {EntryField::Target2, second}};
    const EntryCheck result = checkEntries(entries, separatorsNamed(locale), std::nullopt);
    QCOMPARE(visible(quarvet::messages::wrongEntriesReport(result.wrongFields)), report);
    QVERIFY(!result.foreignSeparator);
}
