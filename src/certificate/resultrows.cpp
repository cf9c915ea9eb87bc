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

// "÷ 2" for the reference, "√3" for a half-width, "2√3" for the resolution's ± r/2.
QString divisorText(const calc::Component& component)
{
    const double root3 = std::sqrt(3.0);
    if (component.distribution == calc::Distribution::Rectangular &&
        std::abs(component.divisor - root3) < 1e-12)
        return QStringLiteral("√3");
    if (component.distribution == calc::Distribution::Rectangular &&
        std::abs(component.divisor - 2 * root3) < 1e-12)
        return QStringLiteral("2√3");
    return number(component.divisor);
}

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

// The set-up's components, the same at every point; the readings' own spread is added at a
// point read more than once.
namespace {

// A component's name with its distribution and divisor; a Type A term's name says it all.
QString componentTitle(const calc::Component& component)
{
    const QString name = QString::fromStdString(component.name);
    if (component.distribution == calc::Distribution::TypeA)
        return name;
    return QStringLiteral("%1 (%2, ÷ %3)")
        .arg(name, QString::fromLatin1(calc::distributionName(component.distribution)),
             divisorText(component));
}

// One column a component, so that the budget takes three lines of the page.
void drawComponents(Sheet& sheet, const calc::Budget& budget)
{
    const double first = 80.0;
    std::vector<Column> columns{{QString(), first}};
    QStringList inputs{QStringLiteral("Input")};
    QStringList uncertainties{QStringLiteral("u")};
    const double width = (contentWidth - first) / std::max<double>(budget.components.size(), 1);
    for (const calc::Component& component : budget.components) {
        columns.push_back({componentTitle(component), width, Qt::AlignRight});
        inputs << number(component.input);
        uncertainties << QString::number(component.u, 'g', 3);
    }
    sheet.table(columns, {inputs, uncertainties});
}

} // namespace

void drawBudget(Sheet& sheet, const Record& record)
{
    const records::BudgetSetUp& setUp = *record.setUp;
    const calc::Budget budget = records::setUpBudget(record);
    sheet.heading(QStringLiteral("Uncertainty budget (°C, sensitivity coefficients 1)"));
    drawComponents(sheet, budget);
    QString repeatability = QStringLiteral(
        "At a point read n ≥ 2 times, the readings' standard deviation s adds s / √n with n − 1 "
        "degrees of freedom (Type A): u_c and ν_eff of each result are in the results above.");
    if (setUp.pooled)
        repeatability += QStringLiteral(" A point read once takes the laboratory's pooled "
                                        "standard deviation of single readings, %1 with ν = %2.")
                             .arg(number(setUp.pooled->s), number(setUp.pooled->nu));
    sheet.remark(repeatability, setUp.pooled ? 2 : 1);
}

} // namespace quarvet::certificate
