#include "clirun.h"
#include "teststores.h"

#include "lab/signatures.h"
#include "records/chain.h"
#include "records/storechoice.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimeZone>

// What the owner of the database can do to the records and what shows it: records verify with
// its seals, issues and witnesses, and records check-certificate with an issued PDF.
class TestTamper : public QObject {
    Q_OBJECT
private slots:
    void verifySeesTampering_data();
    void verifySeesTampering();
    void certificateIsAWitness_data();
    void certificateIsAWitness();
    void witnessSeesAConsistentRewrite_data();
    void witnessSeesAConsistentRewrite();
    void clockSetBack_data() { witnessSeesAConsistentRewrite_data(); }
    void clockSetBack();
    void issueSeesWhatItCertifies_data();
    void issueSeesWhatItCertifies();
    void witnessNeverWritesIntoTheStore_data();
    void witnessNeverWritesIntoTheStore();
};

namespace {

// A store as a laboratory keeps it: its name set, one reference in the register, three
// records made with it, the last one's certificate issued to `issued`.
// The workplace's store is the test's: its database, or the data folder of its file.
QString useStore(const quarvet::test::TestStore& store, Workplace& place)
{
    if (store.isPostgres())
        return store.location();
    place.dataHome = QFileInfo(store.location()).absolutePath().section('/', 0, -2);
    return {};
}

struct Seeded {
    QStringList ids;
    QString issued;
};

Seeded seed(const Workplace& place, const QString& database, bool issue = true,
            bool signature = true)
{
    Seeded seeded;
    place.run({"lab", "set", "--name", "Lab A", "--address", "1 Main St"}, database);
    place.run({"references", "add", "--id", "PT-1", "--description", "PT100", "--certificate",
               "C-1", "--calibrated-by", "Acme Cal", "--u", "0.02", "--calibrated", "2026-01-10",
               "--due", dueDate},
              database);
    for (const QString serial : {"SN-1", "SN-2", "SN-3"})
        seeded.ids << place
                          .run({"records", "add", "--serial", serial, "--type", "742", "--line",
                                "1", "--technician", "Jo", "--reference", "PT-1", "0", "100", "0.5",
                                "99"},
                               database)
                          .out.trimmed()
                          .section('\n', -1);
    if (issue) {
        seeded.issued = place.dir.filePath("issued.pdf");
        place.run({"records", "issue", seeded.ids[2], "--by", "Dr A", "--role", "Head", "-o",
                   seeded.issued},
                  database);
    }
    place.run({"lab", "signer", "add", "mia", "--name", "Dr. Mia Weber", "--role", "Head"},
              database);
    if (!signature)
        return seeded;
    // A review of the first record by the login the store authenticates, listed as a signer,
    // as its session keeps it once its password was asked.
    const auto store = quarvet::records::chooseRecordStore(
        database, {}, place.dataHome + "/Quarvet/records.sqlite");
    quarvet::lab::Signature review;
    bool byServer = false;
    if (store->signingLogin(review.login, byServer).failed())
        seeded.ids.clear();
    place.run({"lab", "signer", "add", review.login, "--name", "Jo Review", "--role", "Head"},
              database);
    review.recordId = seeded.ids.value(0);
    review.meaning = "reviewed";
    review.authenticatedBy = byServer ? "server" : "system";
    if (quarvet::lab::addSignature(*store, review).failed())
        seeded.ids.clear();
    return seeded;
}

const QStringList keptTables{"records",         "verification",        "store_notes",
                             "lab_settings",    "reference_standards", "certificate_issues",
                             "kept_seals",      "lab_signers",         "record_signatures",
                             "signing_failures"};

// Runs statements as the owner of the database would, its triggers out of the way meanwhile
// and back as they were afterwards, so that no guard of the schema sees them.
bool asOwner(const quarvet::test::TestStore& store, const QStringList& statements)
{
    QStringList around;
    QStringList after;
    if (store.isPostgres()) {
        for (const QString& table : keptTables) {
            around << "ALTER TABLE " + table + " DISABLE TRIGGER ALL";
            after << "ALTER TABLE " + table + " ENABLE TRIGGER ALL";
        }
        return store.runSql(around + statements + after);
    }
    store.onDatabase([&](QSqlDatabase& db) {
        QSqlQuery triggers("SELECT name, sql FROM sqlite_master WHERE type = 'trigger'", db);
        while (triggers.next()) {
            around << "DROP TRIGGER " + triggers.value(0).toString();
            after << triggers.value(1).toString();
        }
    });
    return store.runSql(around + statements + after);
}

QString quoted(QString text)
{
    return "'" + text.replace("'", "''") + "'";
}

// Record `serial` made to say another technician, and every hash from it on made again, as one
// who knows how the chain is formed would: the chain itself is whole afterwards.
bool rewriteConsistently(const quarvet::test::TestStore& store, const QString& serial = "SN-1",
                         bool backdated = false)
{
    const auto records = quarvet::records::chooseRecordStore(
        store.isPostgres() ? store.location() : QString(), {}, store.location());
    quarvet::records::RecordFilter filter;
    filter.order = quarvet::records::ListOrder::AsSaved;
    QList<quarvet::records::Record> saved;
    if (records->list(filter, saved).failed() || saved.isEmpty())
        return false;
    QStringList statements;
    QString previous = quarvet::records::chainStart();
    for (quarvet::records::Record record : saved) {
        if (record.serial == serial)
            record.technician = "Mallory";
        if (record.serial == serial && backdated)
            record.createdUtc = QDateTime(QDate(2025, 1, 1), QTime(12, 0), QTimeZone::utc());
        record.previousHash = previous;
        previous = record.hash = quarvet::records::recordHash(record);
        statements << QString("UPDATE records SET technician = %1, previous_hash = %2, hash = %3, "
                              "created_utc = %5 WHERE id = %4")
                          .arg(quoted(record.technician), quoted(record.previousHash),
                               quoted(record.hash), quoted(record.id),
                               quoted(record.createdUtc.toString(Qt::ISODateWithMs)));
    }
    return asOwner(store, statements);
}

void backendRows(const char* name, const QStringList& sqlite, const QStringList& postgres,
                 int status, const QString& says, bool unguarded = false)
{
    for (const char* backend : {"sqlite", "postgresql"}) {
        const QStringList& statements = QByteArray(backend) == "sqlite" ? sqlite : postgres;
        if (statements == QStringList{"-"})
            continue; // a change only the other database has
        QTest::addRow("%s: %s", backend, name)
            << backend << statements << unguarded << status << says;
    }
}

void bothRows(const char* name, const QStringList& statements, int status, const QString& says)
{
    backendRows(name, statements, statements, status, says);
}

} // namespace

