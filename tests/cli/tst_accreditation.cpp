#include "clirun.h"
#include "teststores.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

// What a laboratory that states an accreditation is held to: its scope, with the CMC of each
// range, on every result it reports.
class TestAccreditation : public QObject {
    Q_OBJECT
private slots:
    void backends_data();
    void scopeRaisesAndMarks_data() { backends_data(); }
    void scopeRaisesAndMarks();
    void scopeRefusals_data();
    void scopeRefusals();
    void scopeKeptByAnotherHandIsRefused();
    void issueRefusesWhatAccreditationRequires_data();
    void issueRefusesWhatAccreditationRequires();
    void issueWithoutTheClaim_data() { backends_data(); }
    void issueWithoutTheClaim();
    void pooledRepeatabilityForAPointReadOnce_data() { backends_data(); }
    void pooledRepeatabilityForAPointReadOnce();
    void receiptTravelsToTheCertificate_data() { backends_data(); }
    void receiptTravelsToTheCertificate();
};

namespace {

QStringList addArgs(const QString& serial, const QStringList& verify, const QStringList& more = {})
{
    QStringList args{"records",       "add",  "--serial",        serial,  "--type",      "742",
                     "--line",        "1",    "--technician",    "Jo",    "--reference", "REF-7",
                     "--reference-u", "0.02", "--reference-due", dueDate, "--tolerance", "0.1"};
    for (const QString& pair : verify)
        args << "--verify" << pair.section(' ', 0, 0) << pair.section(' ', 1, 1);
    return args + more + QStringList{"0", "100", "0.5", "99"};
}

QString idOf(const Run& added)
{
    return added.out.trimmed().section('\n', -1);
}

} // namespace

void TestAccreditation::backends_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

// A result inside a range reports no less than its CMC, and is judged with what it reports;
// one outside every range is said before it is kept, and marked on the certificate.
void TestAccreditation::scopeRaisesAndMarks()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    const QString database = store.isPostgres() ? store.location() : QString();
    Workplace place;
    // 0.07 off at 0 °C passes with the budget's U of 0.021 (0.07 ≤ 0.1 − 0.021).
    const QStringList verify{"0 0.07", "100 99.99", "200 200.01"};
    const Run before = place.run(addArgs("SN-1", verify), database);
    QVERIFY2(before.status == 0 && before.out.contains("verdict Pass"), qPrintable(before.out));
    QVERIFY2(!before.err.contains("scope"), qPrintable(before.err));

    const Run set =
        place.run({"lab", "set", "--cmc", "50..150=0.01", "--cmc", "0..50=0.05"}, database);
    QVERIFY2(set.status == 0, qPrintable(set.err));
    QVERIFY2(place.run({"lab", "show"}, database).out.contains("cmc\t0..50=0.05; 50..150=0.01"),
             qPrintable(place.run({"lab", "show"}, database).out));

    const Run added = place.run(addArgs("SN-2", verify), database);
    QVERIFY2(added.out.contains("as left at 0: U 0.050 (k = 2.00, U raised to the laboratory's "
                                "CMC), Fail"),
             qPrintable(added.out));
    QVERIFY2(added.out.contains("as left at 100: U 0.021 (k = 2.00), Pass"), qPrintable(added.out));
    QVERIFY2(added.out.contains("as left at 200: U 0.021 (k = 2.00, outside the laboratory's "
                                "scope), Pass"),
             qPrintable(added.out));
    // Guarded acceptance with U 0.05: 0.07 lies beyond 0.1 − 0.05.
    QVERIFY2(added.out.contains("verdict Fail"), qPrintable(added.out));
    QCOMPARE(added.status, 3);
    QVERIFY2(added.err.contains("The result at 200 °C lies outside the laboratory's scope of "
                                "accreditation"),
             qPrintable(added.err));

    const Run listed = place.run({"records", "list", "--format", "json"}, database);
    QStringList scopes;
    for (const QString& line : listed.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
        if (record["serial"].toString() != "SN-2")
            QVERIFY(!line.contains("\"scope\""));
        for (const QJsonValue point : record["as_left_points"].toArray())
            if (record["serial"].toString() == "SN-2")
                scopes << point.toObject()["scope"].toString();
    }
    QCOMPARE(scopes, (QStringList{"raised", "within", "outside"}));

    const QString pdf = place.dir.filePath("c.pdf");
    const Run certificate = place.run({"records", "certificate", idOf(added), "-o", pdf}, database);
    QVERIFY2(certificate.status == 0, qPrintable(certificate.err));
    const QString page = pageText(pdf);
    QVERIFY2(page.contains("0.050 †"), qPrintable(page));
    QVERIFY2(page.contains("As left * 200"), qPrintable(page));
    QVERIFY2(page.contains("† U raised to the laboratory's CMC"), qPrintable(page));
    QVERIFY2(page.contains("Results marked * are outside the laboratory's scope of accreditation."),
             qPrintable(page));
}

