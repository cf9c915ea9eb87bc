#include "schema.h"

#include "schemaversion9.h"

namespace quarvet::records {
namespace {

// Version 1: the tables, the index by serial number, and the database refusing every change
// and removal itself, whatever program opens it.
const char* const sqliteVersion1[] = {
    "CREATE INDEX records_by_serial ON records(serial, created_utc)",
    "CREATE TRIGGER records_never_changed BEFORE UPDATE ON records "
    "BEGIN SELECT RAISE(ABORT, 'records are never changed'); END",
    "CREATE TRIGGER records_never_removed BEFORE DELETE ON records "
    "BEGIN SELECT RAISE(ABORT, 'records are never removed'); END",
    "CREATE TRIGGER readings_never_changed BEFORE UPDATE ON verification "
    "BEGIN SELECT RAISE(ABORT, 'records are never changed'); END",
    "CREATE TRIGGER readings_never_removed BEFORE DELETE ON verification "
    "BEGIN SELECT RAISE(ABORT, 'records are never removed'); END",
};
const char* const postgresVersion1[] = {
    "CREATE INDEX records_by_serial ON records(serial, created_utc)",
    "CREATE TABLE quarvet_schema (version INTEGER NOT NULL)",
    R"(CREATE FUNCTION quarvet_records_are_kept() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN RAISE EXCEPTION 'records are never changed or removed'; END $$)",
    "CREATE TRIGGER records_never_changed BEFORE UPDATE OR DELETE ON records "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER records_never_truncated BEFORE TRUNCATE ON records "
    "FOR EACH STATEMENT EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER readings_never_changed BEFORE UPDATE OR DELETE ON verification "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER readings_never_truncated BEFORE TRUNCATE ON verification "
    "FOR EACH STATEMENT EXECUTE FUNCTION quarvet_records_are_kept()",
};

// Version 2: listing newest first, a page at a time, and finding a record's correction
// without reading the whole table.
const char* const sqliteVersion2[] = {
    "CREATE INDEX records_by_date ON records(created_utc)",
    "CREATE INDEX records_by_correction ON records(corrects)",
};
const char* const postgresVersion2[] = {
    "CREATE INDEX records_by_date ON records(created_utc, saved_order)",
    "CREATE INDEX records_by_correction ON records(corrects)",
};

// Version 3: a record is corrected once, however many workstations save at the same time.
// Stores of earlier versions may hold two corrections of one record; they keep them.
const char* const sqliteVersion3[] = {
    "CREATE TRIGGER records_corrected_once BEFORE INSERT ON records WHEN NEW.corrects IS NOT "
    "NULL AND EXISTS (SELECT 1 FROM records WHERE corrects = NEW.corrects) "
    "BEGIN SELECT RAISE(ABORT, 'this record has been corrected already'); END",
};
const char* const postgresVersion3[] = {
    // The lock, one for each corrected record, makes two saves of a correction of it wait for
    // each other, so the second sees the first.
    R"(CREATE FUNCTION quarvet_corrected_once() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.corrects IS NOT NULL THEN
                PERFORM pg_advisory_xact_lock(1364350549, hashtext(NEW.corrects));
                IF EXISTS (SELECT 1 FROM records WHERE corrects = NEW.corrects) THEN
                    RAISE EXCEPTION 'this record has been corrected already'
                        USING ERRCODE = 'QV001';
                END IF;
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER records_corrected_once BEFORE INSERT ON records FOR EACH ROW EXECUTE "
    "FUNCTION quarvet_corrected_once()",
};

// Version 4: the hash chain, one chain however many save at once (no two records link to the
// same one), the records kept so far chained in the order they were saved, and a table of
// notes on the store, where that chaining is written down.
const char* const sqliteVersion4[] = {
    "CREATE TABLE store_notes (noted_utc TEXT NOT NULL, note TEXT NOT NULL)",
    "CREATE TRIGGER notes_never_changed BEFORE UPDATE ON store_notes "
    "BEGIN SELECT RAISE(ABORT, 'notes are never changed'); END",
    "CREATE TRIGGER notes_never_removed BEFORE DELETE ON store_notes "
    "BEGIN SELECT RAISE(ABORT, 'notes are never removed'); END",
    // A record's readings go in just before it, in the save that makes it: none is added to
    // a record kept already, whose certificate may be signed.
    "CREATE TRIGGER readings_before_their_record BEFORE INSERT ON verification WHEN EXISTS "
    "(SELECT 1 FROM records WHERE id = NEW.record_id) "
    "BEGIN SELECT RAISE(ABORT, 'readings are saved with their record only'); END",
    "DROP TRIGGER records_never_changed",
    chainStep,
    "CREATE TRIGGER records_never_changed BEFORE UPDATE ON records "
    "BEGIN SELECT RAISE(ABORT, 'records are never changed'); END",
    "CREATE UNIQUE INDEX records_chained_once ON records(previous_hash)",
};
const char* const postgresVersion4[] = {
    "CREATE TABLE store_notes (noted_utc TEXT NOT NULL, note TEXT NOT NULL)",
    "CREATE TRIGGER notes_never_changed BEFORE UPDATE OR DELETE ON store_notes "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()",
    "CREATE TRIGGER notes_never_truncated BEFORE TRUNCATE ON store_notes "
    "FOR EACH STATEMENT EXECUTE FUNCTION quarvet_records_are_kept()",
    "ALTER TABLE records DISABLE TRIGGER records_never_changed",
    chainStep,
    "ALTER TABLE records ENABLE TRIGGER records_never_changed",
    "CREATE UNIQUE INDEX records_chained_once ON records(previous_hash)",
    // The chain's head is the last record saved: found without reading the table.
    "CREATE INDEX records_by_saving ON records(saved_order)",
    // Who saved a record is what the server saw, whatever a workstation claims.
    R"(CREATE FUNCTION quarvet_saved_by() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.saved_by IS DISTINCT FROM
                    session_user || '@' || coalesce(host(inet_client_addr()), 'local socket') THEN
                RAISE EXCEPTION 'a record names who saved it as the server sees it'
                    USING ERRCODE = 'QV002';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER records_saved_by BEFORE INSERT ON records FOR EACH ROW EXECUTE FUNCTION "
    "quarvet_saved_by()",
    // A reading goes in with its record, in the transaction that makes it: none is added to
    // a record kept already, whose certificate may be signed.
    R"(CREATE FUNCTION quarvet_readings_with_their_record() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NOT EXISTS (SELECT 1 FROM records WHERE id = NEW.record_id
                           AND xmin = pg_current_xact_id()::xid) THEN
                RAISE EXCEPTION 'readings are saved with their record only'
                    USING ERRCODE = 'QV003';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER readings_with_their_record BEFORE INSERT ON verification FOR EACH ROW "
    "EXECUTE FUNCTION quarvet_readings_with_their_record()",
    // The functions that read the tables read this schema's, whatever a session's own
    // temporary tables of the same names.
    R"(DO $$ BEGIN
        EXECUTE format('ALTER FUNCTION quarvet_corrected_once() SET search_path = %I, pg_temp',
                       current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_readings_with_their_record() '
                       'SET search_path = %I, pg_temp', current_schema());
    END $$)",
};

