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
    explicit UnusableStore(StoreFault why) : why_(std::move(why)) {}
    StoreFailure add(const Record&) override { return StoreFailure(why_); }
    StoreFailure change(const StoreChange&, const ChangeFault&) override
    {
        return StoreFailure(why_);
    }
    StoreFailure inspect(const StoreReading&) override { return StoreFailure(why_); }
    StoreFailure visit(const RecordFilter&, const RecordVisitor&) override
    {
        return StoreFailure(why_);
    }
    StoreFailure count(const RecordFilter&, qint64& count) override
    {
        count = 0;
        return StoreFailure(why_);
    }
    StoreFailure checkIntegrity() override { return StoreFailure(why_); }
    QString location() const override { return why_.location; }

private:
    StoreFault why_;
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
        StoreFault why = storeFault(StoreFaultKind::BadAddress, fault);
        why.location = source;
        return std::make_unique<UnusableStore>(std::move(why));
    }
    if (defaultFile.isEmpty())
        return std::make_unique<UnusableStore>(storeFault(StoreFaultKind::NoPlace));
    return std::make_unique<SqliteRecordStore>(defaultFile);
}

std::unique_ptr<RecordStore> recordStoreFor(const QString& settingValue)
{
    return chooseRecordStore(
        qEnvironmentVariable(databaseVariable), settingValue,
        defaultRecordFile(qEnvironmentVariable("XDG_DATA_HOME"), qEnvironmentVariable("HOME")));
}

} // namespace quarvet::records
