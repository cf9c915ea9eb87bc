#pragma once

#include "interface.h"

#include <QString>

namespace quarvet::settings {

inline const QString sectionDefaults = QStringLiteral("Voreinstellungen");
inline const QString keyTarget1 = QStringLiteral("Soll1");
inline const QString keyTarget2 = QStringLiteral("Soll2");

// A writer killed between creating the store's lock file and writing its name into it leaves a
// lock that nobody can judge, and QSettings waits thirty seconds before it takes such a lock as
// stale, or longer when its date lies ahead of the clock. A nameless lock a second old is
// broken (a live writer names itself within microseconds), and so is one dated in the future,
// which no writer can have made a moment ago.
inline constexpr qint64 brokenLockAge = 1000; // milliseconds
// Removes the lock file of `settingsFile` when it is a broken one; true when it did. Never
// waits: a nameless lock younger than brokenLockAge is left for the caller to look at again.
bool clearBrokenLock(const QString& settingsFile);

// However the lock is held, a save gives up after this long instead of freezing the window.
inline constexpr int saveLockTimeout = 1500; // milliseconds
// A temporary file of a save that is older than this was left by a save that was killed.
inline constexpr qint64 staleTemporaryAge = 60 * 1000; // milliseconds
// A store file larger than this is neither read nor replaced: it holds two short texts.
inline constexpr qint64 settingsFileLimit = 1 << 20; // bytes

// A per-user store of texts addressed by section and key; the application is the store's own.
class SettingsStore : public Interface {
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

// The store in Qt's native settings format. On Linux and other Unix but macOS an INI file under
// $XDG_CONFIG_HOME (when that is an absolute path, else $HOME/.config), replaced by a new file
// that is on the disk before it takes the old one's name. Only that file is read: values that
// QSettings would otherwise take from files in $XDG_CONFIG_DIRS or from the organisation's
// file are not defaults anybody stored for this user.
class QtSettingsStore final : public SettingsStore {
public:
    // The user's own store of application "Quarvet". Without a usable $XDG_CONFIG_HOME or
    // $HOME there is no place for it: nothing is read and write() refuses.
    QtSettingsStore();
    // A store in the file at `path`, for tests and tools.
    explicit QtSettingsStore(const QString& path);
    ~QtSettingsStore() override;

    QString read(const QString& section, const QString& key,
                 const QString& fallback) const override;
    bool write(const QString& section, const QList<QPair<QString, QString>>& values) override;
    QString location() const override;

private:
    // The file the store lives in; empty when there is no place for it.
    QString file() const;

    QString path_; // empty for the user's own store
};

// The two default target values as stored; a value never stored is the empty text.
struct StoredDefaults {
    QString target1;
    QString target2;
};
StoredDefaults readStoredDefaults(const SettingsStore& store);

} // namespace quarvet::settings
