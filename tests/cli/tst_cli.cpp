#include "cli/cli.h"
#include "cli/options.h"
#include "cli/recordcommands.h"
#include "cli/storedeadline.h"
#include "fixtures.h"
#include "records/sqliterecordstore.h"
#include "samplerecord.h"
#include "shellrun.h"
#include "teststores.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using quarvet::calc::Separators;

namespace {

using fixtures::comma;
using fixtures::point;

struct Run {
    int status;
    QByteArray out;
    QByteArray err;
};

Run run(const QStringList& args, const Separators& separators, const QByteArray& input = {})
{
    std::vector<std::string> words;
    for (const QString& arg : args)
        words.push_back(arg.toStdString());
    const std::string text = input.toStdString();
    quarvet::cli::StringSource in(text);
    quarvet::cli::StringSink out;
    quarvet::cli::StringSink err("standard error");
    const int status =
        quarvet::cli::run(words, separators, {in, out, err}, quarvet::cli::programCommands());
    return {status, QByteArray::fromStdString(out.text()), QByteArray::fromStdString(err.text())};
}

using fixtures::workedMemoryText;
const QByteArray byteOrderMark = "\xEF\xBB\xBF";
constexpr int mebibyte = 1 << 20;

struct StreamRun {
    int status;
    std::string out;
    std::string err;
};

// One run whose input fails after `failAfter` bytes and whose outputs take at most so many.
StreamRun runWithLimits(const QStringList& args, const QByteArray& input, std::size_t failAfter,
                        std::size_t outCapacity, std::size_t errCapacity)
{
    std::vector<std::string> words;
    for (const QString& arg : args)
        words.push_back(arg.toStdString());
    const std::string text = input.toStdString();
    quarvet::cli::StringSource in(text, failAfter);
    quarvet::cli::StringSink out("standard output", outCapacity);
    quarvet::cli::StringSink err("standard error", errCapacity);
    const int status = quarvet::cli::run(words, point, {in, out, err});
    return {status, out.text(), err.text()};
}

ShellRun runTool(const QString& script, const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CLI", QStringLiteral(QUARVET_CLI));
    env.insert("DIR", folder);
    env.insert("LC_ALL", "C");
    return runInShell(script, env, 20000);
}

// Largest resident size in KiB of the tool reading `lineBytes` bytes of digits as one line.
long peakResidentKiB(std::size_t lineBytes)
{
    int toChild[2];
    if (::pipe(toChild) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char program[] = QUARVET_CLI;
    char command[] = "value";
    char* argv[] = {program, command, nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    if (spawned != 0) {
        ::close(toChild[1]);
        return -1;
    }
    const std::string block(64 * 1024, '7');
    for (std::size_t sent = 0; sent < lineBytes; sent += block.size())
        if (::write(toChild[1], block.data(), block.size()) != ssize_t(block.size()))
            break;
    (void)!::write(toChild[1], "\n", 1);
    ::close(toChild[1]);
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child)
        return -1;
    return usage.ru_maxrss;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void deadlineWaitsForAnUpgradeThatSaysHowFarItIs_data();
    void deadlineWaitsForAnUpgradeThatSaysHowFarItIs();
    void optionsReadFromTheirShapes_data();
    void optionsReadFromTheirShapes();
    void calcArguments_data();
    void calcArguments();
    void calcLines_data();
    void calcLines();
    void values_data();
    void values();
    void usage_data();
    void usage();
    void decode_data();
    void decode();
    void decodeFile();
    void readReportsTheLink();
    void hostileEntries_data();
    void hostileEntries();
    void splitWords_data();
    void splitWords();
    void toolReadsLocaleFromEnvironment_data();
    void toolReadsLocaleFromEnvironment();
    void longLinesAndByteOrderMark_data();
    void longLinesAndByteOrderMark();
    void streamFailures_data();
    void streamFailures();
    void toolStreams_data();
    void toolStreams();
    void memoryStaysFlat();
    void checkWithASetUp_data();
    void checkWithASetUp();
    void checkTextToTheFiguresOfU();
    void budgetCommand_data();
    void budgetCommand();
    void verifyAtTheLimits_data();
    void verifyAtTheLimits();
    void adjustmentCommands_data();
    void adjustmentCommands();
    void adjustmentCommandsWarnOfSeparators();
    void checkAgreesWithCalc_data();
    void checkAgreesWithCalc();
};

void TestCli::calcArguments_data()
{
    QTest::addColumn<bool>("commaLocale");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray none;
    QTest::newRow("worked example") << false << QStringList{"0", "100", "0.5", "99.0"} << 0
                                    << QByteArray("27A8 FE04\n") << none;
    QTest::newRow("comma locale") << true << QStringList{"0", "100", "0,5", "99"} << 0
                                  << QByteArray("27A8 FE04\n") << none;
    QTest::newRow("negative entries are not options")
        << false << QStringList{"0", "100", "-1", "99"} << 0 << QByteArray("2710 03E8\n") << none;
    // 12.5 read as 125: a slope of 125 does not fit its code, which is written all the same.
    QTest::newRow("warning keeps the result")
        << true << QStringList{"0", "12.5", "0", "1"} << 0 << QByteArray("12D0 0000\n")
        << QByteArray("Following separator '.' is unknown.\nThe correct separator is ',' !\n"
                      "Please check the entered values!\nwarning: the slope does not fit its "
                      "code: the instrument will apply 0.4816, not 125\n");
    QTest::newRow("a slope that wraps is written, and said")
        << false << QStringList{"0", "100", "0", "10"} << 0 << QByteArray("86A0 0000\n")
        << QByteArray("warning: the slope does not fit its code: the instrument will apply "
                      "-3.1072, not 10\n");
    QTest::newRow("an offset that wraps is written, and said")
        << false << QStringList{"0", "1", "-40", "-39"} << 0 << QByteArray("2710 9C40\n")
        << QByteArray("warning: the offset does not fit its code: the instrument will apply "
                      "-25.536 \xC2\xB0"
                      "C, not 40 \xC2\xB0"
                      "C\n");
    QTest::newRow("wrong entries before the separator warning, as the window shows them")
        << true << QStringList{"a", "12.5", "0", "1"} << 1 << none
        << QByteArray("Following Inputs are wrong:\n\nTarget temperature 1\n"
                      "Following separator '.' is unknown.\nThe correct separator is ',' !\n"
                      "Please check the entered values!\n");
    QTest::newRow("overflow inside the calculation")
        << false << QStringList{"0", "100", "-1e308", "1e308"} << 1 << none
        << QByteArray("The values are too large to be calculated with. "
                      "Please check the entered values.\n");
    QTest::newRow("wrong entries")
        << false << QStringList{"a", "100", "0.5", ""} << 1 << none
        << QByteArray("Following Inputs are wrong:\n\nTarget temperature 1\n"
                      "Indicated temperature 2\n");
    QTest::newRow("equal indicated values")
        << false << QStringList{"0", "100", "3", "3"} << 1 << none
        << QByteArray("The two indicated values are equal, so no slope can be calculated. "
                      "Please enter two different indicated values.\n");
}

void TestCli::calcArguments()
{
    QFETCH(bool, commaLocale);
    QFETCH(QStringList, entries);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const Run result = run(QStringList{"calc"} + entries, commaLocale ? comma : point);
    QCOMPARE(result.out, out);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
}

void TestCli::calcLines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("two good lines") << QByteArray("0 100 0.5 99\n20\t80  20 80\r\n") << 0
                                    << QByteArray("27A8 FE04\n2710 0000\n") << QByteArray();
    QTest::newRow("one line per line, errors included")
        << QByteArray("0 100 0.5 99\n\n1 2 3\nx 1 2 y\n0 1 5 5\n0 100 1 101") << 1
        << QByteArray("27A8 FE04\n"
                      "error: expected four entries, found 0\n"
                      "error: expected four entries, found 3\n"
                      "error: Following Inputs are wrong: Target temperature 1, "
                      "Indicated temperature 2\n"
                      "error: The two indicated values are equal, so no slope can be "
                      "calculated. Please enter two different indicated values.\n"
                      "2710 FC18\n")
        << QByteArray();
    QTest::newRow("no input") << QByteArray() << 0 << QByteArray() << QByteArray();
    // The code is written as it wraps, and the line it came from named on standard error.
    QTest::newRow("a slope that wraps")
        << QByteArray("0 100 0.5 99\n0 100 0 10\n") << 0 << QByteArray("27A8 FE04\n86A0 0000\n")
        << QByteArray("line 2: warning: the slope does not fit its code: the instrument will "
                      "apply -3.1072, not 10\n");
}

void TestCli::calcLines()
{
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const Run result = run({"calc"}, point, input);
    QCOMPARE(result.out, out);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
}

void TestCli::values_data()
{
    QTest::addColumn<bool>("commaLocale");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // calc's separator warning, entry by entry
    const QByteArray warning = "Following separator '.' is unknown. The correct separator is "
                               "',' ! Please check the entered values!\n";
    QTest::newRow("point locale") << false
                                  << QStringList{"12.5", "0.1", "1e-400", "-1e-400", "1e309", "12a"}
                                  << QByteArray()
                                  << QByteArray("12.5\n0.1\n0\n-0\nout of range\nnot a number\n")
                                  << QByteArray();
    QTest::newRow("comma locale groups the point")
        << true << QStringList{"12.5", "12,5", "1.234,5"} << QByteArray()
        << QByteArray("125\n12.5\n1234.5\n") << "'12.5': " + warning + "'1.234,5': " + warning;
    QTest::newRow("standard input, one entry a line")
        << false << QStringList{} << QByteArray("  7 \n\n1 2\r\n")
        << QByteArray("7\nnot a number\nnot a number\n") << QByteArray();
    QTest::newRow("standard input in the comma locale")
        << true << QStringList{} << QByteArray("0.5\n0,5\n") << QByteArray("5\n0.5\n")
        << "line 1: " + warning;
}

void TestCli::values()
{
    QFETCH(bool, commaLocale);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const Run result = run(QStringList{"value"} + entries, commaLocale ? comma : point, input);
    QCOMPARE(result.out, out);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, 0);
}

