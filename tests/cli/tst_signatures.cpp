// Signatures on records from the command line, on a SQLite file (the computer's login, asked
// through a PAM stack of the test's own) and on a shared PostgreSQL database (roles that log
// in with a password): who may sign, the password asked afresh on the terminal, three wrong
// ones shutting the login out, the same person not approving what they did, and the issue
// that takes who authorised it from the approving signature, its page and its code.
#include "clirun.h"
#include "terminalrun.h"
#include "teststores.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

class TestSignatures : public QObject {
    Q_OBJECT
private slots:
    void signingIsRefused_data();
    void signingIsRefused();
    void wrongPasswordsShutTheLoginOut_data();
    void wrongPasswordsShutTheLoginOut();
    void issueTakesTheApprovingSignature_data();
    void issueTakesTheApprovingSignature();
    void correctionNeedsNewSignatures_data();
    void correctionNeedsNewSignatures();
    void signedFileHoldsUntilChanged_data();
    void signedFileHoldsUntilChanged();
    void signedDccHoldsUntilChanged_data();
    void signedDccHoldsUntilChanged();
    void forgedRowsAreTurnedAway();
    void unusableKeySpendsNoNumber_data();
    void unusableKeySpendsNoNumber();
};

namespace {

const QString password = QStringLiteral("Sesam öffne dich 42");

QString systemLogin()
{
    const passwd* user = ::getpwuid(::geteuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QString();
}

// A laboratory of two people: a technician who saves and performs, and an approver. On a
// file both are the one login of the computer; on a shared database each is a role of its
// own that logs in with a password.
class SigningLab {
public:
    SigningLab(const quarvet::test::TestStore& store) : store_(store)
    {
        if (!store.isPostgres()) {
            place.dataHome = QFileInfo(store.location()).absolutePath().section('/', 0, -2);
            technician = approver = systemLogin();
            // The computer's login asked through PAM: a service of the test's own whose
            // module knows the password.
            QDir(place.dir.path()).mkpath("pam");
            writeFile("pam/quarvet", QStringLiteral("auth required %1 passdb=%2\n"
                                                    "account required %1 passdb=%2\n")
                                         .arg(pamMatrix, place.dir.filePath("passdb")));
            writeFile("passdb", technician + ":" + password + ":quarvet\n");
            ready = true;
            return;
        }
        const QString tag = QUuid::createUuid().toString(QUuid::Id128).left(10);
        technician = "tech_" + tag;
        approver = "appr_" + tag;
        QStringList made;
        for (const QString& role : {technician, approver})
            made << QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2' IN ROLE "
                                   "quarvet_password_login")
                        .arg(role, password);
        ready = store.runSql(made) && owner({"records", "grant", technician}).status == 0 &&
                owner({"records", "grant", approver}).status == 0;
    }

    // The URL the person's workstation opens; the file's own for a file.
    QString database(const QString& who = {}) const
    {
        if (!store_.isPostgres())
            return {};
        if (who.isEmpty())
            return store_.location();
        QString url = store_.location();
        return url.replace("quarvet@", who + ":" + QUrl::toPercentEncoding(password) + "@");
    }

    Run owner(const QStringList& args) const { return place.run(args, database()); }
    Run as(const QString& who, const QStringList& args) const
    {
        return place.run(args, database(who));
    }

    QProcessEnvironment environment(const QString& who) const
    {
        QProcessEnvironment environment = place.environment();
        if (store_.isPostgres()) {
            environment.insert("QUARVET_DATABASE", database(who));
            return environment;
        }
        environment.insert("LD_PRELOAD", "libpam_wrapper.so");
        environment.insert("PAM_WRAPPER", "1");
        environment.insert("PAM_WRAPPER_SERVICE_DIR", place.dir.filePath("pam"));
        // The sanitizers' runtime comes after the wrapper then.
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        return environment;
    }

    TerminalRun sign(const QString& who, const QString& id, const QString& meaning,
                     const QString& typed = password, bool withTerminal = true) const
    {
        return runOnTerminal(QStringLiteral(QUARVET_CLI),
                             {"records", "sign", id, "--meaning", meaning}, environment(who), typed,
                             withTerminal);
    }

    // A record saved by the technician; its id.
    QString saveRecord(const QStringList& more = {}) const
    {
        return as(technician,
                  QStringList{"records", "add", "--serial", "SN-7", "--type", "742", "--line", "1",
                              "--technician", "Jo", "--reference", "REF-7", "--reference-u", "0.02",
                              "--reference-due", dueDate} +
                      more + QStringList{"0", "100", "0.5", "99"})
            .out.trimmed()
            .section('\n', -1);
    }

    QList<QJsonObject> signatures(const QString& id) const
    {
        QList<QJsonObject> found;
        const QString listed =
            owner({"records", "signatures", id, "--format", "json"}).out.trimmed();
        for (const QString& line : listed.split('\n', Qt::SkipEmptyParts))
            found << QJsonDocument::fromJson(line.toUtf8()).object();
        return found;
    }

    void listBoth() const
    {
        owner({"lab", "signer", "add", technician, "--name", "Jo Tech", "--role", "Technician"});
        if (approver != technician)
            owner({"lab", "signer", "add", approver, "--name", "Dr. Ana Approver", "--role",
                   "Head of lab"});
    }

    Workplace place;
    QString technician;
    QString approver;
    bool ready = false;

private:
    void writeFile(const QString& name, const QString& text) const
    {
        QFile file(place.dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(text.toUtf8()) == text.toUtf8().size());
    }

    static inline const QString pamMatrix =
        QStringLiteral("/usr/lib/x86_64-linux-gnu/pam_wrapper/pam_matrix.so");
    const quarvet::test::TestStore& store_;
};

void bothBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

QString tool(const QString& program, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return "<" + program + " failed: " + QString::fromUtf8(process.readAll()) + ">";
    return QString::fromUtf8(process.readAll());
}

// A certificate authority and the laboratory's certificate from it, made with openssl: a
// PKCS#12 file of the key valid for twenty days, one that expired as it was made (in an NSS
// database of its own), and a database that trusts the authority, as a customer's reader
// would.
struct SigningAuthority {
    QTemporaryDir dir;
    QString failed;
    const QString password = QStringLiteral("p12 secret");
    const QString databasePassword = QStringLiteral("nss secret");

