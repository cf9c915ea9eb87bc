#include "signingkey.h"

#include "recordwords.h"
#include "terminal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

namespace quarvet::cli {
namespace {

// Runs one of NSS's tools, `input` on its standard input; empty, or what it said when it
// failed. What it printed goes to `said`.
QString runTool(const QString& tool, const QStringList& arguments, const QByteArray& input = {},
                QString* said = nullptr)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return QStringLiteral("%1 is not installed (Debian's libnss3-tools)").arg(tool);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (process.waitForStarted(60000))
        process.write(input);
    process.closeWriteChannel();
    const bool ran = process.waitForFinished(60000) &&
                     process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (said)
        *said = output;
    return ran ? QString() : QStringLiteral("%1 failed: %2").arg(tool, output.simplified());
}

// The nicknames of the certificates with keys in the database at `folder` ("u" among their
// trust attributes, the last word of certutil's line).
QStringList keyNicknames(const QString& folder)
{
    QString listed;
    runTool(QStringLiteral("certutil"),
            {QStringLiteral("-L"), QStringLiteral("-d"), QStringLiteral("sql:") + folder}, {},
            &listed);
    QStringList nicknames;
    for (const QString& line : listed.split(QLatin1Char('\n'))) {
        const QString trust = line.trimmed().section(QLatin1Char(' '), -1);
        if (trust.count(QLatin1Char(',')) == 2 && trust.contains(QLatin1Char('u')))
            nicknames << line.trimmed().chopped(trust.size()).trimmed();
    }
    return nicknames;
}

// The program's own database, made empty (no password of its own: the folder is the user's
// alone) where there is none yet.
QString ownDatabase(QString& folder)
{
    folder = certificate::ownSigningFolder();
    if (folder.isEmpty())
        return QStringLiteral("there is no place for the program's own NSS database");
    if (!QDir().mkpath(folder) ||
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return QStringLiteral("the folder %1 cannot be made the user's own").arg(folder);
    if (QFileInfo::exists(folder + QStringLiteral("/cert9.db")))
        return {};
    return runTool(QStringLiteral("certutil"),
                   {QStringLiteral("-N"), QStringLiteral("-d"), QStringLiteral("sql:") + folder,
                    QStringLiteral("--empty-password")});
}

// The PKCS#12 file imported into `folder`, its password asked on the terminal and handed to
// the tool on its standard input, never on its command line nor in a file; the nickname of
// the key it brought, empty where it was there already.
QString importInto(const QString& folder, const QString& file, QString& nickname)
{
    QString fault;
    const std::optional<QString> password =
        askPassword(QStringLiteral("Password of %1: ").arg(file), fault);
    if (!password)
        return fault;
    const QStringList before = keyNicknames(folder);
    QByteArray secret = password->toUtf8();
    fault =
        runTool(QStringLiteral("pk12util"),
                {QStringLiteral("-i"), file, QStringLiteral("-d"), QStringLiteral("sql:") + folder,
                 QStringLiteral("-w"), QStringLiteral("/dev/stdin")},
                secret);
    secret.fill('\0');
    for (const QString& held : keyNicknames(folder))
        if (!before.contains(held))
            nickname = held;
    return fault.contains(QLatin1String("SEC_ERROR_BAD_PASSWORD")) ||
                   fault.contains(QLatin1String("PKCS12 decode"))
               ? QStringLiteral("that is not the password of %1, or it is no PKCS#12 file")
                     .arg(file)
               : fault;
}

QString validityText(const certificate::SigningCertificate& certificate)
{
    return QStringLiteral("%1, valid %2 to %3")
        .arg(certificate.subject,
             certificate.validFrom.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")),
             certificate.validUntil.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")));
}

// The NSS database at `folder` opened, a password it asks for asked on the terminal (none
// where there is no terminal: the database then keeps its keys to itself).
QString openOnTerminal(const QString& folder)
{
    return certificate::openSigningDatabase(folder, [](const QString& token) {
        QString why;
        return askPassword(QStringLiteral("Password of the signing database %1: ").arg(token), why)
            .value_or(QString());
    });
}

} // namespace

bool importSigningKey(const QString& file, QMap<QString, QString>& values, QString& described,
                      Output& io)
{
    if (file == QLatin1String("none")) {
        values.insert(QStringLiteral("signing-nss"), QString());
        values.insert(QStringLiteral("signing-nick"), QString());
        return true;
    }
    QString folder;
    QString fault = QFileInfo(file).isFile() && QFileInfo(file).isReadable()
                        ? ownDatabase(folder)
                        : QStringLiteral("%1 is no file that can be read").arg(file);
    QString imported;
    if (fault.isEmpty())
        fault = importInto(folder, file, imported);
    if (fault.isEmpty())
        fault = certificate::openSigningDatabase(folder);
    // The key just imported; imported before, the one valid now that runs longest.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::optional<certificate::SigningCertificate> chosen;
    for (const certificate::SigningCertificate& held : certificate::signingCertificates())
        if (held.validFrom <= now && now <= held.validUntil &&
            (imported.isEmpty() ? !chosen || held.validUntil > chosen->validUntil
                                : held.nickname == imported))
            chosen = held;
    if (fault.isEmpty() && !chosen)
        fault = QStringLiteral("%1 holds no certificate valid now with its key").arg(file);
    if (!fault.isEmpty())
        return refusal(QStringLiteral("The signing key was not taken: %1.").arg(fault), io), false;
    values.insert(QStringLiteral("signing-nss"), QString());
    values.insert(QStringLiteral("signing-nick"), chosen->nickname);
    described = validityText(*chosen);
    return true;
}

bool chooseSigningKey(const QString& folder, const QString& nickname,
                      QMap<QString, QString>& values, QString& described, Output& io)
{
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    QString fault = openOnTerminal(absolute);
    std::optional<certificate::SigningCertificate> found;
    if (fault.isEmpty())
        found = certificate::signingCertificate({absolute, nickname}, fault);
    if (!found)
        return refusal(QStringLiteral("The signing key was not taken: %1.").arg(fault), io), false;
    values.insert(QStringLiteral("signing-nss"), absolute);
    values.insert(QStringLiteral("signing-nick"), nickname);
    described = validityText(*found);
    // Named all the same: its renewal may take its nickname in that database. Nothing is
    // issued with it meanwhile.
    if (const QDateTime now = QDateTime::currentDateTimeUtc();
        now < found->validFrom || now > found->validUntil)
        io.sayError("quarvet-cli: the certificate " + nickname.toStdString() +
                    " is not valid now: no certificate is issued with it until it is.\n");
    return true;
}

void showSigningKey(const lab::LabSettings& settings, Output& io)
{
    const certificate::SigningKey key = signingKeyOf(settings);
    if (!key.set())
        return;
    QString fault = openOnTerminal(key.nssFolder);
    std::optional<certificate::SigningCertificate> found;
    if (fault.isEmpty())
        found = certificate::signingCertificate(key, fault);
    if (found)
        io.out << said(QStringLiteral("signing-certificate\t") + validityText(*found)) << '\n';
    else
        io.sayError("quarvet-cli: the laboratory's signing key cannot be used on this "
                    "workstation: " +
                    fault.toStdString() + ".\n");
    if (found && found->validUntil < QDateTime::currentDateTimeUtc())
        io.sayError("quarvet-cli: the laboratory's signing certificate has expired.\n");
    io.out.flush();
}

QString readySigning(const certificate::SigningKey& key)
{
    const QString fault = openOnTerminal(key.nssFolder);
    return fault.isEmpty() ? certificate::readyToSign(key, QDateTime::currentDateTimeUtc()) : fault;
}

} // namespace quarvet::cli
