// The adjustment check's own entries read once into one value, and the one rule that decides
// when its readings can be judged: for the live verdict and for the saved record alike.
#include "adjust/checkentries.h"

#include <QTest>

using quarvet::adjust::CheckEntries;
using quarvet::adjust::CheckField;
using quarvet::adjust::CheckTexts;
using quarvet::adjust::readCheckEntries;

namespace {

const quarvet::calc::Separators english{".", ","};

// Neutral current codes and the six numbers of the verification, in the window's order.
CheckTexts texts(const QStringList& verification)
{
    CheckTexts all{QStringLiteral("2710"), QStringLiteral("0000")};
    for (qsizetype n = 0; n < verification.size(); ++n)
        all[static_cast<std::size_t>(n) + 2] = verification[n];
    return all;
}

} // namespace

class TestCheckEntries : public QObject {
    Q_OBJECT
private slots:
    void judgedOnlyWhenWhole_data();
    void judgedOnlyWhenWhole();
    void wrongEntriesAreMarked_data();
    void wrongEntriesAreMarked();
    void severalReadingsAndTheSetUp();
};

void TestCheckEntries::judgedOnlyWhenWhole_data()
{
    // tolerance, U, as-left reading 1 and 2, third target and reading
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("judgeable");
    QTest::addColumn<int>("incompletePoint"); // 0: nothing incomplete
    QTest::addColumn<int>("readings");        // taken into the verification
    QTest::newRow("both as-left readings")
        << QStringList{"0.1", "0.02", "0.03", "99.99", "", ""} << true << 0 << 2;
    QTest::newRow("and a third point")
        << QStringList{"0.1", "0.02", "0.03", "99.99", "50", "50.01"} << true << 0 << 3;
    QTest::newRow("only the first as-left reading")
        << QStringList{"0.1", "0.02", "0.03", "", "", ""} << false << 2 << 1;
    QTest::newRow("only the second as-left reading")
        << QStringList{"0.1", "0.02", "", "99.99", "", ""} << false << 1 << 1;
    QTest::newRow("only the third point")
        << QStringList{"0.1", "0.02", "", "", "50", "50.01"} << false << 1 << 1;
    QTest::newRow("half a third point")
        << QStringList{"0.1", "0.02", "0.03", "99.99", "50", ""} << false << 3 << 2;
    QTest::newRow("no readings: the rule only")
        << QStringList{"0.1", "0.02", "", "", "", ""} << false << 0 << 0;
    QTest::newRow("no tolerance") << QStringList{"", "0.02", "0.03", "99.99", "", ""} << false << 0
                                  << 2;
    QTest::newRow("no uncertainty")
        << QStringList{"0.1", " ", "0.03", "99.99", "", ""} << false << 0 << 2;
    QTest::newRow("blanks are no third point")
        << QStringList{"0.1", "0.02", "0.03", "99.99", "  ", ""} << true << 0 << 2;
}

// The live verdict is shown when `judgeable`; Save refuses what is incomplete, naming the point.
void TestCheckEntries::judgedOnlyWhenWhole()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, judgeable);
    QFETCH(int, incompletePoint);
    QFETCH(int, readings);
    const CheckEntries entries = readCheckEntries(texts(typed), english);
    QVERIFY(!entries.anyWrong());
    QCOMPARE(entries.judgeable(), judgeable);
    const quarvet::records::Refusal refusal = entries.incomplete();
    QCOMPARE(refusal.point, static_cast<std::size_t>(incompletePoint));
    QCOMPARE(refusal.ok(), incompletePoint == 0);
    if (!refusal.ok())
        QCOMPARE(refusal.field, quarvet::records::RecordField::Verification);
    QCOMPARE(entries.verification({0, 100, 0.5, 99}).size(), static_cast<std::size_t>(readings));
}