void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("outStart");
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QByteArray("Quarvet Basic 1.0.0\n");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: quarvet-cli");
    // Every command and subcommand answers --help and -h with its own usage.
    const auto help = [](const QStringList& args, const char* start) {
        QTest::addRow("%s", qPrintable(args.join(' '))) << args << 0 << QByteArray(start);
    };
    help({"calc", "--help"}, "Usage: quarvet-cli calc TARGET1");
    help({"check", "-h"}, "Usage: quarvet-cli check [--current");
    help({"records", "--help"}, "Usage: quarvet-cli records list");
    help({"records", "add", "--help"}, "Usage: quarvet-cli records add --serial");
    help({"records", "issue", "ID", "-h"}, "Usage: quarvet-cli records issue ID");
    help({"lab", "set", "-h"}, "Usage: quarvet-cli lab show | lab set");
    help({"references", "list", "--help"}, "Usage: quarvet-cli references");
    help({"types", "--help"}, "Usage: quarvet-cli types");
    QTest::newRow("help of no command") << QStringList{"frobnicate", "--help"} << 2 << QByteArray();
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QByteArray();
    QTest::newRow("no command") << QStringList{} << 2 << QByteArray();
    QTest::newRow("three entries") << QStringList{"calc", "1", "2", "3"} << 2 << QByteArray();
    QTest::newRow("five entries") << QStringList{"calc", "1", "2", "3", "4", "5"} << 2
                                  << QByteArray();
}

void TestCli::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, outStart);
    const Run result = run(args, point);
    QCOMPARE(result.status, status);
    QVERIFY(result.out.startsWith(outStart));
    if (status == 2)
        QVERIFY(result.err.startsWith("Usage: quarvet-cli"));
}

void TestCli::decode_data()
{
    const QByteArray worked = workedMemoryText;
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("worked example") << worked + "\n" << 0 << QByteArray("2710 01F4 26FF 04B0\n");
    QTest::newRow("empty line, windows line end") << "\n" + worked + "\r\n"
                                                  << 0 << QByteArray("\n2710 01F4 26FF 04B0\n");
    QTest::newRow("one line each, errors included")
        << "nicht in BASIS Version\n" + worked.left(3) + "1" + worked.mid(4) << 1
        << QByteArray("error: record 1: the value field is missing (the text ends too early)\n"
                      "2710 01F4 - -\n");
}

void TestCli::decode()
{
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run result = run({"decode"}, point, input);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
}

void TestCli::decodeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dump.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(workedMemoryText);
    file.close();
    Run result = run({"decode", path}, point);
    QCOMPARE(result.out, QByteArray("2710 01F4 26FF 04B0\n"));
    QCOMPARE(result.status, 0);
    result = run({"decode", dir.filePath("missing.txt")}, point);
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.startsWith("quarvet-cli: cannot read "));
}

void TestCli::readReportsTheLink()
{
    const Run result = run({"read"}, point);
    QCOMPARE(result.err, QByteArray("instrument answered: nicht in BASIS Version\n"));
    QCOMPARE(result.out,
             QByteArray("error: record 1: the value field is missing (the text ends too early)\n"));
    QCOMPARE(result.status, 1);
}

void TestCli::hostileEntries_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("reading");
    QTest::newRow("a megabyte of digits") << QByteArray(1 << 20, '7') << QByteArray("out of range");
    QTest::newRow("a megabyte of fraction")
        << "0." + QByteArray(1 << 20, '5') << QByteArray("0.5555555555555556");
    QTest::newRow("control characters") << QByteArray("1\x01\x1b[2J") << QByteArray("not a number");
    QTest::newRow("invalid utf-8") << QByteArray("\xff\xfe"
                                                 "12")
                                   << QByteArray("not a number");
    QTest::newRow("lone continuation byte") << QByteArray("12\x80") << QByteArray("not a number");
}

