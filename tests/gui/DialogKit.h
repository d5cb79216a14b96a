#pragma once

// Helpers of the window tests: controls found by their caption (support/A11y.h), clicks as the
// window system delivers them, waiting for the focus.

#include "support/A11y.h"

#include <QTest>

// A double click as the window system delivers it: a click, then the double click.
inline void DoubleClickAt(QWidget* viewport, QPoint at)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
}

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWindow>

// Waits until `window` is the window that has the keyboard focus (the main window locks its
// commands at that moment); false after 5 s.
inline bool WaitUntilFocused(QWidget* window)
{
    QDeadlineTimer deadline(5000);
    while (QGuiApplication::focusWindow() == nullptr ||
           QGuiApplication::focusWindow() != window->windowHandle()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}
