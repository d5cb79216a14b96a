#include "alarms/ThreadAlarm.h"

#include "core/auxFunc.h"

#include <exception>

const char* const ThreadAlarm::SentResult = "Sent";
const char* const ThreadAlarm::ErrorResult = "Error";

ThreadAlarm::ThreadAlarm(const QString& method, int timeout)
    : Method(method), Timeout(timeout > 0 ? timeout : 5000)
{
}

ThreadAlarm::~ThreadAlarm() = default;

bool ThreadAlarm::Attempt(const std::function<void()>& deliver, QString* error)
{
    try {
        deliver();
        return true;
    } catch (const std::exception& e) {
        *error = TrimControl(QString::fromUtf8(e.what()));
    } catch (...) {
        *error = QStringLiteral("unknown error");
    }
    return false;
}

void ThreadAlarm::SetOutcome(bool sent, const QString& host, int port, const QString& error)
{
    Passed = sent;
    ResultText = QString::fromLatin1(sent ? SentResult : ErrorResult);
    if (sent)
        ResultDetail.clear();
    else
        ResultDetail =
            QLatin1Char('[') + host + QLatin1Char(':') + QString::number(port) + QStringLiteral("] ") + error;
}
