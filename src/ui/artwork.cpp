#include "artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace quarvet::ui {
namespace {

QPixmap render(const QString& resource, QSize size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

} // namespace

QPixmap logoPixmap(QSize size, qreal devicePixelRatio)
{
    return render(QStringLiteral(":/quarvet/logo.svg"), size, devicePixelRatio);
}

QIcon programIcon()
{
    // The sizes title bars and task bars use; larger ones cost start-up time (rendering a
    // 256-pixel square is most of it), and launchers take the icon from the desktop entry.
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64})
        icon.addPixmap(render(QStringLiteral(":/quarvet/quarvet.svg"), QSize(side, side), 1.0));
    return icon;
}

} // namespace quarvet::ui
