#include "recordstore.h"

#include "labtables.h"
#include "schema.h"
#include "sqlrecords.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace quarvet::records {

namespace {

// The records saved after `from` (all without it) added to `walk` in the order they were
// saved, each witness held against the head at its count, and judged; `lastOrder` is where
// it stopped.
StoreFailure walkRecords(RecordStore& store, const std::optional<ChainCheckpoint>& from,
                         const std::vector<Witness>& witnesses, ChainWalk& walk,
                         ChainReport& report, qint64& lastOrder)
{
    RecordFilter filter;
    filter.order = ListOrder::AsSaved;
    if (from) {
        filter.after = ListPosition{{}, from->order};
        walk.resume(from->count, from->hash, from->savedUtc);
        lastOrder = from->order;
        report.resumedAfter = from->count;
    }
    auto next = witnesses.cbegin();
    StoreFailure failure = store.visit(filter, [&](const ListedRecord& listed) {
        const bool goesOn = walk.add(listed.record);
        lastOrder = listed.position.order;
        for (; next != witnesses.cend() && next->count <= walk.count(); ++next)
            if (!report.witnessBroken && next->head != listed.record.hash)
                report.witnessBroken = WitnessBreak{*next, listed.record.hash};
        return goesOn;
    });
    report.broken = walk.finish();
    report.backwards = walk.backwards();
    // A witness of more records than the store holds names a head it no longer has.
    if (!failure.failed() && !report.broken && next != witnesses.cend() && !report.witnessBroken)
        report.witnessBroken = WitnessBreak{*next, {}};
    return failure;
}

} // namespace

StoreFailure RecordStore::list(const RecordFilter& filter, QList<Record>& records)
{
    records.clear();
    StoreFailure failure = visit(filter, [&](const ListedRecord& listed) {
        records.append(listed.record);
        return true;
    });
    if (failure.failed())
        records.clear();
    return failure;
}

StoreFailure RecordStore::checkChain(ChainReport& report, std::vector<Witness> witnesses)
{
    return walk(report, std::move(witnesses), std::nullopt);
}

StoreFailure RecordStore::checkChainSince(ChainReport& report, const ChainCheckpoint& from)
{
    return walk(report, {}, from);
}

namespace {

// Whether the store holds as many records up to the checkpoint's as it says, and the seal and
// issue it reached (the seal with its hash).
QSqlError stands(QSqlDatabase database, const Dialect& dialect, int version,
                 const ChainCheckpoint& from, bool& held)
{
    const QString seals = version < sealVersion
                              ? QStringLiteral("0")
                              : QStringLiteral("(SELECT count(*) FROM kept_seals WHERE position = "
                                               "%1 AND hash = '%2')")
                                    .arg(from.seals.position)
                                    .arg(from.seals.hash);
    const QString issues =
        version < registerVersion
            ? QStringLiteral("0")
            : QStringLiteral("(SELECT count(*) FROM certificate_issues WHERE sequence = %1)")
                  .arg(from.issueSequence);
    // Those up to it counted as all of them but those after it: a count of the whole table
    // reads its smallest index, where one up to a place would read every record's row.
    QVariantList row;
    const QSqlError error = sql::firstRow(
        database,
        QStringLiteral("SELECT (SELECT count(*) FROM records) - (SELECT count(*) FROM records "
                       "WHERE %1 > %2), %3, %4")
            .arg(QLatin1String(dialect.orderColumn))
            .arg(from.order)
            .arg(seals, issues),
        row);
    held = !error.isValid() && row.value(0).toLongLong() == from.count &&
           row.value(1).toLongLong() == (from.seals.position > 0 ? 1 : 0) &&
           row.value(2).toLongLong() == (from.issueSequence > 0 ? 1 : 0);
    return error;
}

} // namespace

StoreFailure RecordStore::holds(const ChainCheckpoint& from, bool& held)
{
    held = false;
    if (from.count < 1 || from.order < 1)
        return {};
    RecordFilter filter;
    filter.order = ListOrder::AsSaved;
    filter.after = ListPosition{{}, from.order - 1};
    filter.limit = 1;
    StoreFailure failure = visit(filter, [&](const ListedRecord& listed) {
        held = listed.position.order == from.order && listed.record.hash == from.hash &&
               listed.record.createdUtc == from.savedUtc;
        return false;
    });
    if (failure.failed() || !held)
        return failure;
    // The rest of what it says must stand too: as many records up to it, and the seal and
    // issue it reached, each still there (the seal with its hash). A cache is a file any
    // program may write.
    return inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
        return stands(database, dialect, version, from, held);
    });
}

