// quarvet-cli records as a user runs it: a real process, a real SQLite file or PostgreSQL
// database, and what comes back through JSON, CSV and text.
#include "cli/recordcommands.h"
#include "clirun.h"
#include "records/columns.h"
#include "records/postgresrecordstore.h"
#include "records/recordform.h"
#include "records/schema.h"
#include "records/sqliterecordstore.h"
#include "records/storechoice.h"
#include "shellrun.h"
#include "teststores.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <qplatformdefs.h>

#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList addArgs(const QString& serial, const QStringList& more = {})
{
    return QStringList{"records",       "add",  "--serial",        serial, "--type",      "742",
                       "--line",        "1",    "--technician",    "Jörg", "--reference", "REF-7",
                       "--reference-u", "0.02", "--reference-due", dueDate} +
           more + QStringList{"0", "100", "0.5", "99"};
}

// RFC 4180 rows: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> readCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype n = 0; n < text.size(); ++n) {
        const QChar c = text[n];
        if (quoted) {
            if (c == '"' && n + 1 < text.size() && text[n + 1] == '"')
                field += '"', ++n;
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field, field.clear();
        } else if (c == '\r' && n + 1 < text.size() && text[n + 1] == '\n') {
            row << field, field.clear();
            rows << row, row.clear();
            ++n;
        } else {
            field += c;
        }
    }
    return rows;
}

} // namespace

class TestRecordCommands : public QObject {
    Q_OBJECT
private slots:
    void issueUpgradesAStoreOfTheFirstVersion();
    void serialTravelsExactly_data();
    void serialTravelsExactly();
    void refusals_data();
    void refusals();
    void verdictAndExitStatus_data();
    void verdictAndExitStatus();
    void verdictWordsOnEveryFace_data();
    void verdictWordsOnEveryFace();
    void repeatedReadingsMakeOnePoint();
    void certificateByIdPrefix();
    void unusableStoreLeavesTheCalculatorWorking_data();
    void unusableStoreLeavesTheCalculatorWorking();
    void usage_data();
    void usage();
    void helpOfASubcommandToldInItsGroup_data();
    void helpOfASubcommandToldInItsGroup();
    void outputThatFailsAfterTheSave_data();
    void outputThatFailsAfterTheSave();
    void malformedUtf8IsRefused();
    void certificateNeverReplacesAPipe();
    void foreignSeparatorIsRefused_data();
    void foreignSeparatorIsRefused();
    void certificateNeverReplacesTheStore_data();
    void certificateNeverReplacesTheStore();
    void verifyShowsTampering_data();
    void verifyShowsTampering();
    void readOnlyStoreLeavesNothingBehind();
    void readOnlyStoreWithItsLogUnmergedIsNotRead();
    void grantedRoleAddsButChangesNothing_data();
    void grantedRoleAddsButChangesNothing();
    void technicianSetsNothingTheServerAssigns_data();
    void technicianSetsNothingTheServerAssigns();
    void serverChecksWhoSaved();
    void lockHeldByHandIsNamed();
    void savesAtOnceSayNothingOfTheDriver();
    void upgradeIsTheOwners();
    void backends_data();
    void registerAndReverseTraceability_data() { backends_data(); }
    void registerAndReverseTraceability();
    void overdueReferenceAndCorrection_data() { backends_data(); }
    void overdueReferenceAndCorrection();
    void issuesAtOnceAreNumberedOnce_data() { backends_data(); }
    void issuesAtOnceAreNumberedOnce();
    void registerAndIssueRefusals_data();
    void registerAndIssueRefusals();
    void copyIsTheSameCertificate();
    void issueIsDatedInLocalTime();
    void patternThatRepeatsANumberIsRefused_data() { backends_data(); }
    void patternThatRepeatsANumberIsRefused();
    void lookAlikeReferencesAreRefused_data();
    void logoIsJudgedBeforeItIsKept_data();
    void logoIsJudgedBeforeItIsKept();
    void lookAlikeReferencesAreRefused();
};

void TestRecordCommands::serialTravelsExactly_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("serial");
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: quotes and semicolons", backend)
            << backend << "A\"; DROP TABLE records; '--";
        QTest::addRow("%s: non-ASCII", backend) << backend << "Zähler № 7 ½ Ω \u05D0 12 \U0001F321";
        QTest::addRow("%s: commas and quotes", backend) << backend << "a,b c,\"d\"";
        // A value, not a request for the usage: the record is saved with it.
        QTest::addRow("%s: -h", backend) << backend << "-h";
        QTest::addRow("%s: --help", backend) << backend << "--help";
    }
}

// Store, JSON, CSV and text all give back the serial exactly (text made printable).
void TestRecordCommands::serialTravelsExactly()
{
    QFETCH(QString, backend);
    QFETCH(QString, serial);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    const Run added = place.run(addArgs(serial, {"--note", "n;\"o\"\nte"}), database);
    QVERIFY2(added.status == 0, qPrintable(added.err));
    const QString id = added.out.trimmed().section('\n', -1);
    QVERIFY2(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
                 .match(id)
                 .hasMatch(),
             qPrintable(added.out));
    place.run(addArgs("other"), database);

    const Run json =
        place.run({"records", "list", "--serial", serial, "--format", "json"}, database);
    QCOMPARE(json.status, 0);
    const QStringList objects = json.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(objects.size(), 1);
    const QJsonObject object = QJsonDocument::fromJson(objects[0].toUtf8()).object();
    QCOMPARE(object["serial"].toString(), serial);
    QCOMPARE(object["id"].toString(), id);
    QCOMPARE(object["note"].toString(), QStringLiteral("n;\"o\"\nte"));
    QCOMPARE(object["indicated1"].toDouble(), 0.5);

    const Run csv = place.run({"records", "list", "--format", "csv"}, database);
    const QList<QStringList> rows = readCsv(csv.out);
    QCOMPARE(rows.size(), 3); // header and two records, newest first
    const qsizetype serialColumn = rows[0].indexOf("serial");
    QVERIFY(serialColumn > 0);
    QCOMPARE(rows[2][serialColumn], serial);
    QCOMPARE(rows[2][rows[0].indexOf("note")], QStringLiteral("n;\"o\"\nte"));
    QCOMPARE(rows[1][serialColumn], QStringLiteral("other"));

    const Run text = place.run({"records", "list"}, database);
    QCOMPARE(text.out.count('\n'), 2); // one line a record, whatever the serial holds
    QVERIFY(text.out.section('\n', 1, 1).startsWith(id));
}

void TestRecordCommands::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const auto replaced = [](const QString& option, const QString& value) {
        QStringList args = addArgs("SN-1");
        args[args.indexOf(option) + 1] = value;
        return args;
    };
    QTest::newRow("a half-width below zero")
        << addArgs("SN", {"--drift", "-0.01"}) << 1 << "cannot be below zero";
    QTest::newRow("the reference's k zero")
        << addArgs("SN", {"--reference-k", "0"}) << 1 << "coverage factor k must be greater";
    QTest::newRow("a reading at no point")
        << addArgs("SN", {"--reading", "3", "0.5"}) << 2 << "none of 1 to 2";
    QTest::newRow("a reading that is none")
        << addArgs("SN", {"--reading", "1", "x"}) << 1 << "--reading 1";
    QTest::newRow("a rule unknown") << addArgs("SN", {"--rule", "strict"}) << 2
                                    << "--rule is guarded, simple or non-binary, not 'strict'";
    QTest::newRow("blank serial") << replaced("--serial", " ") << 1 << "serial number is empty";
    // No reference is known without uncertainty: U from the resolution alone passed a failure.
    QTest::newRow("the reference's U 0")
        << replaced("--reference-u", "0") << 1 << "U must be a number above 0";
    QTest::newRow("the reference's U -0")
        << replaced("--reference-u", "-0") << 1 << "U must be a number above 0";
    QStringList vanishing = replaced("--reference-u", "5e-324");
    vanishing.insert(vanishing.size() - 4, "--resolution");
    vanishing.insert(vanishing.size() - 4, "0");
    QTest::newRow("a point's U that rounds to nothing")
        << vanishing << 1 << "U must be a number above 0";
    QTest::newRow("grant on a record file")
        << QStringList{"records", "grant", "tech"} << 1 << "has no roles to grant anything to";
    QTest::newRow("empty technician") << replaced("--technician", "") << 1 << "technician is empty";
    QTest::newRow("empty reference")
        << replaced("--reference", "") << 1 << "reference standard is empty";
    QTest::newRow("overdue reference")
        << replaced("--reference-due", QDate::currentDate().addDays(-1).toString(Qt::ISODate)) << 1
        << "has passed";
    QTest::newRow("due date no date")
        << replaced("--reference-due", "2027-02-30") << 1 << "no date";
    QTest::newRow("unknown type") << replaced("--type", "999") << 1 << "none of the model numbers";
    QTest::newRow("line 3") << replaced("--line", "3") << 1 << "display line";
    QTest::newRow("negative U") << replaced("--reference-u", "-0.1") << 1 << "uncertainty";
    QTest::newRow("U no number") << replaced("--reference-u", "0.0.2") << 1 << "not a number";
    QTest::newRow("readings without tolerance")
        << addArgs("SN", {"--verify", "0", "0.01"}) << 1 << "need a tolerance";
    QTest::newRow("tolerance 0") << addArgs("SN", {"--tolerance", "0", "--verify", "0", "0"}) << 1
                                 << "greater than 0";
    QTest::newRow("a reading at one point, a Pass no more")
        << addArgs("SN", {"--tolerance", "0.1", "--verify", "0", "0.03"}) << 1
        << "point 2 has none";
    QTest::newRow("half a reading")
        << addArgs("SN", {"--tolerance", "1", "--verify", "0"}) << 2 << "not 3 words";
    // The indicated values forgotten: the words left are not taken for entries they were not
    // typed as.
    const QStringList head{"records",       "add",  "--serial",        "SN",
                           "--type",        "742",  "--line",          "1",
                           "--technician",  "T",    "--reference",     "R",
                           "--reference-u", "0.02", "--reference-due", dueDate,
                           "--tolerance",   "0.1",  "--verify",        "0",
                           "0.03"};
    QTest::newRow("entries forgotten")
        << head + QStringList{"--verify", "100", "99.99", "0", "100"} << 2 << "not 2 words";
    QStringList wraps = addArgs("SN");
    wraps.replace(wraps.size() - 3, "70");
    wraps.replace(wraps.size() - 2, "0");
    wraps.replace(wraps.size() - 1, "10");
    QTest::newRow("a slope its code cannot hold") << wraps << 1 << "does not fit its code";
    // The second reading typed without its own --verify: its words become the entries, and the
    // record they would make is no record of what was measured.
    QTest::newRow("entries forgotten, four words left")
        << head + QStringList{"100", "99.99", "0", "100"} << 1 << "does not fit its code";
    QStringList valueMissing = addArgs("SN", {"--reference-due", "--note", "x"});
    valueMissing.remove(valueMissing.indexOf("--reference-due"), 2);
    QTest::newRow("an option's value missing before another option")
        << valueMissing << 2 << "--reference-due takes a value";
    QStringList equal = addArgs("SN");
    equal[equal.size() - 1] = "0.5";
    QTest::newRow("equal indicated values") << equal << 1 << "";
    QStringList missing = addArgs("SN");
    missing.remove(missing.indexOf("--technician"), 2);
    QTest::newRow("missing technician") << missing << 2 << "needs --technician";
    QTest::newRow("unknown option") << addArgs("SN", {"--colour", "red"}) << 2 << "unknown option";
    QTest::newRow("twice") << addArgs("SN", {"--serial", "B"}) << 2 << "given twice";
    QTest::newRow("bad current codes")
        << addArgs("SN", {"--current", "27100", "0000"}) << 2 << "--current";
    QTest::newRow("entries missing")
        << QStringList{"records", "add", "--serial", "S"} << 2 << "four entries";
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    QTest::newRow("received on no date")
        << addArgs("SN", {"--received", "2026-02-30"}) << 1 << "received is no date";
    QTest::newRow("received before 1900")
        << addArgs("SN", {"--received", "1899-12-31"}) << 1 << "received is no date";
    QTest::newRow("received after the calibration")
        << addArgs("SN", {"--received", tomorrow}) << 1 << "received on " + tomorrow;
    QTest::newRow("a tolerance source of its own")
        << addArgs("SN", {"--tolerance", "0.1", "--tolerance-source", "guess"}) << 1
        << "is one of manufacturer, customer, standard";
    QTest::newRow("a tolerance source without a tolerance")
        << addArgs("SN", {"--tolerance-source", "customer"}) << 1 << "needs a tolerance";
    QTest::newRow("a condition of two lines")
        << addArgs("SN", {"--condition", "bent\nprobe"}) << 1 << "condition on receipt";
    QTest::newRow("a location that turns text around")
        << addArgs("SN", {"--location", "Hall \u202EB"}) << 1 << "The location";
}

