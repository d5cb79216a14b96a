#pragma once

#include "alarms/ThreadAlarm.h"
#include "net/SmtpClient.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

struct EmailMethodSettings;

// One plain-text e-mail (no MIME headers): sender, reply address, recipients, subject and body.
struct AlarmMailMessage
{
    QString Sender;         // the From header and the MAIL FROM address
    QString ReplyTo;        // the Reply-To header
    QStringList Recipients; // one address each, in order: one RCPT each, all in one To header
    QString Subject;
    QString Body; // any number of lines, separated by CR LF, LF or CR

    // Splits an address list at ";" and ",", trims blanks around each address and drops empty ones.
    static QStringList SplitAddresses(const QString& list);
};

// The e-mail alarm: submits one message to all its recipients at once through the configured
// SMTP server. On its worker thread it connects, greets (EHLO, or HELO when EHLO is refused),
// resets, authenticates with AUTH LOGIN when configured and offered, sends MAIL FROM, one RCPT per
// recipient and the message after DATA, and in every case ends with QUIT and releases the client
// and the message. The connection attempt and every reply wait at most Timeout.
//
// TLS: on port 465 the whole dialogue runs inside TLS. On any other port, when the EHLO reply
// offers STARTTLS, the session upgrades before anything else and greets again inside TLS; only
// then does it authenticate. A refused STARTTLS or a failed handshake is an error: the message
// never goes in the clear once the server has offered TLS. Without the offer the dialogue stays
// in the clear. Tls says how the certificate is judged.
//
// Nothing in the addresses or texts can add a command or a header: an address holding "<", ">"
// or a control character is refused before connecting, line breaks in header values become
// blanks, the body's line breaks become CR LF, and body lines that begin with "." get a second ".".
//
// ResultDetail is empty after success; after an error "[" + Host + ":" + Port + "] " + the error.
class ThreadSMTP : public ThreadAlarm
{
public:
    static const char* const AlarmSubject; // "Alarming Message"

    explicit ThreadSMTP(int timeout);
    // The alarm as the dispatcher sends it: server, agent, credentials and sender from the "Email"
    // method; `recipients` separated by ";" (or ","); subject "Alarming Message"; `text` the body.
    ThreadSMTP(const EmailMethodSettings& settings, const QString& recipients, const QString& text,
               const TlsOptions& tls = TlsOptions());
    ~ThreadSMTP() override;

    std::unique_ptr<SmtpClient> Client = std::make_unique<SmtpClient>();
    std::unique_ptr<AlarmMailMessage> Message = std::make_unique<AlarmMailMessage>();
    QString Host;
    int Port = 25;
    QString MailAgent;      // the X-Mailer header; none when empty
    bool AuthLogin = false; // log in with AUTH LOGIN when the server offers it
    QString UserName;
    QString Password;
    // Connect and greet only (STARTTLS included when offered), then report "Sent" without
    // submitting anything.
    bool ConnectOnly = false;
    TlsOptions Tls;

    // The lines sent after DATA, without CR LF and without the closing ".": the header lines
    // (From, Subject, To, Reply-To, Date, X-Priority, X-Mailer, each only when its value is not
    // empty), an empty line and the body lines, dot-stuffed.
    static std::vector<std::string> MessageLines(const AlarmMailMessage& message, const QString& mailAgent,
                                                 const QDateTime& date);
    // `date` in the RFC 822 form "Tue, 05 Mar 2024 07:08:09 +0100" (English names, the offset of
    // `date` from UTC).
    static QString MailDate(const QDateTime& date);

protected:
    // Connects, greets and, unless ConnectOnly, submits the message once.
    bool Deliver() override;
    // A connection failure or a 4xx reply (the server asks to try later).
    bool TransientFailure(bool socketError, const QString& error) const override;
    QString DetailHost() const override { return Host; }
    int DetailPort() const override { return Port; }
    // QUIT (not waited for), then the client and the message are released.
    void CloseClient() override;
};
