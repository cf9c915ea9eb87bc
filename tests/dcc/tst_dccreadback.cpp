// The DCC of every kind of certificate a laboratory issues, written by quarvet-cli into a real
// store, held to the published schema by xmllint and read back by records read-dcc: --check
// agrees with the store on every value, and names the one value changed by hand.
#include "clirun.h"
#include "teststores.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

class TestDccReadBack : public QObject {
    Q_OBJECT
private slots:
    void everyCertificateAgrees_data();
    void everyCertificateAgrees();
    void changedValueIsNamed_data();
    void changedValueIsNamed();
    void hostileFilesAreRefused_data();
    void hostileFilesAreRefused();
    void anotherLaboratorysDcc();
};

namespace {

// xmllint's verdict on a file; empty where it is valid.
QString schemaFaults(const QString& path)
{
    QProcess xmllint;
    xmllint.start("xmllint", {"--noout", "--nonet", "--schema", QUARVET_DCC_SCHEMA, path});
    if (!xmllint.waitForFinished(120000))
        return QStringLiteral("xmllint did not finish");
    return xmllint.exitCode() == 0 ? QString() : QString::fromUtf8(xmllint.readAllStandardError());
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// A record's words for records add: a calibration of type 742 at 0 and 100 °C, with `more`.
QStringList recordWords(const QStringList& more)
{
    QStringList words{"records", "add", "--type", "742", "--line", "1"};
    if (!more.contains("--serial"))
        words << "--serial"
              << "S-1";
    if (!more.contains("--technician"))
        words << "--technician"
              << "Ann Lee";
    if (!more.contains("--reference"))
        words << "--reference"
              << "R-typed"
              << "--reference-u"
              << "0.02"
              << "--reference-due"
              << "2099-01-01";
    return words + more + QStringList{"0", "100", "0.5", "99.5"};
}

// The points a record of `more` has, as the words gave them: target and reading, as found at
// the two calibration points, then as left at each verified target.
QList<std::pair<double, double>> pointsOf(const QStringList& more)
{
    QList<std::pair<double, double>> points{{0, 0.5}, {100, 99.5}};
    for (qsizetype n = more.indexOf("--verify"); n >= 0; n = more.indexOf("--verify", n + 1))
        points.append({more[n + 1].toDouble(), more[n + 2].toDouble()});
    return points;
}

// Verified at both calibration points within `tolerance`, and at `more` targets between.
QStringList verified(const QString& tolerance, int more = 0)
{
    QStringList words{"--tolerance", tolerance, "--verify", "0", "0.1", "--verify", "100", "100.1"};
    for (int n = 1; n <= more; ++n)
        words << "--verify" << QString::number(n * 2.5) << QString::number(n * 2.5 + 0.01 * n);
    return words;
}

// A laboratory of this store, with its country, and a reference in its register.
struct Laboratory {
    Workplace place;
    QString database;

    Run run(const QStringList& args) const { return place.run(args, database); }
    QString path(const QString& name) const { return place.dir.filePath(name); }
    QString add(const QStringList& more) const
    {
        // Saved whatever its verdict, which the exit status says (5: not judged).
        const Run added = run(recordWords(more));
        const QString id = added.out.trimmed().section('\n', -1);
        return added.status == 0 || added.status == 5 ? id : added.err;
    }
    QString issue(const QString& id, const QString& name) const
    {
        const Run issued = run(
            {"records", "issue", id, "--by", "Dr Mia Weber", "--role", "Head", "-o", path(name)});
        return issued.status == 0 ? issued.out.trimmed() : issued.err;
    }
};

} // namespace

void TestDccReadBack::everyCertificateAgrees_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QStringList>("more"); // to records add
    QTest::addColumn<QString>("kind");     // issued, copy, draft or amendment
    const QString hostile = QStringLiteral("<b>&amp; \"Q\" 'x' ]]> </dcc:content>");
    const QList<std::tuple<const char*, QStringList, QString>> cases{
        {"one page, every field",
         {"--customer",
          "Kälte GmbH",
          "--customer-address",
          "Weg 2, Kiel",
          "--description",
          "Pt100 probe",
          "--method",
          "QP-7",
          "--location",
          "Plant 3",
          "--received",
          "2026-01-05",
          "--condition",
          "sheath bent",
          "--deviations",
          "bath at 99 °C",
          "--tolerance-source",
          "manufacturer",
          "--ambient",
          "23.4",
          "--current",
          "2710",
          "0000",
          "--note",
          "cleaned first",
          "--tolerance",
          "0.6",
          "--verify",
          "0",
          "0.1",
          "--verify",
          "100",
          "100.1"},
         "issued"},
        {"forty points", verified("0.5", 38), "issued"},
        {"amendment", verified("0.5"), "amendment"},
        {"no tolerance", {}, "issued"},
        {"not judged: U as large as the tolerance",
         {"--tolerance", "0.02", "--verify", "0", "0.01", "--verify", "100", "100.01"},
         "issued"},
        {"non-binary", verified("0.11") + QStringList{"--rule", "non-binary"}, "issued"},
        {"a reference from the register", verified("1") + QStringList{"--reference", "REF-1"},
         "issued"},
        {"hostile texts in every field",
         {"--serial",
          hostile,
          "--technician",
          hostile,
          "--reference",
          hostile,
          "--reference-u",
          "0.02",
          "--reference-due",
          "2099-01-01",
          "--customer",
          hostile,
          "--customer-address",
          hostile,
          "--description",
          hostile,
          "--method",
          hostile,
          "--location",
          hostile,
          "--condition",
          hostile,
          "--deviations",
          hostile,
          "--note",
          hostile},
         "issued"},
        {"right-to-left names",
         verified("0.5") + QStringList{"--customer", "מעבדת כיול 7", "--description", "מדחום"},
         "issued"},
        {"a copy", verified("0.5"), "copy"},
        {"a draft", verified("0.5"), "draft"}};
    for (const QString backend : {"sqlite", "postgresql"})
        for (const auto& [name, more, kind] : cases)
            QTest::newRow(qPrintable(backend + ": " + name)) << backend << more << kind;
}