void TestCli::hostileEntries()
{
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, reading);
    const std::string text = entry.toStdString();
    quarvet::cli::StringSource in("");
    quarvet::cli::StringSink out;
    quarvet::cli::StringSink err;
    QCOMPARE(quarvet::cli::run({"value", text}, point, {in, out, err}), 0);
    QCOMPARE(QByteArray::fromStdString(out.text()), reading + "\n");
    quarvet::cli::StringSink calcOut;
    quarvet::cli::StringSink calcErr;
    QCOMPARE(quarvet::cli::run({"calc", text, "100", "0", "99"}, point, {in, calcOut, calcErr}),
             reading.startsWith("0.") ? 0 : 1);
    if (!reading.startsWith("0."))
        QVERIFY(calcErr.text().find("Target temperature 1") != std::string::npos);
}

void TestCli::splitWords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("blanks") << QByteArray("a b  c") << QStringList{"a", "b", "c"};
    QTest::newRow("tabs and ends") << QByteArray("\t a\tb \t") << QStringList{"a", "b"};
    QTest::newRow("empty") << QByteArray("") << QStringList{};
    QTest::newRow("blanks only") << QByteArray(" \t ") << QStringList{};
}

void TestCli::splitWords()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, words);
    QStringList got;
    for (const std::string& word : quarvet::cli::splitWords(line.toStdString()))
        got << QString::fromStdString(word);
    QCOMPARE(got, words);
}

// The installed tool takes its separators from the environment, as Qt reads it.
void TestCli::toolReadsLocaleFromEnvironment_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("english") << "LANG"
                             << "en_US.UTF-8" << QByteArray("27A8 FE04\n");
    QTest::newRow("german") << "LANG"
                            << "de_DE.UTF-8" << QByteArray("298E EB38\n");
    QTest::newRow("german, LC_ALL") << "LC_ALL"
                                    << "de_DE.UTF-8" << QByteArray("298E EB38\n");
    QTest::newRow("unknown locale name") << "LC_ALL"
                                         << "xx_YY.UTF-8" << QByteArray("27A8 FE04\n");
    QTest::newRow("empty") << "LANG"
                           << "" << QByteArray("27A8 FE04\n");
}

void TestCli::toolReadsLocaleFromEnvironment()
{
    QFETCH(QString, variable);
    QFETCH(QString, lang);
    QFETCH(QByteArray, out);
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"})
        env.remove(name);
    env.insert(variable, lang);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(QUARVET_CLI), {"calc", "0", "100", "0.5", "99"});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.readAllStandardOutput(), out);
    QCOMPARE(tool.exitCode(), 0);
}

void TestCli::longLinesAndByteOrderMark_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    const QByteArray limit(mebibyte, '7');
    QTest::newRow("a line of exactly 1 MiB is read") << QStringList{"value"} << limit + "\n5\n"
                                                     << 0 << QByteArray("out of range\n5\n");
    QTest::newRow("a line of 1 MiB ending in CR LF is read")
        << QStringList{"value"} << limit + "\r\n5\n"
        << 0 << QByteArray("out of range\n5\n");
    QTest::newRow("one byte more is answered and skipped")
        << QStringList{"value"} << limit + "7\n5\n"
        << 1 << QByteArray("error: line 1 is longer than 1 MiB\n5\n");
    QTest::newRow("calc goes on after a long line")
        << QStringList{"calc"}
        << "0 100 0.5 99\n" + QByteArray(3 * mebibyte + 5, ' ') + "\n20 80 20 80" << 1
        << QByteArray("27A8 FE04\nerror: line 2 is longer than 1 MiB\n2710 0000\n");
    QTest::newRow("long last line without line feed")
        << QStringList{"decode"} << workedMemoryText + "\n" + QByteArray(mebibyte + 1, '0') << 1
        << QByteArray("2710 01F4 26FF 04B0\nerror: line 2 is longer than 1 MiB\n");
    QTest::newRow("mark before calc input")
        << QStringList{"calc"} << byteOrderMark + "0 100 0.5 99\n"
        << 0 << QByteArray("27A8 FE04\n");
    QTest::newRow("mark before value input") << QStringList{"value"} << byteOrderMark + "12.5\n"
                                             << 0 << QByteArray("12.5\n");
    QTest::newRow("mark before decode input")
        << QStringList{"decode"} << byteOrderMark + workedMemoryText << 0
        << QByteArray("2710 01F4 26FF 04B0\n");
    QTest::newRow("mark alone") << QStringList{"value"} << byteOrderMark << 0 << QByteArray();
    QTest::newRow("mark only at the start") << QStringList{"value"} << "1\n" + byteOrderMark + "2\n"
                                            << 0 << QByteArray("1\nnot a number\n");
    QTest::newRow("part of a mark is text") << QStringList{"value"}
                                            << QByteArray("\xEF\xBB"
                                                          "2\n")
                                            << 0 << QByteArray("not a number\n");
}

void TestCli::longLinesAndByteOrderMark()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run result = run(args, point, input);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
}

void TestCli::streamFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("failAfter");   // -1: input never fails
    QTest::addColumn<int>("outCapacity"); // -1: output takes everything
    QTest::addColumn<int>("errCapacity");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray readError = "quarvet-cli: cannot read standard input: Input/output error\n";
    const QByteArray fullOutput =
        "quarvet-cli: cannot write to standard output: No space left on device\n";
    const QByteArray twoLines = "0 100 0.5 99\n20 80 20 80\n";
    QTest::newRow("calc: read fails in line 2, line 1 answered")
        << QStringList{"calc"} << twoLines << 16 << -1 << -1 << QByteArray("27A8 FE04\n")
        << readError;
    QTest::newRow("value: read fails at once")
        << QStringList{"value"} << QByteArray("1\n") << 0 << -1 << -1 << QByteArray() << readError;
    QTest::newRow("decode: read fails at once")
        << QStringList{"decode"} << workedMemoryText << 0 << -1 << -1 << QByteArray() << readError;
    QTest::newRow("calc arguments: full output")
        << QStringList{"calc", "0", "100", "0.5", "99"} << QByteArray() << -1 << 0 << -1
        << QByteArray() << fullOutput;
    QTest::newRow("calc lines: output full after line 1")
        << QStringList{"calc"} << twoLines.repeated(20000) << -1 << 10 << -1 << QByteArray()
        << fullOutput;
    QTest::newRow("value arguments: full output")
        << QStringList{"value", "1"} << QByteArray() << -1 << 0 << -1 << QByteArray() << fullOutput;
    QTest::newRow("decode: full output")
        << QStringList{"decode"} << workedMemoryText << -1 << 0 << -1 << QByteArray() << fullOutput;
    QTest::newRow("version: full output")
        << QStringList{"--version"} << QByteArray() << -1 << 0 << -1 << QByteArray() << fullOutput;
    QTest::newRow("help: full output")
        << QStringList{"--help"} << QByteArray() << -1 << 100 << -1 << QByteArray() << fullOutput;
    QTest::newRow("answers before a warning that cannot be shown still go out")
        << QStringList{"calc"} << QByteArray("0 100 0.5 99\n0 100 0,5 99\n20 80 20 80\n") << -1
        << -1 << 0 << QByteArray("27A8 FE04\n") << QByteArray();
    QTest::newRow("a warning that cannot be shown fails the run")
        << QStringList{"calc", "0", "1,5", "0", "1"} << QByteArray() << -1 << -1 << 0
        << QByteArray() << QByteArray();
}