    SigningAuthority()
    {
        const QString pass = "pass:" + password;
        const QList<QStringList> steps{
            {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj",
             "/CN=Test Calibration CA", "-keyout", "ca.key", "-out", "ca.crt", "-addext",
             "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"},
            {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj",
             "/CN=Quarvet Test Laboratory", "-keyout", "lab.key", "-out", "lab.csr"},
            {"openssl", "x509", "-req", "-in", "lab.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
             "-CAcreateserial", "-days", "20", "-extfile", "ext", "-out", "lab.crt"},
            {"openssl", "x509", "-req", "-in", "lab.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
             "-days", "0", "-extfile", "ext", "-out", "old.crt"},
            {"openssl", "pkcs12", "-export", "-inkey", "lab.key", "-in", "lab.crt", "-certfile",
             "ca.crt", "-name", "Quarvet lab", "-passout", pass, "-out", "lab.p12"},
            {"openssl", "pkcs12", "-export", "-inkey", "lab.key", "-in", "old.crt", "-name",
             "Quarvet old", "-passout", pass, "-out", "old.p12"},
            {"certutil", "-N", "-d", "sql:trust", "--empty-password"},
            {"certutil", "-A", "-d", "sql:trust", "-n", "ca", "-t", "CT,C,C", "-i", "ca.crt"},
            {"certutil", "-N", "-d", "sql:old", "--empty-password"},
            {"pk12util", "-i", "old.p12", "-d", "sql:old", "-W", password},
            {"certutil", "-N", "-d", "sql:other", "--empty-password"},
            {"pk12util", "-i", "lab.p12", "-d", "sql:other", "-W", password},
            {"certutil", "-N", "-d", "sql:locked", "-f", "databasepassword"},
            {"pk12util", "-i", "lab.p12", "-d", "sql:locked", "-W", password, "-K",
             databasePassword}};
        QDir(dir.path()).mkpath("trust");
        QDir(dir.path()).mkpath("old");
        QDir(dir.path()).mkpath("other");
        QDir(dir.path()).mkpath("locked");
        QFile secret(dir.filePath("databasepassword"));
        if (!secret.open(QIODevice::WriteOnly) || secret.write(databasePassword.toUtf8()) < 0)
            failed = "no password file";
        secret.close();
        QFile ext(dir.filePath("ext"));
        if (!ext.open(QIODevice::WriteOnly) ||
            ext.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,"
                      "nonRepudiation\n") < 0)
            failed = "no extensions file";
        ext.close();
        for (const QStringList& step : steps)
            if (failed.isEmpty()) {
                const QString said = tool(step[0], step.mid(1), dir.path());
                if (said.startsWith("<"))
                    failed = said;
            }
    }
    QString path(const QString& name) const { return dir.filePath(name); }
};