// Each DCC is valid, and the store writes every value of it the same: the file's --check
// holds; for an amendment, the certificate it replaces holds too and is said superseded.
void TestDccReadBack::everyCertificateAgrees()
{
    QFETCH(QString, backend);
    QFETCH(QStringList, more);
    QFETCH(QString, kind);
    QUARVET_STORE_OR_SKIP(store, backend);
    Laboratory lab{{}, store.isPostgres() ? store.location() : QString()};
    QCOMPARE(
        lab.run({"lab", "set", "--name", "Prüflabor <Nord> & Söhne", "--address", "Messweg 1, Kiel",
                 "--country", "DE", "--statements", "Traceable to national standards."})
            .status,
        0);
    QCOMPARE(lab.run({"references", "add", "--id", "REF-1", "--description", "SPRT",
                      "--certificate", "DKD-K-0815", "--calibrated-by", "National lab", "--u",
                      "0.004", "--k", "2", "--calibrated", "2026-01-01", "--due", "2099-01-01"})
                 .status,
             0);
    QString id = lab.add(more);
    QVERIFY2(QRegularExpression("^[0-9a-f-]{36}$").match(id).hasMatch(), qPrintable(id));
    QString dcc = lab.path("c.xml");
    if (kind == "draft") {
        QCOMPARE(lab.run({"records", "dcc", id, "-o", dcc}).status, 0);
    } else {
        const QString number = lab.issue(id, "c.pdf");
        QVERIFY2(number.endsWith("-00001"), qPrintable(number));
    }
    if (kind == "copy")
        QCOMPARE(lab.run({"records", "dcc", id, "-o", dcc = lab.path("copy.xml")}).status, 0);
    if (kind == "amendment") {
        const QString first = dcc;
        id = lab.add(more + QStringList{"--corrects", id, "--reason", "typing error in the note"});
        QVERIFY2(lab.issue(id, "amended.pdf").endsWith("-00002"), qPrintable(id));
        dcc = lab.path("amended.xml");
        const QByteArray amended = contentOf(dcc);
        QVERIFY(amended.contains("<dcc:referralID>" +
                                 QDate::currentDate().toString("yyyy").toUtf8() +
                                 "-00001</dcc:referralID>"));
        QVERIFY(amended.contains(": typing error in the note</dcc:content>"));
        QVERIFY(amended.contains("-00001: nothing but the reason</dcc:content>"));
        const Run before = lab.run({"records", "read-dcc", first, "--check"});
        QVERIFY2(before.status == 0 && before.out.contains("superseded"), qPrintable(before.out));
    }
    QCOMPARE(schemaFaults(dcc), QString());
    // Held here, and on a workstation half a day ahead, whose calendar is on another day.
    for (const QByteArray& zone : {QByteArray(), QByteArray("Pacific/Kiritimati")}) {
        if (!zone.isEmpty())
            qputenv("TZ", zone);
        const Run checked = lab.run({"records", "read-dcc", dcc, "--check"});
        qunsetenv("TZ");
        QVERIFY2(checked.status == 0 && checked.out.contains("holds: every value"),
                 qPrintable(zone + ": " + checked.out + checked.err));
    }
    // Read back, its points are what the words gave, each with its unit, the error's U and k.
    const Run json = lab.run({"records", "read-dcc", dcc, "--format", "json"});
    const QJsonObject read = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(read["kind"].toString(), kind == "amendment" ? "issued" : kind);
    QCOMPARE(read["record"].toString(), id);
    QCOMPARE(read["item"]["serial"].toString(),
             more.contains("--serial") ? more[more.indexOf("--serial") + 1] : "S-1");
    const QJsonArray results = read["results"].toArray();
    const QList<std::pair<double, double>> points = pointsOf(more);
    QCOMPARE(results.size(), points.size());
    for (qsizetype n = 0; n < points.size(); ++n) {
        const QJsonObject point = results[n].toObject();
        const auto [target, reading] = points[n];
        QCOMPARE(point["result"].toString(), n < 2 ? "as found" : "as left");
        QCOMPARE(point["reference"].toDouble(), target);
        QCOMPARE(point["indicated"].toDouble(), reading);
        QVERIFY2(std::abs(point["error"].toDouble() - (reading - target)) < 1e-12,
                 qPrintable(QString::number(point["error"].toDouble())));
        QCOMPARE(point["unit"].toString(), QStringLiteral("\\degreecelsius"));
        QVERIFY(point["U"].toDouble() > 0 && point["k"].toDouble() >= 2);
        QCOMPARE(point["coverage_probability"].toDouble(), 0.95449973610364158); // erf(√2)
        QCOMPARE(point["readings"].toInt(), 1);
    }
}

