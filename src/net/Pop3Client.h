#pragma once

#include "net/LineSession.h"

#include <optional>
#include <string>

// POP3 client (RFC 1939) on the line engine: greeting and USER/PASS login. Every wait is bounded
// by the time-out given to configure(); on port 995 (setImplicitTls) the whole dialogue runs
// inside TLS.
class Pop3Client : public ServerSession
{
public:
    Pop3Client() : ServerSession(110) {}

    // Connects and reads the greeting, which must be "+OK".
    void connect();
    // "STLS" (RFC 2595), which must be answered "+OK", then the TLS handshake on the same
    // connection. A refusal or a failed handshake is an error.
    void startTls(const TlsOptions& options);
    // "USER name" and "PASS password" (sent even when empty); both must be answered "+OK".
    void login();
    // Sends `line` and reads a one-line reply, which must be "+OK".
    LineReply command(const std::string& line);
    // "QUIT" without waiting for the reply when the connection is still in step, then close.
    // Never throws.
    void quit();

private:
    Pop3ReplyParser m_parser;
};

// Accepts a "+OK" reply; "-ERR ..." is an error with the server's line, anything else the
// "Unrecognized POP3 Response Header:" error with the line in double quotes.
void RequirePop3Ok(const LineReply& reply);
