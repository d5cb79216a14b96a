// The builders of the alarm work items: one delivery by one method, from the in-memory
// alarm-method settings.
#include "monitor/MonitorEngine.h"

#include "alarms/ThreadAlarm.h"

std::unique_ptr<ThreadAlarm> BuildAlarm(const QString&, const QString&, const QString&)
{
    return nullptr;
}
