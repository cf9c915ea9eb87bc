// Drives the settings store from a process of its own, for the tests that kill it mid-save
// or give it an environment of its own.
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include <cstdio>

using quarvet::settings::keyTarget1;
using quarvet::settings::keyTarget2;
using quarvet::settings::QtSettingsStore;
using quarvet::settings::sectionDefaults;

namespace {

// Generation k writes "k:" and k letters to both keys, so a reader can tell a whole pair.
[[noreturn]] void saveForever(const QString& path)
{
    QtSettingsStore store(path);
    for (int generation = 1;; generation = generation % 4000 + 1) {
        const QString value =
            QString::number(generation) + QLatin1Char(':') + QString(generation, QLatin1Char('a'));
        store.write(sectionDefaults, {{keyTarget1, value}, {keyTarget2, value}});
        if (generation == 1) {
            // The killer waits for this, however slowly the process started.
            std::fputs("saving\n", stdout);
            std::fflush(stdout);
        }
    }
}

int userStore()
{
    QtSettingsStore store;
    QTextStream out(stdout);
    out << store.location() << '\n';
    if (!store.write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}))
        return 1;
    return store.read(sectionDefaults, keyTarget2, QString()) == QLatin1String("80") ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quarvet"));
    QCoreApplication::setApplicationName(QStringLiteral("Quarvet"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("save-forever"))
        saveForever(args[2]);
    if (args.size() == 2 && args[1] == QLatin1String("user-store"))
        return userStore();
    return 2;
}
