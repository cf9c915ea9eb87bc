#include "labsql.h"

#include "records/keptseals.h"
#include "records/sqlrecords.h"

namespace quarvet::lab {

using namespace records;

namespace {

// What a change finds that turns it away: carried out of the transaction as an error of its
// own, and told apart from the database's by its code.
const QString refusedCode = QStringLiteral("quarvet refused");

} // namespace

QSqlError refused(StoreFaultKind kind, const QString& detail)
{
    return QSqlError(QString::number(static_cast<int>(kind)), detail, QSqlError::TransactionError,
                     refusedCode);
}

StoreFault refusalOf(const QSqlError& error)
{
    if (error.nativeErrorCode() != refusedCode)
        return {};
    return storeFault(static_cast<StoreFaultKind>(error.driverText().toInt()),
                      error.databaseText());
}

QSqlError serialised(QSqlDatabase database, const Dialect& dialect)
{
    return records::serialiseKept(database, dialect);
}

QSqlError exec(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return query.lastError();
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() ? QSqlError() : query.lastError();
}

QSqlError firstValue(QSqlDatabase database, const QString& statement, const QVariantList& values,
                     QVariant& value)
{
    QSqlQuery query(database);
    QSqlError error = exec(query, statement, values);
    value = !error.isValid() && query.next() ? query.value(0) : QVariant();
    // No row, or no value, from a connection that went away is no answer.
    if (!error.isValid() && value.isNull())
        error = query.lastError().isValid() ? query.lastError() : sql::stillAnswering(database);
    return error;
}

} // namespace quarvet::lab
