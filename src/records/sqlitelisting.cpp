#include "sqlitelisting.h"

#include "sqlrecords.h"

#include <QHash>
#include <QSqlDriver>

#include <sqlite3.h>

namespace quarvet::records::sqlite {
namespace {

// One prepared statement with its marks bound, finalized with the object.
class Statement {
public:
    Statement(sqlite3* connection, const QString& text, const QVariantList& values)
        : connection_(connection)
    {
        const QByteArray utf8 = text.toUtf8();
        code_ = sqlite3_prepare_v2(connection, utf8.constData(), static_cast<int>(utf8.size()),
                                   &statement_, nullptr);
        for (int n = 0; code_ == SQLITE_OK && n < values.size(); ++n)
            code_ = bind(n + 1, values[n]);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The next row: true while there is one; a failure leaves its code for error().
    bool next()
    {
        if (code_ != SQLITE_OK && code_ != SQLITE_ROW)
            return false;
        code_ = sqlite3_step(statement_);
        return code_ == SQLITE_ROW;
    }
    bool failed() const
    {
        return code_ != SQLITE_OK && code_ != SQLITE_ROW && code_ != SQLITE_DONE;
    }
    QSqlError error() const
    {
        if (!failed())
            return {};
        return QSqlError(QString::fromUtf8(sqlite3_errmsg(connection_)), {},
                         QSqlError::StatementError, QString::number(code_));
    }

    QVariant value(int column) const
    {
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_INTEGER:
            return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement_, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(statement_, column));
        case SQLITE_NULL:
            return {};
        default:
            return QVariant(text(column));
        }
    }
    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
    }
    double number(int column) const { return sqlite3_column_double(statement_, column); }

private:
    int bind(int mark, const QVariant& value)
    {
        if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            return sqlite3_bind_text(statement_, mark, utf8.constData(),
                                     static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        }
        return sqlite3_bind_int64(statement_, mark, value.toLongLong());
    }

    sqlite3* connection_;
    sqlite3_stmt* statement_ = nullptr;
    int code_ = SQLITE_OK;
};

sqlite3* connectionOf(QSqlDatabase& database)
{
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.data());
}

// Pages this long or shorter are read records first, then their readings by key.
constexpr int longestPage = 1000;

// A page of records, then the readings of just those through the readings' key: the
// filter's search runs once, not once more beside them, which for a serial few records hold
// would read through the whole store twice. Records are never changed or removed and their
// readings are kept before them, so no record read here lacks a reading it has.
QSqlError visitPage(sqlite3* connection, const QList<const Column*>& columns,
                    const RecordFilter& filter, const sql::Listing& listing,
                    const RecordVisitor& visitor)
{
    QList<ListedRecord> page;
    {
        Statement records(connection, listing.records, listing.values);
        while (records.next())
            page.append(
                sql::listedFrom([&records](int n) { return records.value(n); }, columns, filter));
        if (records.failed())
            return records.error();
    }
    if (page.isEmpty())
        return {};
    QHash<QString, qsizetype> at;
    QVariantList ids;
    for (qsizetype n = 0; n < page.size(); ++n) {
        at.insert(page[n].record.id, n);
        ids << page[n].record.id;
    }
    const QString marks = QStringLiteral("?,").repeated(ids.size()).chopped(1);
    Statement readings(connection,
                       QStringLiteral("SELECT record_id, target, reading FROM verification WHERE "
                                      "record_id IN (%1) ORDER BY record_id, position")
                           .arg(marks),
                       ids);
    while (readings.next())
        if (const auto found = at.constFind(readings.text(0)); found != at.cend())
            page[*found].record.verification.append({readings.number(1), readings.number(2)});
    if (readings.failed())
        return readings.error();
    for (const ListedRecord& listed : page)
        if (!visitor(listed))
            break;
    return {};
}

} // namespace

QSqlError visitRecords(QSqlDatabase database, const Schema& schema, int version,
                       const RecordFilter& filter, const RecordVisitor& visitor)
{
    sqlite3* connection = connectionOf(database);
    if (!connection)
        return sql::visitRecords(database, sqliteDialect(), schema, version, filter, visitor);
    const QList<const Column*> columns = columnsAt(schema, version);
    const sql::Listing listing = sql::listingStatements(sqliteDialect(), columns, filter, version);
    if (filter.limit > 0 && filter.limit <= longestPage)
        return visitPage(connection, columns, filter, listing, visitor);
    // The two read side by side in one snapshot: a record's columns are read once however
    // many readings it has. A reading that cannot be read ends the listing, so that no record
    // is shown without readings it has.
    Statement records(connection, listing.records, listing.values);
    Statement readings(connection, listing.readings, listing.values);
    bool reading = readings.next();
    while (!readings.failed() && records.next()) {
        ListedRecord listed =
            sql::listedFrom([&records](int n) { return records.value(n); }, columns, filter);
        for (; reading && readings.text(0) == listed.record.id; reading = readings.next())
            listed.record.verification.append({readings.number(1), readings.number(2)});
        if (readings.failed())
            break;
        if (!visitor(listed))
            return {};
    }
    return readings.failed() ? readings.error() : records.error();
}

} // namespace quarvet::records::sqlite
