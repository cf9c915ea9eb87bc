#include "manualwindow.h"

#include "ui/controls.h"

#include <QFile>

namespace quarvet::app {

ManualWindow::ManualWindow(QWidget* parent) : QTextBrowser(parent)
{
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("Manual"));
    setWindowTitle(QStringLiteral("Quarvet manual"));
    setAccessibleName(QStringLiteral("Manual"));
    setOpenExternalLinks(true);
    // Its pictures are named from where README stands.
    setSearchPaths({QStringLiteral(":/quarvet/manual")});
    QFile manual(QStringLiteral(":/quarvet/manual/README.md"));
    if (manual.open(QIODevice::ReadOnly))
        setMarkdown(QString::fromUtf8(manual.readAll()));
    else
        setPlainText(QStringLiteral("The manual is not built into this program."));
    ui::fitToScreen(this, QSize(900, 700));
}

} // namespace quarvet::app
