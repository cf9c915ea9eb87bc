#include "lab/certificates.h"
#include "lab/labsettings.h"
#include "lab/references.h"
#include "messages/labmessages.h"
#include "messages/messages.h"
#include "records/recordform.h"

#include <QTest>
#include <QTimeZone>

using namespace quarvet::records;
using namespace quarvet::lab;

Q_DECLARE_METATYPE(QList<quarvet::lab::ReferenceStandard>)

namespace {

const QDate today(2026, 12, 9);

ReferenceStandard standard(double U = 0.02)
{
    ReferenceStandard made;
    made.identifier = QStringLiteral("PT-1");
    made.entry = 1;
    made.description = QStringLiteral("PT100 in a dry block");
    made.certificate = QStringLiteral("C-77");
    made.calibratedBy = QStringLiteral("Acme Cal");
    made.U = U;
    made.k = 2.0;
    made.drift = 0.004;
    made.calibrated = QDate(2026, 1, 10);
    made.due = QDate(2027, 1, 10);
    made.savedUtc = QDateTime(QDate(2026, 1, 12), QTime(9, 0), QTimeZone::utc());
    return made;
}

} // namespace

// The register's decisions that need no store, each against a table.
class TestRegister : public QObject {
    Q_OBJECT
private slots:
    void numbers_data();
    void numbers();
    void numbersAsFileNames_data();
    void numbersAsFileNames();
    void referenceProblems_data();
    void referenceProblems();
    void referenceDecided_data();
    void referenceDecided();
    void issuerPrintedAsGiven_data();
    void issuerPrintedAsGiven();
    void accreditedIssueGaps_data();
    void accreditedIssueGaps();
};

void TestRegister::numbers_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<qint64>("sequence");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("number"); // in 2026, prefix QL
    QTest::newRow("the default") << "{year}-{seq:5}" << qint64(42) << true << "2026-00042";
    QTest::newRow("prefix, year, three digits")
        << "{prefix}/{year}/{seq:3}" << qint64(7) << true << "QL/2026/007";
    QTest::newRow("sequence alone") << "{seq}" << qint64(42) << true << "42";
    QTest::newRow("twelve digits") << "K{seq:12}" << qint64(1) << true << "K000000000001";
    // Never cut to the width: two certificates would share a number.
    QTest::newRow("sequence wider than its width") << "{seq:3}" << qint64(12345) << true << "12345";
    QTest::newRow("thirteen digits") << "{seq:13}" << qint64(1) << false << "";
    QTest::newRow("no digits") << "{seq:0}" << qint64(1) << false << "";
    QTest::newRow("a leading zero in the width") << "{seq:05}" << qint64(1) << false << "";
    QTest::newRow("no sequence") << "{prefix}-{year}" << qint64(1) << false << "";
    QTest::newRow("two sequences") << "{seq}-{seq:3}" << qint64(1) << false << "";
    QTest::newRow("upper case") << "{SEQ}" << qint64(1) << false << "";
    QTest::newRow("an unknown placeholder") << "{month}-{seq}" << qint64(1) << false << "";
    QTest::newRow("a brace left open") << "{seq" << qint64(1) << false << "";
    QTest::newRow("a stray closing brace") << "{seq}}" << qint64(1) << false << "";
    QTest::newRow("nothing") << "" << qint64(1) << false << "";
}

void TestRegister::numbers()
{
    QFETCH(QString, pattern);
    QFETCH(qint64, sequence);
    QFETCH(bool, valid);
    QFETCH(QString, number);
    QCOMPARE(validNumberPattern(pattern), valid);
    if (valid)
        QCOMPARE(certificateNumber(pattern, sequence, 2026, QStringLiteral("QL")), number);
}

void TestRegister::numbersAsFileNames_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("as it is") << "2026-00042"
                              << "2026-00042";
    QTest::newRow("letters beyond ASCII kept") << "Kärnten-7"
                                               << "Kärnten-7";
    QTest::newRow("folders' separators") << "QL/2026\\007"
                                         << "QL-2026-007";
    QTest::newRow("what Windows refuses") << "A:B*C?D\"E<F>G|H"
                                          << "A-B-C-D-E-F-G-H";
    QTest::newRow("blanks and controls") << "QL 2026\t7\x01"
                                         << "QL-2026-7-";
    QTest::newRow("dots alone, a folder's name") << ".."
                                                 << "-..";
    QTest::newRow("a device's name on Windows") << "CON.1"
                                                << "-CON.1";
    QTest::newRow("one that only begins like one") << "CONTROL-1"
                                                   << "CONTROL-1";
    // 2 bytes a letter: 120 of them fill the 240 bytes a name may take.
    QTest::newRow("too long for a file system")
        << QString(300, QChar(0x0416)) << QString(120, QChar(0x0416));
    // 4 bytes a letter, two halves each: 59 whole ones after the "a".
    QTest::newRow("too long, not cut inside a letter")
        << "a" + QStringLiteral("\U0001F600").repeated(150)
        << "a" + QStringLiteral("\U0001F600").repeated(59);
}

