// Drives the settings store from a process of its own, for the tests that kill it mid-save,
// give it an environment of its own or may find it hanging.
#include "settings/settingsstore.h"

#include <QCoreApplication>
#include <QLockFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

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

int save(const QString& path)
{
    QtSettingsStore store(path);
    return store.write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}) ? 0 : 1;
}

// A disk that is full after `bytes`: files cannot grow past that size.
int saveLimited(const QString& path, rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 2;
    QtSettingsStore store(path);
    return store.write(sectionDefaults,
                       {{keyTarget1, QString(3000, QLatin1Char('x'))}, {keyTarget2, "80"}})
               ? 0
               : 1;
}

// Leaves a lock that names a process which is gone: it ends without unlocking.
[[noreturn]] void lockAndDie(const QString& lockPath)
{
    QLockFile lock(lockPath);
    std::_Exit(lock.tryLock(0) ? 0 : 1);
}

int userStore()
{
    QtSettingsStore store;
    QTextStream out(stdout);
    out << store.location() << '\n';
    out.flush();
    if (!store.write(sectionDefaults, {{keyTarget1, "20"}, {keyTarget2, "80"}}))
        return 1;
    return store.read(sectionDefaults, keyTarget2, QString()) == QLatin1String("80") ? 0 : 3;
}

int userRead()
{
    QtSettingsStore store;
    QTextStream out(stdout);
    out << store.read(sectionDefaults, keyTarget1, QString()) << '\n'
        << store.read(sectionDefaults, keyTarget2, QString()) << '\n';
    return 0;
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
    if (args.size() == 3 && args[1] == QLatin1String("save"))
        return save(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("save-limited"))
        return saveLimited(args[2], args[3].toULongLong());
    if (args.size() == 3 && args[1] == QLatin1String("lock-and-die"))
        lockAndDie(args[2]);
    if (args.size() == 2 && args[1] == QLatin1String("user-store"))
        return userStore();
    if (args.size() == 2 && args[1] == QLatin1String("user-read"))
        return userRead();
    return 2;
}
