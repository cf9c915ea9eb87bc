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
    // The fields that name one row for its seal: a text and a number, either may be "".
    const char* keyText = "";
    const char* keyNumber = "";
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
// The version that seals every row kept beside the records in a chain of its own, and keeps
// the hash of the record each certificate was issued for.
inline constexpr int sealVersion = 8;

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
inline constexpr KeptTable referenceTable{
    "reference_standards", referenceFields, "identifier, entry", "the register is", 6,
    "identifier",          "entry"};

inline constexpr TableField settingFields[] = {
    {"entry", ColumnType::Integer, "PRIMARY KEY"},
    {"setting", ColumnType::Text, ""},
    {"value", ColumnType::Text, ""},
    {"saved_utc", ColumnType::Text, ""},
    {"saved_by", ColumnType::Text, ""},
};
inline constexpr KeptTable settingsTable{"lab_settings", settingFields, "", "settings are", 6, "",
                                         "entry"};

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
    // The hash of the record as issued ('' in issues kept before).
    {"record_hash", ColumnType::Text, "", 8, "''"},
    // The signature whose signer authorised it, by its sequence; 0 where the person was named
    // as typed, not signed.
    {"signature", ColumnType::Integer, "", 12, "0"},
};
inline constexpr KeptTable issuesTable{
    "certificate_issues", issueFields, "", "issues are", 6, "", "sequence"};

// The notes on the store, made by version 4 before tables were described: described here for
// their seals alone.
inline constexpr TableField noteFields[] = {
    {"noted_utc", ColumnType::Text, "", 4},
    {"note", ColumnType::Text, "", 4},
};
inline constexpr KeptTable notesTable{"store_notes", noteFields, "", "notes are", 4,
                                      "noted_utc",   ""};

// The seals: each row kept beside the records, once it is added, is sealed by a hash of its
// fields and of the seal before it, so that a row changed, removed or slipped in shows.
inline constexpr TableField sealFields[] = {
    {"position", ColumnType::Integer, "PRIMARY KEY", 8},
    {"kept_table", ColumnType::Text, "", 8},
    {"key_text", ColumnType::Text, "", 8},
    {"key_number", ColumnType::Integer, "", 8},
    {"previous_hash", ColumnType::Text, "", 8},
    {"hash", ColumnType::Text, "", 8},
    {"saved_by", ColumnType::Text, "", 8},
};
inline constexpr KeptTable sealTable{"kept_seals", sealFields, "", "seals are", 8};

// The version that keeps the laboratory's signers.
inline constexpr int signerVersion = 11;

// Who may sign records: a login the store authenticates, its printed name and role, each
// change a new entry; withdrawn by an entry no longer listed.
inline constexpr TableField signerFields[] = {
    {"login", ColumnType::Text, "", signerVersion},
    {"entry", ColumnType::Integer, "", signerVersion},
    {"name", ColumnType::Text, "", signerVersion},
    {"role", ColumnType::Text, "", signerVersion},
    {"listed", ColumnType::Integer, "", signerVersion},
    {"saved_utc", ColumnType::Text, "", signerVersion},
    {"saved_by", ColumnType::Text, "", signerVersion},
};
inline constexpr KeptTable signersTable{
    "lab_signers", signerFields, "login, entry", "the signers are",
    signerVersion, "login",      "entry"};

// The version that keeps signatures on records, and the failed attempts to sign.
inline constexpr int signatureVersion = 12;

