#pragma once

#include "pool/PoolWorkItem.h"

#include <QString>

// Common base of the alarm work items (e-mail, SMS over SMPP, SMS through an HTTP gateway,
// syslog). The dispatcher builds one on the main thread with copies of every setting it needs; a
// worker thread delivers it once in Execute; the result handler reads the outcome on the main
// thread.
//
// Execute is the same frame for every method: one Deliver attempt, the result fields set by
// Report, then CloseClient, whatever happened. No error ever leaves Execute. A method supplies
// Deliver, CloseClient and the host and port of its detail text, and overrides Report where its
// detail says more than the error (the HTTP gateway reports its status line).
class ThreadAlarm : public PoolWorkItem
{
public:
    static const char* const SentResult;  // "Sent"
    static const char* const ErrorResult; // "Error" (ErrorText is the pool's own field)

    // `method` is the alarm method name: "Email", "SMS", "SMS by HTTP" or "SysLog".
    // `timeout` <= 0 gives 5000 ms.
    ThreadAlarm(const QString& method, int timeout);
    ~ThreadAlarm() override;

    void Execute() final;

    const QString Method;
    const int Timeout; // milliseconds

    // Results, written by Execute only.
    bool Passed = false;
    QString ResultText; // "Sent" or "Error"; empty when Execute never ran
    QString ResultDetail;
    int ResponseCode = 0; // SMS by HTTP: the status code of the last answer, -1 when none
    // A failed delivery whose cause may pass (the server away or busy), worth another try; false
    // for a refusal that would be repeated (credentials, a permanent reply).
    bool Transient = false;

protected:
    // One delivery attempt. Returns true when the message was delivered, false when the peer
    // refused it and the item has put its own reason into ResultDetail; throws on any other
    // failure (the message becomes the error text of Report).
    virtual bool Deliver() = 0;

    // Sets Passed, ResultText and ResultDetail after the attempt. `raised` tells that Deliver
    // threw; `error` is then its message, trimmed of blanks and control characters. The default:
    // "Sent" with an empty detail; "Error" with "[" + DetailHost() + ":" + DetailPort() + "] " +
    // the error after a throw; "Error" with the detail Deliver left after a refusal.
    virtual void Report(bool delivered, bool raised, const QString& error);

    // The host and port named by an error's detail.
    virtual QString DetailHost() const = 0;
    virtual int DetailPort() const = 0;

    // Ends the connection and releases what the delivery held. May throw; the frame ignores it.
    virtual void CloseClient() = 0;

    // Whether a failed attempt may pass: `socketError` tells that the connection failed (refused,
    // timed out, closed), `error` is the text Deliver threw (empty after a refusal). The default:
    // a connection failure only.
    virtual bool TransientFailure(bool socketError, const QString& error) const;
};
