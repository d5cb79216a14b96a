#include "alarms/ThreadAlarm.h"

const char* const ThreadAlarm::SentResult = "Sent";
const char* const ThreadAlarm::ErrorResult = "Error";

ThreadAlarm::ThreadAlarm(const QString& method, int timeout)
    : Method(method), Timeout(timeout > 0 ? timeout : 5000)
{
}

ThreadAlarm::~ThreadAlarm() = default;
