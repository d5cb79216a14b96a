#include "alarms/ThreadSMTPUnit.h"

#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "core/auxFunc.h"
#include "net/LineReply.h"
#include "net/Socket.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

const char* const ThreadSMTP::AlarmSubject = "Alarming Message";

namespace {

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F;
}

// A header value on one line: every control character (line breaks included) becomes a blank.
QString headerValue(const QString& value)
{
    QString result = value;
    for (QChar& c : result) {
        if (isControl(c))
            c = QLatin1Char(' ');
    }
    return result;
}

// An address as it may go between "<" and ">" of MAIL FROM and RCPT TO. One holding an angle
// bracket or a control character could end the path and add parameters or a command of its own,
// so it is refused.
std::string checkedAddress(const QString& address, const char* role)
{
    for (QChar c : address) {
        if (isControl(c) || c == QLatin1Char('<') || c == QLatin1Char('>'))
            throw std::runtime_error(std::string(role) +
                                     " address refused (it holds \"<\", \">\" or a control "
                                     "character): \"" +
                                     Printable(address.toStdString(), 200) + "\"");
    }
    return address.toStdString();
}

std::string base64(const QString& text)
{
    return text.toUtf8().toBase64().toStdString();
}

} // namespace

QStringList AlarmMailMessage::SplitAddresses(const QString& list)
{
    QStringList result;
    for (const QString& part : list.split(QRegularExpression(QStringLiteral("[;,]")))) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            result << address;
    }
    return result;
}

ThreadSMTP::ThreadSMTP(int timeout) : ThreadAlarm(QStringLiteral("Email"), timeout) {}

ThreadSMTP::ThreadSMTP(const EmailMethodSettings& settings, const QString& recipients, const QString& text,
                       const TlsOptions& tls)
    : ThreadAlarm(QStringLiteral("Email"), settings.timeout), Tls(tls)
{
    Host = settings.ip;
    Port = settings.port;
    MailAgent = settings.mail_agent;
    AuthLogin = settings.authenticate;
    if (AuthLogin) {
        UserName = settings.username;
        Password = settings.password;
    }
    Message->Sender = settings.from_address;
    Message->ReplyTo = settings.from_address;
    Message->Recipients = AlarmMailMessage::SplitAddresses(recipients);
    Message->Subject = QString::fromLatin1(AlarmSubject);
    Message->Body = text;
}

ThreadSMTP::~ThreadSMTP() = default;

void ThreadSMTP::CloseClient()
{
    Message.reset();
    std::unique_ptr<SmtpClient> client = std::move(Client);
    if (client)
        client->quit();
}

bool ThreadSMTP::Deliver()
{
    if (!Client || !Message)
        throw std::runtime_error("the message has already been handled; it is submitted only once");

    // Addresses are checked before anything goes on the wire.
    std::string sender;
    std::vector<std::string> recipients;
    if (!ConnectOnly) {
        sender = checkedAddress(Message->Sender, "sender");
        for (const QString& address : Message->Recipients)
            recipients.push_back(checkedAddress(address, "recipient"));
        if (recipients.empty())
            throw std::runtime_error("the message has no recipient");
    }

    Client->configure(Host.toStdString(), Port, Timeout);
    if (Port == kSmtpsPort)
        Client->setImplicitTls(Tls);
    Client->connect();
    SmtpClient::Hello hello = Client->hello(LocalHostName());
    if (!Client->isTls() && hello.extended && hello.startTls) {
        // What the server said in the clear, its AUTH mechanisms included, no longer counts
        // (RFC 3207): greet again inside TLS.
        Client->startTls(Tls);
        hello = Client->hello(LocalHostName());
    }
    if (ConnectOnly)
        return true;

    Client->command("RSET", {});

    const auto& offered = hello.authMechanisms;
    if (AuthLogin && hello.extended && std::find(offered.begin(), offered.end(), "LOGIN") != offered.end()) {
        Client->command("AUTH LOGIN", {334});
        Client->command(base64(UserName), {334});
        Client->command(base64(Password), {235});
    }

    Client->command("MAIL FROM:<" + sender + ">", {250});
    for (const std::string& recipient : recipients)
        Client->command("RCPT TO:<" + recipient + ">", {250, 251});
    Client->command("DATA", {354});
    for (const std::string& line : MessageLines(*Message, MailAgent, Now()))
        Client->sendOnly(line);
    Client->command(".", {250});
    return true;
}

bool ThreadSMTP::TransientFailure(bool socketError, const QString& error) const
{
    return socketError || (error.size() >= 3 && error.at(0) == QLatin1Char('4') && error.at(1).isDigit() &&
                           error.at(2).isDigit());
}

std::vector<std::string> ThreadSMTP::MessageLines(const AlarmMailMessage& message, const QString& mailAgent,
                                                  const QDateTime& date)
{
    std::vector<std::string> lines;
    const auto header = [&lines](const char* name, const QString& value) {
        const QString clean = headerValue(value);
        if (!clean.isEmpty())
            lines.push_back(std::string(name) + ": " + clean.toStdString());
    };
    QStringList to;
    for (const QString& address : message.Recipients)
        to << headerValue(address);

    header("From", message.Sender);
    header("Subject", message.Subject);
    header("To", to.join(QStringLiteral(", ")));
    header("Reply-To", message.ReplyTo);
    header("Date", MailDate(date));
    header("X-Priority", QStringLiteral("3"));
    header("X-Mailer", mailAgent);
    lines.emplace_back();

    QString body = message.Body;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString& line : body.split(QLatin1Char('\n'))) {
        std::string bytes = line.toStdString();
        if (!bytes.empty() && bytes.front() == '.')
            bytes.insert(bytes.begin(), '.');
        lines.push_back(std::move(bytes));
    }
    return lines;
}

QString ThreadSMTP::MailDate(const QDateTime& date)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!date.isValid())
        return QString();
    const QDate d = date.date();
    const QTime t = date.time();
    const int offset = date.offsetFromUtc() / 60;
    const int magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[d.dayOfWeek() - 1],
                  d.day(), months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(),
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return QString::fromLatin1(text);
}
