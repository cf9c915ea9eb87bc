#include "settingsstore.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <functional>
#include <memory>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
// Qt's native format is an INI file here, which the store replaces by its own means.
#define QUARVET_INI_STORE 1
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarvet::settings {

namespace {

// A value as the text it was written as. The file's format reads a value with commas in it as
// a list of the parts: a database URL whose password holds a comma is one text all the same,
// not a value to drop silently for another store.
QString textOf(const QVariant& value, const QString& fallback)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (!value.isValid() || !value.canConvert<QString>())
        return fallback;
    return value.toString();
}

} // namespace
namespace {

#ifdef Q_OS_UNIX
// Device and inode: whether a path still names the file that was looked at.
QPair<quint64, quint64> identity(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}
#else
QPair<quint64, quint64> identity(const QString&)
{
    return {};
}
#endif

} // namespace

bool clearBrokenLock(const QString& settingsFile)
{
    const QString lockPath = settingsFile + QStringLiteral(".lock");
    const QFileInfo info(lockPath);
    // A writer leaves a plain file; a folder or a link there is nobody's lock to remove.
    if (!info.isFile() || info.isSymLink())
        return false;
    const auto judged = identity(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    // One that names its holder is QLockFile's to judge.
    if (QLockFile(lockPath).getLockInfo(&pid, &host, &application))
        return false;
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
    // Perhaps a writer that is filling it in right now.
    if (age >= 0 && age < brokenLockAge)
        return false;
    // Another save may have cleared it and made its own meanwhile; that one stays.
    if (identity(lockPath) != judged)
        return false;
    return QFile::remove(lockPath);
}

StoredDefaults readStoredDefaults(const SettingsStore& store)
{
    return {store.read(sectionDefaults, keyTarget1, QString()),
            store.read(sectionDefaults, keyTarget2, QString())};
}

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& path) : path_(path) {}

QtSettingsStore::~QtSettingsStore() = default;

#ifdef QUARVET_INI_STORE

namespace {

const QString organisation = QStringLiteral("Quarvet");
const QString application = QStringLiteral("Quarvet");
const QString temporaryMark = QStringLiteral(".saving-");
constexpr int temporaryRandomLength = 12;

// Where QSettings would put the user's file, with the rule of the XDG base directories that
// it does not follow: a relative $XDG_CONFIG_HOME is ignored, and without an absolute $HOME
// there is no place at all (QSettings would use "/.config" at the root, or a folder below the
// current one).
QString userStoreFile()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home))
            return {};
        configHome = home + QStringLiteral("/.config");
    }
    return QDir::cleanPath(configHome + QLatin1Char('/') + organisation + QLatin1Char('/') +
                           application + QStringLiteral(".conf"));
}

int openRetrying(const QString& path, int flags, mode_t mode = 0)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Closes on every path out; a file that was written is closed with closeChecked() instead.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // A failed close can be the first report of a failed write.
    bool closeChecked()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_;
};

bool writeAll(int fd, const QByteArray& data)
{
    const char* next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t count = ::write(fd, next, static_cast<size_t>(left));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        next += count;
        left -= count;
    }
    return true;
}

// Only a plain file of sensible size is read: a pipe would block the window, a device such as
// /dev/zero would never end.
bool usableFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_size <= settingsFileLimit;
}

enum class Existing { Missing, Read, Unusable };

Existing readStoreFile(const QString& path, QByteArray& content, mode_t& mode)
{
    Descriptor file(openRetrying(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        return errno == ENOENT ? Existing::Missing : Existing::Unusable;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !usableFile(info))
        return Existing::Unusable;
    mode = info.st_mode & 0777;
    content.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        // An error is no end of the file: what was read so far is not the whole of it.
        if (count < 0 || content.size() + count > settingsFileLimit)
            return Existing::Unusable;
        if (count == 0)
            return Existing::Read;
        content.append(buffer, count);
    }
}

// The file a save replaces: a store file that is a link keeps being one, and its target is
// replaced, as QSettings has always done. Empty for a loop of links.
QString followLinks(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? QString() : info.absoluteFilePath();
}

qint64 milliseconds(const struct timespec& time)
{
    return qint64(time.tv_sec) * 1000 + qint64(time.tv_nsec) / 1000000;
}

QString temporaryFor(const QString& target)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = target + temporaryMark;
    for (int i = 0; i < temporaryRandomLength; ++i)
        name += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(62)]);
    return name;
}

// The casings of a name somebody chose ("backup", "OLD", "Before"); QSaveFile's random six
// letters mix cases otherwise, so such a name is left alone whatever its age.
bool looksChosen(const QString& letters)
{
    const QString rest = letters.mid(1);
    return letters == letters.toLower() || letters == letters.toUpper() ||
           (letters.front().isUpper() && rest == rest.toLower());
}

