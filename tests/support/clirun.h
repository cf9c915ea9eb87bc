#pragma once

#include <QDate>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// quarvet-cli as a user runs it, a real process in a folder of its own. A test that includes
// this defines QUARVET_CLI as the program's path.

struct Run {
    int status;
    QString out;
    QString err;
};

// A folder of its own for data and settings; the store is its file unless `database` is set.
class Workplace {
public:
    // The folders of its own, and a locale that reads the arguments' points whatever the
    // user running the tests has.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dataHome.isEmpty() ? dir.filePath("data") : dataHome);
        environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
        environment.insert("LC_ALL", "C.UTF-8");
        environment.remove("QUARVET_DATABASE");
        return environment;
    }

    Run run(const QStringList& args, const QString& database = {}) const
    {
        QProcessEnvironment environment = this->environment();
        if (!database.isEmpty())
            environment.insert("QUARVET_DATABASE", database);
        if (withoutRuntimeFolder)
            environment.remove("XDG_RUNTIME_DIR");
        QProcess process;
        process.setProcessEnvironment(environment);
        if (asUser.isEmpty())
            process.start(QStringLiteral(QUARVET_CLI), args);
        else
            process.start("runuser",
                          QStringList{"-u", asUser, "--", "env",
                                      "XDG_DATA_HOME=" + environment.value("XDG_DATA_HOME"),
                                      "XDG_CONFIG_HOME=" + dir.filePath("config"),
                                      "XDG_CACHE_HOME=" + dir.filePath("cache"),
                                      "HOME=" + dir.path(), dir.filePath("quarvet-cli")} +
                              args);
        if (!process.waitForFinished(60000))
            return {-1, {}, QStringLiteral("did not finish")};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QTemporaryDir dir;
    QString dataHome;
    bool withoutRuntimeFolder = false;
    QString asUser; // another user of the machine to run as (through runuser), if any
};

inline const QString dueDate = QDate::currentDate().addYears(1).toString(Qt::ISODate);

// A certificate's text as pdftotext reads it, laid out, its white space folded.
inline QString pageText(const QString& pdf)
{
    QProcess process;
    process.start("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}
