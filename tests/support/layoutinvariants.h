#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <QWidget>

// Checks that catch the layout slips no table of positions names: controls that overlap,
// controls outside the window, two commands on one mnemonic. Each returns what is wrong,
// one line per fault; empty when all is well.
namespace layout {

// The controls the program made: named, visible, and not Qt's own parts of a widget.
inline QList<QWidget*> controlsOf(QWidget* area)
{
    QList<QWidget*> controls;
    for (QWidget* child : area->findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && child->isVisible() &&
            !qobject_cast<QMenu*>(child) && !qobject_cast<QMenuBar*>(child))
            controls.append(child);
    }
    return controls;
}

// Where a control draws: a caption only where the ink of its text is (its box may reach
// into a neighbour's, as laid out), any other control all of its box.
inline QRect placeIn(QWidget* control, QWidget* area)
{
    QRect drawn = control->rect();
    if (auto* label = qobject_cast<QLabel*>(control); label && label->pixmap().isNull()) {
        const QFontMetrics metrics = label->fontMetrics();
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        drawn = metrics.boundingRect(label->contentsRect(), flags, label->text());
        if (drawn.height() <= metrics.height()) // one line: its glyphs, from the baseline
            drawn = metrics.tightBoundingRect(label->text())
                        .translated(drawn.left(), drawn.top() + metrics.ascent());
        drawn = drawn.intersected(label->contentsRect());
    }
    return drawn.translated(control->mapTo(area, QPoint(0, 0)));
}

// No two controls overlap unless one contains the other (a frame and what is in it). Rule
// lines are decoration drawn under what they separate, and a contact of one pixel is the
// rounding of positions laid out in twips: neither counts.
inline QStringList overlaps(QWidget* area)
{
    QStringList faults;
    QList<QWidget*> controls = controlsOf(area);
    controls.removeIf(
        [](QWidget* control) { return control->metaObject() == &QFrame::staticMetaObject; });
    for (int a = 0; a < controls.size(); ++a) {
        for (int b = a + 1; b < controls.size(); ++b) {
            const QRect first = placeIn(controls[a], area);
            const QRect second = placeIn(controls[b], area);
            const QRect common = first.intersected(second);
            if (common.width() > 1 && common.height() > 1 && !first.contains(second) &&
                !second.contains(first))
                faults << QStringLiteral("%1 (%2,%3 %4x%5) overlaps %6 (%7,%8 %9x%10)")
                              .arg(controls[a]->objectName())
                              .arg(first.x())
                              .arg(first.y())
                              .arg(first.width())
                              .arg(first.height())
                              .arg(controls[b]->objectName())
                              .arg(second.x())
                              .arg(second.y())
                              .arg(second.width())
                              .arg(second.height());
        }
    }
    return faults;
}

// Every control lies inside the area (the window's client area).
inline QStringList outside(QWidget* area)
{
    QStringList faults;
    for (QWidget* control : controlsOf(area))
        if (!area->rect().contains(placeIn(control, area)))
            faults << control->objectName() + QStringLiteral(" lies outside its window");
    return faults;
}

// The letter after a single '&', lower case; nothing when the text has none.
inline QChar mnemonic(const QString& text)
{
    for (int at = 0; at + 1 < text.size(); ++at) {
        if (text[at] != QLatin1Char('&'))
            continue;
        if (text[at + 1] != QLatin1Char('&'))
            return text[at + 1].toLower();
        ++at;
    }
    return {};
}

inline QStringList duplicates(const QList<QPair<QString, QString>>& named, const QString& where)
{
    QStringList faults;
    QHash<QChar, QString> seen;
    for (const auto& [name, text] : named) {
        const QChar letter = mnemonic(text);
        if (letter.isNull())
            continue;
        if (seen.contains(letter))
            faults << QStringLiteral("%1: %2 and %3 share Alt+%4")
                          .arg(where, seen[letter], name, letter);
        seen.insert(letter, name);
    }
    return faults;
}

// Mnemonics are unique among a window's controls, among its menu titles, and within each
// menu.
inline QStringList mnemonicClashes(QWidget* window)
{
    // Every visible control that has a mnemonic, named or not: a form's captions are labels
    // nobody names.
    QList<QPair<QString, QString>> controls;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisible() || qobject_cast<QMenu*>(control))
            continue;
        const auto named = [&](const QString& text) {
            return control->objectName().isEmpty() ? text : control->objectName();
        };
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            controls.append({named(button->text()), button->text()});
        else if (auto* box = qobject_cast<QGroupBox*>(control))
            controls.append({named(box->title()), box->title()});
        else if (auto* label = qobject_cast<QLabel*>(control); label && label->buddy())
            controls.append({named(label->text()), label->text()});
    }
    QStringList faults = duplicates(controls, window->objectName());
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        QList<QPair<QString, QString>> titles;
        for (QAction* title : bar->actions()) {
            titles.append({title->text(), title->text()});
            QList<QPair<QString, QString>> items;
            for (QAction* item : title->menu() ? title->menu()->actions() : QList<QAction*>())
                items.append({item->objectName(), item->text()});
            faults << duplicates(items, title->text());
        }
        faults << duplicates(titles, QStringLiteral("menu bar"));
    }
    return faults;
}

} // namespace layout
