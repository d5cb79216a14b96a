#include "probe/ProbeCommands.h"

#include "checks/ThreadFTPCheckUnit.h"
#include "checks/ThreadIMAPCheckUnit.h"
#include "checks/ThreadPOP3CheckUnit.h"
#include "checks/ThreadPingCheckUnit.h"
#include "checks/ThreadSMTPCheckUnit.h"
#include "checks/ThreadURLCheck.h"
#include "core/langLibrary.h"

#include <QTextStream>

#include <algorithm>

namespace {

const QString kProgram = QStringLiteral("quorvel-probe");

// The values of the check frame as the monitoring cycle fills them for a stored service: origin
// "Product", the service's host and port, no retry (one attempt), no alarms.
ThreadCheckArgs checkArgs(const ProbeInvocation& in)
{
    ThreadCheckArgs args;
    args.Origin = QString::fromLatin1(lang::OriginProduct);
    args.ServiceId = 0;
    args.Host = in.target;
    args.Port = in.port;
    args.Retry = 0;
    args.Timeout = in.timeout;
    return args;
}

// Runs a work item once on this thread and takes its results (checks and alarm senders alike).
template <class Item> ProbeOutcome runOnce(Item& item)
{
    item.Execute();
    return {item.Passed, item.ResultText, item.ResultDetail};
}

ProbeOutcome runUrl(const ProbeInvocation& in)
{
    ThreadCheckArgs args = checkArgs(in);
    args.Host = ThreadURLCheck::UrlOf(in.target);
    URLCheckArgs url;
    url.Method = in.value(QStringLiteral("method"), QStringLiteral("Get"));
    url.FormFields = in.all(QStringLiteral("field"));
    url.Body = URLCheckArgs::BodyOf(url.FormFields);
    url.UserName = in.value(QStringLiteral("user"));
    url.Password = in.value(QStringLiteral("password"));
    in.proxy(&url.ProxyHost, &url.ProxyPort);
    url.ProxyUserName = in.value(QStringLiteral("proxy-user"));
    url.ProxyPassword = in.value(QStringLiteral("proxy-password"));
    url.Referer = in.value(QStringLiteral("referer"));
    url.Cookie = in.value(QStringLiteral("cookie"));
    url.UserAgent = in.value(QStringLiteral("user-agent"));
    url.ContentType = in.value(QStringLiteral("content-type"));
    url.Accept = in.value(QStringLiteral("accept"));
    url.AcceptCharSet = in.value(QStringLiteral("accept-charset"));
    url.AcceptEncoding = in.value(QStringLiteral("accept-encoding"));
    url.AcceptLanguage = in.value(QStringLiteral("accept-language"));
    ThreadURLCheck check(args, url);
    return runOnce(check);
}

ProbeOutcome runPing(const ProbeInvocation& in)
{
    ThreadPingCheck check(checkArgs(in));
    return runOnce(check);
}

ProbeOutcome runSmtp(const ProbeInvocation& in)
{
    ThreadSMTPCheck check(checkArgs(in), in.value(QStringLiteral("user")),
                          in.value(QStringLiteral("password")));
    return runOnce(check);
}

ProbeOutcome runPop3(const ProbeInvocation& in)
{
    ThreadPOP3Check check(checkArgs(in), in.value(QStringLiteral("user")),
                          in.value(QStringLiteral("password")));
    return runOnce(check);
}

ProbeOutcome runImap(const ProbeInvocation& in)
{
    ThreadIMAPCheck check(checkArgs(in), in.value(QStringLiteral("user")),
                          in.value(QStringLiteral("password")));
    return runOnce(check);
}

ProbeOutcome runFtp(const ProbeInvocation& in)
{
    FtpCheckArgs ftp;
    ftp.UserName = in.value(QStringLiteral("user"));
    ftp.Password = in.value(QStringLiteral("password"));
    in.proxy(&ftp.ProxyHost, &ftp.ProxyPort);
    ftp.ProxyType = in.value(QStringLiteral("proxy-type"), QStringLiteral("fpcmNone"));
    ftp.ProxyUser = in.value(QStringLiteral("proxy-user"));
    ftp.ProxyPassword = in.value(QStringLiteral("proxy-password"));
    ThreadFTPCheck check(checkArgs(in), ftp);
    return runOnce(check);
}

ProbeOption option(const char* name, const char* valueName, const char* help, bool repeatable = false)
{
    return {QString::fromLatin1(name), QString::fromLatin1(valueName), QString::fromLatin1(help), repeatable};
}

std::vector<ProbeCommand> makeCommands()
{
    const ProbeOption proxy = option("proxy", "HOST:PORT", "send the request through this HTTP proxy");
    const ProbeOption proxyUser = option("proxy-user", "NAME", "user name for the proxy");
    const ProbeOption proxyPassword = option("proxy-password", "TEXT", "password for the proxy");

    std::vector<ProbeCommand> commands;
    commands.push_back(
        {QStringLiteral("url"),
         QStringLiteral("URL"),
         QStringLiteral("one HTTP/1.1 request, redirects followed (at most 5); passes on a 2xx answer"),
         QStringLiteral("URL is the service's address; \"http://\" is put in front unless it begins so.\n"
                        "The request goes to the URL's port (80 when it names none) or to the proxy;\n"
                        "--port is the service's stored port and does not change where it goes.\n"
                        "Method texts other than the seven listed send HEAD, as for a stored service."),
         0,
         {option("method", "TEXT", "Get, Post, Put, Head, Options, Trace or Delete (default Get)"),
          option("field", "NAME=VALUE", "a form field; repeat it for more, in order (POST and PUT)", true),
          option("cookie", "TEXT", "cookie text; its leading name=value is sent"),
          option("referer", "TEXT", "Referer header"), option("user-agent", "TEXT", "User-Agent header"),
          option("content-type", "TEXT", "Content-Type header"), option("accept", "TEXT", "Accept header"),
          option("accept-charset", "TEXT", "Accept-Charset header"),
          option("accept-encoding", "TEXT", "Accept-Encoding header"),
          option("accept-language", "TEXT", "Accept-Language header"), proxy,
          option("proxy-user", "NAME", "user name for the proxy (sent as Basic proxy credentials)"),
          option("proxy-password", "TEXT", "password for the proxy")},
         runUrl});
    commands.push_back({QStringLiteral("ping"),
                        QStringLiteral("HOST"),
                        QStringLiteral("one ICMP echo request; passes when its reply arrives in time"),
                        QString(),
                        0,
                        {},
                        runPing});
    commands.push_back({QStringLiteral("smtp"),
                        QStringLiteral("HOST"),
                        QStringLiteral("SMTP greeting and EHLO (or HELO); no message is sent"),
                        QString(),
                        25,
                        {},
                        runSmtp});
    commands.push_back({QStringLiteral("pop3"),
                        QStringLiteral("HOST"),
                        QStringLiteral("POP3 greeting and USER/PASS login with --user and --password"),
                        QString(),
                        110,
                        {},
                        runPop3});
    commands.push_back({QStringLiteral("imap"),
                        QStringLiteral("HOST"),
                        QStringLiteral("IMAP greeting and LOGIN with --user and --password"),
                        QString(),
                        143,
                        {},
                        runImap});
    commands.push_back(
        {QStringLiteral("ftp"),
         QStringLiteral("HOST"),
         QStringLiteral("FTP greeting, login, TYPE I and SYST"),
         QString(),
         21,
         {proxy,
          option("proxy-type", "KIND",
                 "fpcmNone, fpcmUserSite, fpcmSite, fpcmOpen, fpcmUserPass, fpcmTransparent or "
                 "fpcmHttpProxyWithFtp (default fpcmNone)"),
          proxyUser, proxyPassword},
         runFtp});
    return commands;
}

const ProbeCommand* findCommand(const QString& name)
{
    for (const ProbeCommand& c : ProbeCommands()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

// A whole decimal number in [low, high]; ProbeUsageError otherwise.
int numberArgument(const QString& option, const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    const bool digits =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digits || value < low || value > high)
        throw ProbeUsageError(QStringLiteral("--%1 needs a whole number from %2 to %3, not \"%4\"")
                                  .arg(option)
                                  .arg(low)
                                  .arg(high)
                                  .arg(text)
                                  .toStdString());
    return value;
}

QString optionLines(const std::vector<ProbeOption>& options)
{
    QString text;
    for (const ProbeOption& o : options) {
        const QString head = QStringLiteral("  --") + o.name + QLatin1Char(' ') + o.valueName;
        text += head.leftJustified(28) + QLatin1Char(' ') + o.help + QLatin1Char('\n');
    }
    return text;
}

// Keeps the printed result on one line whatever the texts hold.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

QString ProbeInvocation::value(const QString& name, const QString& fallback) const
{
    const auto it = values.find(name);
    return it == values.end() || it->isEmpty() ? fallback : it->last();
}

void ProbeInvocation::proxy(QString* host, int* proxyPort) const
{
    *host = QString();
    *proxyPort = 0;
    const QString text = value(QStringLiteral("proxy"));
    if (text.isEmpty())
        return;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        throw ProbeUsageError(QStringLiteral("--proxy needs HOST:PORT, not \"%1\"").arg(text).toStdString());
    *host = text.left(colon);
    *proxyPort = numberArgument(QStringLiteral("proxy"), text.mid(colon + 1), 1, 65535);
}

const std::vector<ProbeOption>& CommonProbeOptions()
{
    static const std::vector<ProbeOption> options = {
        option("port", "N", "the service's port (default: the command's, see above)"),
        option("timeout", "MS", "time-out in milliseconds (default 10000)"),
        option("user", "NAME", "the service's user name"),
        option("password", "TEXT", "the service's password"),
    };
    return options;
}

const std::vector<ProbeCommand>& ProbeCommands()
{
    static const std::vector<ProbeCommand> commands = makeCommands();
    return commands;
}

ProbeInvocation ParseProbeArguments(const ProbeCommand& command, const QStringList& arguments)
{
    std::vector<ProbeOption> known = CommonProbeOptions();
    known.insert(known.end(), command.options.begin(), command.options.end());
    auto find = [&known](const QString& name) -> const ProbeOption* {
        for (const ProbeOption& o : known) {
            if (o.name == name)
                return &o;
        }
        return nullptr;
    };

    ProbeInvocation in;
    in.port = command.defaultPort;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--")))
            throw ProbeUsageError(QStringLiteral("unknown option \"%1\"").arg(arg).toStdString());
        QString name = arg.mid(2);
        QString value;
        bool inlineValue = false;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
            inlineValue = true;
        }
        const ProbeOption* o = find(name);
        if (!o)
            throw ProbeUsageError(
                QStringLiteral("the %1 command has no option --%2").arg(command.name, name).toStdString());
        if (!inlineValue) {
            if (i + 1 >= arguments.size())
                throw ProbeUsageError(QStringLiteral("--%1 needs a value").arg(name).toStdString());
            value = arguments[++i];
        }
        if (!o->repeatable && in.values.contains(name))
            throw ProbeUsageError(QStringLiteral("--%1 is given more than once").arg(name).toStdString());
        in.values[name] << value;
    }
    if (positional.isEmpty())
        throw ProbeUsageError(
            QStringLiteral("%1 needs a %2").arg(command.name, command.argument).toStdString());
    if (positional.size() > 1)
        throw ProbeUsageError(QStringLiteral("%1 takes one %2; \"%3\" is one too many")
                                  .arg(command.name, command.argument, positional[1])
                                  .toStdString());
    in.target = positional.first();
    if (in.target.isEmpty())
        throw ProbeUsageError(
            QStringLiteral("%1 needs a non-empty %2").arg(command.name, command.argument).toStdString());

