#pragma once

#include <QTest>
#include <QWidget>

// Shows `window` and waits until it has the keyboard focus. A bare X server has no window
// manager to activate a new window, so it is asked for explicitly.
inline bool showActive(QWidget* window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}
