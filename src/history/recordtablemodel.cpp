#include "recordtablemodel.h"

#include "records/recordform.h"
#include "records/recordformat.h"

#include <QFont>
#include <QLocale>

namespace quarvet::history {

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::setRecords(QList<records::Record> records)
{
    beginResetModel();
    records_ = std::move(records);
    correctedBy_.clear();
    // Newest first, so the first correction seen of a record is its latest.
    for (const records::Record& record : std::as_const(records_))
        if (!record.corrects.isEmpty() && !correctedBy_.contains(record.corrects))
            correctedBy_.insert(record.corrects, record.id);
    endResetModel();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count;
}

QString RecordTableModel::text(const records::Record& record, int column) const
{
    switch (column) {
    case Date:
        return QLocale().toString(record.createdUtc.toLocalTime(), QLocale::ShortFormat);
    case Serial:
        return records::printableText(record.serial);
    case Type:
        return record.instrumentType;
    case Line:
        return QString::number(record.displayLine);
    case Codes:
        return QStringLiteral("%1 %2 \u2192 %3 %4")
            .arg(record.currentSlopeCode, record.currentOffsetCode, record.slopeCode,
                 record.offsetCode);
    case Verdict:
        return record.verdict.isEmpty() ? QStringLiteral("not verified") : record.verdict;
    case Technician:
        return records::printableText(record.technician);
    case Id:
        return records::shortId(record.id);
    case Correction: {
        QStringList said;
        if (const QString by = correctedBy_.value(record.id); !by.isEmpty())
            said << QStringLiteral("corrected by %1").arg(records::shortId(by));
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
    if (!index.isValid() || index.row() >= records_.size())
        return {};
    const records::Record& record = records_[index.row()];
    if (role == Qt::DisplayRole)
        return text(record, index.column());
    // The filter looks at the serial as stored, not as shown.
    if (role == Qt::UserRole && index.column() == Serial)
        return record.serial;
    if (role == Qt::ToolTipRole && index.column() == Id)
        return record.id;
    if (role == Qt::FontRole && correctedBy_.contains(record.id)) {
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
        "Date",    "Serial",     "Type", "Line",      "Codes before \u2192 after",
        "Verdict", "Technician", "Id",   "Correction"};
    return section >= 0 && section < Count ? QString::fromUtf8(titles[section]) : QVariant();
}

} // namespace quarvet::history
