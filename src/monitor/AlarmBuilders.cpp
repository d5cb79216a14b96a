// The builders of the alarm work items: one delivery by one method, from the in-memory
// alarm-method settings.
#include "monitor/MonitorEngine.h"

#include "alarms/ThreadAlarm.h"
#include "alarms/ThreadSMSUnit.h"
#include "alarms/ThreadSMTPUnit.h"
#include "alarms/ThreadSysLogUnit.h"
#include "alarms/ThreadURLUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "monitor/TlsPolicy.h"

std::unique_ptr<ThreadAlarm> BuildAlarm(const QString& method, const QString& text, const QString& recipient)
{
    const AlarmMethodSettingsRecord& settings = AlarmMethodSettings;

    if (method == QLatin1String(lang::MethodEmail)) {
        if (!settings.EmailMethod.enable)
            return nullptr;
        // One message to every address of `recipient` (";"-separated).
        return std::make_unique<ThreadSMTP>(settings.EmailMethod, recipient, text, AlarmTlsOptions());
    }

    if (method == QLatin1String(lang::MethodSMS)) {
        if (!settings.SmsMethod.enable)
            return nullptr;
        SmsMethodSettings sms = settings.SmsMethod;
        sms.ip = StripHttpPrefix(sms.ip);
        return std::make_unique<ThreadSMS>(sms, recipient, text);
    }

    if (method == QLatin1String(lang::MethodSMSbyHTTP)) {
        if (!settings.HttpSmsMethod.enable)
            return nullptr;
        return std::make_unique<ThreadURL>(settings.HttpSmsMethod, settings.HttpSmsExtraFields, recipient,
                                           text, AlarmTlsOptions());
    }

    if (method == QLatin1String(lang::MethodSysLog)) {
        if (!settings.SysLogMethod.enable)
            return nullptr;
        // The collector gets its host from the method itself; the text gets the leading ":" rule.
        return std::make_unique<ThreadSysLog>(settings.SysLogMethod, SysLogSafeText(text));
    }

    return nullptr;
}
