#pragma once

// Finding the controls of a window as a screen reader does: by the accessible name, which is the
// caption a person sees. Tests that find controls this way keep working when a window's insides
// are rebuilt, as long as what is on screen stays.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

#include <stdexcept>

// The control of type W under `root` whose accessible name is `name` (the first one), or nullptr.
template <typename W> W* Named(QWidget* root, const QString& name)
{
    for (W* w : root->findChildren<W*>()) {
        if (w->accessibleName() == name)
            return w;
    }
    return nullptr;
}

// The accessible names of the controls of type W under `root`, in the order Qt finds them.
template <typename W> QStringList AccessibleNames(QWidget* root)
{
    QStringList names;
    for (W* w : root->findChildren<W*>()) {
        if (!w->accessibleName().isEmpty())
            names << w->accessibleName();
    }
    return names;
}

// The control of type W under `root` captioned `name`. When there is none, throws, naming the
// window, the type and the captions that are there, so that the test fails saying what it
// looked for and what it found.
template <typename W> W* Control(QWidget* root, const QString& name)
{
    if (!root)
        throw std::runtime_error("no window to look for \"" + name.toStdString() + "\" in");
    if (W* w = Named<W>(root, name))
        return w;
    const QString window = root->objectName().isEmpty() ? QString::fromLatin1(root->metaObject()->className())
                                                        : root->objectName();
    throw std::runtime_error("no " + std::string(W::staticMetaObject.className()) + " captioned \"" +
                             name.toStdString() + "\" in " + window.toStdString() + "; captions there: \"" +
                             AccessibleNames<W>(root).join(QStringLiteral("\", \"")).toStdString() + "\"");
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
