#include <QProcess>
#include <QTest>

// The leak check at exit of a build under AddressSanitizer: a thread's dynamic TLS block where
// the runtime misreads it neither crashes the check nor hides a leak.
class TestLeakCheck : public QObject {
    Q_OBJECT
private slots:
    void tlsBlockWhereTheRuntimeMisreadsIt_data();
    void tlsBlockWhereTheRuntimeMisreadsIt();
};

void TestLeakCheck::tlsBlockWhereTheRuntimeMisreadsIt_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("moreOptions");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("says");

    QTest::newRow("block reachable through it: no leak, no crash") << "kept"
                                                                   << "" << true << "";
    QTest::newRow("block dropped: the leak is reported") << "dropped"
                                                         << "" << false << "detected memory leaks";
    // The runtime's own guess, switched back on, is what crashed the tracer. Should a later
    // runtime stop guessing, this row fails, and the option in sanitizer_defaults.cpp can go.
    QTest::newRow("the runtime's guess switched back on: its tracer dies")
        << "kept"
        << "intercept_tls_get_addr=1" << false << "Tracer caught signal 11";
}

void TestLeakCheck::tlsBlockWhereTheRuntimeMisreadsIt()
{
    QFETCH(QString, mode);
    QFETCH(QString, moreOptions);
    QFETCH(bool, succeeds);
    QFETCH(QString, says);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString options = environment.value("ASAN_OPTIONS");
    if (!moreOptions.isEmpty())
        options += (options.isEmpty() ? "" : ":") + moreOptions;
    environment.insert("ASAN_OPTIONS", options);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(DTLS_PROBE, {DTLS_SLOT, mode});
    QVERIFY(probe.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(probe.readAllStandardError());
    // 2 and 3 are the probe's own failures: it could not load the module or place the block.
    QVERIFY2(probe.exitStatus() == QProcess::CrashExit ||
                 (probe.exitCode() != 2 && probe.exitCode() != 3),
             qPrintable(errors));
    const bool succeeded = probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    QVERIFY2(succeeded == succeeds, qPrintable(errors));
    if (says.isEmpty())
        QVERIFY2(!errors.contains("Sanitizer"), qPrintable(errors));
    else
        QVERIFY2(errors.contains(says), qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestLeakCheck)
#include "tst_leakcheck.moc"
