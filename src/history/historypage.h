#pragma once

#include "records/recordstore.h"

#include <QList>

namespace quarvet::history {

// What one reading of the store gave: a page of records, whether it is the last, and for a
// first page how many records the store holds and how many of them the filter picks.
struct HistoryPage {
    records::StoreFailure failure;
    QList<records::ListedRecord> records;
    bool complete = false;
    qint64 total = 0;
    qint64 matching = -1; // those the filter picks; -1 without a filter
};

// Reads the page `wanted` asks for into `page`; a first page also counts the store.
records::StoreFailure readHistoryPage(records::RecordStore& store,
                                      const records::RecordFilter& wanted, bool first,
                                      HistoryPage& page);

} // namespace quarvet::history
