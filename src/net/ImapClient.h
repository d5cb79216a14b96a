#pragma once

#include "net/LineSession.h"

#include <optional>
#include <string>

// A user name or password as LOGIN sends it (an RFC 3501 astring): a value made of atom
// characters goes as it is; anything else (empty, a space, a quote, a backslash, braces, 8-bit
// text) goes as a quoted string with `"` and `\` escaped. CR and LF cannot be quoted; the line
// engine refuses a line that holds them.
std::string ImapAstring(const std::string& value);

// IMAP client (RFC 3501) on the line engine: greeting, LOGIN and LOGOUT. Command tags are "C"
// and a counter that starts again with each connection, the first command being C1. Every wait
// is bounded by the time-out given to configure(); on port 993 (setImplicitTls) the whole dialogue
// runs inside TLS.
class ImapClient : public ServerSession
{
public:
    ImapClient() : ServerSession(143) {}

    enum class Greeting
    {
        Ok,
        PreAuth
    };

    // Connects and reads one greeting line, classified by its beginning in any letter case:
    // "* OK" and "* PREAUTH" are accepted; "* NO", "* BAD" and "* BYE" are errors with the server's
    // line; anything else is the "Unrecognized IMAP4 Response Header." error.
    Greeting connect();
    // "<tag> STARTTLS" (RFC 3501 6.2.1), which must be answered OK, then the TLS handshake on the
    // same connection. A refusal or a failed handshake is an error.
    void startTls(const TlsOptions& options);
    // "<tag> LOGIN <user> <password>", both sent as they are; the tagged reply must be OK.
    void login();
    // Sends "<tag> <command>" and reads lines up to the tagged one; returns its status word.
    LineReply command(const std::string& command);
    // "<tag> LOGOUT" and the lines up to its tagged reply when the connection is still in step
    // (a refusal or a closed connection is ignored), then close. Never throws.
    void logout();
    // The tag of the last command sent ("" before the first).
    std::string lastTag() const;

private:
    ImapReplyParser m_parser;
    int m_tagCounter = 0;
};
