#pragma once

#include "record.h"

#include <QVariant>

#include <span>

// The record's fields, one row each: how each is kept, since which schema version, how it is
// written and read, and its name in the exports. The tables, the insert, the reading, the
// exports and the check that a store is ours all come from this one list.
namespace quarvet::records {

enum class ColumnType {
    Text,
    Integer,
    Real,
    Readings, // the verification readings, kept in a table of their own
};

struct Column {
    const char* name; // in the records table
    ColumnType type;
    bool nullable;
    int since;              // the schema version that added it
    const char* constraint; // "PRIMARY KEY", "REFERENCES records(id)", or ""
    const char* fill;       // what older records hold once a later version adds the column
                            // that may not be empty, as an SQL literal: "''", "0"
    const char* exported;   // its name in CSV and JSON
    QVariant (*write)(const Record&);
    void (*read)(Record&, const QVariant&);
    QVariant (*exportValue)(const Record&); // when it differs from what is written
    QVariant (*jsonValue)(const Record&) = nullptr; // lists and objects, where JSON has them

    bool inRecordsTable() const { return type != ColumnType::Readings; }
    QVariant exportedValue(const Record& record) const
    {
        return exportValue ? exportValue(record) : write(record);
    }
};

// Results at points as one line of text, as they are kept and exported to CSV; and back.
QString pointsText(const QList<PointResult>& points);
QList<PointResult> readPoints(const QString& text);

// The columns of this program's newest schema, in the order the exports show them.
std::span<const Column> recordColumns();

} // namespace quarvet::records