    if (in.has(QStringLiteral("port")))
        in.port = numberArgument(QStringLiteral("port"), in.value(QStringLiteral("port")), 0, 65535);
    if (in.has(QStringLiteral("timeout")))
        in.timeout =
            numberArgument(QStringLiteral("timeout"), in.value(QStringLiteral("timeout")), 1, 3600000);
    for (const QString& field : in.all(QStringLiteral("field"))) {
        if (!field.contains(QLatin1Char('=')))
            throw ProbeUsageError(
                QStringLiteral("--field needs NAME=VALUE, not \"%1\"").arg(field).toStdString());
    }
    QString proxyHost;
    int proxyPort = 0;
    in.proxy(&proxyHost, &proxyPort); // refuses a malformed --proxy before anything runs
    return in;
}

QString ProbeHelp()
{
    QString text;
    QTextStream s(&text);
    s << "Usage: " << kProgram << " COMMAND [options] TARGET\n"
      << "       " << kProgram << " COMMAND --help\n\n"
      << "Runs one check of a service once, built exactly as the Quorvel monitoring cycle builds it\n"
      << "for a stored service, and prints one line: the result (\"Passed\" or \"Failed\"), a blank\n"
      << "and the detail (\"[host:port] text\", followed by \":\" and the error after a failure).\n"
      << "Meant for cron jobs, other monitoring systems and trying a service by hand.\n\n"
      << "Commands:\n";
    for (const ProbeCommand& c : ProbeCommands()) {
        const QString head = QStringLiteral("  ") + c.name + QStringLiteral(" [options] ") + c.argument;
        s << head.leftJustified(28) << ' ' << c.summary << '\n';
    }
    s << "\nOptions of every command:\n" << optionLines(CommonProbeOptions());
    s << QStringLiteral("  --help").leftJustified(28) << " describe the command\n";
    s << "\nDefault ports: ";
    QStringList ports;
    for (const ProbeCommand& c : ProbeCommands())
        ports << c.name + QLatin1Char(' ') + QString::number(c.defaultPort);
    s << ports.join(QStringLiteral(", ")) << ".\n";
    s << "\nExit status: 0 passed, 2 failed, 3 usage error.\n";
    return text;
}