// A certificate's number names its file on any file system, and never another folder.
void TestRegister::numbersAsFileNames()
{
    QFETCH(QString, number);
    QFETCH(QString, fileName);
    QCOMPARE(quarvet::lab::fileNameOf(number), fileName);
}

void TestRegister::referenceProblems_data()
{
    QTest::addColumn<ReferenceStandard>("entry");
    QTest::addColumn<QString>("says"); // empty: no problem
    const QString values = QStringLiteral("U must be a number above 0");
    QTest::newRow("as it should be") << standard() << "";
    QTest::newRow("U 0") << standard(0.0) << values;
    QTest::newRow("U -0") << standard(-0.0) << values;
    QTest::newRow("U not a number") << standard(std::nan("")) << values;
    ReferenceStandard entry = standard();
    entry.k = 0.99;
    QTest::newRow("k below 1") << entry << values;
    entry.k = 10.01;
    QTest::newRow("k above 10") << entry << values;
    entry = standard();
    entry.drift = -0.001;
    QTest::newRow("drift below 0") << entry << values;
    entry = standard();
    entry.identifier = QStringLiteral(" PT-1");
    QTest::newRow("identifier with a blank before it") << entry << "must not begin or end";
    entry.identifier = QStringLiteral("PT-\u202E1");
    QTest::newRow("identifier turned around") << entry << "identifier must be one line";
    entry = standard();
    entry.description = QStringLiteral("  ");
    QTest::newRow("no description") << entry << "description must be one line";
    entry = standard();
    entry.calibratedBy = QString(201, QLatin1Char('x'));
    QTest::newRow("laboratory too long") << entry << "laboratory that calibrated it must be";
    entry = standard();
    entry.calibrated = today.addDays(1);
    QTest::newRow("calibrated tomorrow") << entry << "between 1900 and today";
    entry.calibrated = QDate(1899, 12, 31);
    QTest::newRow("calibrated before 1900") << entry << "between 1900 and today";
    entry = standard();
    entry.due = entry.calibrated.addDays(-1);
    QTest::newRow("due before its calibration") << entry << "due date lies before";
    entry.due = QDate();
    QTest::newRow("no due date") << entry << "must be dates";
}

void TestRegister::referenceProblems()
{
    QFETCH(ReferenceStandard, entry);
    QFETCH(QString, says);
    const QString problem = quarvet::messages::labRefusal(referenceProblem(entry, today));
    if (says.isEmpty())
        QCOMPARE(problem, QString());
    else
        QVERIFY2(problem.contains(says), qPrintable(problem));
}

