#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace quarvet::ui {

// The maker's logo drawn at `size` logical pixels for a screen of `devicePixelRatio`.
QPixmap logoPixmap(QSize size, qreal devicePixelRatio);

// The program's icon, drawn from its vector original at the usual sizes.
QIcon programIcon();

} // namespace quarvet::ui
