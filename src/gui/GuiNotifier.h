#pragma once

#include "core/Notifier.h"

// The program's message boxes: a modal QMessageBox titled "Error", "Warning" or "Information"
// with one OK button, placed over the active window of the program.
class GuiNotifier final : public Notifier
{
public:
    void show(Kind kind, const QString& text) override;
    bool confirm(const QString& text) override;
};
