#include "certificatereading.h"

#include "recordwords.h"
#include "run.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace quarvet::cli {
namespace {

// A certificate of this program's reads in well under a second and a few hundred MiB.
constexpr int readingSeconds = 20;
constexpr rlim_t readingMemory = rlim_t{2} * 1024 * 1024 * 1024;

QJsonValue jsonOf(const std::optional<lab::CertificateMark>& mark)
{
    if (!mark)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("kind"), mark->kind},
                       {QStringLiteral("number"), mark->number},
                       {QStringLiteral("record"), mark->recordId},
                       {QStringLiteral("record_hash"), mark->recordHash},
                       {QStringLiteral("chain_head"), mark->chainHead}};
}

std::optional<lab::CertificateMark> markOf(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    lab::CertificateMark mark{object[QStringLiteral("kind")].toString(),
                              object[QStringLiteral("number")].toString(),
                              object[QStringLiteral("record")].toString(),
                              object[QStringLiteral("record_hash")].toString(),
                              object[QStringLiteral("chain_head")].toString()};
    // What the child says passes the same judgement as what it read.
    return certificate::plausible(mark) ? std::optional(mark) : std::nullopt;
}

QJsonValue jsonOf(const certificate::PdfSignature& signature)
{
    if (!signature.present)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("count"), signature.count},
                       {QStringLiteral("laboratorys"),
                        signature.laboratorys ? QJsonValue(*signature.laboratorys) : QJsonValue()},
                       {QStringLiteral("valid"), signature.valid},
                       {QStringLiteral("whole_document"), signature.wholeDocument},
                       {QStringLiteral("trusted"), signature.trusted},
                       {QStringLiteral("signer"), signature.signer},
                       {QStringLiteral("reason"), signature.reason}};
}

certificate::PdfSignature signatureOf(const QJsonValue& value)
{
    certificate::PdfSignature signature;
    if (!value.isObject())
        return signature;
    const QJsonObject object = value.toObject();
    signature.present = true;
    signature.count = object[QStringLiteral("count")].toInt();
    if (object[QStringLiteral("laboratorys")].isBool())
        signature.laboratorys = object[QStringLiteral("laboratorys")].toBool();
    signature.valid = object[QStringLiteral("valid")].toBool();
    signature.wholeDocument = object[QStringLiteral("whole_document")].toBool();
    signature.trusted = object[QStringLiteral("trusted")].toBool();
    signature.signer = object[QStringLiteral("signer")].toString();
    signature.reason = object[QStringLiteral("reason")].toString();
    return signature;
}

void limitReading()
{
    const rlimit seconds{readingSeconds, readingSeconds + 5};
    setrlimit(RLIMIT_CPU, &seconds);
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer reserves terabytes it never uses: no limit of the space there.
    const rlimit memory{readingMemory, readingMemory};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

} // namespace

certificate::CertificateMarks readMarksApart(const QString& path,
                                             const certificate::SigningKey& key)
{
    certificate::CertificateMarks marks;
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    QProcess child;
    child.setProgram(self);
    child.setArguments(QStringList{QStringLiteral("records"), QStringLiteral("check-certificate"),
                                   QStringLiteral("--marks"), path} +
                       (key.set() ? QStringList{key.nssFolder, key.nickname} : QStringList()));
    child.setChildProcessModifier(limitReading);
    child.start();
    const bool finished = child.waitForFinished(readingSeconds * 1000);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    const QByteArray said = child.readAllStandardOutput();
    const QString fault = QString::fromUtf8(child.readAllStandardError()).trimmed();
    const QJsonDocument read = QJsonDocument::fromJson(said);
    if (finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
        read.isObject()) {
        marks.metadata = markOf(read[QStringLiteral("metadata")]);
        marks.text = markOf(read[QStringLiteral("page")]);
        marks.signature = signatureOf(read[QStringLiteral("signature")]);
    } else if (finished && child.exitStatus() == QProcess::NormalExit && !fault.isEmpty()) {
        // The child's own words, past its program's name.
        marks.fault = fault.section(QStringLiteral("the certificate "), 1);
        if (marks.fault.isEmpty())
            marks.fault = fault;
    } else {
        marks.fault = QStringLiteral("%1 could not be read within %2 s and %3 GiB: no "
                                     "certificate of this program's")
                          .arg(path)
                          .arg(readingSeconds)
                          .arg(readingMemory >> 30);
    }
    return marks;
}

int printMarks(const QString& path, const certificate::SigningKey& key, Output& io)
{
    // Run by hand as well as by the check: held to the same bounds either way, and said so
    // when the time runs out.
    limitReading();
    std::signal(SIGALRM, [](int) {
        static const char said[] = "quarvet-cli: the certificate could not be read within 20 s: "
                                   "no certificate of this program's\n";
        (void)!::write(2, said, sizeof said - 1);
        ::_exit(failure);
    });
    alarm(readingSeconds);
    const certificate::CertificateMarks marks = certificate::readCertificateMarks(path);
    if (!marks.fault.isEmpty())
        return refusal(QStringLiteral("the certificate ") + marks.fault, io);
    // Its signature checked against the database that trusts the laboratory's certificate,
    // where there is one; its bytes whatever the database.
    QString fault;
    if (key.set())
        certificate::openSigningDatabase(key.nssFolder);
    const certificate::PdfSignature signature = certificate::readPdfSignature(path, key, fault);
    const QJsonObject object{{QStringLiteral("metadata"), jsonOf(marks.metadata)},
                             {QStringLiteral("page"), jsonOf(marks.text)},
                             {QStringLiteral("signature"), jsonOf(signature)}};
    io.out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
    io.out.flush();
    return success;
}

} // namespace quarvet::cli
