#include "instrumenthistory.h"

#include "labsql.h"
#include "records/columns.h"

#include <map>
#include <vector>

namespace quarvet::lab {

using namespace records;

namespace {

// As the recall reads it: each record no correction replaced, on the day of the calibration
// it stands for; found by the index of serial numbers (the type written as an expression, so
// that no planner takes the index of types, which a laboratory of one type holds whole).
const char* const historyStatement =
    "WITH RECURSIVE corrected(id, calibrated) AS ("
    "SELECT p.id, p.created_utc FROM records c JOIN records p ON p.id = c.corrects "
    "WHERE c.corrects > '' AND coalesce(p.corrects, '') = '' "
    "UNION SELECT r.id, k.calibrated FROM records r JOIN corrected k ON r.corrects = k.id) "
    "SELECT r.id, r.as_found_points, r.as_found_verdict, r.tolerance, r.created_utc, "
    "CASE WHEN coalesce(r.corrects, '') = '' THEN r.created_utc ELSE "
    "(SELECT min(k.calibrated) FROM corrected k WHERE k.id = r.id) END AS calibrated "
    "FROM records r WHERE r.serial = ? AND r.instrument_type || '' = ? AND NOT EXISTS "
    "(SELECT 1 FROM records s WHERE s.corrects = r.id) ORDER BY calibrated, r.created_utc";

HistoryPoint pointOf(const QSqlQuery& query)
{
    HistoryPoint point;
    point.recordId = query.value(0).toString();
    for (const PointResult& result : readPoints(query.value(1).toString())) {
        if (result.readings.isEmpty())
            continue;
        double sum = 0.0;
        for (double reading : result.readings)
            sum += reading;
        point.asFound << FoundError{
            result.target, sum / static_cast<double>(result.readings.size()) - result.target};
    }
    point.asFoundVerdict = query.value(2).toString();
    if (!query.value(3).isNull())
        point.tolerance = query.value(3).toDouble();
    point.savedUtc = storedTime(query.value(4).toString());
    point.calibrated = storedTime(query.value(5).toString()).toLocalTime().date();
    return point;
}

} // namespace

StoreFailure instrumentHistory(RecordStore& store, const QString& type, const QString& serial,
                               QList<HistoryPoint>& history)
{
    history.clear();
    return store.inspect([&](QSqlDatabase database, const Dialect&, int version) {
        if (version < instrumentVersion)
            return QSqlError();
        QSqlQuery query(database);
        const QSqlError error = exec(query, QLatin1String(historyStatement), {serial, type});
        while (!error.isValid() && query.next())
            history << pointOf(query);
        return error.isValid() ? error : query.lastError();
    });
}

QList<TargetDrift> driftsOf(const QList<HistoryPoint>& history)
{
    std::map<double, std::vector<calc::DriftPoint>> byTarget;
    if (history.isEmpty())
        return {};
    const QDate origin = history.first().calibrated;
    for (const HistoryPoint& point : history)
        for (const FoundError& found : point.asFound)
            byTarget[found.target].push_back(
                {static_cast<double>(origin.daysTo(point.calibrated)) / 365.25, found.error});
    QList<TargetDrift> drifts;
    for (const auto& [target, points] : byTarget)
        drifts << TargetDrift{target, calc::fitDrift(points), static_cast<int>(points.size())};
    return drifts;
}

IntervalReview reviewInterval(const Instrument& instrument, const QList<HistoryPoint>& history,
                              const calc::IntervalFactors& factors)
{
    IntervalReview review;
    review.current = instrument.intervalMonths;
    review.factors = factors;
    std::optional<calc::Verdict> found;
    if (!history.isEmpty()) {
        review.basedOn = history.last().calibrated;
        review.verdict = history.last().asFoundVerdict;
        found = calc::readVerdict(review.verdict.toStdString());
    }
    review.suggestion = calc::nextInterval(instrument.intervalMonths, found, factors);
    // Stepped already: accepted twice, one record would step the interval twice.
    if (!history.isEmpty() && instrument.intervalReviewedUtc.isValid() &&
        instrument.intervalReviewedUtc >= history.last().savedUtc)
        review.suggestion = {instrument.intervalMonths, calc::IntervalStep::Reviewed};
    review.reviewedUtc = instrument.intervalReviewedUtc;
    return review;
}

} // namespace quarvet::lab
