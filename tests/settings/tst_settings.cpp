#include "activewindow.h"
#include "openedwindows.h"
#include "recordingmessages.h"
#include "settings/setupdialog.h"
#include "temporarystore.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

using quarvet::settings::keyTarget1;
using quarvet::settings::keyTarget2;
using quarvet::settings::QtSettingsStore;
using quarvet::settings::sectionDefaults;
using quarvet::settings::SetupDialog;
using Icon = quarvet::ui::MessageService::Icon;

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Whether anything, even a dangling link, stands at `path`.
bool present(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Dates `path` itself, be it a link, a folder or a file, `seconds` back (ahead when negative).
bool setAge(const QString& path, qint64 seconds)
{
    const timespec when{static_cast<time_t>(QDateTime::currentSecsSinceEpoch() - seconds), 0};
    const timespec times[2] = {when, when};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

QByteArray inode(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return "<missing>";
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino));
}

// Runs the settings helper: its exit code, -1 when it hung and was killed after ten seconds.
int runHelper(const QStringList& arguments, QByteArray* output = nullptr,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
              const QString& folder = QString())
{
    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.setWorkingDirectory(folder);
    helper.start(QStringLiteral(SETTINGS_HELPER), arguments);
    if (!helper.waitForFinished(10000)) {
        helper.kill();
        helper.waitForFinished();
        return -1;
    }
    if (output)
        *output = helper.readAllStandardOutput();
    return helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -2;
}

const QByteArray oldTexts = "[Voreinstellungen]\nSoll1=10\nSoll2=90\n";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void storeKeepsTextsExactly_data();
    void storeKeepsTextsExactly();
    void missingStoreReadsEmpty();
    void unparsableFileIsReadAsFarAsItGoes();
    void deeplyNestedValueIsReadAsFarAsItGoes();
    void textWrittenWithCommasIsOneText();
    void failedWriteIsReported();
    void storeFileLayout();
    void killDuringSaveLeavesWholeFile();
    void brokenLockIsCleared_data();
    void brokenLockIsCleared();
    void storeThatIsNoFile_data();
    void storeThatIsNoFile();
    void anythingAtTheLockPath_data();
    void anythingAtTheLockPath();
    void saveReplacesOnlyItsTexts_data();
    void saveReplacesOnlyItsTexts();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
    void saveIsOnTheDiskBeforeItReplaces_data();
    void saveIsOnTheDiskBeforeItReplaces();
    void staleTemporariesAreRemoved_data();
    void staleTemporariesAreRemoved();
    void userStoreWithoutXdgConfigHome_data();
    void userStoreWithoutXdgConfigHome();
    void userStoreInAnUnusableEnvironment_data();
    void userStoreInAnUnusableEnvironment();
    void otherFilesGiveNoDefaults_data();
    void otherFilesGiveNoDefaults();

    void dialogOpensFromStore_data();
    void dialogOpensFromStore();
    void okStoresValidEntries_data();
    void okStoresValidEntries();
    void okRefusesWrongEntry_data();
    void okRefusesWrongEntry();
    void abortAndFrameCloseStoreNothing_data();
    void abortAndFrameCloseStoreNothing();
    void failedWriteKeepsDialogOpen_data();
    void failedWriteKeepsDialogOpen();
    void mnemonics_data();
    void mnemonics();

private:
    SetupDialog* openDialog();
    OpenedWindows opened_;
    QLineEdit* field(SetupDialog* dialog, const char* name)
    {
        return dialog->findChild<QLineEdit*>(name);
    }
    QString stored(const QString& key)
    {
        return temporary_->store().read(sectionDefaults, key, QStringLiteral("<missing>"));
    }

    std::unique_ptr<TemporaryStore> temporary_;
    std::unique_ptr<RecordingMessages> messages_;
};

void TestSettings::init()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    temporary_ = std::make_unique<TemporaryStore>();
    messages_ = std::make_unique<RecordingMessages>();
}

void TestSettings::cleanup()
{
    const QStringList strays = opened_.closeAndListStrays();
    QVERIFY2(strays.isEmpty(), qPrintable(strays.join(", ")));
    messages_.reset();
    temporary_.reset();
    QLocale::setDefault(QLocale::system());
}

SetupDialog* TestSettings::openDialog()
{
    auto* dialog = opened_.add(new SetupDialog(temporary_->store()));
    return showActive(dialog) ? dialog : nullptr;
}

