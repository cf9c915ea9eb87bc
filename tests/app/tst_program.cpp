// The program as a process: what happens before and around its window.
#include "shellrun.h"

#include <QFile>
#include <QTest>

namespace {

ShellRun runProgram(const QString& script, const QStringList& unset,
                    const QList<QPair<QString, QString>>& set = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PROGRAM", QStringLiteral(QUARVET_PROGRAM));
    for (const QString& name : unset)
        env.remove(name);
    for (const auto& [name, value] : set)
        env.insert(name, value);
    return runInShell(script, env);
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void informationOptions_data();
    void informationOptions();
    void informationThatCannotBeWritten_data();
    void informationThatCannotBeWritten();
    void noDisplay_data();
    void noDisplay();
    void closedStandardStreams_data();
    void closedStandardStreams();
};

void TestProgram::informationOptions_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("outStart");
    QTest::newRow("version") << "--version" << QByteArray("Quarvet Basic 1.0.0\n");
    QTest::newRow("help") << "--help" << QByteArray("Usage: quarvet [--help | --version]\n");
    QTest::newRow("short help") << "-h" << QByteArray("Usage: quarvet");
}

void TestProgram::informationThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("redirection");
    QTest::newRow("full disk") << ">/dev/full";
    QTest::newRow("closed standard output") << ">&-";
}

// Once a closed standard output took /dev/null and the version "went out" with exit 0.
void TestProgram::informationThatCannotBeWritten()
{
    QFETCH(QString, redirection);
    const ShellRun run =
        runProgram(QStringLiteral(R"("$PROGRAM" --version %1)").arg(redirection), {});
    QVERIFY(run.finished);
    QCOMPARE(run.err, QByteArray("quarvet: cannot write to standard output\n"));
    QCOMPARE(run.status, 1);
}

// They answer and end without a window, with or without a display.
void TestProgram::informationOptions()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, outStart);
    const ShellRun run = runProgram(QStringLiteral(R"("$PROGRAM" %1)").arg(option), {});
    QVERIFY2(run.finished, "the program opened its window instead of answering");
    QVERIFY2(run.out.startsWith(outStart), run.out.constData());
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
}

namespace {

// A local X display that no server answers on this machine: neither its socket, nor its
// lock file, nor an abstract socket of its name.
QString absentDisplay()
{
    QFile sockets(QStringLiteral("/proc/net/unix"));
    const QByteArray listening =
        sockets.open(QIODevice::ReadOnly) ? sockets.readAll() : QByteArray();
    for (int number = 97; number < 1000; ++number) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        if (!QFile::exists(socket) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) &&
            !listening.contains((socket + QLatin1Char('\n')).toUtf8()))
            return QStringLiteral(":%1").arg(number);
    }
    return QStringLiteral(":97");
}

} // namespace

void TestProgram::noDisplay_data()
{
    QTest::addColumn<QStringList>("unset");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QByteArray>("err");
    const QStringList all{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const QByteArray noDisplay = "quarvet: no display was found: DISPLAY or WAYLAND_DISPLAY must "
                                 "name one that can be opened\n";
    QTest::newRow("none named") << all << QString() << noDisplay;
    QTest::newRow("one that is not there") << all << absentDisplay() << noDisplay;
}

// Once an abort with Qt's advice to reinstall; now one line and exit code 1.
void TestProgram::noDisplay()
{
    QFETCH(QStringList, unset);
    QFETCH(QString, display);
    QFETCH(QByteArray, err);
    QList<QPair<QString, QString>> set;
    if (!display.isEmpty())
        set.append({"DISPLAY", display});
    const ShellRun run = runProgram(R"("$PROGRAM")", unset, set);
    QVERIFY(run.finished);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, 1);
}

void TestProgram::closedStandardStreams_data()
{
    QTest::addColumn<QString>("redirection");
    QTest::newRow("standard error") << "2>&-";
    QTest::newRow("all three") << "<&- >&- 2>&-";
    QTest::newRow("standard input") << "<&-";
}

// With descriptor 2 closed, the X connection took it and Qt's warning about the missing
// runtime folder went into the connection: the window never came. The probe ends the
// program once the window is painted.
void TestProgram::closedStandardStreams()
{
    QFETCH(QString, redirection);
    const ShellRun run = runProgram(QStringLiteral(R"("$PROGRAM" %1)").arg(redirection),
                                    {"XDG_RUNTIME_DIR"}, {{"QUARVET_STARTUP_PROBE", "1"}});
    QVERIFY2(run.finished, "the window was never shown");
    QCOMPARE(run.status, 0);
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
