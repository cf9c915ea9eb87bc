// The Digital Calibration Certificate of records as the certificate tests know them, held to
// the published schema by xmllint, offline, with the schemas beside the repository.
#include "clirun.h"
#include "dcc/dccreader.h"
#include "dcc/dccwriter.h"
#include "samplerecord.h"

#include <QFileInfo>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quarvet;

class TestDcc : public QObject {
    Q_OBJECT
private slots:
    void validAgainstTheSchema_data();
    void validAgainstTheSchema();
    void readsBackAsWritten_data();
    void readsBackAsWritten();
    void withoutACountry();
    void writtenAtIssue_data();
    void writtenAtIssue();
    void refusedBeforeTheNumber_data();
    void refusedBeforeTheNumber();
};

namespace {

lab::CertificateStatus issued(const QString& number)
{
    lab::CertificateStatus status;
    status.lab.values = {{"name", "Quarvet Calibration Laboratory"},
                         {"address", "Messweg 1, 12345 Prüfstadt"},
                         {"country", "DE"}};
    lab::CertificateIssue issue;
    issue.number = number;
    issue.issuedBy = QStringLiteral("Dr. Mia Weber");
    issue.role = QStringLiteral("Head of laboratory");
    status.issue = issue;
    status.calibrated = QDate(2025, 3, 14);
    return status;
}

// xmllint's verdict on `bytes`; empty where the document is valid.
QString schemaFaults(const QByteArray& bytes)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("dcc.xml"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QStringLiteral("not written");
    file.close();
    QProcess xmllint;
    xmllint.start("xmllint",
                  {"--noout", "--nonet", "--schema", QUARVET_DCC_SCHEMA, file.fileName()});
    if (!xmllint.waitForFinished(60000))
        return QStringLiteral("xmllint did not finish");
    return xmllint.exitCode() == 0 ? QString() : QString::fromUtf8(xmllint.readAllStandardError());
}

} // namespace

void TestDcc::validAgainstTheSchema_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("evaluated");
    QTest::addColumn<QString>("hostile");
    QTest::newRow("an evaluated record") << "QCL-2025-00001" << true << "";
    QTest::newRow("a record kept before budgets") << "QCL-2025-00002" << false << "";
    QTest::newRow("markup and quotes in every text")
        << "<QCL>&\"1\"" << true << "</dcc:content><x a=\"'&amp;\">]]>";
    QTest::newRow("right-to-left names") << "שׁ-17" << true << "מעבדה \u202Bכיול";
}

void TestDcc::validAgainstTheSchema()
{
    QFETCH(QString, number);
    QFETCH(bool, evaluated);
    QFETCH(QString, hostile);
    records::Record record = evaluated ? test::evaluatedRecord() : test::fixedRecord();
    lab::CertificateStatus status = issued(number);
    if (!hostile.isEmpty()) {
        for (QString* text : {&record.serial, &record.technician, &record.customer,
                              &record.customerAddress, &record.itemDescription})
            *text += hostile;
        status.lab.values["name"] += hostile;
        status.issue->issuedBy += hostile;
    }
    dcc::DccFault fault;
    const QByteArray bytes = dcc::dccOf(record, status, QString(64, 'c'), fault);
    QVERIFY(!fault.failed());
    const QString faults = schemaFaults(bytes);
    QVERIFY2(faults.isEmpty(), qPrintable(faults + "\n" + QString::fromUtf8(bytes.left(3000))));
    // The values as kept: the as-found error at 0 °C of 0.5 with its U and k, and at 100 °C the
    // mean of three readings, 99 − 100 = −1, each read back from the document.
    if (evaluated) {
        for (const char* kept :
             {"<si:value>0.5</si:value>", "<si:uncertainty>0.033</si:uncertainty>",
              "<si:coverageFactor>2</si:coverageFactor>", "<si:uncertainty>0.06</si:uncertainty>",
              "<si:coverageFactor>3.18</si:coverageFactor>",
              "<dcc:conformity>fail</dcc:conformity>", "<si:unit>\\degreecelsius</si:unit>"})
            QVERIFY2(bytes.contains(kept), kept);
    }
    QVERIFY(bytes.contains(("<dcc:uniqueIdentifier>" + number.toHtmlEscaped()).toUtf8()) ||
            number.contains('"'));
}

void TestDcc::readsBackAsWritten_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("points"); // as found and as left
    for (const auto& [shape, points] :
         std::initializer_list<std::pair<const char*, int>>{{"nothing optional", 2},
                                                            {"verified without a tolerance", 5},
                                                            {"an amendment", 5},
                                                            {"everything huge", 65},
                                                            {"evaluated", 5}})
        QTest::newRow(shape) << shape << points;
}