void TestSettings::storeKeepsTextsExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("decimal comma") << "12,5";
    QTest::newRow("leading blank") << " 85";
    QTest::newRow("trailing blanks") << "20  ";
    QTest::newRow("quotes") << "\"20\" and 'x'";
    QTest::newRow("backslashes") << "C:\\temp\\";
    QTest::newRow("non-ascii") << "Grüße −5 °C";
    QTest::newRow("at sign first") << "@Variant(20)";
    QTest::newRow("semicolon and equals") << "a;b=c";
    QTest::newRow("section-like") << "[General]";
    QTest::newRow("empty") << "";
}

void TestSettings::storeKeepsTextsExactly()
{
    QFETCH(QString, text);
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, text}, {keyTarget2, "x"}}));
    // A store that has never seen the file stands for the next start of the program.
    const QString copy = temporary_->path() + QStringLiteral(".copy");
    QVERIFY(QFile::copy(temporary_->path(), copy));
    QtSettingsStore restarted(copy);
    QCOMPARE(restarted.read(sectionDefaults, keyTarget1, "<missing>"), text);
    QCOMPARE(restarted.read(sectionDefaults, keyTarget2, "<missing>"), QStringLiteral("x"));
}

void TestSettings::missingStoreReadsEmpty()
{
    QVERIFY(!QFile::exists(temporary_->path()));
    QCOMPARE(temporary_->store().read(sectionDefaults, keyTarget1, QString()), QString());
    QCOMPARE(stored(keyTarget2), QStringLiteral("<missing>"));
}

void TestSettings::unparsableFileIsReadAsFarAsItGoes()
{
    QDir().mkpath(QFileInfo(temporary_->path()).path());
    writeFile(temporary_->path(), "\x01\x02[broken\n[Voreinstellungen]\nSoll1=\"12,5\"\n"
                                  "\xff\xfe=\"unterminated\n");
    QCOMPARE(stored(keyTarget1), QStringLiteral("12,5"));
    QCOMPARE(stored(keyTarget2), QStringLiteral("<missing>"));
    // Writing over such a file works and leaves a file that parses.
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, "1"}, {keyTarget2, "2"}}));
    QSettings reread(temporary_->path(), QSettings::NativeFormat);
    QCOMPARE(reread.status(), QSettings::NoError);
    QCOMPARE(reread.value("Voreinstellungen/Soll2").toString(), QStringLiteral("2"));
}

// A value typed into the file by hand with commas, unquoted, is the text as typed: a database
// URL whose password holds a comma must not be dropped for the user's own record file.
void TestSettings::textWrittenWithCommasIsOneText()
{
    QDir().mkpath(QFileInfo(temporary_->path()).path());
    writeFile(temporary_->path(),
              "[Records]\nDatabase=postgresql://u:a,b@db/records?sslmode=require,x\n");
    QCOMPARE(temporary_->store().read("Records", "Database", "<missing>"),
             QStringLiteral("postgresql://u:a,b@db/records?sslmode=require,x"));
}

// A list in a list, nested as deep as a file within the size limit allows: Qt decodes it by
// recursion, which once overflowed the window's stack at start (about 25,000 levels).
void TestSettings::deeplyNestedValueIsReadAsFarAsItGoes()
{
    QDir().mkpath(QFileInfo(temporary_->path()).path());
    const QByteArray level = "\\0\\0\\0\\t\\0\\0\\0\\x1";
    const QByteArray nested =
        "[Voreinstellungen]\nSoll2=80\nSoll1=@Variant(" +
        level.repeated(int(quarvet::settings::settingsFileLimit - 100) / level.size()) + ")\n";
    QVERIFY(nested.size() <= quarvet::settings::settingsFileLimit);
    writeFile(temporary_->path(), nested);
    QCOMPARE(stored(keyTarget2), QStringLiteral("80"));
    QCOMPARE(stored(keyTarget1), QStringLiteral("<missing>"));
    // A save reads the old file too: it ends, and either stores the texts or says it did not.
    if (temporary_->store().write(sectionDefaults, {{keyTarget1, "1"}, {keyTarget2, "2"}}))
        QCOMPARE(stored(keyTarget1), QStringLiteral("1"));
}

