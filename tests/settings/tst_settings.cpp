#include "activewindow.h"
#include "recordingmessages.h"
#include "settings/form2.h"
#include "temporarystore.h"

#include <QApplication>
#include <QDateTime>
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

#include <memory>

using quarvet::settings::Form2;
using quarvet::settings::keyTarget1;
using quarvet::settings::keyTarget2;
using quarvet::settings::QtSettingsStore;
using quarvet::settings::sectionDefaults;
using Icon = quarvet::ui::MessageService::Icon;

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

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
    void failedWriteIsReported();
    void storeFileLayout();
    void killDuringSaveLeavesWholeFile();
    void brokenLockIsCleared_data();
    void brokenLockIsCleared();
    void userStoreWithoutXdgConfigHome_data();
    void userStoreWithoutXdgConfigHome();

    void dialogOpensFromStore_data();
    void dialogOpensFromStore();
    void okStoresValidEntries_data();
    void okStoresValidEntries();
    void okRefusesWrongEntry_data();
    void okRefusesWrongEntry();
    void abortAndFrameCloseStoreNothing_data();
    void abortAndFrameCloseStoreNothing();
    void failedWriteKeepsDialogOpen();
    void mnemonics_data();
    void mnemonics();

private:
    Form2* openDialog();
    QLineEdit* field(Form2* dialog, const char* name)
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
    for (QWidget* window : QApplication::topLevelWidgets())
        delete window;
    messages_.reset();
    temporary_.reset();
    QLocale::setDefault(QLocale::system());
}

Form2* TestSettings::openDialog()
{
    auto* dialog = new Form2(temporary_->store());
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
        lock.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                         QFileDevice::FileModificationTime);
    }
    quarvet::settings::clearBrokenLock(temporary_->path());
    QCOMPARE(!QFile::exists(lockPath), removed);
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
    Form2* dialog = openDialog();
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
    QPointer<Form2> dialog = openDialog();
    QVERIFY(dialog);
    QSignalSpy saved(dialog.data(), &Form2::defaultsSaved);
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
    QPointer<Form2> dialog = openDialog();
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
    QPointer<Form2> dialog = openDialog();
    QVERIFY(dialog);
    field(dialog, "Soll1")->setText("-40");
    if (byFrame)
        dialog->close();
    else
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(stored(keyTarget1), QStringLiteral("20"));
    Form2* reopened = openDialog();
    QVERIFY(reopened);
    QCOMPARE(field(reopened, "Soll1")->text(), QStringLiteral("20"));
}

void TestSettings::failedWriteKeepsDialogOpen()
{
    const QString base = temporary_->path().section('/', 0, -3);
    writeFile(base + "/blocker", "not a folder");
    QtSettingsStore blocked(base + "/blocker/Quarvet.conf");
    QPointer<Form2> dialog = new Form2(blocked);
    dialog->show();
    QSignalSpy saved(dialog.data(), &Form2::defaultsSaved);
    field(dialog, "Soll1")->setText("20");
    field(dialog, "Soll2")->setText("80");
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    QCOMPARE(messages_->boxes.size(), 1);
    QCOMPARE(messages_->boxes[0].icon, Icon::Stop);
    QVERIFY(messages_->boxes[0].text.contains(base + "/blocker/Quarvet.conf"));
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
    QPointer<Form2> dialog = openDialog();
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