void TestRegister::referenceDecided_data()
{
    QTest::addColumn<QList<ReferenceStandard>>("entries");
    QTest::addColumn<bool>("registeredOnly");
    QTest::addColumn<double>("typedU"); // 0: not typed
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("says"); // empty: usable
    QTest::addColumn<double>("U");     // the U the record takes
    QTest::addColumn<QString>("lookAlike");
    // When the calibration a correction corrects was saved; none for a new one.
    QTest::addColumn<QDateTime>("savedUtc");
    const QDate day(2026, 3, 1);
    const QList<ReferenceStandard> one{standard()};
    QTest::newRow("from the register")
        << one << false << 0.0 << day << "" << 0.02 << QString() << QDateTime();
    QTest::newRow("U typed as the register holds it")
        << one << false << 0.02 << day << "" << 0.02 << QString() << QDateTime();
    QTest::newRow("U typed otherwise")
        << one << false << 0.03 << day << "is not what the register holds for PT-1 (entry 1)" << 0.0
        << QString() << QDateTime();
    ReferenceStandard withdrawn = standard();
    withdrawn.usable = false;
    QTest::newRow("withdrawn") << QList{withdrawn} << false << 0.0 << day << "has been withdrawn"
                               << 0.0 << QString() << QDateTime();
    QTest::newRow("due before the calibration")
        << one << false << 0.0 << QDate(2027, 1, 11) << "was due for calibration on 2027-01-10"
        << 0.0 << QString() << QDateTime();
    QTest::newRow("on its due date")
        << one << false << 0.0 << QDate(2027, 1, 10) << "" << 0.02 << QString() << QDateTime();
    QTest::newRow("calibrated after the calibration")
        << one << false << 0.0 << QDate(2026, 1, 9) << "was calibrated on 2026-01-10" << 0.0
        << QString() << QDateTime();
    // A later entry changed U: a calibration before it keeps the entry that stood then.
    ReferenceStandard changed = standard(0.03);
    changed.entry = 2;
    changed.savedUtc = QDateTime(QDate(2026, 6, 1), QTime(9, 0), QTimeZone::utc());
    const auto at = [](int hour) {
        return QDateTime(QDate(2026, 6, 1), QTime(hour, 0), QTimeZone::utc());
    };
    QTest::newRow("a correction: the entry that stood when it was saved")
        << QList{standard(), changed} << false << 0.0 << day << "" << 0.02 << QString()
        << QDateTime(day, QTime(10, 0), QTimeZone::utc());
    QTest::newRow("a correction: not a change later that day")
        << QList{standard(), changed} << false << 0.0 << QDate(2026, 6, 1) << "" << 0.02
        << QString() << at(8);
    QTest::newRow("a correction: the change made before it that day")
        << QList{standard(), changed} << false << 0.0 << QDate(2026, 6, 1) << "" << 0.03
        << QString() << at(10);
    QTest::newRow("a new record: the newest entry")
        << QList{standard(), changed} << false << 0.0 << QDate(2026, 7, 1) << "" << 0.03
        << QString() << QDateTime();
    QTest::newRow("typed, not in the register") << QList<ReferenceStandard>{} << false << 0.05
                                                << day << "" << 0.05 << QString() << QDateTime();
    QTest::newRow("typed without its U")
        << QList<ReferenceStandard>{} << false << 0.0 << day << "is not in the register: give its U"
        << 0.0 << QString() << QDateTime();
    QTest::newRow("typed where the register alone counts")
        << QList<ReferenceStandard>{} << true << 0.05 << day << "from its register only" << 0.0
        << QString() << QDateTime();
    // "pt-1" in the register: PT-1 typed would be printed as the register's without being it.
    QTest::newRow("typed as the register's but for case")
        << QList<ReferenceStandard>{} << false << 0.05 << day << "The register holds pt-1, not PT-1"
        << 0.0 << QStringLiteral("pt-1") << QDateTime();
}

void TestRegister::referenceDecided()
{
    QFETCH(QList<ReferenceStandard>, entries);
    QFETCH(bool, registeredOnly);
    QFETCH(double, typedU);
    QFETCH(QDate, day);
    QFETCH(QString, says);
    QFETCH(double, U);
    QFETCH(QString, lookAlike);
    QFETCH(QDateTime, savedUtc);
    LabSettings lab;
    if (registeredOnly)
        lab.values.insert(QStringLiteral("registered-references-only"), QStringLiteral("yes"));
    TypedReference typed;
    typed.u = typedU > 0;
    typed.due = typed.u;
    typed.uName = QStringLiteral("--reference-u");
    typed.dueName = QStringLiteral("--reference-due");
    RecordInput input;
    input.referenceId = QStringLiteral("PT-1");
    input.referenceUncertainty = typedU;
    input.calibratedUtc = savedUtc;
    input.referenceDue = entries.isEmpty() ? QDate(2027, 1, 10) : entries.first().due;
    const QString problem =
        quarvet::messages::labRefusal(decideReference(entries, lab, typed, day, input, lookAlike));
    if (!says.isEmpty()) {
        QVERIFY2(problem.contains(says), qPrintable(problem));
        return;
    }
    QCOMPARE(problem, QString());
    QCOMPARE(input.referenceUncertainty, U);
    QCOMPARE(input.referenceSource,
             entries.isEmpty() ? QStringLiteral("typed") : QStringLiteral("register"));
    if (!entries.isEmpty())
        QCOMPARE(input.referenceCertificate, QStringLiteral("C-77"));
}

