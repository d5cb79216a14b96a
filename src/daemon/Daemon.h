#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct DaemonOptions
{
    enum class Action
    {
        Run,
        CheckConfig,
        Help,
        Version,
        UsageError
    };
    Action action = Action::Run;
    QString configFile; // empty: the installation's conf/SysInit.ini
    QString error;      // for UsageError
};

// Exit statuses, as the users of a Unix service expect them.
enum DaemonExit : int
{
    ExitOk = 0,
    ExitFailure = 1,
    ExitUsage = 2
};

// Reads the arguments that follow the program name.
DaemonOptions ParseDaemonOptions(const QStringList& arguments);

// The texts of --help and --version.
QString DaemonHelpText();
QString DaemonVersionText();

// The environment variable that shortens the minute tick, and the interval it asks for (ms), or
// 0 when it is unset or out of its range (100 to 60000).
inline constexpr char kTickVariable[] = "QUORVELD_TICK_MS";
int TickIntervalFromEnvironment();

// Runs the program for `options` (Run or CheckConfig) on the application object that exists;
// returns the exit status.
int RunDaemon(const DaemonOptions& options);