// pam_wrapper loads PAM with RTLD_DEEPBIND, which the address sanitizer refuses: a file's
// signing, asked of PAM, runs in the plain suite only.
#if defined(__SANITIZE_ADDRESS__)
#define QUARVET_SKIP_PAM_UNDER_SANITIZER(store)                                                    \
    if (!store.isPostgres())                                                                       \
        QSKIP("pam_wrapper loads PAM with RTLD_DEEPBIND, which the address sanitizer refuses");
#else
#define QUARVET_SKIP_PAM_UNDER_SANITIZER(store)
#endif

#define QUARVET_SIGNING_LAB(lab, store)                                                            \
    SigningLab lab(store);                                                                         \
    if (!lab.ready)                                                                                \
        QFAIL("the signers could not be set up");

} // namespace

void TestSignatures::signingIsRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("says");
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: no signer listed", backend) << backend << "none"
                                                       << "is not a signer of the laboratory";
        QTest::addRow("%s: the signer withdrawn", backend) << backend << "withdrawn"
                                                           << "is not a signer of the laboratory";
        QTest::addRow("%s: a wrong password", backend) << backend << "wrong"
                                                       << "That is not the password of";
        QTest::addRow("%s: the saver approving", backend) << backend << "saver approves"
                                                          << "may not approve it too";
        QTest::addRow("%s: no terminal to ask on", backend) << backend << "no terminal"
                                                            << "has none: nothing was signed";
    }
    // Two people: the approver who performed the work may not approve it, nor perform what
    // they approved.
    QTest::addRow("postgresql: the performer approving") << "postgresql"
                                                         << "performer approves"
                                                         << "may not approve it too";
    QTest::addRow("postgresql: the approver performing") << "postgresql"
                                                         << "approver performs"
                                                         << "may not approve it too";
    // The tables' owner logs in without a password: the server confirms nobody.
    QTest::addRow("postgresql: a login the server does not ask a password of")
        << "postgresql"
        << "trusted"
        << "without asking for a password";
}

// Each refusal signs nothing, and says why.
void TestSignatures::signingIsRefused()
{
    QFETCH(QString, backend);
    QFETCH(QString, setUp);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SKIP_PAM_UNDER_SANITIZER(store);
    QUARVET_SIGNING_LAB(lab, store);
    const QString id = lab.saveRecord();
    QVERIFY(!id.isEmpty());
    if (setUp != "none")
        lab.listBoth();
    QString who = setUp == "saver approves" ? lab.technician : lab.approver;
    if (setUp == "withdrawn")
        QCOMPARE(lab.owner({"lab", "signer", "withdraw", who}).status, 0);
    if (setUp == "trusted") {
        QCOMPARE(lab.owner({"lab", "signer", "add", "quarvet", "--name", "Owner", "--role", "DBA"})
                     .status,
                 0);
        who = QString(); // the owner's own URL
    }
    // The first of two signatures of one person, signed as asked.
    const QStringList firstAndSecond =
        setUp == "performer approves"  ? QStringList{"performed", "approved"}
        : setUp == "approver performs" ? QStringList{"approved", "performed"}
        : setUp == "saver approves"    ? QStringList{"", "approved"}
                                       : QStringList{"", "reviewed"};
    if (!firstAndSecond[0].isEmpty())
        QCOMPARE(lab.sign(who, id, firstAndSecond[0]).status, 0);
    const TerminalRun run =
        lab.sign(who, id, firstAndSecond[1], setUp == "wrong" ? QStringLiteral("not it") : password,
                 setUp != "no terminal");
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
    QCOMPARE(lab.signatures(id).size(), firstAndSecond[0].isEmpty() ? 0 : 1);
    // What was refused keeps the store whole: a wrong password is kept, sealed.
    QCOMPARE(lab.owner({"records", "verify"}).status, 0);
}

void TestSignatures::wrongPasswordsShutTheLoginOut_data()
{
    bothBackends();
}

