// The examples of README.md and the manual pages, run as written against the built programs
// and compared with the output and exit status the page shows: a changed behaviour fails here
// until the page is changed with it.
//
// In README.md every ```sh block is run, its commands in order in one bash, from a fresh
// folder that holds the repository's files and a home of its own. The comment lines right
// below a command (no blank line between) are what it prints: "# TEXT" a line of standard
// output, "# stderr: TEXT" one of standard error, "# (exit N)" its exit status (0 unless
// said), "# typed: TEXT" what is typed on its terminal when it asks for a password, "..."
// within a line any text and "# ..." alone any lines. A quarvet-cli command that
// shows nothing prints nothing, on either stream. An HTML comment right above a block marks
// it: "<!-- example: set-up NAME -->" runs the blocks of that set-up together, in order, after
// the set-up below; "<!-- example: not run, REASON -->" leaves it out, and the output says so.
// In a manual page's EXAMPLES, "$ COMMAND" lines are commands and the lines below each its
// standard output; its standard error must be empty.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <utility>

#include <unistd.h>

namespace {

struct Command {
    Command(QString text, int line, bool checksErr = false)
        : text(std::move(text)), line(line), checksErr(checksErr)
    {
    }

    QString text;
    int line = 0;
    QStringList out;
    QStringList err;
    int status = 0;
    bool checksErr = false; // whether its standard error is compared
    QString typed;          // what is typed on its terminal when it asks, if anything
};

struct Example {
    Example(QString file, int line) : file(std::move(file)), line(line) {}

    QString file;
    int line = 0;
    QString setUp;  // blocks of one set-up run together
    QString notRun; // why the block is left out
    QList<Command> commands;
};

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// One comment line below a command: what it prints.
void expect(Command& command, QString said)
{
    said = said.mid(1);
    if (said.startsWith(' '))
        said = said.mid(1);
    static const QRegularExpression exit(QStringLiteral("^\\(exit (\\d+)\\)$"));
    if (const QRegularExpressionMatch match = exit.match(said); match.hasMatch())
        command.status = match.captured(1).toInt();
    else if (said.startsWith(QLatin1String("stderr: ")))
        command.err << said.mid(8);
    else if (said.startsWith(QLatin1String("typed: ")))
        command.typed = said.mid(7);
    else
        command.out << said;
}

QList<Command> commandsOfBlock(const QStringList& lines, int first, int end)
{
    QList<Command> commands;
    bool belowCommand = false;
    for (int n = first; n < end; ++n) {
        const QString& line = lines[n];
        if (line.trimmed().isEmpty()) {
            belowCommand = false;
        } else if (line.startsWith('#')) {
            if (belowCommand)
                expect(commands.last(), line);
        } else {
            Command command{line, n + 1};
            while (command.text.endsWith('\\') && n + 1 < end)
                command.text += '\n' + lines[++n];
            command.checksErr = command.text.contains(QLatin1String("quarvet-cli"));
            commands << command;
            belowCommand = true;
        }
    }
    return commands;
}

QList<Example> markdownExamples(const QString& path)
{
    static const QRegularExpression mark(
        QStringLiteral("^<!-- example: (set-up (\\S+)|not run, (.+)) -->$"));
    const QStringList lines = linesOf(path);
    QList<Example> examples;
    for (int n = 0; n < lines.size(); ++n) {
        if (lines[n] != QLatin1String("```sh"))
            continue;
        Example example{QFileInfo(path).fileName(), n + 1};
        if (const QRegularExpressionMatch match = mark.match(n > 0 ? lines[n - 1] : QString());
            match.hasMatch()) {
            example.setUp = match.captured(2);
            example.notRun = match.captured(3);
        }
        int end = n + 1;
        while (end < lines.size() && lines[end] != QLatin1String("```"))
            ++end;
        example.commands = commandsOfBlock(lines, n + 1, end);
        examples << example;
        n = end;
    }
    return examples;
}

QString fromRoff(QString line)
{
    return line.replace(QLatin1String("\\-"), QLatin1String("-"))
        .replace(QLatin1String("\\(aq"), QLatin1String("'"))
        .replace(QLatin1String("\\e"), QLatin1String("\\"));
}

QList<Example> manualExamples(const QString& path)
{
    const QStringList lines = linesOf(path);
    QList<Example> examples;
    bool inExamples = false;
    for (int n = 0; n < lines.size(); ++n) {
        if (lines[n].startsWith(QLatin1String(".SH")))
            inExamples = lines[n] == QLatin1String(".SH EXAMPLES");
        if (!inExamples || lines[n] != QLatin1String(".nf"))
            continue;
        Example example{QFileInfo(path).fileName(), n + 1};
        for (++n; n < lines.size() && lines[n] != QLatin1String(".fi"); ++n) {
            // A transcript shows all a terminal shows: standard error only where it is sent
            // with standard output (2>&1), and none otherwise.
            if (lines[n].startsWith(QLatin1String("$ ")))
                example.commands << Command{fromRoff(lines[n].mid(2)), n + 1, true};
            else if (!example.commands.isEmpty())
                example.commands.last().out << fromRoff(lines[n]);
        }
        examples << example;
    }
    return examples;
}

// Whether `actual` is what `expected` shows: "..." alone any lines, within a line any text.
bool matches(const QStringList& expected, qsizetype e, const QStringList& actual, qsizetype a)
{
    if (e == expected.size())
        return a == actual.size();
    if (expected[e] == QLatin1String("...")) {
        for (qsizetype skip = a; skip <= actual.size(); ++skip)
            if (matches(expected, e + 1, actual, skip))
                return true;
        return false;
    }
    if (a == actual.size())
        return false;
    const QString pattern = QRegularExpression::escape(expected[e])
                                .replace(QLatin1String("\\.\\.\\."), QLatin1String(".*"));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern))
               .match(actual[a])
               .hasMatch() &&
           matches(expected, e + 1, actual, a + 1);
}

