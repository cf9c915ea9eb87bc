#include "recordtablemodel.h"

#include "records/recordform.h"
#include "records/recordformat.h"

#include <QFont>
#include <QLocale>

namespace quarvet::history {

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::setFirstPage(QList<records::ListedRecord> page, bool complete)
{
    beginResetModel();
    rows_ = std::move(page);
    complete_ = complete;
    asked_ = false;
    endResetModel();
}

void RecordTableModel::appendPage(QList<records::ListedRecord> page, bool complete)
{
    asked_ = false;
    complete_ = complete;
    if (page.isEmpty())
        return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
    rows_.append(std::move(page));
    endInsertRows();
}

std::optional<records::ListPosition> RecordTableModel::nextPosition() const
{
    if (rows_.isEmpty())
        return std::nullopt;
    return rows_.last().position;
}

QString RecordTableModel::correctedBy(const QString& id) const
{
    for (const records::ListedRecord& row : rows_)
        if (row.record.id == id)
            return row.correctedBy.value(0);
    return {};
}

bool RecordTableModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !complete_ && !asked_;
}

void RecordTableModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    asked_ = true;
    emit moreWanted();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count;
}

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
    case Id:
        return records::shortId(record.id);
    case Correction: {
        QStringList said;
        if (!row.correctedBy.isEmpty()) {
            QStringList by;
            for (const QString& id : row.correctedBy)
                by << records::shortId(id);
            said << QStringLiteral("corrected by %1").arg(by.join(QStringLiteral(", ")));
        }
        if (!record.corrects.isEmpty())
            said << QStringLiteral("corrects %1").arg(records::shortId(record.corrects));
        return said.join(QStringLiteral("; "));
    }
    default:
        return {};
    }
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const records::ListedRecord& row = rows_[index.row()];
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
        "Date",     "Serial",  "Type",       "Line", "Codes before \u2192 after",
        "As found", "As left", "Technician", "Id",   "Correction"};
    return section >= 0 && section < Count ? QString::fromUtf8(titles[section]) : QVariant();
}

} // namespace quarvet::history
