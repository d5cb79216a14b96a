#include "core/AlarmMethodSettings.h"

#include "core/langLibrary.h"

AlarmMethodSettingsRecord AlarmMethodSettings;

namespace {

int position(const QStringList& list, const QString& name)
{
    const int at = list.indexOf(name);
    return at < 0 ? 0 : at;
}

} // namespace

int FacilityCode(const QString& name)
{
    return position(lang::SyslogFacilities(), name);
}

int SeverityCode(const QString& name)
{
    return position(lang::SyslogSeverities(), name);
}
