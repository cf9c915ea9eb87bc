#include "cli/cli.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

using quarvet::calc::Separators;

namespace {

const Separators point{".", ","};
const Separators comma{",", "."};

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
    std::istringstream in(input.toStdString());
    std::ostringstream out;
    std::ostringstream err;
    const int status = quarvet::cli::run(words, separators, {in, out, err});
    return {status, QByteArray::fromStdString(out.str()), QByteArray::fromStdString(err.str())};
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
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
    QTest::newRow("warning keeps the result")
        << true << QStringList{"0", "12.5", "0", "1"} << 0 << QByteArray("12D0 0000\n")
        << QByteArray("Following separator '.' is unknown.\nThe correct separator is ',' !\n"
                      "Please check the entered values!\n");
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
    QTest::newRow("two good lines") << QByteArray("0 100 0.5 99\n20\t80  20 80\r\n") << 0
                                    << QByteArray("27A8 FE04\n2710 0000\n");
    QTest::newRow("one line per line, errors included")
        << QByteArray("0 100 0.5 99\n\n1 2 3\nx 1 2 y\n0 1 5 5\n0 100 1 101") << 1
        << QByteArray("27A8 FE04\n"
                      "error: expected four entries, found 0\n"
                      "error: expected four entries, found 3\n"
                      "error: Following Inputs are wrong: Target temperature 1, "
                      "Indicated temperature 2\n"
                      "error: The two indicated values are equal, so no slope can be "
                      "calculated. Please enter two different indicated values.\n"
                      "2710 FC18\n");
    QTest::newRow("no input") << QByteArray() << 0 << QByteArray();
}

void TestCli::calcLines()
{
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run result = run({"calc"}, point, input);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
}

void TestCli::values_data()
{
    QTest::addColumn<bool>("commaLocale");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("point locale") << false
                                  << QStringList{"12.5", "0.1", "1e-400", "-1e-400", "1e309", "12a"}
                                  << QByteArray()
                                  << QByteArray("12.5\n0.1\n0\n-0\nout of range\nnot a number\n");
    QTest::newRow("comma locale groups the point")
        << true << QStringList{"12.5", "12,5", "1.234,5"} << QByteArray()
        << QByteArray("125\n12.5\n1234.5\n");
    QTest::newRow("standard input, one entry a line")
        << false << QStringList{} << QByteArray("  7 \n\n1 2\r\n")
        << QByteArray("7\nnot a number\nnot a number\n");
}

void TestCli::values()
{
    QFETCH(bool, commaLocale);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, out);
    const Run result = run(QStringList{"value"} + entries, commaLocale ? comma : point, input);
    QCOMPARE(result.out, out);
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
    const QByteArray worked = "00020000000000000010270020A107000000052700702FFCFF0000FF2600804F1"
                              "2000000202700000000000000";
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
    file.write(
        "00020000000000000010270020A107000000052700702FFCFF0000FF2600804F12000000202700000000"
        "000000");
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
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(quarvet::cli::run({"value", text}, point, {in, out, err}), 0);
    QCOMPARE(QByteArray::fromStdString(out.str()), reading + "\n");
    std::ostringstream calcOut;
    std::ostringstream calcErr;
    QCOMPARE(quarvet::cli::run({"calc", text, "100", "0", "99"}, point, {in, calcOut, calcErr}),
             reading.startsWith("0.") ? 0 : 1);
    if (!reading.startsWith("0."))
        QVERIFY(calcErr.str().find("Target temperature 1") != std::string::npos);
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
