#include "controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quarvet::ui {

QFont arial(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

QLineEdit* addEntryField(QWidget* parent, const char* name, const QString& accessibleName,
                         QRect geometry)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight);
    field->setGeometry(geometry);
    return field;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

} // namespace quarvet::ui
