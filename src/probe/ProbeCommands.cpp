#include "probe/ProbeCommands.h"

#include "alarms/ThreadAlarm.h"
#include "checks/ThreadCertCheckUnit.h"
#include "checks/ThreadCheck.h"
#include "checks/UrlExpectation.h"
#include "core/AlarmMethodFields.h"
#include "core/AlarmMethodSettings.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "monitor/AlarmBuilders.h"
#include "monitor/CheckBuilders.h"
#include "net/DnsQuery.h"
#include "net/HttpClient.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>

namespace {

const QString kProgram = QStringLiteral("quorvel-probe");

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

// The certificate policy the options give, as [tls] of SysInit.ini would: --ca-file FILE,
// --no-verify and, for checks, --expiry-warn-days N (default 14). Alarms never refuse a
// certificate only because it ends soon.
TlsOptions probeTlsOptions(const ProbeInvocation& in, bool check)
{
    TlsOptions tls;
    tls.caFile = in.value(QStringLiteral("ca-file")).toStdString();
    tls.verify = !in.has(QStringLiteral("no-verify"));
    tls.expiryWarnDays = 0;
    if (check)
        tls.expiryWarnDays = in.has(QStringLiteral("expiry-warn-days"))
                                 ? numberArgument(QStringLiteral("expiry-warn-days"),
                                                  in.value(QStringLiteral("expiry-warn-days")), 0, 36500)
                                 : 14;
    return tls;
}

// Runs a work item once on this thread and takes its results (checks and alarm senders alike).
template <class Item> ProbeOutcome runOnce(Item& item)
{
    item.Execute();
    ProbeOutcome outcome;
    outcome.passed = item.Passed;
    outcome.resultText = item.ResultText;
    outcome.resultDetail = item.ResultDetail;
    return outcome;
}

ProbeOutcome runCheck(const char* kind, const ProbeInvocation& in)
{
    const std::unique_ptr<ThreadCheck> check = BuildProbeCheck(QString::fromLatin1(kind), in);
    if (!check)
        throw std::runtime_error("the check of kind " + std::string(kind) + " could not be built");
    QElapsedTimer timer;
    timer.start();
    ProbeOutcome outcome = runOnce(*check);
    outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
    outcome.certDays = check->CertDaysLeft;
    outcome.certWarnDays = check->Tls.expiryWarnDays;
    return outcome;
}

// The options that set what the body must hold, each with its mode; at most one may be given.
const std::pair<const char*, UrlExpectMode> kExpectOptions[] = {
    {"expect-text", UrlExpectMode::Contains},
    {"expect-no-text", UrlExpectMode::NotContains},
    {"expect-regex", UrlExpectMode::Matches},
    {"expect-json", UrlExpectMode::JsonValue},
};

// The expectation the options give (none when no option does). Throws ProbeUsageError for two of
// them, for one that could not run, and for one with a HEAD request, whose answer has no body.
UrlExpectation probeExpectation(const ProbeInvocation& in)
{
    UrlExpectation expect;
    QStringList given;
    for (const auto& [name, mode] : kExpectOptions) {
        const QString key = QString::fromLatin1(name);
        if (!in.has(key))
            continue;
        given << QStringLiteral("--") + key;
        expect.Mode = mode;
        expect.Text = in.value(key);
    }
    if (given.size() > 1)
        throw ProbeUsageError(QStringLiteral("%1 exclude each other: give one of them")
                                  .arg(given.join(QStringLiteral(" and ")))
                                  .toStdString());
    if (!expect.isSet())
        return expect;
    const QString problem = UrlExpectationProblem(expect);
    if (!problem.isEmpty())
        throw ProbeUsageError((given.first() + QStringLiteral(": ") + problem).toStdString());
    const QString method = in.value(QStringLiteral("method"), QStringLiteral("Get"));
    if (HttpMethodFromText(method) == HttpMethod::Head)
        throw ProbeUsageError(QStringLiteral("%1 needs a body, and an answer to HEAD has none (--method %2)")
                                  .arg(given.first(), method)
                                  .toStdString());
    return expect;
}

// The runner of a check command whose options need no test beyond the shared ones.
std::function<ProbeOutcome(const ProbeInvocation&)> plainCheck(const char* kind)
{
    return [kind](const ProbeInvocation& in) { return runCheck(kind, in); };
}

ProbeOutcome runTcp(const ProbeInvocation& in)
{
    if (in.port <= 0)
        throw ProbeUsageError("tcp needs --port N");
    return runCheck(lang::KindTCP, in);
}

ProbeOutcome runDns(const ProbeInvocation& in)
{
    DnsType type = DnsType::A;
    const QString text = in.value(QStringLiteral("type"), QStringLiteral("A"));
    if (!DnsTypeFromText(text.toStdString(), &type))
        throw ProbeUsageError(("--type \"" + text + "\" is not one of: ").toStdString() + DnsTypeNames());
    if (in.port <= 0)
        throw ProbeUsageError("--port needs a whole number from 1 to 65535 for dns");
    return runCheck(lang::KindDNS, in);
}

ProbeOutcome runCert(const ProbeInvocation& in)
{
    const QString mode = in.value(QStringLiteral("starttls")).toLower();
    if (in.has(QStringLiteral("starttls")) &&
        (mode.isEmpty() || !ThreadCertCheck::StartTlsModes().contains(mode)))
        throw ProbeUsageError(("--starttls \"" + in.value(QStringLiteral("starttls")) +
                               "\" is not one of: smtp, imap, pop3, ftp")
                                  .toStdString());
    ProbeInvocation adjusted = in;
    if (!in.has(QStringLiteral("port")))
        adjusted.port = ThreadCertCheck::UsualPort(mode);
    if (adjusted.port <= 0)
        throw ProbeUsageError("--port needs a whole number from 1 to 65535 for cert");
    return runCheck(lang::KindCert, adjusted);
}

// ---- alarms ---------------------------------------------------------------------------------
// Each alarm command fills the settings group of its method as the loader fills it from a stored
// row (hosts without "http://", the gateway URL with it) and lets the dispatcher's own builder
// make the work item, so the probe sends exactly what the monitoring cycle sends.

// The alarm methods' stored defaults (table alarm_method).
constexpr int kAlarmTimeout = alarmdefault::TimeoutMs;
constexpr int kSmsVersion = alarmdefault::SmppVersion;
constexpr int kSmsTonNpi = alarmdefault::SmppTonNpi;

// A whole number option in [low, high], or `fallback` when it was not given.
int numberOption(const ProbeInvocation& in, const char* name, int fallback, int low, int high)
{
    const QString key = QString::fromLatin1(name);
    return in.has(key) ? numberArgument(key, in.value(key), low, high) : fallback;
}

// --password only makes sense with the user name option `userOption`.
bool credentialsGiven(const ProbeInvocation& in, const char* userOption)
{
    const QString user = QString::fromLatin1(userOption);
    if (in.has(QStringLiteral("password")) && !in.has(user))
        throw ProbeUsageError(QStringLiteral("--password needs --%1").arg(user).toStdString());
    return in.has(user);
}

// The catalogue's name `text` for option `name`, checked against `names` (exact spelling).
QString listedName(const ProbeInvocation& in, const char* name, const QStringList& names)
{
    const QString key = QString::fromLatin1(name);
    const QString text = in.value(key, names.first());
    if (!names.contains(text))
        throw ProbeUsageError(QStringLiteral("--%1 \"%2\" is not one of: %3")
                                  .arg(key, text, names.join(QStringLiteral(", ")))
                                  .toStdString());
    return text;
}

// Builds the work item of `method` as the dispatcher does, from `settings`, and delivers it once.
ProbeOutcome deliverAlarm(const AlarmMethodSettingsRecord& settings, const char* method, const QString& text,
                          const QString& recipient, const TlsOptions& tls = TlsOptions())
{
    std::unique_ptr<ThreadAlarm> alarm =
        BuildAlarm(settings, QString::fromLatin1(method), text, recipient, tls);
    if (!alarm)
        throw std::runtime_error("the alarm method " + std::string(method) + " could not be built");
    return runOnce(*alarm);
}

ProbeOutcome runEmail(const ProbeInvocation& in)
{
    AlarmMethodSettingsRecord settings;
    EmailMethodSettings& m = settings.EmailMethod;
    m.enable = true;
    m.ip = StripHttpPrefix(in.value(QStringLiteral("server")));
    m.port = in.port;
    m.mail_agent = in.value(QStringLiteral("mail-agent"));
    m.from_address = in.value(QStringLiteral("from"));
    m.authenticate = credentialsGiven(in, "user");
    m.username = in.value(QStringLiteral("user"));
    m.password = in.value(QStringLiteral("password"));
    m.timeout = in.timeout;
    return deliverAlarm(settings, lang::MethodEmail, in.target, in.value(QStringLiteral("to")),
                        probeTlsOptions(in, false));
}

ProbeOutcome runSms(const ProbeInvocation& in)
{
    AlarmMethodSettingsRecord settings;
    SmsMethodSettings& m = settings.SmsMethod;
    m.enable = true;
    m.ip = StripHttpPrefix(in.value(QStringLiteral("smsc")));
    m.port = in.port;
    m.oa = in.value(QStringLiteral("oa"));
    m.authenticate = credentialsGiven(in, "system-id");
    m.username = in.value(QStringLiteral("system-id"));
    m.password = in.value(QStringLiteral("password"));
    m.sms_version = numberOption(in, "version", kSmsVersion, 0, limits::OctetMax);
    m.sms_system_type = in.value(QStringLiteral("system-type"));
    m.sms_ton = numberOption(in, "ton", kSmsTonNpi, 0, limits::OctetMax);
    m.sms_npi = numberOption(in, "npi", kSmsTonNpi, 0, limits::OctetMax);
    m.sms_dest_ton = numberOption(in, "dest-ton", kSmsTonNpi, 0, limits::OctetMax);
    m.sms_dest_npi = numberOption(in, "dest-npi", kSmsTonNpi, 0, limits::OctetMax);
    m.sms_orig_ton = numberOption(in, "orig-ton", kSmsTonNpi, 0, limits::OctetMax);
    m.sms_orig_npi = numberOption(in, "orig-npi", kSmsTonNpi, 0, limits::OctetMax);
    m.timeout = in.timeout;
    return deliverAlarm(settings, lang::MethodSMS, in.target, in.value(QStringLiteral("to")));
}

ProbeOutcome runHttpSms(const ProbeInvocation& in)
{
    AlarmMethodSettingsRecord settings;
    HttpSmsMethodSettings& m = settings.HttpSmsMethod;
    m.enable = true;
    m.ip = EnsureHttpPrefix(in.value(QStringLiteral("url")));
    m.port = in.port;
    m.method = in.value(QStringLiteral("method"), QStringLiteral("Get"));
    m.authenticate = credentialsGiven(in, "user");
    m.username = in.value(QStringLiteral("user"));
    m.password = in.value(QStringLiteral("password"));
    in.proxy(&m.proxy_ip, &m.proxy_port);
    m.proxy_username = in.value(QStringLiteral("proxy-user"));
    m.proxy_password = in.value(QStringLiteral("proxy-password"));
    m.field_msisdn = in.value(QStringLiteral("msisdn-field"));
    m.field_message = in.value(QStringLiteral("message-field"));
    m.timeout = in.timeout;

    // The gateway GETs only for the stored text "Get"; every other text posts form fields.
    const bool posts = m.method != QLatin1String("Get");
    if (posts && (m.field_msisdn.isEmpty() || m.field_message.isEmpty()))
        throw ProbeUsageError(QStringLiteral("--method %1 posts form fields: give --msisdn-field and "
                                             "--message-field")
                                  .arg(m.method)
                                  .toStdString());
    QStringList notes;
    if (posts && m.method != QLatin1String("Post"))
        notes << QStringLiteral("method text \"%1\" is not one of the stored texts; the fields are "
                                "POSTed, as for a stored gateway")
                     .arg(m.method);
    // The extra fields belong to a "Post" gateway only; for any other text they are not loaded.
    const QStringList extras = in.all(QStringLiteral("extra"));
    if (m.method == QLatin1String("Post"))
        settings.HttpSmsExtraFields = extras;
    else if (!extras.isEmpty())
        notes << QStringLiteral("--extra fields are sent only with --method Post; not sent");

    ProbeOutcome outcome = deliverAlarm(settings, lang::MethodSMSbyHTTP, in.target,
                                        in.value(QStringLiteral("to")), probeTlsOptions(in, false));
    outcome.notes = notes;
    return outcome;
}

ProbeOutcome runSysLog(const ProbeInvocation& in)
{
    AlarmMethodSettingsRecord settings;
    SysLogMethodSettings& m = settings.SysLogMethod;
    m.enable = true;
    m.ip = StripHttpPrefix(in.value(QStringLiteral("server")));
    m.port = in.port;
    m.facility = FacilityCode(listedName(in, "facility", lang::SyslogFacilities()));
    m.severity = SeverityCode(listedName(in, "severity", lang::SyslogSeverities()));
    m.timeout = in.timeout;
    // The builder applies the dispatcher's leading ":" rule to the text.
    return deliverAlarm(settings, lang::MethodSysLog, in.target, QString());
}

ProbeOption option(const char* name, const char* valueName, const char* help, bool repeatable = false)
{
    return {QString::fromLatin1(name), QString::fromLatin1(valueName), QString::fromLatin1(help), repeatable,
            false};
}

// `names` as indented lines of at most about 100 characters, ending with ".".
QString nameLines(const QStringList& names)
{
    QString text;
    QString line;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString item = names[i] + (i + 1 < names.size() ? QStringLiteral(",") : QStringLiteral("."));
        if (!line.isEmpty() && line.size() + 1 + item.size() > 100) {
            text += QStringLiteral("\n ") + line;
            line.clear();
        }
        line += QLatin1Char(' ') + item;
    }
    return text + QStringLiteral("\n ") + line;
}

