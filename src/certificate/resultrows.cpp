#include "resultrows.h"

#include "calc/entry.h"
#include "messages/messages.h"

#include <cmath>

namespace quarvet::certificate {

using records::Record;

// Values as read back: the shortest text that reads back to the same number.
QString number(double value)
{
    return std::isfinite(value) ? QString::fromStdString(calc::shortestText(value))
                                : QStringLiteral("not a number");
}

double meanOf(const QList<double>& readings)
{
    double sum = 0;
    for (double reading : readings)
        sum += reading;
    return sum / static_cast<double>(readings.size());
}

namespace {

// A result as reported, to the decimal place of its U.
QString rounded(double value, double U)
{
    return QString::fromStdString(messages::roundedToUncertainty(value, U));
}

// The marks of a result against the laboratory's scope, explained below the results.
const QString outsideMark = QStringLiteral("*");
const QString raisedMark = QStringLiteral("†");
const QString readOnceMark = QStringLiteral("‡");

// A point read once has no spread of its own: without the laboratory's pooled standard
// deviation its repeatability was not evaluated, and the row says so.
bool repeatabilityNotEvaluated(const Record& record, const records::PointResult& point)
{
    return point.readings.size() == 1 && record.setUp && !record.setUp->pooled;
}

QStringList resultRow(const QString& when, const records::PointResult& point, bool readOnceAlone)
{
    const double mean = point.readings.isEmpty() ? 0.0 : meanOf(point.readings);
    const bool outside = point.scope == QLatin1String("outside");
    const bool raised = point.scope == QLatin1String("raised");
    return {outside ? when + QLatin1Char(' ') + outsideMark : when,
            number(point.target),
            QStringLiteral("%1 (n = %2)")
                    .arg(point.readings.isEmpty() ? absent : rounded(mean, point.U))
                    .arg(point.readings.size()) +
                (readOnceAlone ? QLatin1Char(' ') + readOnceMark : QString()),
            point.readings.isEmpty() ? absent : rounded(mean - point.target, point.U),
            QString::fromStdString(messages::significantText(point.uc, 3)),
            std::isfinite(point.nuEff)
                ? QString::fromStdString(messages::significantText(point.nuEff, 3))
                : QStringLiteral("∞"),
            QString::fromStdString(messages::coverageFactorText(point.k)),
            QString::fromStdString(messages::expandedUncertaintyText(point.U)) +
                (raised ? QLatin1Char(' ') + raisedMark : QString()),
            records::pointVerdictText(point.verdict)};
}

} // namespace

const std::vector<Column>& resultColumns()
{
    static const double width = contentWidth / 10;
    static const std::vector<Column> columns{
        {QString(), 0.9 * width},
        {QStringLiteral("Target"), 0.8 * width, Qt::AlignRight},
        {QStringLiteral("Reading (mean of n)"), 1.6 * width, Qt::AlignRight},
        {QStringLiteral("Error (reading − target)"), 1.2 * width, Qt::AlignRight},
        {QStringLiteral("u_c"), 1.0 * width, Qt::AlignRight},
        {QStringLiteral("ν_eff"), 0.8 * width, Qt::AlignRight},
        {QStringLiteral("k"), 0.6 * width, Qt::AlignRight},
        {QStringLiteral("Expanded uncertainty U"), 1.0 * width, Qt::AlignRight},
        {QStringLiteral("Verdict"), 1.1 * width}};
    return columns;
}

std::vector<QStringList> resultRows(const Record& record)
{
    std::vector<QStringList> rows;
    for (const records::PointResult& point : records::readPoints(record.asFoundPoints))
        rows.push_back(
            resultRow(QStringLiteral("As found"), point, repeatabilityNotEvaluated(record, point)));
    for (const records::PointResult& point : records::readPoints(record.asLeftPoints))
        rows.push_back(
            resultRow(QStringLiteral("As left"), point, repeatabilityNotEvaluated(record, point)));
    return rows;
}

QString marksRemark(const Record& record)
{
    bool outside = false;
    bool raised = false;
    bool readOnce = false;
    for (const QString* points : {&record.asFoundPoints, &record.asLeftPoints})
        for (const records::PointResult& point : records::readPoints(*points)) {
            outside = outside || point.scope == QLatin1String("outside");
            raised = raised || point.scope == QLatin1String("raised");
            readOnce = readOnce || repeatabilityNotEvaluated(record, point);
        }
    QStringList said;
    if (readOnce)
        said << readOnceMark + QStringLiteral(" Read once: no Type A evaluation of repeatability "
                                              "(the laboratory set no pooled standard deviation).");
    if (raised)
        said << raisedMark + QLatin1Char(' ') + QLatin1String(messages::cmcRaisedNote) +
                    QLatin1Char('.');
    if (outside)
        said << QStringLiteral("R") + QLatin1String(messages::outsideScopeNote).mid(1) +
                    QLatin1Char('.');
    return said.join(QLatin1Char(' '));
}

} // namespace quarvet::certificate
