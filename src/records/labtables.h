#pragma once

#include "columns.h"

#include <span>
#include <string_view>

// The tables the laboratory keeps beside its records (the register of reference standards, its
// settings and the issues of certificates), described as data: the schema makes them from
// these lists, and the code that reads and writes their rows names its columns against them,
// so that a column added, renamed or moved in one place and not the other fails the build.
namespace quarvet::records {

struct TableField {
    const char* name;
    ColumnType type;
    const char* constraint; // "PRIMARY KEY", "REFERENCES records(id)", or ""
    int since = 6;          // the schema version that added it; later ones come last
    const char* fill = "";  // what rows kept before hold, as an SQL literal
};

// A table of rows that are added and never changed nor removed, like the records; every field
// must hold a value.
struct KeptTable {
    const char* name;
    std::span<const TableField> fields;
    const char* primaryKey; // "identifier, entry", or "" where a field says it
    const char* keptAs;     // the subject of "... never changed" in SQLite's refusal
    int since = 6;          // the schema version that made it
};

// The fields a store of `version` holds: the first so many, since later ones come last.
constexpr std::size_t fieldsAt(const KeptTable& table, int version)
{
    std::size_t held = 0;
    for (const TableField& field : table.fields)
        held += field.since <= version ? 1 : 0;
    return held;
}

// The version that keeps whether a certificate was issued with the accreditation claim.
inline constexpr int claimVersion = 7;

inline constexpr TableField referenceFields[] = {
    {"identifier", ColumnType::Text, ""},
    {"entry", ColumnType::Integer, ""},
    {"description", ColumnType::Text, ""},
    {"certificate", ColumnType::Text, ""},
    {"calibrated_by", ColumnType::Text, ""},
    {"u", ColumnType::Real, ""},
    {"k", ColumnType::Real, ""},
    {"drift", ColumnType::Real, ""},
    {"calibrated", ColumnType::Text, ""},
    {"due", ColumnType::Text, ""},
    {"usable", ColumnType::Integer, ""},
    {"saved_utc", ColumnType::Text, ""},
    {"saved_by", ColumnType::Text, ""},
};
inline constexpr KeptTable referenceTable{"reference_standards", referenceFields,
                                          "identifier, entry", "the register is"};

inline constexpr TableField settingFields[] = {
    {"entry", ColumnType::Integer, "PRIMARY KEY"},
    {"setting", ColumnType::Text, ""},
    {"value", ColumnType::Text, ""},
    {"saved_utc", ColumnType::Text, ""},
    {"saved_by", ColumnType::Text, ""},
};
inline constexpr KeptTable settingsTable{"lab_settings", settingFields, "", "settings are"};

inline constexpr TableField issueFields[] = {
    {"sequence", ColumnType::Integer, ""},
    {"number", ColumnType::Text, ""},
    {"record_id", ColumnType::Text, "REFERENCES records(id)"},
    {"issued_utc", ColumnType::Text, ""},
    {"issued_by", ColumnType::Text, ""},
    {"role", ColumnType::Text, ""},
    {"saved_by", ColumnType::Text, ""},
    {"chain_head", ColumnType::Text, ""},
    // Issued with the laboratory's accreditation claim (1), or without it on purpose (0).
    {"accredited", ColumnType::Integer, "", 7, "1"},
    // The last entry of the laboratory's settings at issue: every copy shows them as they
    // stood then (0 in issues kept before, shown with the settings of the day).
    {"settings_entry", ColumnType::Integer, "", 7, "0"},
};
inline constexpr KeptTable issuesTable{"certificate_issues", issueFields, "", "issues are"};

// Whether `columns` (anything with a `name`) name the table's fields, all of them, in order.
template <typename Columns> constexpr bool namesTheFields(const Columns& columns, KeptTable table)
{
    if (std::size(columns) != table.fields.size())
        return false;
    std::size_t n = 0;
    for (const auto& column : columns)
        if (std::string_view(column.name) != table.fields[n++].name)
            return false;
    return true;
}

} // namespace quarvet::records
