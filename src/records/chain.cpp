#include "chain.h"

#include "columns.h"
#include "recordformat.h"

#include <QCryptographicHash>

namespace quarvet::records {
QByteArray escaped(const QString& text)
{
    QByteArray said = text.toUtf8();
    said.replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
    return said;
}

namespace {

QByteArray valueText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
        // SQLite may keep -0.0 as the integer 0 and give back 0.0: one form for both.
        return numberText(value.toDouble() + 0.0).toUtf8();
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QByteArray::number(value.toLongLong());
    default:
        return escaped(value.toString());
    }
}

} // namespace

QString chainStart()
{
    return QString(64, QLatin1Char('0'));
}

QByteArray canonicalForm(const Record& record)
{
    QByteArray form = "quarvet record 1\n";
    for (const Column& column : recordColumns()) {
        if (qstrcmp(column.name, "hash") == 0)
            continue;
        const QVariant value =
            column.inRecordsTable() ? column.write(record) : column.exportedValue(record);
        if (value.isNull())
            continue;
        form += column.name;
        form += '=';
        form += valueText(value);
        form += '\n';
    }
    return form;
}

QString recordHash(const Record& record)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(canonicalForm(record), QCryptographicHash::Sha256).toHex());
}

void ChainWalk::resume(qint64 count, const QString& hash, const QDateTime& savedUtc)
{
    count_ = intact_ = count;
    expected_ = head_ = hash;
    lastSaved_ = savedUtc;
}

bool ChainWalk::add(const Record& record)
{
    if (broken_)
        return false;
    if (pending_)
        judge(&record);
    pending_ = record;
    ++count_;
    return !broken_;
}

std::optional<ChainBreak> ChainWalk::finish()
{
    if (pending_ && !broken_)
        judge(nullptr);
    pending_.reset();
    if (broken_)
        head_.clear();
    return broken_;
}

void ChainWalk::judge(const Record* next)
{
    const Record& record = *pending_;
    const bool linked = record.previousHash == expected_;
    const bool whole = !record.hash.isEmpty() && recordHash(record) == record.hash;
    using Kind = ChainBreak::Kind;
    // A date set back is a finding of its own: the walk goes on to the first break, if any.
    if (linked && whole && !backwards_ && lastSaved_.isValid() &&
        record.createdUtc < lastSaved_.addSecs(-clockSkewSeconds))
        backwards_ = ChainBreak{Kind::Backwards, record};
    if (linked && whole) {
        expected_ = head_ = record.hash;
        lastSaved_ = record.createdUtc;
        ++intact_;
        return;
    }
    const bool passedBy = next && next->previousHash == expected_;
    if (record.hash.isEmpty() || passedBy)
        broken_ = ChainBreak{Kind::Inserted, record};
    else if (!whole)
        broken_ = ChainBreak{Kind::Changed, record};
    else
        broken_ = ChainBreak{Kind::Removed, record};
}

} // namespace quarvet::records
