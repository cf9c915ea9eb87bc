#include "filenameservice.h"

#include <QFileDialog>

namespace quarvet::ui {
namespace {

FileNameService* replacement = nullptr;

} // namespace

QString DialogFileNameService::saveFileName(QWidget* parent, const QString& caption,
                                            const QString& suggested, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
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
