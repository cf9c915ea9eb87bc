#include "listingsql.h"

#include "schema.h"

#include <QRegularExpression>

namespace quarvet::records::sql {
namespace {

// An exact match of a column; none at all in a store whose version does not hold the column
// (`held` false), which keeps no record with such a value.
void addExact(Condition& condition, const char* column, const QString& value, bool held = true)
{
    if (value.isEmpty())
        return;
    if (!held) {
        condition.where += QStringLiteral(" AND 1 = 0");
        return;
    }
    condition.where += QStringLiteral(" AND r.%1 = ?").arg(QLatin1String(column));
    condition.values << value;
}

// Ids are written in small hexadecimal digits and hyphens: a prefix of them is a range of the
// key in the order of its bytes, found through an index however many records there are (a
// pattern is not, in a case-blind or language-ordered column). A prefix holding anything else
// is no id's.
void addIdPrefix(Condition& condition, const QString& idPrefix, const Dialect& dialect)
{
    if (idPrefix.isEmpty())
        return;
    static const QRegularExpression idCharacters(QStringLiteral("^[0-9a-f-]{1,36}$"));
    const QString prefix = idPrefix.toLower();
    if (!idCharacters.match(prefix).hasMatch()) {
        condition.where += QStringLiteral(" AND 1 = 0");
    } else {
        const QString key =
            dialect.postgres ? QStringLiteral("r.id COLLATE \"C\"") : QStringLiteral("r.id");
        condition.where += QStringLiteral(" AND %1 >= ? AND %1 < ?").arg(key);
        condition.values << prefix << prefix + QLatin1Char('~'); // '~' follows them all
    }
}

// The sort key's expression on the records `r` in a listing sorted by one. Every record has a
// value, none NULL, so that a position compares with every row. A column the store's version
// does not keep is listed by the time saved instead (see asListed).
QString sortExpression(const RecordFilter& filter, int version)
{
    switch (filter.sortBy) {
    case SortKey::Serial:
        return QStringLiteral("r.serial");
    case SortKey::Type:
        return QStringLiteral("r.instrument_type");
    case SortKey::AsFound:
        return version >= asFoundVersion ? QStringLiteral("coalesce(r.as_found_verdict, '')")
                                         : QStringLiteral("''");
    case SortKey::Verdict:
        return QStringLiteral("r.verdict");
    case SortKey::Technician:
        return QStringLiteral("r.technician");
    case SortKey::Customer:
        return version >= registerVersion ? QStringLiteral("coalesce(r.customer, '')")
                                          : QStringLiteral("''");
    case SortKey::Certificate:
        // In the order they were issued, which their numbers' text need not follow ("C10"
        // before "C2"); a record not issued before them all.
        return version >= registerVersion
                   ? QStringLiteral("coalesce((SELECT i.sequence FROM certificate_issues i WHERE "
                                    "i.record_id = r.id), 0)")
                   : QStringLiteral("0");
    default:
        return {};
    }
}

// The records after a position of the listing, in its order.
void addAfter(Condition& condition, const RecordFilter& filter, const Dialect& dialect, int version)
{
    const QString order = QStringLiteral("r.") + QLatin1String(dialect.orderColumn);
    if (!filter.after)
        return;
    if (filter.order == ListOrder::AsSaved) {
        condition.where += QStringLiteral(" AND %1 > ?").arg(order);
        condition.values << filter.after->order;
        return;
    }
    if (filter.order == ListOrder::LastSavedFirst) {
        condition.where += QStringLiteral(" AND %1 < ?").arg(order);
        condition.values << filter.after->order;
        return;
    }
    const QString beyond = filter.ascending && filter.order == ListOrder::NewestFirst
                               ? QStringLiteral(">")
                               : QStringLiteral("<");
    if (sortedByKey(filter)) {
        condition.where += QStringLiteral(" AND (%1, r.created_utc, %2) %3 (?, ?, ?)")
                               .arg(sortExpression(filter, version), order, beyond);
        // The issues' sequence is a number, and compares as one.
        condition.values << (filter.sortBy == SortKey::Certificate
                                 ? QVariant(filter.after->sortKey.toLongLong())
                                 : QVariant(filter.after->sortKey));
    } else {
        condition.where += QStringLiteral(" AND (r.created_utc, %1) %2 (?, ?)").arg(order, beyond);
    }
    condition.values << filter.after->createdUtc << filter.after->order;
}

} // namespace

Condition conditionFor(const RecordFilter& filter, const Dialect& dialect, int version)
{
    Condition condition{QStringLiteral("1 = 1"), {}};
    addExact(condition, "as_found_verdict", filter.asFoundVerdict, version >= asFoundVersion);
    addExact(condition, "serial", filter.serial);
    addExact(condition, "reference_id", filter.referenceId);
    addExact(condition, "customer", filter.customer, version >= registerVersion);
    if (!filter.certificate.isEmpty()) {
        // Through the index of the issues' numbers: one record at most, however many there are.
        condition.where += version >= registerVersion
                               ? QStringLiteral(" AND r.id IN (SELECT i.record_id FROM "
                                                "certificate_issues i WHERE i.number = ?)")
                               : QStringLiteral(" AND 1 = 0");
        if (version >= registerVersion)
            condition.values << filter.certificate;
    }
    addIdPrefix(condition, filter.idPrefix, dialect);
    if (!filter.serialContains.isEmpty()) {
        // Both sides folded by the same function, beyond ASCII: SQLite's by this program's own,
        // PostgreSQL's by ICU, whatever locale the lab's database was made with.
        condition.where +=
            dialect.postgres ? QStringLiteral(" AND strpos(lower(r.serial COLLATE \"und-x-icu\"), "
                                              "lower(CAST(? AS TEXT) COLLATE \"und-x-icu\")) > 0")
                             : QStringLiteral(" AND instr(quarvet_fold(r.serial), ?) > 0");
        // Folded here by the same rule as each serial, once rather than once a record.
        condition.values << (dialect.postgres ? filter.serialContains
                                              : filter.serialContains.toCaseFolded());
    }
    addAfter(condition, filter, dialect, version);
    return condition;
}

namespace {

// The listing's order, on a table or query whose columns are `created` and `order` (and `key`,
// the sort key, in a listing sorted by one).
QString orderOf(const RecordFilter& filter, const QString& created, const QString& order,
                const QString& key)
{
    switch (filter.order) {
    case ListOrder::AsSaved:
        return order;
    case ListOrder::LastSavedFirst:
        return order + QStringLiteral(" DESC");
    default: {
        const QString direction = filter.ascending ? QString() : QStringLiteral(" DESC");
        const QString byTime = created + direction + QStringLiteral(", ") + order + direction;
        return sortedByKey(filter) ? key + direction + QStringLiteral(", ") + byTime : byTime;
    }
    }
}

// The ids of the records that correct each record, newest first, as a column `corrected_by`
// and what the listing joins to make it. A store of the first version has no index of the
// corrections: one pass gathers them all, instead of a pass for every record listed.
std::pair<QString, QString> correctionsOf(const Dialect& dialect, bool indexed)
{
    if (indexed)
        return {dialect.postgres
                    ? QStringLiteral("(SELECT string_agg(c.id, ',' ORDER BY c.created_utc DESC, "
                                     "c.saved_order DESC) FROM records c WHERE c.corrects = r.id)")
                    : QStringLiteral("(SELECT group_concat(id, ',') FROM (SELECT c.id FROM "
                                     "records c WHERE c.corrects = r.id ORDER BY c.created_utc "
                                     "DESC, c.rowid DESC))"),
                {}};
    return {QStringLiteral("k.corrected_by"),
            dialect.postgres
                ? QStringLiteral(" LEFT JOIN (SELECT corrects, string_agg(id, ',' ORDER BY "
                                 "created_utc DESC, saved_order DESC) AS corrected_by FROM records "
                                 "WHERE corrects <> '' GROUP BY corrects) k ON k.corrects = r.id")
                : QStringLiteral(" LEFT JOIN (SELECT corrects, group_concat(id, ',') AS "
                                 "corrected_by FROM (SELECT corrects, id FROM records WHERE "
                                 "corrects <> '' ORDER BY created_utc DESC, rowid DESC) GROUP BY "
                                 "corrects) k ON k.corrects = r.id")};
}

} // namespace

// A store of the first version has no index of the time saved: newest first, its records
// would be sorted whole for every page. The last saved first, by the table's own order, is the
// same but for a clock set back, and is read a page at a time.
RecordFilter asListed(const RecordFilter& filter, int version)
{
    RecordFilter listed = filter;
    // A column the store's version does not keep is the same for every record: sorted by it,
    // the records stand in the order of the time saved.
    const bool held =
        !((filter.sortBy == SortKey::AsFound && version < asFoundVersion) ||
          ((filter.sortBy == SortKey::Customer || filter.sortBy == SortKey::Certificate) &&
           version < registerVersion));
    if (!held)
        listed.sortBy = SortKey::Date;
    if (version < correctionIndexVersion && listed.order == ListOrder::NewestFirst &&
        !sortedByKey(listed) && !listed.ascending)
        listed.order = ListOrder::LastSavedFirst;
    return listed;
}

namespace {

// The records the filter picks, newest first, a page of them when it has a limit.
QString recordsStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where, int version)
{
    const QString order = QLatin1String(dialect.orderColumn);
    QString picked =
        QStringLiteral("SELECT %1, r.%2 AS list_order").arg(namesOf(columns, "r."), order);
    QString joined;
    if (filter.corrections) {
        const auto [column, join] = correctionsOf(dialect, version >= correctionIndexVersion);
        picked += QStringLiteral(", %1 AS corrected_by").arg(column);
        joined = join;
        // Through the index of the issues' records, one look-up a record listed; and along
        // its line of corrections, back to the first, those of them issued. UNION, not UNION
        // ALL: a line a changed store turned into a ring ends.
        picked +=
            version >= registerVersion
                ? QStringLiteral(
                      ", (SELECT i.number FROM certificate_issues i WHERE i.record_id = "
                      "r.id) AS certificate_number, (WITH RECURSIVE earlier(id, corrects) AS "
                      "(SELECT c.id, c.corrects FROM records c WHERE c.id = r.corrects "
                      "UNION SELECT c.id, c.corrects FROM records c JOIN earlier ON c.id = "
                      "earlier.corrects) SELECT count(*) FROM earlier JOIN certificate_issues i "
                      "ON i.record_id = earlier.id) AS amends_issued")
                : QStringLiteral(", '' AS certificate_number, 0 AS amends_issued");
    }
    const QString key = sortExpression(filter, version);
    if (sortedByKey(filter))
        picked += QStringLiteral(", %1 AS sort_key").arg(key);
    // PostgreSQL cannot tell how few records a part of a serial picks, and would walk the
    // date's index through every record for a page of them; ordered by an expression of the
    // date, it reads the table once and sorts the few it finds.
    const QString created = dialect.postgres && !filter.serialContains.isEmpty()
                                ? QStringLiteral("coalesce(r.created_utc, r.created_utc)")
                                : QStringLiteral("r.created_utc");
    picked += QStringLiteral(" FROM records r%1 WHERE %2 ORDER BY %3")
                  .arg(joined, where, orderOf(filter, created, "r." + order, key));
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return picked;
}

} // namespace

