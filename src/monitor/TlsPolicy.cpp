#include "monitor/TlsPolicy.h"

#include "core/comFunc.h"

TlsOptions CheckTlsOptions()
{
    TlsOptions options;
    options.caFile = AppSettings.TlsCAFile.toStdString();
    options.verify = AppSettings.TlsVerify;
    options.expiryWarnDays = AppSettings.TlsExpiryWarnDays > 0 ? AppSettings.TlsExpiryWarnDays : 0;
    return options;
}

TlsOptions AlarmTlsOptions()
{
    TlsOptions options = CheckTlsOptions();
    options.expiryWarnDays = 0;
    return options;
}