StoreFailure RecordStore::walk(ChainReport& report, std::vector<Witness> witnesses,
                               std::optional<ChainCheckpoint> from)
{
    std::stable_sort(witnesses.begin(), witnesses.end(),
                     [](const Witness& a, const Witness& b) { return a.count < b.count; });
    report = {};
    // Readings left behind by a record removed are counted by a whole walk: they are all read.
    if (StoreFailure failure = readNotes(report.notes, !from); failure.failed())
        return failure;
    // A store that keeps no chain yet has nothing to walk: its next save chains it.
    if (report.notes.version < chainVersion) {
        StoreFailure failure = count({}, report.count);
        report.chained = report.count == 0;
        return failure;
    }
    if (from) {
        bool held = false;
        if (StoreFailure failure = holds(*from, held); failure.failed())
            return failure;
        if (!held)
            return walk(report, std::move(witnesses), std::nullopt);
    }
    ChainWalk walk;
    qint64 lastOrder = 0;
    StoreFailure failure = walkRecords(*this, from, witnesses, walk, report, lastOrder);
    report.count = walk.count();
    report.intact = walk.intact();
    report.head = walk.head();
    // The issues and seals are checked whatever the dates say.
    if (failure.failed() || report.broken || report.notes.orphanReadings > 0)
        return failure;
    report.reached = ChainCheckpoint{report.count, lastOrder, report.head, walk.lastSaved()};
    failure = checkBeside(report, from);
    if (failure.failed() || !report.whole())
        report.reached.reset();
    return failure;
}

StoreFailure RecordStore::checkBeside(ChainReport& report,
                                      const std::optional<ChainCheckpoint>& from)
{
    SealMark seals = from ? from->seals : SealMark{};
    qint64 sequence = from ? from->issueSequence : 0;
    const StoreFailure failure =
        inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
            QSqlError error =
                checkIssues(database, dialect, version, report.head, report.issueBroken, sequence);
            if (!error.isValid() && !report.issueBroken)
                error = checkSeals(database, dialect, version, report.keptBroken, seals);
            // What was found missing may only have been cut short.
            if (!error.isValid() && (report.issueBroken || report.keptBroken))
                error = sql::stillAnswering(database);
            return error;
        });
    if (report.reached) {
        report.reached->seals = seals;
        report.reached->issueSequence = sequence;
    }
    return failure;
}

QString firstBreak(const ChainReport& report)
{
    if (report.broken)
        return QStringLiteral("record ") + report.broken->record.id;
    if (report.backwards)
        return QStringLiteral("record ") + report.backwards->record.id;
    if (report.notes.orphanReadings > 0)
        return QStringLiteral("readings");
    if (report.witnessBroken)
        return QStringLiteral("record %1").arg(report.witnessBroken->witness.count);
    if (report.issueBroken)
        return QStringLiteral("certificate ") + report.issueBroken->number;
    if (report.keptBroken) {
        QStringList named{report.keptBroken->table};
        if (!report.keptBroken->key.text.isEmpty())
            named << report.keptBroken->key.text;
        if (report.keptBroken->key.number)
            named << QString::number(report.keptBroken->key.number);
        return named.join(QLatin1Char(' '));
    }
    return {};
}

StoreFailure RecordStore::chainHead(QString& head)
{
    head.clear();
    RecordFilter filter;
    filter.order = ListOrder::LastSavedFirst;
    filter.limit = 1;
    return visit(filter, [&](const ListedRecord& listed) {
        head = listed.record.hash;
        return false;
    });
}

namespace {

std::mutex progressGuard;
UpgradeProgress& upgradeProgress()
{
    static UpgradeProgress progress;
    return progress;
}

} // namespace

void setUpgradeProgress(UpgradeProgress progress)
{
    const std::lock_guard lock(progressGuard);
    upgradeProgress() = std::move(progress);
}

namespace {

thread_local UpgradeProgress progressOnThisThread;

} // namespace

UpgradeProgressOnThisThread::UpgradeProgressOnThisThread(UpgradeProgress progress)
    : before_(std::exchange(progressOnThisThread, std::move(progress)))
{
}

UpgradeProgressOnThisThread::~UpgradeProgressOnThisThread()
{
    progressOnThisThread = std::move(before_);
}

void reportUpgrade(qint64 done, qint64 total)
{
    if (progressOnThisThread) {
        progressOnThisThread(done, total);
        return;
    }
    UpgradeProgress progress;
    {
        const std::lock_guard lock(progressGuard);
        progress = upgradeProgress();
    }
    if (progress)
        progress(done, total);
}

} // namespace quarvet::records
