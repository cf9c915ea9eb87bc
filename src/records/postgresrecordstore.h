#pragma once

#include "recordstore.h"
#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>

#include <functional>
#include <optional>

namespace quarvet::records {

// Where a shared lab database is: the parts of a postgresql://user@host:port/dbname URL.
struct PostgresAddress {
    QString user;
    QString password; // better kept in ~/.pgpass, which the client library reads by itself
    QString host;     // a name, an address, or a folder holding the server's Unix socket
    int port = 5432;
    QString databaseName;
    // The client library's options from the URL's query (sslmode=require, ...), in order.
    QList<std::pair<QString, QString>> options;

    bool operator==(const PostgresAddress&) const = default;
};

// Reads postgresql://[user[:password]@][host][:port]/dbname[?parameters] (also postgres://),
// each part percent-decoded: host, port, user and password, and the client library's TLS and
// password-file options; nothing, and `fault` saying why (never a part of the text, which may
// hold a password), for any other text.
std::optional<PostgresAddress> readPostgresUrl(const QString& url, QString& fault);

// Records in a PostgreSQL database shared by a lab's workstations, through Qt SQL: the same
// tables as the SQLite file, made or brought up to date by a save under a lock every
// workstation takes, so two first saves never both make them. The database refuses changes
// and removals itself.
class PostgresRecordStore final : public RecordStore {
public:
    explicit PostgresRecordStore(PostgresAddress address, const Schema& schema = recordSchema());

    StoreFailure clock(QDateTime& nowUtc) override;
    StoreFailure add(const Record& record) override;
    StoreFailure change(const StoreChange& change, const ChangeFault& fault) override;
    StoreFailure inspect(const StoreReading& reading) override;
    StoreFailure visit(const RecordFilter& filter, const RecordVisitor& visitor) override;
    StoreFailure count(const RecordFilter& filter, qint64& count) override;
    StoreFailure checkIntegrity() override;
    StoreFailure readNotes(StoreNotes& notes, bool countOrphans) override;
    StoreFailure grant(const QString& role) override;
    QString location() const override;
    StoreFailure signingLogin(QString& login, bool& byServer) override;
    PasswordAnswer checkPassword(const QString& login, const QString& password) override;

private:
    using Reading = std::function<QSqlError(QSqlDatabase, int version)>;
    using Writing = std::function<StoreFault(QSqlDatabase)>;
    // Runs `writing` on a connection of its own whose waits are limited.
    StoreFailure write(const Writing& writing);
    // Runs `reading` in one snapshot of a database judged ours, with records in it.
    StoreFailure read(const Reading& reading);
    StoreFailure failure(StoreFault fault, bool saving) const;

    PostgresAddress address_;
    const Schema& schema_;
};

} // namespace quarvet::records
