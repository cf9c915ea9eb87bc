#include "historysheet.h"

#include "quarvet/version.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace quarvet::certificate {

namespace {

constexpr int resolution = 300;

// The heading's lines from the top of `text`, the first in bold; where they end.
double drawHeading(QPainter& painter, const QRectF& text, const QStringList& heading)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    double top = text.top();
    const double line = QFontMetricsF(font).height();
    for (qsizetype n = 0; n < heading.size(); ++n) {
        painter.drawText(QRectF(text.left(), top, text.width(), line * 1.2), Qt::AlignLeft,
                         heading[n]);
        top += line * 1.3;
        if (n == 0) {
            font.setBold(false);
            painter.setFont(font);
        }
    }
    return top;
}

records::OutputFaultKind drawHistory(QSaveFile& file, const QStringList& heading,
                                     const adjust::DriftPlotData& data, const QStringList& lines)
{
    QPdfWriter writer(&file);
    writer.setResolution(resolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Point));
    writer.setTitle(heading.value(0));
    writer.setCreator(QStringLiteral("%1 %2").arg(QString::fromUtf8(programTitle),
                                                  QString::fromUtf8(versionText)));
    QPainter painter;
    if (!painter.begin(&writer))
        return records::OutputFaultKind::WriterFailed;
    // Drawn in points of a 96 dpi screen, as the window draws it, scaled to the page.
    const double scale = resolution / 96.0;
    painter.scale(scale, scale);
    const QRectF page(0, 0, writer.width() / scale, writer.height() / scale);
    const QRectF text = page.adjusted(60, 60, -60, -60);
    // Sized in the painter's units, which the scale above turns into the page's.
    double top = drawHeading(painter, text, heading);
    const double line = QFontMetricsF(painter.font()).height();
    const QRectF plot(text.left(), top + line, text.width(), text.width() * 0.6);
    adjust::paintDriftPlot(painter, plot, data, Qt::white, Qt::black);
    top = plot.bottom() + line;
    for (const QString& said : lines) {
        const QRectF bounds = painter.boundingRect(QRectF(text.left(), top, text.width(), 1000),
                                                   Qt::TextWordWrap, said);
        painter.drawText(bounds, Qt::TextWordWrap, said);
        top = bounds.bottom() + line * 0.3;
    }
    return painter.end() ? records::OutputFaultKind::None
                         : records::OutputFaultKind::PageUnfinished;
}

} // namespace

adjust::DriftPlotData historyPlotData(const QList<lab::HistoryPoint>& history,
                                      std::optional<double> tolerance)
{
    adjust::DriftPlotData data;
    if (!history.isEmpty())
        data.origin = history.first().calibrated;
    data.tolerance = tolerance;
    for (qsizetype n = history.size() - 1; n >= 0 && !data.tolerance; --n)
        data.tolerance = history[n].tolerance;
    for (const lab::TargetDrift& target : lab::driftsOf(history)) {
        adjust::DriftSeries series;
        series.target = target.target;
        for (const lab::HistoryPoint& point : history)
            for (const lab::FoundError& found : point.asFound)
                if (found.target == target.target)
                    series.errors.append({point.calibrated, found.error});
        if (target.line)
            series.line = std::pair{target.line->intercept, target.line->perYear};
        data.series << series;
    }
    return data;
}

records::OutputFault writeHistoryPdf(const QString& path, const QStringList& kept,
                                     const QStringList& heading, const adjust::DriftPlotData& data,
                                     const QStringList& lines)
{
    using records::OutputFaultKind;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {OutputFaultKind::NoGraphics, path, {}};
    QString store;
    if (const OutputFaultKind why = records::unreplaceable(path, kept, &store);
        why != OutputFaultKind::None)
        return {why, path, store};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {OutputFaultKind::CannotWrite, path, file.errorString()};
    if (const OutputFaultKind fault = drawHistory(file, heading, data, lines);
        fault != OutputFaultKind::None) {
        file.cancelWriting();
        return {fault, path, {}};
    }
    if (!file.commit())
        return {OutputFaultKind::CannotWrite, path, file.errorString()};
    return {};
}

} // namespace quarvet::certificate