void TestSettings::failedWriteIsReported()
{
    // Tests run as root: a parent folder that is a regular file stops any write.
    writeFile(temporary_->path().section('/', 0, -3) + "/blocker", "not a folder");
    QtSettingsStore blocked(temporary_->path().section('/', 0, -3) + "/blocker/Quarvet.conf");
    QVERIFY(!blocked.write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QCOMPARE(blocked.read(sectionDefaults, keyTarget1, "<missing>"), QStringLiteral("<missing>"));
}

void TestSettings::storeFileLayout()
{
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QFile file(temporary_->path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[Voreinstellungen]\nSoll1=20\nSoll2=80\n"));
    QtSettingsStore own;
    QVERIFY(own.location().endsWith(QStringLiteral("/Quarvet/Quarvet.conf")));
}

void TestSettings::killDuringSaveLeavesWholeFile()
{
    const QString path = temporary_->path();
    QRandomGenerator random(20261208);
    int seen = 0;
    for (int round = 0; round < 25; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(SETTINGS_HELPER), {"save-forever", path});
        QVERIFY2(saver.waitForReadyRead(30000), qPrintable(QString::number(round)));
        QTest::qSleep(random.bounded(40));
        saver.kill();
        QVERIFY(saver.waitForFinished());
        if (!QFile::exists(path))
            continue;
        // Read a copy, which no settings cache of this process has seen.
        const QString copy = path + QString::number(round);
        QVERIFY(QFile::copy(path, copy));
        QSettings file(copy, QSettings::NativeFormat);
        QCOMPARE(file.status(), QSettings::NoError);
        const QString first = file.value("Voreinstellungen/Soll1").toString();
        QCOMPARE(file.value("Voreinstellungen/Soll2").toString(), first);
        const qsizetype colon = first.indexOf(QLatin1Char(':'));
        QVERIFY2(colon > 0, qPrintable(first.left(20)));
        QCOMPARE(first.size() - colon - 1, first.left(colon).toInt());
        ++seen;
    }
    QVERIFY(seen > 0);
}

void TestSettings::brokenLockIsCleared_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("removed");
    QTest::newRow("nameless, old") << QByteArray() << 5 << false << true;
    QTest::newRow("garbage, old") << QByteArray("not a lock") << 5 << false << true;
    QTest::newRow("held by a live process") << QByteArray() << 0 << true << false;
    QTest::newRow("nameless, half a minute ahead") << QByteArray() << -30 << false << true;
    QTest::newRow("garbage, two hours ahead") << QByteArray("x") << -7200 << false << true;
    // Perhaps a writer naming itself right now: looked at again later, not waited for.
    QTest::newRow("nameless, just made") << QByteArray() << 0 << false << false;
}

void TestSettings::brokenLockIsCleared()
{
    QFETCH(QByteArray, content);
    QFETCH(int, ageSeconds);
    QFETCH(bool, held);
    QFETCH(bool, removed);
    const QString lockPath = temporary_->path() + ".lock";
    QDir().mkpath(QFileInfo(lockPath).path());
    QLockFile live(lockPath);
    if (held) {
        QVERIFY(live.tryLock(0));
    } else {
        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(content);
        // Written now, or closing the file would date it now.
        QVERIFY(lock.flush());
        lock.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    }
    QElapsedTimer timer;
    timer.start();
    quarvet::settings::clearBrokenLock(temporary_->path());
    QVERIFY2(timer.elapsed() < 10000, "it used to sleep for as long as the lock was dated ahead");
    QCOMPARE(!QFile::exists(lockPath), removed);
}

void TestSettings::storeThatIsNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("link to an endless device") << "/dev/zero";
    QTest::newRow("folder") << "folder";
}

void TestSettings::storeThatIsNoFile()
{
    QFETCH(QString, kind);
    const QString path = temporary_->path();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (kind == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(path));
    else
        QVERIFY(QFile::link(kind, path));
    // Reading a pipe without a writer used to block the window for good, before it opened.
    QCOMPARE(stored(keyTarget1), QStringLiteral("<missing>"));
    QVERIFY(!temporary_->store().write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QVERIFY(present(path));
}

void TestSettings::anythingAtTheLockPath_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("stores");
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("dangling link") << "link" << false;
    QTest::newRow("held by a live process") << "held" << false;
    QTest::newRow("named by a process that is gone") << "dead" << true;
    QTest::newRow("nameless, two hours ahead") << "ahead" << true;
    QTest::newRow("nameless, being written") << "new" << true;
}

