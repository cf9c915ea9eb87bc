#include "about/aboutwindow.h"
#include "about/registry.h"
#include "about/registryfile.h"
#include "about/registrylocation.h"
#include "about/sysinfo.h"
#include "about/systemregistry.h"
#include "openedwindows.h"
#include "recordingmessages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <set>
#include <sys/stat.h>

using namespace quarvet::about;
using Icon = quarvet::ui::MessageService::Icon;

Q_DECLARE_METATYPE(quarvet::about::SysInfoOutcome)
Q_DECLARE_METATYPE(quarvet::about::PathStyle)

namespace {

class RecordingLauncher final : public ProgramLauncher {
public:
    explicit RecordingLauncher(QStringList files = {}, bool starts = true)
        : files_(std::move(files)), starts_(starts)
    {
    }
    bool fileExists(const std::string& path) const override
    {
        return files_.contains(QString::fromStdString(path));
    }
    bool start(const std::string& path) override
    {
        started.append(QString::fromStdString(path));
        return starts_;
    }
    QStringList started;

private:
    QStringList files_;
    bool starts_;
};

const QByteArray msinfoSection =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const QByteArray locationSection =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";

QByteArray utf16WithMark(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void valueTexts_data();
    void valueTexts();
    void registryFile_data();
    void registryFile();
    void registryFileLocation_data();
    void registryFileLocation();
    void systemRegistryReadsTheNamedFile();
    void standInFiles_data();
    void standInFiles();
    void readsUntilTheEnd_data();
    void readsUntilTheEnd();
    void continuationLinesTakeLinearTime();
    void absolutePaths_data();
    void absolutePaths();
    void startSysInfo_data();
    void startSysInfo();

    void windowShowsTitleAndVersion();
    void linksOpenTheirAddress_data();
    void linksOpenTheirAddress();
    void sysInfoButton_data();
    void sysInfoButton();
    void okUnloads();

private:
    OpenedWindows opened_;
};

void TestAbout::cleanup()
{
    const QStringList strays = opened_.closeAndListStrays();
    QVERIFY2(strays.isEmpty(), qPrintable(strays.join(", ")));
}

void TestAbout::valueTexts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("text loses its terminator")
        << 1 << QByteArray("C:\\Tools\0", 9) << QByteArray("C:\\Tools");
    QTest::newRow("text without terminator") << 1 << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("only one zero goes") << 1 << QByteArray("ab\0\0", 4) << QByteArray("ab\0", 3);
    QTest::newRow("empty text") << 1 << QByteArray() << QByteArray();
    QTest::newRow("number 256 is no 16")
        << 4 << QByteArray("\x00\x01\x00\x00", 4) << QByteArray("256");
    QTest::newRow("number 31") << 4 << QByteArray("\x1f\x00\x00\x00", 4) << QByteArray("31");
    QTest::newRow("largest number")
        << 4 << QByteArray("\xff\xff\xff\xff", 4) << QByteArray("4294967295");
    QTest::newRow("binary leaves it") << 3 << QByteArray("\x01\x02") << QByteArray("before");
}

void TestAbout::valueTexts()
{
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, text);
    std::string keyVal = "before";
    registryValueText(type, std::string_view(data.constData(), data.size()), keyVal);
    QCOMPARE(QByteArray::fromStdString(keyVal), text);
}