// Refused with the reason, and nothing saved.
void TestRecordCommands::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    Workplace place;
    const Run run = place.run(args);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(says) && !run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    QCOMPARE(place.run({"records", "list"}).out, QString());
}

void TestRecordCommands::verdictAndExitStatus_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("reading"); // at 0 °C; 100 °C reads 100
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    // T = 0.1 and, without the resolution, U = 0.02 at each point read once.
    const auto row = [](const char* rule, const char* reading, int status, const char* verdict) {
        QTest::addRow("%s %s", rule, reading) << rule << reading << status << verdict;
    };
    row("guarded", "0.08", 0, "Pass"); // T − U
    row("guarded", "-0.08", 0, "Pass");
    row("guarded", "0.081", 3, "Fail");
    row("guarded", "0.1", 3, "Fail");
    row("simple", "0.1", 0, "Pass"); // T
    row("simple", "-0.101", 3, "Fail");
    row("non-binary", "0.08", 0, "Pass");
    row("non-binary", "0.081", 0, "Conditional pass");
    row("non-binary", "0.1", 0, "Conditional pass");
    row("non-binary", "0.101", 3, "Conditional fail");
    row("non-binary", "0.12", 3, "Conditional fail"); // T + U
    row("non-binary", "0.121", 3, "Fail");
    // A tolerance no larger than U: the record says so and is no Fail, unless a reading is off
    // by more than T + U, a failure beyond doubt.
    row("guarded", "0", 5, "Not judged");
    row("guarded", "5", 3, "Fail");
}

// The verdict of a saved record and the exit status of records add, at the limits of each
// rule; the record keeps the rule and each point's U.
void TestRecordCommands::verdictAndExitStatus()
{
    QFETCH(QString, rule);
    QFETCH(QString, reading);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    Workplace place;
    const QString tolerance = status == 5 || reading == "5" ? "0.02" : "0.1";
    const Run run =
        place.run(addArgs("SN", {"--tolerance", tolerance, "--rule", rule, "--resolution", "0",
                                 "--verify", "0", reading, "--verify", "100", "100"}));
    QCOMPARE(run.status, status);
    QVERIFY2(run.out.contains("verdict " + verdict + " ("), qPrintable(run.out));
    QVERIFY2(run.out.contains("as left at 0: U 0.020 (k = 2.00), " + verdict), qPrintable(run.out));
    const QJsonObject saved =
        QJsonDocument::fromJson(place.run({"records", "list", "--format", "json"}).out.toUtf8())
            .object();
    QCOMPARE(saved["verdict"].toString(), verdict);
    QCOMPARE(saved["decision_rule"].toString(), rule);
    // Found 0.5 and 1 off: a failure beyond doubt even where U is no smaller than T.
    QCOMPARE(saved["as_found_verdict"].toString(), QStringLiteral("Fail"));
    QCOMPARE(saved["slope_code"].toString(), QStringLiteral("27A8"));
    QCOMPARE(saved["reference_u"].toDouble(), 0.02);
    QCOMPARE(saved["resolution"].toDouble(), 0.0);
    const QJsonArray asLeft = saved["as_left_points"].toArray();
    QCOMPARE(asLeft.size(), 2);
    QCOMPARE(asLeft[0].toObject()["U"].toDouble(), 0.02);
    QCOMPARE(asLeft[0].toObject()["verdict"].toString(), verdict);
    QVERIFY(asLeft[0].toObject()["nuEff"].isNull());
}

void TestRecordCommands::verdictWordsOnEveryFace_data()
{
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<QString>("asLeft");
    QTest::addColumn<QString>("asFound");
    const QString noTolerance = "not judged: no tolerance";
    QTest::newRow("neither") << QStringList() << "not verified" << noTolerance;
    QTest::newRow("tolerance, not verified") << QStringList{"--tolerance", "0.1"} << "not verified"
                                             << "Fail";
}

// Where there is no verdict, the record's output, every export and the certificate say why
// in the same words; none leaves it empty.
void TestRecordCommands::verdictWordsOnEveryFace()
{
    QFETCH(QStringList, more);
    QFETCH(QString, asLeft);
    QFETCH(QString, asFound);
    Workplace place;
    const Run added = place.run(addArgs("SN", more));
    QCOMPARE(added.status, 0);
    QVERIFY2(added.out.contains("\nverdict " + asLeft + "\n"), qPrintable(added.out));
    QVERIFY2(added.out.contains("\nas found " + asFound + "\n"), qPrintable(added.out));
    const QJsonObject json =
        QJsonDocument::fromJson(place.run({"records", "list", "--format", "json"}).out.toUtf8())
            .object();
    QCOMPARE(json["verdict"].toString(), asLeft);
    QCOMPARE(json["as_found_verdict"].toString(), asFound);
    QCOMPARE(json["as_found_points"].toArray()[0].toObject()["verdict"].toString(), asFound);
    const QList<QStringList> csv = readCsv(place.run({"records", "list", "--format", "csv"}).out);
    QCOMPARE(csv.size(), 2);
    QCOMPARE(csv[1].value(csv[0].indexOf("verdict")), asLeft);
    QCOMPARE(csv[1].value(csv[0].indexOf("as_found_verdict")), asFound);
    const QStringList text =
        place.run({"records", "list", "--format", "text"}).out.trimmed().split('\t');
    QCOMPARE(text.value(csv[0].indexOf("verdict")), asLeft);
    const QString pdf = place.dir.filePath("c.pdf");
    QCOMPARE(place.run({"records", "certificate", json["id"].toString(), "-o", pdf}).status, 0);
    const QString said = pageText(pdf);
    QVERIFY2(said.contains("As left " + asLeft), qPrintable(said));
    QVERIFY2(said.contains("As found " + asFound), qPrintable(said));
    // Each point's cell in the results says the same where it has no verdict (on two lines).
    QVERIFY2(said.contains(" 0.021 " + asFound.section(' ', 0, 1)), qPrintable(said));
}

// Readings repeated at a point are one point: their mean is the reading used, and their
// spread a Type A term with few degrees of freedom.
void TestRecordCommands::repeatedReadingsMakeOnePoint()
{
    Workplace place;
    QStringList args =
        addArgs("SN", {"--tolerance", "0.1", "--resolution", "0", "--reading", "1", "0.7",
                       "--verify", "0", "0.03", "--verify", "100", "100", "--verify", "0", "0.13"});
    const Run run = place.run(args);
    // Two readings 0.1 apart at 0 °C: s/√2 = 0.05 with ν = 1 outweighs the reference's 0.01,
    // so ν_eff is near 1 and k above 10: U is past T, though their mean 0.08 is within it.
    QCOMPARE(run.status, 5);
    const QJsonObject saved =
        QJsonDocument::fromJson(place.run({"records", "list", "--format", "json"}).out.toUtf8())
            .object();
    const QJsonArray asLeft = saved["as_left_points"].toArray();
    QCOMPARE(asLeft.size(), 2);
    QCOMPARE(asLeft[0].toObject()["readings"].toArray(), (QJsonArray{0.03, 0.13}));
    QVERIFY(asLeft[0].toObject()["nuEff"].toDouble() < 1.1);
    QVERIFY(asLeft[0].toObject()["k"].toDouble() > 10);
    QCOMPARE(asLeft[0].toObject()["verdict"].toString(), QStringLiteral("Not judged"));
    QCOMPARE(asLeft[1].toObject()["verdict"].toString(), QStringLiteral("Pass"));
    // As found at 0 °C: 0.5 and 0.7, mean 0.6: the codes are those of the mean.
    const QJsonArray asFound = saved["as_found_points"].toArray();
    QCOMPARE(asFound[0].toObject()["readings"].toArray(), (QJsonArray{0.5, 0.7}));
    QStringList meanTyped = addArgs("SN", {"--resolution", "0"});
    meanTyped.replace(meanTyped.size() - 2, "0.6");
    QCOMPARE(place.run(meanTyped).out.section('\n', 0, 0), run.out.section('\n', 0, 0));
    QVERIFY(!run.out.startsWith("codes 27A8 FE04"));
}