// Version 5: the uncertainty of each result and the verdict as found, which the history
// filters by without reading every record.
const char* const sqliteVersion5[] = {
    "CREATE INDEX records_by_as_found ON records(as_found_verdict, created_utc)",
};
const char* const postgresVersion5[] = {
    "CREATE INDEX records_by_as_found ON records(as_found_verdict, created_utc, saved_order)",
};

// Version 6: what a certificate is issued against and as: the register of reference
// standards and the laboratory's settings, each change a new entry, and the issues of
// certificates, numbered once from the store (the tables themselves are made from their
// descriptions); records name their customer, method and the reference's own certificate, and
// find a reference's and a customer's records by index.
const KeptTable* const version6Tables[] = {&referenceTable, &settingsTable, &issuesTable};
#define ISSUE_INDEXES                                                                              \
    "CREATE UNIQUE INDEX issues_numbered_once ON certificate_issues(sequence)",                    \
        "CREATE UNIQUE INDEX issues_number_once ON certificate_issues(number)",                    \
        "CREATE UNIQUE INDEX issues_once_a_record ON certificate_issues(record_id)",               \
        "CREATE INDEX lab_settings_by_name ON lab_settings(setting)"
const char* const sqliteVersion6[] = {
    ISSUE_INDEXES,
    "CREATE INDEX records_by_reference ON records(reference_id, created_utc)",
    "CREATE INDEX records_by_customer ON records(customer, created_utc)",
};
const char* const postgresVersion6[] = {
    ISSUE_INDEXES,
    "CREATE INDEX records_by_reference ON records(reference_id, created_utc, saved_order)",
    "CREATE INDEX records_by_customer ON records(customer, created_utc, saved_order)",
};
#undef ISSUE_INDEXES