void TestSettings::anythingAtTheLockPath()
{
    QFETCH(QString, kind);
    QFETCH(bool, stores);
    const QString path = temporary_->path();
    const QString lockPath = path + ".lock";
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    writeFile(path, oldTexts);
    QLockFile live(lockPath);
    if (kind == "folder")
        QVERIFY(QDir().mkdir(lockPath));
    else if (kind == "link")
        QVERIFY(QFile::link(path + ".gone", lockPath));
    else if (kind == "held")
        QVERIFY(live.tryLock(0));
    else if (kind == "dead")
        QCOMPARE(runHelper({"lock-and-die", lockPath}), 0);
    else
        writeFile(lockPath, "");
    if (kind == "ahead")
        QVERIFY(setAge(lockPath, -7200));
    // Finished or failed in about a second and a half, where it used to hang or sleep.
    QCOMPARE(runHelper({"save", path}), stores ? 0 : 1);
    QCOMPARE(stored(keyTarget2), stores ? QStringLiteral("80") : QStringLiteral("90"));
    // What stood there and was no broken lock stays.
    QCOMPARE(QFileInfo(lockPath).isDir(), kind == "folder");
    QCOMPARE(QFileInfo(lockPath).isSymLink(), kind == "link");
}

void TestSettings::saveReplacesOnlyItsTexts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("linked");
    QTest::newRow("other groups and keys")
        << "[General]\nlanguage=de\n\n" + oldTexts + "Extra=\"a, b\"\n\n[Zeta]\nz=1\n"
        << 0644 << false;
    QTest::newRow("lines that do not parse") << "\x01[broken\n" + oldTexts + "\xff\xfe=\"open\n"
                                             << 0644 << false;
    QTest::newRow("private file") << oldTexts << 0600 << false;
    QTest::newRow("file behind a link") << oldTexts << 0640 << true;
}

void TestSettings::saveReplacesOnlyItsTexts()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(bool, linked);
    const QString path = temporary_->path();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    const QString file = linked ? folder + "/target.conf" : path;
    writeFile(file, content);
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
    if (linked)
        QVERIFY(QFile::link(file, path));
    // What QSettings itself makes of the file.
    const QString reference = folder + "/reference.conf";
    writeFile(reference, content);
    {
        QSettings settings(reference, QSettings::NativeFormat);
        settings.setValue("Voreinstellungen/Soll1", "20");
        settings.setValue("Voreinstellungen/Soll2", "80");
    }
    // Read first, as the program does: a reread must not take the old file's cached texts.
    QCOMPARE(stored(keyTarget1), QStringLiteral("10"));
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QCOMPARE(stored(keyTarget1), QStringLiteral("20"));
    QCOMPARE(readFile(file), readFile(reference));
    QCOMPARE(QFileInfo(path).isSymLink(), linked);
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), mode);
}

void TestSettings::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("file that parses") << oldTexts;
    // Its read error would hide the write error from QSettings' status.
    QTest::newRow("file that does not parse") << "\x01[broken\n" + oldTexts + "\xff\xfe=\"open\n";
}

void TestSettings::failedSaveKeepsTheOldFile()
{
    QFETCH(QByteArray, content);
    const QString path = temporary_->path();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    writeFile(path, content);
    // A disk that is full after 1000 bytes: the old texts fit, the new ones do not.
    QCOMPARE(runHelper({"save-limited", path, "1000"}), 1);
    QCOMPARE(readFile(path), content);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Quarvet.conf"});
}

void TestSettings::saveIsOnTheDiskBeforeItReplaces_data()
{
    QTest::addColumn<bool>("replacing");
    QTest::newRow("first save") << false;
    QTest::newRow("replacing a file") << true;
}

void TestSettings::saveIsOnTheDiskBeforeItReplaces()
{
    QFETCH(bool, replacing);
    const QString path = temporary_->path();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    if (replacing)
        writeFile(path, oldTexts);
    const QString record = folder + "/../record";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", SYNC_RECORDER);
    environment.insert("SYNC_RECORD", record);
    // A sanitizer's runtime would insist on being loaded first.
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS",
                       sanitizer + (sanitizer.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    QCOMPARE(runHelper({"save", path}, nullptr, environment), 0);
    const QList<QByteArray> lines = readFile(record).split('\n');
    qsizetype renamed = -1;
    QByteArray file;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> words = lines[i].split(' ');
        if (words.size() == 3 && words[0] == "rename" && words[2] == QFile::encodeName(path)) {
            renamed = i;
            file = words[1];
        }
    }
    QVERIFY2(renamed >= 0, "nothing was renamed to the store file");
    QVERIFY2(lines.first(renamed).contains("sync " + file), "renamed before it was synced");
    QVERIFY2(lines.sliced(renamed).contains("sync " + inode(folder)),
             "the folder was not synced after the rename");
}

