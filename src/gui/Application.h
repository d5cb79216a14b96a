#pragma once

#include "gui/menu.h"

#include <QApplication>

// The application object: an error that escapes an event handler or a slot is caught here, at
// the application's edge, and handed to the error hook (logged and shown); the program goes on.
class QuorvelApplication : public QApplication
{
public:
    QuorvelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

struct StartOptions
{
    // How long the splash picture stays up.
    int splashPauseMs = 1500;
    TFormMenu::Options menu;
};

// The single-instance guard's lock file: Quorvel.lock in the user's runtime folder (or the
// temporary folder when there is none).
QString SingleInstanceLockFile();

// The program entry: installation checks, single-instance guard, data module, main window,
// splash, event loop. Returns the exit code; a stop before the event loop returns 1.
int RunQuorvel(const StartOptions& options = StartOptions());

// SIGTERM and SIGINT end the program as the Close command does (the destruction handler saves the
// settings and writes the last log line), also while a message box is open; no box is shown
// after the signal. Needs the application object.
void InstallTerminationSignals();
