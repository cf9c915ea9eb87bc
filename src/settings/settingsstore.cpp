#include "settingsstore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QThread>

namespace quarvet::settings {

void clearBrokenLock(const QString& settingsFile)
{
    const QString lockPath = settingsFile + QStringLiteral(".lock");
    const QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    for (int look = 0; look < 2; ++look) {
        const QFileInfo info(lockPath);
        // No lock, or one that names its holder: QLockFile judges that one itself.
        if (!info.exists() || lock.getLockInfo(&pid, &host, &application))
            return;
        const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
        if (age >= brokenLockAge) {
            QFile::remove(lockPath);
            return;
        }
        // Perhaps a writer that is filling it in right now.
        QThread::msleep(static_cast<unsigned long>(brokenLockAge - age));
    }
}

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& path) : path_(path) {}

QtSettingsStore::~QtSettingsStore() = default;

std::unique_ptr<QSettings> QtSettingsStore::open() const
{
    if (path_.isEmpty())
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("Quarvet"), QStringLiteral("Quarvet"));
    return std::make_unique<QSettings>(path_, QSettings::NativeFormat);
}

QString QtSettingsStore::read(const QString& section, const QString& key,
                              const QString& fallback) const
{
    // A file that does not parse is read as far as it goes.
    const auto settings = open();
    settings->beginGroup(section);
    const QVariant value = settings->value(key);
    if (!value.isValid() || !value.canConvert<QString>())
        return fallback;
    return value.toString();
}

bool QtSettingsStore::write(const QString& section, const QList<QPair<QString, QString>>& values)
{
    const auto settings = open();
    clearBrokenLock(settings->fileName());
    settings->beginGroup(section);
    for (const auto& [key, text] : values)
        settings->setValue(key, text);
    settings->endGroup();
    settings->sync();
    if (settings->status() == QSettings::NoError)
        return true;
    // A status once set stays: a file that did not parse when it was read reports that,
    // whether or not the new texts reached the disk. Only a fresh read can tell.
    if (settings->status() == QSettings::AccessError)
        return false;
    const auto fresh = open();
    fresh->beginGroup(section);
    for (const auto& [key, text] : values)
        if (fresh->value(key).toString() != text)
            return false;
    return true;
}

QString QtSettingsStore::location() const
{
    return open()->fileName();
}

} // namespace quarvet::settings
