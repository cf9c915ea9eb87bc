#pragma once

#include "records/recordstore.h"

#include <QAbstractTableModel>
#include <QList>

#include <optional>

namespace quarvet::history {

// The records of a store as a table, newest first, a page at a time: date, serial, type,
// line, codes before and after, the verdicts as found and as left, technician, and the record's
// short id with what corrects what. A record that a later one corrects is marked. The model reads
// nothing itself: it asks for the next page with moreWanted() when the view scrolls near its end,
// and whoever reads the store hands the page in.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Date,
        Serial,
        Type,
        Line,
        Codes,
        AsFound,
        Verdict,
        Technician,
        Id,
        Correction,
        Count
    };

    explicit RecordTableModel(QObject* parent = nullptr);

    // The first page of a new listing, and whether it is all there is.
    void setFirstPage(QList<records::ListedRecord> page, bool complete);
    // The page after the last one.
    void appendPage(QList<records::ListedRecord> page, bool complete);
    // Where the next page begins; nothing before the first.
    std::optional<records::ListPosition> nextPosition() const;

    const records::Record& recordAt(int row) const { return rows_[row].record; }
    // The id of the newest record that corrects `id`, among the rows read, or empty.
    QString correctedBy(const QString& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    void moreWanted();

private:
    QString text(const records::ListedRecord& row, int column) const;

    QList<records::ListedRecord> rows_;
    bool complete_ = true;
    bool asked_ = false;
};

} // namespace quarvet::history
