#pragma once

#include <QString>

#include <functional>

class QDialog;
class QUrl;

// Opens the program's help file in the default browser, at `topic` when one is given and the
// file holds it (else at its contents). Where no browser takes the file, the program shows it in
// a window of its own, at the topic.
void OpenHelpTopic(const QString& topic = QString());
// Replaces the hand-over of help addresses to the desktop (tests); it answers whether the address
// was opened. An empty function restores the desktop's.
void SetHelpUrlOpener(std::function<bool(const QUrl&)> opener);
// The program's own help window while it is open, else nullptr.
QDialog* HelpViewer();
