// The adjustment check's model without a window: a saved record read back into the check's
// texts gives the same record input again, and the outcomes and results it offers the window.
#include "adjust/checkmodel.h"
#include "fixtures.h"
#include "plot/errorplotpainter.h"
#include "samplerecord.h"

#include <QLocale>
#include <QTest>

#include <cmath>

using quarvet::adjust::CheckField;
using quarvet::adjust::CheckModel;
using quarvet::adjust::CheckTexts;
using quarvet::calc::DecisionRule;

namespace {

QString textAt(const CheckTexts& texts, CheckField field)
{
    return texts[quarvet::adjust::index(field)];
}

} // namespace

class TestCheckModel : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void recordReadBackGivesItsInput_data();
    void recordReadBackGivesItsInput();
    void outcomesAndResults_data();
    void outcomesAndResults();
    void plotData_data();
    void plotData();
};

void TestCheckModel::recordReadBackGivesItsInput_data()
{
    QTest::addColumn<quarvet::records::Record>("record");
    QTest::addColumn<QString>("reading2");   // as the field shows it
    QTest::addColumn<QString>("found2");     // further readings as found at point 2
    QTest::addColumn<QString>("resolution"); // blank: the default
    using quarvet::test::evaluatedRecord;
    using quarvet::test::fixedRecord;
    QTest::newRow("evaluated: set-up, further readings, a third point")
        << evaluatedRecord() << "99.99"
        << "99.01 98.99"
        << "0.001";
    // Kept before budgets: the set-up and found readings blank, the rule guarded.
    QTest::newRow("kept before budgets") << fixedRecord() << "99.99"
                                         << ""
                                         << "";
    // A target read twice stays one field with both readings, in the order taken; a reading
    // at a fourth target has no field and is left out.
    quarvet::records::Record repeated = evaluatedRecord();
    repeated.verification = {{100, 99.98}, {0, 0.03}, {100, 100.01}, {50, 50.02}, {70, 70.1}};
    QTest::newRow("a target read twice") << repeated << "99.98 100.01"
                                         << "99.01 98.99"
                                         << "0.001";
}

void TestCheckModel::recordReadBackGivesItsInput()
{
    QFETCH(quarvet::records::Record, record);
    QFETCH(QString, reading2);
    QFETCH(QString, found2);
    QFETCH(QString, resolution);
    DecisionRule rule = DecisionRule::NonBinary;
    const CheckTexts texts = CheckModel::textsOf(record, rule);
    QCOMPARE(rule, DecisionRule::Guarded);
    QCOMPARE(textAt(texts, CheckField::Reading2), reading2);
    QCOMPARE(textAt(texts, CheckField::FoundReadings2), found2);
    QCOMPARE(textAt(texts, CheckField::Resolution), resolution);
    QCOMPARE(textAt(texts, CheckField::ThirdTarget), QStringLiteral("50"));

    CheckModel model;
    model.setMeasurement(record.entriesRead, record.entriesTyped);
    model.update(texts, fixtures::point, rule);
    QVERIFY(!model.entries().anyWrong());
    quarvet::records::RecordInput input;
    model.fillRecordInput(input);
    QCOMPARE(input.entriesTyped, record.entriesTyped);
    QCOMPARE(input.referenceUncertainty, record.referenceUncertainty);
    QCOMPARE(input.tolerance, record.tolerance);
    if (record.setUp)
        QCOMPARE(input.setUp, *record.setUp);
    QCOMPARE(input.furtherReadings[1].size(), found2.isEmpty() ? 0 : 2);
    // Every reading at a field's target comes back, grouped by target as the record's
    // evaluation groups them; only a fourth target is lost.
    QList<quarvet::records::VerificationReading> kept;
    for (const auto& reading : record.verification)
        if (reading.target != 70)
            kept << reading;
    QCOMPARE(input.verification.size(), kept.size());
    for (const auto& reading : kept)
        QVERIFY(input.verification.contains(reading));
}

