#include "monitor/TlsPolicy.h"

#include "core/comFunc.h"

TlsOptions CheckTlsOptions(const AppSettingsRecord& settings)
{
    TlsOptions options;
    options.caFile = settings.TlsCAFile.toStdString();
    options.verify = settings.TlsVerify;
    options.expiryWarnDays = settings.TlsExpiryWarnDays > 0 ? settings.TlsExpiryWarnDays : 0;
    return options;
}

TlsOptions AlarmTlsOptions(const AppSettingsRecord& settings)
{
    TlsOptions options = CheckTlsOptions(settings);
    options.expiryWarnDays = 0;
    return options;
}