void TestRecordCommands::certificateByIdPrefix()
{
    Workplace place;
    QStringList ids;
    // Seventeen ids: two of them share their first hexadecimal digit.
    for (int n = 0; n < 17; ++n)
        ids << place.run(addArgs(QStringLiteral("SN-%1").arg(n))).out.trimmed().section('\n', -1);
    QString shared;
    for (const QString& id : ids)
        if (ids.filter(QRegularExpression("^" + id.left(1))).size() > 1)
            shared = id.left(1);
    const QString pdf = place.dir.filePath("c.pdf");
    const Run ambiguous = place.run({"records", "certificate", shared, "-o", pdf});
    QCOMPARE(ambiguous.status, 1);
    QVERIFY2(ambiguous.err.contains("give more of it"), qPrintable(ambiguous.err));
    QVERIFY(!QFile::exists(pdf));
    const Run none = place.run({"records", "certificate", "zz", "-o", pdf});
    QCOMPARE(none.status, 1);
    QVERIFY(none.err.contains("No record"));
    // Without a runtime folder too, and without a word about it on standard error.
    place.withoutRuntimeFolder = true;
    const Run one = place.run({"records", "certificate", ids[5].left(8).toUpper(), "-o", pdf});
    place.withoutRuntimeFolder = false;
    QVERIFY2(one.status == 0 && one.err.isEmpty(), qPrintable(one.err));
    QProcess info;
    info.start("pdfinfo", {pdf});
    QVERIFY(info.waitForFinished(30000));
    QVERIFY(info.readAllStandardOutput().contains("Pages:           1"));
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QByteArray page = text.readAllStandardOutput();
    QVERIFY(page.contains(ids[5].toUtf8()));
    // The record's own hash, and the head of the chain: the hash of the record saved last.
    const QStringList listed =
        place.run({"records", "list", "--format", "json"}).out.split('\n', Qt::SkipEmptyParts);
    const auto hashOf = [](const QString& line) {
        return QJsonDocument::fromJson(line.toUtf8()).object()["hash"].toString().toUtf8();
    };
    const QByteArray head = hashOf(listed.first());
    QVERIFY(page.contains(hashOf(listed.filter(ids[5]).value(0))));
    QVERIFY(page.contains(head));
    QVERIFY(place.run({"records", "verify"}).out.contains(head.left(16)));
    const Run unwritable = place.run({"records", "certificate", ids[5], "-o", place.dir.path()});
    QCOMPARE(unwritable.status, 1);
    QVERIFY(unwritable.err.contains(place.dir.path()));
}

void TestRecordCommands::unusableStoreLeavesTheCalculatorWorking_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("data folder is a file") << "file"
                                           << "blocker/Quarvet/records.sqlite";
    QTest::newRow("garbage record file") << "garbage"
                                         << "is no database";
    QTest::newRow("unreadable database URL") << "url"
                                             << "QUARVET_DATABASE";
    QTest::newRow("unreadable setting") << "setting"
                                        << "Records/Database";
    QTest::newRow("no server") << "server"
                               << "cannot be reached";
}

void TestRecordCommands::unusableStoreLeavesTheCalculatorWorking()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    Workplace place;
    QString database;
    const QString file = place.dir.filePath("data/Quarvet/records.sqlite");
    if (kind == "file") {
        QFile blocker(place.dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        place.dataHome = place.dir.filePath("blocker");
    } else if (kind == "garbage") {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(5000, 'x'));
    } else if (kind == "url") {
        database = "mysql://lab@db/records";
    } else if (kind == "setting") {
        QVERIFY(QDir().mkpath(place.dir.filePath("config/Quarvet")));
        QFile settings(place.dir.filePath("config/Quarvet/Quarvet.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[Records]\nDatabase=records.db\n");
    } else {
        database = "postgresql://lab@" + QUrl::toPercentEncoding(place.dir.path()) + "/records";
    }
    const Run add = place.run(addArgs("SN"), database);
    QCOMPARE(add.status, 1);
    QVERIFY2(add.err.contains(says), qPrintable(add.err));
    // With no file there is nothing to list, and listing says nothing wrong.
    const Run list = place.run({"records", "list"}, database);
    QCOMPARE(list.status, kind == "file" ? 0 : 1);
    QVERIFY2(kind == "file" || list.err.contains(says), qPrintable(list.err));
    const Run calc = place.run({"calc", "0", "100", "0.5", "99"}, database);
    QCOMPARE(calc.status, 0);
    QCOMPARE(calc.out, QStringLiteral("27A8 FE04\n"));
    if (kind == "garbage") {
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::ReadOnly));
        QCOMPARE(garbage.readAll(), QByteArray(5000, 'x'));
    }
}

void TestRecordCommands::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("no subcommand") << QStringList{"records"}
                                   << "list, add, sign, signatures, issue, certificate, dcc, "
                                      "read-dcc, verify, witness, check-certificate "
                                      "or grant";
    QTest::newRow("unknown subcommand") << QStringList{"records", "delete"}
                                        << "list, add, sign, signatures, issue, certificate, dcc, "
                                           "read-dcc, verify, witness, check-certificate "
                                           "or grant";
    QTest::newRow("verify with an argument")
        << QStringList{"records", "verify", "x"} << "records verify takes no arguments";
    QTest::newRow("unknown format")
        << QStringList{"records", "list", "--format", "xml"} << "text, csv or json";
    QTest::newRow("serial without value")
        << QStringList{"records", "list", "--serial"} << "takes a value";
    QTest::newRow("a sort by no column")
        << QStringList{"records", "list", "--sort", "codes"} << "--sort is date, serial, type";
    QTest::newRow("certificate without file")
        << QStringList{"records", "certificate", "ab"} << "-o FILE.pdf";
    // Two files named: neither is taken, and no number is spent on the guess.
    QTest::newRow("certificate to two files")
        << QStringList{"records", "certificate", "ab", "-o", "a.pdf", "--output", "b.pdf"}
        << "name one file, with -o or --output";
    QTest::newRow("issue to two files")
        << QStringList{"records", "issue", "ab",    "--by",     "A",    "--role",
                       "B",       "-o",    "a.pdf", "--output", "b.pdf"}
        << "name one file, with -o or --output";
    // A number's values are never an option's name, and say what they are.
    QTest::newRow("current codes missing")
        << addArgs("SN", {"--current", "2710", "--note", "n"}) << "--current takes two codes";
}

void TestRecordCommands::helpOfASubcommandToldInItsGroup_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QString>("notSaid");
    QTest::newRow("show, an alternative of its group's block")
        << QStringList{"references", "show", "--help"} << "| show ID |"
        << "references add";
    QTest::newRow("list, the last alternative")
        << QStringList{"references", "list", "--help"} << "| list [--format"
        << "references add";
    QTest::newRow("add, a block of its own")
        << QStringList{"references", "add", "--help"} << "--calibrated-by LAB"
        << "withdraw";
}

// Asked for one command's usage, the program says that command's, not its whole group's.
void TestRecordCommands::helpOfASubcommandToldInItsGroup()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QFETCH(QString, notSaid);
    Workplace place;
    const Run run = place.run(args);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(says) && !run.out.contains(notSaid), qPrintable(run.out));
}

void TestRecordCommands::usage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    Workplace place;
    const Run run = place.run(args);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
}

// The record is in the store; the user is told so, with its id, and not to save it again.
void TestRecordCommands::outputThatFailsAfterTheSave_data()
{
    QTest::addColumn<QString>("redirection");
    QTest::newRow("a full disk") << " >/dev/full";
    // The output file is past the shell's limit on file sizes, the store is not.
    QTest::newRow("a file past ulimit -f") << " >>big.txt";
}

void TestRecordCommands::outputThatFailsAfterTheSave()
{
    QFETCH(QString, redirection);
    Workplace place;
    QStringList quoted;
    for (const QString& word : addArgs("SN"))
        quoted << "'" + word + "'";
    const QProcessEnvironment environment = place.environment();
    QFile big(place.dir.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(600 * 1024, 'x')) > 0);
    big.close();
    const ShellRun run =
        runInShell("cd '" + place.dir.path() + "' && ulimit -f 512 && '" QUARVET_CLI "' " +
                       quoted.join(' ') + redirection,
                   environment);
    QCOMPARE(run.status, 1);
    const QString said = QString::fromUtf8(run.err);
    QVERIFY2(said.contains("was saved, but its id could not be written"), qPrintable(said));
    const QString id = place.run({"records", "list", "--format", "json"})
                           .out.section("\"id\":\"", 1)
                           .section('"', 0, 0);
    QVERIFY(!id.isEmpty() && said.contains(id));
    // Its issue spends a number whatever the output does: the number is said all the same.
    const ShellRun issued = runInShell(
        "cd '" + place.dir.path() + "' && ulimit -f 512 && '" QUARVET_CLI "' records issue " + id +
            " --by A --role B -o c.pdf" + redirection,
        environment);
    QCOMPARE(issued.status, 1);
    const QString number = QString::number(QDate::currentDate().year()) + "-00001";
    QVERIFY2(QString::fromUtf8(issued.err)
                 .contains("certificate " + number +
                           " was issued and written to c.pdf, but its number could not be "
                           "written"),
             qPrintable(QString::fromUtf8(issued.err)));
    QVERIFY(QFile::exists(place.dir.filePath("c.pdf")));
}

void TestRecordCommands::malformedUtf8IsRefused()
{
    Workplace place;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", place.dir.filePath("data"));
    environment.insert("XDG_CONFIG_HOME", place.dir.filePath("config"));
    environment.remove("QUARVET_DATABASE");
    QStringList quoted;
    for (const QString& word : addArgs("SERIAL"))
        quoted << "'" + word + "'";
    const ShellRun run = runInShell(
        "'" QUARVET_CLI "' " + quoted.join(' ').replace("'SERIAL'", "$'\\xff\\xfe7'"), environment);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("--serial is not valid UTF-8"), run.err.constData());
    QCOMPARE(place.run({"records", "list"}).out, QString());
}

void TestRecordCommands::certificateNeverReplacesAPipe()
{
    Workplace place;
    const QString id = place.run(addArgs("SN")).out.trimmed().section('\n', -1);
    const QString fifo = place.dir.filePath("pipe");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString link = place.dir.filePath("link");
    QVERIFY(QFile::link(fifo, link));
    for (const QString& target : {fifo, link}) {
        const Run run = place.run({"records", "certificate", id, "-o", target});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("no plain file"), qPrintable(run.err));
    }
    QT_STATBUF status;
    QVERIFY(QT_STAT(QFile::encodeName(fifo).constData(), &status) == 0 && S_ISFIFO(status.st_mode));
}

void TestRecordCommands::certificateNeverReplacesTheStore_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("the store") << "store";
    QTest::newRow("the store by another name") << "alias";
    QTest::newRow("a link to the store") << "link";
    QTest::newRow("SQLite's file beside it, not there yet") << "journal";
    QTest::newRow("a link to SQLite's file beside it") << "wal link";
}