void TestCli::streamFailures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, failAfter);
    QFETCH(int, outCapacity);
    QFETCH(int, errCapacity);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const auto limit = [](int n) { return n < 0 ? std::string::npos : std::size_t(n); };
    const StreamRun result =
        runWithLimits(args, input, limit(failAfter), limit(outCapacity), limit(errCapacity));
    QCOMPARE(QByteArray::fromStdString(result.out), out);
    QCOMPARE(QByteArray::fromStdString(result.err), err);
    QCOMPARE(result.status, 1);
}

void TestCli::toolStreams_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("errPart");
    const QByteArray codes = "2710 01F4 26FF 04B0\n";
    QTest::newRow("full disk") << R"("$CLI" calc 0 100 0.5 99 >/dev/full)" << 1 << QByteArray()
                               << QByteArray("cannot write to standard output: No space left");
    QTest::newRow("closed standard output")
        << R"("$CLI" calc 0 100 0.5 99 >&-)" << 1 << QByteArray()
        << QByteArray("cannot write to standard output: Bad file descriptor");
    QTest::newRow("reader gone, SIGPIPE ignored")
        << R"(trap '' PIPE; yes '0 100 0.5 99' | "$CLI" calc | head -n 1; exit ${PIPESTATUS[1]})"
        << 1 << QByteArray("27A8 FE04\n")
        << QByteArray("cannot write to standard output: Broken pipe");
    QTest::newRow("a folder to decode")
        << R"("$CLI" decode "$DIR")" << 1 << QByteArray() << QByteArray(": Is a directory");
    QTest::newRow("memory that cannot be read")
        << R"("$CLI" decode /proc/self/mem)" << 1 << QByteArray()
        << QByteArray("cannot read /proc/self/mem: Input/output error");
    QTest::newRow("a folder as standard input")
        << R"("$CLI" calc <"$DIR")" << 1 << QByteArray()
        << QByteArray("cannot read standard input: Is a directory");
    QTest::newRow("closed standard input")
        << R"("$CLI" value <&-)" << 1 << QByteArray()
        << QByteArray("cannot read standard input: Bad file descriptor");
    QTest::newRow("closed standard input named as a file")
        << R"("$CLI" decode /dev/stdin <&-)" << 1 << QByteArray()
        << QByteArray("cannot read /dev/stdin: Bad file descriptor");
    QTest::newRow("closed standard input named by its descriptor")
        << R"("$CLI" decode /proc/self/fd/0 <&-)" << 1 << QByteArray()
        << QByteArray("cannot read /proc/self/fd/0: Bad file descriptor");
    QTest::newRow("an open standard input named as a file")
        << R"("$CLI" decode /dev/stdin <"$DIR/dump.txt")" << 0
        << QByteArray("2710 01F4 26FF 04B0\n") << QByteArray();
    QTest::newRow("a file to decode does not become standard input")
        << R"("$CLI" decode "$DIR/dump.txt" <&-)" << 0 << codes << QByteArray();
    QTest::newRow("a file to decode does not become standard output")
        << R"("$CLI" decode "$DIR/dump.txt" >&-)" << 1 << QByteArray()
        << QByteArray("cannot write to standard output: Bad file descriptor");
    QTest::newRow("a file name that would move the cursor")
        << R"("$CLI" decode "$DIR/"$'\e[2J')" << 1 << QByteArray()
        << QByteArray("/\\x1B[2J: No such file or directory");
}

void TestCli::toolStreams()
{
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, errPart);
    QTemporaryDir dir;
    QFile dump(dir.filePath("dump.txt"));
    QVERIFY(dump.open(QIODevice::WriteOnly) && dump.write(workedMemoryText) > 0);
    dump.close();
    const ShellRun result = runTool(script, dir.path());
    QVERIFY2(result.finished, "the tool did not end");
    QCOMPARE(result.out, out);
    QVERIFY2(result.err.contains(errPart), result.err.constData());
    QCOMPARE(result.status, status);
}

// Memory does not grow with the input: a 64 MiB line costs what a short one does, give or
// take the one buffer of a line's limit.
void TestCli::memoryStaysFlat()
{
    const long small = peakResidentKiB(10);
    const long large = peakResidentKiB(64 * std::size_t(mebibyte));
    QVERIFY(small > 0 && large > 0);
    QVERIFY2(large - small < 16 * 1024,
             qPrintable(QStringLiteral("%1 KiB against %2 KiB").arg(large).arg(small)));
}

void TestCli::verifyAtTheLimits_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("reading"); // at 0 °C
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    // T = 0.1 and U = 0.03: the limits T − U, T and T + U, and just past each.
    const auto row = [](const char* rule, const char* reading, int status, const char* verdict) {
        QTest::addRow("%s %s", rule, reading) << rule << reading << status << verdict;
    };
    row("guarded", "0.07", 0, "Pass");
    row("guarded", "-0.0701", 3, "Fail");
    row("guarded", "0.1", 3, "Fail");
    row("simple", "0.1", 0, "Pass");
    row("simple", "0.1001", 3, "Fail");
    row("non-binary", "0.07", 0, "Pass");
    row("non-binary", "0.0701", 0, "Conditional pass");
    row("non-binary", "-0.1", 0, "Conditional pass");
    row("non-binary", "0.1001", 3, "Conditional fail");
    row("non-binary", "0.13", 3, "Conditional fail");
    row("non-binary", "0.1301", 3, "Fail");
}

// verify's verdict and exit status at the limits of each rule.
void TestCli::verifyAtTheLimits()
{
    QFETCH(QString, rule);
    QFETCH(QString, reading);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    const Run result = run({"verify", "--tolerance", "0.1", "--uncertainty", "0.03", "--rule", rule,
                            "--json", "0", reading},
                           point);
    QCOMPARE(result.status, status);
    const QJsonObject said = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(said["verdict"].toString(), verdict);
    QCOMPARE(said["points"].toArray()[0].toObject()["verdict"].toString(), verdict);
}

