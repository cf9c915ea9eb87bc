#include "controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

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

void closeOnEscape(QWidget* window)
{
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

} // namespace quarvet::ui
