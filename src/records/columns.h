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
    // Lists and objects, where JSON has them: appended to `json` in place of the value.
    void (*appendJson)(QString& json, const Record&) = nullptr;

    bool inRecordsTable() const { return type != ColumnType::Readings; }
    QVariant exportedValue(const Record& record) const
    {
        return exportValue ? exportValue(record) : write(record);
    }
};

// The points as a JSON list (`target`, `readings`, `uc`, `nuEff`, `k`, `U`, `verdict`), empty
// where none was read; null in a record kept before results had budgets; the text as a JSON
// string where it is not as this program writes it.
void appendPointsJson(QString& json, const Record& record, const QString& points);

// The columns of this program's newest schema, in the order the exports show them.
std::span<const Column> recordColumns();

// A time as the store keeps it (yyyy-MM-ddTHH:mm:ss.zzzZ), read quickly; any other ISO form
// read as Qt reads it.
QDateTime storedTime(const QString& text);

// What a correction changed of the record it replaces, field by field in the exports' order
// names, blanks for underscores: "serial: SN-1 → SN-2" ("(none)" for an empty side), and the
// results' points only as "as left points: changed" beside the verdicts, which are listed. A
// record's identity, its place in the chain and the correction's own reason are not its content and
// are left out.
QStringList changedFields(const Record& before, const Record& after);

} // namespace quarvet::records
