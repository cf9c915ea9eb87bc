#include "controls.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>

namespace quarvet::ui {

QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

namespace {

// Names a new control and puts it in its place.
template <typename Control> Control* placed(Control* control, const char* name, QRect geometry)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    return placed(new QLabel(text, parent), name, geometry);
}

QLineEdit* addEntryField(QWidget* parent, const char* name, const QString& accessibleName,
                         QRect geometry)
{
    QLineEdit* field = placed(new QLineEdit(parent), name, geometry);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    return field;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    return placed(new QPushButton(text, parent), name, geometry);
}

void showValue(QLabel* value, const QString& text)
{
    value->setText(text);
    value->setAccessibleDescription(text);
}

void reserveWidth(QWidget* control, const QString& sample)
{
    // A field's frame and text margins come on top of its text.
    const int frame = qobject_cast<QLineEdit*>(control) ? 14 : 2;
    control->setMinimumWidth(control->fontMetrics().horizontalAdvance(sample) + frame);
}

void reserveLines(QLabel* label, int lines)
{
    label->setMinimumHeight(label->fontMetrics().lineSpacing() * lines +
                            label->contentsMargins().top() + label->contentsMargins().bottom());
    label->setAlignment(label->alignment() | Qt::AlignTop);
}

namespace {

// Asks for room for all it holds; Qt's own caps its wish at a few dozen lines.
class WholeScrollArea final : public QScrollArea {
public:
    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        return widget()->sizeHint() + QSize(bar() + 2 * frameWidth(), 2 * frameWidth());
    }
    // As wide as what it holds at its narrowest: it scrolls up and down, never sideways.
    QSize minimumSizeHint() const override
    {
        const QSize least = QScrollArea::minimumSizeHint();
        if (!widget())
            return least;
        const QSize content = widget()->minimumSizeHint().expandedTo(widget()->minimumSize());
        return {content.width() + bar() + 2 * frameWidth(), least.height()};
    }

private:
    int bar() const { return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this); }
};

} // namespace

QScrollArea* scrolling(QWidget* content)
{
    QScrollArea* area = new WholeScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QObject::connect(qApp, &QApplication::focusChanged, area, [area](QWidget*, QWidget* now) {
        if (now && area->widget() && area->widget()->isAncestorOf(now))
            area->ensureWidgetVisible(now);
    });
    return area;
}

void fitToScreen(QWidget* window, QSize wanted)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    // The window manager's title bar is outside the window's own size.
    const QSize room = screen->availableGeometry().size() - QSize(0, 40);
    if (!wanted.isValid())
        wanted = window->sizeHint();
    window->resize(wanted.expandedTo(window->minimumSizeHint()).boundedTo(room));
}

void closeOnEscape(QWidget* window)
{
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

} // namespace quarvet::ui