void TestAbout::registryFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("text");
    const QByteArray v4 = "REGEDIT4\n\n" + msinfoSection;
    const QByteArray v5 = "Windows Registry Editor Version 5.00\r\n\r\n" + msinfoSection;
    const QString msinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    QTest::newRow("text value") << v4 + "\"PATH\"=\"/usr/bin/hardinfo\"\n"
                                << msinfo << "PATH" << true << "/usr/bin/hardinfo";
    QTest::newRow("escapes") << v5 + "\"PATH\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
                             << msinfo << "PATH" << true << "C:\\Program Files\\\"x\"";
    QTest::newRow("case does not matter") << v4 + "\"Path\"=\"x\"\n"
                                          << "software\\MICROSOFT\\shared tools\\msinfo"
                                          << "PATH" << true << "x";
    QTest::newRow("number") << v4 + "\"Size\"=dword:00000100\n"
                            << msinfo << "Size" << true << "256";
    QTest::newRow("default value") << v4 + "@=\"standard\"\n" << msinfo << "" << true << "standard";
    QTest::newRow("binary value keeps the text") << v4 + "\"Blob\"=hex:01,02,\\\n  03\n"
                                                 << msinfo << "Blob" << true << "before";
    QTest::newRow("missing value") << v4 + "\"PATH\"=\"x\"\n" << msinfo << "Other" << false << "";
    QTest::newRow("missing key") << v4 + "\"PATH\"=\"x\"\n"
                                 << "SOFTWARE\\Other"
                                 << "PATH" << false << "";
    QTest::newRow("value beyond the buffer") << v4 + "\"PATH\"=\"" + QByteArray(1100, 'x') + "\"\n"
                                             << msinfo << "PATH" << false << "";
    QTest::newRow("malformed lines are passed over")
        << v4 + "garbage\n\"Broken=\"x\n\"Bad\"=dword:xyz\n\"PATH\"=\"ok\"\n"
        << msinfo << "PATH" << true << "ok";
    QTest::newRow("unterminated text is no value") << v4 + "\"PATH\"=\"open\n"
                                                   << msinfo << "PATH" << false << "";
    QTest::newRow("deleted section has no values")
        << QByteArray("REGEDIT4\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
                      "\"PATH\"=\"x\"\n")
        << msinfo << "PATH" << false << "";
    QTest::newRow("utf-16 export")
        << utf16WithMark("Windows Registry Editor Version 5.00\r\n\r\n" + QString(msinfoSection) +
                         "\"PATH\"=\"C:\\\\Werkzeug\\\\größe\"\r\n")
        << msinfo << "PATH" << true << "C:\\Werkzeug\\größe";
    QTest::newRow("continued text value") << v4 + "\"Text\"=hex(1):41,\\\n  42,\\\n  00\n"
                                          << msinfo << "Text" << true << "AB";
    QTest::newRow("a continued value ends with its last line")
        << v4 + "\"Blob\"=hex:01,\\\n  02\n\"Odd\"=\"x\\\n\"PATH\"=\"ok\"\n"
        << msinfo << "PATH" << true << "ok";
    QTest::newRow("binary garbage")
        << QByteArray("\x00\xff[\x01]\n\"\"=", 10) << msinfo << "PATH" << false << "";
}

void TestAbout::registryFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(bool, found);
    QFETCH(QString, text);
    const RegFileRegistry registry(std::string_view(content.constData(), content.size()));
    std::string value = "before";
    QCOMPARE(registry.readValue(RegistryRoot::LocalMachine, key.toStdString(), name.toStdString(),
                                value),
             found);
    QCOMPARE(QString::fromStdString(value), text);
}

void TestAbout::registryFileLocation_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("configDirs");
    QTest::addColumn<QString>("location");
    QTest::newRow("the variable wins")
        << QByteArray("/tmp/mine.reg") << QByteArray("/a:/b") << "/tmp/mine.reg";
    QTest::newRow("first folder that has it")
        << QByteArray() << QByteArray("/a:/b:/c") << "/b/Quarvet/registry.reg";
    QTest::newRow("default folder")
        << QByteArray() << QByteArray() << "/etc/xdg/Quarvet/registry.reg";
    QTest::newRow("relative folders are passed over")
        << QByteArray() << QByteArray("b:/c") << "/c/Quarvet/registry.reg";
    QTest::newRow("none") << QByteArray() << QByteArray("/a") << "";
}

void TestAbout::registryFileLocation()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, configDirs);
    QFETCH(QString, location);
    static const std::set<std::string> present = {
        "/b/Quarvet/registry.reg", "/c/Quarvet/registry.reg", "/etc/xdg/Quarvet/registry.reg"};
    const auto exists = [](const std::string& path) { return present.count(path) > 0; };
    const std::string found = quarvet::about::registryFileLocation(
        variable.isEmpty() ? nullptr : variable.constData(),
        configDirs.isEmpty() ? nullptr : configDirs.constData(), +exists);
    QCOMPARE(QString::fromStdString(found), location);
}

