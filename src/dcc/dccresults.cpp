#include "dccxml.h"

#include "calc/uncertainty.h"

#include <cmath>

namespace quarvet::dcc::detail {
namespace {

const QString one = QStringLiteral("\\one");

// What a point's budget adds to the set-up's components: its readings' own Type A term
// (or the laboratory's pooled one, read once), the combined standard uncertainty and its
// effective degrees of freedom, as kept. None in a record kept before budgets.
void budgetOfPoint(Writer& out, const records::Record& record, const records::PointResult& result)
{
    if (!record.setUp || !(result.k >= 1))
        return;
    const std::vector<double> readings(result.readings.begin(), result.readings.end());
    const calc::Budget budget = records::setUpBudget(record, readings);
    for (const calc::Component& component : budget.components)
        if (component.distribution == calc::Distribution::TypeA)
            quantity(out, QStringLiteral("quarvet_typeA"), QString::fromStdString(component.name),
                     {component.u});
    quantity(out, QStringLiteral("basic_combinedStandardUncertainty"),
             QStringLiteral("Combined standard uncertainty"), {result.uc});
    if (std::isfinite(result.nuEff))
        quantity(out, QStringLiteral("quarvet_effectiveDegreesOfFreedom"),
                 QStringLiteral("Effective degrees of freedom"), {result.nuEff, -1, 0, one});
    else
        noQuantity(out, QStringLiteral("quarvet_effectiveDegreesOfFreedom"),
                   QStringLiteral("Effective degrees of freedom"),
                   QStringLiteral("infinite: every component is Type B"));
}

// One point as found or as left: the reference value, the mean indicated, the error with its
// expanded uncertainty, the number of readings, and its verdict where it has one.
void point(Writer& out, const records::Record& record, const records::PointResult& result,
           const QString& when, const QString& refType)
{
    const std::vector<double> readings(result.readings.begin(), result.readings.end());
    const double mean = calc::readingsMean(readings);
    out.open(QStringLiteral("list"), QStringLiteral("basic_calibrationPoint ") + refType);
    out.text(QStringLiteral("name"),
             QStringLiteral("%1 at %2 °C").arg(when, out.number(result.target)));
    quantity(out, QStringLiteral("basic_referenceValue"), QStringLiteral("Reference value"),
             {result.target});
    quantity(out, QStringLiteral("basic_measuredValue"), QStringLiteral("Mean indicated value"),
             {mean});
    quantity(out, QStringLiteral("basic_measurementError"), QStringLiteral("Error"),
             {decimalDifference(mean, result.target), result.U, result.k});
    noQuantity(out, QStringLiteral("quarvet_readings"), QStringLiteral("Number of readings"),
               QString::number(result.readings.size()));
    budgetOfPoint(out, record, result);
    if (const QString conformity = conformityOf(result.verdict); !conformity.isEmpty()) {
        out.open(QStringLiteral("measurementMetaData"));
        out.open(QStringLiteral("metaData"), QStringLiteral("basic_conformity"));
        out.element(QStringLiteral("conformity"), conformity);
        out.close();
        out.close();
    }
    out.close();
}

// The points as kept; in a record kept before results had budgets, the two calibration
// points as typed and the verification readings, each read once, with no uncertainty.
QList<records::PointResult> pointsOf(const records::Record& record, bool asFound)
{
    QList<records::PointResult> results =
        records::readPoints(asFound ? record.asFoundPoints : record.asLeftPoints);
    if (results.isEmpty() && !record.setUp) {
        const auto readOnce = [&results](double target, double reading) {
            records::PointResult result;
            result.target = target;
            result.readings = {reading};
            results.append(result);
        };
        if (asFound)
            for (int n = 0; n < 2; ++n)
                readOnce(record.entriesRead[n], record.entriesRead[n + 2]);
        else
            for (const records::VerificationReading& reading : record.verification)
                readOnce(reading.target, reading.reading);
    }
    results.removeIf([](const records::PointResult& result) { return result.readings.isEmpty(); });
    return results;
}

void points(Writer& out, const records::Record& record, bool asFound)
{
    const QList<records::PointResult> results = pointsOf(record, asFound);
    if (results.isEmpty())
        return;
    const QString refType =
        asFound ? QStringLiteral("basic_asFound") : QStringLiteral("basic_asLeft");
    const QString name = asFound ? QStringLiteral("As found") : QStringLiteral("As left");
    out.open(QStringLiteral("result"), refType);
    out.text(QStringLiteral("name"), name);
    out.open(QStringLiteral("data"));
    out.open(QStringLiteral("list"));
    for (const records::PointResult& result : results)
        point(out, record, result, name, refType);
    out.close();
    out.close();
    out.close();
}

void codes(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("result"), QStringLiteral("basic_adjustment"));
    out.text(QStringLiteral("name"), QStringLiteral("Coefficient codes"));
    out.open(QStringLiteral("data"));
    out.open(QStringLiteral("list"));
    noQuantity(out, QStringLiteral("quarvet_slopeCodeBefore"),
               QStringLiteral("Slope code before adjustment"), record.currentSlopeCode);
    noQuantity(out, QStringLiteral("quarvet_offsetCodeBefore"),
               QStringLiteral("Offset code before adjustment"), record.currentOffsetCode);
    noQuantity(out, QStringLiteral("quarvet_slopeCodeAfter"),
               QStringLiteral("Slope code after adjustment"), record.slopeCode);
    noQuantity(out, QStringLiteral("quarvet_offsetCodeAfter"),
               QStringLiteral("Offset code after adjustment"), record.offsetCode);
    out.close();
    out.close();
    out.close();
}

// The set-up's components, the same at every point; at a point read more than once the
// readings' own spread adds a Type A term, which its u_c holds.
void component(Writer& out, const calc::Component& component)
{
    out.open(QStringLiteral("list"), QStringLiteral("quarvet_budgetComponent"));
    out.text(QStringLiteral("name"), QString::fromStdString(component.name));
    quantity(out, QStringLiteral("quarvet_input"), QStringLiteral("Input"), {component.input});
    noQuantity(out, QStringLiteral("quarvet_distribution"), QStringLiteral("Distribution"),
               QString::fromLatin1(calc::distributionName(component.distribution)));
    quantity(out, QStringLiteral("quarvet_divisor"), QStringLiteral("Divisor"),
             {component.divisor, -1, 0, one});
    quantity(out, QStringLiteral("basic_standardUncertainty"),
             QStringLiteral("Standard uncertainty"), {component.u});
    out.close();
}

void budget(Writer& out, const records::Record& record)
{
    if (!record.setUp)
        return;
    out.open(QStringLiteral("result"), QStringLiteral("quarvet_uncertaintyBudget"));
    out.text(QStringLiteral("name"), QStringLiteral("Uncertainty budget"));
    out.open(QStringLiteral("data"));
    out.open(QStringLiteral("list"));
    for (const calc::Component& each : records::setUpBudget(record).components)
        component(out, each);
    if (const auto& pooled = record.setUp->pooled) {
        out.open(QStringLiteral("list"), QStringLiteral("quarvet_pooledRepeatability"));
        out.text(QStringLiteral("name"),
                 QStringLiteral("Pooled standard deviation of single readings"));
        quantity(out, QStringLiteral("quarvet_pooledDeviation"), QStringLiteral("s"), {pooled->s});
        quantity(out, QStringLiteral("quarvet_degreesOfFreedom"),
                 QStringLiteral("Degrees of freedom"), {pooled->nu, -1, 0, one});
        out.close();
    }
    for (int level = 0; level < 3; ++level) // list, data, result
        out.close();
}

void usedMethods(Writer& out, const records::Record& record)
{
    if (record.method.isEmpty())
        return;
    out.open(QStringLiteral("usedMethods"));
    out.open(QStringLiteral("usedMethod"), QStringLiteral("basic_calibrationMethod"));
    out.text(QStringLiteral("name"), record.method);
    out.close();
    out.close();
}

// The reference standard's U at its k, each a quantity of the equipment.
void referenceQuantities(Writer& out, const records::Record& record)
{
    const auto real = [&out](const QString& refType, const QString& name, double value,
                             const QString& unit) {
        out.open(QStringLiteral("measuringEquipmentQuantity"), refType);
        out.text(QStringLiteral("name"), name);
        out.xml().writeStartElement(siNamespace, QStringLiteral("real"));
        out.si(QStringLiteral("value"), out.number(value));
        out.si(QStringLiteral("unit"), unit);
        out.close();
        out.close();
    };
    out.open(QStringLiteral("measuringEquipmentQuantities"));
    real(QStringLiteral("basic_expandedUncertainty"), QStringLiteral("U of the reference"),
         record.referenceUncertainty, celsius);
    if (record.setUp)
        real(QStringLiteral("basic_coverageFactor"), QStringLiteral("k of the reference's U"),
             record.setUp->referenceK, one);
    out.close();
}

// The reference standard: its identifier, certificate, who calibrated it, its U at its k,
// its due date, and whether it came from the laboratory's register.
void referenceStandard(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("measuringEquipments"));
    out.open(QStringLiteral("measuringEquipment"), QStringLiteral("basic_referenceStandard"));
    out.text(QStringLiteral("name"), QStringLiteral("Reference standard"));
    QStringList said{record.referenceSource == QLatin1String("register")
                         ? QStringLiteral("Taken from the laboratory's register of references.")
                         : QStringLiteral("Typed at the calibration, not taken from a register.")};
    if (record.referenceDue.isValid())
        said << QStringLiteral("Due for calibration %1.")
                    .arg(record.referenceDue.toString(Qt::ISODate));
    out.text(QStringLiteral("description"), said.join(QLatin1Char(' ')));
    if (!record.referenceCertificate.isEmpty()) {
        out.open(QStringLiteral("certificate"));
        out.text(QStringLiteral("referral"),
                 record.referenceCalibratedBy.isEmpty()
                     ? QStringLiteral("Certificate of the reference")
                     : QStringLiteral("Certificate of the reference, issued by %1")
                           .arg(record.referenceCalibratedBy));
        out.element(QStringLiteral("referralID"), record.referenceCertificate);
        out.element(QStringLiteral("procedure"), QStringLiteral("none"));
        out.element(QStringLiteral("value"), QString());
        out.close();
    }
    out.open(QStringLiteral("identifications"));
    out.open(QStringLiteral("identification"));
    out.element(QStringLiteral("issuer"), QStringLiteral("calibrationLaboratory"));
    out.element(QStringLiteral("value"), record.referenceId);
    out.text(QStringLiteral("name"), QStringLiteral("Identifier"));
    out.close();
    out.close();
    referenceQuantities(out, record);
    out.close();
    out.close();
}

