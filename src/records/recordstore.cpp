#include "recordstore.h"

#include "messages/storemessages.h"

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

} // namespace quarvet::records
