#include "core/langLibrary.h"

namespace lang {

const QStringList& ServiceKinds()
{
    static const QStringList list{"URL", "Email",    "SMTP", "POP3", "IMAP",  "Ping",
                                  "FTP", "Database", "LDAP", "MQ",   "Others"};
    return list;
}

const QStringList& AlarmMethods()
{
    static const QStringList list{"Email", "SMS", "SMS by HTTP", "SysLog", "SNMP"};
    return list;
}

const QStringList& CheckOrigins()
{
    static const QStringList list{"Product", "Setup"};
    return list;
}

const QStringList& ServiceStates()
{
    static const QStringList list{"Stop", "Start"};
    return list;
}

const QStringList& CheckStates()
{
    static const QStringList list{"Unknown", "Process", "Retry"};
    return list;
}

const QStringList& ScheduleKinds()
{
    static const QStringList list{"Daily", "Hourly", "Minutely"};
    return list;
}

const QStringList& SyslogSeverities()
{
    static const QStringList list{"Emergency", "Alert",  "Critical",      "Error",
                                  "Warning",   "Notice", "Informational", "Debug"};
    return list;
}

const QStringList& SyslogFacilities()
{
    static const QStringList list{"Kernel",
                                  "User Level",
                                  "Mail System",
                                  "System Daemon",
                                  "Security One",
                                  "Syslogd",
                                  "LPR",
                                  "NNTP",
                                  "UUCP",
                                  "Clock Daemon One",
                                  "Security Two",
                                  "FTP Daemon",
                                  "NTP",
                                  "Log Audit",
                                  "Log Alert",
                                  "Clock Daemon Two",
                                  "Local Use Zero",
                                  "Local Use One",
                                  "Local Use Two",
                                  "Local Use Three",
                                  "Local Use Four",
                                  "Local Use Five",
                                  "Local Use Six",
                                  "Local Use Seven"};
    return list;
}

} // namespace lang
