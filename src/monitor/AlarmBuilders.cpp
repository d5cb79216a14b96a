#include "monitor/AlarmBuilders.h"

#include "alarms/ThreadAlarm.h"
#include "alarms/ThreadSMSUnit.h"
#include "alarms/ThreadSMTPUnit.h"
#include "alarms/ThreadSysLogUnit.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"

std::unique_ptr<ThreadAlarm> BuildAlarm(const AlarmMethodSettingsRecord& settings, const QString& method,
                                        const QString& text, const QString& recipient, const TlsOptions& tls)
{
    if (method == QLatin1String(lang::MethodEmail)) {
        if (!settings.EmailMethod.enable)
            return nullptr;
        return std::make_unique<ThreadSMTP>(settings.EmailMethod, recipient, text, tls);
    }
    if (method == QLatin1String(lang::MethodSMS)) {
        if (!settings.SmsMethod.enable)
            return nullptr;
        return std::make_unique<ThreadSMS>(settings.SmsMethod, recipient, text);
    }
    if (method == QLatin1String(lang::MethodSMSbyHTTP)) {
        if (!settings.HttpSmsMethod.enable)
            return nullptr;
        return std::make_unique<ThreadURL>(settings.HttpSmsMethod, settings.HttpSmsExtraFields, recipient,
                                           text, tls);
    }
    if (method == QLatin1String(lang::MethodSysLog)) {
        if (!settings.SysLogMethod.enable)
            return nullptr;
        return std::make_unique<ThreadSysLog>(settings.SysLogMethod, SysLogSafeText(text));
    }
    return nullptr;
}
