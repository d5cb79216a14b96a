#pragma once

// The message catalogue: every text the program shows in a box or a status bar, writes to its
// system log, or stores as a fixed value in its database. Texts are used character for
// character; a detail is appended as " : " + the error's own text.

#include <QStringList>

namespace lang {

// Error codes: "ERR" + area (000 application, 001 database, 002 local files, 003 network,
// 004 worker threads, 005 charts, 008 SMPP) + number.
inline constexpr char ERR00001[] = "ERR00001 : The application is already startup.";
inline constexpr char ERR00003[] = "ERR00003 : Help file not found.";
inline constexpr char ERR00101[] = "ERR00101 : Connot make connection to MySQL database.";
inline constexpr char ERR00103[] = "ERR00103 : MySQL library not found.";
inline constexpr char ERR00104[] = "ERR00104 : Cannot create MySQL database.";
inline constexpr char ERR00105[] = "ERR00105 : Cannot create MySQL table.";
inline constexpr char ERR00106[] = "ERR00106 : Cannot save to MySQL database.";
inline constexpr char ERR00107[] = "ERR00107 : Cannot read from MySQL database.";
inline constexpr char ERR00202[] = "ERR00202 : System log file is invalid.";
inline constexpr char ERR00203[] = "ERR00203 : System init file not found.";
inline constexpr char ERR00204[] = "ERR00204 : System init directory not found.";
inline constexpr char ERR00205[] = "ERR00205 : System log directory not found.";
inline constexpr char ERR00206[] = "ERR00206 : Alarm log backup error.";
inline constexpr char ERR00301[] = "ERR00301 : Winsock has no response.";
inline constexpr char ERR00302[] = "ERR00302 : Winsock is not initialised.";
inline constexpr char ERR00303[] = "ERR00303 : Network is down.";
inline constexpr char ERR00304[] = "ERR00304 : Network is in progress.";
inline constexpr char ERR00305[] = "ERR00305 : Network connection fail.";
inline constexpr char ERR00401[] = "ERR00401 : Alarming thread error.";
inline constexpr char ERR00501[] = "ERR00501 : Cannot create charts.";
inline constexpr char ERR00502[] = "ERR00502 : Cannot export charts.";
inline constexpr char ERR00801[] =
    "ERR00801 : SMPP Connection Failed, please make sure SMPP URL and port are correct.";
inline constexpr char ERR00802[] = "ERR00802 : SMPP Binding Failed, please make sure username, password, "
                                   "TON/NPI/System Type/Version/OA are correct.";
inline constexpr char ERR00803[] =
    "ERR00803 : SMPP Sending Failed, please make sure Dest TON/NPI and Orig TON/NPI are correct.";

// Where unexpected errors are to be reported, and the maker's web pages.
inline constexpr char SupportEmail[] = "support@tolvern.example";
inline constexpr char UnhandledError[] =
    "ERROR : Please send this error message to support@tolvern.example for trouble solving.";
inline constexpr char HomePageUrl[] = "https://tolvern.example/quorvel/";
inline constexpr char FaqUrl[] = "https://tolvern.example/quorvel/faq.html";

// System log events.
inline constexpr char ApplicationStarts[] = "Application starts.";
inline constexpr char ApplicationStops[] = "Application stops.";
inline constexpr char SchedulingStarts[] = "Service scheduling starts.";
inline constexpr char SchedulingStops[] = "Service scheduling stops.";

// Main window.
inline constexpr char ServiceStillProcessing[] = "This service is still under processing or retrying.";
inline constexpr char SelectServiceForUpdate[] =
    "Please select any service for update or delete by double click on below records.";

// Service definition, new-service wizard and service editor.
inline constexpr char SelectSchedulingMethod[] = "Please select the scheduling method.";
inline constexpr char SelectValidMinuteHour[] = "Please select valid minute and hour.";
inline constexpr char HostFieldEmpty[] = "%s host field is empty.";
inline constexpr char LoginFieldEmpty[] = "%s field is empty: a POP3 or IMAP check logs in with it.";
inline constexpr char InvalidInteger[] = "%s is invalid integer or empty.";
inline constexpr char OneLineField[] = "%s must be one line, without line breaks.";
inline constexpr char InputValidIp[] = "Please input valid IP.";
inline constexpr char InputValidPort[] = "Please input valid port.";
inline constexpr char SelectContactsForAlarm[] = "Please select contact(s) for the alarming method(s).";
inline constexpr char NewServiceSetup[] = "New service has been setup successfully.";
inline constexpr char SelectService[] = "Please select service.";
inline constexpr char ClickToTestConnection[] = "Please click on the below button to test the connection.";
inline constexpr char SelectAlarmMethods[] = "Please select the below alarm method(s).";
inline constexpr char SelectContactPersonsOrGroups[] = "Please select the contact person(s) or group(s).";
inline constexpr char RightClickToRemove[] =
    "You can right click or double click on the below list to remove the selected record.";
inline constexpr char ClickNext[] = "Click Next to next step...";
inline constexpr char ClickToSaveScheduling[] = "Click to save the new scheduling.";
inline constexpr char ConnectionTesting[] = "Service connection is testing now.";
inline constexpr char ConnectionTested[] = "Service connection has been tested.";
inline constexpr char ConnectionNotTested[] = "Service connection was not tested.";
inline constexpr char ServiceUpdated[] = "The service has been updated.";
inline constexpr char ServiceDeleted[] = "The service has been deleted.";
inline constexpr char CanUpdateOrDeleteRecord[] = "You can update or delete this record.";
inline constexpr char ServiceNotLoaded[] = "The service could not be loaded.";
inline constexpr char ServiceNoLongerExists[] =
    "The service no longer exists: it was deleted meanwhile. Nothing was saved.";
inline constexpr char ConfirmDeleteService[] = "Do you want to delete the service %s [%s:%s] ?";
inline constexpr char DiscardServiceChanges[] =
    "The changes to the service %s [%s:%s] are not saved yet. Do you want to discard them?";

// Alarm method settings.
inline constexpr char FieldEmpty[] = "%s field is empty.";
inline constexpr char FieldEmptyForTest[] = "%s is empty. Please input this field for testing connection.";
inline constexpr char EitherFieldEmpty[] = "%s or %s is empty. Please input this field.";
inline constexpr char SmtpSending[] = "SMTP Message is sending out...";
inline constexpr char SmtpSent[] = "SMTP Message has been sent already.";
inline constexpr char SmtpError[] = "SMTP Error : ";
inline constexpr char SmsSending[] = "SMS Message is sending out...";
inline constexpr char SmsSent[] = "SMS Message has been sent already.";
inline constexpr char SmsError[] = "SMS Error : ";
inline constexpr char SmsConnectionFailed[] = "Connection Failed : ";
inline constexpr char SmsConnected[] = "connected";
inline constexpr char SmsBindingFailed[] = "Binding Failed : ";
inline constexpr char SmsSendingFailed[] = "Sending Failed : ";
inline constexpr char HttpSmsSending[] = "SMS ( by HTTP ) Message is sending out...";
inline constexpr char HttpSmsSent[] = "SMS ( by HTTP ) Message has been sent already.";
inline constexpr char HttpSmsError[] = "SMS ( by HTTP ) Error : ";
inline constexpr char SysLogSending[] = "SysLog Message is sending out...";
inline constexpr char SysLogSent[] = "SysLog Message has been sent already.";
inline constexpr char SysLogError[] = "SysLog Error : ";

// Options, contacts, weekly window, charts and database login.
inline constexpr char UpdatingSettings[] = "Updating the settings.";
inline constexpr char ResetSettings[] =
    "Reset the settings to default. Please click OK to save the settings, or Cancel to cancel the changes.";
inline constexpr char OptionSettingsSaved[] = "Option settings saved.";
inline constexpr char UpdatingCancelled[] = "Updating option settings cancel.";
inline constexpr char FolderNotFound[] = "The folder %s does not exist.";
inline constexpr char SelectBackupPath[] = "Please select the backup SysLog file path.";
inline constexpr char PersonNameCompulsory[] = "Person Name is compulsory field.";
inline constexpr char EmailCompulsory[] = "Email is compulsory field.";
inline constexpr char SmsNumberCompulsory[] = "SMS number is compulsory field.";
inline constexpr char PersonNameUnique[] = "Person Name must be unique.";
inline constexpr char EmailOrSmsCompulsory[] =
    "Email or SMS number is compulsory field: a person needs at least one of them.";
inline constexpr char InvalidEmailAddress[] = "%s is not a valid email address. Each address must look like "
                                              "name@domain; several are separated by \";\".";
inline constexpr char InvalidSmsNumber[] =
    "%s is not a valid SMS number. It holds digits only, with an optional leading \"+\".";
inline constexpr char ConfirmDeletePerson[] = "Do you want to delete the contact person %s ?";
inline constexpr char ServicesLeftWithoutRecipient[] =
    "These services would keep their alarm flags but have no recipient left: %s.";
inline constexpr char ContactPersonSaved[] = "New contact person has been saved.";
inline constexpr char ContactPersonUpdated[] = "The contact person has been updated.";
inline constexpr char ContactPersonDeleted[] = "The contact person has been deleted.";
inline constexpr char FieldsCleared[] = "The fields have been cleared.";
inline constexpr char CanUpdateOrDeletePerson[] = "You can update or delete this contract person.";
inline constexpr char ContactGroupSaved[] = "New contact group has been saved.";
inline constexpr char ContactGroupUpdated[] = "The contact group has been updated.";
inline constexpr char ContactGroupDeleted[] = "The contact group has been deleted.";
inline constexpr char CanUpdateOrDeleteGroup[] = "You can update or delete this contract group.";
inline constexpr char GroupNameUnique[] = "Group Name must be unique.";
inline constexpr char GroupNameCompulsory[] = "Group Name is compulsory field.";
inline constexpr char SelectContactPerson[] = "Please select contact person.";
// A group save refuses a name that no longer finds its row (deleted meanwhile), so that no
// membership is written for an id of 0.
inline constexpr char ContactPersonNotFound[] = "The contact person %s cannot be found.";
inline constexpr char ContactGroupNotFound[] = "The contact group %s cannot be found.";
inline constexpr char CanUpdateSchedule[] = "You can update schedule now.";
inline constexpr char SchedulingSaved[] = "The new scheduling has been saved and will be effective now.";
inline constexpr char DataRefresh[] = "Data refresh.";
inline constexpr char ChartsRefreshEvery60s[] = "The history and charts will be refreshed by every 60s.";
inline constexpr char ChartsClosed[] = "Quorvel History & Charts has been closed.";
inline constexpr char SelectExportPath[] = "Please select exporting bmp file path.";
inline constexpr char InputValidConnecting[] = "Please input the valid connecting parameters.";
inline constexpr char ParametersWrong[] = "The parameters are wrong, please input again.";
inline constexpr char FirstStartPatience[] = "Please be patient, it may take a few second for first start.";

// Value lists; a position is significant where a code is derived from it.
const QStringList& ServiceKinds();
const QStringList& AlarmMethods();
const QStringList& CheckOrigins();
const QStringList& ServiceStates();
const QStringList& CheckStates();
const QStringList& ScheduleKinds();
const QStringList& SyslogSeverities(); // position = severity code 0..7
const QStringList& SyslogFacilities(); // position = facility code 0..23

// Single entries of the lists, for the places that compare against one of them.
inline constexpr char KindURL[] = "URL";
inline constexpr char KindEmail[] = "Email";
inline constexpr char KindSMTP[] = "SMTP";
inline constexpr char KindPOP3[] = "POP3";
inline constexpr char KindIMAP[] = "IMAP";
inline constexpr char KindPing[] = "Ping";
inline constexpr char KindFTP[] = "FTP";
inline constexpr char KindDatabase[] = "Database";
// Kinds checked beyond the list above (a plain TCP connection, a DNS answer).
inline constexpr char KindTCP[] = "TCP";
inline constexpr char KindDNS[] = "DNS";
// The certificate a server shows in TLS, directly or after STARTTLS.
inline constexpr char KindCert[] = "Certificate";
inline constexpr char MethodEmail[] = "Email";
inline constexpr char MethodSMS[] = "SMS";
inline constexpr char MethodSMSbyHTTP[] = "SMS by HTTP";
inline constexpr char MethodSysLog[] = "SysLog";
inline constexpr char MethodSNMP[] = "SNMP";
inline constexpr char OriginProduct[] = "Product";
inline constexpr char OriginSetup[] = "Setup";
// A ping of a reference host for the network self-check; never stored or alarmed.
inline constexpr char OriginReference[] = "Reference";
// The status bar of a desktop program in the console role.
inline constexpr char ConsoleStatus[] = "Console: checks run by the monitoring service";
inline constexpr char StateStop[] = "Stop";
inline constexpr char StateStart[] = "Start";
inline constexpr char CheckUnknown[] = "Unknown";
// The detail of a failure while no reference host answered, after "[host:port] ".
inline constexpr char NoNetworkDetail[] = "Unknown : this workstation has no network";
inline constexpr char CheckProcess[] = "Process";
inline constexpr char CheckRetry[] = "Retry";
inline constexpr char ScheduleDaily[] = "Daily";
inline constexpr char ScheduleHourly[] = "Hourly";
inline constexpr char ScheduleMinutely[] = "Minutely";
inline constexpr char ResultPassed[] = "Passed";
inline constexpr char ResultFailed[] = "Failed";

} // namespace lang
