// The refusals of the record form, each with the field it names, what is wrong and the very
// sentence the adjustment window and `quarvet-cli records add` show for it.
#include "messages/messages.h"
#include "records/columns.h"
#include "records/recordform.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace quarvet::records;

Q_DECLARE_METATYPE(RecordField)
Q_DECLARE_METATYPE(RefusalKind)
Q_DECLARE_METATYPE(QList<VerificationReading>)

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();

// An input that makes a record; each row spoils one thing in it.
RecordInput goodInput()
{
    RecordInput input;
    input.instrumentType = modelNumbers().value(0);
    input.serial = QStringLiteral("SN");
    input.technician = QStringLiteral("T");
    input.referenceId = QStringLiteral("R");
    input.referenceUncertainty = 0.02;
    input.referenceDue = QDate(2030, 1, 1);
    input.entriesRead = {0, 100, 0.5, 99};
    input.entriesTyped = {QStringLiteral("0"), QStringLiteral("100"), QStringLiteral("0.5"),
                          QStringLiteral("99")};
    input.tolerance = 0.1;
    input.verification = {{0, 0.03}, {100, 99.99}};
    return input;
}

void spoil(RecordInput& input, const QString& what, const QVariant& value)
{
    if (what == "type")
        input.instrumentType = value.toString();
    else if (what == "serial")
        input.serial = value.toString();
    else if (what == "technician")
        input.technician = value.toString();
    else if (what == "reference")
        input.referenceId = value.toString();
    else if (what == "note")
        input.note = value.toString();
    else if (what == "customer")
        input.customer = value.toString();
    else if (what == "line")
        input.displayLine = value.toInt();
    else if (what == "uncertainty")
        input.referenceUncertainty = value.toDouble();
    else if (what == "due")
        input.referenceDue = value.toDate();
    else if (what == "ambient")
        input.ambient = value.toDouble();
    else if (what == "indicated 2")
        input.entriesRead[3] = value.toDouble();
    else if (what == "tolerance")
        input.tolerance = value.isNull() ? std::nullopt : std::optional(value.toDouble());
    else if (what == "reading")
        input.verification[1].reading = value.toDouble();
    else if (what == "readings")
        input.verification = value.value<QList<VerificationReading>>();
    else
        QFAIL(qPrintable("no such part of the input: " + what));
}

} // namespace

class TestRecordForm : public QObject {
    Q_OBJECT
private slots:
    void refusalNamesFieldAndFault_data();
    void refusalNamesFieldAndFault();
    void lengthsCountCharacters();
    void windowRefusalsAreSaid_data();
    void windowRefusalsAreSaid();
    void setUpKeptAndGivenBack();
    void amendmentListsWhatChanged_data();
    void amendmentListsWhatChanged();
};

// The window and the command line keep a budget's set-up through one conversion, and the
// record gives it back: each field in its place, none taken for another of the same type.
void TestRecordForm::setUpKeptAndGivenBack()
{
    quarvet::calc::SetUp setUp;
    setUp.referenceU = 0.03;
    setUp.referenceK = 2.5;
    setUp.drift = 0.004;
    setUp.resolution = 0.001;
    setUp.uniformity = 0.006;
    setUp.stability = 0.007;
    RecordInput input;
    input.referenceUncertainty = setUp.referenceU;
    input.setUp = keptSetUp(setUp);
    const quarvet::calc::SetUp back = budgetSetUp(input);
    QCOMPARE(back.referenceU, setUp.referenceU);
    QCOMPARE(back.referenceK, setUp.referenceK);
    QCOMPARE(back.drift, setUp.drift);
    QCOMPARE(back.resolution, setUp.resolution);
    QCOMPARE(back.uniformity, setUp.uniformity);
    QCOMPARE(back.stability, setUp.stability);
}

