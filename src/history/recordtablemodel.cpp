#include "recordtablemodel.h"

#include "records/recordform.h"
#include "records/recordformat.h"

#include <QFont>
#include <QLocale>

#include <algorithm>
#include <cstdlib>

namespace quarvet::history {

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::setFirstPage(QList<records::ListedRecord> page, bool complete)
{
    beginResetModel();
    pages_.clear();
    rows_ = 0;
    ++listing_;
    heldPage_ = -1;
    shownPage_ = 0;
    asked_.clear();
    complete_ = true;
    askedMore_ = false;
    endResetModel();
    appendPage(std::move(page), complete);
}

void RecordTableModel::appendPage(QList<records::ListedRecord> page, bool complete)
{
    askedMore_ = false;
    complete_ = complete;
    if (page.isEmpty())
        return;
    const int size = static_cast<int>(page.size());
    beginInsertRows({}, rows_, rows_ + size - 1);
    pages_.append({rows_, size, page.first().position, page.last().position, std::move(page)});
    rows_ += size;
    endInsertRows();
    letGoFarPages(static_cast<int>(pages_.size()) - 1);
}

void RecordTableModel::restorePage(int page, int listing, QList<records::ListedRecord> rows)
{
    if (listing != listing_ || page < 0 || page >= pages_.size())
        return;
    asked_.remove(page);
    Page& restored = pages_[page];
    // The store keeps every record it listed: a page read again is the page it was. Should
    // it not be (rows removed behind the program's back), it is shown no longer than it was.
    if (rows.size() > restored.size)
        rows.resize(restored.size);
    restored.rows = std::move(rows);
    emit dataChanged(index(restored.firstRow, 0),
                     index(restored.firstRow + restored.size - 1, Count - 1));
    letGoFarPages(page);
}

std::optional<records::ListPosition> RecordTableModel::nextPosition() const
{
    if (pages_.isEmpty())
        return std::nullopt;
    return pages_.last().last;
}

records::ListPosition RecordTableModel::restartOf(int page) const
{
    // By the sort key, the time saved and then the saving order, all kept in every position:
    // "after" one order further back is "from" the page's first row.
    records::ListPosition first = pages_.value(page).first;
    first.order += ascending_ ? -1 : 1;
    return first;
}

void RecordTableModel::holdRow(int row)
{
    heldPage_ = row >= 0 && row < rows_ ? pageOf(row) : -1;
}

int RecordTableModel::pagesHeld() const
{
    return static_cast<int>(std::count_if(pages_.cbegin(), pages_.cend(),
                                          [](const Page& page) { return !page.rows.isEmpty(); }));
}

int RecordTableModel::pageOf(int row) const
{
    const auto after = std::upper_bound(pages_.cbegin(), pages_.cend(), row,
                                        [](int r, const Page& page) { return r < page.firstRow; });
    return static_cast<int>(after - pages_.cbegin()) - 1;
}

const records::ListedRecord* RecordTableModel::held(int row) const
{
    if (row < 0 || row >= rows_)
        return nullptr;
    const int page = pageOf(row);
    const Page& holding = pages_[page];
    const qsizetype at = row - holding.firstRow;
    if (at < holding.rows.size())
        return &holding.rows[at];
    if (holding.rows.isEmpty() && !asked_.contains(page)) {
        asked_.insert(page);
        // Asked for once the view has painted: a reading that ends at once would otherwise
        // change the rows while they are being drawn.
        auto* model = const_cast<RecordTableModel*>(this);
        QMetaObject::invokeMethod(
            model, [model, page] { emit model->pageWanted(page); }, Qt::QueuedConnection);
    }
    return nullptr;
}

void RecordTableModel::letGoFarPages(int kept)
{
    for (int page = 0; page < pages_.size(); ++page)
        if (std::abs(page - shownPage_) > pagesAround && page != heldPage_ && page != kept &&
            !pages_[page].rows.isEmpty())
            pages_[page].rows = {};
}

const records::Record* RecordTableModel::recordAt(int row) const
{
    const records::ListedRecord* listed = held(row);
    return listed ? &listed->record : nullptr;
}

QString RecordTableModel::correctedBy(const QString& id) const
{
    for (const Page& page : pages_)
        for (const records::ListedRecord& row : page.rows)
            if (row.record.id == id)
                return row.correctedBy.value(0);
    return {};
}

void RecordTableModel::sort(int column, Qt::SortOrder order)
{
    using records::SortKey;
    static const std::optional<SortKey> keys[Count] = {
        SortKey::Date, SortKey::Serial,  SortKey::Type,    std::nullopt,
        std::nullopt,  SortKey::AsFound, SortKey::Verdict, SortKey::Technician,
        std::nullopt,  std::nullopt,     std::nullopt,     std::nullopt};
    if (column >= 0 && column < Count && keys[column])
        emit sortWanted(*keys[column], order == Qt::AscendingOrder);
    else
        emit sortRefused();
}

bool RecordTableModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !complete_ && !askedMore_;
}

void RecordTableModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    askedMore_ = true;
    emit moreWanted();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int RecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count;
}

QString issueState(const records::ListedRecord& row)
{
    QStringList state{row.certificate.isEmpty() ? QStringLiteral("not issued")
                                                : QStringLiteral("issued")};
    // A correction's certificate amends one issued before it; a corrected record's is
    // superseded.
    if (row.amends)
        state << QStringLiteral("amended");
    if (!row.correctedBy.isEmpty())
        state << QStringLiteral("superseded");
    return state.join(QStringLiteral(", "));
}

namespace {

// What corrects the row's record, and what it corrects.
QString correctionText(const records::ListedRecord& row)
{
    QStringList said;
    if (!row.correctedBy.isEmpty()) {
        QStringList by;
        for (const QString& id : row.correctedBy)
            by << records::shortId(id);
        said << QStringLiteral("corrected by %1").arg(by.join(QStringLiteral(", ")));
    }
    if (!row.record.corrects.isEmpty())
        said << QStringLiteral("corrects %1").arg(records::shortId(row.record.corrects));
    return said.join(QStringLiteral("; "));
}

} // namespace

QString RecordTableModel::text(const records::ListedRecord& row, int column) const
{
    const records::Record& record = row.record;
    switch (column) {
    case Date:
        return QLocale().toString(record.createdUtc.toLocalTime(), QLocale::ShortFormat);
    case Serial:
        return records::leftToRightAsStored(records::printableText(record.serial));
    case Type:
        return record.instrumentType;
    case Line:
        return QString::number(record.displayLine);
    case Codes:
        return QStringLiteral("%1 %2 \u2192 %3 %4")
            .arg(record.currentSlopeCode, record.currentOffsetCode, record.slopeCode,
                 record.offsetCode);
    case AsFound:
        return records::asFoundVerdictText(record);
    case Verdict:
        return records::asLeftVerdictText(record);
    case Technician:
        return records::leftToRightAsStored(records::printableText(record.technician));
    case Certificate:
        return records::leftToRightAsStored(records::printableText(row.certificate));
    case IssueState:
        return issueState(row);
    case Id:
        return records::shortId(record.id);
    case Correction:
        return correctionText(row);
    default:
        return {};
    }
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_)
        return {};
    if (role == Qt::DisplayRole)
        shownPage_ = pageOf(index.row());
    const records::ListedRecord* listed = held(index.row());
    if (!listed)
        return {};
    const records::ListedRecord& row = *listed;
    const records::Record& record = row.record;
    if (role == Qt::DisplayRole)
        return text(row, index.column());
    // The filter looks at the serial as stored, not as shown.
    if (role == Qt::UserRole && index.column() == Serial)
        return record.serial;
    if (role == Qt::ToolTipRole && index.column() == Id)
        return record.id;
    if (role == Qt::FontRole && !row.correctedBy.isEmpty()) {
        QFont font;
        font.setStrikeOut(true);
        return font;
    }
    return {};
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {
        "Date",     "Serial",    "Type",       "Line",        "Codes before \u2192 after",
        "As found", "As left",   "Technician", "Certificate", "Issue",
        "Id",       "Correction"};
    return section >= 0 && section < Count ? QString::fromUtf8(titles[section]) : QVariant();
}

} // namespace quarvet::history
