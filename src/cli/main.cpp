#include "cli.h"
#include "fileio.h"
#include "recordcommands.h"
#include "registercommands.h"

#include "certificate/certificate.h"
#include "records/recordstore.h"
#include "records/storechoice.h"
#include "settings/settingsstore.h"
#include "storedeadline.h"
#include "ui/localeseparators.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Qt's database drivers need an application object, and the certificate's fonts and
// painting a GUI one (so does the size of a logo whose text must be laid out); neither needs a
// display, so a certificate is drawn offscreen. Made only for the commands that draw: calc and
// decode start as fast as before.
std::unique_ptr<QCoreApplication> applicationFor(const std::vector<std::string>& words, int& argc,
                                                 char* argv[])
{
    const bool draws = words.size() > 1 && (words[1] == "certificate" || words[1] == "issue" ||
                                            (words[0] == "lab" && words[1] == "set") ||
                                            (words[0] == "instruments" && words[1] == "history"));
    if (draws) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's graphical side wants a runtime folder and says so on standard error when there
        // is none: a folder of this run's own, the user's alone, gone when it ends.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            static QTemporaryDir runtime;
            if (runtime.isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        }
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

// Qt's own warnings (a driver that could not free a statement after an error the store
// already reports) are not the user's: the command says what happened in its own words.
void dropQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "quarvet-cli: %s\n", qPrintable(message));
}

// A command of the store, with Qt's application it needs and the store the settings name.
int runWithStore(const std::vector<std::string>& args, char* argv[],
                 const std::function<int(quarvet::cli::RecordsContext&)>& command)
{
    int qtArgc = 1;
    qInstallMessageHandler(dropQtWarnings);
    const auto application = applicationFor(args, qtArgc, argv);
    quarvet::records::setUpgradeProgress(quarvet::cli::showUpgradeProgress);
    const quarvet::settings::QtSettingsStore settings;
    const auto store = quarvet::records::recordStoreFor(
        settings.read(quarvet::records::databaseSection, quarvet::records::databaseKey, QString()));
    quarvet::cli::RecordsContext context{*store, QDate::currentDate(),
                                         &quarvet::certificate::writeCertificate};
    return command(context);
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything opens a file that could otherwise become standard input or output. A
    // file grown past the shell's limit (ulimit -f) is a failed write like a full disk, said
    // and answered as one, not a kill that leaves a saved record's id unsaid.
    quarvet::cli::occupyClosedStandardStreams();
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Qt's reading of the environment (LC_ALL, LC_NUMERIC, LANG), as the window uses it.
    const auto separators = quarvet::ui::separatorsOf(QLocale::system());
    quarvet::cli::DescriptorSource in(0, "standard input");
    quarvet::cli::DescriptorSink out(1, "standard output");
    quarvet::cli::DescriptorSink err(2, "standard error");
    // The calculator's commands, and those of the store: the records, the laboratory's
    // settings, the register.
    const auto openStore = [&](const std::function<int(quarvet::cli::RecordsContext&)>& command) {
        return runWithStore(args, argv, command);
    };
    return quarvet::cli::run(args, separators, {in, out, err}, quarvet::cli::programCommands(),
                             openStore);
}
