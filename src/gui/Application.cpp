#include "gui/Application.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Splash98.h"

#include <QDir>
#include <QLockFile>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_terminationRequested = 0;
// A request to quit made before the event loop runs (while the data module bootstraps, or while
// the splash is being put up) must not be lost.
bool g_quitRequested = false;

void onTerminationSignal(int)
{
    g_terminationRequested = 1;
    const char byte = 1;
    const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
    static_cast<void>(written);
}

void reportAndLog(void (*box)(const QString&), const char* text, int level)
{
    box(QString::fromLatin1(text));
    WriteSystemLog(QString::fromLatin1(text), level);
}

// "Ask the application to quit" ends the event loop at its next turn without closing the
// windows first (closing the main window would run its close handler and wait). A hook already
// installed (by a test) is kept.
class QuitHookScope
{
public:
    QuitHookScope()
    {
        std::function<void()> previous = SetQuitHook([] {
            g_quitRequested = true;
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        });
        if (previous)
            SetQuitHook(std::move(previous));
        else
            m_installed = true;
    }
    ~QuitHookScope()
    {
        if (m_installed)
            SetQuitHook({});
    }
    QuitHookScope(const QuitHookScope&) = delete;
    QuitHookScope& operator=(const QuitHookScope&) = delete;

private:
    bool m_installed = false;
};

} // namespace

QuorvelApplication::QuorvelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuorvelApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ApplicationEventsException(QStringLiteral("unknown error"));
    }
    return false;
}

QString SingleInstanceLockFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/Quorvel.lock");
}

int RunQuorvel(const StartOptions& options)
{
    bool setByUser = false;
    const QString appPath = ResolveAppPath(&setByUser);
    ResolveFolders(appPath, setByUser);
    if (!EnsureLogDir()) {
        ShowErrorBox(QString::fromLatin1(lang::ERR00205)); // there is no log to write to
        return 1;
    }
    if (!EnsureConfDir()) {
        reportAndLog(ShowErrorBox, lang::ERR00204, LogLevel::ERROR);
        return 1;
    }
    if (!DriverLibraryPresent()) {
        reportAndLog(ShowErrorBox, lang::ERR00103, LogLevel::ERROR);
        return 1;
    }
    if (!HelpFilePresent())
        reportAndLog(ShowWarningBox, lang::ERR00003, LogLevel::WARMING);

    // One instance per user. A lock left by a run that crashed names a process that no longer
    // exists, and is taken over.
    QLockFile guard(SingleInstanceLockFile());
    guard.setStaleLockTime(0);
    if (!guard.tryLock(0)) {
        ShowWarningBox(QString::fromLatin1(lang::ERR00001));
        return 1;
    }

    QCoreApplication::setApplicationName(QStringLiteral("Quorvel"));
    g_quitRequested = false;
    QuitHookScope quitHook;

    TDMQuorvel dataModule;
    TFormMenu menu(options.menu);
    QObject::connect(&menu, &TFormMenu::closed, &menu, [] { QCoreApplication::exit(0); });
    // A termination signal or a request to quit during start-up ends the program here.
    if (g_terminationRequested || g_quitRequested)
        return 0;
    ShowSplash(options.splashPauseMs);
    menu.show();
    if (g_terminationRequested || g_quitRequested)
        return 0;
    return QCoreApplication::exec();
}

void InstallTerminationSignals()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return;
    }
    auto* notifier =
        new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buffer[32];
        while (::read(g_signalPipe[1], buffer, sizeof(buffer)) > 0) {
        }
        // No box may hold up the end: one that is open closes with the event loops, and none
        // opens from here on.
        SetStopRequested(true);
        if (TFormMenu* menu = FormMenu())
            menu->ActionCloseExecute();
        else
            QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
