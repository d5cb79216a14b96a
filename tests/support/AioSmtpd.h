#pragma once

#include "support/ScriptedServer.h"

#include <QTemporaryDir>

#include <string>

// A real SMTP server for tests: aiosmtpd (Debian package python3-aiosmtpd) on 127.0.0.1. It keeps
// each message it accepts in a file: whether the session logged in, the envelope, and the message
// as received (dots already removed again). In "auth" mode it offers AUTH LOGIN and PLAIN without
// TLS, requires a login, and knows alice with the password s3cret; "plain" takes any message.
class AioSmtpdServer
{
public:
    // Whether the system's python3 has aiosmtpd.
    static bool Available();

    // Starts the server on `port` in `mode`; false (with output()) when it did not listen in time.
    bool start(int port, const std::string& mode);
    void stop() { m_server.stop(); }
    std::string output() const { return m_server.output(); }

    // The last message kept, empty when none was; forget() drops it.
    std::string kept() const;
    void forget();

private:
    QTemporaryDir m_dir;
    DaemonProcess m_server;
};
