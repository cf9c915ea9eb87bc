#pragma once

#include "recordstore.h"

namespace quarvet::records {

// Records in an SQLite file, through Qt SQL. The file is made by the first save, not before.
// Every save is one transaction in WAL mode with a busy timeout, so two programs saving at
// once both succeed and a killed one leaves a whole record or none. A file that is no
// database, fails its integrity check, holds other tables or a newer schema is refused and
// left exactly as it is.
class SqliteRecordStore final : public RecordStore {
public:
    explicit SqliteRecordStore(const QString& path);

    StoreFailure add(const Record& record) override;
    using RecordStore::list;
    StoreFailure list(const RecordFilter& filter, QList<Record>& records) override;
    QString location() const override { return path_; }

    // The schema this program writes and reads.
    static constexpr int schemaVersion = 1;

private:
    QString path_;
};

} // namespace quarvet::records
