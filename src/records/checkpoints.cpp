#include "checkpoints.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

namespace quarvet::records {
namespace {

// A user's cache holds a line for each store walked; past these it is no cache of ours.
constexpr qint64 largestFile = 1024 * 1024;
constexpr int mostStores = 100;
constexpr int fieldCount = 8;

QByteArray keyOf(const QString& location)
{
    // A location holds no tab or line break once written so.
    return QUrl::toPercentEncoding(location);
}

bool isHash(const QString& text)
{
    static const QRegularExpression hash(QStringLiteral("^[0-9a-f]{64}$"));
    return hash.match(text).hasMatch();
}

// The checkpoint a line's fields give; none when any field is not what this program writes.
std::optional<ChainCheckpoint> checkpointOf(const QList<QByteArray>& fields)
{
    if (fields.size() != fieldCount)
        return std::nullopt;
    ChainCheckpoint checkpoint;
    bool read[5] = {};
    checkpoint.count = fields[1].toLongLong(&read[0]);
    checkpoint.order = fields[2].toLongLong(&read[1]);
    checkpoint.hash = QString::fromLatin1(fields[3]);
    checkpoint.savedUtc = QDateTime::fromString(QString::fromLatin1(fields[4]), Qt::ISODateWithMs);
    checkpoint.seals.position = fields[5].toLongLong(&read[2]);
    checkpoint.seals.hash = QString::fromLatin1(fields[6]);
    checkpoint.issueSequence = fields[7].toLongLong(&read[3]);
    read[4] = checkpoint.savedUtc.isValid();
    if (!std::all_of(std::begin(read), std::end(read), [](bool ok) { return ok; }) ||
        checkpoint.count < 1 || checkpoint.order < 1 || checkpoint.seals.position < 0 ||
        checkpoint.issueSequence < 0 || !isHash(checkpoint.hash) || !isHash(checkpoint.seals.hash))
        return std::nullopt;
    return checkpoint;
}

QByteArray lineOf(const QString& location, const ChainCheckpoint& checkpoint)
{
    return keyOf(location) + '\t' + QByteArray::number(checkpoint.count) + '\t' +
           QByteArray::number(checkpoint.order) + '\t' + checkpoint.hash.toLatin1() + '\t' +
           checkpoint.savedUtc.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\t' +
           QByteArray::number(checkpoint.seals.position) + '\t' + checkpoint.seals.hash.toLatin1() +
           '\t' + QByteArray::number(checkpoint.issueSequence) + '\n';
}

// The file's lines, none when it is missing, too large or unreadable: a cache starts afresh.
QList<QByteArray> linesOf(const QString& file)
{
    QFile cache(file);
    if (QFileInfo(file).isSymLink() || !QFileInfo(file).isFile() ||
        QFileInfo(file).size() > largestFile || !cache.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = cache.read(largestFile + 1);
    if (cache.error() != QFileDevice::NoError || content.size() > largestFile)
        return {};
    return content.split('\n');
}

} // namespace

QString checkpointFile(const QString& cacheHome, const QString& home)
{
    QString folder;
    if (!cacheHome.isEmpty() && QDir::isAbsolutePath(cacheHome))
        folder = cacheHome;
    else if (!home.isEmpty() && QDir::isAbsolutePath(home))
        folder = home + QStringLiteral("/.cache");
    else
        return {};
    return QDir::cleanPath(folder + QStringLiteral("/Quarvet/chain-checkpoints"));
}

std::optional<ChainCheckpoint> readCheckpoint(const QString& file, const QString& location)
{
    const QByteArray key = keyOf(location);
    for (const QByteArray& line : linesOf(file)) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.value(0) == key)
            return checkpointOf(fields);
    }
    return std::nullopt;
}

bool keepCheckpoint(const QString& file, const QString& location,
                    const std::optional<ChainCheckpoint>& reached)
{
    const QByteArray key = keyOf(location);
    QByteArray content = reached ? lineOf(location, *reached) : QByteArray();
    int kept = reached ? 1 : 0;
    // The stores walked most lately first; those walked longest ago drop out.
    for (const QByteArray& line : linesOf(file)) {
        const QList<QByteArray> fields = line.split('\t');
        if (kept < mostStores && fields.value(0) != key && checkpointOf(fields)) {
            content += line + '\n';
            ++kept;
        }
    }
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    // Only a file of its own is replaced: a saving file writes through a link, to wherever it
    // points.
    const QFileInfo cacheFile(file);
    if (cacheFile.isSymLink() || (cacheFile.exists() && !cacheFile.isFile()))
        return false;
    QSaveFile cache(file);
    // It names the user's stores: the user's alone, as the stores are.
    return cache.open(QIODevice::WriteOnly) &&
           cache.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           cache.write(content) == content.size() && cache.commit();
}

StoreFailure checkChainOnward(RecordStore& store, ChainReport& report)
{
    const QString file =
        checkpointFile(qEnvironmentVariable("XDG_CACHE_HOME"), qEnvironmentVariable("HOME"));
    const std::optional<ChainCheckpoint> from =
        file.isEmpty() ? std::nullopt : readCheckpoint(file, store.location());
    const StoreFailure failure =
        from ? store.checkChainSince(report, *from) : store.checkChain(report);
    if (!failure.failed())
        keepReached(store, report);
    return failure;
}

void keepReached(const RecordStore& store, const ChainReport& report)
{
    const QString file =
        checkpointFile(qEnvironmentVariable("XDG_CACHE_HOME"), qEnvironmentVariable("HOME"));
    // A cache not kept costs the next walk its time, nothing else: it is not worth a message.
    // A store found broken keeps none: every walk reads it whole until it is mended.
    if (file.isEmpty())
        return;
    if (report.reached && report.whole())
        keepCheckpoint(file, store.location(), report.reached);
    else if (!report.whole())
        keepCheckpoint(file, store.location(), std::nullopt);
}

} // namespace quarvet::records