void TestTamper::verifySeesTampering_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QStringList>("statements"); // {"rewrite"}: the consistent rewrite
    QTest::addColumn<bool>("unguarded"); // run as given, the triggers left as it leaves them
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    bothRows("untouched", {}, 0, "3 records, chain intact");
    bothRows("a setting edited", {"UPDATE lab_settings SET value = 'Forged Lab' WHERE entry = 1"},
             4, "Entry 1 of the laboratory's settings does not give its seal 1, kept by ");
    bothRows("a register entry edited", {"UPDATE reference_standards SET u = 0.01"}, 4,
             "Entry 1 of reference standard PT-1 in the register does not give its seal");
    bothRows("a signer's name edited", {"UPDATE lab_signers SET name = 'Eve'"}, 4,
             "Entry 1 of signer mia does not give its seal");
    bothRows("a signer slipped in",
             {"INSERT INTO lab_signers SELECT 'eve', 1, 'Eve', 'Head', 1, saved_utc, saved_by "
              "FROM lab_signers WHERE login = 'mia'"},
             4, "1 row that no seal names was added to the laboratory's signers");
    bothRows("a signature carried to another record",
             {"UPDATE record_signatures SET record_id = (SELECT id FROM records WHERE serial = "
              "'SN-2')"},
             4, "Signature 1 of the signatures on records does not give its seal");
    bothRows("a signature's name edited", {"UPDATE record_signatures SET name = 'Eve'"}, 4,
             "Signature 1 of the signatures on records does not give its seal");
    bothRows("a signature slipped in",
             {"INSERT INTO record_signatures SELECT 2, record_id, record_hash, login, "
              "signer_entry, name, role, 'approved', signed_utc, authenticated_by, saved_by "
              "FROM record_signatures"},
             4, "1 row that no seal names was added to the signatures on records");
    bothRows("a note slipped in",
             {"INSERT INTO store_notes (noted_utc, note) VALUES ('2026-01-01T00:00:00.000Z', "
              "'checked, all well')"},
             4, "1 row that no seal names was added to the store's notes");
    bothRows("an issue's chain head set back",
             {"UPDATE certificate_issues SET chain_head = (SELECT hash FROM records WHERE "
              "serial = 'SN-1')"},
             4, "names the chain head");
    // The last record goes with its readings: the chain of the two before it is whole.
    bothRows("the issued record removed, its issue kept",
             {"DELETE FROM verification WHERE record_id IN (SELECT id FROM records WHERE serial "
              "= 'SN-3')",
              "DELETE FROM records WHERE serial = 'SN-3'"},
             4, "which the store no longer holds");
    bothRows("an issue removed", {"DELETE FROM certificate_issues"}, 4,
             "Issue 1 of the issues of certificates is sealed (seal 4, kept by ");
    bothRows("an issue typed by hand",
             {"INSERT INTO certificate_issues SELECT 2, 'FORGED-1', r.id, i.issued_utc, "
              "'Dr Forged', 'Head', i.saved_by, i.chain_head, 1, i.settings_entry, r.hash, 0 "
              "FROM "
              "records r, certificate_issues i WHERE r.serial = 'SN-1'"},
             4, "1 row that no seal names was added to the issues of certificates");
    bothRows("a seal removed", {"DELETE FROM kept_seals WHERE position = 2"}, 4,
             "broken at seal 3");
    // A seal written by hand in its place is named with who the store says wrote it, not
    // taken for the owner's settings changed.
    bothRows("a seal typed by hand",
             {"INSERT INTO kept_seals SELECT max(position) + 1, 'lab_settings', '', 1, (SELECT "
              "hash FROM kept_seals ORDER BY position DESC LIMIT 1), '" +
              QString(64, 'a') + "', 'tech9@10.0.0.9' FROM kept_seals"},
             4,
             "does not give its seal 8, kept by tech9@10.0.0.9: the row was changed after it "
             "was kept, or the seal written outside this program");
    // Every hash after SN-1 is new: the last record's too, whose certificate was issued.
    bothRows("the consistent rewrite", {"rewrite"}, 4, "with another hash: the record was changed");
    // No certificate names the records: the signature on SN-1 still signed its old hash.
    bothRows("a signed record rewritten, nothing issued", {"rewrite unissued"}, 4,
             "Signature 1 of the signatures on records (seal 6) signed a record that is not "
             "there or no longer has the hash signed");
    // Shown beside what else is found, the issue whose record changed with it.
    bothRows("a record dated back, every hash made again", {"rewrite dated back"}, 4,
             "is dated more than five minutes before the record saved before it");
    backendRows("a trigger made again to fire never",
                {"DROP TRIGGER records_never_changed",
                 "CREATE TRIGGER records_never_changed BEFORE UPDATE ON records WHEN 0 BEGIN "
                 "SELECT RAISE(ABORT, 'records are never changed'); END"},
                {"DROP TRIGGER records_never_changed ON records",
                 "CREATE TRIGGER records_never_changed BEFORE UPDATE OR DELETE ON records FOR "
                 "EACH ROW WHEN (false) EXECUTE FUNCTION quarvet_records_are_kept()"},
                1, "altered by another program", true);
    backendRows("a trigger disabled", {"-"},
                {"ALTER TABLE records DISABLE TRIGGER records_never_changed"}, 1,
                "altered by another program", true);
    backendRows("a trigger that fires on replicas only", {"-"},
                {"ALTER TABLE records ENABLE REPLICA TRIGGER records_never_changed"}, 1,
                "altered by another program", true);
    backendRows("the refusing function emptied", {"-"},
                {"CREATE OR REPLACE FUNCTION quarvet_records_are_kept() RETURNS trigger "
                 "LANGUAGE plpgsql AS $$ BEGIN RETURN NULL; END $$"},
                1, "altered by another program", true);
    backendRows("a trigger made again to guard one column only", {"-"},
                {"DROP TRIGGER records_never_changed ON records",
                 "CREATE TRIGGER records_never_changed BEFORE UPDATE OF program_version OR DELETE "
                 "ON records FOR EACH ROW EXECUTE FUNCTION quarvet_records_are_kept()"},
                1, "altered by another program", true);
    backendRows("a function sent to look in another schema", {"-"},
                {"ALTER FUNCTION quarvet_linked_to_the_head() SET search_path = pg_catalog"}, 1,
                "altered by another program", true);
    backendRows("a rule that turns a change into nothing", {"-"},
                {"CREATE RULE kept_quiet AS ON UPDATE TO records DO INSTEAD NOTHING"}, 1,
                "altered by another program", true);
    backendRows("row security that hides records", {"-"},
                {"ALTER TABLE records ENABLE ROW LEVEL SECURITY",
                 "CREATE POLICY none_after_the_first ON records USING (saved_order < 2)"},
                1, "altered by another program", true);
    // Every session then plays a replica, and no trigger fires for anyone.
    backendRows("sessions made replicas by the database's default", {"-"},
                {"DO $$ BEGIN EXECUTE format('ALTER DATABASE %I SET session_replication_role = "
                 "replica', current_database()); END $$"},
                1, "altered by another program", true);
    backendRows("a function run with its owner's rights", {"-"},
                {"ALTER FUNCTION quarvet_saved_by() SECURITY DEFINER"}, 1,
                "altered by another program", true);
    backendRows("a trigger made to refuse inserts instead",
                {"DROP TRIGGER kept_seals_never_removed",
                 "CREATE TRIGGER kept_seals_never_removed BEFORE INSERT ON kept_seals BEGIN "
                 "SELECT RAISE(ABORT, 'seals are never removed'); END"},
                {"DROP TRIGGER kept_seals_never_changed ON kept_seals",
                 "CREATE TRIGGER kept_seals_never_changed BEFORE INSERT ON kept_seals FOR EACH "
                 "ROW EXECUTE FUNCTION quarvet_records_are_kept()"},
                1, "altered by another program", true);
}