// A certificate written over the record file would replace every record with one page: the
// store's files are refused under any name, and the store keeps every byte.
void TestRecordCommands::certificateNeverReplacesTheStore()
{
    QFETCH(QString, target);
    Workplace place;
    const QString id = place.run(addArgs("SN-1")).out.trimmed().section('\n', -1);
    const QString store = place.dir.filePath("data/Quarvet/records.sqlite");
    QString path = place.dir.filePath("target.pdf");
    if (target == "store")
        path = store;
    else if (target == "alias")
        path = place.dir.filePath("data/Quarvet/../Quarvet/./records.sqlite");
    else if (target == "link")
        QVERIFY(QFile::link(store, path));
    else if (target == "journal")
        path = store + "-journal";
    else
        QVERIFY(QFile::link(store + "-wal", path));
    QFile file(store);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const Run refused = place.run({"records", "certificate", id, "-o", path});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("one of the record store's own files"), qPrintable(refused.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QVERIFY(!QFile::exists(store + "-journal"));
    QCOMPARE(place.run({"records", "list", "--format", "csv"}).out.count("SN-1"), 1);
}

void TestRecordCommands::foreignSeparatorIsRefused_data()
{
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("says");
    QTest::newRow("a tolerance ten times looser")
        << QStringList{"--tolerance", "0.1", "--verify", "0", "0,05", "--verify", "100", "100"}
        << "0,5"
        << "--tolerance '0.1' holds '.'";
    QTest::newRow("a reading") << QStringList{"--tolerance", "0,1",      "--verify", "0",
                                              "0.05",        "--verify", "100",      "100"}
                               << "0,5"
                               << "--verify reading '0.05' holds '.'";
    QTest::newRow("an entry") << QStringList{} << "0.5"
                              << "INDICATED1 '0.5' holds '.'";
}

// In a locale whose decimal separator is the comma, a point groups digits: "0.1" reads as 1.
// A calculation warns of it; a record, kept for good, is refused naming the number.
void TestRecordCommands::foreignSeparatorIsRefused()
{
    QFETCH(QStringList, more);
    QFETCH(QString, entry);
    QFETCH(QString, says);
    QTemporaryDir dir;
    quarvet::records::SqliteRecordStore store(dir.filePath("records.sqlite"));
    quarvet::cli::RecordsContext context{store, QDate::currentDate(), {}};
    QStringList args = addArgs("SN", more);
    args[args.size() - 2] = entry;
    args[args.indexOf("--reference-u") + 1] = "0,02";
    std::vector<std::string> words;
    for (const QString& arg : args)
        words.push_back(arg.toStdString());
    quarvet::cli::StringSource in("");
    quarvet::cli::StringSink out;
    quarvet::cli::StringSink err("standard error");
    const int status =
        quarvet::cli::run(words, {",", "."}, {in, out, err}, quarvet::cli::recordCommands(),
                          [&](const std::function<int(quarvet::cli::RecordsContext&)>& command) {
                              return command(context);
                          });
    QCOMPARE(status, 1);
    QVERIFY2(QString::fromStdString(err.text()).contains(says), err.text().c_str());
    QList<quarvet::records::Record> records;
    QVERIFY(!store.list(QString(), records).failed());
    QVERIFY(records.isEmpty());
}

void TestRecordCommands::backends_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

namespace {

QStringList referenceArgs(const QString& id, const QString& due)
{
    return {"references",      "add",         "--id",          id,
            "--description",   "PT100 " + id, "--certificate", "C-" + id,
            "--calibrated-by", "Acme Cal",    "--u",           "0.02",
            "--calibrated",    "2026-01-10",  "--due",         due};
}

// A record of the register's reference: no U, k, drift or due date typed.
QStringList registeredArgs(const QString& serial, const QString& reference,
                           const QStringList& more = {})
{
    return QStringList{"records", "add", "--serial",     serial, "--type",      "742",
                       "--line",  "1",   "--technician", "Jo",   "--reference", reference} +
           more + QStringList{"0", "100", "0.5", "99"};
}

QStringList serialsOf(const QString& listing)
{
    QStringList serials;
    for (const QString& line : listing.split('\n', Qt::SkipEmptyParts))
        serials << QJsonDocument::fromJson(line.toUtf8()).object()["serial"].toString();
    serials.sort();
    return serials;
}

} // namespace

// Records take U, k, drift and due date from the register, which keeps every change; a
// standard's records are listed, exactly, for the day it is found out of tolerance.
void TestRecordCommands::registerAndReverseTraceability()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    for (const char* id : {"PT-1", "PT-2"})
        QCOMPARE(place.run(referenceArgs(id, dueDate), database).status, 0);
    for (const char* serial : {"A-1", "A-2"})
        QCOMPARE(
            place.run(registeredArgs(serial, "PT-1", {"--customer", "Big Co"}), database).status,
            0);
    QCOMPARE(place.run(registeredArgs("B-1", "PT-2"), database).status, 0);
    QCOMPARE(place.run(addArgs("C-1"), database).status, 0); // typed: REF-7
    const auto listed = [&](const QStringList& filter) {
        return serialsOf(
            place.run(QStringList{"records", "list", "--format", "json"} + filter, database).out);
    };
    QCOMPARE(listed({"--reference", "PT-1"}), (QStringList{"A-1", "A-2"}));
    QCOMPARE(listed({"--reference", "PT-2"}), (QStringList{"B-1"}));
    QCOMPARE(listed({"--reference", "PT"}), QStringList());
    QCOMPARE(listed({"--customer", "Big Co"}), (QStringList{"A-1", "A-2"}));
    const QJsonObject record =
        QJsonDocument::fromJson(
            place.run({"records", "list", "--format", "json", "--serial", "B-1"}, database)
                .out.toUtf8())
            .object();
    QCOMPARE(record["reference_source"].toString(), QStringLiteral("register"));
    QCOMPARE(record["reference_certificate"].toString(), QStringLiteral("C-PT-2"));
    QCOMPARE(record["reference_u"].toDouble(), 0.02);
    // A value typed for it that is not the register's is refused; so is a withdrawn one.
    const Run disagreeing =
        place.run(registeredArgs("D-1", "PT-1", {"--reference-u", "0.03"}), database);
    QCOMPARE(disagreeing.status, 1);
    QVERIFY2(disagreeing.err.contains("not what the register holds"), qPrintable(disagreeing.err));
    QCOMPARE(place.run({"references", "withdraw", "PT-1"}, database).status, 0);
    const Run withdrawn = place.run(registeredArgs("D-2", "PT-1"), database);
    QCOMPARE(withdrawn.status, 1);
    QVERIFY2(withdrawn.err.contains("withdrawn"), qPrintable(withdrawn.err));
    const QStringList entries =
        place.run({"references", "show", "PT-1"}, database).out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(entries.size(), 2);
    QVERIFY(entries[0].contains("\tyes\t") && entries[1].contains("\tno\t"));
    // A laboratory that takes its references from the register only.
    QCOMPARE(place.run({"lab", "set", "--registered-references-only", "yes"}, database).status, 0);
    const Run typed = place.run(addArgs("E-1"), database);
    QCOMPARE(typed.status, 1);
    QVERIFY2(typed.err.contains("register only"), qPrintable(typed.err));
}

// A reference due yesterday refuses a record made today; a correction of a record made while
// it was in date is held against the day of that calibration.
void TestRecordCommands::overdueReferenceAndCorrection()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    const QDate yesterday = QDate::currentDate().addDays(-1);
    QCOMPARE(place.run(referenceArgs("PT-9", yesterday.toString(Qt::ISODate)), database).status, 0);
    const Run today = place.run(registeredArgs("SN-1", "PT-9"), database);
    QCOMPARE(today.status, 1);
    QVERIFY2(today.err.contains("was due for calibration on " + yesterday.toString(Qt::ISODate)),
             qPrintable(today.err));
    // A calibration of a week ago, in date then, saved as it was.
    quarvet::records::RecordInput input;
    input.instrumentType = "742";
    input.serial = "SN-2";
    input.technician = "Jo";
    input.referenceId = "PT-9";
    input.referenceUncertainty = 0.02;
    input.referenceDue = yesterday;
    input.entriesTyped = {"0", "100", "0.5", "99"};
    input.entriesRead = {0, 100, 0.5, 99};
    const QDateTime weekAgo = QDateTime::currentDateTimeUtc().addDays(-7);
    const auto made = quarvet::records::composeRecord(
        input, weekAgo.date(), weekAgo, QUuid::createUuid().toString(QUuid::WithoutBraces));
    QVERIFY(made.ok());
    const std::unique_ptr<quarvet::records::RecordStore> records =
        store.isPostgres() ? quarvet::records::recordStoreFor(store.location())
                           : std::make_unique<quarvet::records::SqliteRecordStore>(
                                 place.dir.filePath("data/Quarvet/records.sqlite"));
    QVERIFY(!records->add(made.record).failed());
    // Its correction needs a reason, and is held against the day of the calibration.
    const QString corrects = made.record.id.left(8);
    QCOMPARE(place.run(registeredArgs("SN-2", "PT-9", {"--corrects", corrects}), database).status,
             1);
    const Run corrected = place.run(
        registeredArgs("SN-2", "PT-9", {"--corrects", corrects, "--reason", "wrong serial"}),
        database);
    QVERIFY2(corrected.status == 0, qPrintable(corrected.err));
    const QJsonObject saved =
        QJsonDocument::fromJson(place.run({"records", "list", "--format", "json"}, database)
                                    .out.section('\n', 0, 0)
                                    .toUtf8())
            .object();
    QCOMPARE(saved["corrects"].toString(), made.record.id);
    QCOMPARE(saved["correction_reason"].toString(), QStringLiteral("wrong serial"));
}

// Certificates issued from several processes at once get distinct, consecutive numbers of the
// laboratory's pattern; a record is issued once, and printed again as a copy.
void TestRecordCommands::issuesAtOnceAreNumberedOnce()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    QCOMPARE(
        place
            .run({"lab", "set", "--pattern", "{prefix}-{year}-{seq:4}", "--prefix", "QL"}, database)
            .status,
        0);
    QStringList ids;
    for (int n = 0; n < 6; ++n)
        ids << place.run(addArgs(QStringLiteral("SN-%1").arg(n)), database)
                   .out.trimmed()
                   .section('\n', -1);
    std::vector<std::unique_ptr<QProcess>> issuing;
    for (int n = 0; n < ids.size(); ++n) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", place.dir.filePath("data"));
        environment.insert("XDG_CONFIG_HOME", place.dir.filePath("config"));
        environment.remove("QUARVET_DATABASE");
        if (!database.isEmpty())
            environment.insert("QUARVET_DATABASE", database);
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(QUARVET_CLI),
                       {"records", "issue", ids[n], "--by", "A. Meier", "--role", "Head of lab",
                        "-o", place.dir.filePath(QStringLiteral("c%1.pdf").arg(n))});
        issuing.push_back(std::move(process));
    }
    QStringList numbers;
    for (const auto& process : issuing) {
        QVERIFY(process->waitForFinished(60000));
        QVERIFY2(process->exitCode() == 0, process->readAllStandardError().constData());
        numbers << QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    }
    // Each number finds its record, blanks around it or not; a number never issued, none.
    for (int n : {0, 5}) {
        const QString listed =
            place
                .run({"records", "list", "--format", "json", "--certificate", " " + numbers[n]},
                     database)
                .out;
        QCOMPARE(serialsOf(listed), QStringList{QStringLiteral("SN-%1").arg(n)});
    }
    QCOMPARE(serialsOf(
                 place.run({"records", "list", "--format", "json", "--certificate", "QL"}, database)
                     .out),
             QStringList());
    // Left blank, as an empty variable in a script leaves it, it lists nothing and says why.
    const Run blank = place.run({"records", "list", "--certificate", " "}, database);
    QCOMPARE(blank.status, 2);
    QVERIFY2(blank.out.isEmpty() && blank.err.contains("--certificate names no number"),
             qPrintable(blank.err));
    numbers.sort();
    const QString year = QString::number(QDateTime::currentDateTimeUtc().date().year());
    for (int n = 0; n < numbers.size(); ++n)
        QCOMPARE(numbers[n], QStringLiteral("QL-%1-%2").arg(year).arg(n + 1, 4, 10, QChar('0')));
    const Run again = place.run({"records", "issue", ids[0], "--by", "B", "--role", "C", "-o",
                                 place.dir.filePath("again.pdf")},
                                database);
    QCOMPARE(again.status, 1);
    QVERIFY2(again.err.contains("issued already"), qPrintable(again.err));
    QCOMPARE(place
                 .run({"records", "issue", ids[0], "--role", "C", "-o",
                       place.dir.filePath("unsigned.pdf")},
                      database)
                 .status,
             2);
}

