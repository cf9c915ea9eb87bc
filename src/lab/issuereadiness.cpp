#include "issuereadiness.h"

#include "records/chain.h"

#include <QSqlError>

#include <optional>

namespace quarvet::lab {

using namespace records;

namespace {

// The one record `filter` picks first, if any.
StoreFailure firstOf(RecordStore& store, RecordFilter filter, std::optional<ListedRecord>& found)
{
    filter.limit = 1;
    found.reset();
    return store.visit(filter, [&](const ListedRecord& listed) {
        found = listed;
        return false;
    });
}

} // namespace

StoreFailure linksAround(RecordStore& store, const Record& record, QString& broken)
{
    RecordFilter filter;
    filter.idPrefix = record.id;
    filter.order = ListOrder::AsSaved;
    std::optional<ListedRecord> self;
    std::optional<ListedRecord> before;
    std::optional<ListedRecord> after;
    StoreFailure failure = firstOf(store, filter, self);
    if (failure.failed() || !self)
        return failure;
    filter.idPrefix.clear();
    filter.after = self->position;
    if (failure = firstOf(store, filter, after); failure.failed())
        return failure;
    filter.order = ListOrder::LastSavedFirst;
    if (failure = firstOf(store, filter, before); failure.failed())
        return failure;
    if (self->record.previousHash != (before ? before->record.hash : chainStart()))
        broken = QStringLiteral("record ") + record.id;
    else if (after && after->record.previousHash != self->record.hash)
        broken = QStringLiteral("record ") + after->record.id;
    return {};
}

StoreFailure upgradeFor(RecordStore& store, Record& record)
{
    StoreFailure failure =
        store.change([](QSqlDatabase, const Dialect&, const QString&) { return QSqlError(); }, {});
    RecordFilter filter;
    filter.idPrefix = record.id;
    std::optional<ListedRecord> upgraded;
    if (!failure.failed())
        failure = firstOf(store, filter, upgraded);
    if (!failure.failed() && !upgraded)
        failure = StoreFailure(storeFault(StoreFaultKind::NoSuchRecord, record.id));
    if (!failure.failed())
        record = upgraded->record;
    return failure;
}

} // namespace quarvet::lab