QString ProbeCommandHelp(const ProbeCommand& command)
{
    QString text;
    QTextStream s(&text);
    s << "Usage: " << kProgram << ' ' << command.name << " [options] " << command.argument << "\n\n"
      << command.summary.left(1).toUpper() << command.summary.mid(1) << ".\n";
    if (!command.details.isEmpty())
        s << command.details << '\n';
    if (!command.options.empty())
        s << "\nOptions:\n" << optionLines(command.options);
    s << "\nOptions of every command:\n" << optionLines(CommonProbeOptions());
    s << "\nDefault port: " << command.defaultPort << ". Exit status: 0 passed, 2 failed, 3 usage error.\n";
    return text;
}

int RunProbe(const QStringList& arguments, QString& out, QString& err)
{
    const QString tryHelp = QStringLiteral("Try \"%1 --help\".\n").arg(kProgram);
    if (arguments.isEmpty()) {
        err += kProgram + QStringLiteral(": no command given\n") + tryHelp;
        return ProbeExitUsage;
    }
    const QString& name = arguments.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        out += ProbeHelp();
        return ProbeExitPassed;
    }
    const ProbeCommand* command = findCommand(name);
    if (!command) {
        err += kProgram + QStringLiteral(": unknown command \"%1\"\n").arg(name) + tryHelp;
        return ProbeExitUsage;
    }
    const QStringList rest = arguments.mid(1);
    if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
        out += ProbeCommandHelp(*command);
        return ProbeExitPassed;
    }
    ProbeOutcome outcome;
    try {
        const ProbeInvocation in = ParseProbeArguments(*command, rest);
        if (command->name == QLatin1String("url") && in.has(QStringLiteral("method"))) {
            const QString method = in.value(QStringLiteral("method"));
            if (HttpMethodName(HttpMethodFromText(method)) == "HEAD" && method != QLatin1String("Head"))
                err += kProgram + QStringLiteral(": note: method text \"%1\" is not one of the stored texts; "
                                                 "HEAD is sent, as for a stored service\n")
                                      .arg(method);
        }
        outcome = command->run(in);
    } catch (const ProbeUsageError& e) {
        err += kProgram + QStringLiteral(": ") + QString::fromUtf8(e.what()) + QLatin1Char('\n') +
               QStringLiteral("Try \"%1 %2 --help\".\n").arg(kProgram, command->name);
        return ProbeExitUsage;
    } catch (const std::exception& e) {
        err += kProgram + QStringLiteral(": ") + QString::fromUtf8(e.what()) + QLatin1Char('\n');
        return ProbeExitFailed;
    }
    out += oneLine(outcome.resultText) + QLatin1Char(' ') + oneLine(outcome.resultDetail) + QLatin1Char('\n');
    return outcome.passed ? ProbeExitPassed : ProbeExitFailed;
}
