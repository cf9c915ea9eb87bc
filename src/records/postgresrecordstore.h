#pragma once

#include "recordstore.h"

#include <optional>

namespace quarvet::records {

// Where a shared lab database is: the parts of a postgresql://user@host:port/dbname URL.
struct PostgresAddress {
    QString user;
    QString password; // better kept in ~/.pgpass, which the client library reads by itself
    QString host;     // a name, an address, or a folder holding the server's Unix socket
    int port = 5432;
    QString databaseName;

    bool operator==(const PostgresAddress&) const = default;
};

// Reads postgresql://[user[:password]@][host][:port]/dbname[?host=/socket/folder] (also
// postgres://), each part percent-decoded; nothing, and `fault` saying why, for any other text.
std::optional<PostgresAddress> readPostgresUrl(const QString& url, QString& fault);

// Records in a PostgreSQL database shared by a lab's workstations, through Qt SQL: the same
// tables as the SQLite file, made by the first save under a lock every workstation takes, so
// two first saves never both make them. The database refuses changes and removals itself.
class PostgresRecordStore final : public RecordStore {
public:
    explicit PostgresRecordStore(PostgresAddress address);

    StoreFailure add(const Record& record) override;
    using RecordStore::list;
    StoreFailure list(const RecordFilter& filter, QList<Record>& records) override;
    QString location() const override;

    static constexpr int schemaVersion = 1;

private:
    PostgresAddress address_;
};

} // namespace quarvet::records