void TestCheckModel::outcomesAndResults_data()
{
    QTest::addColumn<QStringList>("typed"); // tolerance, U, reading 1, reading 2, 3rd target, 3rd
    QTest::addColumn<QString>("asLeft");    // its words, or "-" for none
    QTest::addColumn<bool>("thirdResult");
    QTest::newRow("judged with a third point")
        << QStringList{"0.1", "0.02", "0.08", "100", "50", "50.05"} << "Pass" << true;
    QTest::newRow("second point missing")
        << QStringList{"0.1", "0.02", "0.08", "", "", ""} << "incomplete at point 2" << false;
    QTest::newRow("third target without its reading")
        << QStringList{"0.1", "0.02", "0.08", "100", "50", ""} << "incomplete at point 3" << false;
    // A wrong entry is named by the window; no outcome is offered beside it.
    QTest::newRow("a wrong reading")
        << QStringList{"0.1", "0.02", "0.08 x", "100", "", ""} << "-" << false;
    // Without the reference's U nothing is evaluated.
    QTest::newRow("no U") << QStringList{"0.1", "", "0.08", "100", "", ""} << "-" << false;
}

void TestCheckModel::outcomesAndResults()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, asLeft);
    QFETCH(bool, thirdResult);
    CheckTexts texts;
    texts[quarvet::adjust::index(CheckField::CurrentSlope)] = "2710";
    texts[quarvet::adjust::index(CheckField::CurrentOffset)] = "0000";
    texts[quarvet::adjust::index(CheckField::Resolution)] = "0";
    const CheckField fields[] = {CheckField::Tolerance,   CheckField::Uncertainty,
                                 CheckField::Reading1,    CheckField::Reading2,
                                 CheckField::ThirdTarget, CheckField::ThirdReading};
    for (int n = 0; n < 6; ++n)
        texts[quarvet::adjust::index(fields[n])] = typed[n];
    CheckModel model;
    model.setMeasurement({0, 100, 0.5, 99}, {"0", "100", "0.5", "99"});
    model.update(texts, fixtures::point, DecisionRule::Guarded);
    QVERIFY(model.adjustment().ok());
    QCOMPARE(QString::fromStdString(model.adjustment().line.slopeCode), QStringLiteral("27A8"));
    const auto outcome = model.asLeftOutcome();
    QCOMPARE(outcome ? QString::fromStdString(quarvet::calc::outcomeText(*outcome))
                     : QStringLiteral("-"),
             asLeft);
    QCOMPARE(model.asLeftResult(2) != nullptr, thirdResult);
    if (thirdResult)
        QCOMPARE(model.asLeftResult(2)->target, 50.0);
}

void TestCheckModel::plotData_data()
{
    QTest::addColumn<double>("tolerance"); // NaN: none given
    QTest::addColumn<bool>("banded");
    QTest::newRow("a tolerance") << 0.1 << true;
    QTest::newRow("none") << qQNaN() << false;
    // A band of zero or less width says nothing a reader could use.
    QTest::newRow("zero") << 0.0 << false;
    QTest::newRow("below zero") << -0.1 << false;
}

// The window and the certificate plot errors: indicated or read minus the target, at the
// target; the predicted error as it is.
void TestCheckModel::plotData()
{
    QFETCH(double, tolerance);
    QFETCH(bool, banded);
    using quarvet::adjust::AtTarget;
    const auto data = quarvet::adjust::errorPlotData(
        {{0, 0.5}, {100, 99}}, {{0, -0.0004}, {100, -0.0032}}, {{0, 0.03}, {50, 49.98}},
        std::isnan(tolerance) ? std::nullopt : std::optional(tolerance));
    QCOMPARE(data.asFound, (std::vector<QPointF>{{0, 0.5}, {100, -1}}));
    QCOMPARE(data.asLeft, (std::vector<QPointF>{{0, -0.0004}, {100, -0.0032}}));
    QCOMPARE(data.verification.size(), std::size_t(2));
    QCOMPARE(data.verification[0], QPointF(0, 0.03));
    QVERIFY(qAbs(data.verification[1].y() - -0.02) < 1e-12);
    QCOMPARE(data.tolerance.has_value(), banded);
}

QTEST_GUILESS_MAIN(TestCheckModel)
#include "tst_checkmodel.moc"