// Version 7: a certificate issued without the laboratory's accreditation claim says so, on
// every copy too (a column of the issues, from its description).

// Version 8: the seals of every row kept beside the records, one chain (no two seals link to
// the same one), the rows kept so far sealed in the order they were kept; and each issue keeps
// the hash of the record it was issued for (a column of the issues). A shared database dates
// its records by its own clock: a workstation's role may not save one dated more than five
// minutes off it (by a clock set back, or forged); the tables' owner, who could change
// anything anyway, brings records of other days in.
const KeptTable* const version8Tables[] = {&sealTable};
const char* const sqliteVersion8[] = {
    "CREATE UNIQUE INDEX seals_chained_once ON kept_seals(previous_hash)",
    sealStep,
};
const char* const postgresVersion8[] = {
    "CREATE UNIQUE INDEX seals_chained_once ON kept_seals(previous_hash)",
    sealStep,
    R"(CREATE FUNCTION quarvet_dated_by_the_server() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.created_utc !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z$'
               OR abs(extract(epoch FROM NEW.created_utc::timestamptz - clock_timestamp())) > 300
               AND session_user <> (SELECT pg_get_userbyid(relowner) FROM pg_class
                                    WHERE oid = TG_RELID)
               AND NOT (SELECT rolsuper FROM pg_roles WHERE rolname = session_user)
            THEN
                RAISE EXCEPTION 'a record is dated by the database server''s clock'
                    USING ERRCODE = 'QV004';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER records_dated_by_the_server BEFORE INSERT ON records FOR EACH ROW EXECUTE "
    "FUNCTION quarvet_dated_by_the_server()",
    // No two records have one hash: a copy's would be linked to twice.
    "CREATE UNIQUE INDEX records_hashed_once ON records(hash)",
    // What the server assigns, no workstation's role sets: a record links to the chain's head;
    // an issue takes the next sequence, the head and its record's hash, and the server's time;
    // an entry of the register the next entry of its standard; a seal the next position,
    // linked to the last. A row typed by hand that says otherwise is turned away.
    R"(CREATE FUNCTION quarvet_linked_to_the_head() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.previous_hash IS DISTINCT FROM coalesce(
                   (SELECT hash FROM records ORDER BY saved_order DESC LIMIT 1), repeat('0', 64))
            THEN
                RAISE EXCEPTION 'a record links to the head of the chain' USING ERRCODE = 'QV005';
            END IF;
            -- A hash some record links to already, or the chain's start, would leave the next
            -- save no head to link to: every later save would fail.
            IF NEW.hash = repeat('0', 64) OR EXISTS (SELECT 1 FROM records
                                                     WHERE previous_hash = NEW.hash) THEN
                RAISE EXCEPTION 'a record''s hash is its own' USING ERRCODE = 'QV009';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER records_linked_to_the_head BEFORE INSERT ON records FOR EACH ROW EXECUTE "
    "FUNCTION quarvet_linked_to_the_head()",
    R"(CREATE FUNCTION quarvet_issued_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.sequence IS DISTINCT FROM
                   coalesce((SELECT max(sequence) FROM certificate_issues), 0) + 1
               OR NEW.chain_head IS DISTINCT FROM
                   (SELECT hash FROM records ORDER BY saved_order DESC LIMIT 1)
               OR NEW.record_hash IS DISTINCT FROM
                   (SELECT hash FROM records WHERE id = NEW.record_id)
               OR abs(extract(epoch FROM NEW.issued_utc::timestamptz - clock_timestamp())) > 300
            THEN
                RAISE EXCEPTION 'an issue takes its sequence, chain head, record hash and time '
                    'from the server' USING ERRCODE = 'QV006';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER certificate_issues_as_the_server_says BEFORE INSERT ON certificate_issues "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_issued_as_the_server_says()",
    R"(CREATE FUNCTION quarvet_entered_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.entry IS DISTINCT FROM coalesce((SELECT max(entry) FROM reference_standards
                                                    WHERE identifier = NEW.identifier), 0) + 1
               OR abs(extract(epoch FROM NEW.saved_utc::timestamptz - clock_timestamp())) > 300
            THEN
                RAISE EXCEPTION 'an entry of the register takes its number and time from the '
                    'server' USING ERRCODE = 'QV007';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER reference_standards_as_the_server_says BEFORE INSERT ON reference_standards "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_entered_as_the_server_says()",
    R"(CREATE FUNCTION quarvet_sealed_in_order() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.position IS DISTINCT FROM coalesce((SELECT max(position) FROM kept_seals), 0) + 1
               OR NEW.previous_hash IS DISTINCT FROM coalesce(
                   (SELECT hash FROM kept_seals ORDER BY position DESC LIMIT 1), repeat('0', 64))
               OR NEW.hash = repeat('0', 64)
               OR EXISTS (SELECT 1 FROM kept_seals WHERE previous_hash = NEW.hash OR hash = NEW.hash)
            THEN
                RAISE EXCEPTION 'a seal follows the last one' USING ERRCODE = 'QV008';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER kept_seals_in_order BEFORE INSERT ON kept_seals FOR EACH ROW EXECUTE "
    "FUNCTION quarvet_sealed_in_order()",
    R"(DO $$ BEGIN
        EXECUTE format('ALTER FUNCTION quarvet_linked_to_the_head() SET search_path = %I, pg_temp',
                       current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_issued_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_entered_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_sealed_in_order() SET search_path = %I, pg_temp',
                       current_schema());
    END $$)",
    // The roles given records already take every column but the saving order, which the
    // server numbers.
    R"(DO $$ DECLARE grantee TEXT; BEGIN
        FOR grantee IN SELECT DISTINCT g.grantee FROM information_schema.role_table_grants g
                       WHERE g.table_schema = current_schema() AND g.table_name = 'records'
                       AND g.privilege_type = 'INSERT' AND g.grantee <> current_user LOOP
            EXECUTE format('REVOKE INSERT ON records FROM %I', grantee);
            EXECUTE format('GRANT INSERT (%s) ON records TO %I',
                           (SELECT string_agg(quote_ident(attname), ', ') FROM pg_attribute
                            WHERE attrelid = 'records'::regclass AND attnum > 0
                            AND NOT attisdropped AND attname <> 'saved_order'), grantee);
        END LOOP;
    END $$)",
};

