#include "postgresrecordstore.h"
#include "sqliterecordstore.h"
#include "sqlrecords.h"

// Who signs through each kind of store, and how their password is asked afresh.
namespace quarvet::records {

StoreFailure SqliteRecordStore::signingLogin(QString& login, bool& byServer)
{
    // A file of one's own: no server stands between the user and the file, only the login.
    login = systemLogin();
    byServer = false;
    return {};
}

PasswordAnswer SqliteRecordStore::checkPassword(const QString& login, const QString& password)
{
    return systemPasswordCheck(login, password);
}

StoreFailure PostgresRecordStore::signingLogin(QString& login, bool& byServer)
{
    byServer = true;
    login.clear();
    return inspect([&](QSqlDatabase database, const Dialect&, int) {
        QVariantList row;
        const QSqlError error = sql::firstRow(database, QStringLiteral("SELECT session_user"), row);
        login = row.value(0).toString();
        return error;
    });
}

PasswordAnswer PostgresRecordStore::checkPassword(const QString& login, const QString& password)
{
    // The server the records are read from, as the same role, but with nothing of the URL's
    // or the environment's password.
    QList<ServerParameter> parameters{
        {QStringLiteral("dbname"), address_.databaseName},
        {QStringLiteral("user"), login},
        {QStringLiteral("port"), QString::number(address_.port)},
        {QStringLiteral("connect_timeout"), QStringLiteral("5")},
        {QStringLiteral("application_name"), QStringLiteral("quarvet signing")}};
    if (!address_.host.isEmpty())
        parameters.append({QStringLiteral("host"), address_.host});
    for (const auto& [name, value] : address_.options)
        parameters.append({name, value});
    return serverPasswordCheck(parameters, password);
}

} // namespace quarvet::records