void TestSettings::staleTemporariesAreRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("removed");
    const QString own = "Quarvet.conf.saving-AbcDef012345";
    QTest::newRow("own, of a killed save") << own << "file" << 120 << true;
    QTest::newRow("own, of a running save") << own << "file" << 10 << false;
    QTest::newRow("own, dated ahead") << own << "file" << -3600 << false;
    QTest::newRow("own lock") << own + ".lock"
                              << "file" << 120 << true;
    QTest::newRow("QSettings' temporary of own") << own + ".xYzAbC"
                                                 << "file" << 120 << true;
    QTest::newRow("QSaveFile's") << "Quarvet.conf.yEVHgq"
                                 << "file" << 120 << true;
    QTest::newRow("QSaveFile's, recent") << "Quarvet.conf.yEVHgq"
                                         << "file" << 10 << false;
    QTest::newRow("a backup") << "Quarvet.conf.backup"
                              << "file" << 120 << false;
    QTest::newRow("an OLDONE") << "Quarvet.conf.OLDONE"
                               << "file" << 120 << false;
    QTest::newRow("a Before") << "Quarvet.conf.Before"
                              << "file" << 120 << false;
    QTest::newRow("seven letters") << "Quarvet.conf.yEVHgqx"
                                   << "file" << 120 << false;
    QTest::newRow("short own") << "Quarvet.conf.saving-Abc"
                               << "file" << 120 << false;
    QTest::newRow("of another file") << "Other.conf.yEVHgq"
                                     << "file" << 120 << false;
    QTest::newRow("a folder") << own << "folder" << 120 << false;
    QTest::newRow("a link") << "Quarvet.conf.yEVHgq"
                            << "link" << 120 << false;
}

void TestSettings::staleTemporariesAreRemoved()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(int, ageSeconds);
    QFETCH(bool, removed);
    const QString folder = QFileInfo(temporary_->path()).path();
    QVERIFY(QDir().mkpath(folder));
    const QString entry = folder + '/' + name;
    const QString outside = folder + "/../outside";
    writeFile(outside, "kept");
    if (kind == "folder")
        QVERIFY(QDir().mkdir(entry));
    else if (kind == "link")
        QVERIFY(QFile::link(outside, entry));
    else
        writeFile(entry, oldTexts);
    QVERIFY(setAge(entry, ageSeconds));
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QCOMPARE(!present(entry), removed);
    QCOMPARE(readFile(outside), QByteArray("kept"));
}

void TestSettings::userStoreWithoutXdgConfigHome_data()
{
    QTest::addColumn<bool>("set");
    QTest::newRow("empty XDG_CONFIG_HOME") << true;
    QTest::newRow("no XDG_CONFIG_HOME") << false;
}

void TestSettings::userStoreWithoutXdgConfigHome()
{
    QFETCH(bool, set);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    if (set)
        env.insert("XDG_CONFIG_HOME", "");
    else
        env.remove("XDG_CONFIG_HOME");
    QProcess helper;
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(SETTINGS_HELPER), {"user-store"});
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    QCOMPARE(helper.readAllStandardOutput().trimmed(),
             (home.path() + "/.config/Quarvet/Quarvet.conf").toLocal8Bit());
}

void TestSettings::userStoreInAnUnusableEnvironment_data()
{
    // "~" stands for a fresh home folder, "-" for a variable that is not set.
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("stores");
    const QString nowhere = "$HOME/.config/Quarvet/Quarvet.conf";
    QTest::newRow("relative XDG_CONFIG_HOME is passed over")
        << "~"
        << "config"
        << "~/.config/Quarvet/Quarvet.conf" << true;
    QTest::newRow("absolute XDG_CONFIG_HOME") << "~"
                                              << "~/elsewhere"
                                              << "~/elsewhere/Quarvet/Quarvet.conf" << true;
    QTest::newRow("neither HOME nor XDG_CONFIG_HOME") << "-"
                                                      << "-" << nowhere << false;
    QTest::newRow("empty HOME") << ""
                                << "-" << nowhere << false;
    QTest::newRow("relative HOME") << "home"
                                   << "" << nowhere << false;
    QTest::newRow("relative XDG_CONFIG_HOME, no HOME") << "-"
                                                       << "config" << nowhere << false;
}