QStringList outputLines(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestExamples : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void examples_data();
    void examples();
    void cleanupTestCase();

private:
    QString script(const QList<Example>& examples, const QString& results) const;
    QString prelude(const QString& setUp) const;
    // Whether a set-up can run here; machineCannot where this machine lacks what it needs.
    bool canRun(const QString& setUp, QString& why, bool& machineCannot) const;
    QString run(const QList<Example>& examples, const QTemporaryDir& dir) const;

    std::map<QString, QList<Example>> groups_; // by set-up, or by file and line alone
    QStringList notRun_;
    int commandsRun_ = 0;
    int blocksRun_ = 0;
};

void TestExamples::initTestCase()
{
    QList<Example> all = markdownExamples(QStringLiteral(SOURCE_DIR "/README.md"));
    for (const char* page : {"quarvet-cli.1.in", "quarvet.1"})
        all += manualExamples(QStringLiteral(SOURCE_DIR "/docs/man/") + QLatin1String(page));
    for (const Example& example : all) {
        const QString where = QStringLiteral("%1:%2").arg(example.file).arg(example.line);
        if (!example.notRun.isEmpty())
            notRun_ << where + QLatin1String(" (") + example.notRun + QLatin1Char(')');
        else
            groups_[example.setUp.isEmpty() ? where : example.setUp] << example;
    }
    QVERIFY2(groups_.size() > 5, "the examples were not found");
}

void TestExamples::examples_data()
{
    QTest::addColumn<QString>("group");
    for (const auto& [name, examples] : groups_)
        QTest::newRow(qPrintable(name)) << name;
}

