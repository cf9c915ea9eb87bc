#include "instruments.h"

#include "labsql.h"
#include "records/columns.h"

#include <QSqlRecord>

#include <algorithm>

// When each instrument is due, read in one pass over the register beside the records it names.
namespace quarvet::lab {

using namespace records;

namespace {

// The day each record of a line of corrections stands for: the first record's, the
// calibration itself, which a correction only corrects. Few records are corrected; those that
// are reach their first record through the index of corrections.
const char* const correctedLines =
    "WITH RECURSIVE corrected(id, calibrated) AS ("
    "SELECT p.id, p.created_utc FROM records c JOIN records p ON p.id = c.corrects "
    "WHERE c.corrects > '' AND coalesce(p.corrects, '') = '' "
    "UNION SELECT r.id, k.calibrated FROM records r JOIN corrected k ON r.corrects = k.id) ";

QString calibratedOf(const QString& alias)
{
    return QStringLiteral("CASE WHEN coalesce(%1.corrects, '') = '' THEN %1.created_utc ELSE "
                          "(SELECT min(k.calibrated) FROM corrected k WHERE k.id = %1.id) END")
        .arg(alias);
}

// Every instrument's newest entry beside its last calibration: of the records of its type and
// serial number that no correction replaced, the one of the latest calibration; and whether
// one of them saved since its interval was last reviewed ('' where it never was, before every
// time) found it out of tolerance: a correction saved after a review may have changed what
// was found, and asks again. The records are found by the index of serial
// numbers, a few each: the type is written as an expression, so that no planner takes the
// index of types, which a laboratory of one type holds whole.
QString walkStatement(const InstrumentFilter& filter, QVariantList& values)
{
    QString statement =
        QLatin1String(correctedLines) +
        QStringLiteral(
            "SELECT %1, l.id AS last_id, l.as_found_verdict AS last_found, %2 AS "
            "last_calibrated, EXISTS (SELECT 1 FROM records f WHERE f.serial = i.serial AND "
            "f.instrument_type || '' = i.instrument_type AND f.as_found_verdict IN ('Fail', "
            "'Conditional fail') AND f.created_utc > i.interval_reviewed_utc AND NOT EXISTS "
            "(SELECT 1 FROM "
            "records s WHERE s.corrects = f.id)) AS failed_since FROM instruments i LEFT JOIN "
            "records l ON l.id = "
            "(SELECT r.id FROM records r WHERE r.serial = i.serial AND r.instrument_type || '' = "
            "i.instrument_type AND NOT EXISTS (SELECT 1 FROM records s WHERE s.corrects = r.id) "
            "ORDER BY %3 DESC, r.created_utc DESC LIMIT 1) WHERE i.entry = (SELECT max(n.entry) "
            "FROM instruments n WHERE n.instrument_type = i.instrument_type AND n.serial = "
            "i.serial)")
            .arg(QStringLiteral(
                     "i.sequence, i.instrument_type, i.serial, i.entry, i.display_line, "
                     "i.description, i.owner, i.location, i.interval_months, i.tolerance, "
                     "i.decision_rule, i.target1, i.target2, i.third_point, i.state, i.registered, "
                     "i.returned, i.interval_reviewed_utc, i.saved_utc, i.saved_by"),
                 calibratedOf(QStringLiteral("l")), calibratedOf(QStringLiteral("r")));
    const auto condition = [&](const char* column, const QVariant& value) {
        statement += QStringLiteral(" AND i.%1 = ?").arg(QLatin1String(column));
        values << value;
    };
    if (filter.type)
        condition("instrument_type", *filter.type);
    if (filter.serial)
        condition("serial", *filter.serial);
    if (filter.owner)
        condition("owner", *filter.owner);
    if (filter.location)
        condition("location", *filter.location);
    if (filter.state)
        condition("state", stateText(*filter.state));
    return statement + QStringLiteral(" ORDER BY i.instrument_type, i.serial");
}

} // namespace

StoreFailure walkInstruments(RecordStore& store, const InstrumentFilter& filter,
                             const std::function<bool(Recall&&)>& each)
{
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < instrumentVersion)
            return QSqlError();
        QVariantList values;
        const QString statement = walkStatement(filter, values);
        QSqlQuery query(database);
        QSqlError error = exec(query, statement, values);
        const std::vector<int> positions = instrumentPositions(query);
        const QSqlRecord shape = query.record();
        const int id = shape.indexOf(QStringLiteral("last_id"));
        const int calibrated = shape.indexOf(QStringLiteral("last_calibrated"));
        const int found = shape.indexOf(QStringLiteral("last_found"));
        const int failed = shape.indexOf(QStringLiteral("failed_since"));
        while (!error.isValid() && query.next()) {
            Recall recall;
            recall.instrument = instrumentOf(query, positions);
            recall.lastRecordId = query.value(id).toString();
            if (!recall.lastRecordId.isEmpty()) {
                recall.lastCalibration =
                    storedTime(query.value(calibrated).toString()).toLocalTime().date();
                recall.lastAsFoundVerdict = query.value(found).toString();
            }
            recall.due = dueDay(recall.instrument, recall.lastCalibration);
            recall.review = query.value(failed).toInt() != 0;
            if (!each(std::move(recall)))
                return QSqlError();
        }
        return error.isValid() ? error : query.lastError();
    });
}

bool dueBefore(const DueKey& a, const DueKey& b)
{
    if (a.due != b.due) {
        if (!a.due.isValid() || !b.due.isValid())
            return a.due.isValid();
        return a.due < b.due;
    }
    return std::tie(a.type, a.serial) < std::tie(b.type, b.serial);
}

DueKey dueKeyOf(const Recall& recall)
{
    return {recall.due.value_or(QDate()), recall.instrument.type, recall.instrument.serial};
}

namespace {

bool recallBefore(const Recall& a, const Recall& b)
{
    return dueBefore(dueKeyOf(a), dueKeyOf(b));
}

} // namespace

StoreFailure duePage(RecordStore& store, const InstrumentFilter& filter,
                     const std::optional<DueKey>& after, int count, QList<Recall>& page)
{
    page.clear();
    std::vector<Recall> held; // a heap whose top is the last of the page so far
    const StoreFailure failure = walkInstruments(store, filter, [&](Recall&& recall) {
        if (after && !dueBefore(*after, dueKeyOf(recall)))
            return true;
        if (static_cast<int>(held.size()) == count) {
            if (!recallBefore(recall, held.front()))
                return true;
            std::pop_heap(held.begin(), held.end(), recallBefore);
            held.pop_back();
        }
        held.push_back(std::move(recall));
        std::push_heap(held.begin(), held.end(), recallBefore);
        return true;
    });
    std::sort_heap(held.begin(), held.end(), recallBefore);
    for (Recall& recall : held)
        page << std::move(recall);
    return failure;
}

} // namespace quarvet::lab
