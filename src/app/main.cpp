#include "form1.h"
#include "startupprobe.h"

#include "settings/settingsstore.h"
#include "ui/artwork.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quarvet"));
    QApplication::setApplicationName(QStringLiteral("Quarvet"));
    QApplication::setWindowIcon(quarvet::ui::programIcon());

    quarvet::settings::QtSettingsStore store;
    quarvet::app::Form1 window(store);
    // End of Program closes every window at once, asking nothing and saving nothing.
    QObject::connect(&window, &quarvet::app::Form1::endRequested, &app,
                     [] { QCoreApplication::exit(0); });
    quarvet::app::armStartupProbe(&window);
    window.show();
    return app.exec();
}
