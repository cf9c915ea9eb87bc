#pragma once

#include <QApplication>
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

// The widget that holds the keyboard focus once `window` is active. On a bare X server a late
// focus event for a window shown earlier can activate that window again, after `window` was
// made active; so a test asking where a window put its cursor first makes it active again.
// Such a late event may come even after `window` was active again: it is asked until it
// stays so for a moment.
inline QWidget* focusOnceActive(QWidget* window)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return nullptr;
        QTest::qWait(50);
        if (QApplication::activeWindow() == window)
            return QApplication::focusWidget();
    }
    return QApplication::focusWidget();
}
