#pragma once

#include <QFont>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;
class QPointF;

namespace quarvet::certificate {

// A stored text as a page shows it. Control characters and the invisible characters that
// reorder or hide text become visible escapes ("[U+000A]"), so a value cannot disguise
// another or break the text a reader copies out; a note may keep its line breaks. Every code
// point keeps its place, so a cut knows how many stored characters it leaves out.
class PageText {
public:
    explicit PageText(const QString& stored, bool keepLineBreaks = false);

    // A name shown left to right in the order it is stored, kept apart from what is around it:
    // "12 א 34" must not read as "12 34 א".
    static PageText name(const QString& stored);

    qsizetype count() const { return count_; }
    // The printable form of the first `codePoints` code points (at most those kept).
    QString upTo(qsizetype codePoints) const;
    QString all() const { return upTo(count_); }
    qsizetype kept() const { return static_cast<qsizetype>(ends_.size()); }

private:
    QString printableUpTo(qsizetype codePoints) const;

    QString printable_;
    std::vector<qsizetype> ends_; // printable_'s length after each kept code point
    qsizetype count_ = 0;
    bool asStored_ = false;
};

// A text laid out for a box: the font it fitted at and what is drawn, perhaps cut.
struct FittedText {
    QFont font;
    QString text;
    double height = 0.0; // device units
};

// Wraps `text` to `width` at `font`'s size when it fits `maxHeight`; else at a size shrunk
// step by step down to `minPoints`; else cut at that size, with a marker saying how many
// characters are not shown. Widths and heights are in `device`'s units.
FittedText fitText(const PageText& text, QFont font, double minPoints, double width,
                   double maxHeight, QPaintDevice* device);

// The height of one line of text in `font` as fitText() lays it out, in `device`'s units.
double lineHeightOf(const QFont& font, QPaintDevice* device);

// Draws a fitted text with its top left at `topLeft`, wrapped to `width`, left to right
// whatever its first letters: a value's right-to-left text never moves it across its box.
void drawFitted(QPainter& painter, const QPointF& topLeft, const FittedText& fitted, double width,
                Qt::Alignment alignment = Qt::AlignLeft);

} // namespace quarvet::certificate