// Each change the owner of the database may make, with the triggers out of the way, and what
// records verify must say of it: the chain, the seals of the rows beside it and the issues
// together leave only a rewrite of everything, which the certificates and witnesses show.
void TestTamper::verifySeesTampering()
{
    QFETCH(QString, backend);
    QFETCH(QStringList, statements);
    QFETCH(bool, unguarded);
    QFETCH(int, status);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = useStore(store, place);
    const bool issue = statements != QStringList{"rewrite unissued"};
    const Seeded seeded = seed(place, database, issue);
    QVERIFY(seeded.ids.size() == 3 && (!issue || QFile::exists(seeded.issued)));
    QVERIFY(place.run({"records", "verify"}, database).status == 0);
    if (statements == QStringList{"rewrite"} || !issue)
        QVERIFY(rewriteConsistently(store));
    else if (statements == QStringList{"rewrite dated back"})
        QVERIFY(rewriteConsistently(store, "SN-2", true));
    else if (unguarded)
        QVERIFY(store.runSql(statements));
    else if (!statements.isEmpty())
        QVERIFY(asOwner(store, statements));
    const Run verified = place.run({"records", "verify"}, database);
    QCOMPARE(verified.status, status);
    QVERIFY2((verified.out + verified.err).contains(says), qPrintable(verified.out + verified.err));
}