void TestSettings::userStoreInAnUnusableEnvironment()
{
    QFETCH(QString, home);
    QFETCH(QString, configHome);
    QFETCH(QString, location);
    QFETCH(bool, stores);
    QTemporaryDir homeFolder;
    QTemporaryDir current;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QPair<QString, QString> variables[] = {{"HOME", home}, {"XDG_CONFIG_HOME", configHome}};
    for (auto [name, value] : variables) {
        if (value == "-")
            environment.remove(name);
        else
            environment.insert(name, value.replace('~', homeFolder.path()));
    }
    QByteArray output;
    QCOMPARE(runHelper({"user-store"}, &output, environment, current.path()), stores ? 0 : 1);
    QCOMPARE(output.trimmed(), location.replace('~', homeFolder.path()).toLocal8Bit());
    // A relative path would have put the store below the current folder.
    QVERIFY(QDir(current.path()).isEmpty());
}

void TestSettings::otherFilesGiveNoDefaults_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("read");
    QTest::newRow("system-wide file") << "system/Quarvet/Quarvet.conf" << QByteArray("\n\n");
    QTest::newRow("organisation's file") << "home/.config/Quarvet.conf" << QByteArray("\n\n");
    QTest::newRow("the user's own file")
        << "home/.config/Quarvet/Quarvet.conf" << QByteArray("10\n90\n");
}

void TestSettings::otherFilesGiveNoDefaults()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, read);
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(QFileInfo(root.filePath(file)).path()));
    writeFile(root.filePath(file), oldTexts);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", root.filePath("home"));
    environment.remove("XDG_CONFIG_HOME");
    environment.insert("XDG_CONFIG_DIRS", root.filePath("system"));
    QByteArray output;
    QCOMPARE(runHelper({"user-read"}, &output, environment), 0);
    QCOMPARE(output, read);
}

void TestSettings::dialogOpensFromStore_data()
{
    QTest::addColumn<bool>("prefilled");
    QTest::newRow("empty store") << false;
    QTest::newRow("stored values") << true;
}

void TestSettings::dialogOpensFromStore()
{
    QFETCH(bool, prefilled);
    if (prefilled)
        QVERIFY(temporary_->store().write(sectionDefaults,
                                          {{keyTarget1, "12,5"}, {keyTarget2, " 85"}}));
    SetupDialog* dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Quarvet    Setup"));
    QCOMPARE(field(dialog, "Soll1")->text(), prefilled ? QStringLiteral("12,5") : QString());
    QCOMPARE(field(dialog, "Soll2")->text(), prefilled ? QStringLiteral(" 85") : QString());
    QCOMPARE(field(dialog, "Soll1")->accessibleName(), QStringLiteral("Target temperature 1"));
    QCOMPARE(field(dialog, "Soll2")->accessibleName(), QStringLiteral("Target temperature 2"));
    QCOMPARE(dialog->findChild<QGroupBox*>("fraSample1")->title(), QStringLiteral("Target values"));
    QCOMPARE(dialog->findChild<QLabel*>("Label1")->text(),
             QStringLiteral("Default values for calculation:"));
    QCOMPARE(dialog->findChild<QPushButton*>("cmdOK")->text(), QStringLiteral("&OK"));
    QCOMPARE(dialog->findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("&abort"));
}

void TestSettings::okStoresValidEntries_data()
{
    QTest::addColumn<QString>("target1");
    QTest::addColumn<QString>("target2");
    QTest::newRow("plain") << "20"
                           << "80";
    QTest::newRow("as typed, blanks and all") << " -5,5 "
                                              << "1E2";
    QTest::newRow("foreign separator passes unremarked") << "12.5"
                                                         << "80";
}

void TestSettings::okStoresValidEntries()
{
    QFETCH(QString, target1);
    QFETCH(QString, target2);
    QPointer<SetupDialog> dialog = openDialog();
    QVERIFY(dialog);
    QSignalSpy saved(dialog.data(), &SetupDialog::defaultsSaved);
    field(dialog, "Soll1")->setText(target1);
    field(dialog, "Soll2")->setText(target2);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QVERIFY(messages_->boxes.isEmpty());
    QCOMPARE(saved.size(), 1);
    QCOMPARE(stored(keyTarget1), target1);
    QCOMPARE(stored(keyTarget2), target2);
    QTRY_VERIFY(dialog.isNull());
}