void TestAccreditation::scopeRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("overlapping") << QStringList{"--cmc", "0..100=0.02", "--cmc", "50..200=0.03"}
                                 << 1 << "overlap";
    QTest::newRow("a CMC of 0") << QStringList{"--cmc", "0..100=0"} << 1 << "is not above 0";
    QTest::newRow("backwards") << QStringList{"--cmc", "100..0=0.02"} << 1
                               << "does not end above where it begins";
    QTest::newRow("no range") << QStringList{"--cmc", "0.02"} << 1 << "is not LOW..HIGH=U";
    QTest::newRow("no value") << QStringList{"--cmc"} << 2 << "--cmc";
    QStringList many;
    for (int n = 0; n < 150; ++n)
        many << "--cmc" << QStringLiteral("%1..%2=0.1").arg(n).arg(n + 1);
    QTest::newRow("a scope past the length of a setting") << many << 1 << "1000 characters";
    QTest::newRow("none beside a range")
        << QStringList{"--cmc", "none", "--cmc", "0..100=0.02"} << 1 << "is not LOW..HIGH=U";
}

// A refused scope keeps the one before, whole.
void TestAccreditation::scopeRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    Workplace place;
    QCOMPARE(place.run({"lab", "set", "--cmc", "-10..10=0.04"}).status, 0);
    const Run refused = place.run(QStringList{"lab", "set"} + args);
    QCOMPARE(refused.status, status);
    QVERIFY2(refused.err.contains(says), qPrintable(refused.err));
    QVERIFY(place.run({"lab", "show"}).out.contains("cmc\t-10..10=0.04\n"));
    // An accredited laboratory without a scope is told what its certificates claim.
    QCOMPARE(place.run({"lab", "set", "--cmc", "none", "--accreditation", "D-K-1"}).status, 0);
    QVERIFY(place.run({"lab", "show"}).err.contains("claim accreditation without a scope"));
    QCOMPARE(place.run({"lab", "set", "--cmc", "-10..10=0.04"}).status, 0);
    QVERIFY(!place.run({"lab", "show"}).err.contains("without a scope"));
}

// A scope written into the store by another hand is not guessed at: nothing is saved.
void TestAccreditation::scopeKeptByAnotherHandIsRefused()
{
    Workplace place;
    QCOMPARE(place.run({"lab", "set", "--cmc", "0..100=0.02"}).status, 0);
    const QString file = place.dir.filePath("data/Quarvet/records.sqlite");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "hand");
        database.setDatabaseName(file);
        QVERIFY(database.open());
        QSqlQuery query(database);
        QVERIFY(query.exec("INSERT INTO lab_settings VALUES (100, 'cmc', '0..100=0,02', "
                           "'2026-01-01T00:00:00.000Z', 'someone')"));
    }
    QSqlDatabase::removeDatabase("hand");
    const Run refused = place.run(addArgs("SN-1", {"0 0.03"}));
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("The scope is kept as ranges"), qPrintable(refused.err));
    QVERIFY(place.run({"records", "list"}).out.trimmed().isEmpty());
    QVERIFY(place.run({"lab", "show"}).err.contains("does not read as ranges"));
}