void TestTamper::certificateIsAWitness_data()
{
    QTest::addColumn<QString>("backend");
    // issued, copy, superseded, draft, elsewhere, rewritten, head gone
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: as issued", backend) << backend << "issued" << 0 << " holds: record ";
        QTest::addRow("%s: a copy", backend) << backend << "copy" << 0 << " holds: record ";
        QTest::addRow("%s: superseded", backend)
            << backend << "superseded" << 0 << "; superseded: record ";
        QTest::addRow("%s: a draft", backend) << backend << "draft" << 0 << " holds: the record";
        QTest::addRow("%s: another store's", backend)
            << backend << "elsewhere" << 4 << "is another store's, or its record was removed";
        QTest::addRow("%s: after the consistent rewrite", backend)
            << backend << "rewritten" << 4 << "the store does not hold it as written";
        // Its record untouched, but the one after it, whose hash it names as the head.
        QTest::addRow("%s: the records after it rewritten", backend)
            << backend << "head gone" << 4 << "the store does not hold it as written";
    }
}

// An issued certificate is a witness the owner of the database cannot recall: its record, its
// hash and the chain head it names are held against the store.
void TestTamper::certificateIsAWitness()
{
    QFETCH(QString, backend);
    QFETCH(QString, which);
    QFETCH(int, status);
    QFETCH(QString, says);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = useStore(store, place);
    const Seeded seeded = seed(place, database);
    QString pdf = seeded.issued;
    if (which == "copy" || which == "draft") {
        pdf = place.dir.filePath(which + ".pdf");
        const QString id = which == "copy" ? seeded.ids[2] : seeded.ids[0];
        QCOMPARE(place.run({"records", "certificate", id, "-o", pdf}, database).status, 0);
    } else if (which == "superseded") {
        QCOMPARE(place
                     .run({"records",
                           "add",
                           "--serial",
                           "SN-3",
                           "--type",
                           "742",
                           "--line",
                           "1",
                           "--technician",
                           "Jo",
                           "--reference",
                           "PT-1",
                           "--corrects",
                           seeded.ids[2],
                           "--reason",
                           "serial misread",
                           "0",
                           "100",
                           "0.5",
                           "99"},
                          database)
                     .status,
                 0);
    } else if (which == "rewritten") {
        QVERIFY(rewriteConsistently(store));
    } else if (which == "head gone") {
        pdf = place.dir.filePath("second.pdf");
        QCOMPARE(place
                     .run({"records", "issue", seeded.ids[1], "--by", "Dr A", "--role", "Head",
                           "-o", pdf},
                          database)
                     .status,
                 0);
        QVERIFY(rewriteConsistently(store, "SN-3"));
    }
    Workplace other;
    const Run checked = (which == "elsewhere" ? other : place)
                            .run({"records", "check-certificate", pdf},
                                 which == "elsewhere" ? QString() : database);
    QCOMPARE(checked.status, status);
    QVERIFY2(checked.out.contains(says), qPrintable(checked.out + checked.err));
}