void TestRecordCommands::registerAndIssueRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QString due = dueDate;
    const auto reference = [&](const QStringList& changed) {
        QStringList args = referenceArgs("PT-X", due);
        for (qsizetype n = 0; n + 1 < changed.size(); n += 2)
            args[args.indexOf(changed[n]) + 1] = changed[n + 1];
        return args;
    };
    QTest::newRow("a line break in an identifier")
        << reference({"--id", "PT\nX"}) << 1 << "one line of 1 to 200 characters";
    QTest::newRow("blanks around an identifier")
        << reference({"--id", " PT-X "}) << 1 << "must not begin or end with blanks";
    QTest::newRow("U of 0") << reference({"--u", "0"}) << 1 << "U must be a number above 0";
    QTest::newRow("an identifier with a zero-width space")
        << reference({"--id", "PT\u200B1"}) << 1 << "characters that cannot be seen";
    QTest::newRow("a lab name with a byte order mark")
        << QStringList{"lab", "set", "--name", "Lab\uFEFF A"} << 1
        << "characters that cannot be seen";
    QTest::newRow("U of 1e308") << reference({"--u", "1e308"}) << 1
                                << "U must be a number above 0 and at most 10";
    QTest::newRow("k below 1") << reference({}) + QStringList{"--k", "0.5"} << 1
                               << "k a number from 1 to 10";
    QTest::newRow("calibrated tomorrow")
        << reference({"--calibrated", QDate::currentDate().addDays(1).toString(Qt::ISODate)}) << 1
        << "between 1900 and today";
    QTest::newRow("a lab name with an escape")
        << QStringList{"lab", "set", "--name", "Lab\x1b[31m"} << 1 << "one line of at most 200";
    // A number prints left to right in the certificate's font and reads back as written.
    // Nor does a compatibility form or a letter the font has no glyph for.
    for (const char* prefix : {"中文", "אב", "a\u0301", "A  B", " A", "Ａ", "𝐀", "ꞵ", "😀", "ﬁ"})
        QTest::addRow("a prefix of %s", prefix)
            << QStringList{"lab", "set", "--prefix", QString::fromUtf8(prefix)} << 1
            << "may hold letters of the Latin, Greek and Cyrillic scripts";
    QTest::newRow("a pattern with blanks at its ends")
        << QStringList{"lab", "set", "--pattern", "  {seq}  "} << 1
        << "The laboratory's pattern makes certificate numbers";
    // Each prints; the number they make together, with no prefix, ends in a blank.
    QTest::newRow("a pattern whose empty prefix leaves a blank")
        << QStringList{"lab", "set", "--pattern", "{seq:3} {prefix}"} << 1
        << "with a blank at its end or two together";
    QTest::newRow("statements past 1000 characters")
        << QStringList{"lab", "set", "--statements", QString(1001, 'x')} << 1
        << "at most 1000 characters";
    QTest::newRow("a pattern without a sequence")
        << QStringList{"lab", "set", "--pattern", "{year}"} << 1 << "holds {seq} or {seq:N} once";
    QTest::newRow("a logo that is a device")
        << QStringList{"lab", "set", "--logo", "/dev/zero"} << 1 << "is no file";
    QTest::newRow("a customer address with a line break")
        << addArgs("SN", {"--customer", "Big Co", "--customer-address", "1 Main St\nX"}) << 1
        << "The customer's address holds a control character";
    QTest::newRow("an address without a customer")
        << addArgs("SN", {"--customer-address", "1 Main St"}) << 1 << "The customer is empty";
    QTest::newRow("a reason without a correction")
        << addArgs("SN", {"--reason", "why not"}) << 1 << "goes with --corrects";
    QTest::newRow("an issue by a name with an escape")
        << QStringList{"records", "issue", "ID", "--by", "A\x1b[31m", "--role", "B", "-o", "c.pdf"}
        << 1 << "The name of who authorises the certificate holds a control character";
    QTest::newRow("an issue with a role past 200 characters")
        << QStringList{"records", "issue", "ID", "--by", "A", "--role", QString(100000, 'r'),
                       "-o",      "c.pdf"}
        << 1 << "The role of who authorises the certificate is longer than 200 characters.";
    QTest::newRow("an issue to a folder that is not there")
        << QStringList{"records", "issue", "ID",
                       "--by",    "A",     "--role",
                       "B",       "-o",    "/no/such/folder/c.pdf"}
        << 1 << "/no/such/folder/c.pdf";
}

// What goes into the register, the laboratory's settings and a record's parties is one line
// of sane values; a number is never spent on a certificate that cannot be written.
void TestRecordCommands::registerAndIssueRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    Workplace place;
    const QString id = place.run(addArgs("SN-0")).out.trimmed().section('\n', -1);
    args.replaceInStrings(QRegularExpression("^ID$"), id);
    const Run run = place.run(args);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    // Nothing was kept: the number is still the first one.
    QVERIFY(place.run({"references", "list"}).out.isEmpty());
    const Run issued = place.run(
        {"records", "issue", id, "--by", "A", "--role", "B", "-o", place.dir.filePath("c.pdf")});
    QCOMPARE(issued.status, 0);
    QVERIFY2(issued.out.trimmed().endsWith("-00001"), qPrintable(issued.out));
}

void TestRecordCommands::logoIsJudgedBeforeItIsKept_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    // Its size is that of its text, which needs the fonts of a graphical application.
    QTest::newRow("text with no size of its own")
        << QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg"><text x="1" y="12" )"
                      R"(font-size="12">Lab</text></svg>)")
        << 0 << "";
    // Whatever that file holds on each workstation at each print would be the logo.
    QTest::newRow("an image taken from a file")
        << QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" )"
                      R"(xmlns:xlink="http://www.w3.org/1999/xlink" width="10" height="10">)"
                      R"(<image xlink:href="/etc/hosts.png" width="10" height="10"/></svg>)")
        << 1 << "takes part of itself from another file";
    QTest::newRow("a shape used again within itself")
        << QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" )"
                      R"(xmlns:xlink="http://www.w3.org/1999/xlink" width="10" height="10">)"
                      R"(<defs><rect id="r" width="4" height="4"/></defs>)"
                      R"(<use xlink:href="#r" x="5"/></svg>)")
        << 0 << "";
    QTest::newRow("a drawing of nothing")
        << QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" width="0" height="0"/>)") << 1
        << "does not read as an image";
}

void TestRecordCommands::logoIsJudgedBeforeItIsKept()
{
    QFETCH(QByteArray, image);
    QFETCH(int, status);
    QFETCH(QString, says);
    Workplace place;
    const QString path = place.dir.filePath("logo.svg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    const Run run = place.run({"lab", "set", "--logo", path});
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QCOMPARE(place.run({"lab", "show"}).out.contains(QStringLiteral("logo\t(")), status == 0);
}

// A day east of UTC the laboratory's day is always tomorrow's in UTC: its certificate is dated
// by its own day, as the calibration on it is.
void TestRecordCommands::issueIsDatedInLocalTime()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "QVT-24");
    Workplace place;
    const QString id = place.run(addArgs("SN-Z")).out.trimmed().section('\n', -1);
    const QString pdf = place.dir.filePath("issued.pdf");
    const Run issued = place.run({"records", "issue", id, "--by", "A", "--role", "B", "-o", pdf});
    const QDate local = QDateTime::currentDateTimeUtc().addDays(1).date();
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    QCOMPARE(issued.status, 0);
    QVERIFY2(issued.out.contains(QString::number(local.year()) + "-00001"), qPrintable(issued.out));
    const QString page = pageText(pdf);
    QVERIFY2(page.contains("Date of issue " + local.toString(Qt::ISODate)), qPrintable(page));
    QVERIFY2(page.contains("Date of calibration " + local.toString(Qt::ISODate)), qPrintable(page));
}

// A pattern whose next number was issued already is refused when it is set, saying so: two
// certificates would carry one number (SQLite named a raw constraint, PostgreSQL a busy wait).
void TestRecordCommands::patternThatRepeatsANumberIsRefused()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    const QString database = store.isPostgres() ? store.location() : QString();
    Workplace place;
    const auto issue = [&](const QString& serial) {
        const QString id = place.run(addArgs(serial), database).out.trimmed().section('\n', -1);
        return place.run({"records", "issue", id, "--by", "A", "--role", "B", "-o",
                          place.dir.filePath(serial + ".pdf")},
                         database);
    };
    QCOMPARE(place.run({"lab", "set", "--pattern", "{seq}2"}, database).status, 0);
    QCOMPARE(issue("SN-1").out.trimmed(), QStringLiteral("12"));
    // Its next number, the second, would be "1" and "2": the first's.
    const Run refused =
        place.run({"lab", "set", "--pattern", "{prefix}{seq}", "--prefix", "1"}, database);
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("The certificate number 12 was issued already"),
             qPrintable(refused.err));
    QVERIFY(!place.run({"lab", "show"}, database).out.contains("{prefix}{seq}"));
    QCOMPARE(
        place.run({"lab", "set", "--pattern", "{prefix}{seq}", "--prefix", "Q"}, database).status,
        0);
    QCOMPARE(issue("SN-2").out.trimmed(), QStringLiteral("Q2"));
}

void TestRecordCommands::lookAlikeReferencesAreRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("says");
    QTest::newRow("another case") << "r1"
                                  << "The register holds R1, not r1";
    QTest::newRow("a blank after it") << "R1 "
                                      << "begins or ends with blanks: \"R1 \"";
    QTest::newRow("a blank before it") << " R1"
                                       << "begins or ends with blanks";
}

