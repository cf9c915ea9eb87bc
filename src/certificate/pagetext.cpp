#include "pagetext.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace quarvet::certificate {
namespace {

// More than any box of the page shows at its smallest size: a longer text is cut anyway, and
// laying all of a huge one out would only cost time.
constexpr qsizetype keptLimit = 20000;

constexpr double shrinkStep = 0.5; // points

bool isLineBreak(char32_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
}

// Marks that steer, join or hide text without showing themselves. The two joiners stay: many
// scripts and emoji need them, and they cannot reorder a line.
bool isInvisibleFormat(char32_t c)
{
    return c != 0x200C && c != 0x200D && QChar::category(c) == QChar::Other_Format;
}

QString escaped(char32_t c)
{
    return QStringLiteral("[U+%1]").arg(QString::number(static_cast<uint>(c), 16).toUpper(), 4,
                                        QLatin1Char('0'));
}

QString printable(char32_t c, char32_t next, bool keepLineBreaks)
{
    if (keepLineBreaks && isLineBreak(c))
        return c == u'\r' && next == u'\n' ? QString() : QString(QChar::LineSeparator);
    if (keepLineBreaks && c == u'\t')
        return QStringLiteral(" ");
    if (c < 0x20 || (c >= 0x7f && c <= 0x9f) || isLineBreak(c) || isInvisibleFormat(c))
        return escaped(c);
    if (QChar::isSurrogate(c) || QChar::isNonCharacter(c))
        return QString(QChar::ReplacementCharacter);
    return QString::fromUcs4(&c, 1);
}

std::vector<char32_t> codePointsOf(const QString& text)
{
    std::vector<char32_t> points;
    for (qsizetype n = 0; n < text.size(); ++n) {
        const QChar unit = text[n];
        if (unit.isHighSurrogate() && n + 1 < text.size() && text[n + 1].isLowSurrogate()) {
            points.push_back(QChar::surrogateToUcs4(unit, text[n + 1]));
            ++n;
        } else {
            points.push_back(unit.unicode()); // a lone surrogate is replaced when shown
        }
    }
    return points;
}

QTextOption optionFor(Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(Qt::LeftToRight);
    return option;
}

double layOut(QTextLayout& layout, double width)
{
    double height = 0.0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0.0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

double heightOf(const QString& text, const QFont& font, double width, QPaintDevice* device)
{
    QTextLayout layout(text, font, device);
    layout.setTextOption(optionFor(Qt::AlignLeft));
    return layOut(layout, width);
}

QString withMarker(const PageText& text, qsizetype shown)
{
    return text.upTo(shown) +
           QStringLiteral(" [… %1 more characters not shown]").arg(text.count() - shown);
}

// The longest beginning that fits with its marker, found by halving: a fit is tried a few
// dozen times, not once a character.
FittedText cutToFit(const PageText& text, const QFont& font, double width, double maxHeight,
                    QPaintDevice* device)
{
    qsizetype fits = 0;
    qsizetype tooLong = std::min(text.kept(), text.count() - 1) + 1;
    while (tooLong - fits > 1) {
        const qsizetype middle = fits + (tooLong - fits) / 2;
        if (heightOf(withMarker(text, middle), font, width, device) <= maxHeight)
            fits = middle;
        else
            tooLong = middle;
    }
    const QString shown = withMarker(text, fits);
    return {font, shown, heightOf(shown, font, width, device)};
}

} // namespace

PageText::PageText(const QString& stored, bool keepLineBreaks)
{
    const std::vector<char32_t> points = codePointsOf(stored);
    count_ = static_cast<qsizetype>(points.size());
    const qsizetype kept = std::min(count_, keptLimit);
    ends_.reserve(static_cast<std::size_t>(kept));
    for (qsizetype n = 0; n < kept; ++n) {
        const auto at = static_cast<std::size_t>(n);
        const char32_t next = at + 1 < points.size() ? points[at + 1] : 0;
        printable_ += printable(points[at], next, keepLineBreaks);
        ends_.push_back(printable_.size());
    }
}

PageText PageText::name(const QString& stored)
{
    PageText text(stored);
    text.asStored_ = true;
    return text;
}

QString PageText::upTo(qsizetype codePoints) const
{
    // The marks go round what is shown, after the stored text's own were made visible.
    if (asStored_)
        return QStringLiteral("\u2066\u202D") + printableUpTo(codePoints) +
               QStringLiteral("\u202C\u2069");
    return printableUpTo(codePoints);
}

QString PageText::printableUpTo(qsizetype codePoints) const
{
    const qsizetype shown = std::clamp<qsizetype>(codePoints, 0, kept());
    return shown == 0 ? QString() : printable_.left(ends_[static_cast<std::size_t>(shown - 1)]);
}

double lineHeightOf(const QFont& font, QPaintDevice* device)
{
    return heightOf(QStringLiteral("Ag"), font, 1e6, device);
}

FittedText fitText(const PageText& text, QFont font, double minPoints, double width,
                   double maxHeight, QPaintDevice* device)
{
    if (text.kept() == text.count()) {
        const QString whole = text.all();
        for (double size = font.pointSizeF(); size >= minPoints - 1e-9; size -= shrinkStep) {
            font.setPointSizeF(size);
            const double height = heightOf(whole, font, width, device);
            if (height <= maxHeight)
                return {font, whole, height};
        }
    }
    font.setPointSizeF(minPoints);
    return cutToFit(text, font, width, maxHeight, device);
}

void drawFitted(QPainter& painter, const QPointF& topLeft, const FittedText& fitted, double width,
                Qt::Alignment alignment)
{
    QTextLayout layout(fitted.text, fitted.font, painter.device());
    layout.setTextOption(optionFor(alignment));
    layOut(layout, width);
    layout.draw(&painter, topLeft);
}

} // namespace quarvet::certificate
