#pragma once

#include "adjust/adjustmentwindow.h"
#include "app/mainwindow.h"

#include <QLineEdit>
#include <QStringList>

// The main window's two targets and two indicated values typed and calculated.
inline void calculateIn(quarvet::app::MainWindow& window, const QStringList& entries)
{
    const char* names[] = {"Soll1", "Soll2", "Ist1", "Ist2"};
    for (int n = 0; n < 4; ++n)
        window.findChild<QLineEdit*>(names[n])->setText(entries.value(n));
    window.calculate();
}

// The same, and the adjustment check that follows the calculation opened.
inline quarvet::adjust::AdjustmentWindow* openCheckAfter(quarvet::app::MainWindow& window,
                                                         const QStringList& entries)
{
    calculateIn(window, entries);
    window.showAdjustmentCheck();
    return window.findChild<quarvet::adjust::AdjustmentWindow*>();
}
