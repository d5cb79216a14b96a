#pragma once

#include "net/Tls.h"

struct AppSettingsRecord;

// The certificate policy of the local settings ([tls] of SysInit.ini), as the builders' callers
// hand it to every work item that may speak TLS.

// Checks: CAFile, Verify and ExpiryWarnDays.
TlsOptions CheckTlsOptions(const AppSettingsRecord& settings);

// Alarm deliveries (and the alarm settings' tests): CAFile and Verify. A certificate that merely
// ends soon never keeps an alarm from going out, so the expiry warning is off.
TlsOptions AlarmTlsOptions(const AppSettingsRecord& settings);
