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

// An append-only store of calibration records: records are added, never changed or removed.
class RecordStore : public Interface {
public:
    virtual ~RecordStore() = default;

    // Adds `record` whole or not at all.
    virtual StoreFailure add(const Record& record) = 0;
    // The records whose serial number is `serial` (all for an empty one), newest first.
    virtual StoreFailure list(const QString& serial, QList<Record>& records) = 0;
    // Where the records are kept, for telling the user.
    virtual QString location() const = 0;
};

} // namespace quarvet::records
