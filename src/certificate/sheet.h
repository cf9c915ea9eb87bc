#pragma once

#include "pagetext.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QStringList>

#include <vector>

class QPainter;

namespace quarvet::adjust {
struct ErrorPlotData;
}

namespace quarvet::certificate {

// A4 in points, and the page's layout in points from its top left.
inline constexpr double pageWidth = 595.28;
inline constexpr double pageHeight = 841.89;
inline constexpr double marginLeft = 42.0;
inline constexpr double contentWidth = pageWidth - 2 * marginLeft;
inline constexpr double marginTop = 36.0;
inline constexpr double marginBottom = 30.0;
inline constexpr double signatureHeight = 52.0; // the lines to sign on and the footer
inline constexpr double textPoints = 8.5;
inline constexpr double headingPoints = 10.0;
inline constexpr double smallestPoints = 6.0; // no text is shrunk below it

struct Column {
    QString title;
    double width; // points
    Qt::Alignment alignment = Qt::AlignLeft;
};

// The certificate's page drawn from top to bottom. Positions and sizes are in points; the
// painter works in its device's units, which u() converts to.
class Sheet {
public:
    explicit Sheet(QPainter& painter);

    double y() const { return y_; }
    double signatureTop() const { return pageHeight - marginBottom - signatureHeight; }
    double headingHeight() const;
    double lineHeight(double points, bool bold = false) const;
    double heightOf(const FittedText& text) const { return text.height / scale_; }

    // `text` wrapped to `width`, shrunk or cut to stay within `maxHeight`.
    FittedText fit(const PageText& text, double points, double width, double maxHeight,
                   bool bold = false) const;

    void title(const QString& text);
    // The title at the left, the laboratory's lines at the right, its name first and bold.
    // `logo` is the laboratory's, as kept: "png:" or "svg:" and its bytes in base64; drawn
    // above the title when it reads as one.
    void header(const QString& title, const QStringList& lab, const QString& logo = {});
    // Two labels with their values side by side, each value at most `maxLines` lines high.
    void fieldPair(const QString& label, const PageText& value, const QString& otherLabel,
                   const PageText& otherValue, int maxLines = 2);
    void heading(const QString& text);
    // A label and its value beside it, the value at most `maxLines` lines of text high.
    void field(const QString& label, const QString& value, int maxLines);
    // A field whose value is a name, shown left to right as it is stored.
    void nameField(const QString& label, const QString& value, int maxLines);
    void table(const std::vector<Column>& columns, const std::vector<QStringList>& rows);
    void remark(const QString& text, int maxLines);
    void block(const FittedText& text);
    void plot(const adjust::ErrorPlotData& data, double height);
    // The lines to sign on at the page's foot, each with what it is for and the name of whom
    // it is for beside it (a name shown as stored, left to right), and beneath, where a
    // signature was given, when and how; room kept at the right for the page's code.
    struct Signer {
        QString label;
        QString name;
        QString signedAs = {};
    };
    void signatures(const std::vector<Signer>& signers);
    // The code a phone or a program reads the certificate's mark from, at the right of each
    // page's foot.
    void setMarkCode(const QImage& code) { markCode_ = code; }
    // The line at the very foot of every page: what the page is and where it stands.
    void footer(const QString& text);
    // "DRAFT" across the page, faint behind what is on it: a page no one may take as issued.
    void draftMark();
    // Goes on to a new page of the document; false when the device has no further pages.
    bool newPage();

private:
    QImage markCode_;
    void field(const QString& label, const PageText& value, int maxLines);
    // The logo drawn into `box`, its proportions kept; its width, 0 when it is no image.
    double drawLogo(const QString& logo, const QRectF& box);
    double u(double points) const { return points * scale_; }
    QFont font(double points, bool bold = false) const;
    void draw(const FittedText& text, double x, double y, double width,
              Qt::Alignment alignment = Qt::AlignLeft);
    void rule(double y, double width);
    void tableRow(const std::vector<Column>& columns, const QStringList& cells, bool header);

    QPainter& painter_;
    double scale_; // device units a point
    double y_ = marginTop;
};

} // namespace quarvet::certificate
