#include "processstart.h"

#include "quarvet/version.h"

#include <QByteArray>
#include <QMessageLogContext>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace quarvet::app {
namespace {

constexpr const char* help =
    "Usage: quarvet [--help | --version]\n"
    "\n"
    "Two-point calibration of temperature instruments: opens the main window. Qt's own\n"
    "options (-platform, -display, ...) are taken as well.\n";

bool holding = false;
QtMessageHandler previousHandler = nullptr;
QByteArray heldMessages;
bool couldNotConnect = false;

bool noDisplayNamed()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void writeError(const QByteArray& text)
{
    // Nothing is left to tell if standard error itself fails.
    (void)!::write(STDERR_FILENO, text.constData(), static_cast<std::size_t>(text.size()));
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        couldNotConnect = couldNotConnect || message.contains(QLatin1String("connect to display"));
        heldMessages += qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
        return;
    }
    if (couldNotConnect || (noDisplayNamed() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))) {
        writeError("quarvet: no display was found: DISPLAY or WAYLAND_DISPLAY must name one that "
                   "can be opened\n");
    } else {
        // Qt's own reason comes before its advice to reinstall.
        const QByteArray reason = heldMessages.isEmpty() ? message.toLocal8Bit() : heldMessages;
        writeError("quarvet: the window system could not be started: " +
                   reason.left(reason.indexOf('\n')).trimmed() + '\n');
    }
    ::_exit(1);
}

} // namespace

std::optional<int> answerInformationOptions(int argc, char* argv[])
{
    for (int n = 1; n < argc; ++n) {
        const bool wantsHelp =
            std::strcmp(argv[n], "--help") == 0 || std::strcmp(argv[n], "-h") == 0;
        const bool wantsVersion = std::strcmp(argv[n], "--version") == 0;
        if (!wantsHelp && !wantsVersion)
            continue;
        const int written =
            wantsHelp ? std::printf("%s", help) : std::printf("%s %s\n", programTitle, versionText);
        if (written < 0 || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "quarvet: cannot write to standard output\n");
            return 1;
        }
        return 0;
    }
    return std::nullopt;
}

WindowSystemStart::WindowSystemStart()
{
    holding = true;
    previousHandler = qInstallMessageHandler(holdMessage);
}

WindowSystemStart::~WindowSystemStart()
{
    started();
}

void WindowSystemStart::started()
{
    if (!holding)
        return;
    holding = false;
    qInstallMessageHandler(previousHandler);
    writeError(heldMessages);
    heldMessages.clear();
}

} // namespace quarvet::app