// Three wrong passwords in a row: the right one is then refused for a minute, before any is
// asked; what was typed never reaches the terminal's screen.
void TestSignatures::wrongPasswordsShutTheLoginOut()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SKIP_PAM_UNDER_SANITIZER(store);
    QUARVET_SIGNING_LAB(lab, store);
    const QString id = lab.saveRecord();
    lab.listBoth();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const TerminalRun wrong =
            lab.sign(lab.approver, id, "reviewed", "guess " + QString::number(attempt));
        QCOMPARE(wrong.status, 1);
        QVERIFY2(wrong.err.contains("That is not the password"), qPrintable(wrong.err));
        QVERIFY(wrong.terminal.contains("Password of " + lab.approver));
        QVERIFY(!wrong.terminal.contains("guess"));
    }
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const TerminalRun locked = lab.sign(lab.approver, id, "reviewed");
    QCOMPARE(locked.status, 1);
    QVERIFY2(locked.err.contains("Three wrong passwords in a row"), qPrintable(locked.err));
    QVERIFY(!locked.terminal.contains("Password"));
    const QRegularExpressionMatch until =
        QRegularExpression("until (\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) UTC")
            .match(locked.err);
    QVERIFY(until.hasMatch());
    QDateTime end = QDateTime::fromString(until.captured(1), "yyyy-MM-dd HH:mm:ss");
    end.setTimeZone(QTimeZone::utc());
    QVERIFY2(before.secsTo(end) > 0 && before.secsTo(end) <= 61, qPrintable(until.captured(1)));
    QVERIFY(lab.signatures(id).isEmpty());
    // Another signer is not shut out by them.
    if (lab.technician != lab.approver)
        QCOMPARE(lab.sign(lab.technician, id, "performed").status, 0);
    QCOMPARE(lab.owner({"records", "verify"}).status, 0);
}

void TestSignatures::issueTakesTheApprovingSignature_data()
{
    bothBackends();
}

// A laboratory that asks for a review and an approval issues nothing before them, takes no
// person typed, and then prints the signatures and a code that holds the certificate's mark.
void TestSignatures::issueTakesTheApprovingSignature()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SKIP_PAM_UNDER_SANITIZER(store);
    QUARVET_SIGNING_LAB(lab, store);
    QCOMPARE(lab.owner({"lab", "set", "--issue-needs", "approved"}).status, 0);
    if (!store.isPostgres())
        QCOMPARE(lab.owner({"lab", "set", "--same-person-may-approve", "yes"}).status, 0);
    lab.listBoth();
    const QString id = lab.saveRecord();
    const QString pdf = lab.place.dir.filePath("issued.pdf");
    QCOMPARE(lab.sign(lab.technician, id, "performed").status, 0);
    Run refused = lab.as(lab.technician, {"records", "issue", id, "-o", pdf});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("signed as reviewed and approved"), qPrintable(refused.err));
    QCOMPARE(lab.sign(lab.approver, id, "reviewed").status, 0);
    const TerminalRun approved = lab.sign(lab.approver, id, "approved");
    QCOMPARE(approved.status, 0);
    QVERIFY(approved.out.contains("signed as approved by Dr. Ana Approver, Head of lab") ||
            approved.out.contains("signed as approved by Jo Tech, Technician"));
    refused = lab.as(lab.technician,
                     {"records", "issue", id, "--by", "Eve", "--role", "Boss", "-o", pdf});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("--by and --role are not taken"), qPrintable(refused.err));
    QVERIFY(!QFile::exists(pdf));
    // A record saved after it: the chain's head at issue is that record's hash, not this one's.
    lab.saveRecord();
    const QString head = lab.owner({"records", "list", "--format", "json"})
                             .out.section("\"hash\":\"", 1)
                             .section('"', 0, 0);
    const Run issued = lab.as(lab.technician, {"records", "issue", id, "-o", pdf});
    QCOMPARE(issued.status, 0);
    const QString number = issued.out.trimmed();
    const QString page = pageText(pdf);
    const QString approverName =
        store.isPostgres() ? "Dr. Ana Approver, Head of lab" : "Jo Tech, Technician";
    QVERIFY2(page.contains("Approved by " + approverName), qPrintable(page));
    QVERIFY(page.contains("Performed by Jo Tech, Technician"));
    QVERIFY(page.contains(store.isPostgres() ? "authenticated by the database server"
                                             : "no server authenticated it"));
    QVERIFY(!page.contains("(not signed)"));
    // The code at the page's foot holds the store's number, record, hash and chain head.
    const QList<QJsonObject> signatures = lab.signatures(id);
    QCOMPARE(signatures.size(), 3);
    const QString hash = signatures[0]["record_hash"].toString();
    QProcess render;
    render.start("pdftoppm",
                 {"-r", "300", "-f", "1", "-l", "1", "-png", pdf, lab.place.dir.filePath("page")});
    QVERIFY(render.waitForFinished(60000));
    QProcess decode;
    decode.start("zbarimg", {"--raw", "-q", lab.place.dir.filePath("page-1.png")});
    QVERIFY(decode.waitForFinished(60000));
    const QString code = QString::fromUtf8(decode.readAllStandardOutput()).trimmed();
    QVERIFY(head.size() == 64 && head != hash);
    QCOMPARE(code, QStringLiteral("QUARVET-MARK:1 K:ISSUED R:%1 H:%2 C:%3 N:%4")
                       .arg(id.toUpper(), hash.toUpper(), head.toUpper(), number));
    QCOMPARE(lab.owner({"records", "check-certificate", pdf}).status, 0);
    QCOMPARE(lab.owner({"records", "verify"}).status, 0);
}

