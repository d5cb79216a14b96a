#pragma once

// Finding the controls of a configuration window as a screen reader does: by the accessible name
// (the caption a person sees).

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

// The control of type W under `root` whose accessible name is `name` (the first one), or nullptr.
template <typename W> W* Named(QWidget* root, const QString& name)
{
    for (W* w : root->findChildren<W*>()) {
        if (w->accessibleName() == name)
            return w;
    }
    return nullptr;
}

// Every input, list and button under `root` that has no accessible name, by class and object
// name (the parts Qt builds inside tab bars, combo boxes and file dialogs are not ours).
inline QStringList UnnamedControls(QWidget* root)
{
    QStringList unnamed;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) ||
                             (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w));
        if (!control)
            continue;
        bool ours = true;
        for (QWidget* up = w->parentWidget(); up && up != root; up = up->parentWidget()) {
            if (qobject_cast<QTabBar*>(up) || qobject_cast<QComboBox*>(up) || qobject_cast<QFileDialog*>(up))
                ours = false;
        }
        if (ours && w->accessibleName().isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
    }
    return unnamed;
}

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