// With R1 withdrawn, "r1", "R1 " and " R1" were saved as typed references and printed as R1.
void TestRecordCommands::lookAlikeReferencesAreRefused()
{
    QFETCH(QString, typed);
    QFETCH(QString, says);
    Workplace place;
    QCOMPARE(place.run(referenceArgs("R1", dueDate)).status, 0);
    QCOMPARE(place.run({"references", "withdraw", "R1"}).status, 0);
    QStringList args = addArgs("SN-L");
    args[args.indexOf("--reference") + 1] = typed;
    const Run run = place.run(args);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QCOMPARE(place.run({"records", "list"}).out, QString());
    // A name of its own is typed as before.
    args[args.indexOf("--reference") + 1] = "R1-B";
    QCOMPARE(place.run(args).status, 0);
}

// A certificate printed again is the one issued, marked a copy: the same number, date and
// chain head, however many records were saved since; a correction names the reference as it
// stood when the calibration it corrects was saved.
void TestRecordCommands::copyIsTheSameCertificate()
{
    Workplace place;
    QCOMPARE(place.run(referenceArgs("PT-C", dueDate)).status, 0);
    const QString id = place.run(registeredArgs("SN-C", "PT-C")).out.trimmed().section('\n', -1);
    const QString original = place.dir.filePath("original.pdf");
    QCOMPARE(place.run({"records", "issue", id, "--by", "A", "--role", "B", "-o", original}).status,
             0);
    QCOMPARE(place.run(addArgs("SN-LATER")).status, 0);
    const QString copy = place.dir.filePath("copy.pdf");
    QCOMPARE(place.run({"records", "certificate", id, "-o", copy}).status, 0);
    QString first = pageText(original);
    QString again = pageText(copy);
    QVERIFY2(again.contains("(Copy)"), qPrintable(again));
    QCOMPARE(again.remove(" (Copy)").remove(QRegularExpression(" \\(Copy\\)")),
             first.remove(QRegularExpression("Copy")));
    // The reference changes later the same day; the correction takes it as it stood when the
    // calibration was saved, not as the change left it.
    QStringList changed = referenceArgs("PT-C", dueDate);
    changed[changed.indexOf("--u") + 1] = "0.05";
    QCOMPARE(place.run(changed).status, 0);
    const Run corrected =
        place.run(registeredArgs("SN-C", "PT-C", {"--corrects", id, "--reason", "wrong serial"}));
    QCOMPARE(corrected.status, 0);
    const QJsonObject saved =
        QJsonDocument::fromJson(
            place.run({"records", "list", "--format", "json"}).out.section('\n', 0, 0).toUtf8())
            .object();
    QCOMPARE(saved["reference_u"].toDouble(), 0.02);
    // Issued, the correction amends the original, which says it is superseded by it.
    const QString amendment = place.dir.filePath("amendment.pdf");
    const QString number = first.section("Certificate number ", 1).section(' ', 0, 0);
    const Run issued = place.run(
        {"records", "issue", saved["id"].toString(), "--by", "A", "--role", "B", "-o", amendment});
    QCOMPARE(issued.status, 0);
    QVERIFY2(pageText(amendment).contains("Amendment 1 to certificate " + number) &&
                 pageText(amendment).contains("Reason for the correction wrong serial"),
             qPrintable(pageText(amendment)));
    QCOMPARE(place.run({"records", "certificate", id, "-o", copy}).status, 0);
    QVERIFY2(pageText(copy).contains("Superseded by certificate " + issued.out.trimmed()),
             qPrintable(pageText(copy)));
}

// An issue may be the first save into a store of the first version: it brings the store up
// to date once and certifies the record with the hash the upgrade gave it.
void TestRecordCommands::issueUpgradesAStoreOfTheFirstVersion()
{
    Workplace place;
    const QString folder = place.dir.filePath("data/Quarvet");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), folder + "/records.sqlite"));
    QFile::setPermissions(folder + "/records.sqlite", QFile::ReadOwner | QFile::WriteOwner);
    const QString pdf = place.dir.filePath("issued.pdf");
    const Run issued = place.run({"records", "issue", "990f", "--by", "A. Meier", "--role", "Head",
                                  "--unaccredited", "-o", pdf});
    QVERIFY2(issued.status == 0, qPrintable(issued.err));
    QCOMPARE(place.run({"records", "verify"}).status, 0);
    const Run checked = place.run({"records", "check-certificate", pdf});
    QVERIFY2(checked.status == 0, qPrintable(checked.out + checked.err));
}

QTEST_GUILESS_MAIN(TestRecordCommands)
namespace {

// A copy of the record of serial number `of` under a new id and serial number SN-X, linked to
// it, with a hash of the forger's own; each column `set` names given that value instead, and
// the saving order too when it names it.
QString copyOf(const QString& of, QMap<QString, QString> set)
{
    set.insert("id", set.value("id", "'00000000-0000-4000-8000-00000000000f'"));
    set.insert("serial", set.value("serial", "'SN-X'"));
    set.insert("previous_hash", set.value("previous_hash", "hash"));
    set.insert("hash", set.value("hash", "'" + QString(64, 'a') + "'"));
    QStringList names;
    QStringList values;
    for (const quarvet::records::Column& column : quarvet::records::recordColumns()) {
        const QString name = QString::fromLatin1(column.name);
        if (column.inRecordsTable())
            names << name, values << set.value(name, name);
    }
    if (set.contains("saved_order"))
        names << "saved_order", values << set.value("saved_order");
    return QStringLiteral("INSERT INTO records (%1) %4 SELECT %2 FROM records WHERE serial = '%3'")
        .arg(names.join(", "), values.join(", "), of,
             set.contains("saved_order") ? "OVERRIDING SYSTEM VALUE" : "");
}

QString forgedCopy(const QString& of = "SN-3", const QString& savedBy = {})
{
    return copyOf(of, savedBy.isEmpty()
                          ? QMap<QString, QString>{}
                          : QMap<QString, QString>{{"saved_by", "'" + savedBy + "'"}});
}

} // namespace

void TestRecordCommands::verifyShowsTampering_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("tampering"); // changed, removed, forged, or none
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: untouched", backend)
            << backend << "none" << 0 << "4 records, chain intact, head ";
        QTest::addRow("%s: a field changed under a trigger made again", backend)
            << backend << "changed" << 4
            << "the first record is intact. Record %1 (saved %2, serial number SN-2) was changed";
        // An input at its default removed: read back as the default, it would hash the same.
        QTest::addRow("%s: a set-up input removed", backend)
            << backend << "unset" << 4
            << "the first record is intact. Record %1 (saved %2, serial number SN-2) was changed";
        QTest::addRow("%s: a record removed", backend)
            << backend << "removed" << 4
            << "A record was removed before this one: Record %1 (saved %2, serial number SN-3)";
        // Its readings left behind tell of the record that was saved last and removed; the
        // database's own rule keeps a reading from outliving its record there.
        if (QByteArray(backend) == "sqlite")
            QTest::addRow("%s: the newest record removed, its readings left", backend)
                << backend << "newest" << 4 << "Chain broken: 2 readings belong to no record";
        QTest::addRow("%s: a record inserted with a forged hash", backend)
            << backend << "forged" << 4
            << "Record %1 (saved %2, serial number SN-X) was changed after it was saved, or "
               "inserted with a forged hash";
    }
}

// records verify walks the chain: whole, it names the head that the listing's last record
// holds; broken, it names the first record touched and how.
void TestRecordCommands::verifyShowsTampering()
{
    QFETCH(QString, backend);
    QFETCH(QString, tampering);
    QFETCH(int, status);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    QStringList ids;
    // Each with its readings, which a removal may leave behind.
    const QStringList withReadings{"--tolerance", "0.5",      "--verify", "0",
                                   "0.01",        "--verify", "100",      "100.01"};
    for (const char* serial : {"SN-1", "SN-2", "SN-3"})
        ids << place.run(addArgs(serial, withReadings), database).out.trimmed().section('\n', -1);
    QString file = store.location();
    if (!store.isPostgres())
        file = place.dir.filePath("data/Quarvet/records.sqlite");
    const auto tamper = [&](const QStringList& statements) {
        return store.isPostgres()
                   ? store.runSql(quarvet::test::unguarded(true, statements))
                   : quarvet::test::runSqlOn(
                         "QSQLITE", [&](QSqlDatabase& db) { db.setDatabaseName(file); },
                         quarvet::test::unguarded(false, statements));
    };
    if (tampering == "changed")
        QVERIFY(tamper({"UPDATE records SET technician = 'Mallory' WHERE serial = 'SN-2'"}));
    else if (tampering == "unset")
        QVERIFY(tamper({"UPDATE records SET drift = NULL WHERE serial = 'SN-2'"}));
    else if (tampering == "removed")
        QVERIFY(tamper({"DELETE FROM verification WHERE record_id IN (SELECT id FROM records "
                        "WHERE serial = 'SN-2')",
                        "DELETE FROM records WHERE serial = 'SN-2'"}));
    else if (tampering == "forged")
        QVERIFY(tamper({forgedCopy()}));
    else if (tampering == "newest")
        QVERIFY(tamper({"DELETE FROM records WHERE serial = 'SN-3'"}));
    // The next save links to whatever the head is now.
    QCOMPARE(place.run(addArgs("SN-4"), database).status, 0);
    const Run verified = place.run({"records", "verify"}, database);
    QCOMPARE(verified.status, status);
    const Run listed = place.run({"records", "list", "--format", "json"}, database);
    const QJsonObject named =
        QJsonDocument::fromJson(listed.out.split('\n')
                                    .value(tampering == "changed" || tampering == "unset" ? 2 : 1)
                                    .toUtf8())
            .object();
    QString expected = says;
    if (status != 0)
        expected = says.arg(named["id"].toString(), named["date_utc"].toString().left(19) + 'Z');
    else
        expected += QJsonDocument::fromJson(listed.out.section('\n', 0, 0).toUtf8())
                        .object()["hash"]
                        .toString()
                        .left(16);
    QVERIFY2(verified.out.contains(expected),
             qPrintable(verified.out + verified.err + "\n" + expected));
    if (tampering != "changed")
        return;
    // No number is spent on the changed record's certificate, which cannot be printed.
    const QString pdf = place.dir.filePath("issued.pdf");
    const Run refused =
        place.run({"records", "issue", ids[1], "--by", "A", "--role", "B", "-o", pdf}, database);
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("changed after it was saved"), qPrintable(refused.err));
    QVERIFY(!QFile::exists(pdf));
    // Nor on a record intact itself while the chain it would name is broken: the first break
    // is named.
    const Run whole =
        place.run({"records", "issue", ids[0], "--by", "A", "--role", "B", "-o", pdf}, database);
    QCOMPARE(whole.status, 1);
    QVERIFY2(whole.err.contains("is broken, first at record " + ids[1]), qPrintable(whole.err));
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(place.run({"records", "verify"}, database).out.contains("certificate"), false);
}

