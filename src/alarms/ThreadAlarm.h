#pragma once

#include "pool/PoolWorkItem.h"

#include <QString>

#include <functional>

// Common base of the alarm work items (e-mail, SMS over SMPP, SMS through an HTTP gateway,
// syslog). The dispatcher builds one on the main thread with copies of every setting it needs;
// a worker thread delivers it once in Execute, which never lets an error escape and leaves the
// outcome in the result fields; the result handler reads them on the main thread.
class ThreadAlarm : public PoolWorkItem
{
public:
    static const char* const SentResult;  // "Sent"
    static const char* const ErrorResult; // "Error" (ErrorText is the pool's own field)

    // `method` is the alarm method name: "Email", "SMS", "SMS by HTTP" or "SysLog".
    // `timeout` <= 0 gives 5000 ms.
    ThreadAlarm(const QString& method, int timeout);
    ~ThreadAlarm() override;

    const QString Method;
    const int Timeout; // milliseconds

    // Results, written by Execute only.
    bool Passed = false;
    QString ResultText; // "Sent" or "Error"; empty when Execute never ran
    QString ResultDetail;
    int ResponseCode = 0; // SMS by HTTP: the status code of the last answer, -1 when none

protected:
    // Runs `deliver`, catching whatever it throws: true when it ended normally, otherwise false
    // with the error's message, trimmed of blanks and control characters, in `error`.
    static bool Attempt(const std::function<void()>& deliver, QString* error);
    // The usual outcome: "Sent" with an empty detail, or "Error" with "[host:port] error".
    void SetOutcome(bool sent, const QString& host, int port, const QString& error);
};
