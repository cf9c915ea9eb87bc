#include "storechoice.h"

#include "postgresrecordstore.h"
#include "sqliterecordstore.h"

#include <QDir>
#include <QtGlobal>

namespace quarvet::records {
namespace {

// Every operation refused with the same sentence: a store that cannot be used at all.
class UnusableStore final : public RecordStore {
public:
    UnusableStore(QString location, QString why)
        : location_(std::move(location)), why_(std::move(why))
    {
    }
    StoreFailure add(const Record&) override { return {why_}; }
    using RecordStore::list;
    StoreFailure list(const RecordFilter&, QList<Record>& records) override
    {
        records.clear();
        return {why_};
    }
    QString location() const override { return location_; }

private:
    QString location_;
    QString why_;
};

bool absolute(const QString& folder)
{
    return !folder.isEmpty() && QDir::isAbsolutePath(folder);
}

} // namespace

QString defaultRecordFile(const QString& dataHome, const QString& home)
{
    QString folder;
    if (absolute(dataHome))
        folder = dataHome;
    else if (absolute(home))
        folder = home + QStringLiteral("/.local/share");
    else
        return {};
    return QDir::cleanPath(folder + QStringLiteral("/Quarvet/records.sqlite"));
}

std::unique_ptr<RecordStore> chooseRecordStore(const QString& environmentValue,
                                               const QString& settingValue,
                                               const QString& defaultFile)
{
    const bool fromEnvironment = !environmentValue.trimmed().isEmpty();
    const QString url = (fromEnvironment ? environmentValue : settingValue).trimmed();
    if (!url.isEmpty()) {
        QString fault;
        if (auto address = readPostgresUrl(url, fault))
            return std::make_unique<PostgresRecordStore>(std::move(*address));
        const QString source = fromEnvironment ? QString::fromLatin1(databaseVariable)
                                               : databaseSection + '/' + databaseKey;
        return std::make_unique<UnusableStore>(
            source, QStringLiteral("The record database named by %1 cannot be used: %2. Use "
                                   "postgresql://user@host:port/dbname.")
                        .arg(source, fault));
    }
    if (defaultFile.isEmpty())
        return std::make_unique<UnusableStore>(
            QString(), QStringLiteral("There is no place for the record file: neither "
                                      "XDG_DATA_HOME nor HOME names an absolute folder."));
    return std::make_unique<SqliteRecordStore>(defaultFile);
}

std::unique_ptr<RecordStore> recordStoreFor(const QString& settingValue)
{
    return chooseRecordStore(
        qEnvironmentVariable(databaseVariable), settingValue,
        defaultRecordFile(qEnvironmentVariable("XDG_DATA_HOME"), qEnvironmentVariable("HOME")));
}

} // namespace quarvet::records
