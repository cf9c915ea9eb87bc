#include "settingsstore.h"

#include <QSettings>

namespace quarvet::settings {

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
