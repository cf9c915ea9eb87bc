#include "recordstore.h"

#include "messages/storemessages.h"
#include "schema.h"

namespace quarvet::records {

StoreFailure::StoreFailure(StoreFault fault)
    : fault(std::move(fault)), message(messages::storeFault(this->fault))
{
}

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

StoreFailure RecordStore::checkChain(ChainReport& report)
{
    report = {};
    if (StoreFailure failure = readNotes(report.notes); failure.failed())
        return failure;
    RecordFilter filter;
    filter.order = ListOrder::AsSaved;
    ChainWalk walk;
    StoreFailure failure =
        visit(filter, [&](const ListedRecord& listed) { return walk.add(listed.record); });
    report.broken = walk.finish();
    report.count = walk.count();
    report.intact = walk.intact();
    report.chained = report.notes.version >= chainVersion || report.count == 0;
    report.head = walk.head();
    return failure;
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
