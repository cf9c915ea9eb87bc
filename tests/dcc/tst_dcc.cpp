// The Digital Calibration Certificate of records as the certificate tests know them, held to
// the published schema by xmllint, offline, with the schemas beside the repository.
#include "dcc/dccwriter.h"
#include "samplerecord.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quarvet;

class TestDcc : public QObject {
    Q_OBJECT
private slots:
    void validAgainstTheSchema_data();
    void validAgainstTheSchema();
    void withoutACountry();
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
    const QByteArray bytes = dcc::dccOf(record, status, fault);
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

// Without the laboratory's country a DCC cannot say where it was issued: none is written, and
// the setting is named.
void TestDcc::withoutACountry()
{
    lab::CertificateStatus status = issued("QCL-1");
    for (const QString& country : {QString(), QStringLiteral("de"), QStringLiteral("DEU")}) {
        status.lab.values["country"] = country;
        dcc::DccFault fault;
        QVERIFY(dcc::dccOf(test::evaluatedRecord(), status, fault).isEmpty());
        QCOMPARE(fault.setting, QStringLiteral("country"));
    }
}

QTEST_GUILESS_MAIN(TestDcc)
#include "tst_dcc.moc"