void TestTamper::witnessSeesAConsistentRewrite_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

// Without an issued certificate or a signature, a rewrite of the whole chain leaves verify
// nothing to hold it against: a witness kept outside the store does.
void TestTamper::witnessSeesAConsistentRewrite()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = useStore(store, place);
    seed(place, database, false, false);
    const QString file = place.dir.filePath("witness.txt");
    const Run witnessed = place.run({"records", "witness", "-o", file}, database);
    QVERIFY2(witnessed.status == 0 && witnessed.out.startsWith("witnessed 3 records, head "),
             qPrintable(witnessed.out + witnessed.err));
    QCOMPARE(place.run({"records", "verify", "--witness", file}, database).status, 0);
    QVERIFY(rewriteConsistently(store));
    QCOMPARE(place.run({"records", "verify"}, database).status, 0);
    const Run verified = place.run({"records", "verify", "--witness", file}, database);
    QCOMPARE(verified.status, 4);
    QVERIFY2(verified.out.contains("saw 3 records ending in head") &&
                 verified.out.contains("the records were rewritten after it"),
             qPrintable(verified.out));
}

namespace {

// quarvet-cli run with the workstation's clock set to `when`, through Debian's faketime.
Run runAt(const Workplace& place, const QString& when, const QStringList& args,
          const QString& database)
{
    QProcessEnvironment environment = place.environment();
    if (!database.isEmpty())
        environment.insert("QUARVET_DATABASE", database);
    // The sanitizers' runtime wants to be loaded first; faketime's library comes before it.
    environment.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start("faketime", QStringList{when, QStringLiteral(QUARVET_CLI)} + args);
    if (!process.waitForFinished(60000))
        return {-1, {}, QStringLiteral("did not finish")};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

// A workstation whose clock was set back a year: a shared database dates the record and holds
// the reference's due date against its own day, so an overdue reference is refused and nothing
// is backdated; a file of the workstation's own can only be dated by it, and records verify
// shows the record dated before the one saved before it.
void TestTamper::clockSetBack()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = useStore(store, place);
    const QString past = "2025-03-01 12:00:00";
    const QStringList add{"records",       "add",  "--serial",       "SN-1", "--type",      "742",
                          "--line",        "1",    "--technician",   "Jo",   "--reference", "REF-7",
                          "--reference-u", "0.02", "--reference-due"};
    const Run first = place.run(add + QStringList{dueDate, "0", "100", "0.5", "99"}, database);
    QCOMPARE(first.status, 0);
    // Due on 2025-06-01: usable on the clock's day, long overdue on the server's.
    const Run overdue =
        runAt(place, past, add + QStringList{"2025-06-01", "0", "100", "0.5", "99"}, database);
    QCOMPARE(overdue.status, 1);
    // A file of its own can only be dated by the workstation's clock: a date before the last
    // record's is refused before it is kept.
    QVERIFY2(overdue.err.contains(store.isPostgres()
                                      ? "The reference's due date 2025-06-01 has passed"
                                      : "this computer's clock is more than five minutes behind"),
             qPrintable(overdue.err));
    if (store.isPostgres()) {
        const Run later =
            runAt(place, past, add + QStringList{dueDate, "0", "100", "0.5", "99"}, database);
        QCOMPARE(later.status, 0);
        const QString listed = place.run({"records", "list", "--format", "json"}, database).out;
        QVERIFY2(listed.section('\n', 0, 0)
                     .contains("\"date_utc\":\"" + QDate::currentDate().toString("yyyy")),
                 qPrintable(listed));
        const Run issued = runAt(place, past,
                                 {"records", "issue", later.out.trimmed().section('\n', -1), "--by",
                                  "Dr A", "--role", "Head", "-o", place.dir.filePath("c.pdf")},
                                 database);
        QVERIFY2(issued.out.startsWith(QDate::currentDate().toString("yyyy") + "-"),
                 qPrintable(issued.out + issued.err));
        // Nor does a clock set forward make a calibration in the server's future "up to today".
        const QString ahead = QDate::currentDate().addYears(1).toString(Qt::ISODate);
        const Run future = runAt(place, ahead + " 12:00:00",
                                 {"references", "add", "--id", "PT-F", "--description", "PT100",
                                  "--certificate", "C-F", "--calibrated-by", "Acme Cal", "--u",
                                  "0.02", "--calibrated", ahead, "--due", ahead},
                                 database);
        QCOMPARE(future.status, 1);
    } else {
        // Nor is a certificate numbered and dated a year before the record it certifies.
        const Run issued = runAt(place, past,
                                 {"records", "issue", first.out.trimmed().section('\n', -1), "--by",
                                  "Dr A", "--role", "Head", "-o", place.dir.filePath("c.pdf")},
                                 database);
        QCOMPARE(issued.status, 1);
        QVERIFY2(issued.err.contains("this computer's clock is more than five minutes behind"),
                 qPrintable(issued.err));
        QVERIFY(!QFileInfo::exists(place.dir.filePath("c.pdf")));
    }
    QCOMPARE(place.run({"records", "verify"}, database).status, 0);
}

// Record `serial` made to say another technician with its own hash made again, as one who
// knows how the chain is formed would, leaving the link of the record after it broken.
bool rehashOne(const quarvet::test::TestStore& store, const QString& serial)
{
    const auto records = quarvet::records::chooseRecordStore(
        store.isPostgres() ? store.location() : QString(), {}, store.location());
    quarvet::records::RecordFilter filter;
    filter.serial = serial;
    QList<quarvet::records::Record> found;
    if (records->list(filter, found).failed() || found.size() != 1)
        return false;
    quarvet::records::Record record = found[0];
    record.technician = "Mallory";
    record.hash = quarvet::records::recordHash(record);
    return asOwner(store, {QString("UPDATE records SET technician = 'Mallory', hash = %1 WHERE "
                                   "id = %2")
                               .arg(quoted(record.hash), quoted(record.id))});
}

void TestTamper::issueSeesWhatItCertifies_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("changed"); // the record the owner changed, before the checkpoint
    QTest::addColumn<bool>("rehashed");   // with its hash made again
    QTest::addColumn<int>("issued");      // the record issued
    QTest::addColumn<QString>("says");    // what the refusal says; empty: issued
    QTest::addColumn<int>("named");       // and the record it names broken
    for (const char* backend : {"sqlite", "postgresql"}) {
        QTest::addRow("%s: the record issued", backend)
            << backend << "SN-2" << false << 1 << "the record's fields do not give its hash" << -1;
        QTest::addRow("%s: the record issued, rehashed", backend)
            << backend << "SN-2" << true << 1 << "is broken, first at record " << 2;
        QTest::addRow("%s: the record before it, rehashed", backend)
            << backend << "SN-2" << true << 2 << "is broken, first at record " << 2;
        QTest::addRow("%s: the first record, rehashed", backend)
            << backend << "SN-1" << true << 1 << "is broken, first at record " << 1;
        QTest::addRow("%s: an earlier record", backend)
            << backend << "SN-1" << false << 2 << "" << -1;
    }
}