ProbeOption requiredOption(const char* name, const char* valueName, const char* help)
{
    return {QString::fromLatin1(name), QString::fromLatin1(valueName), QString::fromLatin1(help), false,
            true};
}

ProbeOption flagOption(const char* name, const char* help)
{
    return {QString::fromLatin1(name), QString(), QString::fromLatin1(help), false, false, true};
}

// The certificate options of the commands that may speak TLS. Alarms never refuse a certificate
// only because it ends soon, so they take no --expiry-warn-days.
std::vector<ProbeOption> tlsOptions(bool check)
{
    std::vector<ProbeOption> options = {
        option("ca-file", "FILE", "PEM file of extra trust anchors, e.g. an internal CA (TLS only)"),
        flagOption("no-verify", "accept any certificate; the connection is still encrypted"),
    };
    if (check)
        options.push_back(option("expiry-warn-days", "N",
                                 "fail when the certificate ends within N days (default 14, 0 off)"));
    return options;
}

// `options` followed by `more`.
std::vector<ProbeOption> withOptions(std::vector<ProbeOption> options, const std::vector<ProbeOption>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

const char* const kMailTlsNote =
    "On port %1 the whole dialogue runs inside TLS; other ports stay in the clear.";

QString mailTlsDetails(int port)
{
    return QString::fromLatin1(kMailTlsNote).arg(port);
}

void addAlarmCommands(std::vector<ProbeCommand>& commands, const ProbeOption& proxy,
                      const ProbeOption& proxyUser, const ProbeOption& proxyPassword)
{
    commands.push_back(
        {QStringLiteral("email"),
         QStringLiteral("MESSAGE"),
         QStringLiteral("one e-mail with MESSAGE as its body to every --to address over SMTP"),
         QStringLiteral(
             "The message goes out as the \"Email\" alarm method sends it: subject \"Alarming Message\",\n"
             "From and Reply-To --from, all recipients in one To header, one RCPT each.\n"
             "With --user, AUTH LOGIN is used when the server offers it.\n"
             "On port 465 the whole dialogue runs inside TLS; on other ports the session switches\n"
             "to TLS with STARTTLS when the server offers it, before any login, and a failed\n"
             "switch is an error.\n"
             "Prints \"Sent \" or \"Error [host:port] reason\"."),
         alarmdefault::SmtpPort,
         withOptions(
             {requiredOption("server", "HOST", "the SMTP server"),
              requiredOption("from", "ADDR", "sender address (From, Reply-To, MAIL FROM)"),
              requiredOption("to", "ADDRS", "recipients, separated by \";\" (or \",\"), e.g. \"a@x;b@y\""),
              option("mail-agent", "TEXT", "X-Mailer header (none when not given)")},
             tlsOptions(false)),
         runEmail,
         true,
         {}});
    commands.push_back(
        {QStringLiteral("sms"),
         QStringLiteral("MESSAGE"),
         QStringLiteral("one short message over SMPP 3.4 to --to (bind, submit_sm, unbind)"),
         QStringLiteral("The message goes out as the \"SMS\" alarm method sends it, bound as a transmitter.\n"
                        "Credentials are --system-id and --password (without --system-id none are sent).\n"
                        "Defaults are those of a stored method: --version 34, every TON and NPI 1,\n"
                        "empty --oa and --system-type.\n"
                        "Prints \"Sent \" or \"Error \" and the SMPP error (ERR00801 to ERR00803 : result)."),
         alarmdefault::SmppPort,
         {requiredOption("smsc", "HOST", "the SMSC"),
          requiredOption("to", "NUMBER", "the mobile number (destination_addr)"),
          option("oa", "OA", "originating address (source_addr and the bind's address range)"),
          option("system-id", "NAME", "system_id of the bind"),
          option("system-type", "TEXT", "system_type of the bind (default empty)"),
          option("version", "N", "interface_version, 34 for SMPP 3.4 (default 34)"),
          option("ton", "N", "TON of the bind (default 1)"),
          option("npi", "N", "NPI of the bind (default 1)"),
          option("dest-ton", "N", "TON of the number (default 1)"),
          option("dest-npi", "N", "NPI of the number (default 1)"),
          option("orig-ton", "N", "TON of the originating address (default 1)"),
          option("orig-npi", "N", "NPI of the originating address (default 1)")},
         runSms,
         true,
         {QStringLiteral("user")}});
    commands.push_back(
        {QStringLiteral("httpsms"),
         QStringLiteral("MESSAGE"),
         QStringLiteral("one SMS handed to an HTTP SMS gateway for --to (GET or POST)"),
         QStringLiteral(
             "The request goes out as the \"SMS by HTTP\" alarm method sends it, User-Agent \"html\".\n"
             "--method Get: every \"$MSISDN\" and \"$MESSAGE\" in --url is replaced by the\n"
             "form-encoded number and message, and the URL is fetched.\n"
             "--method Post: --msisdn-field=NUMBER, --message-field=MESSAGE and the --extra fields\n"
             "are posted to --url. Another method text posts too, without the extra fields.\n"
             "\"http://\" is put in front of --url unless it begins with \"http://\" or \"https://\".\n"
             "The request goes to the URL's port (80, or 443 for https, when it names none) or to\n"
             "the proxy (a tunnel with CONNECT for https); --port is the gateway's stored port and\n"
             "does not change where it goes.\n"
             "With --proxy the request goes to that HTTP proxy; --proxy-user and --proxy-password go to\n"
             "the proxy alone, in a Proxy-Authorization header, while --user and --password go to the\n"
             "gateway.\n"
             "Prints \"Sent [url:port] status line\" or \"Error [url:port] status line:reason\"."),
         alarmdefault::HttpSmsPort,
         {requiredOption("url", "URL", "the gateway URL, for GET with $MSISDN and $MESSAGE in it"),
          requiredOption("to", "NUMBER", "the mobile number"),
          option("method", "TEXT", "Get or Post (default Get)"),
          option("msisdn-field", "NAME", "POST field name of the number"),
          option("message-field", "NAME", "POST field name of the message"),
          option("extra", "NAME=VALUE", "a further POST field; repeat it for more, in order", true), proxy,
          proxyUser, proxyPassword, tlsOptions(false)[0], tlsOptions(false)[1]},
         runHttpSms,
         true,
         {}});
    commands.push_back(
        {QStringLiteral("syslog"),
         QStringLiteral("MESSAGE"),
         QStringLiteral("one BSD syslog datagram (RFC 3164) over UDP to --server"),
         QStringLiteral(
             "The datagram goes out as the \"SysLog\" alarm method sends it:\n"
             "\"<PRI>Mmm dd hh:mm:ss\", this host's IPv4 address and MESSAGE, at most 1024 bytes.\n"
             "A MESSAGE with a \":\" after its first character gets a \":\" in front, as the\n"
             "alarms of the monitoring cycle do. Nothing is received: \"Sent \" means it left.\n"
             "Facility names:") +
             nameLines(lang::SyslogFacilities()) + QStringLiteral("\nSeverity names:") +
             nameLines(lang::SyslogSeverities()),
         alarmdefault::SysLogPort,
         {requiredOption("server", "HOST", "the syslog collector"),
          option("facility", "NAME", "facility by its name (default \"Kernel\")"),
          option("severity", "NAME", "severity by its name (default \"Emergency\")")},
         runSysLog,
         true,
         {QStringLiteral("user"), QStringLiteral("password")}});
}

std::vector<ProbeCommand> makeCommands()
{
    // url and httpsms: an HTTP proxy. ftp has proxy options of its own meaning.
    const ProbeOption proxy =
        option("proxy", "HOST:PORT", "HTTP proxy that every request goes through (none when not given)");
    const ProbeOption proxyUser =
        option("proxy-user", "NAME", "user name at the HTTP proxy, sent as Basic proxy credentials");
    const ProbeOption proxyPassword =
        option("proxy-password", "TEXT", "password at the HTTP proxy (see --proxy-user)");

    std::vector<ProbeCommand> commands;
    commands.push_back(
        {QStringLiteral("url"),
         QStringLiteral("URL"),
         QStringLiteral("one HTTP/1.1 request, redirects followed (at most 5); passes on a 2xx answer"),
         QStringLiteral(
             "URL is the service's address; \"http://\" is put in front unless it begins with\n"
             "\"http://\" or \"https://\". An https address is fetched over TLS, and through a\n"
             "proxy by a tunnel (CONNECT). The request goes to the URL's port (80, or 443 for\n"
             "https, when it names none) or to the proxy; --port is the service's stored port\n"
             "and does not change where it goes.\n"
             "Method texts other than the seven listed send HEAD, as for a stored service.\n"
             "With --proxy every request, redirects included, goes to that HTTP proxy and names\n"
             "the whole address (https: the proxy opens a tunnel); --proxy-user and\n"
             "--proxy-password go to the proxy alone, in a Proxy-Authorization header, while\n"
             "--user and --password go to the server.\n"
             "One of --expect-text, --expect-no-text, --expect-regex and --expect-json makes the\n"
             "check read the body of the 2xx answer (at most 1 MiB, gzip and deflate decoded)\n"
             "and fail unless it meets that expectation. VALUE of --expect-json is JSON text:\n"
             "--expect-json '/status=\"up\"' wants a text, /count=3 a number, /ok=true a boolean."),
         0,
         {option("method", "TEXT", "Get, Post, Put, Head, Options, Trace or Delete (default Get)"),
          option("field", "NAME=VALUE", "a form field; repeat it for more, in order (POST and PUT)", true),
          option("cookie", "TEXT", "cookie text; its leading name=value is sent"),
          option("referer", "TEXT", "Referer header"),
          option("user-agent", "TEXT", "User-Agent header"),
          option("content-type", "TEXT", "Content-Type header"),
          option("accept", "TEXT", "Accept header"),
          option("accept-charset", "TEXT", "Accept-Charset header"),
          option("accept-encoding", "TEXT", "Accept-Encoding header"),
          option("accept-language", "TEXT", "Accept-Language header"),
          proxy,
          proxyUser,
          proxyPassword,
          tlsOptions(true)[0],
          tlsOptions(true)[1],
          tlsOptions(true)[2],
          option("expect-text", "TEXT", "the body must hold TEXT (letter case counts)"),
          option("expect-no-text", "TEXT", "the body must not hold TEXT, e.g. a maintenance notice"),
          option("expect-regex", "RE", "the body must match the regular expression RE (Perl syntax)"),
          option("expect-json", "POINTER=VALUE",
                 "the body is JSON and the value at the RFC 6901 POINTER equals the JSON text VALUE")},
         plainCheck(lang::KindURL),
         false,
         {}});
    commands.push_back({QStringLiteral("ping"),
                        QStringLiteral("HOST"),
                        QStringLiteral("one ICMP echo request; passes when its reply arrives in time"),
                        QString(),
                        0,
                        {},
                        plainCheck(lang::KindPing),
                        false,
                        {}});
    commands.push_back({QStringLiteral("smtp"),
                        QStringLiteral("HOST"),
                        QStringLiteral("SMTP greeting and EHLO (or HELO); no message is sent"),
                        mailTlsDetails(kSmtpsPort),
                        25,
                        tlsOptions(true),
                        plainCheck(lang::KindSMTP),
                        false,
                        {}});
    commands.push_back({QStringLiteral("pop3"),
                        QStringLiteral("HOST"),
                        QStringLiteral("POP3 greeting and USER/PASS login with --user and --password"),
                        mailTlsDetails(kPop3sPort),
                        110,
                        tlsOptions(true),
                        plainCheck(lang::KindPOP3),
                        false,
                        {}});
    commands.push_back({QStringLiteral("imap"),
                        QStringLiteral("HOST"),
                        QStringLiteral("IMAP greeting and LOGIN with --user and --password"),
                        mailTlsDetails(kImapsPort),
                        143,
                        tlsOptions(true),
                        plainCheck(lang::KindIMAP),
                        false,
                        {}});
    commands.push_back(
        {QStringLiteral("ftp"),
         QStringLiteral("HOST"),
         QStringLiteral("FTP greeting, login, TYPE I and SYST"),
         QStringLiteral(
             "HOST is the FTP server (\"site\" below). Nothing is transferred.\n"
             "The proxy options describe an FTP proxy, not an HTTP proxy: with --proxy and a --proxy-type\n"
             "other than fpcmNone the connection goes to the FTP proxy, which is asked for the server as\n"
             "the type says; otherwise it goes to HOST and the other proxy options are not used.\n"
             "\"Proxy login\" is USER --proxy-user and PASS --proxy-password, sent only when\n"
             "--proxy-user is given; \"login\" is USER --user and PASS --password.\n"
             "Proxy types (letter case counts; an unknown text means fpcmNone):\n"
             "  fpcmNone              no proxy: login at HOST\n"
             "  fpcmUserSite          proxy login, then login with the user name --user@site\n"
             "  fpcmSite              proxy login, \"SITE site\", then login\n"
             "  fpcmOpen              proxy login, \"OPEN site\", then login\n"
             "  fpcmUserPass          no proxy login: \"USER --user@--proxy-user@site\", then\n"
             "                        \"PASS --password@--proxy-password\" (without --proxy-password\n"
             "                        just \"PASS --password\")\n"
             "  fpcmTransparent       proxy login, then login\n"
             "  fpcmHttpProxyWithFtp  FTP through an HTTP proxy: not supported, fails with\n"
             "                        \"Command not supported.\"\n") +
             mailTlsDetails(kFtpsPort),
         21,
         withOptions(
             {option("proxy", "HOST:PORT", "FTP proxy connected to in place of HOST (needs a --proxy-type)"),
              option("proxy-type", "KIND",
                     "how the FTP proxy is asked for HOST, see above (default fpcmNone)"),
              option("proxy-user", "NAME", "user name at the FTP proxy (proxy login, or part of USER)"),
              option("proxy-password", "TEXT", "password at the FTP proxy (proxy login, or part of PASS)")},
             tlsOptions(true)),
         plainCheck(lang::KindFTP),
         false,
         {}});
    commands.push_back(
        {QStringLiteral("tcp"),
         QStringLiteral("HOST"),
         QStringLiteral("one TCP connection; passes when it opens (and the first reply holds --expect)"),
         QStringLiteral("--port is required. With --send, the text and CR LF are sent once the\n"
                        "connection is open. With --expect, the first reply (its first line, or what came\n"
                        "before the server closed) must contain the text, letter case counting; a banner\n"
                        "check is --expect alone, e.g. --expect SSH-2.0 or --expect +OK. The connection,\n"
                        "the line and the reply must all come within --timeout. A failure says why:\n"
                        "refused, timed out, closed, or the text not found, with the start of the reply\n"
                        "quoted."),
         0,
         {option("send", "TEXT", "a line sent once connected (CR LF added)"),
          option("expect", "TEXT", "a text the first reply must contain")},
         runTcp,
         false,
         {QStringLiteral("user"), QStringLiteral("password")}});
    commands.push_back(
        {QStringLiteral("dns"),
         QStringLiteral("NAME"),
         QStringLiteral("one DNS question for NAME; passes on NOERROR with a record of --type"),
         QStringLiteral(
             "The question goes over UDP and again over TCP when the answer comes truncated,\n"
             "asked once more when no answer comes; all within --timeout. It passes when the\n"
             "answer is NOERROR and holds a record of the type and, with --expect, one record\n"
             "equal to the value: names (CNAME, NS, MX, the primary server of SOA) without\n"
             "regard to letter case or a trailing dot, MX by its name or as \"10 mail.example.com\"\n"
             "with its preference, addresses as addresses, TXT by its strings joined.\n"
             "NXDOMAIN, SERVFAIL, REFUSED, no answer in time and malformed answers fail, named."),
         53,
         {option("server", "HOST",
                 "the DNS server asked (default: the first nameserver of /etc/resolv.conf)"),
          option("type", "TYPE", "A, AAAA, CNAME, MX, NS, TXT or SOA (default A)"),
          option("expect", "VALUE", "a value one record of the answer must equal")},
         runDns,
         false,
         {QStringLiteral("user"), QStringLiteral("password")}});
    commands.push_back(
        {QStringLiteral("cert"),
         QStringLiteral("HOST"),
         QStringLiteral("the certificate a server shows in TLS; passes when it is accepted and not ending"),
         QStringLiteral(
             "TLS starts at once, or with --starttls after the protocol's greeting and switch command:\n"
             "smtp (EHLO, STARTTLS), imap (STARTTLS), pop3 (STLS) or ftp (AUTH TLS). Without --port\n"
             "the port is 443, or the protocol's usual port with --starttls (25, 143, 110, 21).\n"
             "It fails when the certificate is not accepted (chain, dates and name, unless\n"
             "--no-verify), when it has ended, and when it ends within --expiry-warn-days days\n"
             "(judged with --no-verify as well). The detail names the subject, the issuer and the\n"
             "days left; the performance data adds \"cert_days=N;WARN;;0\", the whole days left\n"
             "and the warning days."),
         443,
         withOptions(
             {option("starttls", "PROTOCOL", "smtp, imap, pop3 or ftp: switch to TLS in that dialogue")},
             tlsOptions(true)),
         runCert,
         false,
         {QStringLiteral("user"), QStringLiteral("password")}});
    addAlarmCommands(commands, proxy, proxyUser, proxyPassword);
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

QString optionLines(const std::vector<ProbeOption>& options)
{
    QString text;
    for (const ProbeOption& o : options) {
        const QString head =
            QStringLiteral("  --") + o.name + (o.flag ? QString() : QLatin1Char(' ') + o.valueName);
        text += head.leftJustified(28) + QLatin1Char(' ') + o.help +
                (o.required ? QStringLiteral(" (required)") : QString()) + QLatin1Char('\n');
    }
    return text;
}

// The common options `command` takes.
std::vector<ProbeOption> commonOptionsOf(const ProbeCommand& command)
{
    std::vector<ProbeOption> options;
    for (const ProbeOption& o : CommonProbeOptions()) {
        if (!command.commonNotTaken.contains(o.name))
            options.push_back(o);
    }
    return options;
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
        option("port", "N", "the service's or alarm server's port (default: the command's)"),
        option("timeout", "MS", "time-out in milliseconds (default 10000; alarm commands 5000)"),
        option("user", "NAME", "user name at the service or alarm server"),
        option("password", "TEXT", "password at the service or alarm server"),
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
    std::vector<ProbeOption> known = commonOptionsOf(command);
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
    in.timeout = command.alarm ? kAlarmTimeout : 10000;
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
        if (o->flag) {
            if (inlineValue)
                throw ProbeUsageError(QStringLiteral("--%1 takes no value").arg(name).toStdString());
            value = QStringLiteral("1");
        } else if (!inlineValue) {
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
    for (const ProbeOption& o : known) {
        if (o.required && in.value(o.name).isEmpty())
            throw ProbeUsageError(
                QStringLiteral("%1 needs --%2 %3").arg(command.name, o.name, o.valueName).toStdString());
    }

    if (in.has(QStringLiteral("port")))
        in.port = numberArgument(QStringLiteral("port"), in.value(QStringLiteral("port")), 0, 65535);
    if (in.has(QStringLiteral("timeout")))
        in.timeout = numberArgument(QStringLiteral("timeout"), in.value(QStringLiteral("timeout")), 1,
                                    limits::LongestTimeoutMs);
    for (const QString& name : {QStringLiteral("field"), QStringLiteral("extra")}) {
        for (const QString& field : in.all(name)) {
            if (!field.contains(QLatin1Char('=')))
                throw ProbeUsageError(
                    QStringLiteral("--%1 needs NAME=VALUE, not \"%2\"").arg(name, field).toStdString());
        }
    }
    QString proxyHost;
    int proxyPort = 0;
    in.proxy(&proxyHost, &proxyPort); // refuses a malformed --proxy before anything runs
    probeExpectation(in);             // and two expectations, or one that cannot run
    if (in.has(QStringLiteral("expiry-warn-days")))
        numberArgument(QStringLiteral("expiry-warn-days"), in.value(QStringLiteral("expiry-warn-days")), 0,
                       36500);
    return in;
}

QString ProbeHelp()
{
    QString text;
    QTextStream s(&text);
    s << "Usage: " << kProgram << " COMMAND [options] TARGET\n"
      << "       " << kProgram << " ALARM [options] MESSAGE\n"
      << "       " << kProgram << " COMMAND --help\n\n"
      << "Runs one check of a service once, built exactly as the Quorvel monitoring cycle builds it\n"
      << "for a stored service, and prints one line: the result (\"Passed\" or \"Failed\"), a blank\n"
      << "and the detail (\"[host:port] text\", followed by \":\" and the error after a failure),\n"
      << "then \" | \" and performance data as monitoring plugins print it, for tools that graph\n"
      << "plugin output: \"time=0.012345s;;;0.000000\", the seconds from the start to the verdict,\n"
      << "and where a certificate was read (TLS) \"cert_days=41;14;;0\", its whole days left and the\n"
      << "days of warning.\n"
      << "An alarm command delivers one alarm, built exactly as the monitoring cycle builds it from\n"
      << "the alarm-method settings the options give, and prints the result (\"Sent\" or \"Error\"),\n"
      << "a blank and the detail (empty when an e-mail or syslog alarm was sent).\n"
      << "Meant for cron jobs, other monitoring systems and trying a service or alarm by hand.\n";
    for (const bool alarms : {false, true}) {
        s << (alarms ? "\nAlarm commands:\n" : "\nCheck commands:\n");
        for (const ProbeCommand& c : ProbeCommands()) {
            if (c.alarm != alarms)
                continue;
            const QString head = QStringLiteral("  ") + c.name + QStringLiteral(" [options] ") + c.argument;
            s << head.leftJustified(28) << ' ' << c.summary << '\n';
        }
    }
    s << "\n" << QStringLiteral("  --version").leftJustified(28) << " print the name and version\n";
    s << "\nOptions of every command:\n" << optionLines(CommonProbeOptions());
    s << QStringLiteral("  --help").leftJustified(28) << " describe the command\n";
    QStringList notTaken;
    for (const ProbeCommand& c : ProbeCommands()) {
        if (!c.commonNotTaken.isEmpty())
            notTaken << c.name + QStringLiteral(" takes no --") +
                            c.commonNotTaken.join(QStringLiteral(", --"));
    }
    if (!notTaken.isEmpty())
        s << "Except: " << notTaken.join(QStringLiteral("; ")) << ".\n";
    s << "\nDefault ports: ";
    QStringList ports;
    for (const ProbeCommand& c : ProbeCommands())
        ports << c.name + QLatin1Char(' ') + QString::number(c.defaultPort);
    s << ports.join(QStringLiteral(", ")) << ".\n";
    s << "\nExit status: 0 passed, 2 failed, 3 usage error.\n"
      << "Alarm commands: 0 sent, 2 error, 3 usage error.\n";
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
    s << "\nOptions of every command:\n" << optionLines(commonOptionsOf(command));
    if (command.alarm)
        s << "\nDefault port: " << command.defaultPort << ". Default time-out: " << kAlarmTimeout
          << " ms. Exit status: 0 sent, 2 error, 3 usage error.\n";
    else
        s << "\nDefault port: " << command.defaultPort
          << ". Exit status: 0 passed, 2 failed, 3 usage error.\n";
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
    if (name == QLatin1String("--version")) {
        out += kProgram + QStringLiteral(" " QUORVEL_VERSION "\n");
        return ProbeExitPassed;
    }
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
    for (const QString& note : outcome.notes)
        err += kProgram + QStringLiteral(": note: ") + note + QLatin1Char('\n');
    out += BlankControls(outcome.resultText) + QLatin1Char(' ') + BlankControls(outcome.resultDetail);
    if (outcome.seconds >= 0) {
        out += QStringLiteral(" | ") + ProbePerformanceData(outcome.seconds);
        if (outcome.certDays)
            out +=
                QLatin1Char(' ') + ProbeCertificatePerformanceData(*outcome.certDays, outcome.certWarnDays);
    }
    out += QLatin1Char('\n');
    return outcome.passed ? ProbeExitPassed : ProbeExitFailed;
}

QString ProbePerformanceData(double seconds)
{
    return QStringLiteral("time=%1s;;;0.000000").arg(seconds, 0, 'f', 6);
}

QString ProbeCertificatePerformanceData(int daysLeft, int warnDays)
{
    return QStringLiteral("cert_days=%1;%2;;0")
        .arg(daysLeft)
        .arg(warnDays > 0 ? QString::number(warnDays) : QString());
}

ServiceRecord ProbeServiceRecord(const QString& kind, const ProbeInvocation& in)
{
    ServiceRecord service;
    service.Id = 0;
    service.Service = kind;
    service.Ip = in.target;
    service.Port = in.port;
    service.UserName = in.value(QStringLiteral("user"));
    service.Password = in.value(QStringLiteral("password"));
    in.proxy(&service.ProxyIp, &service.ProxyPort);
    service.ProxyUserName = in.value(QStringLiteral("proxy-user"));
    service.ProxyPassword = in.value(QStringLiteral("proxy-password"));
    if (kind == QLatin1String(lang::KindURL)) {
        service.UrlMethod = in.value(QStringLiteral("method"), QStringLiteral("Get"));
        ServiceUrlRequest& request = service.UrlRequest;
        request.Referer = in.value(QStringLiteral("referer"));
        request.Cookie = in.value(QStringLiteral("cookie"));
        request.UserAgent = in.value(QStringLiteral("user-agent"));
        request.ContentType = in.value(QStringLiteral("content-type"));
        request.Accept = in.value(QStringLiteral("accept"));
        request.AcceptCharSet = in.value(QStringLiteral("accept-charset"));
        request.AcceptEncoding = in.value(QStringLiteral("accept-encoding"));
        request.AcceptLanguage = in.value(QStringLiteral("accept-language"));
        for (const QString& field : in.all(QStringLiteral("field"))) {
            const qsizetype eq = field.indexOf(QLatin1Char('=')); // there is one: checked with the usage
            request.PostFields.append({field.left(eq), field.mid(eq + 1)});
        }
        const UrlExpectation expect = probeExpectation(in);
        request.ExpectMode = UrlExpectModeKey(expect.Mode);
        request.ExpectText = expect.Text;
    }
    if (kind == QLatin1String(lang::KindFTP))
        service.FtpProxyType = in.value(QStringLiteral("proxy-type"), QStringLiteral("fpcmNone"));
    if (kind == QLatin1String(lang::KindTCP)) {
        service.TcpSend = in.value(QStringLiteral("send"));
        service.TcpExpect = in.value(QStringLiteral("expect"));
    }
    if (kind == QLatin1String(lang::KindDNS)) {
        service.DnsType = in.value(QStringLiteral("type")); // the check takes none for A
        service.DnsExpect = in.value(QStringLiteral("expect"));
        service.DnsServer = in.value(QStringLiteral("server"));
    }
    if (kind == QLatin1String(lang::KindCert))
        service.CertStartTls = in.value(QStringLiteral("starttls")).toLower();
    return service;
}

std::unique_ptr<ThreadCheck> BuildProbeCheck(const QString& kind, const ProbeInvocation& in)
{
    CheckBuildSettings settings;
    settings.Origin = QString::fromLatin1(lang::OriginProduct);
    settings.Retry = 0;
    settings.Timeout = in.timeout;
    settings.Tls = probeTlsOptions(in, true);
    return BuildCheck(ProbeServiceRecord(kind, in), settings);
}