void TestSignatures::correctionNeedsNewSignatures_data()
{
    bothBackends();
}

// A correction is signed afresh; the corrected record keeps its signatures and takes no more.
void TestSignatures::correctionNeedsNewSignatures()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SKIP_PAM_UNDER_SANITIZER(store);
    QUARVET_SIGNING_LAB(lab, store);
    QCOMPARE(lab.owner({"lab", "set", "--issue-needs", "reviewed"}).status, 0);
    lab.listBoth();
    const QString id = lab.saveRecord();
    QCOMPARE(lab.sign(lab.approver, id, "reviewed").status, 0);
    const QString correction = lab.saveRecord({"--corrects", id, "--reason", "typo"});
    QVERIFY(!correction.isEmpty() && correction != id);
    const TerminalRun late = lab.sign(lab.approver, id, "approved");
    QCOMPARE(late.status, 1);
    QVERIFY2(late.err.contains("sign the correction instead"), qPrintable(late.err));
    const Run refused = lab.as(
        lab.technician, {"records", "issue", correction, "-o", lab.place.dir.filePath("c.pdf")});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("signed as reviewed"), qPrintable(refused.err));
    QCOMPARE(lab.signatures(id).size(), 1);
    QCOMPARE(lab.signatures(correction).size(), 0);
}

void TestSignatures::signedFileHoldsUntilChanged_data()
{
    bothBackends();
}

// The issued file carries the laboratory's PDF signature, which a reader trusting its
// authority finds valid over the whole file; a byte changed afterwards breaks it, for pdfsig
// and for check-certificate; a copy is not signed and says so.
void TestSignatures::signedFileHoldsUntilChanged()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SIGNING_LAB(lab, store);
    const SigningAuthority authority;
    QVERIFY2(authority.failed.isEmpty(), qPrintable(authority.failed));
    const QStringList setKey{"lab", "set", "--signing-key", authority.path("lab.p12")};
    TerminalRun set = runOnTerminal(QUARVET_CLI, setKey, lab.environment({}), "not it");
    QCOMPARE(set.status, 1);
    QVERIFY2(set.err.contains("is not the password of"), qPrintable(set.err));
    QVERIFY(!lab.owner({"lab", "show"}).out.contains("signing-certificate"));
    set = runOnTerminal(QUARVET_CLI, setKey, lab.environment({}), authority.password);
    QVERIFY2(set.status == 0, qPrintable(set.err));
    QVERIFY2(set.out.startsWith("signing with CN=Quarvet Test Laboratory, valid "),
             qPrintable(set.out));
    QVERIFY(lab.owner({"lab", "show"})
                .out.contains("signing-certificate\tCN=Quarvet Test "
                              "Laboratory, valid "));
    const QString id = lab.saveRecord();
    const QString pdf = lab.place.dir.filePath("signed.pdf");
    const Run issued = lab.as(
        lab.technician, {"records", "issue", id, "--by", "Dr A", "--role", "Head", "-o", pdf});
    QVERIFY2(issued.status == 0 && issued.err.isEmpty(), qPrintable(issued.err));
    // Named as typed, signed by nobody: the page says so.
    QVERIFY2(pageText(pdf).contains("Authorised by Dr A, Head (not signed)"),
             qPrintable(pageText(pdf)));
    const QString trusted = "sql:" + authority.path("trust");
    const QString checked = tool("pdfsig", {"-nssdir", trusted, pdf}, lab.place.dir.path());
    for (const char* said :
         {"Signature Validation: Signature is Valid.", "Total document signed",
          "Certificate Validation: Certificate is Trusted.", "Signing Hash Algorithm: SHA-256",
          "Signer Certificate Common Name: Quarvet Test Laboratory"})
        QVERIFY2(checked.contains(said), qPrintable(checked));
    Run held = lab.owner({"records", "check-certificate", pdf});
    QVERIFY2(held.status == 0 && held.out.contains("; the file is signed by CN=Quarvet Test "
                                                   "Laboratory, whole"),
             qPrintable(held.out + held.err));
    const QString copy = lab.place.dir.filePath("copy.pdf");
    const Run copied = lab.owner({"records", "certificate", id, "-o", copy});
    QCOMPARE(copied.status, 0);
    QVERIFY2(copied.err.contains("a copy is not signed"), qPrintable(copied.err));
    QVERIFY(tool("pdfsig", {copy}, lab.place.dir.path()).contains("does not contain any"));
    // Signed again over the first signature, with the laboratory's own key even: what the
    // second signs was added after the first.
    const QString twice = lab.place.dir.filePath("twice.pdf");
    QVERIFY(!tool("pdfsig",
                  {"-add-signature", "-nssdir", "sql:" + authority.path("other"), "-nick",
                   "Quarvet lab", "-reason", "again", pdf, twice},
                  lab.place.dir.path())
                 .startsWith("<"));
    held = lab.owner({"records", "check-certificate", twice});
    QCOMPARE(held.status, 4);
    QVERIFY2(held.out.contains("changed after it was signed"), qPrintable(held.out));
    // One byte of the page's text changed after signing.
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf("/Title");
    QVERIFY(at > 0);
    bytes[at + 1] = 't';
    QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();
    QVERIFY(tool("pdfsig", {"-nssdir", trusted, pdf}, lab.place.dir.path())
                .contains("Digest Mismatch"));
    held = lab.owner({"records", "check-certificate", pdf});
    QCOMPARE(held.status, 4);
    QVERIFY2(held.out.contains("the file was changed after it was signed"), qPrintable(held.out));
}