// The records the certificate tests print, each as a DCC: valid, every point read back with
// the numbers as kept, an amendment naming the certificate it replaces.
void TestDcc::readsBackAsWritten()
{
    QFETCH(QString, shape);
    QFETCH(int, points);
    records::Record record = shape == "evaluated" ? test::evaluatedRecord() : test::fixedRecord();
    lab::CertificateStatus status = issued("QCL-7");
    if (shape == "nothing optional") {
        record.ambient.reset();
        record.tolerance.reset();
        record.verification.clear();
        record.rule.clear();
        record.verdict.clear();
        record.corrects.clear();
    } else if (shape == "verified without a tolerance") {
        record.tolerance.reset();
        record.rule.clear();
        record.verdict.clear();
    } else if (shape == "an amendment") {
        status.amendment = 1;
        status.amends = status.replaces = QStringLiteral("QCL-6");
        status.replacedRecord = test::fixedRecord();
        status.replacedRecord->hash = QString(64, 'a');
    } else if (shape == "everything huge") {
        for (QString* text :
             {&record.serial, &record.technician, &record.referenceId, &record.note})
            *text = QString(3000, u'W');
        for (int n = 0; n < 60; ++n)
            record.verification.append({n + 200.0, n + 200.5});
    }
    dcc::DccFault fault;
    const QByteArray bytes = dcc::dccOf(record, status, QString(64, 'c'), fault);
    QVERIFY(!fault.failed());
    const QString faults = schemaFaults(bytes);
    QVERIFY2(faults.isEmpty(), qPrintable(faults));
    const dcc::DccReading read = dcc::readDcc(bytes);
    QCOMPARE(read.fault, QString());
    QCOMPARE(read.points.size(), points);
    QCOMPARE(read.serial, record.serial);
    QCOMPARE(read.recordId, record.id);
    QCOMPARE(read.chainHead, QString(64, 'c'));
    // The first as-found point as the record keeps it: the error of 0.5 at 0 °C.
    QCOMPARE(read.points[0].reference, QStringLiteral("0"));
    QCOMPARE(read.points[0].error, QStringLiteral("0.5"));
    QCOMPARE(bytes.contains("<dcc:referralID>QCL-6</dcc:referralID>"), shape == "an amendment");
    // One value changed is found and named by the parts that hold it.
    QByteArray changed = bytes;
    const qsizetype at = changed.indexOf("<si:value>0.5</si:value>");
    QVERIFY(at > 0);
    changed.replace(at, 24, "<si:value>0.6</si:value>");
    const auto difference = dcc::firstDifference(dcc::readDcc(changed), read);
    QVERIFY(difference && !difference->otherPart);
    QCOMPARE(difference->found, QStringLiteral("0.6"));
    QCOMPARE(difference->expected, QStringLiteral("0.5"));
    QVERIFY2(difference->label.endsWith("As found at 0 °C › Mean indicated value › value"),
             qPrintable(difference->label));
}

// Without the laboratory's country a DCC cannot say where it was issued: none is written, and
// the setting is named.
void TestDcc::withoutACountry()
{
    lab::CertificateStatus status = issued("QCL-1");
    for (const QString& country : {QString(), QStringLiteral("de"), QStringLiteral("DEU")}) {
        status.lab.values["country"] = country;
        dcc::DccFault fault;
        QVERIFY(dcc::dccOf(test::evaluatedRecord(), status, {}, fault).isEmpty());
        QCOMPARE(fault.setting, QStringLiteral("country"));
    }
}

void TestDcc::writtenAtIssue_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QStringList>("extra"); // to records issue
    QTest::addColumn<QString>("written");   // the DCC's file; empty: none
    QTest::newRow("beside the PDF") << "DE" << QStringList{} << "c.xml";
    QTest::newRow("elsewhere") << "GB" << QStringList{"--dcc", "m/machine.xml"} << "m/machine.xml";
    QTest::newRow("no country: none") << "" << QStringList{} << "";
}

