#pragma once

#include <QString>

#include <functional>

// The one way the program shows a modal message box (titled "Error", "Warning" or
// "Information", one OK button). The engine only talks to this interface; the GUI installs
// a QMessageBox implementation and tests install a recorder.
class Notifier
{
public:
    enum class Kind
    {
        Error,
        Warning,
        Information
    };

    virtual ~Notifier() = default;
    virtual void show(Kind kind, const QString& text) = 0;
    // A modal question with Yes and No; true for Yes. Without a way to ask, the answer is No.
    virtual bool confirm(const QString& text);

    static Notifier& instance();
    // Installs `notifier` (not owned) and returns the previous one; nullptr restores the default,
    // which writes the text to standard error.
    static Notifier* install(Notifier* notifier);
};

// The three boxes. Once the program has been asked to stop (SetStopRequested), none is shown.
void ShowErrorBox(const QString& text);
void ShowWarningBox(const QString& text);
void ShowInformationBox(const QString& text);
// Asks the question of `text` in a box titled "Confirmation"; true when the user says Yes.
bool ShowConfirmationBox(const QString& text);

// "Ask the application to quit": the event loop ends at its next turn. Tests replace the hook
// to observe the request; an empty function restores the default (QCoreApplication::quit).
void AskApplicationQuit();
std::function<void()> SetQuitHook(std::function<void()> hook);

// The program has been asked to stop (a termination signal): from now on no message box is
// shown, so nothing holds up the end. Tests reset it with false.
void SetStopRequested(bool requested = true);
bool StopRequested();
