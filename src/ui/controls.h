#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QWidget;

namespace quarvet::ui {

// The program's typeface at `points`; on Linux fontconfig maps Arial to Liberation Sans,
// which has the same metrics.
QFont arial(qreal points, bool bold = false);

// A caption with the object name the program knows it by, placed at `geometry`.
QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);

// A right-aligned entry field for a temperature, named for tests and for screen readers.
QLineEdit* addEntryField(QWidget* parent, const char* name, const QString& accessibleName,
                         QRect geometry);

// A push button with the object name the program knows it by.
QPushButton* addButton(QWidget* parent, const char* name, const QString& text, QRect geometry);

// Shows `text` in a value label that carries an accessible name: a screen reader reads the
// name and not the text, so the text goes into the accessible description as well, where it
// is read after the name.
void showValue(QLabel* value, const QString& text);

// Reserves the room `sample` takes in `control`'s font, so that a value shown there later
// neither squeezes its neighbours nor moves them.
void reserveWidth(QWidget* control, const QString& sample);
// Reserves `lines` lines of height for a label whose text comes and goes.
void reserveLines(QLabel* label, int lines);

// A vertical scroll area around `content`, as wide as it is at its narrowest and sized to show
// all of it where the screen has room, that brings whatever takes the focus into sight,
// whether by Tab, a click or a refusal.
QScrollArea* scrolling(QWidget* content);

// Gives `window` the size it asks for (or `wanted`) where the screen has room for it, else
// the room the screen has, leaving space for a title bar.
void fitToScreen(QWidget* window, QSize wanted = {});

// Esc closes `window`, as it closes a dialog: for the windows that are forms of their own.
void closeOnEscape(QWidget* window);

} // namespace quarvet::ui