void TestRegister::issuerPrintedAsGiven_data()
{
    QTest::addColumn<QString>("by");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("says"); // empty: printed as given
    const QString who = QStringLiteral("The name of who authorises the certificate");
    const QString role = QStringLiteral("The role of who authorises the certificate");
    QTest::newRow("as it should be") << "Dr. A. Meier"
                                     << "Head of lab"
                                     << "";
    QTest::newRow("a name of 200 characters") << QString(200, 'n') << "Head"
                                              << "";
    QTest::newRow("a right-to-left name") << "\u05D3\u05E0\u05D4 \u05DC\u05D5\u05D9"
                                          << "Head"
                                          << "";
    QTest::newRow("no name") << " "
                             << "Head" << who + " is empty.";
    QTest::newRow("a tab") << "A\tB"
                           << "Head" << who + " holds a control character";
    QTest::newRow("a line break in the role") << "A"
                                              << "Head\nof lab" << role + " holds a control";
    QTest::newRow("an escape") << "A\x1b[31m"
                               << "Head" << who + " holds a control character";
    QTest::newRow("a bidi override") << "A\u202EB"
                                     << "Head" << who + " holds a mark that turns";
    QTest::newRow("a zero-width space") << "A\u200BB"
                                        << "Head"
                                        << who + " holds a character "
                                                 "that cannot be seen (U+200B)";
    QTest::newRow("100,000 characters")
        << "A" << QString(100000, 'r') << role + " is longer than 200 characters.";
}

// Who authorises a certificate is printed on it as given: one sane line each, never cut.
void TestRegister::issuerPrintedAsGiven()
{
    QFETCH(QString, by);
    QFETCH(QString, role);
    QFETCH(QString, says);
    const QString problem = QString::fromStdString(
        quarvet::messages::recordRefusal(quarvet::records::issuerRefusal(by, role)));
    if (says.isEmpty())
        QCOMPARE(problem, QString());
    else
        QVERIFY2(problem.startsWith(says), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestRegister)
void TestRegister::accreditedIssueGaps_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("gaps");
    QTest::newRow("nothing missing") << QString() << QStringList{};
    QTest::newRow("not accredited: nothing asked") << "no accreditation" << QStringList{};
    QTest::newRow("no name") << "no name" << QStringList{"name"};
    QTest::newRow("an address of blanks") << "blank address" << QStringList{"address"};
    QTest::newRow("no method") << "no method" << QStringList{"method"};
    QTest::newRow("a typed reference") << "typed" << QStringList{"reference"};
    QTest::newRow("no ambient conditions") << "no ambient" << QStringList{"ambient"};
    QTest::newRow("a U of 0 at a point") << "U 0" << QStringList{"u"};
    QTest::newRow("a record kept before results had budgets") << "no budgets" << QStringList{"u"};
    QTest::newRow("every gap, in order")
        << "everything" << QStringList{"name", "address", "method", "reference", "ambient", "u"};
}

// What an accredited certificate must state, checked on the record and the laboratory.
void TestRegister::accreditedIssueGaps()
{
    QFETCH(QString, change);
    QFETCH(QStringList, gaps);
    quarvet::lab::LabSettings lab;
    lab.values = {{"name", "Lab"}, {"address", "1 Road"}, {"accreditation", "D-K-1"}};
    Record record;
    record.method = QStringLiteral("QP-7");
    record.referenceSource = QStringLiteral("register");
    record.ambient = 23.0;
    record.setUp = quarvet::records::BudgetSetUp{};
    record.asLeftPoints = QStringLiteral("target=0 readings=0.03 uc=0.01 nuEff=inf k=2 U=0.021 "
                                         "verdict=Pass; target=100 readings=99.99 uc=0.01 "
                                         "nuEff=inf k=2 U=0.021 verdict=Pass");
    const bool all = change == "everything";
    if (change == "no accreditation")
        lab.values.remove("accreditation");
    if (all || change == "no name")
        lab.values.remove("name");
    if (all || change == "blank address")
        lab.values["address"] = QStringLiteral("   ");
    if (all || change == "no method")
        record.method.clear();
    if (all || change == "typed")
        record.referenceSource = QStringLiteral("typed");
    if (all || change == "no ambient")
        record.ambient.reset();
    if (change == "U 0")
        record.asLeftPoints.replace(QStringLiteral("U=0.021 verdict=Pass; "),
                                    QStringLiteral("U=0 verdict=Pass; "));
    if (all || change == "no budgets")
        record.setUp.reset();
    QCOMPARE(quarvet::lab::issueGaps(lab, record), gaps);
}

#include "tst_register.moc"
