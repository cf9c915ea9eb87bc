#pragma once

#include "lab/certificates.h"
#include "lab/instruments.h"
#include "lab/labsettings.h"
#include "lab/signatures.h"
#include "records/labtables.h"
#include "records/recordstore.h"
#include "records/sqlrecords.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <span>
#include <vector>

// What the laboratory's registers share in the store: a refusal carried out of a transaction,
// changes that wait for each other, and the reads the settings and the numbering need.
namespace quarvet::lab {

using records::Dialect;
using records::issuesTable;
using records::namesTheFields;
using records::RecordStore;
using records::referenceTable;
using records::settingsTable;
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

// One column of a table of the laboratory's: its name, and how a row's field is written to it
// and read back. A table's rows are written and read through the list of its columns alone,
// by name, so that the statement and the values never fall out of step.
template <typename Row> struct TableColumn {
    const char* name;
    QVariant (*write)(const Row&);
    void (*read)(Row&, const QVariant&);
};

// "a, b, c" and "?, ?, ?" for an INSERT or a SELECT of `columns`.
template <typename Row> QString columnNames(std::span<const TableColumn<Row>> columns)
{
    QStringList names;
    for (const TableColumn<Row>& column : columns)
        names << QLatin1String(column.name);
    return names.join(QStringLiteral(", "));
}
template <typename Row> QString placeholders(std::span<const TableColumn<Row>> columns)
{
    return QStringList(static_cast<qsizetype>(columns.size()), QStringLiteral("?"))
        .join(QStringLiteral(", "));
}
template <typename Row>
QVariantList valuesOf(std::span<const TableColumn<Row>> columns, const Row& row)
{
    QVariantList values;
    for (const TableColumn<Row>& column : columns)
        values << column.write(row);
    return values;
}
// The row the query stands on, each field from its column by name.
template <typename Row>
Row rowFrom(std::span<const TableColumn<Row>> columns, const QSqlQuery& query)
{
    Row row;
    for (const TableColumn<Row>& column : columns)
        column.read(row, query.value(QLatin1String(column.name)));
    return row;
}

// The instrument entry the query stands on; with `positions`, each column at the position the
// query's result gives it (instrumentPositions), which a walk of many rows finds once.
Instrument instrumentOf(const QSqlQuery& query);
Instrument instrumentOf(const QSqlQuery& query, const std::vector<int>& positions);
std::vector<int> instrumentPositions(const QSqlQuery& query);

// The signatures on a record in a store of `version`, in the order given.
QSqlError readSignatures(QSqlDatabase database, int version, const QString& recordId,
                         QList<Signature>& signatures);

// Who authorised an issue of `record`: where the laboratory asks for signatures, its approving
// signature (refused without those it asks for, or with a person typed); where it asks for
// none, the person typed, or else a signature there is.
QSqlError takeAuthorisation(QSqlDatabase database, const records::Record& record,
                            const LabSettings& settings, CertificateIssue& issue);

// The newest value of each setting.
QSqlError readSettings(QSqlDatabase database, LabSettings& settings, qint64 upTo = 0);
// The next number under the settings' pattern at `when`, refused when one is taken.
QSqlError nextNumber(QSqlDatabase database, const LabSettings& settings, const QDateTime& when,
                     qint64& sequence, QString& number);

} // namespace quarvet::lab
