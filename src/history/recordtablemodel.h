#pragma once

#include "records/recordstore.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>

#include <optional>

namespace quarvet::history {

// The records of a store as a table, newest first, a page at a time: date, serial, type,
// line, codes before and after, the verdicts as found and as left, technician, the number and
// state of its certificate, and the record's short id with what corrects what. A record that a
// later one corrects is marked. The model reads nothing itself: it asks for the next page with
// moreWanted() when the view scrolls near its end, and whoever reads the store hands the page in.
// It holds the pages around the rows last shown and the selected row's, however far the view has
// scrolled; a page it let go is asked for again with pageWanted() when the view shows it, and shown
// blank until it comes. Whether the row's certificate is issued, and whether it is amended (the
// record corrects an earlier one) or superseded (a later one corrects it): "issued, superseded".
QString issueState(const records::ListedRecord& row);

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
        Certificate,
        IssueState,
        Id,
        Correction,
        Count
    };

    static constexpr int pageRows = 200;
    // Pages held on either side of the one last shown: a screen's rows and some to scroll.
    static constexpr int pagesAround = 3;

    explicit RecordTableModel(QObject* parent = nullptr);

    // The first page of a new listing, and whether it is all there is.
    void setFirstPage(QList<records::ListedRecord> page, bool complete);
    // The page after the last one.
    void appendPage(QList<records::ListedRecord> page, bool complete);
    // Page `page` read again, for the listing `listing` names; one of an earlier listing is
    // dropped.
    void restorePage(int page, int listing, QList<records::ListedRecord> rows);
    // Where the next page begins; nothing before the first.
    std::optional<records::ListPosition> nextPosition() const;
    // Where page `page` is read again from: the listing's rows after this position.
    records::ListPosition restartOf(int page) const;
    // Which listing the pages belong to: each first page begins a new one.
    int listing() const { return listing_; }
    // The order the next listing is read in, which the pages read again follow.
    void setAscending(bool ascending) { ascending_ = ascending; }
    // The page of `row` is held whatever is shown (the selection); -1 for none.
    void holdRow(int row);
    // A page asked for again but not read (the store was busy) is asked for when next shown.
    void forgetAsked(int page) { asked_.remove(page); }
    // How many pages hold their rows.
    int pagesHeld() const;

    // The row's record, or null while its page is being read again.
    const records::Record* recordAt(int row) const;
    // The id of the newest record that corrects `id`, among the rows held, or empty.
    QString correctedBy(const QString& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    // A header's click: a column the store sorts by is asked for with sortWanted(); another
    // is refused with sortRefused(), the order left as it is.
    void sort(int column, Qt::SortOrder order) override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    void moreWanted();
    void pageWanted(int page);
    void sortWanted(quarvet::records::SortKey key, bool ascending);
    void sortRefused();

private:
    struct Page {
        int firstRow = 0;
        int size = 0;
        records::ListPosition first;
        records::ListPosition last;
        QList<records::ListedRecord> rows = {}; // empty once let go
    };

    QString text(const records::ListedRecord& row, int column) const;
    int pageOf(int row) const;
    // The row as held, or null when its page was let go (and then asked for again).
    const records::ListedRecord* held(int row) const;
    // Lets go of the pages far from the one shown, but for the selected one and `kept`.
    void letGoFarPages(int kept);

    QList<Page> pages_;
    int rows_ = 0;
    int listing_ = 0;
    int heldPage_ = -1;
    mutable int shownPage_ = 0;
    mutable QSet<int> asked_;
    bool complete_ = true;
    bool ascending_ = false;
    bool askedMore_ = false;
};

} // namespace quarvet::history
