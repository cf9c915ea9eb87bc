#pragma once

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

// The windows a test opened itself. When the test ends they go, and any other top-level
// window still there is a leak of the code under test (a box never closed, a dialog
// opened twice): cleanup() fails on it instead of sweeping it away.
class OpenedWindows {
public:
    template <typename Window> Window* add(Window* window)
    {
        windows_.append(window);
        return window;
    }

    // Deletes the test's own windows; the object names of the top-level windows left.
    QStringList closeAndListStrays()
    {
        for (const QPointer<QWidget>& window : std::as_const(windows_))
            delete window.data();
        windows_.clear();
        QStringList strays;
        for (QWidget* window : QApplication::topLevelWidgets())
            strays << window->metaObject()->className() + QStringLiteral(" ") +
                          window->objectName();
        return strays;
    }

private:
    QList<QPointer<QWidget>> windows_;
};
