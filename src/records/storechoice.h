#pragma once

#include "recordstore.h"

#include <memory>

namespace quarvet::records {

// Where records go without a shared database: $XDG_DATA_HOME/Quarvet/records.sqlite, or
// $HOME/.local/share/Quarvet/records.sqlite; a relative folder counts as none. Empty when
// there is no place for the file.
QString defaultRecordFile(const QString& dataHome, const QString& home);

// The variable of the environment, then the setting, that names a shared lab database.
inline constexpr const char* databaseVariable = "QUARVET_DATABASE";
inline const QString databaseSection = QStringLiteral("Records");
inline const QString databaseKey = QStringLiteral("Database");

// The store records go to: the PostgreSQL database a postgresql:// URL in the environment
// variable (first) or the setting names, else the SQLite file at `defaultFile`. A URL that
// cannot be read, or no place for the file, gives a store that refuses every operation and
// says why, so the rest of the program goes on.
std::unique_ptr<RecordStore> chooseRecordStore(const QString& environmentValue,
                                               const QString& settingValue,
                                               const QString& defaultFile);

// The same, read from this process's environment and the given setting.
std::unique_ptr<RecordStore> recordStoreFor(const QString& settingValue);

} // namespace quarvet::records
