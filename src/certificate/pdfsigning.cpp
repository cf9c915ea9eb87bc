#include "pdfsigning.h"

#include "records/storechoice.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <poppler-form.h>
#include <poppler-qt6.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace quarvet::certificate {
namespace {

QString openedFolder;

// The signing library shuts NSS down as the program ends and complains on standard error that
// objects are still in use: its own, not the user's business, once the program has said all.
extern "C" void quietAtExit()
{
    if (const int nothing = ::open("/dev/null", O_WRONLY); nothing >= 0)
        ::dup2(nothing, STDERR_FILENO);
}

SigningCertificate described(const Poppler::CertificateInfo& info)
{
    return {info.nickName(), info.subjectInfo(Poppler::CertificateInfo::DistinguishedName),
            info.validityStart().toUTC(), info.validityEnd().toUTC(), info.certificateData()};
}

} // namespace

QString ownSigningFolder()
{
    const QString file = records::defaultRecordFile(qEnvironmentVariable("XDG_DATA_HOME"),
                                                    qEnvironmentVariable("HOME"));
    return file.isEmpty() ? QString() : QFileInfo(file).path() + QStringLiteral("/nss");
}

SigningKey signingKeyOf(const lab::LabSettings& settings)
{
    const QString folder = settings.value(QStringLiteral("signing-nss"));
    return {folder.isEmpty() ? ownSigningFolder() : folder,
            settings.value(QStringLiteral("signing-nick"))};
}

QString openSigningDatabase(const QString& folder,
                            const std::function<QString(const QString&)>& askPassword)
{
    if (!openedFolder.isEmpty())
        return openedFolder == folder ? QString()
                                      : QStringLiteral("another signing database is open");
    if (!Poppler::hasNSSSupport())
        return QStringLiteral("this program's PDF library signs nothing (it was built without "
                              "NSS)");
    if (!QFileInfo(folder).isDir() || !QFileInfo::exists(folder + QStringLiteral("/cert9.db")))
        return QStringLiteral("%1 holds no NSS database (cert9.db)").arg(folder);
    if (!QFileInfo(folder + QStringLiteral("/key4.db")).isReadable())
        return QStringLiteral("the NSS database %1 may not be read").arg(folder);
    // Asked once: the library asks again after a wrong one, and would for good.
    auto asked = std::make_shared<bool>(false);
    Poppler::setNSSPasswordCallback([askPassword, asked](const char* token) -> char* {
        if (std::exchange(*asked, true))
            return nullptr;
        const QString given =
            askPassword ? askPassword(QString::fromUtf8(token ? token : "")) : QString();
        return given.isEmpty() ? nullptr : ::strdup(given.toUtf8().constData());
    });
    Poppler::setNSSDir(QStringLiteral("sql:") + folder);
    openedFolder = folder;
    // Run before the library's own ending, which was set up before this.
    std::atexit(quietAtExit);
    return {};
}

QList<SigningCertificate> signingCertificates()
{
    QList<SigningCertificate> found;
    for (const Poppler::CertificateInfo& info : Poppler::getAvailableSigningCertificates())
        found << described(info);
    return found;
}

std::optional<SigningCertificate> signingCertificate(const SigningKey& key, QString& fault)
{
    for (const SigningCertificate& certificate : signingCertificates())
        if (certificate.nickname == key.nickname)
            return certificate;
    fault = QStringLiteral("the NSS database %1 holds no certificate \"%2\" with its private key")
                .arg(key.nssFolder, key.nickname);
    return std::nullopt;
}

namespace {

// A page of nothing, to sign as a trial.
bool blankPdf(const QString& path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter;
    return painter.begin(&writer) && painter.end();
}

QString signInto(const QString& from, const QString& to, const SigningKey& key,
                 const QString& reason)
{
    const std::unique_ptr<Poppler::Document> document(Poppler::Document::load(from));
    if (!document || document->isLocked())
        return QStringLiteral("the written file could not be read back to sign");
    const std::unique_ptr<Poppler::PDFConverter> converter(document->pdfConverter());
    converter->setOutputFileName(to);
    Poppler::PDFConverter::NewSignatureData data;
    data.setCertNickname(key.nickname);
    data.setReason(reason);
    data.setPage(0);
    // A quiet line in the page's bottom margin, below the footer: the signatures of people
    // are the page's own block; this one says that the file is signed, for a reader that
    // shows none.
    data.setBoundingRectangle(QRectF(0.08, 0.982, 0.5, 0.014));
    data.setSignatureText(QStringLiteral("Signed electronically with the laboratory's key"));
    data.setFontSize(5.5);
    data.setFontColor(QColor(110, 110, 110));
    data.setBorderWidth(0);
    data.setBorderColor(Qt::white);
    data.setBackgroundColor(Qt::white);
    data.setFieldPartialName(QStringLiteral("LaboratorySignature"));
    if (!converter->sign(data))
        return QStringLiteral("the signing library refused (a locked key, or a key or "
                              "certificate it cannot use)");
    return {};
}

} // namespace