namespace {

// A login role of its own on the test server, and the store's URL as that role.
QString newRole(const quarvet::test::TestStore& store, QString& url)
{
    const QString role = "tech_" + QUuid::createUuid().toString(QUuid::Id128).left(12);
    if (!store.runSql({"CREATE ROLE " + role + " LOGIN"}))
        return {};
    url = store.location();
    url.replace("quarvet@", role + '@');
    return role;
}

} // namespace

// A store read while it may not be written leaves nothing beside it that would block the
// saves once it may be again; and such a file, left by another program, is named. Permissions
// hold for a user other than root: as root, the test runs as nobody.
namespace {

// Permissions hold for a user other than root: as root, the place runs its commands as nobody,
// from a copy of the program that user may run wherever the build tree lies. False when
// there is no such user.
bool asUserPermissionsHoldFor(Workplace& place)
{
    if (::geteuid() != 0)
        return true;
    if (QProcess::execute("id", {"nobody"}) != 0)
        return false;
    place.asUser = "nobody";
    QFile::setPermissions(place.dir.path(), QFileDevice::Permissions(0x7777));
    QFile::copy(QUARVET_CLI, place.dir.filePath("quarvet-cli"));
    QFile::setPermissions(place.dir.filePath("quarvet-cli"), QFileDevice::Permissions(0x7755));
    return true;
}

void makeOthers(const QString& file)
{
    if (::geteuid() == 0)
        QProcess::execute("chown", {"nobody", file});
}

} // namespace

void TestRecordCommands::readOnlyStoreLeavesNothingBehind()
{
    Workplace place;
    if (!asUserPermissionsHoldFor(place))
        QSKIP("running as root, and there is no user nobody to run as");
    const Run first = place.run(addArgs("SN-1"));
    QVERIFY2(first.status == 0, qPrintable(first.err));
    const QString file = place.dir.filePath("data/Quarvet/records.sqlite");
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                            QFileDevice::ReadOther));
    const Run listed = place.run({"records", "list"});
    QVERIFY2(listed.status == 0 && listed.out.count('\n') == 1, qPrintable(listed.err));
    const Run refused = place.run(addArgs("SN-R"));
    QVERIFY2(refused.status == 1 && refused.err.contains("this user may not write it"),
             qPrintable(refused.err));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    for (const char* beside : {"-shm", "-wal", "-journal"})
        QVERIFY2(!QFileInfo::exists(file + beside), beside);
    const Run added = place.run(addArgs("SN-2"));
    QVERIFY2(added.status == 0, qPrintable(added.err));
    // As the reading of an earlier version left them: the log empty, the shared memory
    // made with the store's read-only mode.
    for (const auto& [beside, size] : {std::pair{"-wal", 0}, std::pair{"-shm", 32768}}) {
        QFile made(file + beside);
        QVERIFY(!made.exists() || made.remove());
        QVERIFY(made.open(QIODevice::WriteOnly) && made.write(QByteArray(size, '\0')) == size);
        made.close();
        QVERIFY(QFile::setPermissions(made.fileName(), QFileDevice::ReadOwner |
                                                           QFileDevice::ReadGroup |
                                                           QFileDevice::ReadOther));
        makeOthers(made.fileName());
    }
    const Run blocked = place.run(addArgs("SN-3"));
    QCOMPARE(blocked.status, 1);
    QVERIFY2(blocked.err.contains(file + "-shm beside it may not be written"),
             qPrintable(blocked.err));
}

void TestRecordCommands::grantedRoleAddsButChangesNothing_data()
{
    QTest::addColumn<QString>("statement");
    // Each well-formed (the owner may run it, with triggers off in a transaction rolled back),
    // and refused to the role by its privileges: no row is touched, so no row's trigger could
    // refuse it.
    QTest::newRow("update") << "UPDATE records SET technician = 'Mallory' WHERE false";
    QTest::newRow("update readings") << "UPDATE verification SET reading = 0 WHERE false";
    QTest::newRow("delete") << "DELETE FROM records WHERE false";
    QTest::newRow("delete readings") << "DELETE FROM verification WHERE false";
    QTest::newRow("truncate") << "TRUNCATE verification";
    QTest::newRow("drop") << "DROP TABLE records CASCADE";
    QTest::newRow("disable a trigger")
        << "ALTER TABLE records DISABLE TRIGGER records_never_changed";
    QTest::newRow("drop the refusing function")
        << "DROP FUNCTION quarvet_records_are_kept() CASCADE";
    QTest::newRow("a newer schema version") << "INSERT INTO quarvet_schema VALUES (99)";
    QTest::newRow("the schema version changed") << "UPDATE quarvet_schema SET version = 99";
    QTest::newRow("a note") << "INSERT INTO store_notes VALUES ('2026-01-01', 'x')";
    // Who signs is the owner's to say, as the laboratory's settings are.
    QTest::newRow("a signer listed")
        << "INSERT INTO lab_signers VALUES ('eve', 1, 'Eve', 'Head', 1, '2026-01-01', 'eve')";
    QTest::newRow("a table beside") << "CREATE TABLE records_shadow (id TEXT)";
}

void TestRecordCommands::technicianSetsNothingTheServerAssigns_data()
{
    QTest::addColumn<QString>("statement"); // %1: the role's saved_by
    QTest::addColumn<QString>("says");
    const QString now = "to_char(clock_timestamp() AT TIME ZONE 'UTC', "
                        "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
    const QString head = "(SELECT hash FROM records ORDER BY saved_order DESC LIMIT 1)";
    // SN-U is the head; SN-T, issued, the record before it.
    QTest::newRow("a record given its saving order")
        << copyOf("SN-U", {{"saved_by", "'%1'"}, {"saved_order", "1000000"}})
        << "permission denied";
    QTest::newRow("a record linked to no record's hash")
        << copyOf("SN-U", {{"saved_by", "'%1'"}, {"previous_hash", "'" + QString(64, 'c') + "'"}})
        << "links to the head of the chain";
    // The next save would link to the chain's start, which the first record holds: every later
    // save would fail.
    QTest::newRow("a record hashed as the chain's start")
        << copyOf("SN-U", {{"saved_by", "'%1'"}, {"hash", "repeat('0', 64)"}})
        << "a record's hash is its own";
    QTest::newRow("a record dated a year back")
        << copyOf("SN-U", {{"saved_by", "'%1'"}, {"created_utc", "'2025-03-01T12:00:00.000Z'"}})
        << "dated by the database server's clock";
    const QString issue = "INSERT INTO certificate_issues SELECT %2, 'FORGED-1', r.id, " + now +
                          ", 'Dr Forged', 'Head', '%1', %3, 1, 0, r.hash FROM records r WHERE "
                          "r.serial = 'SN-U'";
    QTest::newRow("an issue numbered 999999")
        << issue.arg("%1", "999999", head) << "takes its sequence, chain head";
    QTest::newRow("an issue under a head of its own")
        << issue.arg("%1", "2", "'" + QString(64, 'b') + "'") << "takes its sequence, chain head";
    // Sequence, head, record hash and time as the server has them; the rest as typed.
    const QString next = "INSERT INTO certificate_issues SELECT 2, %2, r.id, " + now +
                         ", 'Dr Forged', 'Head', '%1', " + head +
                         ", %3, %4, r.hash FROM records r WHERE r.serial = 'SN-U'";
    const QString numbered = "extract(year FROM clock_timestamp() AT TIME ZONE 'UTC') || '-00002'";
    const QString settings = "coalesce((SELECT max(entry) FROM lab_settings), 0)";
    QTest::newRow("an issue numbered as it chose")
        << next.arg("%1", "'FORGED-1'", "0", settings) << "takes its number from the laboratory";
    QTest::newRow("an issue numbered for another year")
        << next.arg("%1", "'2019-00002'", "0", settings) << "takes its number from the laboratory";
    QTest::newRow("an issue claiming an accreditation the laboratory does not state")
        << next.arg("%1", numbered, "1", settings) << "claims the laboratory as it stands";
    QTest::newRow("an issue claiming more than claimed")
        << next.arg("%1", numbered, "2", settings) << "claims the laboratory as it stands";
    QTest::newRow("an issue under settings of its own")
        << next.arg("%1", numbered, "0", settings + " + 1") << "claims the laboratory as it stands";
    // Right in all the server assigns; signed or dated as the program never writes.
    const QString signedAs = "INSERT INTO certificate_issues SELECT 2, " + numbered +
                             ", r.id, %4, " + "%2, %3, '%1', " + head + ", 0, " + settings +
                             ", r.hash FROM records r WHERE r.serial = 'SN-U'";
    const char* const authorised = "names who authorised it on one line";
    QTest::newRow("an issue signed by no one")
        << signedAs.arg("%1", "' '", "'Head'", now) << authorised;
    QTest::newRow("an issue signed over two lines")
        << signedAs.arg("%1", "E'Dr\\nForged'", "'Head'", now) << authorised;
    QTest::newRow("an issue signed with a mark that turns text around")
        << signedAs.arg("%1", "'Dr ' || chr(8238) || 'Forged'", "'Head'", now) << authorised;
    QTest::newRow("an issue signed with a role too long to print")
        << signedAs.arg("%1", "'Dr Forged'", "repeat('x', 201)", now) << authorised;
    QTest::newRow("an issue dated 'now'")
        << signedAs.arg("%1", "'Dr Forged'", "'Head'", "'now'") << "takes its sequence, chain head";
    // A record a correction superseded is issued as its correction, never as itself. (The
    // correction, with a hash the server does not compute, goes with the refused issue.)
    QTest::newRow("an issue of a record a correction superseded")
        << "BEGIN; " +
               copyOf("SN-U", {{"saved_by", "'%1'"}, {"created_utc", now}, {"corrects", "id"}}) +
               "; " + signedAs.arg("%1", "'Dr Forged'", "'Head'", now)
        << authorised;
    // A register entry of a new standard, numbered and dated as the server would.
    const QString entered = "INSERT INTO reference_standards SELECT %2, 1, %3, certificate, "
                            "calibrated_by, %4, k, drift, %5, due, usable, " +
                            now + ", '%1' FROM reference_standards";
    const char* const standardSays = "holds what a reference standard can have";
    QTest::newRow("a register entry with a blank after its name")
        << entered.arg("%1", "'PT-9 '", "description", "u", "calibrated") << standardSays;
    QTest::newRow("a register entry over two lines")
        << entered.arg("%1", "'PT-9'", "E'line 1\\nline 2'", "u", "calibrated")
        << "holds one line of text in each field";
    QTest::newRow("a register entry with a U below 0")
        << entered.arg("%1", "'PT-9'", "description", "-1", "calibrated") << standardSays;
    QTest::newRow("a register entry calibrated in 1800")
        << entered.arg("%1", "'PT-9'", "description", "u", "'1800-01-01'") << standardSays;
    QTest::newRow("a register entry calibrated next week")
        << entered.arg("%1", "'PT-9'", "description", "u",
                       "to_char(now() + interval '7 days', 'YYYY-MM-DD')")
        << standardSays;
    // A session's own tables in place of the catalogue's make it look the tables' owner, whom
    // the server lets date a record: the server's functions read only the catalogue's.
    QTest::newRow("a record dated back by a session posing as the owner")
        << "SET search_path = pg_temp, pg_catalog, public; CREATE TEMP TABLE pg_class (oid oid, "
           "relowner oid); INSERT INTO pg_class SELECT 'records'::regclass, oid FROM "
           "pg_catalog.pg_roles WHERE rolname = session_user; CREATE TEMP TABLE pg_roles "
           "(rolname name, rolsuper boolean); INSERT INTO pg_roles VALUES (session_user, true); " +
               copyOf("SN-U", {{"saved_by", "'%1'"}, {"created_utc", "'2025-03-01T12:00:00.000Z'"}})
        << "dated by the database server's clock";
    QTest::newRow("a register entry numbered ahead")
        << "INSERT INTO reference_standards SELECT identifier, 5, description, certificate, "
           "calibrated_by, u, k, drift, calibrated, due, usable, " +
               now + ", '%1' FROM reference_standards"
        << "takes its number and time from the server";
    QTest::newRow("a seal out of its place")
        << "INSERT INTO kept_seals VALUES (99, 'lab_settings', '', 1, 'x', 'y', '%1')"
        << "a seal follows the last one";
    QTest::newRow("a setting") << "INSERT INTO lab_settings VALUES (99, 'name', 'x', " + now +
                                      ", '%1')"
                               << "permission denied";
}

