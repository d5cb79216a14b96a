#include "alarms/ThreadAlarm.h"

#include "core/auxFunc.h"
#include "net/Socket.h"

#include <exception>

const char* const ThreadAlarm::SentResult = "Sent";
const char* const ThreadAlarm::ErrorResult = "Error";

ThreadAlarm::ThreadAlarm(const QString& method, int timeout)
    : Method(method), Timeout(timeout > 0 ? timeout : 5000)
{
}

ThreadAlarm::~ThreadAlarm() = default;

void ThreadAlarm::Execute()
{
    Passed = false;
    ResultText.clear();
    ResultDetail.clear();
    bool delivered = false;
    bool raised = false;
    bool socketError = false;
    QString error;
    Transient = false;
    try {
        delivered = Deliver();
    } catch (const SocketError& e) {
        raised = true;
        socketError = true;
        error = TrimControl(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        raised = true;
        error = TrimControl(QString::fromUtf8(e.what()));
    } catch (...) {
        raised = true;
        error = QStringLiteral("unknown error");
    }
    try {
        Report(delivered && !raised, raised, error);
    } catch (...) {
        // A method's report failed: the plain outcome still stands.
        Passed = delivered && !raised;
        ResultText = QString::fromLatin1(Passed ? SentResult : ErrorResult);
    }
    try {
        Transient = !Passed && TransientFailure(socketError, error);
    } catch (...) {
    }
    try {
        CloseClient();
    } catch (...) {
        // Errors while ending the connection or releasing the client are ignored.
    }
}

void ThreadAlarm::Report(bool delivered, bool raised, const QString& error)
{
    Passed = delivered;
    ResultText = QString::fromLatin1(delivered ? SentResult : ErrorResult);
    if (raised)
        ResultDetail = QLatin1Char('[') + DetailHost() + QLatin1Char(':') + QString::number(DetailPort()) +
                       QStringLiteral("] ") + error;
    else if (delivered)
        ResultDetail.clear();
    // A refusal keeps the detail Deliver left.
}

bool ThreadAlarm::TransientFailure(bool socketError, const QString&) const
{
    return socketError;
}