namespace {

// A record that lacks nothing an accredited certificate states, but what `drop` names.
QStringList completeRecord(const QString& serial, const QString& drop)
{
    QStringList args{"records", "add",    "--serial", serial,         "--type",
                     "742",     "--line", "1",        "--technician", "Jo"};
    if (drop == "reference")
        args << "--reference"
             << "TYPED-1"
             << "--reference-u"
             << "0.02"
             << "--reference-due" << dueDate;
    else
        args << "--reference"
             << "REF-1";
    if (drop != "method")
        args << "--method"
             << "QP-7";
    if (drop != "ambient")
        args << "--ambient"
             << "23";
    return args + QStringList{"0", "100", "0.5", "99"};
}

QStringList referenceArgs()
{
    return {"references",      "add",        "--id",          "REF-1",
            "--description",   "PT100",      "--certificate", "C-1",
            "--calibrated-by", "Acme",       "--u",           "0.02",
            "--calibrated",    "2026-01-10", "--due",         dueDate};
}

} // namespace

void TestAccreditation::issueRefusesWhatAccreditationRequires_data()
{
    QTest::addColumn<QStringList>("lab");
    QTest::addColumn<QString>("drop");
    QTest::addColumn<QStringList>("missing"); // as the refusal names them; none: issued
    const QStringList accredited{"--name",          "Lab",  "--address", "1 Road",
                                 "--accreditation", "D-K-1"};
    QTest::newRow("nothing missing") << accredited << QString() << QStringList{};
    QTest::newRow("no method") << accredited << "method"
                               << QStringList{"the method of calibration"};
    QTest::newRow("no ambient conditions")
        << accredited << "ambient" << QStringList{"the ambient conditions"};
    QTest::newRow("a typed reference")
        << accredited + QStringList{"--registered-references-only", "no"} << "reference"
        << QStringList{"a reference standard from the register"};
    QTest::newRow("neither name nor address, nor method: every one named")
        << QStringList{"--accreditation", "D-K-1"} << "method"
        << QStringList{"the laboratory's name", "the laboratory's address",
                       "the method of calibration"};
    // A laboratory that claims no accreditation issues what it has.
    QTest::newRow("not accredited") << QStringList{"--name", "Lab"} << "ambient" << QStringList{};
}

// Every gap named in one message, and no number spent on it.
void TestAccreditation::issueRefusesWhatAccreditationRequires()
{
    QFETCH(QStringList, lab);
    QFETCH(QString, drop);
    QFETCH(QStringList, missing);
    Workplace place;
    QCOMPARE(place.run(referenceArgs()).status, 0);
    QCOMPARE(place.run(QStringList{"lab", "set"} + lab).status, 0);
    const Run added = place.run(completeRecord("SN-1", drop));
    QVERIFY2(added.status == 0, qPrintable(added.err));
    const QString pdf = place.dir.filePath("c.pdf");
    const Run issued =
        place.run({"records", "issue", idOf(added), "--by", "A", "--role", "B", "-o", pdf});
    QCOMPARE(issued.status, missing.isEmpty() ? 0 : 1);
    for (const QString& item : missing)
        QVERIFY2(issued.err.contains(item), qPrintable(issued.err));
    if (!missing.isEmpty()) {
        QVERIFY(!QFile::exists(pdf));
        QVERIFY2(issued.err.count("must state") == 1, qPrintable(issued.err));
        // The number the refusal did not take is the next one issued.
        const Run complete = place.run(completeRecord("SN-2", QString()));
        QCOMPARE(place.run({"lab", "set", "--name", "Lab", "--address", "1 Road"}).status, 0);
        const Run next =
            place.run({"records", "issue", idOf(complete), "--by", "A", "--role", "B", "-o", pdf});
        QVERIFY2(next.status == 0, qPrintable(next.err));
        QVERIFY2(next.out.trimmed().endsWith("-00001"), qPrintable(next.out));
        return;
    }
    const QString page = pageText(pdf);
    QCOMPARE(page.contains("Accreditation D-K-1"), lab.contains("--accreditation"));
    // A copy is the certificate that was issued: the laboratory as it stood then, and no
    // accreditation stated since.
    QCOMPARE(place.run({"lab", "set", "--accreditation", "D-K-9", "--name", "Renamed"}).status, 0);
    const QString copy = place.dir.filePath("copy.pdf");
    QCOMPARE(place.run({"records", "certificate", idOf(added), "-o", copy}).status, 0);
    const QString copied = pageText(copy);
    QCOMPARE(copied.contains("Accreditation D-K-1"), lab.contains("--accreditation"));
    QVERIFY2(!copied.contains("D-K-9") && !copied.contains("Renamed"), qPrintable(copied));
}

