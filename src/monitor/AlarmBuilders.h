#pragma once

// The alarm builders: one alarm work item (one delivery by one alarm method) from the alarm-method
// settings given as an argument. The result handler passes the in-memory settings loaded from
// table alarm_method; quorvel-probe passes the settings its command line describes. Builders
// read no global state.

#include "net/Tls.h"

#include <QString>

#include <memory>

class ThreadAlarm;
struct AlarmMethodSettingsRecord;

// The work item of `method` ("Email", "SMS", "SMS by HTTP" or "SysLog", compared exactly) for
// `text` to `recipient`, filled with copies of that method's settings; nullptr when the method is
// not enabled in `settings` or unknown.
//   Email        one ThreadSMTP to every address of `recipient` (separated by ";")
//   SMS          one ThreadSMS over SMPP to the number `recipient`
//   SMS by HTTP  one ThreadURL to the gateway with the number `recipient`
//   SysLog       one ThreadSysLog to the method's own host (`recipient` is not used); a text with
//                ":" at its second character or later gets ":" put in front
// The hosts are taken as the settings hold them: the loader has already removed "http://" from
// the e-mail, SMS and syslog hosts and put it in front of the gateway URL. `tls` judges the
// certificates of the e-mail server (port 465 or STARTTLS) and of an https:// gateway; the
// result handler passes AlarmTlsOptions (TlsPolicy.h).
std::unique_ptr<ThreadAlarm> BuildAlarm(const AlarmMethodSettingsRecord& settings, const QString& method,
                                        const QString& text, const QString& recipient,
                                        const TlsOptions& tls = TlsOptions());
