#include "filenameservice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quarvet::ui {
namespace {

FileNameService* replacement = nullptr;
QString lastFolder;
std::function<void(const QString&)> folderMoved;

} // namespace

QString DialogFileNameService::saveFileName(QWidget* parent, const QString& caption,
                                            const QString& suggested, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void startFileDialogsIn(const QString& folder, std::function<void(const QString&)> moved)
{
    lastFolder = QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
    folderMoved = std::move(moved);
}

QString chooseFileToWrite(QWidget* parent, const QString& caption, const QString& fileName,
                          const QString& filter)
{
    // A folder kept that is gone, or never was one, is not offered.
    const QString folder = QFileInfo(lastFolder).isDir() ? lastFolder : QDir::homePath();
    const QString chosen =
        fileNames().saveFileName(parent, caption, QDir(folder).filePath(fileName), filter);
    if (chosen.isEmpty() || QFileInfo(chosen).absolutePath() == lastFolder)
        return chosen;
    lastFolder = QFileInfo(chosen).absolutePath();
    if (folderMoved)
        folderMoved(lastFolder);
    return chosen;
}

FileNameService& fileNames()
{
    static DialogFileNameService dialog;
    return replacement ? *replacement : dialog;
}

FileNameService* setFileNameService(FileNameService* service)
{
    FileNameService* previous = replacement;
    replacement = service;
    return previous;
}

} // namespace quarvet::ui
