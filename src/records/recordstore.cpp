#include "recordstore.h"

#include "schema.h"

#include <algorithm>

namespace quarvet::records {

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
    std::stable_sort(witnesses.begin(), witnesses.end(),
                     [](const Witness& a, const Witness& b) { return a.count < b.count; });
    report = {};
    if (StoreFailure failure = readNotes(report.notes); failure.failed())
        return failure;
    // A store that keeps no chain yet has nothing to walk: its next save chains it.
    if (report.notes.version < chainVersion) {
        StoreFailure failure = count({}, report.count);
        report.chained = report.count == 0;
        return failure;
    }
    RecordFilter filter;
    filter.order = ListOrder::AsSaved;
    ChainWalk walk;
    auto next = witnesses.cbegin();
    StoreFailure failure = visit(filter, [&](const ListedRecord& listed) {
        const bool goesOn = walk.add(listed.record);
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
    report.count = walk.count();
    report.intact = walk.intact();
    report.head = walk.head();
    // The issues and seals are checked whatever the dates say.
    return failure.failed() || report.broken || report.notes.orphanReadings > 0
               ? failure
               : checkBeside(report);
}

StoreFailure RecordStore::checkBeside(ChainReport& report)
{
    return inspect([&](QSqlDatabase database, const Dialect& dialect, int version) {
        QSqlError error = checkIssues(database, dialect, version, report.head, report.issueBroken);
        if (!error.isValid() && !report.issueBroken)
            error = checkSeals(database, dialect, version, report.keptBroken);
        return error;
    });
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
    if (report.keptBroken)
        return report.keptBroken->table + QLatin1Char(' ') + report.keptBroken->key.text +
               (report.keptBroken->key.number
                    ? QLatin1Char(' ') + QString::number(report.keptBroken->key.number)
                    : QString());
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

} // namespace quarvet::records