// An issue walks on from where an earlier walk found the chain whole, and reads the record it
// certifies and the links on either side of it: a change to that record or its neighbours is
// refused, rehashed or not, and no number spent. A record changed further back is found by
// records verify, which walks every record.
void TestTamper::issueSeesWhatItCertifies()
{
    QFETCH(QString, backend);
    QFETCH(QString, changed);
    QFETCH(bool, rehashed);
    QFETCH(int, issued);
    QFETCH(QString, says);
    QFETCH(int, named);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = useStore(store, place);
    const Seeded seeded = seed(place, database, false);
    QCOMPARE(place.run({"records", "verify"}, database).status, 0);
    if (rehashed)
        QVERIFY(rehashOne(store, changed));
    else
        QVERIFY(asOwner(store, {"UPDATE records SET technician = 'Mallory' WHERE serial = " +
                                quoted(changed)}));
    const Run issue = place.run({"records", "issue", seeded.ids[issued], "--by", "Dr A", "--role",
                                 "Head", "-o", place.dir.filePath("c.pdf")},
                                database);
    QCOMPARE(issue.status, says.isEmpty() ? 0 : 1);
    QCOMPARE(QFileInfo::exists(place.dir.filePath("c.pdf")), says.isEmpty());
    if (!says.isEmpty())
        QVERIFY2(issue.err.contains(says + (named < 0 ? QString() : seeded.ids[named])),
                 qPrintable(issue.err));
    else
        QVERIFY2(place.run({"records", "verify"}, database).out.contains(seeded.ids[0]),
                 "records verify names the earlier record");
}

