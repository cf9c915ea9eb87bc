#include "schema.h"

#include <QCryptographicHash>
#include <QMap>
#include <QRegularExpression>

// What tells a store of this program's from one another program changed: the objects its
// statements make, as each database describes them, and the judgement of what a store holds.
namespace quarvet::records {

namespace {

// When a PostgreSQL trigger fires, as pg_trigger.tgtype says it: for each row 1, before 2,
// insert 4, delete 8, update 16, truncate 32.
int triggerType(const QString& timing, const QString& events, const QString& level)
{
    int type = level == QLatin1String("ROW") ? 1 : 0;
    type |= timing == QLatin1String("BEFORE") ? 2 : 0;
    const std::pair<const char*, int> bits[] = {
        {"INSERT", 4}, {"DELETE", 8}, {"UPDATE", 16}, {"TRUNCATE", 32}};
    for (const QString& event : events.split(QStringLiteral(" OR ")))
        for (const auto& [name, bit] : bits)
            type |= event == QLatin1String(name) ? bit : 0;
    return type;
}

// What the guard compares of the object a statement makes, as the database describes it: an
// SQLite index or trigger by its text; a PostgreSQL trigger by when it fires and the function
// it runs, a function by its body. Empty for a statement that makes nothing.
QString objectOf(const QString& statement, const Dialect& dialect)
{
    static const QRegularExpression made(
        QStringLiteral("^CREATE (?:UNIQUE )?(TABLE|INDEX|TRIGGER) (\\w+)"));
    static const QRegularExpression trigger(
        QStringLiteral("^CREATE TRIGGER \\w+ (BEFORE|AFTER) ([A-Z ]+?) ON \\w+ FOR EACH "
                       "(ROW|STATEMENT) EXECUTE FUNCTION (\\w+)\\(\\)$"));
    static const QRegularExpression function(
        QStringLiteral("^CREATE (?:OR REPLACE )?FUNCTION (\\w+)\\(\\).*?AS \\$\\$(.*)\\$\\$$"),
        QRegularExpression::DotMatchesEverythingOption);
    if (const QRegularExpressionMatch match = function.match(statement); match.hasMatch())
        return QStringLiteral("function ") + match.captured(1) + QLatin1Char(':') +
               QString::fromLatin1(
                   QCryptographicHash::hash(match.captured(2).toUtf8(), QCryptographicHash::Md5)
                       .toHex());
    const QRegularExpressionMatch match = made.match(statement);
    if (!match.hasMatch())
        return {};
    const QString kind = match.captured(1).toLower();
    const QString object = kind + QLatin1Char(' ') + match.captured(2);
    if (kind == QLatin1String("table"))
        return object;
    if (!dialect.postgres)
        return object + QLatin1Char(':') + statement;
    const QRegularExpressionMatch fires = trigger.match(statement);
    if (kind == QLatin1String("index") || !fires.hasMatch())
        return object;
    return object + QLatin1Char(':') +
           QString::number(triggerType(fires.captured(1), fires.captured(2), fires.captured(3))) +
           QLatin1Char(':') + fires.captured(4);
}

QStringList sortedObjects(QStringList objects)
{
    // A step may make again what it dropped for a moment.
    objects.removeDuplicates();
    objects.sort();
    return objects;
}

} // namespace

QString expectedObjects(const Schema& schema, const Dialect& dialect, int version)
{
    static const QRegularExpression pinning(
        QStringLiteral("ALTER FUNCTION (\\w+)\\(\\) '?\\s*'?SET search_path"));
    QStringList objects;
    QStringList pinned;            // functions whose search_path is the schema's own
    QMap<QString, QString> latest; // a trigger made again may be made otherwise
    for (const QString& statement : migrationStatements(schema, dialect, 0, version)) {
        if (const QString object = objectOf(statement, dialect); !object.isEmpty())
            latest.insert(object.section(QLatin1Char(':'), 0, 0), object);
        for (const QRegularExpressionMatch& match : pinning.globalMatch(statement))
            pinned << QStringLiteral("function ") + match.captured(1);
    }
    for (auto at = latest.cbegin(); at != latest.cend(); ++at)
        objects << (at.key().startsWith(QLatin1String("function "))
                        ? at.value() + (pinned.contains(at.key()) ? QStringLiteral(":pinned")
                                                                  : QStringLiteral(":"))
                        : at.value());
    return sortedObjects(objects).join(QChar(objectSeparator));
}

QStringList keptTableNames(const Schema& schema, const Dialect& dialect, int version)
{
    QStringList names;
    for (const QString& statement : migrationStatements(schema, dialect, 0, version))
        if (const QString object = objectOf(statement, dialect);
            object.startsWith(QLatin1String("table ")))
            names << object.mid(6);
    names.removeDuplicates();
    return names;
}

QString expectedColumns(const Schema& schema, const Dialect& dialect, int version)
{
    QStringList names;
    for (const Column* column : columnsAt(schema, version))
        names << QLatin1String(column->name);
    if (*dialect.orderDefinition)
        names << QLatin1String(dialect.orderColumn);
    names.sort();
    return names.join(QLatin1Char(','));
}

namespace {

// The part of the guard's reading that says how the store's tables are guarded: rules, row
// security, triggers, the functions they run, and how sessions fire them; `tables` is the
// array of the tables' names.
QString guardObjects(const QString& tables)
{
    return QStringLiteral(
               // A rule rewrites a change into another or into nothing, and row security hides
               // rows from a session: neither is ours.
               "SELECT 'rule ' || rulename FROM pg_rules WHERE schemaname = current_schema() AND "
               "tablename = ANY(%1) UNION ALL SELECT 'row security ' || relname FROM pg_class "
               "WHERE relnamespace = current_schema()::regnamespace AND relname = ANY(%1) AND "
               "(relrowsecurity OR relforcerowsecurity) UNION ALL "
               // A trigger disabled, set to fire only on replicas or given a condition is marked.
               // So is one that fires on some columns' updates only, passes arguments, or runs
               // a function of another schema.
               "SELECT 'trigger ' || tgname || ':' || CASE WHEN tgenabled = 'O' AND tgqual IS "
               "NULL AND tgnargs = 0 AND tgattr::text = '' AND p.pronamespace = "
               "current_schema()::regnamespace THEN '' ELSE '!' END || tgtype || ':' || p.proname "
               "FROM pg_trigger t JOIN pg_proc p ON p.oid = t.tgfoid WHERE tgrelid IN (SELECT "
               "to_regclass(name) FROM unnest(%1) name) AND NOT tgisinternal UNION ALL SELECT "
               // A function is marked that runs with its owner's rights, and its search_path
               // said: the schema's own, or none.
               "'function ' || proname || ':' || md5(prosrc) || CASE WHEN prosecdef THEN '!' ELSE "
               "'' END || ':' || CASE WHEN proconfig IS NULL THEN '' WHEN proconfig = "
               "ARRAY['search_path=' || quote_ident(current_schema()) || ', pg_temp'] THEN "
               "'pinned' ELSE '!' END FROM pg_proc WHERE pronamespace = "
               "current_schema()::regnamespace AND proname LIKE 'quarvet\\_%' UNION ALL "
               // Sessions that play a replica (a default of the database or of the role) fire
               // no trigger at all: the guards are there but stand aside.
               "SELECT 'sessions as ' || current_setting('session_replication_role') WHERE "
               "current_setting('session_replication_role') <> 'origin'")
        .arg(tables);
}

} // namespace

// The statement that reads what the guard compares: the version, the records' columns, and
// the objects of every table this program may make (so that one it had not made yet shows as
// well) as expectedObjects writes them.
QString postgresSchemaStatement(const Schema& schema)
{
    const QString tables = QStringLiteral("ARRAY['%1']")
                               .arg(keptTableNames(schema, postgresDialect(), schema.version())
                                        .join(QStringLiteral("', '")));
    return QStringLiteral(
               "SELECT (SELECT max(version) FROM quarvet_schema), (SELECT "
               "string_agg(attname::text, "
               "',' ORDER BY attname::text COLLATE \"C\") FROM pg_attribute WHERE attrelid = "
               "to_regclass('records') AND attnum > 0 AND NOT attisdropped), (SELECT "
               "string_agg(made, chr(30)) FROM (SELECT 'table ' || relname AS made FROM pg_class "
               "WHERE relnamespace = current_schema()::regnamespace AND relkind = 'r' AND relname "
               "= ANY(%1) UNION ALL SELECT 'index ' || indexrelid::regclass::text FROM pg_index "
               "WHERE indrelid IN (SELECT to_regclass(name) FROM unnest(%1) name) AND NOT "
               "indisprimary UNION ALL %2) objects)")
        .arg(tables, guardObjects(tables));
}

StoreFault judgeSchema(const Schema& schema, const Dialect& dialect, int version,
                       const QString& columns, const QString& objects)
{
    if (version > schema.version())
        return newerSchema(version, schema.version());
    // A version number beside tables that are not ours: not a store of records.
    if (version < 1 || columns != expectedColumns(schema, dialect, version))
        return storeFault(StoreFaultKind::Foreign);
    // Our tables with a trigger dropped, added, disabled, weakened or made to run another
    // function, or a function of ours changed, that could let a change through or turn a save
    // away unseen.
    if (sortedObjects(objects.split(QChar(objectSeparator))).join(QChar(objectSeparator)) !=
        expectedObjects(schema, dialect, version))
        return storeFault(StoreFaultKind::Altered);
    return {};
}

} // namespace quarvet::records
