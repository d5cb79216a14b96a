#include "core/SettingsFields.h"

#include "core/AlarmRules.h"
#include "core/IniFile.h"
#include "core/Limits.h"
#include "core/auxFunc.h"

#include <algorithm>
#include <climits>

namespace {

using R = AppSettingsRecord;

// One row of the table, written as a chain of what sets it apart from the usual.
struct Row : SettingField
{
    Row(const char* section_, const char* key_)
    {
        section = section_;
        key = key_;
    }
    Row& integer(int R::*member, int lo, int hi, int byDefault_, SettingKind kind_ = SettingKind::Number)
    {
        number = member;
        kind = kind_;
        minimum = lo;
        maximum = hi;
        byDefault = QString::number(byDefault_);
        return *this;
    }
    Row& days(int R::*member, int lo, int byDefault_)
    {
        return integer(member, lo, INT_MAX, byDefault_, SettingKind::DayList);
    }
    Row& flagged(bool R::*member, bool byDefault_, SettingKind kind_ = SettingKind::Flag)
    {
        flag = member;
        kind = kind_;
        maximum = 1;
        byDefault = byDefault_ ? QStringLiteral("1") : QStringLiteral("0");
        return *this;
    }
    Row& retry(int R::*member)
    {
        return integer(member, 0, 1, 0, SettingKind::Flag).loaded(SettingLoad::Fallback);
    }
    Row& texted(QString R::*member, const char* byDefault_, int length = 0)
    {
        text = member;
        kind = SettingKind::Text;
        maximum = length;
        byDefault = QString::fromLatin1(byDefault_);
        return *this;
    }
    Row& choice(QStringList (*items_)(), const char* byDefault_, SettingKind kind_ = SettingKind::Choice)
    {
        items = items_;
        kind = kind_;
        byDefault = QString::fromLatin1(byDefault_);
        return *this;
    }
    Row& range(int lo, int hi)
    {
        minimum = lo;
        maximum = hi;
        return *this;
    }
    Row& ownTable(void (*read)(const IniFile&, AppSettingsRecord&, QStringList*),
                  void (*write)(IniFile&, const AppSettingsRecord&))
    {
        readSection = read;
        writeSection = write;
        load = SettingLoad::Never;
        save = SettingSave::Never;
        return *this;
    }
    Row& loaded(SettingLoad rule)
    {
        load = rule;
        return *this;
    }
    Row& saved(SettingSave rule)
    {
        save = rule;
        return *this;
    }
    Row& on(SettingsPage page_, const char* group_, const char* caption_)
    {
        page = page_;
        group = group_;
        caption = caption_;
        return *this;
    }
    Row& checked(SettingCheck check_, const char* label_ = nullptr)
    {
        check = check_;
        label = label_;
        return *this;
    }
    Row& enabled(const char* byKey)
    {
        enabledBy = byKey;
        return *this;
    }
    Row& with(const char* note_)
    {
        note = note_;
        return *this;
    }
    Row& tipped(const char* tip_)
    {
        tip = tip_;
        return *this;
    }
    Row& at(int position_)
    {
        position = position_;
        return *this;
    }
};

const char kFilenameNote[] =
    "The filename uses for backup, _<timestamp>.log will be appended to the end of the filename.";
const char kDatabaseNote[] =
    "Note : After saving the database connection values, it will be effective when startup next time.";
const char kRoleTip[] = "Monitor: this program checks the services and raises the alarms. Console: the "
                        "monitoring service (quorveld) does, and this program shows what it writes. Applies "
                        "at the next start.";

QStringList roleNames()
{
    return {MonitorRoleName(), ConsoleRoleName()};
}

QStringList logLevelNames()
{
    return {QStringLiteral("NONE"),     QStringLiteral("DEBUG"),   QStringLiteral("INFORMATIONAL"),
            QStringLiteral("NOTICE"),   QStringLiteral("WARMING"), QStringLiteral("ERROR"),
            QStringLiteral("CRITICAL"), QStringLiteral("ALERT"),   QStringLiteral("EMERGENCY")};
}

QStringList databaseTypes()
{
    return {QStringLiteral("MySQL")};
}

QString logDir()
{
    return AppSettings.LogDir;
}

const char kAlarmRules[] = "AlarmRules";

void readRules(const IniFile& ini, AppSettingsRecord& s, QStringList* problems)
{
    s.Rules = ReadAlarmRules(ini, problems);
}

void writeRules(IniFile& ini, const AppSettingsRecord& s)
{
    WriteAlarmRules(ini, s.Rules);
}

const char kFile[] = "Alarm Msg File Backup";
const char kDb[] = "Alarm Msg DB Backup";

// The time-out of one kind of check and its retry switch, in the group box named `group`; `name`
// is the time-out's accessible name and its name in a refusal.
struct Service
{
    const char* section;
    const char* group;
    const char* name;
    const char* timeoutKey;
    const char* retryKey;
    int R::*timeout;
    int R::*retry;
};

const Service kServices[] = {
    {"http", "URL", "URL Timeout", "HTTPDefaultTimeout", "HTTPRetry", &R::HTTPDefaultTimeout, &R::HTTPRetry},
    {"ping", "Ping", "Ping Timeout", "PingDefaultTimeout", "PingRetry", &R::PingDefaultTimeout,
     &R::PingRetry},
    {"db", "Database", "Database Timeout", "DBDefaultTimeout", "DBRetry", &R::DBDefaultTimeout, &R::DBRetry},
    {"ftp", "FTP", "FTP Timeout", "FTPDefaultTimeout", "FTPRetry", &R::FTPDefaultTimeout, &R::FTPRetry},
    {"email", "Email", "Email Timeout", "EmailDefaultTimeout", "EmailRetry", &R::EmailDefaultTimeout,
     &R::EmailRetry},
    {"tcp", "TCP", "TCP Timeout", "TCPDefaultTimeout", "TCPRetry", &R::TCPDefaultTimeout, &R::TCPRetry},
    {"dns", "DNS", "DNS Timeout", "DNSDefaultTimeout", "DNSRetry", &R::DNSDefaultTimeout, &R::DNSRetry},
    {"cert", "Certificate", "Certificate Timeout", "CertDefaultTimeout", "CertRetry", &R::CertDefaultTimeout,
     &R::CertRetry},
};

std::vector<SettingField> buildTable()
{
    std::vector<SettingField> rows{
        Row("System", "InitStart")
            .flagged(&R::InitStart, true, SettingKind::YesNo)
            .on(GeneralPage, "Settings", "Initial start"),
        Row("System", "WindowWidth").integer(&R::WindowWidth, 0, INT_MAX, 1024).loaded(SettingLoad::Floor),
        Row("System", "WindowHeight").integer(&R::WindowHeight, 0, INT_MAX, 768).loaded(SettingLoad::Floor),
        Row("System", "ShowFunctionBar").flagged(&R::ShowFunctionBar, true),
        Row("System", "ShowWindowAlarmLog").flagged(&R::ShowWindowAlarmLog, true),
        Row("System", "ShowLogItem")
            .days(&R::ShowLogItem, 0, 100)
            .loaded(SettingLoad::Floor)
            .on(GeneralPage, "Alarm Message", "Number of Logs"),
        Row("System", "DesktopNotifications")
            .flagged(&R::DesktopNotifications, false)
            .saved(SettingSave::Changed)
            .on(GeneralPage, "Settings", "Desktop notification when a service fails or recovers")
            .at(1),
    };
    for (const Service& k : kServices) {
        Row row(k.section, k.timeoutKey);
        row.integer(k.timeout, 1, limits::LongestTimeoutMs, 10000)
            .loaded(SettingLoad::Floor)
            .on(ServicePage, k.group, "Timeout")
            .checked(SettingCheck::Integer, k.name);
        row.named = k.name;
        row.unit = "ms";
        row.hidden = row.shownOnly = k.timeout == &R::DBDefaultTimeout; // no check of this kind exists
        rows.push_back(row);
    }
    for (const Service& k : kServices) {
        Row row(k.section, k.retryKey);
        row.retry(k.retry).on(ServicePage, k.group, "Retry if first time fail");
        row.hidden = row.shownOnly = k.retry == &R::DBRetry;
        rows.push_back(row);
    }
    const std::vector<SettingField> rest{
        Row("Database", "Host")
            .texted(&R::DBHost, "localhost")
            .on(DatabasePage, "Database Connection", "Host")
            .checked(SettingCheck::NotEmpty, "Database Host"),
        Row("Database", "Port")
            .texted(&R::DBPort, "3306")
            .range(1, limits::PortMax)
            .on(DatabasePage, "Database Connection", "Port")
            .checked(SettingCheck::Integer, "Database Port"),
        Row("Database", "DBUsername")
            .texted(&R::DBUsername, "root")
            .on(DatabasePage, "Database Connection", "Username"),
        Row("Database", "DBPassword")
            .texted(&R::DBPassword, "") // shown in clear, as stored
            .on(DatabasePage, "Database Connection", "Password")
            .with(kDatabaseNote),
        Row("System Log", "HouseKeepDay")
            .days(&R::SystemLogHouseKeepDay, 1, 7)
            .loaded(SettingLoad::Floor)
            .on(GeneralPage, "System Log", "House keep day"),
        Row("System Log", "Filename")
            .texted(&R::SystemLogFilename, "system_")
            .on(GeneralPage, "System Log", "Filename")
            .with(kFilenameNote),
        Row("System Log", "Level")
            .integer(&R::MinimumLogLevel, 0, 8, 0, SettingKind::Choice)
            .choice(logLevelNames, "NONE")
            .loaded(SettingLoad::Never)
            .saved(SettingSave::Never)
            .on(GeneralPage, "System Log", "Alarm Level"),
        Row(kFile, "Enable")
            .flagged(&R::AlarmMsgFileEnable, true)
            .on(AlarmMsgBackupPage, "File Details", "Enable"),
        Row(kFile, "FilenamePath")
            .texted(&R::AlarmMsgFilePath, "")
            .on(AlarmMsgBackupPage, "File Details", "File Path")
            .enabled("Enable")
            .checked(SettingCheck::Folder, "Alarm Msg File Path"),
        Row(kFile, "Filename")
            .texted(&R::AlarmMsgFilename, "AlarmMsg_")
            .on(AlarmMsgBackupPage, "File Details", "Filename")
            .enabled("Enable")
            .with(kFilenameNote),
        Row(kFile, "HouseKeepDay")
            .days(&R::AlarmMsgFileHouseKeepDay, INT_MIN, 7)
            .on(AlarmMsgBackupPage, "File Details", "House Keep Day")
            .enabled("Enable"),
        Row(kDb, "Enable")
            .flagged(&R::AlarmMsgDBEnable, true)
            .on(AlarmMsgBackupPage, "Database Details", "Enable"),
        Row(kDb, "Type")
            .texted(&R::AlarmMsgDBType, "MySQL")
            .choice(databaseTypes, "MySQL", SettingKind::Fixed)
            .on(AlarmMsgBackupPage, "Database Details", "Database Type")
            .enabled("Enable"),
        Row(kDb, "HouseKeepDay")
            .days(&R::AlarmMsgDBHouseKeepDay, INT_MIN, 7)
            .on(AlarmMsgBackupPage, "Database Details", "House keep day")
            .enabled("Enable"),
        // [tls], [Pool] and [Engine] Name are read when present and never written.
        Row("tls", "CAFile").texted(&R::TlsCAFile, "").saved(SettingSave::Never),
        Row("tls", "Verify").flagged(&R::TlsVerify, true).saved(SettingSave::Never),
        Row("tls", "ExpiryWarnDays")
            .integer(&R::TlsExpiryWarnDays, 0, INT_MAX, 14)
            .loaded(SettingLoad::Floor)
            .saved(SettingSave::Never),
        Row("Pool", "MaxRunning")
            .integer(&R::PoolMaxRunning, kPoolMaxRunningMinimum, kPoolMaxRunningMaximum,
                     kPoolMaxRunningDefault)
            .loaded(SettingLoad::Warn)
            .saved(SettingSave::Never),
        Row("Engine", "Name").texted(&R::EngineName, "").loaded(SettingLoad::Trim).saved(SettingSave::Never),
        // [AlarmRules]: its keys come from their own table.
        Row(kAlarmRules, nullptr).ownTable(readRules, writeRules),
        // The role is written once it was ever set: a file of a monitoring desktop stays as it was.
        Row("Engine", "Role")
            .flagged(&R::ConsoleRole, false, SettingKind::Choice)
            .choice(roleNames, "Monitor")
            .loaded(SettingLoad::Warn)
            .saved(SettingSave::Changed)
            .on(GeneralPage, "Settings", "Role")
            .tipped(kRoleTip),
        Row("Results", "KeepDays")
            .integer(&R::ResultsKeepDays, kResultsKeepDaysMinimum, kResultsKeepDaysMaximum,
                     kResultsKeepDaysDefault)
            .loaded(SettingLoad::Warn)
            .saved(SettingSave::Changed)
            .on(AlarmMsgBackupPage, "Check Results", "Keep results (days)")
            .checked(SettingCheck::Range),
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    for (SettingField& row : rows) {
        if (row.page == NoPage)
            continue;
        if (row.key == QLatin1String("Level"))
            row.hidden = true;
        if (row.key == QLatin1String("FilenamePath")) {
            row.browse = true;
            row.dynamicDefault = logDir;
        }
        if (row.key == QLatin1String("Enable"))
            row.keptOnReset = true;
        if (row.key == QLatin1String("KeepDays"))
            row.rangeTip = true;
    }
    return rows;
}

bool isNumberMember(const SettingField& f)
{
    return f.number != nullptr;
}

// The index of the item named `text` (letter case aside), or -1.
int itemIndex(const SettingField& f, const QString& text)
{
    const QStringList names = f.items();
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Whether `text` is a valid value of the field, as the file holds it.
bool validText(const SettingField& f, const QString& text)
{
    if (f.items && !f.text)
        return itemIndex(f, text) >= 0;
    int value = 0;
    return ParseInteger(text, &value) && value >= f.minimum && value <= f.maximum;
}

QString rangeText(const SettingField& f)
{
    if (f.items)
        return f.items().join(QStringLiteral(" or "));
    return QStringLiteral("%1 to %2").arg(f.minimum).arg(f.maximum);
}

} // namespace

int SettingField::DefaultNumber() const
{
    if (items && !text)
        return std::max(0, itemIndex(*this, Default()));
    return IntegerOr(Default(), 0);
}

const std::vector<SettingField>& SettingFields()
{
    static const std::vector<SettingField> rows = buildTable();
    return rows;
}

const std::vector<SettingsPageForm>& SettingsPageForms()
{
    static const std::vector<SettingsPageForm> pages{
        {"General", {"System Log", "Alarm Message", "Settings"}, 1, "Files"},
        {"Database Connection", {"Database Connection"}, 1, "Database_Login"},
        {"Alarm Msg Backup", {"File Details", "Database Details", "Check Results"}, 1, "Files"},
        {"Service", {"URL", "Ping", "Database", "FTP", "Email", "TCP", "DNS", "Certificate"}, 2, "Files"},
    };
    return pages;
}

const SettingField* FindSettingField(const char* section, const char* key)
{
    for (const SettingField& f : SettingFields())
        if (QLatin1String(f.section) == QLatin1String(section) && QLatin1String(f.key) == QLatin1String(key))
            return &f;
    return nullptr;
}

QString SettingText(const SettingField& f, const AppSettingsRecord& s)
{
    if (f.readSection)
        return QString();
    if (f.text)
        return s.*f.text;
    const int value = f.flag ? (s.*f.flag ? 1 : 0) : s.*f.number;
    if (f.items) {
        const QStringList names = f.items();
        return value >= 0 && value < names.size() ? names[value] : QString();
    }
    return QString::number(value);
}

void SetSettingText(const SettingField& f, AppSettingsRecord& s, const QString& text)
{
    if (f.readSection)
        return;
    if (f.text) {
        s.*f.text = text;
        return;
    }
    const int value = f.items ? itemIndex(f, text) : IntegerOr(text, f.DefaultNumber());
    if (f.flag)
        s.*f.flag = f.items ? value == 1 : value != 0;
    else
        s.*f.number = f.items && value < 0 ? f.DefaultNumber() : value;
}

void LoadSettingFields(const IniFile& ini, AppSettingsRecord& s, QStringList* problems)
{
    for (const SettingField& f : SettingFields()) {
        if (f.readSection) {
            f.readSection(ini, s, problems);
            continue;
        }
        const QString section = QString::fromLatin1(f.section);
        const QString key = QString::fromLatin1(f.key);
        const bool present = f.load != SettingLoad::Never && ini.contains(section, key);
        QString text = present ? ini.value(section, key, f.Default()) : f.Default();
        if (f.load == SettingLoad::Trim || (f.load == SettingLoad::Warn && f.items))
            text = text.trimmed();
        if (f.load == SettingLoad::Warn && present && !validText(f, f.items ? text : text.trimmed())) {
            if (problems)
                *problems << QStringLiteral("[%1] %2=%3 is not valid (%4); %5 is used.")
                                 .arg(section, key, text, rangeText(f), f.Default());
            text = f.Default();
        } else if (f.load == SettingLoad::Warn && present && !f.items) {
            text = text.trimmed();
        }
        SetSettingText(f, s, text);
        if (!isNumberMember(f))
            continue;
        const int value = s.*f.number;
        if ((f.load == SettingLoad::Floor && value < f.minimum) ||
            (f.load == SettingLoad::Fallback && (value < f.minimum || value > f.maximum)))
            s.*f.number = f.DefaultNumber();
    }
}

void SaveSettingFields(IniFile& ini, const AppSettingsRecord& s)
{
    for (const SettingField& f : SettingFields()) {
        if (f.writeSection) {
            f.writeSection(ini, s);
            continue;
        }
        const QString section = QString::fromLatin1(f.section);
        const QString key = QString::fromLatin1(f.key);
        const QString text = SettingText(f, s);
        if (f.save == SettingSave::Never)
            continue;
        if (f.save == SettingSave::Changed && text == f.Default() && !ini.contains(section, key))
            continue;
        ini.setValue(section, key, text);
    }
}
