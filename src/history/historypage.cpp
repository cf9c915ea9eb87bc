#include "historypage.h"

#include "historyfilter.h"

namespace quarvet::history {

records::StoreFailure readHistoryPage(records::RecordStore& store,
                                      const records::RecordFilter& wanted, bool first,
                                      HistoryPage& page)
{
    records::StoreFailure failure = store.visit(wanted, [&](const records::ListedRecord& listed) {
        page.records.append(listed);
        return true;
    });
    page.complete = page.records.size() < wanted.limit;
    if (!failure.failed() && first)
        failure = store.count({}, page.total);
    // With a filter, how many it picks beside how many there are: "11 of 20 records". A first
    // page that holds them all has counted them already; counting again would search a large
    // store a second time for the few a serial picks.
    if (!failure.failed() && first && HistoryFilter::narrows(wanted)) {
        if (page.complete && !wanted.after)
            page.matching = page.records.size();
        else
            failure = store.count(wanted, page.matching);
    }
    return failure;
}

} // namespace quarvet::history
