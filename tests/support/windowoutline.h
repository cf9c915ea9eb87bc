#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QTextEdit>
#include <QWidget>

// The outline of a window: what it holds and where, as a text of one line a control, the
// same on every platform and whatever is typed or shown in it. Each line gives the control's
// depth, class, object name, accessible name, its caption where it has a fixed one (a label
// no screen reader names, a button, a group's title, a table's headings) and its cell in its
// parent's grid or form, or its place in a row or column. A picture of a window is current
// while the outline recorded beside it is the window's.
namespace outline {

namespace detail {

// Where `control` sits in its parent's layout, or nothing when it sits in none.
inline QString placeOf(QWidget* control)
{
    QWidget* parent = control->parentWidget();
    QLayout* layout = parent ? parent->layout() : nullptr;
    if (!layout)
        return {};
    // A layout nested in the parent's holds it; the first that does says where.
    QList<QLayout*> layouts{layout};
    for (qsizetype n = 0; n < layouts.size(); ++n) {
        QLayout* in = layouts[n];
        const int at = in->indexOf(control);
        if (at >= 0) {
            if (auto* grid = qobject_cast<QGridLayout*>(in)) {
                int row = 0, column = 0, rows = 0, columns = 0;
                grid->getItemPosition(at, &row, &column, &rows, &columns);
                return QStringLiteral(" @grid%1 %2,%3 %4x%5")
                    .arg(n)
                    .arg(row)
                    .arg(column)
                    .arg(rows)
                    .arg(columns);
            }
            if (auto* form = qobject_cast<QFormLayout*>(in)) {
                int row = 0;
                QFormLayout::ItemRole role = QFormLayout::LabelRole;
                form->getItemPosition(at, &row, &role);
                return QStringLiteral(" @form%1 %2,%3").arg(n).arg(row).arg(int(role));
            }
            return QStringLiteral(" @%1%2 %3")
                .arg(QLatin1String(in->metaObject()->className()))
                .arg(n)
                .arg(at);
        }
        for (int item = 0; item < in->count(); ++item)
            if (QLayout* inner = in->itemAt(item)->layout())
                layouts << inner;
    }
    return {};
}

// What a control says of itself whatever it shows.
inline QString captionOf(QWidget* control)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->accessibleName().isEmpty() && label->pixmap().isNull() ? label->text()
                                                                             : QString();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->title();
    if (auto* view = qobject_cast<QAbstractItemView*>(control); view && view->model()) {
        QStringList headings;
        for (int column = 0; column < view->model()->columnCount(); ++column)
            headings << view->model()->headerData(column, Qt::Horizontal).toString();
        return headings.join(QLatin1Char('|'));
    }
    if (auto* field = qobject_cast<QLineEdit*>(control))
        return field->placeholderText();
    return {};
}

// Controls whose own parts are Qt's: recorded, not entered.
inline bool whole(QWidget* control)
{
    return qobject_cast<QComboBox*>(control) || qobject_cast<QLineEdit*>(control) ||
           qobject_cast<QAbstractItemView*>(control) || qobject_cast<QTextEdit*>(control) ||
           qobject_cast<QAbstractSpinBox*>(control) || qobject_cast<QProgressBar*>(control) ||
           qobject_cast<QAbstractButton*>(control) || qobject_cast<QMenuBar*>(control);
}

inline void walk(QWidget* control, int depth, QStringList& lines)
{
    // Qt's own frames around the program's controls are passed through; windows of their own
    // (a budget, a dialog) have outlines of their own.
    const bool own = !control->objectName().startsWith(QLatin1String("qt_"));
    if (own) {
        lines << QStringLiteral("%1%2 %3 '%4' \"%5\"%6")
                     .arg(QString(depth * 2, QLatin1Char(' ')),
                          QLatin1String(control->metaObject()->className()), control->objectName(),
                          control->accessibleName(), captionOf(control), placeOf(control));
    }
    if (whole(control))
        return;
    if (auto* area = qobject_cast<QScrollArea*>(control)) {
        if (area->widget())
            walk(area->widget(), depth + 1, lines);
        return;
    }
    for (QObject* child : control->children())
        if (auto* widget = qobject_cast<QWidget*>(child);
            widget && !widget->isWindow() && !qobject_cast<QMenu*>(widget))
            walk(widget, own ? depth + 1 : depth, lines);
}

} // namespace detail

inline QString of(QWidget* window)
{
    QStringList lines{QStringLiteral("window \"%1\"").arg(window->windowTitle())};
    if (auto* main = qobject_cast<QMainWindow*>(window))
        for (QAction* menu : main->menuBar()->actions()) {
            lines << QStringLiteral("menu \"%1\"").arg(menu->text());
            for (QAction* item : menu->menu() ? menu->menu()->actions() : QList<QAction*>())
                lines << QStringLiteral("  %1 \"%2\" %3")
                             .arg(item->objectName(), item->text(),
                                  item->shortcut().toString(QKeySequence::PortableText));
        }
    detail::walk(window, 0, lines);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace outline