void TestTamper::witnessNeverWritesIntoTheStore_data()
{
    QTest::addColumn<QString>("how"); // the store's file itself, or a link to it
    QTest::newRow("the store's file") << "itself";
    QTest::newRow("its log beside it") << "log";
    QTest::newRow("a symbolic link to it") << "symbolic";
    QTest::newRow("a hard link to it") << "hard";
}

// A witness appended to the store's own file would damage the store and witness nothing.
void TestTamper::witnessNeverWritesIntoTheStore()
{
    QFETCH(QString, how);
    Workplace place;
    seed(place, {}, false);
    const QString store = place.dir.filePath("data/Quarvet/records.sqlite");
    QString target = place.dir.filePath("witness.txt");
    if (how == "itself")
        target = store;
    else if (how == "log")
        target = store + "-wal";
    else if (how == "symbolic")
        QVERIFY(QFile::link(store, target));
    else
        QCOMPARE(QProcess::execute("ln", {store, target}), 0);
    QFile file(store);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const Run witnessed = place.run({"records", "witness", "-o", target});
    QCOMPARE(witnessed.status, 1);
    QVERIFY2(witnessed.err.contains("is the record store itself"), qPrintable(witnessed.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(place.run({"records", "verify"}).status, 0);
}

QTEST_GUILESS_MAIN(TestTamper)
#include "tst_tamper.moc"
