#include "certificatepage.h"
#include "resultrows.h"

#include "sheet.h"
#include "signatureblock.h"

#include "calc/adjustment.h"
#include "calc/entry.h"
#include "calc/uncertainty.h"
#include "messages/messages.h"
#include "plot/errorplotpainter.h"
#include "quarvet/version.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quarvet::certificate {
namespace {

using records::Record;

constexpr double plotMinimum = 120.0;
constexpr double plotMaximum = 190.0;
constexpr double noteMaximum = 100.0;
// More rows than a two-point record with its verification needs; further readings are
// counted below the table, so that any record stays on its one page.
constexpr qsizetype readingRowsShown = 8;

QString celsius(double value)
{
    return number(value) + QStringLiteral(" °C");
}

// Errors to four decimals, so a column of them lines up; a value too large for that is no
// error worth the decimals and is written as read back.
QString error(double value)
{
    if (!std::isfinite(value) || std::abs(value) >= 1e6)
        return number(value);
    const QString text = QString::number(value, 'f', 4);
    return text == QStringLiteral("-0.0000") ? QStringLiteral("0.0000") : text;
}

QString dateTimeText(const QDateTime& created)
{
    if (!created.isValid())
        return QStringLiteral("not recorded");
    const QDateTime local = created.toLocalTime();
    const int offset = local.offsetFromUtc();
    const QString zone = QStringLiteral("UTC%1%2:%3")
                             .arg(offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                             .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QStringLiteral("%1 %2 (local time), %3 UTC")
        .arg(local.toString(format), zone, created.toUTC().toString(format));
}

QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QStringLiteral("not recorded");
}

// The laboratory as the page's header names it. Only an issued certificate claims its
// accreditation: a draft is not yet a result the laboratory stands behind, and one issued
// without the claim says that it is not covered.
QStringList labLines(const lab::CertificateStatus& status)
{
    const lab::LabSettings& lab = status.lab;
    const QString name = lab.value(QStringLiteral("name"));
    QStringList lines{name.isEmpty() ? QStringLiteral("Laboratory not named") : name};
    if (const QString address = lab.value(QStringLiteral("address")); !address.isEmpty())
        lines << address;
    const QString number = lab.value(QStringLiteral("accreditation"));
    if (!number.isEmpty() && status.issue && !status.issue->accredited)
        lines << QStringLiteral("Issued without the accreditation claim: not covered by the "
                                "laboratory's accreditation");
    if (!number.isEmpty() && status.issue && status.issue->accredited) {
        const QString body = lab.value(QStringLiteral("accreditation-body"));
        lines << (body.isEmpty() ? QStringLiteral("Accreditation %1").arg(number)
                                 : QStringLiteral("Accredited by %1, number %2").arg(body, number));
    }
    return lines;
}

QString numberText(const lab::CertificateStatus& status)
{
    if (!status.issue)
        return QStringLiteral("Draft: not issued");
    return status.copy ? status.issue->number + QStringLiteral(" (Copy)") : status.issue->number;
}

// Where it was calibrated, when the item came and in what state, and what the method was not
// followed in: the location always (in the laboratory unless on site), the rest where given.
void drawReceipt(Sheet& sheet, const Record& record)
{
    sheet.fieldPair(QStringLiteral("Location"),
                    record.location.isEmpty()
                        ? PageText(QStringLiteral("in the laboratory"))
                        : PageText(QStringLiteral("on site at ") + record.location),
                    QStringLiteral("Item received"),
                    PageText(record.received.isValid() ? dateText(record.received)
                                                       : QStringLiteral("not recorded")));
    if (!record.condition.isEmpty())
        sheet.field(QStringLiteral("Condition on receipt"), record.condition, 1);
    if (!record.deviations.isEmpty())
        sheet.field(QStringLiteral("Deviations from the method"), record.deviations, 2);
}

// Its number and dates, for whom, of what, by which method.
// What an amendment amends and replaces, and what it changed of the certificate it replaces.
void drawAmendment(Sheet& sheet, const Record& record, const lab::CertificateStatus& status)
{
    if (status.amendment == 0)
        return;
    sheet.field(QStringLiteral("Amendment"), lab::amendmentText(status), 1);
    if (!status.replacedRecord)
        return;
    const QStringList changes = records::changedFields(*status.replacedRecord, record);
    sheet.field(QStringLiteral("Changed from certificate %1").arg(status.replaces),
                changes.isEmpty() ? QStringLiteral("nothing but the reason")
                                  : changes.join(QStringLiteral("; ")),
                12);
}

void drawCertificate(Sheet& sheet, const Record& record, const lab::CertificateStatus& status)
{
    const QDate calibrated =
        status.calibrated.isValid() ? status.calibrated : record.createdUtc.toLocalTime().date();
    sheet.fieldPair(QStringLiteral("Certificate number"), PageText(numberText(status)),
                    QStringLiteral("Date of issue"),
                    PageText(status.issue ? dateText(status.issue->issuedUtc.toLocalTime().date())
                                          : QStringLiteral("not issued")));
    drawAmendment(sheet, record, status);
    if (!record.corrects.isEmpty())
        sheet.field(QStringLiteral("Reason for the correction"), record.correctionReason, 2);
    if (!status.supersededBy.isEmpty())
        sheet.field(QStringLiteral("Superseded"),
                    QStringLiteral("Superseded by certificate %1").arg(status.supersededBy), 1);
    sheet.fieldPair(QStringLiteral("Customer"),
                    record.customer.isEmpty()
                        ? PageText(QStringLiteral("none: an in-house calibration"))
                        : PageText::name(record.customer),
                    QStringLiteral("Date of calibration"), PageText(dateText(calibrated)));
    if (!record.customerAddress.isEmpty())
        sheet.field(QStringLiteral("Customer address"), record.customerAddress, 2);
    sheet.fieldPair(
        QStringLiteral("Instrument"),
        PageText(QStringLiteral("type %1, display line %2")
                     .arg(record.instrumentType)
                     .arg(record.displayLine)),
        QStringLiteral("Ambient temperature"),
        PageText(record.ambient ? celsius(*record.ambient) : QStringLiteral("not recorded")));
    sheet.nameField(QStringLiteral("Serial number"), record.serial, 6);
    if (!record.itemDescription.isEmpty())
        sheet.field(QStringLiteral("Description"), record.itemDescription, 2);
    sheet.field(QStringLiteral("Method"),
                record.method.isEmpty() ? QStringLiteral("method not stated") : record.method, 2);
    drawReceipt(sheet, record);
}

// The reference standard, its own certificate, and the statement of traceability.
void drawReference(Sheet& sheet, const Record& record)
{
    sheet.heading(QStringLiteral("Reference standard and traceability"));
    // The reference's own U, as its certificate states it: not the uncertainty of the
    // results below.
    const double referenceK = record.setUp ? record.setUp->referenceK : 2.0;
    const bool registered = record.referenceSource == QLatin1String("register");
    sheet.fieldPair(QStringLiteral("Identifier"), PageText::name(record.referenceId),
                    QStringLiteral("Taken from"),
                    PageText(registered ? QStringLiteral("the laboratory's register")
                                        : QStringLiteral("typed, not from the register")));
    sheet.field(QStringLiteral("U of the reference (k = %1)")
                    .arg(QString::fromStdString(messages::coverageFactorText(referenceK))),
                celsius(record.referenceUncertainty), 1);
    // The reference's, not the item's: no one may read it as when the instrument is due.
    sheet.field(QStringLiteral("Reference due date"), dateText(record.referenceDue), 1);
    sheet.remark(records::referenceTraceability(record), 2);
}

// The record the page was written from, and its place in the store's hash chain.
void drawRecord(Sheet& sheet, const Record& record, const QString& chainHead)
{
    sheet.heading(QStringLiteral("Record"));
    sheet.field(QStringLiteral("Record id"), record.id, 1);
    sheet.field(QStringLiteral("Saved"), dateTimeText(record.createdUtc), 1);
    sheet.fieldPair(QStringLiteral("Saved by"),
                    record.savedBy.isEmpty()
                        ? PageText(QStringLiteral("unknown: saved before the store kept it"))
                        : PageText::name(record.savedBy),
                    QStringLiteral("Program"),
                    PageText(QStringLiteral("Quarvet Basic %1").arg(record.programVersion)), 1);
    if (!record.corrects.isEmpty())
        sheet.field(QStringLiteral("Correction"),
                    QStringLiteral("Corrects record %1").arg(record.corrects), 1);
    // The hash ties the page to the record; the head to every record saved before it was
    // written, so rewriting any of them contradicts the certificate (quarvet-cli records
    // verify).
    sheet.field(QStringLiteral("Record hash (SHA-256)"),
                record.hash.isEmpty() ? QStringLiteral("none: saved before the store kept a chain")
                                      : record.hash,
                1);
    sheet.field(QStringLiteral("Chain head when written"),
                chainHead.isEmpty() ? QStringLiteral("none") : chainHead, 1);
}

// The rows of the readings table: the two reference points, each with the verification
// reading taken at its target, then the readings taken elsewhere. `left` counts the
// readings that found no row.
std::vector<QStringList> readingRows(const Record& record, qsizetype& left)
{
    const auto& entries = record.entriesRead;
    const QList<records::VerificationReading>& readings = record.verification;
    std::vector<bool> used(static_cast<std::size_t>(readings.size()), false);
    std::vector<QStringList> rows;
    for (std::size_t n = 0; n < 2; ++n) {
        rows.push_back({number(entries[n]), number(entries[n + 2]),
                        error(entries[n + 2] - entries[n]), error(record.predictedErrors[n]),
                        absent, absent});
        for (std::size_t m = 0; m < used.size(); ++m) {
            const auto& reading = readings[static_cast<qsizetype>(m)];
            if (!used[m] && reading.target == entries[n]) {
                used[m] = true;
                rows.back()[4] = number(reading.reading);
                rows.back()[5] = error(reading.reading - reading.target);
                break;
            }
        }
    }
    left = 0;
    for (std::size_t m = 0; m < used.size(); ++m) {
        const auto& reading = readings[static_cast<qsizetype>(m)];
        if (used[m])
            continue;
        if (static_cast<qsizetype>(rows.size()) < readingRowsShown)
            rows.push_back({number(reading.target), absent, absent, absent, number(reading.reading),
                            error(reading.reading - reading.target)});
        else
            ++left;
    }
    return rows;
}

void drawTyped(Sheet& sheet, const Record& record)
{
    const auto& typed = record.entriesTyped;
    sheet.remark(QStringLiteral("Entries as typed: target 1 “%1”, target 2 “%2”, indicated 1 "
                                "“%3”, indicated 2 “%4”.")
                     .arg(typed[0], typed[1], typed[2], typed[3]),
                 2);
}

void drawReadings(Sheet& sheet, const Record& record)
{
    sheet.heading(QStringLiteral("Readings (°C)"));
    const double width = contentWidth / 6;
    const std::vector<Column> columns{
        {QStringLiteral("Target"), width, Qt::AlignRight},
        {QStringLiteral("As found (indicated)"), width, Qt::AlignRight},
        {QStringLiteral("As-found error (indicated − target)"), width, Qt::AlignRight},
        {QStringLiteral("Predicted as-left error"), width, Qt::AlignRight},
        {QStringLiteral("Verification reading"), width, Qt::AlignRight},
        {QStringLiteral("Verification error (reading − target)"), width, Qt::AlignRight}};
    qsizetype left = 0;
    sheet.table(columns, readingRows(record, left));
    if (left > 0)
        sheet.remark((left == 1 ? QStringLiteral("%1 further verification reading is not shown.")
                                : QStringLiteral("%1 further verification readings are not shown."))
                         .arg(left),
                     1);
    drawTyped(sheet, record);
}

// Each result with its expanded uncertainty and coverage factor, as found and as left; the
// rows past the first page's go on the pages after it.
void drawResults(Sheet& sheet, const Record& record, std::vector<QStringList>& further)
{
    sheet.heading(QStringLiteral("Results (°C)"));
    std::vector<QStringList> rows = resultRows(record);
    if (static_cast<qsizetype>(rows.size()) > readingRowsShown) {
        further.assign(rows.begin() + readingRowsShown, rows.end());
        rows.resize(static_cast<std::size_t>(readingRowsShown));
    }
    sheet.table(resultColumns(), rows);
    if (const QString marks = marksRemark(record); !marks.isEmpty())
        sheet.remark(marks, 3);
    if (!further.empty())
        sheet.remark(
            QStringLiteral("%1 further results follow on the next pages.").arg(further.size()), 1);
    sheet.remark(QStringLiteral("Predicted as-left error at the calibration points: %1 and %2. "
                                "U = k · u_c, rounded up to two significant figures; k is "
                                "Student's t at the effective degrees of freedom for a coverage "
                                "probability of 95.45 %.")
                     .arg(error(record.predictedErrors[0]), error(record.predictedErrors[1])),
                 2);
    drawTyped(sheet, record);
}

// A coefficient code and what it stands for: the signed 16-bit number it holds, scaled.
QStringList codeCells(const QString& code, bool slope)
{
    if (code.isEmpty())
        return {QStringLiteral("not recorded"), absent};
    const auto value = calc::readCoefficientCode(code.toStdString());
    if (!value)
        return {code, QStringLiteral("not a code")};
    if (slope)
        return {code, QStringLiteral("%1 (%2 / %3)")
                          .arg(number(calc::slopeOfCode(*value)))
                          .arg(*value)
                          .arg(calc::slopeScale)};
    return {code, QStringLiteral("%1 (%2 / %3 °C)")
                      .arg(celsius(calc::offsetOfCode(*value)))
                      .arg(*value)
                      .arg(calc::offsetScale)};
}

void drawCoefficients(Sheet& sheet, const Record& record)
{
    sheet.heading(QStringLiteral("Coefficients"));
    const std::vector<Column> columns{{QString(), 105.0},
                                      {QStringLiteral("Slope code"), 75.0},
                                      {QStringLiteral("Slope"), 123.0},
                                      {QStringLiteral("Offset code"), 75.0},
                                      {QStringLiteral("Offset"), contentWidth - 378.0}};
    sheet.table(columns,
                {QStringList{QStringLiteral("Before adjustment")} +
                     codeCells(record.currentSlopeCode, true) +
                     codeCells(record.currentOffsetCode, false),
                 QStringList{QStringLiteral("After adjustment")} +
                     codeCells(record.slopeCode, true) + codeCells(record.offsetCode, false)});
}

// Where the tolerance comes from, after it: " (manufacturer's stated limits)".
QString toleranceSourceText(const QString& source)
{
    if (source == QLatin1String("manufacturer"))
        return QStringLiteral(" (manufacturer's stated limits)");
    if (source == QLatin1String("customer"))
        return QStringLiteral(" (customer's requirement)");
    if (source == QLatin1String("standard"))
        return QStringLiteral(" (standard)");
    return {};
}

void drawVerification(Sheet& sheet, const Record& record)
{
    sheet.heading(QStringLiteral("Conformity"));
    QString rule = record.rule;
    if (rule.isEmpty())
        rule = record.tolerance
                   ? QString::fromStdString(calc::ruleStatement(record.referenceUncertainty))
                   : QStringLiteral("none");
    calc::DecisionRule kept = calc::DecisionRule::Guarded;
    double largest = 0.0;
    for (const QString* points : {&record.asFoundPoints, &record.asLeftPoints})
        for (const records::PointResult& point : records::readPoints(*points))
            largest = std::max(largest, point.U);
    if (record.tolerance && calc::readRule(record.decisionRule.toStdString(), kept) &&
        calc::riskySimpleAcceptance(kept, largest, *record.tolerance))
        rule += QLatin1Char(' ') +
                QString::fromStdString(messages::simpleAcceptanceRisk(largest, *record.tolerance));
    sheet.field(QStringLiteral("Decision rule"), rule, 2);
    const PageText tolerance(record.tolerance
                                 ? QStringLiteral("± %1").arg(celsius(*record.tolerance)) +
                                       toleranceSourceText(record.toleranceSource)
                                 : QStringLiteral("none"));
    if (!record.setUp) {
        sheet.fieldPair(QStringLiteral("Tolerance"), tolerance, QStringLiteral("Verdict"),
                        PageText(records::asLeftVerdictText(record)), 1);
        sheet.field(QStringLiteral("Uncertainty"),
                    QStringLiteral("uncertainty not evaluated: the record was saved before the "
                                   "uncertainty of each result was kept"),
                    2);
        return;
    }
    sheet.fieldPair(QStringLiteral("Tolerance"), tolerance, QStringLiteral("As found"),
                    PageText(records::asFoundVerdictText(record)), 1);
    sheet.fieldPair(QStringLiteral("As left"), PageText(records::asLeftVerdictText(record)),
                    QString(), PageText(QString()), 1);
}

// What the results do and do not say, with the laboratory's own statements.
void drawStatements(Sheet& sheet, const lab::LabSettings& lab)
{
    QString said = QStringLiteral("The results relate only to the item calibrated. This "
                                  "certificate shall not be reproduced except in full.");
    if (const QString own = lab.value(QStringLiteral("statements")); !own.isEmpty())
        said += QLatin1Char(' ') + own;
    sheet.remark(said, 3);
}

adjust::ErrorPlotData plotData(const Record& record)
{
    const auto& entries = record.entriesRead;
    std::vector<adjust::AtTarget> found, predicted, verification;
    // As found, the mean of each point's readings, as the results and the codes take it.
    const QList<records::PointResult> points = records::readPoints(record.asFoundPoints);
    for (std::size_t n = 0; n < 2; ++n) {
        const auto at = static_cast<qsizetype>(n);
        found.push_back({entries[n], at < points.size() && !points[at].readings.isEmpty()
                                         ? meanOf(points[at].readings)
                                         : entries[n + 2]});
        predicted.push_back({entries[n], record.predictedErrors[n]});
    }
    for (const records::VerificationReading& reading : record.verification)
        verification.push_back({reading.target, reading.reading});
    return adjust::errorPlotData(found, predicted, verification, record.tolerance);
}

// The plot takes what the note leaves of the room above the signatures, within its bounds;
// the note is fitted first so that a long one shrinks rather than the plot vanishing. False
// when the page has no room for a plot worth reading: it then goes on a page of its own.
bool drawPlotAndNote(Sheet& sheet, const Record& record)
{
    const double room = sheet.signatureTop() - 6.0 - sheet.y() - 2 * sheet.headingHeight();
    const double noteRoom =
        std::clamp(room - plotMinimum, sheet.lineHeight(textPoints), noteMaximum);
    const PageText noteText(record.note.isEmpty() ? QStringLiteral("none") : record.note, true);
    FittedText note = sheet.fit(noteText, textPoints, contentWidth, noteRoom);
    const double plotRoom = std::clamp(room - sheet.heightOf(note), 0.0, plotMaximum);
    const bool plotted = plotRoom >= plotMinimum / 2;
    // A plot that goes on a page of its own leaves the note all the room there is.
    if (!plotted)
        note = sheet.fit(noteText, textPoints, contentWidth,
                         std::max(room + sheet.headingHeight(), sheet.lineHeight(textPoints)));
    if (plotted) {
        sheet.heading(QStringLiteral("Error plot"));
        sheet.plot(plotData(record), plotRoom);
    }
    sheet.heading(QStringLiteral("Note"));
    sheet.block(note);
    return plotted;
}

} // namespace