// Removes what killed saves left beside `target`: this store's temporary files (with the lock
// and the temporary file QSettings makes for each) and the temporary files of QSaveFile, which
// QSettings wrote the store through before ("Quarvet.conf.AbcDef"). Only plain files of this
// user that are older than staleTemporaryAge go; a failure to remove one is left for the next
// save, as the file does no harm meanwhile.
void removeStaleTemporaries(const QString& target)
{
    const QFileInfo targetInfo(target);
    const QString base = QRegularExpression::escape(targetInfo.fileName());
    const QRegularExpression own(
        QStringLiteral("^%1\\.saving-[A-Za-z0-9]{%2}(\\.lock|\\.[A-Za-z]{6})?$")
            .arg(base)
            .arg(temporaryRandomLength));
    const QRegularExpression saveFile(QStringLiteral("^%1\\.([A-Za-z]{6})$").arg(base));
    const QDir folder = targetInfo.absoluteDir();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const auto names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const auto saveFileMatch = saveFile.match(name);
        if (!own.match(name).hasMatch() &&
            (!saveFileMatch.hasMatch() || looksChosen(saveFileMatch.captured(1))))
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        // One dated in the future is no sign of a dead save either.
        if (now - milliseconds(info.st_mtim) >= staleTemporaryAge)
            ::unlink(path.constData());
    }
}

// QSettings keeps the files it has read in a cache and reads one again only when its size or
// its time (to the millisecond) has changed: a new file of the same size must not carry the
// time of the file it replaces, or this process would go on reading the old texts.
bool dateApart(int fd, const QString& target)
{
    struct stat mine {};
    struct stat old {};
    if (::fstat(fd, &mine) != 0)
        return false;
    if (::stat(QFile::encodeName(target).constData(), &old) != 0 ||
        milliseconds(mine.st_mtim) != milliseconds(old.st_mtim))
        return true;
    struct timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
    times[1].tv_nsec += 1000000;
    if (times[1].tv_nsec >= 1000000000) {
        times[1].tv_nsec -= 1000000000;
        ++times[1].tv_sec;
    }
    return ::futimens(fd, times) == 0;
}

// The permission bits of a new store file, and whether they are the replaced file's own.
struct FileMode {
    mode_t bits;
    bool exact;
};

// Writes `content` to a new file at `path`; when `durable`, dated apart from `replaced` and
// synced to the disk. A new file of the store gets the mode QSettings would give it (0666 less
// the umask); `exactMode` keeps the mode of the file it replaces, whatever the umask.
bool createFile(const QString& path, const QByteArray& content, mode_t mode, bool exactMode,
                bool durable, const QString& replaced)
{
    Descriptor file(openRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!file.valid())
        return false;
    const bool ok = (!exactMode || ::fchmod(file.get(), mode) == 0) &&
                    writeAll(file.get(), content) &&
                    (!durable || (dateApart(file.get(), replaced) && ::fsync(file.get()) == 0));
    return file.closeChecked() && ok;
}

// Whether the file QSettings wrote holds all it meant to write. QSettings (6.4) takes a short
// write, as on a full disk, for a whole one and puts the truncated file in place with no error.
bool sameSettings(const QSettings& meant, const QString& written)
{
    QSettings reread(written, QSettings::NativeFormat);
    reread.setFallbacksEnabled(false);
    const QStringList keys = meant.allKeys();
    if (reread.allKeys() != keys)
        return false;
    return std::all_of(keys.begin(), keys.end(),
                       [&](const QString& key) { return reread.value(key) == meant.value(key); });
}

// The new file in full: `content` (the old texts) goes to `draft`, where QSettings applies
// the changes; what it wrote is copied to `finished` by writes that are all checked, under a
// name no QSettings has read before, and read back.
bool writeNewFile(const QString& draft, const QString& finished, QByteArray content,
                  const FileMode& mode, const QString& target, const QString& section,
                  const QList<QPair<QString, QString>>& values)
{
    if (!createFile(draft, content, mode.bits, mode.exact, false, target))
        return false;
    QSettings settings(draft, QSettings::NativeFormat);
    settings.setFallbacksEnabled(false);
    settings.beginGroup(section);
    for (const auto& [key, text] : values)
        settings.setValue(key, text);
    settings.endGroup();
    settings.sync();
    mode_t ignored = 0;
    return settings.status() != QSettings::AccessError &&
           readStoreFile(draft, content, ignored) == Existing::Read &&
           createFile(finished, content, mode.bits, mode.exact, true, target) &&
           sameSettings(settings, finished);
}