// A laboratory that names its country issues the DCC with the PDF: valid, its identifier the
// certificate's number; a copy written later says it is one. Without a country, none.
void TestDcc::writtenAtIssue()
{
    QFETCH(QString, country);
    QFETCH(QStringList, extra);
    QFETCH(QString, written);
    Workplace place;
    QVERIFY(QDir(place.dir.path()).mkpath("m"));
    QStringList lab{"lab", "set", "--name", "Lab", "--address", "Street 1"};
    if (!country.isEmpty())
        lab << "--country" << country;
    QCOMPARE(place.run(lab).status, 0);
    const Run saved = place.run({"records",
                                 "add",
                                 "--serial",
                                 "S1",
                                 "--type",
                                 "742",
                                 "--line",
                                 "1",
                                 "--technician",
                                 "T",
                                 "--reference",
                                 "R",
                                 "--reference-u",
                                 "0.02",
                                 "--reference-due",
                                 "2099-01-01",
                                 "--tolerance",
                                 "0.5",
                                 "--verify",
                                 "0",
                                 "0.1",
                                 "--verify",
                                 "100",
                                 "100.1",
                                 "0",
                                 "100",
                                 "0.5",
                                 "99.5"});
    const QString id = saved.out.trimmed().section('\n', -1);
    QStringList issue{"records", "issue", id,
                      "--by",    "Dr A",  "--role",
                      "Head",    "-o",    place.dir.filePath("c.pdf")};
    for (const QString& word : extra)
        issue << (word.startsWith("m/") ? place.dir.filePath(word) : word);
    const Run issued = place.run(issue);
    QVERIFY2(issued.status == 0 && issued.err.isEmpty(), qPrintable(issued.err));
    const QString number = issued.out.trimmed();
    if (written.isEmpty()) {
        QVERIFY(!QFileInfo::exists(place.dir.filePath("c.xml")));
        return;
    }
    QFile file(place.dir.filePath(written));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(schemaFaults(bytes), QString());
    QVERIFY(bytes.contains(("<dcc:uniqueIdentifier>" + number + "<").toUtf8()));
    QVERIFY(!bytes.contains("quarvet_copy"));
    const Run copy = place.run({"records", "dcc", id, "-o", place.dir.filePath("copy.xml")});
    QCOMPARE(copy.status, 0);
    QFile copied(place.dir.filePath("copy.xml"));
    QVERIFY(copied.open(QIODevice::ReadOnly));
    const QByteArray copyBytes = copied.readAll();
    QCOMPARE(schemaFaults(copyBytes), QString());
    QVERIFY(copyBytes.contains("quarvet_copy"));
    // Never over the store's own file.
    const Run over =
        place.run({"records", "dcc", id, "-o", place.dir.filePath("data/Quarvet/records.sqlite")});
    QCOMPARE(over.status, 1);
    QVERIFY2(over.err.contains("The DCC could not be written"), qPrintable(over.err));
}

namespace {

// A laboratory of `country` (none where empty) with one record saved; the record's id.
QString recordIn(const Workplace& place, const QString& country)
{
    QStringList lab{"lab", "set", "--name", "Lab", "--address", "Street 1"};
    if (!country.isEmpty())
        lab << "--country" << country;
    place.run(lab);
    return place
        .run({"records",       "add",  "--serial",        "S1",         "--type",      "742",
              "--line",        "1",    "--technician",    "T",          "--reference", "R",
              "--reference-u", "0.02", "--reference-due", "2099-01-01", "0",           "100",
              "0.5",           "99.5"})
        .out.trimmed()
        .section('\n', -1);
}

} // namespace

void TestDcc::refusedBeforeTheNumber_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("says");
    QTest::newRow("over the certificate itself")
        << "DE" << QStringList{"--dcc", "c.pdf"} << "written over the certificate";
    QTest::newRow("over it through another name")
        << "DE" << QStringList{"--dcc", "./m/../c.pdf"} << "written over the certificate";
    QTest::newRow("over it through a linked folder")
        << "DE" << QStringList{"--dcc", "alias/c.pdf"} << "written over the certificate";
    QTest::newRow("over it through a link and back up")
        << "DE" << QStringList{"--dcc", "lnk/../../c.pdf"} << "written over the certificate";
    QTest::newRow("no name") << "DE" << QStringList{"--dcc", ""} << "--dcc names no file";
    QTest::newRow("asked for where none is written")
        << "" << QStringList{"--dcc", "m/x.xml"} << "its country is not set";
    QTest::newRow("a character XML cannot carry")
        << "DE" << QStringList{"--role", "Head\uFFFE"} << "a character XML cannot carry";
}

// A DCC that could not be written as asked stops the issue before its number is spent: the
// certificate itself is never overwritten, and nothing named is silently left out.
void TestDcc::refusedBeforeTheNumber()
{
    QFETCH(QString, country);
    QFETCH(QStringList, extra);
    QFETCH(QString, says);
    Workplace place;
    QVERIFY(QDir(place.dir.path()).mkpath("m"));
    QVERIFY(QFile::link(place.dir.path(), place.dir.filePath("alias")));
    QVERIFY(QDir(place.dir.path()).mkpath("m/n"));
    QVERIFY(QFile::link(place.dir.filePath("m/n"), place.dir.filePath("lnk")));
    const QString id = recordIn(place, country);
    QStringList issue{"records", "issue", id, "--by", "Dr A", "-o", place.dir.filePath("c.pdf")};
    if (!extra.contains("--role"))
        issue << "--role"
              << "Head";
    for (const QString& word : extra)
        issue << (word.endsWith(".pdf") || word.endsWith(".xml") ? place.dir.filePath(word) : word);
    const Run refused = place.run(issue);
    QVERIFY(refused.status != 0);
    QVERIFY2(refused.err.contains(says), qPrintable(refused.err));
    QVERIFY(!QFileInfo::exists(place.dir.filePath("c.pdf")));
    const Run issued = place.run({"records", "issue", id, "--by", "Dr A", "--role", "Head", "-o",
                                  place.dir.filePath("c.pdf")});
    QVERIFY2(issued.out.trimmed().endsWith("-00001"), qPrintable(issued.out + issued.err));
}

QTEST_GUILESS_MAIN(TestDcc)
#include "tst_dcc.moc"
