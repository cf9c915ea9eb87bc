#pragma once

#include "interface.h"

#include <QString>

#include <functional>

class QWidget;

namespace quarvet::ui {

// Every "save as" question goes through one service, as message boxes do, so that tests can
// answer it without a real file dialog.
class FileNameService : public Interface {
public:
    virtual ~FileNameService() = default;
    // The file the user chose to write, or empty when they cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                                 const QString& filter) = 0;
};

class DialogFileNameService final : public FileNameService {
public:
    QString saveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                         const QString& filter) override;
};

// The service in use; the program's own dialog unless a test has put another in place.
FileNameService& fileNames();

// Where file dialogs start: `folder`, kept from a run before (the home folder when it is no
// folder), and whom to tell of each new folder a file is written to, to keep it for the next.
void startFileDialogsIn(const QString& folder, std::function<void(const QString&)> moved);
// Asks the service for a file to write, suggesting `fileName` in the folder a file was last
// written to (the home folder before any): empty when the user cancelled.
QString chooseFileToWrite(QWidget* parent, const QString& caption, const QString& fileName,
                          const QString& filter);
// Puts `service` in place (nullptr restores the program's own) and returns the previous one.
FileNameService* setFileNameService(FileNameService* service);

} // namespace quarvet::ui
