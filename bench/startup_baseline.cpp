// The least Qt Widgets program with a window like the main window: a menu bar with four
// commands, a group box with captions, six text fields and a button. It shows the start-up
// cost of Qt itself, against which the program is measured.
#include "app/startupprobe.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    QMenu* first = window.menuBar()->addMenu(QStringLiteral("&Controlling"));
    first->addAction(QStringLiteral("&Calculate"));
    first->addAction(QStringLiteral("&End of Program"));
    QMenu* second = window.menuBar()->addMenu(QStringLiteral("&Options"));
    second->addAction(QStringLiteral("&Setup"));
    second->addAction(QStringLiteral("&Info"));
    auto* client = new QWidget(&window);
    window.setCentralWidget(client);
    auto* title = new QLabel(QStringLiteral("Quarvet"), client);
    title->setGeometry(16, 24, 225, 65);
    auto* frame = new QGroupBox(QStringLiteral("Measured value"), client);
    frame->setGeometry(8, 96, 489, 153);
    for (int i = 0; i < 12; ++i)
        (new QLabel(QStringLiteral("Label"), frame))->setGeometry(8 + 40 * i, 40, 38, 25);
    for (int i = 0; i < 6; ++i)
        (new QLineEdit(frame))->setGeometry(8 + 80 * i, 80, 65, 25);
    (new QPushButton(QStringLiteral("&Calculate"), frame))->setGeometry(376, 16, 81, 25);
    window.resize(507, 460);
    quarvet::app::armStartupProbe(&window);
    window.show();
    return app.exec();
}