void TestCli::adjustmentCommands_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("errStart");
    const QByteArray worked =
        "{\"slopeCode\":\"27A8\",\"offsetCode\":\"FE04\",\"slope\":1.015228426395939,"
        "\"offset\":-0.507614213197968,\"appliedSlope\":1.0152,\"appliedOffset\":-0.508,"
        "\"slopeWraps\":false,\"offsetWraps\":false,\"points\":[{\"target\":0,"
        "\"indicated\":0.5,\"raw\":0.5,\"asLeft\":-0.00039999999999995595,"
        "\"error\":-0.00039999999999995595},{\"target\":100,\"indicated\":99,\"raw\":99,"
        "\"asLeft\":99.99680000000002,\"error\":-0.0031999999999783313}],"
        "\"largestError\":0.0031999999999783313}\n";
    const QByteArray none;
    QTest::newRow("check, worked example")
        << QStringList{"check", "--json", "0", "100", "0.5", "99.0"} << none << 0 << worked << none;
    QTest::newRow("check, options after entries")
        << QStringList{"check", "0", "100", "0.5", "99.0", "--json"} << none << 0 << worked << none;
    QTest::newRow("check under current codes, lower case")
        << QStringList{"check", "--current", "2710", "01f4", "--json", "0", "100", "1", "99.5"}
        << none << 0
        << QByteArray(worked)
               .replace("\"indicated\":0.5", "\"indicated\":1")
               .replace("\"indicated\":99,", "\"indicated\":99.5,")
        << none;
    QTest::newRow("fit of the same two points, from standard input")
        << QStringList{"fit", "--json"} << QByteArray("0 0.5\n\n100 99.0\n") << 0 << worked << none;
    QTest::newRow("check, table names the wrap")
        << QStringList{"check", "0", "70", "0", "10"} << none << 0
        << QByteArray("slope code   1170  applies 0.4464  (line 7)\n"
                      "offset code  0000  applies 0 \xC2\xB0"
                      "C  (line 0 \xC2\xB0"
                      "C)\n"
                      "warning: the slope does not fit its code: the instrument will apply "
                      "0.4464, not 7\n"
                      "point\ttarget\tindicated\traw\tas-left\terror\n"
                      "1\t0\t0\t0\t0\t0\n2\t70\t10\t10\t4.464\t-65.536\n"
                      "largest error 65.536 \xC2\xB0"
                      "C\n")
        << none;
    QTest::newRow("verify passes")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty",
                       "0.02",   "--json",      "0",   "0.08"}
        << none << 0
        << QByteArray("{\"tolerance\":0.1,\"uncertainty\":0.02,\"rule\":\"guarded acceptance: pass "
                      "when |error| "
                      "\xE2\x89\xA4 tolerance \xE2\x88\x92 U (guard band w = U = 0.02)\","
                      "\"points\":[{\"target\":0,\"reading\":0.08,\"error\":0.08,"
                      "\"verdict\":\"Pass\",\"pass\":true}],\"verdict\":\"Pass\",\"pass\":true}\n")
        << none;
    // The uncertainty no smaller than the tolerance: nothing passes, and only a reading off by
    // more than T + U fails.
    QTest::newRow("verify not judged exits 5")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty", "0.1", "0", "0"} << none
        << 5
        << QByteArray(
               "tolerance 0.1, uncertainty 0.1\n"
               "rule: guarded acceptance: pass when |error| \xE2\x89\xA4 tolerance \xE2\x88\x92 "
               "U (guard band w = U = 0.1)\npoint\ttarget\treading\terror\tverdict\n"
               "1\t0\t0\t0.00\tnot judged\nverdict: Not judged\nNot judged: the uncertainty "
               "is not smaller than the tolerance, so no reading can be shown to pass, "
               "and none verified is off by more than the tolerance plus the uncertainty, which "
               "alone shows a failure.\n")
        << none;
    QTest::newRow("verify: 5 off with U above T fails beyond doubt, exit 3")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty", "0.2", "0", "5"} << none
        << 3
        << QByteArray(
               "tolerance 0.1, uncertainty 0.2\n"
               "rule: guarded acceptance: pass when |error| \xE2\x89\xA4 tolerance \xE2\x88\x92 "
               "U (guard band w = U = 0.2)\npoint\ttarget\treading\terror\tverdict\n"
               "1\t0\t5\t5.00\tfail\nverdict: Fail\n")
        << none;
    QTest::newRow("verify simple acceptance passes on the tolerance")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty", "0.02", "--rule",
                       "simple", "--json",      "0",   "-0.1"}
        << none << 0
        << QByteArray(
               "{\"tolerance\":0.1,\"uncertainty\":0.02,\"rule\":\"simple acceptance: "
               "pass when |error| \xE2\x89\xA4 tolerance (guard band = 0; the risk of a wrong "
               "decision is shared)\",\"points\":[{\"target\":0,\"reading\":-0.1,"
               "\"error\":-0.1,\"verdict\":\"Pass\",\"pass\":true}],\"verdict\":\"Pass\","
               "\"pass\":true}\n")
        << none;
    QTest::newRow("verify non-binary: a conditional fail exits 3")
        << QStringList{"verify",     "--tolerance", "0.1",  "--uncertainty", "0.02",  "--rule",
                       "non-binary", "0",           "0.09", "100",           "100.11"}
        << none << 3
        << QByteArray("tolerance 0.1, uncertainty 0.02\nrule: non-binary: pass, conditional pass, "
                      "conditional fail or fail from |error| \xC2\xB1 U against the "
                      "tolerance (U = 0.02)\npoint\ttarget\treading\terror\tverdict\n"
                      "1\t0\t0.09\t0.090\tconditional "
                      "pass\n2\t100\t100.11\t0.110\tconditional fail\n"
                      "verdict: Conditional fail\n")
        << none;
    QTest::newRow("verify non-binary: a conditional pass exits 0")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty", "0.02",
                       "--rule", "non-binary",  "0",   "0.09"}
        << none << 0
        << QByteArray("tolerance 0.1, uncertainty 0.02\nrule: non-binary: pass, conditional pass, "
                      "conditional fail or fail from |error| \xC2\xB1 U against the "
                      "tolerance (U = 0.02)\npoint\ttarget\treading\terror\tverdict\n"
                      "1\t0\t0.09\t0.090\tconditional pass\nverdict: Conditional pass\n")
        << none;
    QTest::newRow("verify with an unknown rule")
        << QStringList{"verify", "--tolerance", "0.1", "--rule", "sloppy", "0", "0"} << none << 2
        << none
        << QByteArray("quarvet-cli: --rule is guarded, simple or non-binary, not 'sloppy'\n");
    QTest::newRow("verify fails with 3")
        << QStringList{"verify", "--tolerance", "0.1", "--uncertainty", "0.02", "100", "100.081"}
        << none << 3
        << QByteArray(
               "tolerance 0.1, uncertainty 0.02\n"
               "rule: guarded acceptance: pass when |error| \xE2\x89\xA4 tolerance \xE2\x88\x92 "
               "U (guard band w = U = 0.02)\npoint\ttarget\treading\terror\tverdict\n"
               "1\t100\t100.081\t0.081\tfail\nverdict: Fail\n")
        << none;
    // The type table as the records take it: model numbers and the constants of their lines.
    QTest::newRow("types")
        << QStringList{"types"} << none << 0
        << QByteArray("1\t731\t1\t0\n2\t736\t1\t3\n3\t742\t1\t0\n4\t745\t1\t3\n5\t753\t2\t0\n"
                      "6\t758\t2\t4\n7\t761\t1\t2\n8\t739\t0\t3\n")
        << none;
    QTest::newRow("types as JSON lines")
        << QStringList{"types", "--format", "json"} << none << 0
        << QByteArray("{\"type\":1,\"model\":731,\"line1\":1,\"line2\":0}\n"
                      "{\"type\":2,\"model\":736,\"line1\":1,\"line2\":3}\n"
                      "{\"type\":3,\"model\":742,\"line1\":1,\"line2\":0}\n"
                      "{\"type\":4,\"model\":745,\"line1\":1,\"line2\":3}\n"
                      "{\"type\":5,\"model\":753,\"line1\":2,\"line2\":0}\n"
                      "{\"type\":6,\"model\":758,\"line1\":2,\"line2\":4}\n"
                      "{\"type\":7,\"model\":761,\"line1\":1,\"line2\":2}\n"
                      "{\"type\":8,\"model\":739,\"line1\":0,\"line2\":3}\n")
        << none;
    QTest::newRow("types in an unknown format")
        << QStringList{"types", "--format", "xml"} << none << 2 << none
        << QByteArray("quarvet-cli: types takes --format text, csv or json\n");
    // README's example, from the file it ships: each kind of memory text, and one that fails.
    QTest::newRow("decode the memory texts of the examples")
        << QStringList{"decode", EXAMPLES "/memory-texts.txt"} << none << 1
        << QByteArray("2710 01F4 26FF 04B0\n2710 01F4 - -\n- - 26FF 04B0\n- - - -\nerror: record "
                      "1: the slope field \"ZZ10\" is not hexadecimal\n")
        << none;
    QTest::newRow("wrong entries are named")
        << QStringList{"fit", "0", "x", "50", "50", "y", "100"} << none << 1 << none
        << QByteArray("Following Inputs are wrong:\n\nIndicated temperature 1\n"
                      "Target temperature 3\n");
    QTest::newRow("tolerance of 0 is a wrong entry")
        << QStringList{"verify", "--tolerance", "0", "0", "0"} << none << 1 << none
        << QByteArray("The tolerance must be greater than 0.\n");
    QTest::newRow("current slope of 0")
        << QStringList{"check", "--current", "0000", "0000", "0", "1", "2", "3"} << none << 1
        << none << QByteArray("The current slope code stands for a slope of 0.");
    QTest::newRow("a code that is no code")
        << QStringList{"check", "--current", "27A", "0000", "0", "1", "2", "3"} << none << 2 << none
        << QByteArray("quarvet-cli: --current takes two codes");
    QTest::newRow("unknown option") << QStringList{"fit", "--fast", "0", "1", "2", "3"} << none << 2
                                    << none << QByteArray("quarvet-cli: unknown option");
    QTest::newRow("fit, an odd number of entries")
        << QStringList{"fit", "0", "1", "2"} << none << 2 << none
        << QByteArray("quarvet-cli: fit takes pairs");
    QTest::newRow("fit, a line of three entries")
        << QStringList{"fit"} << QByteArray("0 1\n2 3 4\n") << 2 << none
        << QByteArray("quarvet-cli: line 2:");
    QTest::newRow("tolerance without a value")
        << QStringList{"verify", "--tolerance"} << none << 2 << none
        << QByteArray("quarvet-cli: --tolerance takes a value");
    QTest::newRow("a tolerance given twice")
        << QStringList{"verify", "--tolerance", "0.1", "--tolerance", "5", "0", "1"} << none << 2
        << none << QByteArray("quarvet-cli: --tolerance is given twice");
    QTest::newRow("current codes given twice")
        << QStringList{"check", "--current", "2710", "0000", "--current", "2710",
                       "0001",  "0",         "100",  "0.5",  "99"}
        << none << 2 << none << QByteArray("quarvet-cli: --current is given twice");
    QTest::newRow("an option is no tolerance")
        << QStringList{"verify", "--tolerance", "--json", "0", "0"} << none << 2 << none
        << QByteArray("quarvet-cli: --tolerance takes a value");
    QTest::newRow("fit, a line over 1 MiB goes to standard error")
        << QStringList{"fit", "--json"} << "0 0.5\n" + QByteArray(mebibyte + 1, '1') + "\n100 99\n"
        << 1 << none << QByteArray("quarvet-cli: line 2 is longer than 1 MiB\n");
    QTest::newRow("raw readings that overflow are too large, not equal")
        << QStringList{"check", "--current", "0001", "0000", "0", "100", "1e305", "1.1e305"} << none
        << 1 << none << QByteArray("The values are too large to be calculated with.");
    QTest::newRow("three equal indicated values")
        << QStringList{"fit", "0", "5", "50", "5", "100", "5"} << none << 1 << none
        << QByteArray("All indicated values are equal");
    QTest::newRow("verify without tolerance") << QStringList{"verify", "0", "0"} << none << 2
                                              << none << QByteArray("quarvet-cli: verify takes");
}