void TestSettings::okRefusesWrongEntry_data()
{
    QTest::addColumn<QString>("target1");
    QTest::addColumn<QString>("target2");
    QTest::addColumn<QString>("report");
    QTest::newRow("letters in the first")
        << "zwanzig"
        << "80"
        << "Following Inputs are wrong:\r\rTarget temperature 1\r";
    QTest::newRow("both wrong") << ""
                                << "1e999"
                                << "Following Inputs are wrong:\r\rTarget temperature 1\r"
                                   "Target temperature 2\r";
}

void TestSettings::okRefusesWrongEntry()
{
    QFETCH(QString, target1);
    QFETCH(QString, target2);
    QFETCH(QString, report);
    QPointer<SetupDialog> dialog = openDialog();
    QVERIFY(dialog);
    field(dialog, "Soll1")->setText(target1);
    field(dialog, "Soll2")->setText(target2);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QCOMPARE(messages_->boxes.size(), 1);
    QCOMPARE(messages_->boxes[0].text, report);
    QCOMPARE(messages_->boxes[0].title, QStringLiteral("Quarvet"));
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QCOMPARE(stored(keyTarget1), QStringLiteral("<missing>"));
    QVERIFY(!dialog.isNull() && dialog->isVisible());
    QCOMPARE(field(dialog, "Soll1")->text(), target1);
}

void TestSettings::abortAndFrameCloseStoreNothing_data()
{
    QTest::addColumn<bool>("byFrame");
    QTest::newRow("abort") << false;
    QTest::newRow("frame") << true;
}

void TestSettings::abortAndFrameCloseStoreNothing()
{
    QFETCH(bool, byFrame);
    QVERIFY(temporary_->store().write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}));
    QPointer<SetupDialog> dialog = openDialog();
    QVERIFY(dialog);
    field(dialog, "Soll1")->setText("-40");
    if (byFrame)
        dialog->close();
    else
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(stored(keyTarget1), QStringLiteral("20"));
    SetupDialog* reopened = openDialog();
    QVERIFY(reopened);
    QCOMPARE(field(reopened, "Soll1")->text(), QStringLiteral("20"));
}

void TestSettings::failedWriteKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::newRow("parent folder is a file") << "file";
    QTest::newRow("folder at the lock path") << "folder";
    QTest::newRow("lock held by a live process") << "held";
}

void TestSettings::failedWriteKeepsDialogOpen()
{
    QFETCH(QString, blocker);
    const QString base = temporary_->path().section('/', 0, -3);
    QString file = temporary_->path();
    QLockFile live(file + ".lock");
    if (blocker == "file") {
        writeFile(base + "/blocker", "not a folder");
        file = base + "/blocker/Quarvet.conf";
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(blocker == "held" ? live.tryLock(0) : QDir().mkdir(file + ".lock"));
    }
    QtSettingsStore blocked(file);
    QPointer<SetupDialog> dialog = opened_.add(new SetupDialog(blocked));
    dialog->show();
    QSignalSpy saved(dialog.data(), &SetupDialog::defaultsSaved);
    field(dialog, "Soll1")->setText("20");
    field(dialog, "Soll2")->setText("80");
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QVERIFY2(timer.elapsed() < 10000, "the window froze");
    QCOMPARE(messages_->boxes.size(), 1);
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QVERIFY(messages_->boxes[0].text.contains(file));
    QCOMPARE(saved.size(), 0);
    QVERIFY(!dialog.isNull() && dialog->isVisible());
    QCOMPARE(field(dialog, "Soll2")->text(), QStringLiteral("80"));
}

void TestSettings::mnemonics_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("stores");
    QTest::newRow("alt+o is OK") << int(Qt::Key_O) << true;
    QTest::newRow("alt+a is abort") << int(Qt::Key_A) << false;
}

void TestSettings::mnemonics()
{
    QFETCH(int, key);
    QFETCH(bool, stores);
    QPointer<SetupDialog> dialog = openDialog();
    QVERIFY(dialog);
    field(dialog, "Soll1")->setText("20");
    field(dialog, "Soll2")->setText("80");
    field(dialog, "Soll2")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(stored(keyTarget1), stores ? QStringLiteral("20") : QStringLiteral("<missing>"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
