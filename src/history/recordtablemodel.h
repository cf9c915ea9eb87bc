#pragma once

#include "records/record.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

namespace quarvet::history {

// The records of a store as a table, newest first: date, serial, type, line, codes before
// and after, verdict, technician, and the record's short id with what corrects what. A
// record that a later one corrects is marked.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Date, Serial, Type, Line, Codes, Verdict, Technician, Id, Correction, Count };

    explicit RecordTableModel(QObject* parent = nullptr);

    void setRecords(QList<records::Record> records);
    const records::Record& recordAt(int row) const { return records_[row]; }
    // The id of the record that corrects `id`, or empty.
    QString correctedBy(const QString& id) const { return correctedBy_.value(id); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(const records::Record& record, int column) const;

    QList<records::Record> records_;
    QHash<QString, QString> correctedBy_;
};

} // namespace quarvet::history