void TestSignatures::signedDccHoldsUntilChanged_data()
{
    bothBackends();
}

// The DCC issued beside the signed PDF carries the laboratory's XML signature: valid under the
// DCC schema with the signature's own, found whole by xmlsec1 with the authority trusted, and
// held by read-dcc --check; a value changed afterwards breaks it for both; a copy is unsigned.
void TestSignatures::signedDccHoldsUntilChanged()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SIGNING_LAB(lab, store);
    const SigningAuthority authority;
    QVERIFY2(authority.failed.isEmpty(), qPrintable(authority.failed));
    const TerminalRun set =
        runOnTerminal(QUARVET_CLI, {"lab", "set", "--signing-key", authority.path("lab.p12")},
                      lab.environment({}), authority.password);
    QVERIFY2(set.status == 0, qPrintable(set.err));
    QCOMPARE(lab.owner({"lab", "set", "--country", "AT"}).status, 0);
    const QString id = lab.saveRecord();
    const QString pdf = lab.place.dir.filePath("signed.pdf");
    const Run issued = lab.as(
        lab.technician, {"records", "issue", id, "--by", "Dr A", "--role", "Head", "-o", pdf});
    QVERIFY2(issued.status == 0 && issued.err.isEmpty(), qPrintable(issued.err));
    const QString dcc = lab.place.dir.filePath("signed.xml");
    // The DCC's schema leaves its comment open to any element its reader knows: the
    // signature's schema, from Debian's pysaml2, declares ds:Signature.
    QFile schema(lab.place.dir.filePath("signed.xsd"));
    QVERIFY(schema.open(QIODevice::WriteOnly));
    schema.write("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:import "
                 "namespace=\"https://ptb.de/dcc\" schemaLocation=\"" QUARVET_DCC_SCHEMA
                 "\"/><xs:import namespace=\"http://www.w3.org/2000/09/xmldsig#\" "
                 "schemaLocation=\"/usr/lib/python3/dist-packages/saml2/data/schemas/"
                 "xmldsig-core-schema.xsd\"/></xs:schema>");
    schema.close();
    const QString valid =
        tool("xmllint", {"--noout", "--nonet", "--schema", schema.fileName(), dcc},
             lab.place.dir.path());
    QVERIFY2(valid.endsWith("signed.xml validates\n"), qPrintable(valid));
    const QStringList verify{"--verify", "--trusted-pem", authority.path("ca.crt"), "--id-attr:Id",
                             "http://uri.etsi.org/01903/v1.3.2#:SignedProperties"};
    const QString checked = tool("xmlsec1", verify + QStringList{dcc}, lab.place.dir.path());
    QVERIFY2(checked.startsWith("OK") && checked.contains("References (ok/all): 2/2"),
             qPrintable(checked));
    Run held = lab.owner({"records", "read-dcc", dcc, "--check"});
    QVERIFY2(held.status == 0 &&
                 held.out.contains("; the document is signed by CN=Quarvet Test Laboratory, whole"),
             qPrintable(held.out + held.err));
    const QString copy = lab.place.dir.filePath("copy.xml");
    QCOMPARE(lab.owner({"records", "dcc", id, "-o", copy}).status, 0);
    QFile copied(copy);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QVERIFY(!copied.readAll().contains("Signature"));
    // Signed again, whole and named in its properties, with another certificate of the same
    // key: the values and the signature hold, the certificate is not the laboratory's.
    QFile signedFile(dcc);
    QVERIFY(signedFile.open(QIODevice::ReadOnly));
    QString resigning = QString::fromUtf8(signedFile.readAll());
    signedFile.close();
    QCOMPARE(tool("openssl",
                  {"x509", "-in", authority.path("old.crt"), "-outform", "DER", "-out",
                   lab.place.dir.filePath("old.der")},
                  lab.place.dir.path()),
             QString());
    QFile der(lab.place.dir.filePath("old.der"));
    QVERIFY(der.open(QIODevice::ReadOnly));
    const QString oldDigest = QString::fromLatin1(
        QCryptographicHash::hash(der.readAll(), QCryptographicHash::Sha256).toBase64());
    resigning.replace(QRegularExpression("(<xades:CertDigest>.*<ds:DigestValue>)[^<]*(<)",
                                         QRegularExpression::DotMatchesEverythingOption),
                      "\\1" + oldDigest + "\\2");
    resigning.replace(
        QRegularExpression("(<ds:Reference[^>]*>(?:(?!</ds:Reference>).)*<ds:DigestValue>)"
                           "[^<]*(<)",
                           QRegularExpression::DotMatchesEverythingOption),
        "\\1\\2");
    resigning.replace(QRegularExpression("(<ds:(?:SignatureValue|X509Certificate)>)[^<]*(<)"),
                      "\\1\\2");
    QFile resigned(lab.place.dir.filePath("resigned.xml"));
    QVERIFY(resigned.open(QIODevice::WriteOnly) && resigned.write(resigning.toUtf8()) > 0);
    resigned.close();
    const QString signedAgain = tool(
        "xmlsec1",
        {"--sign", "--privkey-pem", authority.path("lab.key") + "," + authority.path("old.crt"),
         "--id-attr:Id", "http://uri.etsi.org/01903/v1.3.2#:SignedProperties", "--output",
         lab.place.dir.filePath("other.xml"), resigned.fileName()},
        lab.place.dir.path());
    QVERIFY2(!signedAgain.startsWith("<"), qPrintable(signedAgain));
    held = lab.owner({"records", "read-dcc", lab.place.dir.filePath("other.xml"), "--check"});
    QVERIFY2(held.status == 4 && held.out.contains("made with another certificate than the "
                                                   "laboratory's"),
             qPrintable(held.out + held.err));
    // What the signature says of itself changed: the values agree, the signature does not.
    QFile original(dcc);
    QVERIFY(original.open(QIODevice::ReadOnly));
    QByteArray timed = original.readAll();
    original.close();
    QVERIFY(timed.contains("<xades:SigningTime>2"));
    timed.replace("<xades:SigningTime>2", "<xades:SigningTime>1");
    QFile retimed(lab.place.dir.filePath("retimed.xml"));
    QVERIFY(retimed.open(QIODevice::WriteOnly) && retimed.write(timed) == timed.size());
    retimed.close();
    held = lab.owner({"records", "read-dcc", retimed.fileName(), "--check"});
    QVERIFY2(held.status == 4 && held.out.contains("its XML signature does not hold") &&
                 held.err.isEmpty(),
             qPrintable(held.out + held.err));
    // One value changed after signing: the document's digest no longer holds.
    QFile file(dcc);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("<dcc:role>Head</dcc:role>"));
    bytes.replace("<dcc:role>Head</dcc:role>", "<dcc:role>Director</dcc:role>");
    QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
    file.close();
    QVERIFY2(tool("xmlsec1", verify + QStringList{dcc}, lab.place.dir.path())
                 .contains("failed to verify"),
             qPrintable(tool("xmlsec1", verify + QStringList{dcc}, lab.place.dir.path())));
    held = lab.owner({"records", "read-dcc", dcc, "--check"});
    QCOMPARE(held.status, 4);
    QVERIFY2(held.out.contains("role reads “Director” where the store gives “Head”"),
             qPrintable(held.out));
}

