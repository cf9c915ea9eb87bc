#pragma once

#include "recordstore.h"
#include "schema.h"

#include <QSqlDatabase>
#include <QSqlError>

// Listing the records of an SQLite file through SQLite's own interface on the connection Qt
// opened: the rows go straight from SQLite's UTF-8 into the record, without the driver's
// conversion to UTF-16 and a QVariant cache of every row. Internal to the SQLite store.
namespace quarvet::records::sqlite {

// Visits the records the filter picks in a file of `version`, newest first, as they are read,
// each with its readings; the caller holds the transaction that makes it one snapshot.
// SQLite's result codes come back as the error's native code, as Qt's driver gives them.
QSqlError visitRecords(QSqlDatabase database, const Schema& schema, int version,
                       const RecordFilter& filter, const RecordVisitor& visitor);

} // namespace quarvet::records::sqlite
