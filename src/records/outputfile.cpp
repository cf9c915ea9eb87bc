#include "outputfile.h"

#include "chain.h"
#include "record.h"

#include <QSaveFile>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quarvet::records {
namespace {

// Where a path leads once its links are followed, for a file that is not there yet too: its
// folder's real place and its name.
QString placeOf(const QString& path)
{
    QFileInfo info(path);
    for (int links = 0; info.isSymLink() && links < 40; ++links)
        info = QFileInfo(info.symLinkTarget());
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

// Whether two paths name one file: the same device and inode where both are there, else the
// same place.
bool sameFile(const QString& first, const QString& second)
{
#ifdef Q_OS_UNIX
    struct stat one;
    struct stat other;
    if (::stat(QFile::encodeName(first).constData(), &one) == 0 &&
        ::stat(QFile::encodeName(second).constData(), &other) == 0)
        return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
#endif
    return placeOf(first) == placeOf(second);
}

} // namespace

bool asSaved(const Record& record)
{
    return record.hash.isEmpty() || recordHash(record) == record.hash;
}

OutputFault certificateOutput(const Record& record, const QString& path, const QStringList& kept)
{
    if (!asSaved(record))
        return {OutputFaultKind::NotAsSaved, path, {}};
    return writableOutput(path, kept);
}

OutputFault writableOutput(const QString& path, const QStringList& kept)
{
    QString which;
    if (const OutputFaultKind kind = unreplaceable(path, kept, &which);
        kind != OutputFaultKind::None)
        return {kind, path, which};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {OutputFaultKind::CannotWrite, path, file.errorString()};
    file.cancelWriting();
    return {};
}

OutputFaultKind unreplaceable(const QString& path, const QStringList& kept, QString* which)
{
    for (const QString& file : kept)
        if (sameFile(path, file)) {
            if (which)
                *which = file;
            return OutputFaultKind::RecordStore;
        }
    const QFileInfo target(path);
    if (target.isSymLink() && !target.exists())
        return OutputFaultKind::LinkToNothing;
    if (!target.exists() || target.isFile())
        return OutputFaultKind::None;
    return target.isDir() ? OutputFaultKind::Folder : OutputFaultKind::NotPlainFile;
}

} // namespace quarvet::records