// The same records, each with its readings in the rows that follow it: one statement, read
// as it goes.
QString listingStatement(const Dialect& dialect, const QList<const Column*>& columns,
                         const RecordFilter& filter, const QString& where, int version)
{
    return QStringLiteral("SELECT q.*, v.target, v.reading FROM (%1) q LEFT JOIN verification v "
                          "ON v.record_id = q.id ORDER BY %2, v.position")
        .arg(recordsStatement(dialect, columns, filter, where, version),
             orderOf(filter, QStringLiteral("q.created_utc"), QStringLiteral("q.list_order"),
                     QStringLiteral("q.sort_key")));
}

namespace {

// The readings of the same records, in the same order, for reading beside them.
QString readingsStatement(const Dialect& dialect, const RecordFilter& filter, const QString& where,
                          int version)
{
    const QString order = QLatin1String(dialect.orderColumn);
    const QString key = sortExpression(filter, version);
    QString picked =
        QStringLiteral("SELECT r.id, r.created_utc, r.%1 AS list_order%4 FROM records "
                       "r WHERE %2 ORDER BY %3")
            .arg(order, where, orderOf(filter, QStringLiteral("r.created_utc"), "r." + order, key),
                 sortedByKey(filter) ? QStringLiteral(", %1 AS sort_key").arg(key) : QString());
    if (filter.limit > 0)
        picked += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return QStringLiteral("SELECT v.record_id, v.target, v.reading FROM (%1) q JOIN verification v "
                          "ON v.record_id = q.id ORDER BY %2, v.position")
        .arg(picked, orderOf(filter, QStringLiteral("q.created_utc"),
                             QStringLiteral("q.list_order"), QStringLiteral("q.sort_key")));
}

} // namespace

Listing listingStatements(const Dialect& dialect, const QList<const Column*>& columns,
                          const RecordFilter& asked, int version)
{
    const RecordFilter filter = asListed(asked, version);
    const Condition condition = conditionFor(filter, dialect, version);
    return {recordsStatement(dialect, columns, filter, condition.where, version),
            readingsStatement(dialect, filter, condition.where, version), condition.values,
            listingStatement(dialect, columns, filter, condition.where, version)};
}

} // namespace quarvet::records::sql