// The shared-database set-up runs the server's and the workstation's steps as root in a mount,
// network and process namespace of their own, whose processes all end with it (a killed test
// leaves no server behind): Debian's folders of PostgreSQL, /root and /etc/hosts
// are fresh folders of the test there, and port 5432 is free, so nothing of the machine's own
// server or files is touched. "labserver" is an address of the network there that is not
// loopback, so the workstation's connection needs what the steps set up for the network
// (listening on it, the hostssl line) and not what Debian allows on 127.0.0.1. Two commands stand
// for what only a real machine does: apt-get makes the cluster 15/main and starts it, as installing
// the package does; scp copies from the server, which is this machine, with cp.
QString TestExamples::prelude(const QString& setUp) const
{
    QString text = QStringLiteral("set -u -o pipefail\n");
    if (setUp == QLatin1String("shared-database"))
        text += QStringLiteral(R"(
fail() { echo "set-up: $*" >&2; exit 90; }
mount --make-rprivate / || fail "no mount namespace"
ip link set lo up && ip addr add 203.0.113.7/24 dev lo || fail "no network"
# A /run of its own: the server's socket folder is made there, not on the machine, and no
# systemd is seen there to hand the cluster's start to (it would start the machine's own).
mount -t tmpfs tmpfs /run && mkdir -m 2775 /run/postgresql || fail "/run"
export _SYSTEMCTL_SKIP_REDIRECT=1
for place in /etc/postgresql /var/lib/postgresql /var/log/postgresql /root; do
    [ -d "$place" ] || fail "$place is missing: Debian's postgresql package is not installed whole"
    mkdir -p "$SERVER$place" && mount --bind "$SERVER$place" "$place" || fail "$place"
done
chown postgres:postgres /var/lib/postgresql /run/postgresql /var/log/postgresql
printf '127.0.0.1 localhost\n203.0.113.7 labserver\n' >"$SERVER/hosts" || fail "hosts"
mount --bind "$SERVER/hosts" /etc/hosts || fail "/etc/hosts"
trap 'pg_ctlcluster 15 main stop -m immediate >/dev/null 2>&1' EXIT
apt-get() { pg_createcluster 15 main --start >/dev/null; }
scp() { cp -- "${1#*:}" "$2"; }
)");
    return text + QStringLiteral("cd \"$WORK\" || exit 90\n");
}

// Each command in braces, so that what it sets (a variable, a folder) holds for the next.
QString TestExamples::script(const QList<Example>& examples, const QString& results) const
{
    QString text;
    int n = 0;
    for (const Example& example : examples)
        for (const Command& command : example.commands) {
            // A command that asks on the terminal is run by the typist, who answers there.
            QString typed = command.typed;
            const QString run = typed.isEmpty()
                                    ? command.text
                                    : QStringLiteral("\"$TYPIST\" '%1' %2")
                                          .arg(typed.replace('\'', "'\\''"), command.text);
            text += QStringLiteral("{ %1\n} >'%2/%3.out' 2>'%2/%3.err' </dev/null; "
                                   "echo $? >'%2/%3.status'\n")
                        .arg(run, results, QString::number(n++));
        }
    return text;
}

bool TestExamples::canRun(const QString& setUp, QString& why, bool& machineCannot) const
{
    if (setUp.isEmpty())
        return true;
    if (setUp != QLatin1String("shared-database"))
        why = QStringLiteral("no such set-up: ") + setUp;
    else if (geteuid() != 0)
        why = QStringLiteral("the server's steps run as root");
    else if (!QFile::exists("/usr/bin/pg_createcluster") ||
             !QFile::exists("/usr/lib/postgresql/15/bin/postgres"))
        why = QStringLiteral("Debian's postgresql package is not installed");
    else if (QProcess::execute("unshare", {"--mount", "--net", "--pid", "--fork", "--kill-child",
                                           "--mount-proc", "true"}) != 0) {
        why = QStringLiteral("no mount and network namespace can be made here");
        machineCannot = true;
    }
    return why.isEmpty();
}

