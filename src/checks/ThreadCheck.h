#pragma once

#include "net/Tls.h"
#include "pool/PoolWorkItem.h"

#include <QString>

#include <optional>

// What the creator of a check work item passes, before derivation (see ThreadCheck).
struct ThreadCheckArgs
{
    QString Origin;    // "Product" (monitoring cycle) or "Setup" (wizard test)
    int ServiceId = 0; // service.id; 0 for a wizard test
    QString Host;      // service.ip (the URL check: the whole URL)
    int Port = 0;      // service.port
    int Retry = 0;     // the kind's retry setting; > 0 means "repeat a failed attempt once"
    int Timeout = 0;   // the kind's time-out setting in ms; <= 0 means 5000
    bool AlarmEmail = false;
    bool AlarmSmpp = false;
    bool AlarmHttpSms = false;
    bool AlarmSyslog = false;
    // How certificates are judged where the check runs inside TLS: https:// addresses, and the
    // mail and FTP checks on their TLS ports (SMTP 465, POP3 995, IMAP 993, FTP 990).
    TlsOptions Tls;
};

// Common base of the check work items (one per kind of service). Execute is the same frame for
// every kind: run the kind's Probe once, set Passed, ResultText ("Passed"/"Failed") and
// ResultDetail ("[H:P] S", or "[H:P] S:M" when the probe threw with message M), then close the
// kind's protocol client, ignoring any error while doing so. No error ever leaves Execute.
//
// A kind supplies Probe and CloseClient, and where it reports other values than Host, Port and
// ResultText in the detail, overrides DetailHost, DetailPort and DetailStatus.
class ThreadCheck : public PoolWorkItem
{
public:
    explicit ThreadCheck(const ThreadCheckArgs& args);
    ~ThreadCheck() override;

    void Execute() final;

    // The kind of service this check probes, as stored in column `service`: "URL", "Ping",
    // "SMTP", "POP3", "IMAP", "FTP", "TCP", "DNS" or "Certificate".
    virtual QString Kind() const = 0;

    static const char* const PassedText; // "Passed"
    static const char* const FailedText; // "Failed"

    // How a detail quotes what a server sent: in double quotes, control characters made blanks,
    // at most kQuoteLength characters ("..." after the quote when more came).
    static constexpr int kQuoteLength = 60;
    static QString QuoteReceived(const QString& text);

    // Inputs, filled at construction.
    QString Origin;
    int ServiceId = 0;
    QString Host;
    int Port = 0;
    bool Retry = false;
    bool AlarmEmail = false;
    bool AlarmSmpp = false;
    bool AlarmHttpSms = false;
    bool AlarmSyslog = false;
    int Timeout = 5000; // milliseconds
    TlsOptions Tls;

    // Results, written by Execute only.
    bool Passed = false;
    QString ResultText;
    QString ResultDetail;
    int ResponseCode = 0; // URL check: HTTP status code of the last response
    // Whole days the server's certificate had left, where the check read one (a TLS connection,
    // whether the certificate was then accepted or not); nothing otherwise.
    std::optional<int> CertDaysLeft;
    // Milliseconds from the start of the probe (its first connect) to the verdict; a kind that
    // measures a truer figure itself (the ping's round trip) gives it through RoundTripMs.
    int ResponseMs = 0;

protected:
    // One probe attempt over the kind's client. Returns the verdict (true except for a ping
    // that got no reply); throws on any error, the message ending up in ResultDetail.
    virtual bool Probe() = 0;

    // Closes the connection and releases the client. May throw; the frame ignores it.
    virtual void CloseClient();

    // The server's certificate as the kind's client received it in this attempt, if any. Called
    // after Probe, before CloseClient; may throw (nothing is then known).
    virtual std::optional<TlsPeerCertificate> PeerCertificate() const;
    // The kind's own measure of the response time in ms, or -1 when it has none (the frame's
    // measure is used). Called after Probe, before the client is closed.
    virtual int RoundTripMs() const;

    // H, P and S of the detail text. Called after ResultText is set.
    virtual QString DetailHost() const;
    virtual int DetailPort() const;
    virtual QString DetailStatus() const;
};