// Work outside the scope is issued without the claim, and every copy says so; a draft makes
// no claim at all.
void TestAccreditation::issueWithoutTheClaim()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    const QString database = store.isPostgres() ? store.location() : QString();
    Workplace place;
    QCOMPARE(place.run(referenceArgs(), database).status, 0);
    QCOMPARE(
        place.run({"lab", "set", "--name", "Lab", "--accreditation", "D-K-1"}, database).status, 0);
    // Accredited, the laboratory takes its references from the register unless it says not,
    // and says so.
    QVERIFY(place.run({"lab", "show"}, database).out.contains("registered-references-only\tyes"));
    const Run typed = place.run(completeRecord("SN-0", "reference"), database);
    QCOMPARE(typed.status, 1);
    QVERIFY2(typed.err.contains("register"), qPrintable(typed.err));
    const QString id = idOf(place.run(completeRecord("SN-1", "ambient"), database));
    const QString draft = place.dir.filePath("draft.pdf");
    QCOMPARE(place.run({"records", "certificate", id, "-o", draft}, database).status, 0);
    QVERIFY2(!pageText(draft).contains("D-K-1"), qPrintable(pageText(draft)));
    const QString pdf = place.dir.filePath("c.pdf");
    const QStringList issue{"records", "issue", id, "--by", "A", "--role", "B", "-o", pdf};
    QCOMPARE(place.run(issue, database).status, 1);
    const Run issued = place.run(issue + QStringList{"--unaccredited"}, database);
    QVERIFY2(issued.status == 0, qPrintable(issued.err));
    const QString copy = place.dir.filePath("copy.pdf");
    QCOMPARE(place.run({"records", "certificate", id, "-o", copy}, database).status, 0);
    for (const QString& file : {pdf, copy}) {
        const QString page = pageText(file);
        QVERIFY2(page.contains("Issued without the accreditation claim: not covered by the"),
                 qPrintable(page));
        QVERIFY2(!page.contains("Accreditation D-K-1"), qPrintable(page));
    }
}

