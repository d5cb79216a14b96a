#pragma once

#include "net/LineSession.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// SMTP client (RFC 5321) on the line engine: greeting, EHLO/HELO and plain commands with the
// codes they must answer. Used by the SMTP check and the e-mail alarm. Every wait is bounded by
// the time-out given to configure(); on port 465 (setImplicitTls) the whole dialogue runs inside
// TLS.
class SmtpClient : public ServerSession
{
public:
    SmtpClient() : ServerSession(25) {}

    struct Hello
    {
        bool extended = false;                   // EHLO was answered with 250
        std::vector<std::string> authMechanisms; // from AUTH lines of the EHLO reply, upper case
        bool startTls = false;                   // the EHLO reply offers STARTTLS
        LineReply reply;
    };

    // Connects and reads the greeting; a code other than 220 is an error whose message is the
    // reply's text.
    void connect();
    // "STARTTLS", which must be answered 220, then the TLS handshake on the same connection. A
    // refusal or a failed handshake is an error (after a failed handshake nothing more is sent).
    void startTls(const TlsOptions& options);
    // "EHLO name"; when that is not answered with 250, "HELO name", which must be.
    Hello hello(const std::string& name);
    // Sends `line` and reads the reply; a code not in `accepted` is an error with the reply's
    // text. An empty `accepted` takes any code.
    LineReply command(const std::string& line, std::initializer_list<int> accepted);
    // Sends `line` without waiting for a reply.
    void sendOnly(const std::string& line);
    // Ends the session: "QUIT" without waiting for the reply when the connection is still in step,
    // then close. Never throws.
    void quit();

private:
    NumericReplyParser m_parser;
};

// The mechanisms an EHLO reply offers: every line whose text (after the code and separator)
// starts with "AUTH " or "AUTH=" in any letter case lists them, separated by spaces.
std::vector<std::string> SmtpAuthMechanisms(const LineReply& ehloReply);
// Whether an EHLO reply offers STARTTLS: a line whose text (after the code and separator) is
// "STARTTLS" in any letter case (RFC 3207).
bool SmtpOffersStartTls(const LineReply& ehloReply);
