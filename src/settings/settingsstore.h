#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace quarvet::settings {

inline const QString sectionDefaults = QStringLiteral("Voreinstellungen");
inline const QString keyTarget1 = QStringLiteral("Soll1");
inline const QString keyTarget2 = QStringLiteral("Soll2");

// A writer killed between creating the store's lock file and writing its name into it
// leaves a lock that nobody can judge, and QSettings waits thirty seconds before it takes
// such a lock as stale: the program would hang on the next save. A nameless lock a second
// old is broken (a live writer names itself within microseconds); this removes it.
inline constexpr qint64 brokenLockAge = 1000; // milliseconds
void clearBrokenLock(const QString& settingsFile);

// A per-user store of texts addressed by section and key; the application is the store's own.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored text, or `fallback` when the key (or the whole store) is missing or unreadable.
    virtual QString read(const QString& section, const QString& key,
                         const QString& fallback) const = 0;
    // Stores the texts exactly as given, replacing the whole set at once; false when they
    // could not be stored.
    virtual bool write(const QString& section, const QList<QPair<QString, QString>>& values) = 0;
    // Where the texts live, for telling the user.
    virtual QString location() const = 0;
};

// The store in Qt's native settings format: on Linux an INI file under $XDG_CONFIG_HOME,
// written atomically (a new file renamed over the old one).
class QtSettingsStore final : public SettingsStore {
public:
    // The user's own store of application "Quarvet".
    QtSettingsStore();
    // A store in the file at `path`, for tests and tools.
    explicit QtSettingsStore(const QString& path);
    ~QtSettingsStore() override;

    QString read(const QString& section, const QString& key,
                 const QString& fallback) const override;
    bool write(const QString& section, const QList<QPair<QString, QString>>& values) override;
    QString location() const override;

private:
    std::unique_ptr<QSettings> open() const;

    QString path_; // empty for the user's own store
};

} // namespace quarvet::settings