// Replaces `target` by a new file with `values` set in `section`. QSettings never sees
// `target` itself, as it would lock it with a lock() that waits without end; the new file is
// synced, renamed over `target`, and the folder synced after it.
bool replaceFile(const QString& target, const QString& section,
                 const QList<QPair<QString, QString>>& values)
{
    QByteArray content;
    FileMode mode{0666, false};
    const Existing existing = readStoreFile(target, content, mode.bits);
    if (existing == Existing::Unusable)
        return false;
    mode.exact = existing == Existing::Read;

    const QString draft = temporaryFor(target);
    const QString finished = temporaryFor(target);
    // The draft's QSettings is gone once this returns: it would write the draft anew.
    const bool renamed = writeNewFile(draft, finished, content, mode, target, section, values) &&
                         ::rename(QFile::encodeName(finished).constData(),
                                  QFile::encodeName(target).constData()) == 0;
    // Only leftovers now; the next save removes what cannot be removed here.
    ::unlink(QFile::encodeName(draft).constData());
    if (!renamed) {
        ::unlink(QFile::encodeName(finished).constData());
        return false;
    }
    // The new name is durable only with the folder. Some file systems cannot sync a folder and
    // say so; their renames are as durable as they get.
    Descriptor folder(
        openRetrying(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() && (::fsync(folder.get()) == 0 || errno == EINVAL || errno == ENOTSUP);
}

// QSettings decodes values written as "@Variant(...)" by recursion, one level for each list
// in a list: a file of a few hundred kilobytes nested deep enough overflows the stack of the
// window's thread and ends the program. The store's file is parsed on a thread whose stack
// holds the deepest nesting a file within settingsFileLimit can hold; the stack is reserved,
// not used, until the recursion reaches it. False when no such thread could be started.
bool onDeepStack(const std::function<void()>& work)
{
    constexpr uint stackSize = 512u << 20;
    bool done = false;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        work();
        done = true;
    }));
    thread->setStackSize(stackSize);
    thread->start();
    thread->wait();
    return done;
}

// The store's lock is the one QSettings takes for the file, so writers of the store through
// QSettings itself stay excluded.
bool takeLock(QLockFile& lock, const QString& settingsFile)
{
    const QByteArray lockPath = QFile::encodeName(lock.fileName());
    QDeadlineTimer deadline(saveLockTimeout);
    for (;;) {
        // A folder or a link there stays until somebody looks at it; no waiting changes that.
        struct stat info {};
        if (::lstat(lockPath.constData(), &info) == 0 && !S_ISREG(info.st_mode))
            return false;
        clearBrokenLock(settingsFile);
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(static_cast<unsigned long>(qBound(1LL, deadline.remainingTime(), 20LL)));
    }
}

} // namespace

QString QtSettingsStore::file() const
{
    return path_.isEmpty() ? userStoreFile() : QFileInfo(path_).absoluteFilePath();
}

QString QtSettingsStore::read(const QString& section, const QString& key,
                              const QString& fallback) const
{
    const QString path = file();
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 ||
        !usableFile(info))
        return fallback;
    // A file that does not parse is read as far as it goes.
    QVariant value;
    const bool parsed = onDeepStack([&] {
        QSettings settings(path, QSettings::NativeFormat);
        settings.setFallbacksEnabled(false);
        settings.beginGroup(section);
        value = settings.value(key);
    });
    if (!parsed)
        return fallback;
    return textOf(value, fallback);
}

bool QtSettingsStore::write(const QString& section, const QList<QPair<QString, QString>>& values)
{
    const QString path = file();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!takeLock(lock, path))
        return false;
    const QString target = followLinks(path);
    if (target.isEmpty())
        return false;
    removeStaleTemporaries(target);
    bool replaced = false;
    return onDeepStack([&] { replaced = replaceFile(target, section, values); }) && replaced;
}

QString QtSettingsStore::location() const
{
    const QString path = file();
    // Names the place the variable would give, so the user knows what is missing.
    return path.isEmpty() ? QStringLiteral("$HOME/.config/Quarvet/Quarvet.conf") : path;
}

#else // Windows' registry or macOS' property lists: QSettings does it all.

namespace {

std::unique_ptr<QSettings> open(const QString& path)
{
    auto settings =
        path.isEmpty()
            ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                          QStringLiteral("Quarvet"), QStringLiteral("Quarvet"))
            : std::make_unique<QSettings>(path, QSettings::NativeFormat);
    settings->setFallbacksEnabled(false);
    return settings;
}

} // namespace

QString QtSettingsStore::file() const
{
    return open(path_)->fileName();
}

QString QtSettingsStore::read(const QString& section, const QString& key,
                              const QString& fallback) const
{
    const auto settings = open(path_);
    settings->beginGroup(section);
    return textOf(settings->value(key), fallback);
}

bool QtSettingsStore::write(const QString& section, const QList<QPair<QString, QString>>& values)
{
    const auto settings = open(path_);
    settings->beginGroup(section);
    for (const auto& [key, text] : values)
        settings->setValue(key, text);
    settings->endGroup();
    settings->sync();
    if (settings->status() == QSettings::NoError)
        return true;
    // A status once set stays: a store that did not parse when it was read reports that,
    // whether or not the new texts were stored. Only a fresh read can tell.
    if (settings->status() == QSettings::AccessError)
        return false;
    const auto fresh = open(path_);
    fresh->beginGroup(section);
    for (const auto& [key, text] : values)
        if (fresh->value(key).toString() != text)
            return false;
    return true;
}

QString QtSettingsStore::location() const
{
    return file();
}

#endif

} // namespace quarvet::settings
