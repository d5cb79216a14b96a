#pragma once

// The alarm rules of section [AlarmRules] of SysInit.ini: when a failing service raises its problem
// alarm, whether it is repeated as a reminder, and whether its recovery is announced. Each key is
// declared once, with its default and its range, in the table of AlarmRuleKeys(); loading, saving
// and the options page follow that table. The defaults raise the problem alarm at every final
// failure and announce no recovery.

#include <QString>
#include <QStringList>

#include <vector>

class IniFile;

struct AlarmRules
{
    enum class NotifyMode
    {
        EveryFailure, // every final failure raises the problem alarm
        OnChange,     // once when the service becomes failed, then only reminders
    };

    int FailuresBeforeAlarm = 1; // final failures in a row before the problem alarm
    NotifyMode Notify = NotifyMode::EveryFailure;
    int RemindMinutes = 0;        // OnChange: repeat the problem alarm this often; 0 never
    bool Recovery = false;        // announce a recovery after a problem alarm
    int PassesBeforeRecovery = 1; // passes in a row that make a recovery
    int DeliveryRetries = 3;      // tries again of an alarm whose delivery failed for a passing reason
    // Hosts on this workstation's own way out (its gateway, a resolver); empty: no self-check.
    // When every one of them fails its ping in a tick, that tick's failures are not alarmed.
    QStringList ReferenceHosts;
};

// One key of [AlarmRules]: its name, its default and its range as the file holds them (Notify as 0
// for EveryFailure and 1 for OnChange), and the member it sets.
struct AlarmRuleKey
{
    const char* Key;
    const char* Caption; // on the options page
    int Default;
    int Minimum;
    int Maximum;
    int (*Get)(const AlarmRules&);
    void (*Set)(AlarmRules&, int);
};

const std::vector<AlarmRuleKey>& AlarmRuleKeys();
// The names of the Notify values 0 and 1: "EveryFailure", "OnChange".
QStringList AlarmNotifyNames();

// The section name, "AlarmRules".
QString AlarmRulesSection();

// The rules in `ini`: an absent key gives its default; a value that is not a number of its range
// (for Notify: "EveryFailure" or "OnChange", letter case aside) gives the default too, with one
// text for it in `problems`.
AlarmRules ReadAlarmRules(const IniFile& ini, QStringList* problems);
// The key of the reference hosts, "ReferenceHosts", and its caption on the options page.
QString ReferenceHostsKey();
QString ReferenceHostsCaption();
// The hosts of a ReferenceHosts text: names or addresses separated by commas or blanks. False,
// with the reason in `problem`, when one of them cannot be a host name or an address.
bool ParseReferenceHosts(const QString& text, QStringList* hosts, QString* problem);

// Writes every key of the rules into `ini`. A file without the section, whose rules are all the
// defaults, is left without it.
void WriteAlarmRules(IniFile& ini, const AlarmRules& rules);