// Version 10: the history sorted by a column, a page at a time, without sorting the table:
// each column it sorts by, then the time saved (and the saving order), in an index.
const char* const sqliteVersion10[] = {
    "CREATE INDEX records_by_technician ON records(technician, created_utc)",
    "CREATE INDEX records_by_type ON records(instrument_type, created_utc)",
    "CREATE INDEX records_by_verdict ON records(verdict, created_utc)",
    "CREATE INDEX records_by_found ON records(coalesce(as_found_verdict, ''), created_utc)",
    "CREATE INDEX records_by_customer_sorted ON records(coalesce(customer, ''), created_utc)",
};
const char* const postgresVersion10[] = {
    "CREATE INDEX records_by_technician ON records(technician, created_utc, saved_order)",
    "CREATE INDEX records_by_type ON records(instrument_type, created_utc, saved_order)",
    "CREATE INDEX records_by_verdict ON records(verdict, created_utc, saved_order)",
    "CREATE INDEX records_by_found ON records(coalesce(as_found_verdict, ''), created_utc, "
    "saved_order)",
    "CREATE INDEX records_by_customer_sorted ON records(coalesce(customer, ''), created_utc, "
    "saved_order)",
};

// Version 11: the laboratory's signers (the table from its description).
const KeptTable* const version11Tables[] = {&signersTable};

