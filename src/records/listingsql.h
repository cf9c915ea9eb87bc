#pragma once

#include "recordstore.h"
#include "sqlrecords.h"

#include <QString>
#include <QVariantList>

// The statements that list records: which records (the filter's condition), in what order, a
// page after a position, with their corrections and readings.
namespace quarvet::records::sql {

// The condition that picks the records asked for, and its values; `r` is the records table.
struct Condition {
    QString where;
    QVariantList values;
};

Condition conditionFor(const RecordFilter& filter, const Dialect& dialect, int version);

// The filter as the store's version lists it: a store of the first version has no index of
// the time saved, and lists the last saved first in its place.
RecordFilter asListed(const RecordFilter& filter, int version);

// The records with their readings, in the rows that follow each, in one statement.
QString listingStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where, int version);

// The columns' names, each after `table` ("r." or none), joined by commas.
QString namesOf(const QList<const Column*>& columns, const QString& table);

} // namespace quarvet::records::sql