namespace {

QString footerText(const lab::CertificateStatus& status, int page, int pages)
{
    QString said = QStringLiteral("Certificate %1 · Page %2 of %3")
                       .arg(numberText(status))
                       .arg(page)
                       .arg(pages);
    if (page == pages)
        said += QStringLiteral(" · End of certificate");
    return said + QStringLiteral(" · written by %1 %2")
                      .arg(QString::fromUtf8(programTitle), QString::fromUtf8(versionText));
}

// Results past the first page's, so many a page.
constexpr qsizetype rowsPerPage = 40;

// What every page ends with: the signatures after the last results on the last page, the
// draft's mark, and the footer.
void endPage(Sheet& sheet, const Record& record, const lab::CertificateStatus& status, int page,
             int pages)
{
    if (page == pages)
        sheet.signatures(signers(record, status));
    if (!status.issue)
        sheet.draftMark();
    sheet.footer(footerText(status, page, pages));
}

// A page after the first: headed with what it belongs to, so that a page on its own is known.
bool continuationPage(Sheet& sheet, const lab::CertificateStatus& status)
{
    if (!sheet.newPage())
        return false;
    sheet.header(QStringLiteral("Calibration certificate"),
                 {labLines(status).first(), QStringLiteral("Certificate ") + numberText(status)});
    return true;
}

// The results past the first page's, then the plot where the first page had no room for it.
void drawFurtherPages(Sheet& sheet, const Record& record, const std::vector<QStringList>& further,
                      bool plotMoved, const lab::CertificateStatus& status, int pages)
{
    const int resultPages = pages - 1 - (plotMoved ? 1 : 0);
    for (int page = 2; page <= 1 + resultPages; ++page) {
        if (!continuationPage(sheet, status))
            return;
        sheet.heading(QStringLiteral("Results (°C), continued"));
        const auto from = static_cast<qsizetype>(page - 2) * rowsPerPage;
        const auto to = std::min<qsizetype>(from + rowsPerPage, further.size());
        sheet.table(resultColumns(),
                    std::vector<QStringList>(further.begin() + from, further.begin() + to));
        endPage(sheet, record, status, page, pages);
    }
    if (plotMoved && continuationPage(sheet, status)) {
        sheet.heading(QStringLiteral("Error plot"));
        sheet.plot(plotData(record), plotMaximum);
        endPage(sheet, record, status, pages, pages);
    }
}

} // namespace

void drawCertificatePage(QPainter& painter, const Record& record, const QString& chainHead,
                         const lab::CertificateStatus& status)
{
    Sheet sheet(painter);
    sheet.setMarkCode(markCode(lab::markOf(record, chainHead, status)));
    sheet.header(QStringLiteral("Calibration certificate"), labLines(status),
                 status.lab.value(QStringLiteral("logo")));
    drawCertificate(sheet, record, status);
    drawReference(sheet, record);
    std::vector<QStringList> further;
    if (record.setUp) {
        drawResults(sheet, record, further);
        drawBudget(sheet, record);
    } else {
        drawReadings(sheet, record);
    }
    drawCoefficients(sheet, record);
    drawVerification(sheet, record);
    drawStatements(sheet, status.lab);
    drawRecord(sheet, record, chainHead);
    const bool plotMoved = !drawPlotAndNote(sheet, record);
    const int pages =
        1 +
        static_cast<int>((static_cast<qsizetype>(further.size()) + rowsPerPage - 1) / rowsPerPage) +
        (plotMoved ? 1 : 0);
    endPage(sheet, record, status, 1, pages);
    drawFurtherPages(sheet, record, further, plotMoved, status, pages);
}

} // namespace quarvet::certificate