// On a shared database the server turns away a signature or a failed attempt that a role
// writes by hand in another's name, or with another record's hash, as the approver.
void TestSignatures::forgedRowsAreTurnedAway()
{
    QUARVET_STORE_OR_SKIP(store, "postgresql");
    QUARVET_SIGNING_LAB(lab, store);
    lab.listBoth();
    const QString id = lab.saveRecord();
    const QString hash = lab.owner({"records", "list", "--format", "json"})
                             .out.section("\"hash\":\"", 1)
                             .section('"', 0, 0);
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    const QString forged =
        QStringLiteral("INSERT INTO record_signatures VALUES (1, '%1', '%2', '%3', 1, 'Dr. Ana "
                       "Approver', 'Head of lab', 'approved', '%4', 'server', 'x')")
            .arg(id, hash, lab.approver, now);
    const QString shutOut =
        QStringLiteral("INSERT INTO signing_failures VALUES (1, '%1', '2099-12-31T23:59:00.000Z', "
                       "'x')")
            .arg(lab.approver);
    for (const QString& statement : {forged, shutOut}) {
        QProcess psql;
        psql.start("psql",
                   {lab.database(lab.technician), "-v", "ON_ERROR_STOP=1", "-c", statement});
        QVERIFY(psql.waitForFinished(60000));
        QCOMPARE(psql.exitCode(), 1);
        QVERIFY2(psql.readAllStandardError().contains("as the server says"), qPrintable(statement));
    }
    QVERIFY(lab.signatures(id).isEmpty());
    QCOMPARE(lab.sign(lab.approver, id, "reviewed").status, 0);
}

