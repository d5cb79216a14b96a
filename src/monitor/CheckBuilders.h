#pragma once

// The check builders: one per kind of service, each turning a plain service record and the
// settings it needs into a check work item with a fresh protocol client. The monitoring cycle
// (scheduler, Run Now, the repeat of a failed check), the new-service wizard's Test connection and
// quorvel-probe all build their checks here, so a check runs the same way whoever asks for it.
//
// Builders read no global state (no settings record, no database): everything comes in through
// their arguments. They throw only when a protocol client cannot be made.

#include "core/comFunc.h"
#include "database/ServiceStore.h"
#include "net/Tls.h"

#include <QString>

#include <memory>
#include <vector>

class ThreadCheck;

// What the creator decides beyond the service itself.
struct CheckBuildSettings
{
    QString Origin;  // "Product" (monitoring cycle, probe) or "Setup" (wizard test)
    int Retry = 0;   // > 0: a failed attempt is repeated once by the result handler
    int Timeout = 0; // milliseconds; <= 0 gives 5000
    TlsOptions Tls;  // how certificates are judged where the check runs inside TLS
};

using CheckBuilder = std::unique_ptr<ThreadCheck> (*)(const ServiceRecord& service,
                                                      const CheckBuildSettings& settings);

// One kind of service that is checked: its name in column `service`, the settings that give its
// retry flag and time-out, and its builder.
struct CheckKind
{
    const char* Name; // "URL", "Ping", "SMTP", "POP3", "IMAP", "FTP", "TCP", "DNS", "Certificate"
    int AppSettingsRecord::*RetrySetting;   // e.g. &AppSettingsRecord::HTTPRetry
    int AppSettingsRecord::*TimeoutSetting; // e.g. &AppSettingsRecord::HTTPDefaultTimeout
    CheckBuilder Build;
};

// The table of kinds. "Database" (and any other text) is not in it: such services are never
// probed.
const std::vector<CheckKind>& CheckKinds();
// The kind named `name` exactly, or nullptr.
const CheckKind* FindCheckKind(const QString& name);

// The settings the monitoring cycle gives a check: origin "Product", the kind's time-out and the
// certificate policy ([tls]) from `settings`, and `retry` (the kind's retry setting for the minute tick, 0
// for Run Now and for the repeat of a failed check).
CheckBuildSettings ProductCheckSettings(const CheckKind& kind, const AppSettingsRecord& settings, int retry);
// The settings of a wizard test: origin "Setup", no retry, the kind's time-out and the
// certificate policy from `settings`.
CheckBuildSettings SetupCheckSettings(const CheckKind& kind, const AppSettingsRecord& settings);

// Builds the check of `service.Service` through the table; nullptr for a kind that is not checked.
// A "Setup" check never speaks for a stored service: its ServiceId is 0, its retry and all four
// alarm flags are off, whatever the record holds.
std::unique_ptr<ThreadCheck> BuildCheck(const ServiceRecord& service, const CheckBuildSettings& settings);

// The builders of the table, one per kind. Each takes the record's host (for "URL" the address
// with "http://" put in front unless it already begins so, in any letter case), port, alarm flags
// and the values its kind uses:
//   URL   url_method, credentials, proxy, request headers, form fields and the expectation on
//         the body (ThreadURLCheck)
//   Ping  nothing more (ThreadPingCheck)
//   SMTP  credentials, accepted but not used: the check only greets (ThreadSMTPCheck)
//   POP3  credentials (ThreadPOP3Check)
//   IMAP  credentials (ThreadIMAPCheck)
//   FTP   credentials, proxy type and proxy (ThreadFTPCheck)
//   TCP   the line to send and the text to expect (ThreadTCPCheck)
//   DNS   the name (as host), the record type, the expected value and the server (ThreadDNSCheck)
//   Certificate  the STARTTLS mode (ThreadCertCheck); the TLS options decide what is accepted
std::unique_ptr<ThreadCheck> BuildURLCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildPingCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildSMTPCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildPOP3Check(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildIMAPCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildFTPCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildTCPCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildDNSCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
std::unique_ptr<ThreadCheck> BuildCertCheck(const ServiceRecord& service, const CheckBuildSettings& settings);