QString readyToSign(const SigningKey& key, const QDateTime& now)
{
    QString fault;
    const std::optional<SigningCertificate> certificate = signingCertificate(key, fault);
    if (!certificate)
        return fault;
    if (now < certificate->validFrom || now > certificate->validUntil)
        return QStringLiteral("the signing certificate %1 is valid from %2 to %3 only")
            .arg(certificate->subject, certificate->validFrom.toString(Qt::ISODate),
                 certificate->validUntil.toString(Qt::ISODate));
    QTemporaryDir trial;
    const QString blank = trial.filePath(QStringLiteral("blank.pdf"));
    if (!trial.isValid() || !blankPdf(blank))
        return QStringLiteral("no trial page could be written in %1").arg(QDir::tempPath());
    return signInto(blank, trial.filePath(QStringLiteral("signed.pdf")), key,
                    QStringLiteral("trial"));
}

QString signPdf(const QString& path, const SigningKey& key, const QString& reason)
{
    const QString signedPath = path + QStringLiteral(".signing");
    QFile::remove(signedPath);
    if (const QString fault = signInto(path, signedPath, key, reason); !fault.isEmpty()) {
        QFile::remove(signedPath);
        return fault;
    }
    // The signed file replaces the unsigned one at once, never in part.
    if (::rename(QFile::encodeName(signedPath).constData(), QFile::encodeName(path).constData()) !=
        0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(signedPath);
        return QStringLiteral("the signed file could not take the place of %1: %2").arg(path, why);
    }
    return {};
}

// What the file's signature says it is for: the certificate, and who authorised it.
QString signingReason(const lab::CertificateIssue& issue, const lab::CertificateStatus& status)
{
    const QString laboratory = status.lab.value(QStringLiteral("name"));
    return QStringLiteral("Certificate %1 issued%2; authorised by %3, %4%5")
        .arg(issue.number, laboratory.isEmpty() ? QString() : QStringLiteral(" by ") + laboratory,
             issue.issuedBy, issue.role,
             issue.signature != 0 ? QStringLiteral(" (signed)") : QStringLiteral(" (not signed)"));
}

PdfSignature readPdfSignature(const QString& path, const SigningKey& key, QString& fault)
{
    QString unknown;
    const std::optional<SigningCertificate> laboratorys =
        key.set() ? signingCertificate(key, unknown) : std::nullopt;
    PdfSignature found;
    const std::unique_ptr<Poppler::Document> document(Poppler::Document::load(path));
    if (!document || document->isLocked()) {
        fault = QStringLiteral("the file does not read as a PDF");
        return found;
    }
    for (const std::unique_ptr<Poppler::FormFieldSignature>& field : document->signatures()) {
        const Poppler::SignatureValidationInfo info =
            // Nothing is fetched from the network: the file and the database decide.
            field->validate(Poppler::FormFieldSignature::ValidateVerifyCertificate |
                                Poppler::FormFieldSignature::ValidateForceRevalidation |
                                Poppler::FormFieldSignature::ValidateWithoutOCSPRevocationCheck,
                            QDateTime::currentDateTimeUtc());
        found.present = true;
        ++found.count;
        if (laboratorys)
            found.laboratorys = info.certificateInfo().certificateData() == laboratorys->der;
        found.valid = info.signatureStatus() == Poppler::SignatureValidationInfo::SignatureValid;
        found.wholeDocument = info.signsTotalDocument();
        found.trusted =
            info.certificateStatus() == Poppler::SignatureValidationInfo::CertificateTrusted;
        found.signer = info.signerSubjectDN();
        found.reason = info.reason();
        found.signedUtc = QDateTime::fromSecsSinceEpoch(info.signingTime(), Qt::UTC);
    }
    return found;
}

} // namespace quarvet::certificate