// Version 12: signatures on records and failed attempts to sign (the tables from their
// descriptions); the issues name the signature that authorised them.
const KeptTable* const version12Tables[] = {&signaturesTable, &signingFailuresTable};
// A record's signatures are read with it; a login's failures before each signing.
const char* const sqliteVersion12[] = {
    "CREATE INDEX record_signatures_by_record ON record_signatures(record_id)",
    "CREATE INDEX signing_failures_by_login ON signing_failures(login, sequence)",
};
// The workstations granted records before: they sign, and read who may.
const char* const postgresVersion12[] = {
    "CREATE INDEX record_signatures_by_record ON record_signatures(record_id)",
    "CREATE INDEX signing_failures_by_login ON signing_failures(login, sequence)",
    // A signature is the signing session's own: its role, listed as it signs, the record's
    // hash, the next sequence and the server's time; a failed attempt likewise. No role adds
    // one in another's name, nor shuts another out.
    R"(CREATE FUNCTION quarvet_signed_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.login IS DISTINCT FROM session_user::text
               OR NEW.authenticated_by IS DISTINCT FROM 'server'
               OR NEW.sequence IS DISTINCT FROM
                   coalesce((SELECT max(sequence) FROM record_signatures), 0) + 1
               OR NEW.record_hash IS DISTINCT FROM (SELECT hash FROM records WHERE id = NEW.record_id)
               OR abs(extract(epoch FROM NEW.signed_utc::timestamptz - clock_timestamp())) > 300
               OR NOT EXISTS (SELECT 1 FROM lab_signers s WHERE s.login = NEW.login
                              AND s.entry = NEW.signer_entry AND s.name = NEW.name
                              AND s.role = NEW.role AND s.listed = 1
                              AND s.entry = (SELECT max(entry) FROM lab_signers
                                             WHERE login = NEW.login))
            THEN
                RAISE EXCEPTION 'a signature is the signing session''s own, as the server says'
                    USING ERRCODE = 'QV010';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER record_signatures_as_the_server_says BEFORE INSERT ON record_signatures "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_signed_as_the_server_says()",
    R"(CREATE FUNCTION quarvet_failed_as_the_server_says() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN
            IF NEW.login IS DISTINCT FROM session_user::text
               OR NEW.sequence IS DISTINCT FROM
                   coalesce((SELECT max(sequence) FROM signing_failures), 0) + 1
               OR abs(extract(epoch FROM NEW.failed_utc::timestamptz - clock_timestamp())) > 300
            THEN
                RAISE EXCEPTION 'a failed signing is the session''s own, as the server says'
                    USING ERRCODE = 'QV011';
            END IF;
            RETURN NEW;
        END $$)",
    "CREATE TRIGGER signing_failures_as_the_server_says BEFORE INSERT ON signing_failures "
    "FOR EACH ROW EXECUTE FUNCTION quarvet_failed_as_the_server_says()",
    R"(DO $$ BEGIN
        EXECUTE format('ALTER FUNCTION quarvet_signed_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
        EXECUTE format('ALTER FUNCTION quarvet_failed_as_the_server_says() '
                       'SET search_path = %I, pg_temp', current_schema());
    END $$)",
    R"(DO $$ DECLARE grantee TEXT; BEGIN
        FOR grantee IN SELECT DISTINCT g.grantee FROM information_schema.role_table_grants g
                       WHERE g.table_schema = current_schema()
                       AND g.table_name = 'certificate_issues' AND g.privilege_type = 'INSERT'
                       AND g.grantee <> current_user LOOP
            EXECUTE format('GRANT SELECT, INSERT ON record_signatures, signing_failures TO %I',
                           grantee);
            EXECUTE format('GRANT SELECT ON lab_signers TO %I', grantee);
        END LOOP;
    END $$)",
};