void TestAbout::systemRegistryReadsTheNamedFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("registry.reg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("REGEDIT4\n" + msinfoSection + "\"PATH\"=\"/opt/tool\"\n");
    file.close();
    qputenv("QUARVET_REGISTRY", path.toLocal8Bit());
    std::string value;
    const bool found = systemRegistry()->readValue(
        RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value);
    qputenv("QUARVET_REGISTRY", dir.filePath("missing.reg").toLocal8Bit());
    std::string none;
    const bool missingFound = systemRegistry()->readValue(
        RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", none);
    qunsetenv("QUARVET_REGISTRY");
    QVERIFY(found);
    QCOMPARE(value, std::string("/opt/tool"));
    QVERIFY(!missingFound);
}

void TestAbout::standInFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("found");
    QTest::newRow("plain file") << "file" << true;
    QTest::newRow("link to a plain file") << "link" << true;
    QTest::newRow("file of the largest size") << "largest" << true;
    QTest::newRow("file a byte larger") << "larger" << false;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("pipe without a writer") << "pipe" << false;
    QTest::newRow("endless device") << "/dev/zero" << false;
    QTest::newRow("file that cannot be read") << "/proc/self/mem" << false;
}

void TestAbout::standInFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, found);
    QTemporaryDir dir;
    const QString file = dir.filePath("registry.reg");
    QByteArray content = "REGEDIT4\n" + msinfoSection + "\"PATH\"=\"/opt/tool\"\n";
    if (kind == "largest" || kind == "larger")
        content +=
            QByteArray(qsizetype(registryFileLimit) - content.size() + (kind == "larger"), '\n');
    writeFile(file, content);
    QString named = kind.startsWith('/') ? kind : dir.filePath(kind);
    if (kind == "file" || kind == "largest" || kind == "larger")
        named = file;
    else if (kind == "link")
        QVERIFY(QFile::link(file, named));
    else if (kind == "folder")
        QVERIFY(QDir(dir.path()).mkdir(kind));
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(named).constData(), 0600), 0);
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARVET_REGISTRY", named);
    helper.setProcessEnvironment(environment);
    helper.start(REGISTRY_HELPER);
    // A pipe used to block for good and /dev/zero to take all memory.
    if (!helper.waitForFinished(10000)) {
        helper.kill();
        QFAIL("still reading after ten seconds");
    }
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), found ? 0 : 1);
    QCOMPARE(helper.readAllStandardOutput(), found ? QByteArray("/opt/tool") : QByteArray());
}

void TestAbout::readsUntilTheEnd_data()
{
    // "!" and an error name stand for a read that fails so.
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("interrupted reads are tried again")
        << QByteArrayList{"ab", "!EINTR", "cd"} << 10 << true << QByteArray("abcd");
    QTest::newRow("an error after data is no file")
        << QByteArrayList{"ab", "!EIO"} << 10 << false << QByteArray();
    QTest::newRow("a read that would block is an error")
        << QByteArrayList{"!EAGAIN"} << 10 << false << QByteArray();
    QTest::newRow("up to the limit")
        << QByteArrayList{"ab", "cd"} << 4 << true << QByteArray("abcd");
    QTest::newRow("past the limit") << QByteArrayList{"ab", "cde"} << 4 << false << QByteArray();
    QTest::newRow("empty") << QByteArrayList{} << 4 << true << QByteArray();
}

void TestAbout::readsUntilTheEnd()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(int, limit);
    QFETCH(bool, whole);
    QFETCH(QByteArray, content);
    qsizetype next = 0;
    const auto readSome = [&](char* buffer, std::size_t size) -> long {
        if (next == reads.size())
            return 0;
        const QByteArray piece = reads[next++];
        if (piece.startsWith('!')) {
            errno = piece == "!EINTR" ? EINTR : piece == "!EAGAIN" ? EAGAIN : EIO;
            return -1;
        }
        const std::size_t count = std::min(size, std::size_t(piece.size()));
        std::memcpy(buffer, piece.constData(), count);
        return long(count);
    };
    std::string read = "before";
    QCOMPARE(readAllLimited(readSome, std::size_t(limit), read), whole);
    QCOMPARE(QByteArray::fromStdString(read), content);
}

