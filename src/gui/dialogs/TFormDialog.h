#pragma once

#include <QDialog>

class QWidget;

// The frame every configuration window of the program shares: a separate, always-on-top window
// that the main window opens (and that locks the main window's commands by taking the focus).
// It is created on first use and only hidden when closed; every showing runs FormShow, which
// reloads the window's data. Closing it in any way (its buttons, the close box, Escape) reports
// `closed`, on which the main window unlocks its commands. A window knows nothing of the main
// window: what it has to tell it goes out through the signals below.
class TFormDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TFormDialog(QWidget* parent = nullptr);

signals:
    // A line for the main window's status bar.
    void statusReported(const QString& text);
    // Services were added, changed or removed: the host tree and the service list are read again,
    // the list with `filter` (empty: the filter it shows now).
    void servicesChanged(const QString& filter);
    // The window is still open and wants the main window's commands locked again.
    void lockRequested();
    // The window was closed (hidden, not minimised); runs before FormClose.
    void closed();

protected:
    // Reloads the window's data; runs before every showing.
    virtual void FormShow() {}
    // Runs after the window was hidden, once the main window is unlocked.
    virtual void FormClose() {}

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

// Gives every button, check box and radio button under `root` its caption as accessible name, and
// every input that a label names (its buddy) the label's caption; "&" and a trailing ":" are left
// out. Inputs that already carry a name keep it. Call it once the window's controls exist.
void SetCaptionsAsAccessibleNames(QWidget* root);

// The caption without its "&" markers and without a trailing ":".
QString PlainCaption(const QString& caption);

// Opens `dialog` (created by `create` the first time) as the main window's dialogs open: shown,
// raised and activated.
template <typename Dialog, typename Create> Dialog* OpenFormDialog(Dialog*& dialog, Create create)
{
    if (!dialog)
        dialog = create();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}