// A point read once takes the laboratory's pooled standard deviation; the record keeps it and
// the certificate names it, where without it each such row is marked.
void TestAccreditation::pooledRepeatabilityForAPointReadOnce()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    const QString database = store.isPostgres() ? store.location() : QString();
    Workplace place;
    const QStringList verify{"0 0.03", "100 99.99", "100 99.98"};
    const Run before = place.run(addArgs("SN-1", verify), database);
    QVERIFY2(before.out.contains("as left at 0: U 0.021 (k = 2.00)"), qPrintable(before.out));
    const QString draft = place.dir.filePath("before.pdf");
    QCOMPARE(place.run({"records", "certificate", idOf(before), "-o", draft}, database).status, 0);
    QVERIFY(pageText(draft).contains("(n = 1) ‡"));

    for (const char* wrong : {"0", "0.01", "0.01:0", "0,01:9"}) {
        const Run refused = place.run({"lab", "set", "--pooled-repeatability", wrong}, database);
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("pooled repeatability"), qPrintable(refused.err));
    }
    QCOMPARE(place.run({"lab", "set", "--pooled-repeatability", "0.01:9"}, database).status, 0);
    const Run added = place.run(addArgs("SN-2", verify), database);
    // u_c = √(0.01² + 0.00289² + 0.01²) = 0.01443, ν_eff = 39.06, k = t(95.45 %) = 2.066:
    // U = 0.0298, up to 0.030.
    QVERIFY2(added.out.contains("as left at 0: U 0.030 (k = 2.07)"), qPrintable(added.out));
    // Read twice, the point keeps its own spread: the same as before.
    const QString twice = before.out.section("as left at 100: ", 1, 1).section('\n', 0, 0);
    QVERIFY2(added.out.contains("as left at 100: " + twice), qPrintable(added.out));
    const QString listed = place.run({"records", "list", "--format", "json"}, database).out;
    for (const QString& line : listed.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
        const bool pooled = record["serial"].toString() == "SN-2";
        QCOMPARE(record["pooled_s"].toDouble(), pooled ? 0.01 : 0.0);
        QCOMPARE(record["pooled_nu"].toDouble(), pooled ? 9.0 : 0.0);
        QCOMPARE(record["pooled_s"].isNull(), !pooled);
    }
    const QString pdf = place.dir.filePath("after.pdf");
    QCOMPARE(place.run({"records", "certificate", idOf(added), "-o", pdf}, database).status, 0);
    const QString page = pageText(pdf);
    QVERIFY2(!page.contains("‡"), qPrintable(page));
    QVERIFY2(page.contains("pooled standard deviation of single readings, 0.01 with ν = 9"),
             qPrintable(page));
    QCOMPARE(place.run({"lab", "set", "--pooled-repeatability", "none"}, database).status, 0);
    QVERIFY(place.run(addArgs("SN-3", verify), database)
                .out.contains("as left at 0: U 0.021 (k = 2.00)"));
}

// Where, when and in what state: kept as typed, exported, and stated on the certificate.
void TestAccreditation::receiptTravelsToTheCertificate()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    const QString database = store.isPostgres() ? store.location() : QString();
    Workplace place;
    const QString received = QDate::currentDate().addDays(-3).toString(Qt::ISODate);
    const QStringList more{"--location",   "Plant 3, Hall B", "--received",
                           received,       "--condition",     "probe sheath bent",
                           "--deviations", "bath at 99 °C",   "--tolerance-source",
                           "customer"};
    const Run added = place.run(addArgs("SN-1", {"0 0.03", "100 99.99"}, more), database);
    QVERIFY2(added.status == 0, qPrintable(added.err));
    const QJsonObject record =
        QJsonDocument::fromJson(
            place.run({"records", "list", "--format", "json"}, database).out.toUtf8())
            .object();
    QCOMPARE(record["location"].toString(), QStringLiteral("Plant 3, Hall B"));
    QCOMPARE(record["received"].toString(), received);
    QCOMPARE(record["item_condition"].toString(), QStringLiteral("probe sheath bent"));
    QCOMPARE(record["deviations"].toString(), QStringLiteral("bath at 99 °C"));
    QCOMPARE(record["tolerance_source"].toString(), QStringLiteral("customer"));
    const QString pdf = place.dir.filePath("c.pdf");
    QCOMPARE(place.run({"records", "certificate", idOf(added), "-o", pdf}, database).status, 0);
    const QString page = pageText(pdf);
    for (const QString& said :
         {QStringLiteral("Location on site at Plant 3, Hall B"), "Item received " + received,
          QStringLiteral("Condition on receipt probe sheath bent"),
          QStringLiteral("Deviations from the method bath at 99 °C"),
          QStringLiteral("± 0.1 °C (customer's requirement)")})
        QVERIFY2(page.contains(said), qPrintable(said + "\n" + page));
}

QTEST_GUILESS_MAIN(TestAccreditation)
#include "tst_accreditation.moc"