void TestCli::checkWithASetUp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<double>>("indicated"); // per point, as the line used it
    QTest::addColumn<QList<double>>("U");         // per point; none without a set-up
    QTest::addColumn<QByteArray>("says");         // a part of standard error
    const QStringList entries{"--json", "0", "100", "0.5", "99"};
    QTest::newRow("no set-up: no U") << QStringList{"check"} + entries << 0
                                     << QList<double>{0.5, 99} << QList<double>{} << QByteArray();
    QTest::newRow("the reference and the display")
        << QStringList{"check", "--reference-u", "0.02"} + entries << 0 << QList<double>{0.5, 99}
        << QList<double>{0.021, 0.021} << QByteArray();
    // The point's mean is its indicated value; three readings there give its Type A term.
    QTest::newRow("further readings at point 2")
        << QStringList{"check", "--reference-u", "0.02", "--reading", "2",
                       "99.1",  "--reading",     "2",    "99.2"} +
               entries
        << 0 << QList<double>{0.5, 99.1} << QList<double>{0.021, 0.25} << QByteArray();
    QTest::newRow("a reading at no point")
        << QStringList{"check", "--reading", "3", "1"} + entries << 2 << QList<double>{}
        << QList<double>{} << QByteArray("none of 1 to 2");
    QTest::newRow("a reading that is no number")
        << QStringList{"check", "--reading", "1", "x"} + entries << 1 << QList<double>{}
        << QList<double>{} << QByteArray("Further reading 1");
    QTest::newRow("a set-up without the reference's U")
        << QStringList{"check", "--drift", "0.5"} + entries << 2 << QList<double>{}
        << QList<double>{} << QByteArray("only with --reference-u");
    QTest::newRow("a set-up option twice")
        << QStringList{"check", "--drift", "1", "--drift", "2"} + entries << 2 << QList<double>{}
        << QList<double>{} << QByteArray("--drift is given twice");
}