// What the server assigns (a record's saving order, link and date; an issue's sequence, chain
// head, record hash and time; the register's entry numbers; the seals' order) a workstation's
// role cannot set otherwise by hand: each statement is well formed, as the owner runs it
// without triggers, and turned away for the role, the store left whole.
void TestRecordCommands::technicianSetsNothingTheServerAssigns()
{
    QFETCH(QString, statement);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    QString technician;
    const QString role = newRole(store, technician);
    QVERIFY(!role.isEmpty());
    Workplace place;
    QCOMPARE(place.run({"records", "grant", role}, store.location()).status, 0);
    QCOMPARE(place.run(referenceArgs("PT-1", dueDate), technician).status, 0);
    const QString issued =
        place.run(registeredArgs("SN-T", "PT-1"), technician).out.trimmed().section('\n', -1);
    QCOMPARE(place
                 .run({"records", "issue", issued, "--by", "A", "--role", "B", "-o",
                       place.dir.filePath("t.pdf")},
                      technician)
                 .status,
             0);
    QCOMPARE(place.run(registeredArgs("SN-U", "PT-1"), technician).status, 0);
    // Statements run one after another in one session, split where the row's text says "; ".
    const QStringList statements = statement.arg(role + "@local socket").split("; ");
    QVERIFY(store.runSql(QStringList{"BEGIN", "SET LOCAL session_replication_role = replica"} +
                         statements + QStringList{"ROLLBACK"}));
    const QString error = store.sqlError(statements, technician);
    QVERIFY2(error.contains(says), qPrintable(error));
    const Run verified = place.run({"records", "verify"}, technician);
    QVERIFY2(verified.status == 0, qPrintable(verified.out + verified.err));
}

// Any role may take an advisory lock: the one issues take, held for good by a session typed by
// hand, is named with who holds it, for the administrator who must end that session.
void TestRecordCommands::lockHeldByHandIsNamed()
{
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    Workplace place;
    const QString id = place.run(addArgs("SN-1"), store.location()).out.trimmed().section('\n', -1);
    Run issued;
    QVERIFY(store.onDatabase([&](QSqlDatabase& database) {
        QSqlQuery query(database);
        QVERIFY(query.exec("SELECT pg_advisory_lock(1364350550)"));
        issued = place.run(
            {"records", "issue", id, "--by", "A", "--role", "B", "-o", place.dir.filePath("c.pdf")},
            store.location());
    }));
    QCOMPARE(issued.status, 1);
    QVERIFY2(QRegularExpression("settings take is held by \\w+ \\(server process \\d+\\); "
                                "waited 15 s")
                 .match(issued.err)
                 .hasMatch(),
             qPrintable(issued.err));
}

// A store this user may not write whose log holds what is not yet merged cannot be read
// without SQLite making its shared-memory file read-only beside it: it is not read, and
// nothing is made.
void TestRecordCommands::readOnlyStoreWithItsLogUnmergedIsNotRead()
{
    Workplace place;
    if (!asUserPermissionsHoldFor(place))
        QSKIP("running as root, and there is no user nobody to run as");
    QCOMPARE(place.run(addArgs("SN-1")).status, 0);
    const QString file = place.dir.filePath("data/Quarvet/records.sqlite");
    const QString copy = place.dir.filePath("copy/Quarvet/records.sqlite");
    QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
    {
        // As a crash leaves them: copied while the log is unmerged, without shared memory.
        QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "writer");
        writer.setDatabaseName(file);
        QVERIFY(writer.open());
        QSqlQuery query(writer);
        QVERIFY(query.exec("PRAGMA wal_autocheckpoint = 0"));
        QVERIFY(query.exec("INSERT INTO store_notes VALUES ('now', 'unmerged')"));
        QVERIFY(QFile::copy(file, copy) && QFile::copy(file + "-wal", copy + "-wal"));
        query.finish();
        writer.close();
    }
    QSqlDatabase::removeDatabase("writer");
    for (const QString& made : {copy, copy + "-wal"}) {
        QVERIFY(QFile::setPermissions(made, QFileDevice::ReadOwner | QFileDevice::ReadOther));
        makeOthers(made);
    }
    place.dataHome = place.dir.filePath("copy");
    const Run listed = place.run({"records", "list"});
    QCOMPARE(listed.status, 1);
    QVERIFY2(listed.err.contains("holds records not yet merged"), qPrintable(listed.err));
    QVERIFY(!QFileInfo::exists(copy + "-shm"));
}

// A technicians' role given what a workstation needs saves, lists, prints and verifies, and
// every change, removal or schema trick fails with nothing changed.
void TestRecordCommands::grantedRoleAddsButChangesNothing()
{
    QFETCH(QString, statement);
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    QString technician;
    const QString role = newRole(store, technician);
    QVERIFY(!role.isEmpty());
    Workplace place;
    const Run granted = place.run({"records", "grant", role}, store.location());
    QVERIFY2(granted.status == 0, qPrintable(granted.err));
    const Run added = place.run(addArgs("SN-T"), technician);
    QVERIFY2(added.status == 0, qPrintable(added.err));
    const Run listed = place.run({"records", "list", "--format", "json"}, technician);
    QCOMPARE(QJsonDocument::fromJson(listed.out.toUtf8()).object()["saved_by"].toString(),
             role + "@local socket");
    const QString pdf = place.dir.filePath("t.pdf");
    const Run printed = place.run(
        {"records", "certificate", added.out.trimmed().section('\n', -1), "-o", pdf}, technician);
    QVERIFY2(printed.status == 0, qPrintable(printed.err));
    QVERIFY(store.runSql(
        {"BEGIN", "SET LOCAL session_replication_role = replica", statement, "ROLLBACK"}));
    QVERIFY(!store.runSql({statement}, technician));
    const Run verified = place.run({"records", "verify"}, technician);
    QVERIFY2(verified.status == 0 && verified.out.startsWith("1 record, chain intact"),
             qPrintable(verified.out + verified.err));
    QCOMPARE(place.run(addArgs("SN-2"), technician).status, 0);
}

// The server checks who saved a record: a row that claims another saver is turned away; under
// the role's own name the same row goes in, and the chain shows it.
void TestRecordCommands::serverChecksWhoSaved()
{
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    QString technician;
    const QString role = newRole(store, technician);
    Workplace place;
    QCOMPARE(place.run({"records", "grant", role}, store.location()).status, 0);
    QCOMPARE(place.run(addArgs("SN-T"), technician).status, 0);
    QVERIFY(!store.runSql({forgedCopy("SN-T", "quarvet@local socket")}, technician));
    QVERIFY(store.runSql({forgedCopy("SN-T", role + "@local socket")}, technician));
    QCOMPARE(place.run({"records", "verify"}, technician).status, 4);
}

// Saves from many programs at once, some tried again on the chain's new head: each says only
// what it saved, none the driver's words about statements of a transaction it gave up.
void TestRecordCommands::savesAtOnceSayNothingOfTheDriver()
{
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    Workplace place;
    QCOMPARE(place.run(addArgs("SN-0"), store.location()).status, 0);
    std::vector<std::unique_ptr<QProcess>> savers;
    QProcessEnvironment environment = place.environment();
    environment.insert("QUARVET_DATABASE", store.location());
    for (int n = 0; n < 12; ++n) {
        savers.push_back(std::make_unique<QProcess>());
        savers.back()->setProcessEnvironment(environment);
        savers.back()->start(QUARVET_CLI, addArgs(QStringLiteral("SN-%1").arg(n + 1)));
    }
    for (const auto& saver : savers) {
        QVERIFY(saver->waitForFinished(60000));
        const QByteArray said = saver->readAllStandardError();
        QVERIFY2(saver->exitCode() == 0 && said.isEmpty(), said.constData());
    }
    QVERIFY(place.run({"records", "verify"}, store.location()).out.startsWith("13 records"));
}

// A store of an older schema is brought up to date by its owner: a technicians' role is told
// so, and saves once the owner has run grant.
void TestRecordCommands::upgradeIsTheOwners()
{
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    QString technician;
    const QString role = newRole(store, technician);
    using namespace quarvet::records;
    QVERIFY(store.runSql(migrationStatements(recordSchema(), postgresDialect(), 0, 3) +
                         QStringList{"GRANT SELECT, INSERT ON records, verification TO " + role,
                                     "GRANT SELECT ON quarvet_schema TO " + role}));
    Workplace place;
    const Run refused = place.run(addArgs("SN-T"), technician);
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("must be brought up to this program's schema by the owner of "
                                  "its tables: run quarvet-cli records grant ROLE as the owner"),
             qPrintable(refused.err));
    QCOMPARE(place.run({"records", "grant", role}, store.location()).status, 0);
    const Run added = place.run(addArgs("SN-T"), technician);
    QVERIFY2(added.status == 0, qPrintable(added.err));
    // Nor may the technicians' role grant anything to another: it is told so, and nothing of
    // the server's own notices reaches the terminal.
    QString other;
    const QString third = newRole(store, other);
    const Run regranted = place.run({"records", "grant", third}, technician);
    QCOMPARE(regranted.status, 1);
    QVERIFY2(regranted.err.startsWith("quarvet-cli: Nothing was granted") &&
                 regranted.err.count('\n') == 1,
             qPrintable(regranted.err));
}

#include "tst_recordcommands.moc"