void TestRecordForm::refusalNamesFieldAndFault_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<RecordField>("field");
    QTest::addColumn<RefusalKind>("kind");
    QTest::addColumn<QString>("says");
    using F = RecordField;
    using K = RefusalKind;
    const QString tooLongName(201, QLatin1Char('x'));
    QTest::newRow("unknown type")
        << "type" << QVariant("99 \"x\"") << F::Type << K::UnknownModel
        << QStringLiteral("The instrument type \"99 \"x\"\" is none of the model numbers %1.")
               .arg(modelNumbers().join(QStringLiteral(", ")));
    QTest::newRow("blank serial") << "serial" << QVariant("  ") << F::Serial << K::Empty
                                  << "The serial number is empty.";
    QTest::newRow("serial too long") << "serial" << QVariant(tooLongName) << F::Serial << K::TooLong
                                     << "The serial number is longer than 200 characters.";
    QTest::newRow("technician too long")
        << "technician" << QVariant(tooLongName) << F::Technician << K::TooLong
        << "The technician is longer than 200 characters.";
    QTest::newRow("reference turned around")
        << "reference" << QVariant("R\u2066") << F::Reference << K::TurnsTextAround
        << "The reference standard holds a mark that turns text around (U+202A to U+202E, "
           "U+2066 to U+2069): it would read as another one.";
    QTest::newRow("serial with a soft hyphen")
        << "serial" << QVariant(QStringLiteral("SN\u00AD1")) << F::Serial << K::Invisible
        << "The serial number holds a character that cannot be seen (U+00AD): names that look "
           "alike would be two different ones.";
    QTest::newRow("technician with a tag character")
        << "technician" << QVariant(QStringLiteral("T\U000E0041")) << F::Technician << K::Invisible
        << "The technician holds a character that cannot be seen (U+E0041): names that look "
           "alike would be two different ones.";
    QTest::newRow("reference with a combining grapheme joiner")
        << "reference" << QVariant(QStringLiteral("R\u034F1")) << F::Reference << K::Invisible
        << "The reference standard holds a character that cannot be seen (U+034F): names that "
           "look alike would be two different ones.";
    QTest::newRow("serial with a word joiner")
        << "serial" << QVariant(QStringLiteral("SN\u20601")) << F::Serial << K::Invisible
        << "The serial number holds a character that cannot be seen (U+2060): names that look "
           "alike would be two different ones.";
    QTest::newRow("technician with a tab")
        << "technician" << QVariant(QStringLiteral("A\tB")) << F::Technician << K::Control
        << "The technician holds a control character (a line break, a tab, an escape): it would "
           "not print as one line.";
    QTest::newRow("serial with a line separator")
        << "serial" << QVariant(QStringLiteral("SN\u20281")) << F::Serial << K::Control
        << "The serial number holds a control character (a line break, a tab, an escape): it "
           "would not print as one line.";
    QTest::newRow("reference with a next-line character")
        << "reference" << QVariant(QStringLiteral("R\u00851")) << F::Reference << K::Control
        << "The reference standard holds a control character (a line break, a tab, an escape): "
           "it would not print as one line.";
    QTest::newRow("customer with a zero-width space")
        << "customer" << QVariant(QStringLiteral("Big\u200BCo")) << F::Customer << K::Invisible
        << "The customer holds a character that cannot be seen (U+200B): names that look alike "
           "would be two different ones.";
    QTest::newRow("note too long")
        << "note" << QVariant(QString(10001, QLatin1Char('n'))) << F::Note << K::TooLong
        << "The note is longer than 10000 characters.";
    QTest::newRow("display line 3") << "line" << QVariant(3) << F::DisplayLine << K::NotOneOrTwo
                                    << "The display line must be 1 or 2.";
    QTest::newRow("blank technician")
        << "technician" << QVariant("") << F::Technician << K::Empty << "The technician is empty.";
    QTest::newRow("blank reference") << "reference" << QVariant(" ") << F::Reference << K::Empty
                                     << "The reference standard is empty.";
    QTest::newRow("reference with a blank after it")
        << "reference" << QVariant("R1 ") << F::Reference << K::Blanks
        << "The reference standard begins or ends with blanks: \"R1 \" would print as another "
           "one.";
    QTest::newRow("negative uncertainty")
        << "uncertainty" << QVariant(-0.01) << F::Uncertainty << K::NotAboveZero
        << "The reference's uncertainty U must be a number above 0.";
    QTest::newRow("uncertainty 0")
        << "uncertainty" << QVariant(0.0) << F::Uncertainty << K::NotAboveZero
        << "The reference's uncertainty U must be a number above 0.";
    QTest::newRow("uncertainty -0")
        << "uncertainty" << QVariant(-0.0) << F::Uncertainty << K::NotAboveZero
        << "The reference's uncertainty U must be a number above 0.";
    QTest::newRow("uncertainty none")
        << "uncertainty" << QVariant(std::nan("")) << F::Uncertainty << K::NotAboveZero
        << "The reference's uncertainty U must be a number above 0.";
    QTest::newRow("uncertainty 1e308")
        << "uncertainty" << QVariant(1e308) << F::Uncertainty << K::OutOfRange
        << "The reference's uncertainty U must not exceed 10 \u00B0C.";
    QTest::newRow("ambient below absolute zero")
        << "ambient" << QVariant(-500.0) << F::Ambient << K::OutOfRange
        << "The ambient temperature must lie between \u2212100 and 100 \u00B0C.";
    QTest::newRow("ambient of 1e308")
        << "ambient" << QVariant(1e308) << F::Ambient << K::OutOfRange
        << "The ambient temperature must lie between \u2212100 and 100 \u00B0C.";
    QTest::newRow("due date no date")
        << "due" << QVariant(QDate()) << F::ReferenceDue << K::NotADate
        << "The reference's due date is no date (YYYY-MM-DD).";
    QTest::newRow("due date passed")
        << "due" << QVariant(QDate(2029, 12, 30)) << F::ReferenceDue << K::Passed
        << "The reference's due date 2029-12-30 has passed: a record made against an overdue "
           "reference cannot be saved, and it could never pass.";
    QTest::newRow("ambient infinite") << "ambient" << QVariant(infinite) << F::Ambient
                                      << K::NotFinite << "The ambient temperature is no number.";
    QTest::newRow("entry infinite") << "indicated 2" << QVariant(infinite) << F::Entries
                                    << K::NotFinite << "The entries are not all numbers.";
    QTest::newRow("readings without tolerance")
        << "tolerance" << QVariant() << F::Tolerance << K::NeedsTolerance
        << "Verification readings need a tolerance to be judged by.";
    QTest::newRow("reading infinite") << "reading" << QVariant(infinite) << F::Verification
                                      << K::NotFinite << "A verification reading is no number.";
    QTest::newRow("equal indicated values")
        << "indicated 2" << QVariant(0.5) << F::Entries << K::Calculation
        << "The two indicated values are equal, so no slope can be calculated. Please enter two "
           "different indicated values.";
    QTest::newRow("tolerance 0") << "tolerance" << QVariant(0.0) << F::Tolerance << K::Verification
                                 << "The tolerance must be greater than 0.";
    // A verdict from some of the calibration points says more than was measured.
    const auto readings = [](QList<VerificationReading> list) { return QVariant::fromValue(list); };
    QTest::newRow("a reading at point 1 only")
        << "readings" << readings({{0, 0.03}}) << F::Verification << K::Incomplete
        << "A verdict needs the as-left readings at both points: point 2 has none.";
    QTest::newRow("a reading at point 2 and elsewhere")
        << "readings" << readings({{100, 99.99}, {50, 50.01}}) << F::Verification << K::Incomplete
        << "A verdict needs the as-left readings at both points: point 1 has none.";
}

