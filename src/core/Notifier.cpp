#include "core/Notifier.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>

namespace {

class StderrNotifier final : public Notifier
{
public:
    void show(Kind kind, const QString& text) override
    {
        const char* title = kind == Kind::Error ? "Error" : kind == Kind::Warning ? "Warning" : "Information";
        std::fprintf(stderr, "%s: %s\n", title, text.toLocal8Bit().constData());
    }
};

StderrNotifier g_stderrNotifier;
Notifier* g_notifier = nullptr;
std::function<void()> g_quitHook;
bool g_stopRequested = false;

void show(Notifier::Kind kind, const QString& text)
{
    if (!g_stopRequested)
        Notifier::instance().show(kind, text);
}

} // namespace

bool Notifier::confirm(const QString& text)
{
    std::fprintf(stderr, "Confirmation: %s (answered No)\n", text.toLocal8Bit().constData());
    return false;
}

Notifier& Notifier::instance()
{
    return g_notifier ? *g_notifier : static_cast<Notifier&>(g_stderrNotifier);
}

Notifier* Notifier::install(Notifier* notifier)
{
    Notifier* previous = g_notifier;
    g_notifier = notifier;
    return previous;
}

void ShowErrorBox(const QString& text)
{
    show(Notifier::Kind::Error, text);
}
void ShowWarningBox(const QString& text)
{
    show(Notifier::Kind::Warning, text);
}
void ShowInformationBox(const QString& text)
{
    show(Notifier::Kind::Information, text);
}

void SetStopRequested(bool requested)
{
    g_stopRequested = requested;
}

bool StopRequested()
{
    return g_stopRequested;
}

bool ShowConfirmationBox(const QString& text)
{
    return Notifier::instance().confirm(text);
}

void AskApplicationQuit()
{
    if (g_quitHook) {
        g_quitHook();
        return;
    }
    // Queued, so the loop ends at its next turn rather than in the middle of the caller; exit()
    // rather than quit(), which in Qt 6 would first close every window (and run their close
    // handlers).
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

std::function<void()> SetQuitHook(std::function<void()> hook)
{
    std::function<void()> previous = std::move(g_quitHook);
    g_quitHook = std::move(hook);
    return previous;
}