namespace {

// A folder holding the repository's files, as the examples are run from its root.
bool makeWorkFolder(const QString& work)
{
    if (!QDir().mkpath(work + "/home"))
        return false;
    const QDir repository(QStringLiteral(SOURCE_DIR));
    for (const QString& name : repository.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        if (name != QLatin1String("build") &&
            !QFile::link(repository.filePath(name), work + '/' + name))
            return false;
    return true;
}

QString failureOf(const Example& example, const Command& command, const QString& results, int n)
{
    const QString base = QStringLiteral("%1/%2").arg(results).arg(n);
    const QStringList out = outputLines(readAll(base + ".out"));
    const QStringList err = outputLines(readAll(base + ".err"));
    const QByteArray status = readAll(base + ".status").trimmed();
    QString said;
    if (status != QByteArray::number(command.status))
        said +=
            QStringLiteral("exit %1, not %2; ").arg(QString::fromUtf8(status)).arg(command.status);
    if (!matches(command.out, 0, out, 0))
        said += QStringLiteral("standard output:\n%1\nnot as shown:\n%2\n")
                    .arg(out.join('\n'), command.out.join('\n'));
    if ((command.checksErr || !command.err.isEmpty()) && !matches(command.err, 0, err, 0))
        said += QStringLiteral("standard error:\n%1\nnot as shown:\n%2\n")
                    .arg(err.join('\n'), command.err.join('\n'));
    if (said.isEmpty())
        return said;
    return QStringLiteral("%1:%2: %3\n  %4\n")
        .arg(example.file)
        .arg(command.line)
        .arg(command.text, said);
}

} // namespace

// The group's script in bash, in the namespace of its set-up where it has one: nothing of the
// machine's or the user's own (store, settings, locale, database) reaches it.
QString TestExamples::run(const QList<Example>& examples, const QTemporaryDir& dir) const
{
    const QString work = dir.filePath("work"), results = dir.filePath("results");
    if (!makeWorkFolder(work) || !QDir().mkpath(results))
        return QStringLiteral("no folder to run in");
    QFile file(dir.filePath("examples.sh"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write((prelude(examples.first().setUp) + script(examples, results)).toUtf8()) < 0)
        return QStringLiteral("the script could not be written");
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QUARVET_DATABASE", "LC_ALL", "LC_NUMERIC", "LANGUAGE",
                             "XDG_CONFIG_HOME", "XDG_DATA_HOME", "PGHOST", "PGPORT", "PGUSER",
                             "PGDATABASE", "PGPASSWORD", "PGPASSFILE", "PGSSLMODE"})
        environment.remove(name);
    environment.insert("LANG", "C.UTF-8");
    environment.insert("PATH", QStringLiteral(CLI_DIR ":" GUI_DIR ":") + environment.value("PATH"));
    environment.insert("WORK", work);
    environment.insert("TYPIST", QStringLiteral(TYPIST));
    environment.insert("SERVER", dir.filePath("server"));
    const bool namespaced = !examples.first().setUp.isEmpty();
    environment.insert("HOME", namespaced ? QStringLiteral("/root") : work + "/home");
    QProcess bash;
    bash.setProcessEnvironment(environment);
    if (namespaced)
        bash.start("unshare", {"--mount", "--net", "--pid", "--fork", "--kill-child",
                               "--mount-proc", "bash", file.fileName()});
    else
        bash.start("bash", {file.fileName()});
    if (!bash.waitForFinished(240000)) {
        bash.kill();
        return QStringLiteral("the examples did not finish within four minutes");
    }
    if (bash.exitCode() == 90)
        return QString::fromUtf8(bash.readAllStandardError());
    return {};
}

void TestExamples::examples()
{
    QFETCH(QString, group);
    const QList<Example>& examples = groups_.at(group);
    QString why;
    bool machineCannot = false;
    if (!canRun(examples.first().setUp, why, machineCannot)) {
        // The test command requires every PostgreSQL case where it can install and run one;
        // a container or chroot that makes no namespaces fails only where every block is asked.
        const bool required =
            machineCannot
                ? qEnvironmentVariable("QUARVET_REQUIRE_EVERY_EXAMPLE") == "1"
                : geteuid() == 0 && qEnvironmentVariable("QUARVET_REQUIRE_POSTGRES") == "1";
        if (required)
            QFAIL(qPrintable(why));
        notRun_ << group + QLatin1String(" (") + why + QLatin1Char(')');
        QSKIP(qPrintable(why));
    }
    QTemporaryDir dir(QDir::tempPath() + "/quarvet-examples-XXXXXX");
    QVERIFY(dir.isValid());
    // The server's user reaches its folders through this one.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    const QString fault = run(examples, dir);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QString failures;
    int n = 0;
    for (const Example& example : examples) {
        for (const Command& command : example.commands)
            failures += failureOf(example, command, dir.filePath("results"), n++);
        ++blocksRun_;
    }
    commandsRun_ += n;
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
}

void TestExamples::cleanupTestCase()
{
    qInfo("%d example commands run from %d blocks of README.md and the manual pages", commandsRun_,
          blocksRun_);
    for (const QString& block : std::as_const(notRun_))
        qInfo("not run: %s", qPrintable(block));
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
