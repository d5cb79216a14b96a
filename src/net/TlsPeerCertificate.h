#pragma once

#include <string>

// The peer's own (leaf) certificate as a handshake received it, accepted or not.
struct TlsPeerCertificate
{
    std::string subject;  // distinguished name, RFC 2253 order ("CN=mail.example,O=Example")
    std::string issuer;   // likewise
    std::string names;    // the names it is for (subject alternative names, else the common name)
    std::string notAfter; // "2025-03-01 12:00:00 UTC"
    // Seconds from the handshake to the end of its validity; negative once it has ended.
    long long secondsLeft = 0;

    // Whole days left, rounded down: 0 during its last day, -1 on the first day after it ended.
    int daysLeft() const;
};
