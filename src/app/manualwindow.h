#pragma once

#include <QTextBrowser>

namespace quarvet::app {

// The program's manual, its README, built into the program so that Help finds it wherever the
// program runs; opened by Help > Manual and F1 from every window.
class ManualWindow : public QTextBrowser {
    Q_OBJECT
public:
    explicit ManualWindow(QWidget* parent);
};

} // namespace quarvet::app
