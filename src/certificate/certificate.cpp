#include "certificate.h"

#include "certificatepage.h"

#include "quarvet/version.h"
#include "records/outputfile.h"

#include <QDir>
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

QString failure(const QString& path, QString reason)
{
    while (reason.endsWith(u'.'))
        reason.chop(1);
    return QStringLiteral("The certificate could not be written to “%1”: %2.")
        .arg(QDir::toNativeSeparators(path), reason);
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

// The page drawn into `file`; empty, or why it could not be.
QString drawInto(QSaveFile& file, const records::Record& record)
{
    QPdfWriter writer(&file);
    setUp(writer);
    QPainter painter;
    if (!painter.begin(&writer))
        return QStringLiteral("the PDF writer did not start");
    drawCertificatePage(painter, record);
    if (!painter.end())
        return QStringLiteral("the PDF writer could not finish the page");
    return {};
}

} // namespace

QString writeCertificate(const records::Record& record, const QString& path)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return failure(path, QStringLiteral("fonts are not available without a running "
                                            "graphical application"));
    if (const QString why = records::unreplaceable(path); !why.isEmpty())
        return failure(path, why);
    // The page goes to a file beside the target, which replaces it only once whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(path, file.errorString());
    if (const QString fault = drawInto(file, record); !fault.isEmpty()) {
        file.cancelWriting();
        return failure(path, fault);
    }
    if (!file.commit())
        return failure(path, file.errorString());
    return {};
}

} // namespace quarvet::certificate
