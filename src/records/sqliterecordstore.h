#pragma once

#include "recordstore.h"
#include "schema.h"

namespace quarvet::records {

// Records in an SQLite file, through Qt SQL. The file is made by the first save, not before.
// Every save is one transaction in WAL mode with a busy timeout, so two programs saving at
// once both succeed and a killed one leaves a whole record or none; a file of an older
// schema of ours is brought up to date in the same transaction. A file that is no database,
// holds other tables or a newer schema, or whose pages SQLite finds damaged, is refused and
// left exactly as it is.
class SqliteRecordStore final : public RecordStore {
public:
    explicit SqliteRecordStore(const QString& path, const Schema& schema = recordSchema());

    StoreFailure add(const Record& record) override;
    StoreFailure change(const StoreChange& change, const ChangeFault& fault) override;
    StoreFailure inspect(const StoreReading& reading) override;
    StoreFailure visit(const RecordFilter& filter, const RecordVisitor& visitor) override;
    StoreFailure count(const RecordFilter& filter, qint64& count) override;
    StoreFailure checkIntegrity() override;
    StoreFailure readNotes(StoreNotes& notes, bool countOrphans) override;
    QString location() const override { return path_; }
    StoreFailure signingLogin(QString& login, bool& byServer) override;
    PasswordAnswer checkPassword(const QString& login, const QString& password) override;
    QStringList files() const override;

private:
    QString path_;
    const Schema& schema_;
};

} // namespace quarvet::records
