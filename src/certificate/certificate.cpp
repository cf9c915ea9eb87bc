#include "certificate.h"

#include <QImage>
#include <QSvgRenderer>

#include "certificatemark.h"
#include "certificatepage.h"

#include "messages/storemessages.h"
#include "quarvet/version.h"
#include "records/chain.h"
#include "records/outputfile.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace quarvet::certificate {
namespace {

// Fine enough that text placed on it sits where its font's own metrics put it.
constexpr int resolution = 300;

records::OutputFault failure(const QString& path, records::OutputFaultKind kind,
                             const QString& detail = {})
{
    return {kind, path, detail};
}

void setUp(QPdfWriter& writer)
{
    writer.setResolution(resolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Point));
    writer.setTitle(QStringLiteral("Calibration certificate"));
    writer.setCreator(QStringLiteral("%1 %2").arg(QString::fromUtf8(programTitle),
                                                  QString::fromUtf8(versionText)));
}

// The page drawn into `file`, or why it could not be.
records::OutputFaultKind drawInto(QSaveFile& file, const records::Record& record,
                                  const QString& chainHead, const lab::CertificateStatus& status)
{
    QPdfWriter writer(&file);
    setUp(writer);
    // What records check-certificate reads back, besides the page's own text.
    writer.setDocumentXmpMetadata(markMetadata(lab::markOf(record, chainHead, status)));
    QPainter painter;
    if (!painter.begin(&writer))
        return records::OutputFaultKind::WriterFailed;
    drawCertificatePage(painter, record, chainHead, status);
    if (!painter.end())
        return records::OutputFaultKind::PageUnfinished;
    return records::OutputFaultKind::None;
}

} // namespace

records::OutputFault writeCertificateFile(const records::Record& record, const QString& path,
                                          const QStringList& kept, const QString& chainHead,
                                          const lab::CertificateStatus& status)
{
    using records::OutputFaultKind;
    // A certificate is signed on the record: never on one that is not what was saved. A record
    // saved before its store kept hashes has none to check.
    if (!records::asSaved(record))
        return failure(path, OutputFaultKind::NotAsSaved);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return failure(path, OutputFaultKind::NoGraphics);
    QString store;
    if (const OutputFaultKind why = records::unreplaceable(path, kept, &store);
        why != OutputFaultKind::None)
        return failure(path, why, store);
    // The page goes to a file beside the target, which replaces it only once whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(path, OutputFaultKind::CannotWrite, file.errorString());
    if (const OutputFaultKind fault = drawInto(file, record, chainHead, status);
        fault != OutputFaultKind::None) {
        file.cancelWriting();
        return failure(path, fault);
    }
    if (!file.commit())
        return failure(path, OutputFaultKind::CannotWrite, file.errorString());
    return {};
}

bool logoDraws(const QString& logo)
{
    const QByteArray bytes = QByteArray::fromBase64(logo.mid(4).toLatin1());
    if (logo.startsWith(QLatin1String("svg:"))) {
        QSvgRenderer svg(bytes);
        return svg.isValid() && !svg.defaultSize().isEmpty();
    }
    QImage image;
    return logo.startsWith(QLatin1String("png:")) && image.loadFromData(bytes, "PNG") &&
           !image.isNull();
}

QString writeCertificate(const records::Record& record, const QString& path,
                         const QStringList& kept, const QString& chainHead,
                         const lab::CertificateStatus& status)
{
    return messages::certificateFault(writeCertificateFile(record, path, kept, chainHead, status));
}

} // namespace quarvet::certificate