// Version 13: the register of instruments (the table from its description), found by its
// type and serial number, and by serial number alone as a record names it.
const KeptTable* const version13Tables[] = {&instrumentsTable};
#define INSTRUMENT_INDEXES                                                                         \
    "CREATE UNIQUE INDEX instruments_entered_once ON instruments(instrument_type, serial, entry)", \
        "CREATE INDEX instruments_by_serial ON instruments(serial)"
const char* const sqliteVersion13[] = {INSTRUMENT_INDEXES};
// The workstations granted records before look after the instruments too.
const char* const postgresVersion13[] = {
    INSTRUMENT_INDEXES,
    R"(DO $$ DECLARE grantee TEXT; BEGIN
        FOR grantee IN SELECT DISTINCT g.grantee FROM information_schema.role_table_grants g
                       WHERE g.table_schema = current_schema()
                       AND g.table_name = 'certificate_issues' AND g.privilege_type = 'INSERT'
                       AND g.grantee <> current_user LOOP
            EXECUTE format('GRANT SELECT, INSERT ON instruments TO %I', grantee);
        END LOOP;
    END $$)",
};
#undef INSTRUMENT_INDEXES

const Migration migrations[] = {
    {1, {}, sqliteVersion1, postgresVersion1},
    {2, {}, sqliteVersion2, postgresVersion2},
    {3, {}, sqliteVersion3, postgresVersion3},
    {4, {}, sqliteVersion4, postgresVersion4},
    {5, {}, sqliteVersion5, postgresVersion5},
    {6, version6Tables, sqliteVersion6, postgresVersion6},
    {7, {}, {}, {}},
    {8, version8Tables, sqliteVersion8, postgresVersion8},
    {9, {}, {}, postgresVersion9},
    {10, {}, sqliteVersion10, postgresVersion10},
    {11, version11Tables, {}, {}},
    {12, version12Tables, sqliteVersion12, postgresVersion12},
    {13, version13Tables, sqliteVersion13, postgresVersion13},
};

QString typeOf(ColumnType type, const Dialect& dialect)
{
    switch (type) {
    case ColumnType::Integer:
        return QStringLiteral("INTEGER");
    case ColumnType::Real:
        return QString::fromLatin1(dialect.doubleType);
    default:
        return QStringLiteral("TEXT");
    }
}

// The column as CREATE TABLE and ALTER TABLE write it; a column added to older records fills
// them with its `fill`, since they cannot be empty.
QString definition(const Column& column, const Dialect& dialect, bool added)
{
    QString said = QLatin1String(column.name) + QLatin1Char(' ') + typeOf(column.type, dialect);
    if (!column.nullable)
        said += QStringLiteral(" NOT NULL");
    if (!column.nullable && added)
        said += QStringLiteral(" DEFAULT ") + QLatin1String(column.fill);
    if (*column.constraint)
        said += QLatin1Char(' ') + QLatin1String(column.constraint);
    return said;
}

QStringList tables(const Schema& schema, const Dialect& dialect)
{
    QStringList definitions;
    for (const Column& column : schema.columns)
        if (column.inRecordsTable() && column.since == 1)
            definitions << definition(column, dialect, false);
    if (*dialect.orderDefinition)
        definitions << QLatin1String(dialect.orderDefinition);
    const QString readings = QStringLiteral(
        "CREATE TABLE verification (record_id TEXT NOT NULL REFERENCES records(id), position "
        "INTEGER NOT NULL, target %1 NOT NULL, reading %1 NOT NULL, PRIMARY KEY (record_id, "
        "position))");
    return {QStringLiteral("CREATE TABLE records (%1)").arg(definitions.join(QStringLiteral(", "))),
            readings.arg(QLatin1String(dialect.doubleType))};
}