// The first thing wrong, typed, said in one sentence, and no record made of it.
void TestRecordForm::refusalNamesFieldAndFault()
{
    QFETCH(QString, what);
    QFETCH(QVariant, value);
    QFETCH(RecordField, field);
    QFETCH(RefusalKind, kind);
    QFETCH(QString, says);
    QVERIFY(composeRecord(goodInput(), QDate(2029, 12, 31), QDateTime(), "id").ok());
    RecordInput input = goodInput();
    spoil(input, what, value);
    const Composition made = composeRecord(input, QDate(2029, 12, 31), QDateTime(), "id");
    QVERIFY(!made.ok());
    QCOMPARE(made.refusal.field, field);
    QCOMPARE(made.refusal.kind, kind);
    QCOMPARE(QString::fromStdString(quarvet::messages::recordRefusal(made.refusal)), says);
    QVERIFY(made.record.id.isEmpty());
    QVERIFY(made.record.verdict.isEmpty());
}

// 200 thermometers are 200 characters, though Qt stores each as two halves.
void TestRecordForm::lengthsCountCharacters()
{
    RecordInput input = goodInput();
    const QString thermometer = QStringLiteral("\U0001F321");
    input.serial = thermometer.repeated(longestName);
    input.note = thermometer.repeated(longestNote);
    QVERIFY(composeRecord(input, QDate(2029, 12, 31), QDateTime(), "id").ok());
    input.serial += thermometer;
    QCOMPARE(composeRecord(input, QDate(2029, 12, 31), QDateTime(), "id").refusal.kind,
             RefusalKind::TooLong);
}

