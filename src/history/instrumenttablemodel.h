#pragma once

#include "lab/instruments.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QList>

#include <optional>

namespace quarvet::history {

// The register of instruments in the order they fall due, a page at a time: the window reads
// the next page when the view asks for more. Overdue rows are red, rows due within
// `soonDays` amber, and each says so in words too.
class InstrumentTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int soonDays = 30;
    enum Column { Status, Due, Serial, Type, Line, Owner, Location, Interval, State, Last, Review };

    explicit InstrumentTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Empties it for a new reading, as of the store's `today`.
    void restart(const QDate& today);
    // Adds the page read after the last row; `last` when the register holds no more.
    void append(const QList<lab::Recall>& page, bool last);
    // Where the next page begins; none before the first.
    std::optional<lab::DueKey> nextAfter() const;
    const lab::Recall* recallAt(int row) const;
    QDate today() const { return today_; }
    // "overdue", "due soon" or empty: what the row's colour says.
    QString statusOf(const lab::Recall& recall) const;

signals:
    // The view wants more rows than are read.
    void moreWanted();

private:
    QVariant cellOf(const lab::Recall& recall, int column, const QString& status) const;

    QList<lab::Recall> rows_;
    QDate today_;
    bool complete_ = true;
    bool asked_ = false;
};

} // namespace quarvet::history