// With its U, each point's mean and error are written to the place of U's last figure, as a
// certificate writes them; without one, as computed.
void TestCli::checkTextToTheFiguresOfU()
{
    const Run withU = run({"check", "--reference-u", "0.02", "0", "100", "0.5", "99"}, point);
    QCOMPARE(withU.status, 0);
    QVERIFY2(QRegularExpression("\\n1\\t0\\t0\\.500\\t\\S+\\t\\S+\\t0\\.000\\t0\\.021\\t2\\.00\\n")
                 .match(QString::fromUtf8(withU.out))
                 .hasMatch(),
             withU.out.constData());
    const Run without = run({"check", "0", "100", "0.5", "99"}, point);
    QVERIFY2(without.out.contains("\n1\t0\t0.5\t"), without.out.constData());
}

void TestCli::checkWithASetUp()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QList<double>, indicated);
    QFETCH(QList<double>, U);
    QFETCH(QByteArray, says);
    const Run result = run(args, point);
    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains(says), result.err.constData());
    if (status != 0)
        return;
    const QJsonArray points = QJsonDocument::fromJson(result.out).object()["points"].toArray();
    QCOMPARE(points.size(), indicated.size());
    for (qsizetype n = 0; n < points.size(); ++n) {
        const QJsonObject shown = points[n].toObject();
        QCOMPARE(shown["indicated"].toDouble(), indicated[n]);
        QCOMPARE(shown.contains("U"), !U.isEmpty());
        if (!U.isEmpty())
            QCOMPARE(shown["U"].toDouble(), U[n]);
    }
}

void TestCli::budgetCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("components"); // in the JSON, when it is read
    QTest::addColumn<double>("U");
    QTest::addColumn<QByteArray>("says"); // a part of standard output, or of standard error
    QTest::newRow("five readings at 100 °C")
        << QStringList{"budget",       "--reference-u", "0.020",       "--drift", "0.010",
                       "--uniformity", "0.010",         "--stability", "0.005",   "--json",
                       "99.99",        "100.00",        "100.01",      "99.99",   "100.00"}
        << 0 << 6 << 0.029 << QByteArray("\"nuEff\":794.70");
    QTest::newRow("one reading: Type B only, k = 2")
        << QStringList{"budget", "--reference-u", "0.02", "--json", "100"} << 0 << 2 << 0.021
        << QByteArray("\"nuEff\":null,\"k\":2,");
    QTest::newRow("the table says a single reading gives no Type A term")
        << QStringList{"budget", "--reference-u", "0.02", "100"} << 0 << 0 << 0.0
        << QByteArray("one reading: no Type A term\n");
    QTest::newRow("a reading that is none")
        << QStringList{"budget", "--reference-u", "0.02", "100", "x"} << 1 << 0 << 0.0
        << QByteArray("Reading 2");
    QTest::newRow("a negative drift")
        << QStringList{"budget", "--reference-u", "0.02", "--drift", "-0.1", "100"} << 1 << 0 << 0.0
        << QByteArray("below zero");
    QTest::newRow("without the reference's U") << QStringList{"budget", "100"} << 2 << 0 << 0.0
                                               << QByteArray("budget takes --reference-u");
    // A reference of U 0 would leave the resolution alone to make U: no result is perfect.
    QTest::newRow("the reference's U 0")
        << QStringList{"budget", "--reference-u", "0", "--resolution", "0", "5", "5"} << 1 << 0
        << 0.0 << QByteArray("must be a number above 0");
    QTest::newRow("the reference's U -0") << QStringList{"budget", "--reference-u", "-0", "5"} << 1
                                          << 0 << 0.0 << QByteArray("must be a number above 0");
    QTest::newRow("check with the reference's U 0")
        << QStringList{"check", "--reference-u", "0", "0", "100", "0.5", "99"} << 1 << 0 << 0.0
        << QByteArray("must be a number above 0");
    QTest::newRow("an option twice")
        << QStringList{"budget", "--reference-u", "0.02", "--drift", "1", "--drift", "2", "100"}
        << 2 << 0 << 0.0 << QByteArray("--drift is given twice");
    // An option's value missing, last or before another option: said, never a crash.
    QTest::newRow("a value missing at the end")
        << QStringList{"budget", "--reference-u", "0.02", "1", "--resolution"} << 2 << 0 << 0.0
        << QByteArray("--resolution takes a value");
    QTest::newRow("a value missing before an option")
        << QStringList{"budget", "--reference-u", "--json", "1"} << 2 << 0 << 0.0
        << QByteArray("--reference-u takes a value");
    // The mean as the budget reports it: to the decimal place of its U (0.021: three).
    QTest::newRow("the mean to the decimals of U")
        << QStringList{"budget", "--reference-u", "0.02", "0.1234"} << 0 << 0 << 0.0
        << QByteArray("mean 0.123\n");
}

// The budget of the worked example to the digits given, the one-reading case, and what is
// refused.
void TestCli::budgetCommand()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(int, components);
    QFETCH(double, U);
    QFETCH(QByteArray, says);
    const Run result = run(args, point);
    QCOMPARE(result.status, status);
    QVERIFY2((result.out + result.err).contains(says), (result.out + result.err).constData());
    if (components == 0)
        return;
    const QJsonObject budget = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(budget["components"].toArray().size(), components);
    QCOMPARE(budget["U"].toDouble(), U);
    for (const char* key : {"n", "mean", "s", "uc", "nuEff", "k", "expanded"})
        QVERIFY2(budget.contains(key), key);
}

void TestCli::adjustmentCommands()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, errStart);
    const Run result = run(args, point, input);
    QCOMPARE(result.out, out);
    QVERIFY2(result.err.startsWith(errStart), result.err.constData());
    QCOMPARE(result.status, status);
}

// check with neutral codes gives calc's codes for every case calc is tested with.
// In a locale where the point groups digits, an entry with a point reads as another number:
// check and fit say so as calc does; verify and budget, which judge by the number, refuse it
// (a tolerance of 0.1 was judged as 1, with exit 0).
void TestCli::adjustmentCommandsWarnOfSeparators()
{
    const QByteArray refused = "holds '.', which this locale does not read as a decimal "
                               "separator (',' it does): the result would be worked out from "
                               "another number than the one meant.\n";
    const Run verified = run({"verify", "--tolerance", "0.1", "0", "0,9"}, comma);
    QCOMPARE(verified.err, "quarvet-cli: Tolerance '0.1' " + refused);
    QCOMPARE(verified.out, QByteArray());
    QCOMPARE(verified.status, 1);
    const Run reading = run({"verify", "--tolerance", "0,1", "0", "0.09"}, comma);
    QCOMPARE(reading.err, "quarvet-cli: Verification reading 1 '0.09' " + refused);
    QCOMPARE(reading.status, 1);
    const Run budget = run({"budget", "--reference-u", "0,04", "5", "5.1"}, comma);
    QCOMPARE(budget.err, "quarvet-cli: Reading 2 '5.1' " + refused);
    QCOMPARE(budget.out, QByteArray());
    QCOMPARE(budget.status, 1);
    const Run checked = run({"check", "0", "100", "0.5", "99"}, comma);
    QVERIFY(checked.err.startsWith("Following separator '.' is unknown."));
    QCOMPARE(checked.status, 0);
}

