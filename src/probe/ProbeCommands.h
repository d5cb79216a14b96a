#pragma once

#include "database/ServiceStore.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

// quorvel-probe: runs one check once, built exactly as the monitoring cycle builds it for a
// stored service, or delivers one alarm, built exactly as the dispatcher builds it from the
// alarm-method settings, and prints "ResultText ResultDetail".

// Exit statuses (alarms: 0 sent, 2 error).
constexpr int ProbeExitPassed = 0;
constexpr int ProbeExitFailed = 2;
constexpr int ProbeExitUsage = 3;

// A command line that cannot be run; the message says why.
class ProbeUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One option of a command, written "--name VALUE" or "--name=VALUE".
struct ProbeOption
{
    QString name;      // without the leading "--"
    QString valueName; // shown in the help, e.g. "MS"
    QString help;
    bool repeatable = false;
    bool required = false; // the command cannot run without it
    bool flag = false;     // written "--name" alone; takes no value
};

// The parsed command line of one command.
struct ProbeInvocation
{
    QString target;                    // the URL or host name
    int port = 0;                      // --port, or the command's default
    int timeout = 10000;               // --timeout, or the command's default, milliseconds
    QMap<QString, QStringList> values; // every option given, by name, in order

    // The last value of `name`, or `fallback` when the option was not given.
    QString value(const QString& name, const QString& fallback = QString()) const;
    QStringList all(const QString& name) const { return values.value(name); }
    bool has(const QString& name) const { return values.contains(name); }
    // A "--proxy HOST:PORT" value taken apart; an empty host and port 0 when not given.
    void proxy(QString* host, int* proxyPort) const;
};

// The outcome printed by the program.
struct ProbeOutcome
{
    bool passed = false;
    QString resultText;
    QString resultDetail;
    QStringList notes;           // remarks for the error stream, e.g. a value taken as a stored one would be
    double seconds = -1;         // how long a check took, from its start to its verdict; -1 for alarms
    std::optional<int> certDays; // whole days the server's certificate had left, where one was read
    int certWarnDays = 0;        // the days of warning the check used (0: none)
};

// The performance data printed after a check's text, as monitoring plugins write it:
// "time=0.012345s;;;0.000000" (label=value with its unit, no warning or critical level, minimum 0).
QString ProbePerformanceData(double seconds);
// The certificate's part of it, where the days left are known: "cert_days=41;14;;0" (the days
// left, the warning days, empty when off, minimum 0).
QString ProbeCertificatePerformanceData(int daysLeft, int warnDays);

// One command of the program. To add one, append an entry to ProbeCommands().
struct ProbeCommand
{
    QString name;     // first word of the command line, e.g. "url"
    QString argument; // the positional argument's name, e.g. "URL"
    QString summary;  // one line for the command list
    QString details;  // more lines for the command's own help (may be empty)
    int defaultPort = 0;
    std::vector<ProbeOption> options; // beyond the common ones
    // Builds the work item from the invocation, runs it once and returns its results. Throws
    // ProbeUsageError for values that do not fit.
    std::function<ProbeOutcome(const ProbeInvocation&)> run;
    // An alarm delivery ("Sent" or "Error") rather than a check; its time-out defaults to 5000 ms,
    // the alarm methods' default, instead of 10000.
    bool alarm = false;
    QStringList commonNotTaken; // common options this command refuses, e.g. "user"
};

// The options every command takes (unless it lists one in commonNotTaken): --port, --timeout,
// --user, --password.
const std::vector<ProbeOption>& CommonProbeOptions();
const std::vector<ProbeCommand>& ProbeCommands();

// Parses the arguments after the command name. Throws ProbeUsageError.
ProbeInvocation ParseProbeArguments(const ProbeCommand& command, const QStringList& arguments);

// The whole program on `arguments` (without the program name): writes to `out` and `err` and
// returns the exit status.
int RunProbe(const QStringList& arguments, QString& out, QString& err);

// The service a check command describes, as a stored row would hold it: kind `kind`, the target
// as ip, --port, --user and --password, --proxy HOST:PORT with --proxy-user and --proxy-password,
// and for "URL" --method (default "Get"), the request headers and the --field lines, for "FTP"
// --proxy-type (default "fpcmNone"). Not stored: id 0, no alarm flags.
ServiceRecord ProbeServiceRecord(const QString& kind, const ProbeInvocation& in);

class ThreadCheck;
// The check a check command runs: ProbeServiceRecord built by the monitoring cycle's builder of
// that kind, with origin "Product", no retry and --timeout.
std::unique_ptr<ThreadCheck> BuildProbeCheck(const QString& kind, const ProbeInvocation& in);

// Help texts.
QString ProbeHelp();
QString ProbeCommandHelp(const ProbeCommand& command);
