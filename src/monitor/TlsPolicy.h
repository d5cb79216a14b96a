#pragma once

#include "net/Tls.h"

// The certificate policy of the local settings ([tls] of SysInit.ini), as the builders copy it
// into every work item that may speak TLS. Read on the main thread when an item is built.

// Checks: CAFile, Verify and ExpiryWarnDays.
TlsOptions CheckTlsOptions();

// Alarm deliveries (and the alarm settings' tests): CAFile and Verify. A certificate that merely
// ends soon never keeps an alarm from going out, so the expiry warning is off.
TlsOptions AlarmTlsOptions();