void TestCli::checkAgreesWithCalc_data()
{
    calcArguments_data();
}

void TestCli::checkAgreesWithCalc()
{
    QFETCH(bool, commaLocale);
    QFETCH(QStringList, entries);
    QFETCH(int, status);
    const Separators& separators = commaLocale ? comma : point;
    const Run calc = run(QStringList{"calc"} + entries, separators);
    const Run check = run(QStringList{"check", "--json"} + entries, separators);
    QCOMPARE(check.status, calc.status);
    if (status == 0) {
        const QByteArray codes = calc.out.trimmed();
        QVERIFY2(check.out.startsWith("{\"slopeCode\":\"" + codes.left(4) + "\",\"offsetCode\":\"" +
                                      codes.mid(5) + "\""),
                 check.out.constData());
    }
}

void TestCli::optionsReadFromTheirShapes_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("entries");  // EntryWords
    QTest::addColumn<QString>("read"); // option=values;... then | entries, or the fault
    const int anywhere = int(quarvet::cli::EntryWords::Anywhere);
    const int atEnd = int(quarvet::cli::EntryWords::AtEnd);
    const int none = int(quarvet::cli::EntryWords::None);
    QTest::newRow("entries among options, a negative one kept")
        << QStringList{"0", "--json", "-5", "--drift", "0.1"} << anywhere
        << "--drift=0.1;--json=;|0 -5";
    QTest::newRow("options end at the first entry")
        << QStringList{"--drift", "0.1", "0", "--json"} << atEnd << "--drift=0.1;|0 --json";
    QTest::newRow("no entries taken")
        << QStringList{"--drift", "0.1", "0"} << none << "unexpected word '0'";
    QTest::newRow("a repeating option keeps every value")
        << QStringList{"--reading", "1", "0.5", "--reading", "2", "99"} << anywhere
        << "--reading=1,0.5,2,99;|";
    QTest::newRow("given twice") << QStringList{"--drift", "1", "--drift", "2"} << anywhere
                                 << "--drift is given twice";
    QTest::newRow("unknown") << QStringList{"--colour", "red"} << anywhere
                             << "unknown option '--colour'";
    // Which words a value may be: not another option's name; not "--" anything; or any word,
    // said back when they are too few.
    QTest::newRow("a value that is an option's name")
        << QStringList{"--tolerance", "--json"} << anywhere << "--tolerance takes a value";
    QTest::newRow("a value that looks like an option")
        << QStringList{"--tolerance", "--5"} << anywhere << "--tolerance=--5;|";
    QTest::newRow("no double dash for a set-up value")
        << QStringList{"--drift", "--5"} << anywhere << "--drift takes a value";
    QTest::newRow("two words whatever they are")
        << QStringList{"--current", "--json", "0000"} << anywhere << "--current=--json,0000;|";
    QTest::newRow("too few, said back")
        << QStringList{"--current", "2710"} << anywhere << "--current takes two codes, not '2710'";
    QTest::newRow("a value missing after an option that read")
        << QStringList{"--tolerance", "0.1", "--drift"} << anywhere << "--drift takes a value";
    QTest::newRow("what a repeating option takes")
        << QStringList{"--reading", "1"} << anywhere
        << "--reading takes a point number and a reading";
}

void TestCli::optionsReadFromTheirShapes()
{
    QFETCH(QStringList, words);
    QFETCH(int, entries);
    QFETCH(QString, read);
    using quarvet::cli::ValueWords;
    const std::vector<quarvet::cli::OptionShape> shapes{
        {"--json", 0},
        {"--tolerance", 1},
        {"--drift", 1, false, ValueWords::NoDoubleDash},
        {"--current", 2, false, ValueWords::AnyWord, "two codes"},
        {"--reading", 2, true, ValueWords::NoDoubleDash, "a point number and a reading"}};
    std::vector<std::string> given;
    for (const QString& word : words)
        given.push_back(word.toStdString());
    const quarvet::cli::ReadWords got =
        quarvet::cli::readWords(given, shapes, quarvet::cli::EntryWords(entries));
    QString said = QString::fromStdString(got.fault);
    if (got.ok()) {
        for (const auto& [name, values] : got.options) {
            QStringList texts;
            for (const std::string& value : values)
                texts << QString::fromStdString(value);
            said += QString::fromStdString(name) + '=' + texts.join(',') + ';';
        }
        QStringList rest;
        for (const std::string& entry : got.entries)
            rest << QString::fromStdString(entry);
        said += '|' + rest.join(' ');
    }
    QCOMPARE(said, read);
    // Words that did not read leave nothing to act on: no option without its values.
    if (!got.ok())
        QVERIFY(got.options.empty() && got.entries.empty());
}

namespace {
std::atomic<bool> deadlinePassed{false};
}

void TestCli::deadlineWaitsForAnUpgradeThatSaysHowFarItIs_data()
{
    QTest::addColumn<bool>("told"); // the upgrade's reports reach the command line's own
    QTest::newRow("told: the deadline waits") << true;
    QTest::newRow("not told: the deadline passes") << false;
}

// The command's deadline for a store that does not answer passes when nothing is heard for
// longer than it, not while an upgrade tells how far it has come, however long that takes in
// all: here an upgrade of a first-version file slowed at each report, with a deadline shorter
// than the whole but longer than a step.
void TestCli::deadlineWaitsForAnUpgradeThatSaysHowFarItIs()
{
    using namespace std::chrono_literals;
    QFETCH(bool, told);
    QTemporaryDir dir;
    const QString path = dir.filePath("records.sqlite");
    QVERIFY(QFile::copy(QStringLiteral(FIXTURES "/schema1.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(quarvet::test::addCopies(path, 5000)); // seven reports, a page of a thousand apart
    quarvet::records::setUpgradeProgress([told](qint64 done, qint64 total) {
        if (told)
            quarvet::cli::showUpgradeProgress(done, total);
        QThread::msleep(700);
    });
    deadlinePassed = false;
    quarvet::records::Record record = quarvet::test::fixedRecord();
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.createdUtc = QDateTime::currentDateTimeUtc();
    {
        const quarvet::cli::StoreDeadline deadline(3000ms, [] { deadlinePassed = true; });
        QVERIFY(!quarvet::records::SqliteRecordStore(path).add(record).failed());
    }
    quarvet::records::setUpgradeProgress({});
    QCOMPARE(deadlinePassed.load(), !told);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
