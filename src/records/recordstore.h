#pragma once

#include "interface.h"
#include "record.h"

#include <QList>
#include <QString>

namespace quarvet::records {

// What a store says when it could not do what was asked; the message names the store.
struct StoreFailure {
    QString message;

    bool failed() const { return !message.isEmpty(); }
};

// Which records to read: those of one serial number, or those whose id begins with a prefix
// (in either case of letters), or all when both are empty.
struct RecordFilter {
    QString serial;
    QString idPrefix;
};

// An append-only store of calibration records: records are added, never changed or removed.
class RecordStore : public Interface {
public:
    virtual ~RecordStore() = default;

    // Adds `record` whole or not at all.
    virtual StoreFailure add(const Record& record) = 0;
    // The records the filter picks, newest first.
    virtual StoreFailure list(const RecordFilter& filter, QList<Record>& records) = 0;
    // The records whose serial number is `serial` (all for an empty one), newest first.
    StoreFailure list(const QString& serial, QList<Record>& records)
    {
        return list(RecordFilter{serial, {}}, records);
    }
    // Where the records are kept, for telling the user.
    virtual QString location() const = 0;
};

} // namespace quarvet::records
