#include "mainwindow.h"
#include "processstart.h"
#include "startupprobe.h"

#include "cli/fileio.h"
#include "settings/settingsstore.h"
#include "ui/artwork.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // With descriptor 2 closed, the connection to the X server would take it, and a message
    // meant for standard error would go into the connection.
    quarvet::cli::occupyClosedStandardStreams();
    if (const auto answered = quarvet::app::answerInformationOptions(argc, argv))
        return *answered;
    quarvet::app::WindowSystemStart windowSystem;
    QApplication app(argc, argv);
    windowSystem.started();
    QApplication::setOrganizationName(QStringLiteral("Quarvet"));
    QApplication::setApplicationName(QStringLiteral("Quarvet"));
    QApplication::setWindowIcon(quarvet::ui::programIcon());

    quarvet::settings::QtSettingsStore store;
    quarvet::app::MainWindow window(store);
    // End of Program closes every window at once, asking nothing and saving nothing.
    QObject::connect(&window, &quarvet::app::MainWindow::endRequested, &app,
                     [] { QCoreApplication::exit(0); });
    quarvet::app::armStartupProbe(&window);
    window.show();
    return app.exec();
}