// The kept table as CREATE TABLE writes it, and the triggers that turn away a change or a
// removal of its rows (and, in a shared database, say who saved each).
QStringList keptTable(const KeptTable& table, const Dialect& dialect)
{
    QStringList definitions;
    for (const TableField& field : table.fields) {
        if (field.since > table.since)
            continue;
        QString said = QLatin1String(field.name) + QLatin1Char(' ') + typeOf(field.type, dialect) +
                       QStringLiteral(" NOT NULL");
        if (*field.constraint)
            said += QLatin1Char(' ') + QLatin1String(field.constraint);
        definitions << said;
    }
    if (*table.primaryKey)
        definitions << QStringLiteral("PRIMARY KEY (%1)").arg(QLatin1String(table.primaryKey));
    const QString name = QLatin1String(table.name);
    QStringList statements{
        QStringLiteral("CREATE TABLE %1 (%2)").arg(name, definitions.join(QStringLiteral(", ")))};
    if (dialect.postgres)
        return statements << QStringLiteral("CREATE TRIGGER %1_never_changed BEFORE UPDATE OR "
                                            "DELETE ON %1 FOR EACH ROW EXECUTE FUNCTION "
                                            "quarvet_records_are_kept()")
                                 .arg(name)
                          << QStringLiteral("CREATE TRIGGER %1_never_truncated BEFORE TRUNCATE ON "
                                            "%1 FOR EACH STATEMENT EXECUTE FUNCTION "
                                            "quarvet_records_are_kept()")
                                 .arg(name)
                          << QStringLiteral("CREATE TRIGGER %1_saved_by BEFORE INSERT ON %1 FOR "
                                            "EACH ROW EXECUTE FUNCTION quarvet_saved_by()")
                                 .arg(name);
    const QString kept = QLatin1String(table.keptAs);
    return statements << QStringLiteral("CREATE TRIGGER %1_never_changed BEFORE UPDATE ON %1 BEGIN "
                                        "SELECT RAISE(ABORT, '%2 never changed'); END")
                             .arg(name, kept)
                      << QStringLiteral("CREATE TRIGGER %1_never_removed BEFORE DELETE ON %1 BEGIN "
                                        "SELECT RAISE(ABORT, '%2 never removed'); END")
                             .arg(name, kept);
}

QString versionStatement(const Dialect& dialect, int version)
{
    return dialect.postgres
               ? QStringLiteral("INSERT INTO quarvet_schema (version) VALUES (%1)").arg(version)
               : QStringLiteral("PRAGMA user_version = %1").arg(version);
}

} // namespace

const Schema& recordSchema()
{
    static const Schema schema{recordColumns(), migrations};
    return schema;
}

const Dialect& sqliteDialect()
{
    static const Dialect dialect{false, "REAL", "rowid", ""};
    return dialect;
}

const Dialect& postgresDialect()
{
    static const Dialect dialect{true, "DOUBLE PRECISION", "saved_order",
                                 "saved_order BIGINT GENERATED ALWAYS AS IDENTITY"};
    return dialect;
}

QStringList migrationStatements(const Schema& schema, const Dialect& dialect, int from, int to)
{
    QStringList statements;
    for (const Migration& migration : schema.migrations) {
        if (migration.version <= from || (to > 0 && migration.version > to))
            continue;
        if (migration.version == 1)
            statements << tables(schema, dialect);
        for (const Column& column : schema.columns)
            if (column.inRecordsTable() && column.since == migration.version && column.since > 1)
                statements << QStringLiteral("ALTER TABLE records ADD COLUMN ") +
                                  definition(column, dialect, true);
        for (const KeptTable* table : migration.tables)
            statements << keptTable(*table, dialect);
        for (const KeptTable* table : {&referenceTable, &settingsTable, &issuesTable})
            for (const TableField& field : table->fields)
                if (field.since == migration.version && field.since > table->since)
                    statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3 NOT NULL "
                                                 "DEFAULT %4")
                                      .arg(QLatin1String(table->name), QLatin1String(field.name),
                                           typeOf(field.type, dialect), QLatin1String(field.fill));
        for (const char* step : dialect.postgres ? migration.postgres : migration.sqlite)
            statements << QString::fromUtf8(step);
        statements << versionStatement(dialect, migration.version);
    }
    return statements;
}

QList<const Column*> columnsAt(const Schema& schema, int version)
{
    QList<const Column*> held;
    for (const Column& column : schema.columns)
        if (column.inRecordsTable() && column.since <= version)
            held << &column;
    return held;
}

} // namespace quarvet::records