void TestAbout::continuationLinesTakeLinearTime()
{
    // A value name of 4.8 million characters, and as many continuation lines after it: each
    // line used to search the whole name again, for minutes.
    QByteArray content =
        "REGEDIT4\n" + msinfoSection + '"' + QByteArray(4800000, 'n') + "\"=hex:41,\\\n";
    for (int line = 0; line < 2400000; ++line)
        content += "\\\n";
    content += "42\n\"PATH\"=\"/opt/tool\"\n";
    QElapsedTimer timer;
    timer.start();
    const RegFileRegistry registry(std::string_view(content.constData(), content.size()));
    QVERIFY2(timer.elapsed() < 10000, "quadratic again");
    std::string value;
    QVERIFY(registry.readValue(RegistryRoot::LocalMachine,
                               "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value));
    QCOMPARE(value, std::string("/opt/tool"));
}

void TestAbout::absolutePaths_data()
{
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("absolute");
    const auto posix = PathStyle::Posix;
    const auto windows = PathStyle::Windows;
    QTest::newRow("posix root") << posix << "/usr/bin/hardinfo" << true;
    QTest::newRow("posix relative") << posix << "evil/hardinfo" << false;
    QTest::newRow("posix dot") << posix << "." << false;
    QTest::newRow("posix empty") << posix << "" << false;
    QTest::newRow("posix takes no drive") << posix << "C:\\Tools\\x.exe" << false;
    QTest::newRow("drive and backslash") << windows << "C:\\Tools\\msinfo32.exe" << true;
    QTest::newRow("drive and slash") << windows << "d:/tools" << true;
    QTest::newRow("UNC") << windows << "\\\\server\\share\\msinfo32.exe" << true;
    QTest::newRow("UNC with slashes") << windows << "//server/share" << true;
    QTest::newRow("device path") << windows << "\\\\?\\C:\\msinfo32.exe" << true;
    QTest::newRow("drive-relative") << windows << "C:msinfo32.exe" << false;
    QTest::newRow("root of the current drive") << windows << "\\Tools\\msinfo32.exe" << false;
    QTest::newRow("windows relative") << windows << "evil\\msinfo32.exe" << false;
    QTest::newRow("windows dot") << windows << "." << false;
    QTest::newRow("no letter") << windows << "1:\\x" << false;
    QTest::newRow("three separators") << windows << "\\\\\\x" << false;
    QTest::newRow("windows empty") << windows << "" << false;
}

void TestAbout::absolutePaths()
{
    QFETCH(PathStyle, style);
    QFETCH(QString, path);
    QFETCH(bool, absolute);
    QCOMPARE(isAbsolutePath(path.toStdString(), style), absolute);
}

void TestAbout::startSysInfo_data()
{
    QTest::addColumn<QByteArray>("registry");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<SysInfoOutcome>("outcome");
    QTest::addColumn<QStringList>("started");
    const QByteArray fallback = locationSection + "\"MSINFO\"=\"/opt/info\"\n";
    const QByteArray first = msinfoSection + "\"PATH\"=\"/usr/bin/tool\"\n";
    QTest::newRow("neither value")
        << QByteArray() << QStringList{} << true << SysInfoOutcome::Unavailable << QStringList{};
    QTest::newRow("fallback without the tool file")
        << fallback << QStringList{} << true << SysInfoOutcome::Unavailable << QStringList{};
    QTest::newRow("fallback with the tool file")
        << fallback << QStringList{"/opt/info/hardinfo"} << true << SysInfoOutcome::Started
        << QStringList{"/opt/info/hardinfo"};
    QTest::newRow("first lookup wins")
        << first + fallback << QStringList{"/opt/info/hardinfo"} << true << SysInfoOutcome::Started
        << QStringList{"/usr/bin/tool"};
    // A relative path would start whatever the current folder holds of that name.
    QTest::newRow("relative tool path")
        << msinfoSection + "\"PATH\"=\"evil/hardinfo\"\n"
        << QStringList{"evil/hardinfo"} << true << SysInfoOutcome::Unavailable << QStringList{};
    QTest::newRow("relative tool folder")
        << locationSection + "\"MSINFO\"=\".\"\n"
        << QStringList{"./hardinfo"} << true << SysInfoOutcome::Unavailable << QStringList{};
    QTest::newRow("empty tool path")
        << msinfoSection + "\"PATH\"=\"\"\n"
        << QStringList{} << true << SysInfoOutcome::Unavailable << QStringList{};
    QTest::newRow("tool that does not start")
        << first << QStringList{} << false << SysInfoOutcome::Unavailable
        << QStringList{"/usr/bin/tool"};
}

void TestAbout::startSysInfo()
{
    QFETCH(QByteArray, registry);
    QFETCH(QStringList, files);
    QFETCH(bool, starts);
    QFETCH(SysInfoOutcome, outcome);
    QFETCH(QStringList, started);
    const QByteArray content = "REGEDIT4\n" + registry;
    const RegFileRegistry stand_in(std::string_view(content.constData(), content.size()));
    RecordingLauncher launcher(files, starts);
    QCOMPARE(launchSystemInformation(stand_in, launcher), outcome);
    QCOMPARE(launcher.started, started);
}

void TestAbout::windowShowsTitleAndVersion()
{
    auto* window = opened_.add(new AboutWindow);
    window->show();
    QCOMPARE(window->windowTitle(), QStringLiteral("Quarvet Basic-Info"));
    QCOMPARE(window->findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Quarvet Basic"));
    QCOMPARE(window->findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.0.0"));
    QVERIFY(window->findChild<QLabel*>("lblWeblink")->text().startsWith("http:\\\\"));
    QVERIFY(window->findChild<QLabel*>("lblMailto")->text().startsWith("mailto:"));
    for (const char* link : {"lblWeblink", "lblMailto"})
        QVERIFY2(window->findChild<QLabel*>(link)->font().underline(), link);
    for (const char* label : {"Label1", "Label2", "Label3", "Label4"})
        QVERIFY2(!window->findChild<QLabel*>(label)->text().isEmpty(), label);
    QCOMPARE(window->findChild<QPushButton*>("cmdOK")->text(), QStringLiteral("&OK"));
    QCOMPARE(window->findChild<QPushButton*>("cmdSysInfo")->text(),
             QStringLiteral("&System-Info..."));
}

void TestAbout::linksOpenTheirAddress_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QUrl>("address");
    QTest::newRow("web") << "lblWeblink" << QUrl("http://www.quarvet.example");
    QTest::newRow("mail") << "lblMailto" << QUrl("mailto:info@quarvet.example");
}

void TestAbout::linksOpenTheirAddress()
{
    QFETCH(QString, link);
    QFETCH(QUrl, address);
    auto* window = opened_.add(new AboutWindow);
    QList<QUrl> opened;
    window->setLinkOpener([&opened](const QUrl& url) {
        opened.append(url);
        return false; // a failure is passed over
    });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTest::mouseClick(window->findChild<QLabel*>(link), Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{address});
    QVERIFY(window->isVisible());
}

void TestAbout::sysInfoButton_data()
{
    QTest::addColumn<QByteArray>("registry");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<int>("starts");
    QTest::newRow("no tool: the German box") << QByteArray() << 1 << 0;
    QTest::newRow("tool named") << msinfoSection + "\"PATH\"=\"/usr/bin/tool\"\n" << 0 << 1;
}

void TestAbout::sysInfoButton()
{
    QFETCH(QByteArray, registry);
    QFETCH(int, boxes);
    QFETCH(int, starts);
    RecordingMessages messages;
    auto* window = opened_.add(new AboutWindow);
    const QByteArray content = "REGEDIT4\n" + registry;
    window->setRegistrySource([content] {
        return std::make_unique<RegFileRegistry>(
            std::string_view(content.constData(), content.size()));
    });
    auto launcher = std::make_unique<RecordingLauncher>();
    RecordingLauncher* launched = launcher.get();
    window->setLauncher(std::move(launcher));
    window->show();
    QTest::mouseClick(window->findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(messages.boxes.size(), boxes);
    QCOMPARE(launched->started.size(), starts);
    if (boxes) {
        QCOMPARE(messages.boxes[0].text,
                 QStringLiteral("System-Informationen sind augenblicklich nicht verfügbar."));
        QCOMPARE(messages.boxes[0].title, QStringLiteral("Quarvet Basic"));
        QCOMPARE(messages.boxes[0].icon, Icon::None);
    }
}

void TestAbout::okUnloads()
{
    QPointer<AboutWindow> window = opened_.add(new AboutWindow);
    window->show();
    QTest::mouseClick(window->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
