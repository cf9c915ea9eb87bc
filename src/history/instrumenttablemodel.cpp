#include "instrumenttablemodel.h"

#include "records/recordformat.h"

#include <QBrush>
#include <QColor>

namespace quarvet::history {

namespace {

const char* const headings[] = {
    "Status",         "Due",      "Serial number",     "Type",  "Line",
    "Owner",          "Location", "Interval (months)", "State", "Last calibration",
    "Review interval"};

} // namespace

InstrumentTableModel::InstrumentTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int InstrumentTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int InstrumentTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(std::size(headings));
}

QString InstrumentTableModel::statusOf(const lab::Recall& recall) const
{
    if (recall.overdueOn(today_))
        return QStringLiteral("overdue");
    if (recall.due && *recall.due <= today_.addDays(soonDays))
        return QStringLiteral("due soon");
    return {};
}

QVariant InstrumentTableModel::cellOf(const lab::Recall& recall, int column,
                                      const QString& status) const
{
    const lab::Instrument& instrument = recall.instrument;
    switch (column) {
    case Status:
        return status;
    case Due:
        return recall.due ? recall.due->toString(Qt::ISODate) : QStringLiteral("not due");
    case Serial:
        return records::printableText(instrument.serial);
    case Type:
        return instrument.type;
    case Line:
        return instrument.line;
    case Owner:
        return instrument.owner.isEmpty() ? QStringLiteral("(the laboratory)")
                                          : records::printableText(instrument.owner);
    case Location:
        return records::printableText(instrument.location);
    case Interval:
        return instrument.intervalMonths;
    case State:
        return lab::stateText(instrument.state);
    case Last:
        return recall.lastCalibration.isValid() ? recall.lastCalibration.toString(Qt::ISODate)
                                                : QStringLiteral("never");
    case Review:
        return recall.review ? QStringLiteral("yes") : QString();
    default:
        return {};
    }
}

QVariant InstrumentTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const lab::Recall& recall = rows_[index.row()];
    const QString status = statusOf(recall);
    if (role == Qt::BackgroundRole && !status.isEmpty())
        return QBrush(status == QLatin1String("overdue") ? QColor(255, 190, 190)
                                                         : QColor(255, 222, 150));
    if (role == Qt::ForegroundRole && !status.isEmpty())
        return QBrush(Qt::black);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    return cellOf(recall, index.column(), status);
}

QVariant InstrumentTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    return QString::fromUtf8(headings[section]);
}

bool InstrumentTableModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !complete_ && !asked_;
}

void InstrumentTableModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    asked_ = true;
    emit moreWanted();
}

void InstrumentTableModel::restart(const QDate& today)
{
    beginResetModel();
    rows_.clear();
    today_ = today;
    complete_ = false;
    asked_ = true; // the first page is being read
    endResetModel();
}

void InstrumentTableModel::append(const QList<lab::Recall>& page, bool last)
{
    if (!page.isEmpty()) {
        beginInsertRows({}, static_cast<int>(rows_.size()),
                        static_cast<int>(rows_.size() + page.size() - 1));
        rows_ += page;
        endInsertRows();
    }
    complete_ = last;
    asked_ = false;
}

std::optional<lab::DueKey> InstrumentTableModel::nextAfter() const
{
    if (rows_.isEmpty())
        return std::nullopt;
    return lab::dueKeyOf(rows_.last());
}

const lab::Recall* InstrumentTableModel::recallAt(int row) const
{
    return row >= 0 && row < rows_.size() ? &rows_[row] : nullptr;
}

} // namespace quarvet::history
