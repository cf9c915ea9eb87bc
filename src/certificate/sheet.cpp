#include "sheet.h"

#include "plot/errorplotpainter.h"
#include "quarvet/version.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>

namespace quarvet::certificate {
namespace {

constexpr double labelWidth = 150.0;
constexpr double columnGap = 8.0;
constexpr double rowGap = 1.2;
constexpr double cellPadding = 2.5;

const QColor inkColour(20, 20, 20);
const QColor quietColour(85, 85, 85);
const QColor ruleColour(160, 160, 160);
const QColor shadeColour(232, 232, 232);
const QColor draftColour(200, 0, 0, 50);

} // namespace

Sheet::Sheet(QPainter& painter) : painter_(painter), scale_(painter.device()->logicalDpiY() / 72.0)
{
}

double Sheet::headingHeight() const
{
    return 7.0 + lineHeight(headingPoints, true);
}

double Sheet::lineHeight(double points, bool bold) const
{
    return lineHeightOf(font(points, bold), painter_.device()) / scale_;
}

FittedText Sheet::fit(const PageText& text, double points, double width, double maxHeight,
                      bool bold) const
{
    // A hair of room, so that a text exactly so many lines high is not taken for a longer one.
    return fitText(text, font(points, bold), smallestPoints, u(width), u(maxHeight) + 0.01,
                   painter_.device());
}

QFont Sheet::font(double points, bool bold) const
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    // Outlines as designed: the page is printed at any resolution, not only this one.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void Sheet::draw(const FittedText& text, double x, double y, double width, Qt::Alignment alignment)
{
    drawFitted(painter_, QPointF(u(x), u(y)), text, u(width), alignment);
}

void Sheet::rule(double y, double width)
{
    painter_.setPen(QPen(ruleColour, u(width)));
    painter_.drawLine(QPointF(u(marginLeft), u(y)), QPointF(u(marginLeft + contentWidth), u(y)));
}

void Sheet::title(const QString& text)
{
    painter_.setPen(inkColour);
    const FittedText shown = fit(PageText(text), 18.0, contentWidth, 30.0, true);
    draw(shown, marginLeft, y_, contentWidth);
    y_ += shown.height / scale_ + 2.0;
}

// The logo drawn into `box` (points), its proportions kept; false when it is no image.
double Sheet::drawLogo(const QString& logo, const QRectF& box)
{
    const QByteArray bytes = QByteArray::fromBase64(logo.mid(4).toLatin1());
    QRectF target(u(box.x()), u(box.y()), u(box.width()), u(box.height()));
    if (logo.startsWith(QLatin1String("svg:"))) {
        QSvgRenderer svg(bytes);
        if (!svg.isValid() || svg.defaultSize().isEmpty())
            return 0.0;
        const QSizeF size = svg.defaultSize().toSizeF().scaled(target.size(), Qt::KeepAspectRatio);
        svg.render(&painter_, QRectF(target.topLeft(), size));
        return size.width() / scale_;
    }
    QImage image;
    if (!logo.startsWith(QLatin1String("png:")) || !image.loadFromData(bytes, "PNG") ||
        image.isNull())
        return 0.0;
    const QSizeF size = QSizeF(image.size()).scaled(target.size(), Qt::KeepAspectRatio);
    painter_.drawImage(QRectF(target.topLeft(), size), image);
    return size.width() / scale_;
}

void Sheet::header(const QString& title, const QStringList& lab, const QString& logo)
{
    // The logo at the left of the title, at most as high as the title's line and a third of
    // the title's room wide; one that does not read is left out: the laboratory's name says
    // who issues it.
    const double titleWidth = contentWidth * 0.5;
    double logoWidth = 0.0;
    if (!logo.isEmpty())
        logoWidth = drawLogo(logo, QRectF(marginLeft, y_, titleWidth / 3, 26.0));
    const double titleX = marginLeft + (logoWidth > 0 ? logoWidth + 8.0 : 0.0);
    painter_.setPen(inkColour);
    const FittedText shown =
        fit(PageText(title), 18.0, titleWidth - (titleX - marginLeft), 30.0, true);
    draw(shown, titleX, y_, titleWidth - (titleX - marginLeft));
    double labY = y_;
    for (qsizetype n = 0; n < lab.size(); ++n) {
        const FittedText line = fit(PageText(lab[n]), n == 0 ? 10.0 : textPoints,
                                    contentWidth - titleWidth, n == 0 ? 26.0 : 24.0, n == 0);
        draw(line, marginLeft + titleWidth, labY, contentWidth - titleWidth, Qt::AlignRight);
        labY += line.height / scale_;
    }
    y_ = std::max(y_ + shown.height / scale_, labY) + 2.0;
}

void Sheet::fieldPair(const QString& label, const PageText& value, const QString& otherLabel,
                      const PageText& otherValue, int maxLines)
{
    const double half = (contentWidth - columnGap) / 2;
    const double pairLabel = 88.0;
    const double valueWidth = half - pairLabel - columnGap;
    double height = 0.0;
    const std::pair<const QString*, const PageText*> halves[] = {{&label, &value},
                                                                 {&otherLabel, &otherValue}};
    for (int n = 0; n < 2; ++n) {
        const double x = marginLeft + n * (half + columnGap);
        const FittedText name =
            fit(PageText(*halves[n].first), textPoints, pairLabel, 2 * lineHeight(textPoints));
        const FittedText shown =
            fit(*halves[n].second, textPoints, valueWidth, maxLines * lineHeight(textPoints));
        painter_.setPen(quietColour);
        draw(name, x, y_, pairLabel);
        painter_.setPen(inkColour);
        draw(shown, x + pairLabel + columnGap, y_, valueWidth);
        height = std::max({height, name.height / scale_, shown.height / scale_});
    }
    y_ += height + rowGap;
}

void Sheet::heading(const QString& text)
{
    y_ += 4.0;
    painter_.setPen(inkColour);
    const FittedText shown = fit(PageText(text), headingPoints, contentWidth, 20.0, true);
    draw(shown, marginLeft, y_, contentWidth);
    y_ += shown.height / scale_ + 1.0;
    rule(y_, 0.8);
    y_ += 2.0;
}

void Sheet::field(const QString& label, const QString& value, int maxLines)
{
    field(label, PageText(value), maxLines);
}

void Sheet::nameField(const QString& label, const QString& value, int maxLines)
{
    field(label, PageText::name(value), maxLines);
}

void Sheet::field(const QString& label, const PageText& value, int maxLines)
{
    const double valueWidth = contentWidth - labelWidth - columnGap;
    const FittedText name =
        fit(PageText(label), textPoints, labelWidth, 2 * lineHeight(textPoints));
    const FittedText shown = fit(value, textPoints, valueWidth, maxLines * lineHeight(textPoints));
    painter_.setPen(quietColour);
    draw(name, marginLeft, y_, labelWidth);
    painter_.setPen(inkColour);
    draw(shown, marginLeft + labelWidth + columnGap, y_, valueWidth);
    y_ += std::max(name.height, shown.height) / scale_ + rowGap;
}

void Sheet::tableRow(const std::vector<Column>& columns, const QStringList& cells, bool header)
{
    const double points = header ? 7.5 : 8.0;
    std::vector<FittedText> shown;
    double height = 0.0;
    for (std::size_t n = 0; n < columns.size(); ++n) {
        const QString cell = n < static_cast<std::size_t>(cells.size()) ? cells[n] : QString();
        shown.push_back(fit(PageText(cell), points, columns[n].width - 2 * cellPadding,
                            (header ? 3 : 2) * lineHeight(points, header), header));
        height = std::max(height, shown.back().height / scale_);
    }
    height += 2 * cellPadding;
    if (header)
        painter_.fillRect(QRectF(u(marginLeft), u(y_), u(contentWidth), u(height)), shadeColour);
    painter_.setPen(inkColour);
    double x = marginLeft;
    for (std::size_t n = 0; n < columns.size(); ++n) {
        draw(shown[n], x + cellPadding, y_ + cellPadding, columns[n].width - 2 * cellPadding,
             columns[n].alignment);
        x += columns[n].width;
    }
    y_ += height;
    rule(y_, 0.4);
}

void Sheet::table(const std::vector<Column>& columns, const std::vector<QStringList>& rows)
{
    QStringList titles;
    for (const Column& column : columns)
        titles << column.title;
    tableRow(columns, titles, true);
    for (const QStringList& row : rows)
        tableRow(columns, row, false);
    y_ += 2.0;
}

void Sheet::remark(const QString& text, int maxLines)
{
    painter_.setPen(quietColour);
    const FittedText shown = fit(PageText(text), 7.5, contentWidth, maxLines * lineHeight(7.5));
    draw(shown, marginLeft, y_, contentWidth);
    y_ += shown.height / scale_ + rowGap;
}

void Sheet::block(const FittedText& text)
{
    painter_.setPen(inkColour);
    draw(text, marginLeft, y_, contentWidth);
    y_ += text.height / scale_;
}

void Sheet::plot(const adjust::ErrorPlotData& data, double height)
{
    // The plot is drawn as on a screen, a pixel being 1/96 inch, so its pens, dots and
    // labels keep the proportions they have in the window.
    const double pixel = scale_ * 72.0 / 96.0;
    painter_.save();
    painter_.translate(u(marginLeft), u(y_));
    painter_.scale(pixel, pixel);
    // A font in points is taken at the device's resolution before the painter's scale.
    painter_.setFont(font(7.0 / pixel));
    paintErrorPlot(painter_, QRectF(0.0, 0.0, u(contentWidth) / pixel, u(height) / pixel), data,
                   Qt::white, inkColour);
    painter_.restore();
    y_ += height;
}

// The side of the mark's code at the foot of the page, and the gap before it.
constexpr double markCodeSide = 52.0;

void Sheet::signatures(const std::vector<Signer>& signers)
{
    const double top = signatureTop();
    const double gap = 14.0;
    const double room = contentWidth - markCodeSide - gap;
    const double width = (room - gap * static_cast<double>(signers.size() - 1)) / signers.size();
    for (std::size_t n = 0; n < signers.size(); ++n) {
        const Signer& signer = signers[n];
        const double x = marginLeft + static_cast<double>(n) * (width + gap);
        painter_.setPen(QPen(inkColour, u(0.6)));
        painter_.drawLine(QPointF(u(x), u(top + 22.0)), QPointF(u(x + width), u(top + 22.0)));
        painter_.setPen(quietColour);
        const FittedText label = fit(PageText(signer.label), 7.5, width, 10.0);
        const QFontMetricsF metrics(label.font, painter_.device());
        const double used =
            signer.name.isEmpty()
                ? width
                : std::min(metrics.horizontalAdvance(label.text) / scale_ + 3.0, width / 2);
        draw(label, x, top + 24.0, used);
        if (!signer.name.isEmpty())
            draw(fit(PageText::name(signer.name), 7.5, width - used, 18.0), x + used, top + 24.0,
                 width - used);
        if (!signer.signedAs.isEmpty())
            draw(fit(PageText(signer.signedAs), 6.0, width, 16.0), x, top + 3.0, width);
    }
}

void Sheet::footer(const QString& text)
{
    if (!markCode_.isNull()) {
        const double side = markCodeSide;
        const QRectF place(u(marginLeft + contentWidth - side), u(signatureTop()), u(side),
                           u(side));
        painter_.save();
        // Each module a sharp square, as a reader expects it.
        painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter_.drawImage(place, markCode_);
        painter_.restore();
    }
    painter_.setPen(quietColour);
    const double top = pageHeight - marginBottom + 4.0;
    draw(fit(PageText(text), 6.5, contentWidth, 10.0), marginLeft, top, contentWidth,
         Qt::AlignRight);
}

void Sheet::draftMark()
{
    // Drawn as outlines, not as text: a reader copying the page's text gets the page's words,
    // not "DRAFT" cut into them.
    QFont font = painter_.font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>(u(110.0)));
    QPainterPath outline;
    outline.addText(0, 0, font, QStringLiteral("DRAFT"));
    const QRectF bounds = outline.boundingRect();
    painter_.save();
    painter_.translate(u(pageWidth / 2), u(pageHeight / 2));
    painter_.rotate(-50.0);
    painter_.translate(-bounds.center());
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(draftColour);
    painter_.drawPath(outline);
    painter_.restore();
}

bool Sheet::newPage()
{
    auto* document = dynamic_cast<QPagedPaintDevice*>(painter_.device());
    if (!document || !document->newPage())
        return false;
    y_ = marginTop;
    return true;
}

} // namespace quarvet::certificate