void TestRecordForm::windowRefusalsAreSaid_data()
{
    QTest::addColumn<RecordField>("field");
    QTest::addColumn<RefusalKind>("kind");
    QTest::addColumn<int>("point");
    QTest::addColumn<QString>("says");
    QTest::newRow("ambient unreadable") << RecordField::Ambient << RefusalKind::Unreadable << 0
                                        << "The ambient temperature is not a number.";
    QTest::newRow("no uncertainty") << RecordField::Uncertainty << RefusalKind::Empty << 0
                                    << "The reference's uncertainty U is empty.";
    QTest::newRow("half a third point") << RecordField::Verification << RefusalKind::Incomplete << 3
                                        << "The third point needs its target and its reading.";
    QTest::newRow("as-left reading missing")
        << RecordField::Verification << RefusalKind::Incomplete << 2
        << "A verdict needs the as-left readings at both points: point 2 has none.";
}

// What only the window refuses, said from the same module of message texts.
void TestRecordForm::windowRefusalsAreSaid()
{
    QFETCH(RecordField, field);
    QFETCH(RefusalKind, kind);
    QFETCH(int, point);
    QFETCH(QString, says);
    Refusal refusal;
    refusal.field = field;
    refusal.kind = kind;
    refusal.point = static_cast<std::size_t>(point);
    QCOMPARE(QString::fromStdString(quarvet::messages::recordRefusal(refusal)), says);
}

QTEST_GUILESS_MAIN(TestRecordForm)
void TestRecordForm::amendmentListsWhatChanged_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("nothing") << "nothing" << QStringList{};
    QTest::newRow("a name") << "serial" << QStringList{"serial: “SN-1” → “SN-2”"};
    QTest::newRow("a value given where there was none")
        << "ambient" << QStringList{"ambient: (none) → “23.5”"};
    QTest::newRow("a value taken away") << "customer" << QStringList{"customer: “Big Co” → (none)"};
    // One value's text cannot pass for a change of another field, nor hide the rest.
    QTest::newRow("a value that looks like another change")
        << "spoof" << QStringList{"customer: “Big Co” → “x; serial: SN-1 → SN-9”"};
    QTest::newRow("a long value, cut")
        << "long" << QStringList{"customer: “Big Co” → “" + QString(79, QLatin1Char('y')) + "…”"};
    QTest::newRow("results: said changed, not spelt out")
        << "points" << QStringList{"as left points: changed"};
    // Its identity, its place in the chain and its own reason are what any correction has.
    QTest::newRow("identity and chain") << "identity" << QStringList{};
}

// An amendment says, field by field, what it changed of the certificate it replaces.
void TestRecordForm::amendmentListsWhatChanged()
{
    QFETCH(QString, what);
    QFETCH(QStringList, changes);
    Record before;
    before.serial = QStringLiteral("SN-1");
    before.customer = QStringLiteral("Big Co");
    before.setUp = quarvet::records::BudgetSetUp{};
    before.asLeftPoints = QStringLiteral("target=0 readings=0.03 uc=0.01 nuEff=inf k=2 U=0.021 "
                                         "verdict=Pass");
    Record after = before;
    if (what == "serial")
        after.serial = QStringLiteral("SN-2");
    else if (what == "ambient")
        after.ambient = 23.5;
    else if (what == "customer")
        after.customer.clear();
    else if (what == "spoof")
        after.customer = QStringLiteral("x; serial: SN-1 → SN-9");
    else if (what == "long")
        after.customer = QString(500, QLatin1Char('y'));
    else if (what == "points")
        after.asLeftPoints.replace(QStringLiteral("0.03"), QStringLiteral("0.04"));
    else if (what == "identity") {
        after.id = QStringLiteral("another");
        after.createdUtc = QDateTime::currentDateTimeUtc();
        after.corrects = QStringLiteral("before");
        after.correctionReason = QStringLiteral("typo");
        after.hash = after.previousHash = after.savedBy = QStringLiteral("x");
    }
    QCOMPARE(quarvet::records::changedFields(before, after), changes);
}

#include "tst_recordform.moc"