void TestDccReadBack::changedValueIsNamed_data()
{
    QTest::addColumn<QString>("at"); // the first match's captured part is changed
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("named");
    QTest::newRow("an error alone")
        << "<si:label>Error</si:label>\\s*<si:value>(0.1)<"
        << "0.15"
        << "As left at 0 °C › Error › value reads “0.15” where the store gives “0.1”";
    QTest::newRow("an indicated value")
        << "Mean indicated value</si:label>\\s*<si:value>(0.1)<"
        << "0.10"
        << "As left at 0 °C › Mean indicated value › value reads “0.10”";
    QTest::newRow("an expanded uncertainty")
        << "<si:uncertainty>(0.021)</si:uncertainty>"
        << "0.01"
        << "As found at 0 °C › Error › uncertainty reads “0.01”";
    QTest::newRow("a verdict") << "<dcc:conformity>(fail)</dcc:conformity>"
                               << "pass"
                               << "conformity reads “pass” where the store gives “fail”";
    QTest::newRow("the serial number") << "<dcc:value>(S-1)</dcc:value>"
                                       << "S-7"
                                       << "value reads “S-7” where the store gives “S-1”";
    QTest::newRow("a statement taken out")
        << "<dcc:statement refType=\"(basic_reproduction)\">"
        << "basic_other"
        << "it holds the element "
           "/digitalCalibrationCertificate/administrativeData/statements/statement[basic_other] "
           "where the store gives "
           "/digitalCalibrationCertificate/administrativeData/statements/"
           "statement[basic_reproduction]";
    QTest::newRow("the customer") << "(in-house calibration)"
                                  << "ACME"
                                  << "reads “ACME” where the store gives “in-house calibration”";
    // What a reader would take, put where the store's own uncompared parts have their names.
    QTest::newRow("a verdict hidden as a later supersession")
        << "()<dcc:metaData refType=\"basic_toleranceLimits\">"
        << "<dcc:metaData refType=\"basic_conformity basic_asFound quarvet_supersededBy\">"
           "<dcc:declaration><dcc:content lang=\"en\">As found: Pass</dcc:content>"
           "</dcc:declaration></dcc:metaData>"
        << "it holds";
    QTest::newRow("an element moved to another namespace")
        << "(<dcc:issuer>manufacturer</dcc:issuer>)"
        << "<x:issuer xmlns:x=\"urn:elsewhere\">manufacturer</x:issuer>"
        << "{urn:elsewhere}issuer";
    QTest::newRow("text beside the elements") << "(<si:value>0.1</si:value>)"
                                              << "FAKE<si:value>0.1</si:value>"
                                              << "real #text (“";
    // What this program's documents never hold: a style sheet a viewer would show instead of
    // the values, a comment.
    QTest::newRow("a style sheet") << "()<dcc:administrativeData>"
                                   << "<?xml-stylesheet href=\"show.xsl\"?>"
                                   << "#instruction (“xml-stylesheet href=\"show.xsl\"”";
    QTest::newRow("a comment") << "()<dcc:administrativeData>"
                               << "<!-- checked -->"
                               << "#comment (“ checked ”";
    // The one statement not compared, since a later print says it, must be the store's.
    QTest::newRow("a supersession the store does not know")
        << "()<dcc:statement refType=\"basic_validityRange\">"
        << "<dcc:statement refType=\"quarvet_supersededBy\"><dcc:declaration><dcc:content "
           "lang=\"en\">Withdrawn</dcc:content></dcc:declaration></dcc:statement>"
        << "its statement that it is superseded, “Withdrawn”, is not the store's, “no certificate "
           "that supersedes it”";
    // Nor may a second statement, or more in one, say what the store does not.
    QTest::newRow("a second supersession, empty")
        << "()<dcc:statement refType=\"basic_validityRange\">"
        << "<dcc:statement refType=\"quarvet_supersededBy\"><dcc:declaration><dcc:content "
           "lang=\"en\"></dcc:content></dcc:declaration></dcc:statement>"
        << "its statement that it is superseded";
    // Which release wrote it is not compared; what else its software says is.
    QTest::newRow("a notice beside the release")
        << "<dcc:release>[^<]*</dcc:release>()"
        << "<dcc:release>withdrawn</dcc:release>"
        << "it holds the element "
           "/digitalCalibrationCertificate/administrativeData/dccSoftware/software/release where";
    // Its shape as well as its texts: one identification made two.
    QTest::newRow("an element split in two")
        << "<dcc:value>S-1</dcc:value>()"
        << "</dcc:identification><dcc:identification>"
        << "it holds the element "
           "/digitalCalibrationCertificate/administrativeData/items/item/identifications/"
           "identification where";
    // Said without the file's control characters, which could repaint the line.
    QTest::newRow("a carriage return in the number") << "<dcc:uniqueIdentifier>[^<]*()<"
                                                     << "&#13;holds: every value"
                                                     << "-00001\\x0Dholds: every value";
}

