#pragma once

#include "lab/labsettings.h"
#include "records/recordstore.h"
#include "records/sqlrecords.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// What the laboratory's registers share in the store: a refusal carried out of a transaction,
// changes that wait for each other, and the reads the settings and the numbering need.
namespace quarvet::lab {

using records::Dialect;
using records::RecordStore;
using records::StoreFailure;
using records::StoreFault;
using records::StoreFaultKind;

// A refusal of a change, carried out of its transaction as an error of its own; and back.
QSqlError refused(StoreFaultKind kind, const QString& detail);
StoreFault refusalOf(const QSqlError& error);
// Changes of the register, the settings and the issues wait for each other in a shared
// database, so that each takes the next number; in SQLite the write transaction does that.
QSqlError serialised(QSqlDatabase database, const Dialect& dialect);
QSqlError exec(QSqlQuery& query, const QString& statement, const QVariantList& values);
// The first row's first value of a statement, or an invalid value when it gives no row.
QSqlError firstValue(QSqlDatabase database, const QString& statement, const QVariantList& values,
                     QVariant& value);
QString utcNow();

// The newest value of each setting.
QSqlError readSettings(QSqlDatabase database, LabSettings& settings);
// The next number under the settings' pattern at `when`, refused when one is taken.
QSqlError nextNumber(QSqlDatabase database, const LabSettings& settings, const QDateTime& when,
                     qint64& sequence, QString& number);

} // namespace quarvet::lab