void TestSignatures::unusableKeySpendsNoNumber_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("database"); // the NSS database named
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("says");
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: a certificate that expired", backend) << backend << "old"
                                                                 << "Quarvet old"
                                                                 << "is valid from";
        QTest::addRow("%s: a database removed after it was named", backend)
            << backend << "gone"
            << "Quarvet lab"
            << "holds no NSS database";
        // Its password typed right when the key was named, wrong at the issue.
        QTest::addRow("%s: a database whose password is typed wrong", backend)
            << backend << "locked"
            << "Quarvet lab"
            << "with its private key";
    }
}

// A key that cannot sign is refused before the issue: no number is spent, and the next issue
// once the key is taken away takes the first.
void TestSignatures::unusableKeySpendsNoNumber()
{
    QFETCH(QString, backend);
    QFETCH(QString, database);
    QFETCH(QString, nickname);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, backend);
    QUARVET_SIGNING_LAB(lab, store);
    const SigningAuthority authority;
    QVERIFY2(authority.failed.isEmpty(), qPrintable(authority.failed));
    const QString folder = authority.path(database == "gone" ? "other" : database);
    const TerminalRun named = runOnTerminal(
        QUARVET_CLI, {"lab", "set", "--signing-nss", folder, "--signing-nick", nickname},
        lab.environment({}), authority.databasePassword);
    QVERIFY2(named.status == 0, qPrintable(named.err));
    QCOMPARE(named.terminal.contains("Password of the signing database"), database == "locked");
    if (database == "gone")
        QVERIFY(QDir(folder).removeRecursively());
    const QString id = lab.saveRecord();
    const QString pdf = lab.place.dir.filePath("c.pdf");
    const QStringList issue{"records", "issue", id, "--by", "Dr A", "--role", "Head", "-o", pdf};
    const TerminalRun refused =
        runOnTerminal(QUARVET_CLI, issue, lab.environment(lab.technician), "not the password");
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("cannot sign the certificate") && refused.err.contains(says) &&
                 refused.err.contains("no number spent"),
             qPrintable(refused.err));
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(lab.owner({"lab", "set", "--signing-key", "none"}).status, 0);
    const Run issued = lab.as(lab.technician, issue);
    QVERIFY2(issued.status == 0 && issued.out.trimmed().endsWith("-00001"),
             qPrintable(issued.out + issued.err));
}

QTEST_GUILESS_MAIN(TestSignatures)
#include "tst_signatures.moc"