void influenceConditions(Writer& out, const records::Record& record)
{
    if (!record.ambient)
        return;
    out.open(QStringLiteral("influenceConditions"));
    out.open(QStringLiteral("influenceCondition"), QStringLiteral("basic_temperature"));
    out.text(QStringLiteral("name"), QStringLiteral("Ambient temperature"));
    out.open(QStringLiteral("data"));
    quantity(out, QStringLiteral("basic_measuredValue"), QStringLiteral("Ambient temperature"),
             {*record.ambient});
    out.close();
    out.close();
    out.close();
}

void metaData(Writer& out, const QString& refType, const QString& declaration,
              const QString& conformity = {})
{
    out.open(QStringLiteral("metaData"), refType);
    out.text(QStringLiteral("declaration"), declaration);
    if (!conformity.isEmpty())
        out.element(QStringLiteral("conformity"), conformity);
    out.close();
}

// The verdicts as found and as left, in the words of every face, with the rule and the
// tolerance they were judged by.
void verdicts(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("measurementMetaData"));
    metaData(out, QStringLiteral("basic_conformity basic_asFound"),
             QStringLiteral("As found: ") + records::asFoundVerdictText(record),
             conformityOf(record.asFoundVerdict));
    metaData(out, QStringLiteral("basic_conformity basic_asLeft"),
             QStringLiteral("As left: ") + records::asLeftVerdictText(record),
             conformityOf(record.verdict));
    if (record.tolerance) {
        out.open(QStringLiteral("metaData"), QStringLiteral("basic_toleranceLimits"));
        out.text(
            QStringLiteral("declaration"),
            record.toleranceSource.isEmpty()
                ? QStringLiteral("Tolerance")
                : QStringLiteral("Tolerance (%1's stated limits)").arg(record.toleranceSource));
        out.open(QStringLiteral("data"));
        quantity(out, QStringLiteral("basic_toleranceLimitLower"),
                 QStringLiteral("Lower limit of the error"), {-*record.tolerance});
        quantity(out, QStringLiteral("basic_toleranceLimitUpper"),
                 QStringLiteral("Upper limit of the error"), {*record.tolerance});
        out.close();
        out.close();
    }
    if (!record.decisionRule.isEmpty() || !record.rule.isEmpty())
        metaData(out, QStringLiteral("basic_decisionRule"),
                 record.rule.isEmpty() ? record.decisionRule : record.rule);
    out.close();
}

} // namespace

void measurementResults(Writer& out, const records::Record& record)
{
    out.open(QStringLiteral("measurementResults"));
    out.open(QStringLiteral("measurementResult"));
    out.text(QStringLiteral("name"), QStringLiteral("Calibration of a temperature instrument"));
    usedMethods(out, record);
    referenceStandard(out, record);
    influenceConditions(out, record);
    out.open(QStringLiteral("results"));
    points(out, record, true);
    points(out, record, false);
    codes(out, record);
    budget(out, record);
    out.close();
    verdicts(out, record);
    out.close();
    out.close();
}

} // namespace quarvet::dcc::detail
