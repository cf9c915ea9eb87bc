// Sign… in the history, as a signer uses it: the dialog that names them and asks for their
// password again, on a real SQLite file whose login's password a PAM stack of the test's own
// knows (the test runs with pam_wrapper preloaded; its service names the password file the
// test writes).
#include "history/historywindow.h"
#include "lab/signatures.h"
#include "lab/signers.h"
#include "recordingmessages.h"
#include "records/sqliterecordstore.h"
#include "samplerecord.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

using namespace quarvet;

class TestSigningWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void signFromTheHistory_data();
    void signFromTheHistory();

private:
    QTemporaryDir dir_;
    QString login_;
};

namespace {

const QString password = QStringLiteral("Pässwort 7");

bool writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

void TestSigningWindow::initTestCase()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("pam_wrapper loads PAM with RTLD_DEEPBIND, which the address sanitizer refuses: Sign... "
          "runs in the plain suite");
#endif
    const passwd* user = ::getpwuid(::geteuid());
    QVERIFY(user);
    login_ = QString::fromLocal8Bit(user->pw_name);
    QVERIFY2(qEnvironmentVariable("PAM_WRAPPER") == "1",
             "run with pam_wrapper preloaded (see tests/history/CMakeLists.txt)");
    QVERIFY(writeFile(SIGNING_PASSDB, login_ + ":" + password + ":quarvet\n"));
}

void TestSigningWindow::signFromTheHistory_data()
{
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("says"); // the message shown; empty where it signs
    QTest::newRow("the right password") << true << password << "";
    QTest::newRow("a wrong password") << true << "Passwort 7"
                                      << "That is not the password of";
    QTest::newRow("no signer listed") << false << password << "is not a signer of the laboratory";
}

// The dialog names the signer as listed and asks for their password: the right one signs, as
// the meaning chosen, and says so; a wrong one signs nothing, is kept against the login and
// says so; a login the laboratory does not list is told before any password is asked.
void TestSigningWindow::signFromTheHistory()
{
    QFETCH(bool, listed);
    QFETCH(QString, typed);
    QFETCH(QString, says);
    const QString path = dir_.filePath(QString("%1.sqlite").arg(QTest::currentDataTag()));
    const auto store = std::make_shared<records::SqliteRecordStore>(path);
    QVERIFY(!store->add(test::fixedRecord()).failed());
    if (listed) {
        lab::Signer signer;
        signer.login = login_;
        signer.name = "Jo Tech";
        signer.role = "Technician";
        QVERIFY(!lab::addSigner(*store, signer).failed());
    }
    RecordingMessages messages;
    history::HistoryWindow window([store] { return store; });
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return !window.isLoading(); }, 20000));
    window.findChild<QTableView*>()->selectRow(0);
    QString signerShown;
    bool asked = false;
    // The dialog opens once the store has said who signs: answered as a person would.
    QTimer answer;
    connect(&answer, &QTimer::timeout, &window, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != "SignRecord")
            return;
        asked = true;
        signerShown = dialog->findChild<QLabel*>("Signer")->text();
        auto* meaning = dialog->findChild<QComboBox*>("Meaning");
        meaning->setCurrentIndex(meaning->findText("performed"));
        dialog->findChild<QLineEdit*>("Password")->setText(typed);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    answer.start(20);
    window.findChild<QPushButton*>("Sign")->click();
    // Who signs is read, the dialog answered, the password checked: each beside the window.
    QVERIFY(QTest::qWaitFor([&] { return !window.isSigning() && (!listed || asked); }, 20000));
    QVERIFY(QTest::qWaitFor([&] { return !window.isSigning(); }, 20000));
    answer.stop();
    QCOMPARE(asked, listed);
    if (listed)
        QCOMPARE(signerShown, QStringLiteral("Jo Tech, Technician"));
    QList<lab::Signature> signatures;
    QVERIFY(!lab::signaturesOf(*store, test::fixedRecord().id, signatures).failed());
    if (says.isEmpty()) {
        QVERIFY2(messages.boxes.isEmpty(), qPrintable(messages.boxes.value(0).text));
        QCOMPARE(signatures.size(), 1);
        QCOMPARE(signatures[0].meaning, QStringLiteral("performed"));
        QCOMPARE(signatures[0].authenticatedBy, QStringLiteral("system"));
        return;
    }
    QCOMPARE(messages.boxes.size(), 1);
    QVERIFY2(messages.boxes[0].text.contains(says), qPrintable(messages.boxes[0].text));
    QVERIFY(signatures.isEmpty());
}

QTEST_MAIN(TestSigningWindow)
#include "tst_signingwindow.moc"