void TestCheckEntries::wrongEntriesAreMarked_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wrong");
    QTest::addColumn<bool>("foreignSeparator");
    QTest::newRow("tolerance no number") << int(CheckField::Tolerance) << "abc" << true << false;
    QTest::newRow("a reading among readings that is none")
        << int(CheckField::Reading2) << "99.99 9x" << true << false;
    QTest::newRow("further readings with a foreign separator")
        << int(CheckField::FoundReadings1) << "0.6 0,7" << false << true;
    QTest::newRow("a set-up input no number") << int(CheckField::Drift) << "abc" << true << false;
    QTest::newRow("a blank set-up input is its default")
        << int(CheckField::Resolution) << "  " << false << false;
    QTest::newRow("a blank number is no fault")
        << int(CheckField::Reading1) << "   " << false << false;
    QTest::newRow("a blank code is one") << int(CheckField::CurrentOffset) << "" << true << false;
    QTest::newRow("a code of five digits")
        << int(CheckField::CurrentSlope) << "27100" << true << false;
    QTest::newRow("the comma of another locale reads, and is said")
        << int(CheckField::Uncertainty) << "0,1" << false << true;
    QTest::newRow("third reading no number")
        << int(CheckField::ThirdReading) << "1..2" << true << false;
}

void TestCheckEntries::wrongEntriesAreMarked()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(bool, wrong);
    QFETCH(bool, foreignSeparator);
    CheckTexts all = texts({"0.1", "0.02", "0.03", "99.99", "", ""});
    QVERIFY(!readCheckEntries(all, english).anyWrong());
    all[static_cast<std::size_t>(field)] = text;
    const CheckEntries entries = readCheckEntries(all, english);
    for (std::size_t n = 0; n < all.size(); ++n)
        QCOMPARE(entries.wrong[n], wrong && n == static_cast<std::size_t>(field));
    QCOMPARE(entries.foreignSeparator.has_value(), foreignSeparator);
    QCOMPARE(entries.current.has_value(), field > int(CheckField::CurrentOffset) || !wrong);
}

// A field takes a point's readings separated by blanks or semicolons; the set-up's blank
// inputs are their defaults, and typed ones replace them.
void TestCheckEntries::severalReadingsAndTheSetUp()
{
    CheckTexts all = texts({"0.1", "0.02", " 0.03  0.05;0.04 ", "99.99", "50", "50.01 50.03"});
    all[std::size_t(CheckField::FoundReadings2)] = "99.01 98.99";
    CheckEntries entries = readCheckEntries(all, english);
    QVERIFY(!entries.anyWrong());
    QVERIFY(entries.judgeable());
    const auto readings = entries.verification({0, 100, 0.5, 99});
    QCOMPARE(readings.size(), std::size_t(6));
    QCOMPARE(readings[2].target, 0.0);
    QCOMPARE(readings[2].reading, 0.04);
    QCOMPARE(readings[5].target, 50.0);
    const auto found = entries.asFound({0, 100, 0.5, 99});
    QCOMPARE(found[0].readings, (std::vector<double>{0.5}));
    QCOMPARE(found[1].readings, (std::vector<double>{99, 99.01, 98.99}));
    QCOMPARE(entries.setUp()->referenceU, 0.02);
    QCOMPARE(entries.setUp()->referenceK, 2.0);
    QCOMPARE(entries.setUp()->resolution, 0.01);
    all[std::size_t(CheckField::Resolution)] = "0.001";
    all[std::size_t(CheckField::ReferenceK)] = "2.5";
    entries = readCheckEntries(all, english);
    QCOMPARE(entries.setUp()->resolution, 0.001);
    QCOMPARE(entries.setUp()->referenceK, 2.5);
    all[std::size_t(CheckField::Uncertainty)] = "";
    QVERIFY(!readCheckEntries(all, english).setUp());
    // More readings than a field takes: marked, none taken.
    all[std::size_t(CheckField::Reading1)] = QStringLiteral("0.03 ").repeated(1001);
    entries = readCheckEntries(all, english);
    QVERIFY(entries.wrong[std::size_t(CheckField::Reading1)]);
    QVERIFY(entries.readings[0].empty());
}

QTEST_GUILESS_MAIN(TestCheckEntries)
#include "tst_checkentries.moc"