// One value changed by hand: --check says the DCC does not hold, naming that value by the
// names of the parts that hold it.
void TestDccReadBack::changedValueIsNamed()
{
    QFETCH(QString, at);
    QFETCH(QString, to);
    QFETCH(QString, named);
    Laboratory lab;
    QCOMPARE(lab.run({"lab", "set", "--name", "Lab", "--country", "FR"}).status, 0);
    const QString id = lab.add(verified("0.4"));
    QVERIFY(lab.issue(id, "c.pdf").endsWith("-00001"));
    QString text = QString::fromUtf8(contentOf(lab.path("c.xml")));
    const QRegularExpressionMatch match = QRegularExpression(at).match(text);
    QVERIFY2(match.hasMatch(), qPrintable(at));
    text.replace(match.capturedStart(1), match.capturedLength(1), to);
    writeFile(lab.path("changed.xml"), text.toUtf8());
    const Run checked = lab.run({"records", "read-dcc", lab.path("changed.xml"), "--check"});
    QCOMPARE(checked.status, 4);
    QVERIFY2(checked.out.startsWith("Not intact: DCC of certificate") &&
                 checked.out.contains(named) && !checked.out.contains('\r'),
             qPrintable(checked.out + checked.err));
}

void TestDccReadBack::hostileFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("no XML") << QByteArray("%PDF-1.7\n") << QStringList{} << 1
                            << "is no DCC that reads: line 1";
    QTest::newRow("empty") << QByteArray() << QStringList{} << 1 << "is no DCC that reads";
    QTest::newRow("entities that multiply")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
                      "\"&a;&a;&a;&a;&a;&a;&a;&a;\">]><d>&b;</d>")
        << QStringList{} << 1 << "declares a document type";
    QTest::newRow("another root") << QByteArray("<html xmlns=\"https://ptb.de/dcc\"/>")
                                  << QStringList{} << 1
                                  << "its root is not a digitalCalibrationCertificate";
    QTest::newRow("cut off")
        << QByteArray("<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\"><dcc:a>")
        << QStringList{} << 1 << "is no DCC that reads: line 1";
    QTest::newRow("nested without end")
        << (QByteArray("<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\">") +
            QByteArray("<dcc:list>").repeated(100))
        << QStringList{} << 1 << "nested deeper than 64";
    QTest::newRow("a list of a million values")
        << (QByteArray("<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\" "
                       "xmlns:si=\"https://ptb.de/si\"><dcc:list><dcc:quantity "
                       "refType=\"basic_referenceValue\"><si:realListXMLList><si:valueXMLList>") +
            QByteArray("1 ").repeated(1000000) +
            "</si:valueXMLList></si:realListXMLList></dcc:quantity></dcc:list>"
            "</dcc:digitalCalibrationCertificate>")
        << QStringList{} << 1 << "it holds more than any DCC this program reads";
    QTest::newRow("a DCC of no record, checked")
        << QByteArray("<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\"/>")
        << QStringList{"--check"} << 1 << "names no record of this program's stores";
    QTest::newRow("a record this store does not hold")
        << QByteArray("<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\">"
                      "<dcc:coreData><dcc:uniqueIdentifier>X-1</dcc:uniqueIdentifier>"
                      "<dcc:identifications><dcc:identification refType=\"quarvet_record\">"
                      "<dcc:issuer>calibrationLaboratory</dcc:issuer><dcc:value>"
                      "0f0f0f0f-0000-4000-8000-000000000000</dcc:value></dcc:identification>"
                      "</dcc:identifications></dcc:coreData></dcc:digitalCalibrationCertificate>")
        << QStringList{"--check"} << 4 << "Not intact: DCC of certificate X-1";
}