// A signature on a record: who (as the store authenticated them, with their name and role as
// listed then), what it means, when, and the hash of the record signed, so that it cannot be
// carried to another record or stand for one since changed.
inline constexpr TableField signatureFields[] = {
    {"sequence", ColumnType::Integer, "PRIMARY KEY", signatureVersion},
    {"record_id", ColumnType::Text, "REFERENCES records(id)", signatureVersion},
    {"record_hash", ColumnType::Text, "", signatureVersion},
    {"login", ColumnType::Text, "", signatureVersion},
    {"signer_entry", ColumnType::Integer, "", signatureVersion},
    {"name", ColumnType::Text, "", signatureVersion},
    {"role", ColumnType::Text, "", signatureVersion},
    {"meaning", ColumnType::Text, "", signatureVersion},
    {"signed_utc", ColumnType::Text, "", signatureVersion},
    // "server" where a database server checked the password, "system" where the computer's
    // login did.
    {"authenticated_by", ColumnType::Text, "", signatureVersion},
    {"saved_by", ColumnType::Text, "", signatureVersion},
};
inline constexpr KeptTable signaturesTable{
    "record_signatures", signatureFields, "", "signatures are", signatureVersion, "", "sequence"};

// An attempt to sign whose password was wrong: kept, so that three in a row shut the login
// out for a while on every workstation, and an auditor sees them.
inline constexpr TableField signingFailureFields[] = {
    {"sequence", ColumnType::Integer, "PRIMARY KEY", signatureVersion},
    {"login", ColumnType::Text, "", signatureVersion},
    {"failed_utc", ColumnType::Text, "", signatureVersion},
    {"saved_by", ColumnType::Text, "", signatureVersion},
};
inline constexpr KeptTable signingFailuresTable{
    "signing_failures", signingFailureFields, "", "failed signings are", signatureVersion, "",
    "sequence"};

// The version that keeps the register of instruments the laboratory looks after.
inline constexpr int instrumentVersion = 13;

// An instrument the laboratory looks after, as it stood from `saved_utc` on: each change a new
// entry of its type and serial number. Numbers that may be absent (tolerance, targets, the
// third point) are kept as their shortest decimal text, empty where not given.
inline constexpr TableField instrumentFields[] = {
    {"sequence", ColumnType::Integer, "PRIMARY KEY", instrumentVersion},
    {"instrument_type", ColumnType::Text, "", instrumentVersion},
    {"serial", ColumnType::Text, "", instrumentVersion},
    {"entry", ColumnType::Integer, "", instrumentVersion},
    {"display_line", ColumnType::Integer, "", instrumentVersion},
    {"description", ColumnType::Text, "", instrumentVersion},
    {"owner", ColumnType::Text, "", instrumentVersion}, // empty: the laboratory's own
    {"location", ColumnType::Text, "", instrumentVersion},
    {"interval_months", ColumnType::Integer, "", instrumentVersion},
    {"tolerance", ColumnType::Text, "", instrumentVersion},
    {"decision_rule", ColumnType::Text, "", instrumentVersion},
    {"target1", ColumnType::Text, "", instrumentVersion},
    {"target2", ColumnType::Text, "", instrumentVersion},
    {"third_point", ColumnType::Text, "", instrumentVersion},
    // "in service", "out of service" or "retired".
    {"state", ColumnType::Text, "", instrumentVersion},
    // The day it was first registered, and the day it last came back into service ('' when
    // it never left it): either makes it due where no calibration came after.
    {"registered", ColumnType::Text, "", instrumentVersion},
    {"returned", ColumnType::Text, "", instrumentVersion},
    // When a person last looked at its interval ('' never): a failure found before asks again.
    {"interval_reviewed_utc", ColumnType::Text, "", instrumentVersion},
    {"saved_utc", ColumnType::Text, "", instrumentVersion},
    {"saved_by", ColumnType::Text, "", instrumentVersion},
};
inline constexpr KeptTable instrumentsTable{
    "instruments", instrumentFields, "", "the instruments are", instrumentVersion, "", "sequence"};

// The tables whose rows are sealed; a table is sealed from the version that makes it.
inline constexpr const KeptTable* sealedTables[] = {
    &notesTable,   &referenceTable,  &settingsTable,        &issuesTable,
    &signersTable, &signaturesTable, &signingFailuresTable, &instrumentsTable};

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
