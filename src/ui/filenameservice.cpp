#include "filenameservice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quarvet::ui {
namespace {

FileNameService* replacement = nullptr;

} // namespace

QString DialogFileNameService::saveFileName(QWidget* parent, const QString& caption,
                                            const QString& suggested, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

QString chooseFileToWrite(QWidget* parent, const QString& caption, const QString& fileName,
                          const QString& filter)
{
    static QString lastFolder;
    const QString folder = lastFolder.isEmpty() ? QDir::homePath() : lastFolder;
    const QString chosen =
        fileNames().saveFileName(parent, caption, QDir(folder).filePath(fileName), filter);
    if (!chosen.isEmpty())
        lastFolder = QFileInfo(chosen).absolutePath();
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
