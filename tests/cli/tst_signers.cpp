// Who may sign the laboratory's records, as the command line keeps them: each change a new
// entry, on a SQLite file and on a shared PostgreSQL database, refused when a text would not
// print as given.
#include "clirun.h"
#include "teststores.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestSigners : public QObject {
    Q_OBJECT
private slots:
    void signersAreKeptAsEntries_data();
    void signersAreKeptAsEntries();
    void refusedSigners_data();
    void refusedSigners();
};

namespace {

void bothBackends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

QJsonObject lastJson(const QString& listing)
{
    return QJsonDocument::fromJson(listing.trimmed().section('\n', -1).toUtf8()).object();
}

} // namespace

void TestSigners::signersAreKeptAsEntries_data()
{
    bothBackends();
}

// Added, listed, withdrawn once: every change an entry of its own, the newest listed; a
// withdrawal of one withdrawn or never listed is refused and keeps nothing.
void TestSigners::signersAreKeptAsEntries()
{
    QFETCH(QString, backend);
    QUARVET_STORE_OR_SKIP(store, backend);
    Workplace place;
    const QString database = store.isPostgres() ? store.location() : QString();
    const Run added = place.run(
        {"lab", "signer", "add", "mia", "--name", "Dr. Mia Weber", "--role", "Head of lab"},
        database);
    QCOMPARE(added.status, 0);
    QCOMPARE(added.out, QStringLiteral("mia entry 1\n"));
    QCOMPARE(place
                 .run({"lab", "signer", "add", "mia", "--name", "Dr. Mia Weber-Lang", "--role",
                       "Head of lab"},
                      database)
                 .out,
             QStringLiteral("mia entry 2\n"));
    QJsonObject mia =
        lastJson(place.run({"lab", "signer", "list", "--format", "json"}, database).out);
    QCOMPARE(mia["name"].toString(), QStringLiteral("Dr. Mia Weber-Lang"));
    QCOMPARE(mia["entry"].toInt(), 2);
    QCOMPARE(mia["listed"].toBool(), true);
    QVERIFY(!mia["saved_by"].toString().isEmpty());
    QCOMPARE(place.run({"lab", "signer", "withdraw", "mia"}, database).out,
             QStringLiteral("mia withdrawn, entry 3\n"));
    mia = lastJson(place.run({"lab", "signer", "list", "--format", "json"}, database).out);
    QCOMPARE(mia["listed"].toBool(), false);
    for (const char* login : {"mia", "nobody"}) {
        const Run again = place.run({"lab", "signer", "withdraw", login}, database);
        QCOMPARE(again.status, 1);
        QVERIFY2(again.err.contains(login == QLatin1String("mia") ? "withdrawn already"
                                                                  : "lists no signer nobody"),
                 qPrintable(again.err));
    }
    const QString text = place.run({"lab", "signer", "list"}, database).out;
    QVERIFY2(text.startsWith("mia\t3\tDr. Mia Weber-Lang\tHead of lab\twithdrawn\t"),
             qPrintable(text));
    QCOMPARE(place.run({"records", "verify"}, database).status, 0);
}

void TestSigners::refusedSigners_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    const QStringList add{"lab", "signer", "add"};
    QTest::newRow("no login") << add + QStringList{"--name", "A", "--role", "B"} << 2
                              << "takes a login, then --name and --role";
    QTest::newRow("no role") << add + QStringList{"jo", "--name", "A"} << 2
                             << "takes a login, then --name and --role";
    QTest::newRow("a login with a blank")
        << add + QStringList{"jo smith", "--name", "A", "--role", "B"} << 1
        << "login must hold no blanks";
    QTest::newRow("a blank name") << add + QStringList{"jo", "--name", " ", "--role", "B"} << 1
                                  << "signer's name must be one line";
    QTest::newRow("a role over two lines")
        << add + QStringList{"jo", "--name", "Jo", "--role", "Head\nof lab"} << 1
        << "signer's role must be one line";
    QTest::newRow("a name that turns text around")
        << add + QStringList{"jo", "--name", "Jo \u202Eevil", "--role", "B"} << 1
        << "signer's name must be one line";
    QTest::newRow("a name too long")
        << add + QStringList{"jo", "--name", QString(201, 'x'), "--role", "B"} << 1
        << "1 to 200 characters";
    QTest::newRow("no subcommand")
        << QStringList{"lab", "signer"} << 2 << "lab signer takes add, withdraw or list";
    QTest::newRow("a list as CSV") << QStringList{"lab", "signer", "list", "--format", "csv"} << 2
                                   << "--format is text or json";
}

// A signer whose name or role would not print as given, or a login the store could not know
// them by, is refused, naming what; nothing is kept.
void TestSigners::refusedSigners()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    Workplace place;
    const Run refused = place.run(args);
    QCOMPARE(refused.status, status);
    QVERIFY2(refused.err.contains(says), qPrintable(refused.err));
    QCOMPARE(place.run({"lab", "signer", "list"}).out, QString());
}

QTEST_GUILESS_MAIN(TestSigners)
#include "tst_signers.moc"