// A file that is no DCC, or one that would make the reader take the machine's memory, is
// refused with what is wrong with it, and --check never holds a DCC the store did not write.
void TestDccReadBack::hostileFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, extra);
    QFETCH(int, status);
    QFETCH(QString, says);
    Laboratory lab;
    writeFile(lab.path("x.xml"), bytes);
    const Run read = lab.run(QStringList{"records", "read-dcc", lab.path("x.xml")} + extra);
    QCOMPARE(read.status, status);
    QVERIFY2((read.err + read.out).contains(says), qPrintable(read.err + read.out));
    const Run folder = lab.run({"records", "read-dcc", lab.path(".")});
    QVERIFY2(folder.status == 1 && folder.err.contains("is no file"), qPrintable(folder.err));
}

// Another laboratory's DCC that follows the good practice with its values in lists: each
// point read from the lists with its unit (of a quantity given in two units, the first), its
// U and k where the list gives one for all, its verdict from the list of verdicts.
void TestDccReadBack::anotherLaboratorysDcc()
{
    Laboratory lab;
    writeFile(
        lab.path("other.xml"),
        "<dcc:digitalCalibrationCertificate xmlns:dcc=\"https://ptb.de/dcc\" "
        "xmlns:si=\"https://ptb.de/si\"><dcc:administrativeData><dcc:coreData>"
        "<dcc:uniqueIdentifier>PTB 7.5-0042</dcc:uniqueIdentifier></dcc:coreData>"
        "<dcc:items><dcc:item><dcc:name><dcc:content>Thermo\u202Emeter</dcc:content></dcc:name>"
        "<dcc:identifications><dcc:identification><dcc:issuer>manufacturer</dcc:issuer>"
        "<dcc:value>4711</dcc:value></dcc:identification></dcc:identifications></dcc:item>"
        "</dcc:items></dcc:administrativeData><dcc:measurementResults><dcc:measurementResult>"
        "<dcc:results><dcc:result refType=\"basic_asLeft\"><dcc:data><dcc:list>"
        "<dcc:quantity refType=\"basic_referenceValue\"><si:hybrid><si:realListXMLList>"
        "<si:valueXMLList>273.15 323.65 373.15</si:valueXMLList><si:unitXMLList>\\kelvin"
        "</si:unitXMLList></si:realListXMLList><si:realListXMLList><si:valueXMLList>0 50.5 "
        "100</si:valueXMLList><si:unitXMLList>\\degreecelsius</si:unitXMLList>"
        "</si:realListXMLList></si:hybrid></dcc:quantity>"
        "<dcc:quantity refType=\"basic_measurementError\"><si:realListXMLList>"
        "<si:valueXMLList>10 -20 30</si:valueXMLList><si:unitXMLList>\\milli\\kelvin"
        "</si:unitXMLList><si:expandedUncXMLList><si:uncertaintyXMLList>50"
        "</si:uncertaintyXMLList><si:coverageFactorXMLList>2</si:coverageFactorXMLList>"
        "</si:expandedUncXMLList></si:realListXMLList></dcc:quantity><dcc:measurementMetaData>"
        "<dcc:metaData refType=\"basic_conformity\"><dcc:conformityXMLList>pass fail pass"
        "</dcc:conformityXMLList></dcc:metaData></dcc:measurementMetaData></dcc:list>"
        "</dcc:data></dcc:result></dcc:results></dcc:measurementResult>"
        "</dcc:measurementResults></dcc:digitalCalibrationCertificate>");
    const Run read = lab.run({"records", "read-dcc", lab.path("other.xml")});
    QCOMPARE(read.status, 0);
    QVERIFY2(read.out.contains("Item Thermo\\u202Emeter\n") &&
                 read.out.contains("Certificate PTB 7.5-0042\n") &&
                 read.out.contains("Serial number 4711\n") &&
                 read.out.contains("as left\t323.65\t—\tK\t-20\t50\tmK\t2\t—\tfail\n"),
             qPrintable(read.out));
    const Run json = lab.run({"records", "read-dcc", lab.path("other.xml"), "--format", "json"});
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QVERIFY(object["kind"].isNull() && object["record"].isNull());
    QCOMPARE(object["results"][2]["reference"].toDouble(), 373.15);
    QVERIFY2(json.out.contains("\"name\":\"Thermo\\u202emeter\""), qPrintable(json.out));
    QCOMPARE(object["results"][2]["error_unit"].toString(), "\\milli\\kelvin");
}

QTEST_GUILESS_MAIN(TestDccReadBack)
#include "tst_dccreadback.moc"
