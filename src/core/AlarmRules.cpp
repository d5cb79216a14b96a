#include "core/AlarmRules.h"

#include "core/IniFile.h"

#include <QRegularExpression>

namespace {

const char* const kEveryFailure = "EveryFailure";
const char* const kOnChange = "OnChange";
const char* const kNotify = "Notify";

// The file's text of a value: Notify by name, a flag and a number as digits.
QString fileText(const AlarmRuleKey& key, int value)
{
    if (QLatin1String(key.Key) == QLatin1String(kNotify))
        return QString::fromLatin1(value == 1 ? kOnChange : kEveryFailure);
    return QString::number(value);
}

// The number a text of the file stands for; false when it stands for none.
bool fileValue(const AlarmRuleKey& key, const QString& text, int* value)
{
    if (QLatin1String(key.Key) == QLatin1String(kNotify)) {
        if (text.compare(QLatin1String(kEveryFailure), Qt::CaseInsensitive) == 0)
            *value = 0;
        else if (text.compare(QLatin1String(kOnChange), Qt::CaseInsensitive) == 0)
            *value = 1;
        else
            return false;
        return true;
    }
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

} // namespace

QStringList AlarmNotifyNames()
{
    return {QString::fromLatin1(kEveryFailure), QString::fromLatin1(kOnChange)};
}

const std::vector<AlarmRuleKey>& AlarmRuleKeys()
{
    static const std::vector<AlarmRuleKey> keys{
        {"FailuresBeforeAlarm", "Failures before the alarm", 1, 1, 100,
         [](const AlarmRules& r) { return r.FailuresBeforeAlarm; },
         [](AlarmRules& r, int v) { r.FailuresBeforeAlarm = v; }},
        {kNotify, "Notify", 0, 0, 1,
         [](const AlarmRules& r) { return r.Notify == AlarmRules::NotifyMode::OnChange ? 1 : 0; },
         [](AlarmRules& r, int v) {
             r.Notify = v == 1 ? AlarmRules::NotifyMode::OnChange : AlarmRules::NotifyMode::EveryFailure;
         }},
        {"RemindMinutes", "Remind every (minutes, 0 never)", 0, 0, 10080,
         [](const AlarmRules& r) { return r.RemindMinutes; },
         [](AlarmRules& r, int v) { r.RemindMinutes = v; }},
        {"Recovery", "Send a recovery notice", 0, 0, 1,
         [](const AlarmRules& r) { return r.Recovery ? 1 : 0; },
         [](AlarmRules& r, int v) { r.Recovery = v != 0; }},
        {"PassesBeforeRecovery", "Passes before the recovery", 1, 1, 100,
         [](const AlarmRules& r) { return r.PassesBeforeRecovery; },
         [](AlarmRules& r, int v) { r.PassesBeforeRecovery = v; }},
        {"DeliveryRetries", "Delivery retries", 3, 0, 10,
         [](const AlarmRules& r) { return r.DeliveryRetries; },
         [](AlarmRules& r, int v) { r.DeliveryRetries = v; }},
    };
    return keys;
}

QString AlarmRulesSection()
{
    return QStringLiteral("AlarmRules");
}

QString ReferenceHostsKey()
{
    return QStringLiteral("ReferenceHosts");
}

QString ReferenceHostsCaption()
{
    return QStringLiteral("Reference hosts");
}

bool ParseReferenceHosts(const QString& text, QStringList* hosts, QString* problem)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    // A host name (letters, digits, '-', '.', '_') or an IPv4 or IPv6 address.
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9._:-]{1,253}$"));
    QStringList found;
    for (const QString& host : text.split(separators, Qt::SkipEmptyParts)) {
        if (!hostPattern.match(host).hasMatch()) {
            if (problem)
                *problem = QStringLiteral("\"%1\" is not a host name or an address.").arg(host);
            return false;
        }
        if (!found.contains(host, Qt::CaseInsensitive))
            found << host;
    }
    if (hosts)
        *hosts = found;
    return true;
}

AlarmRules ReadAlarmRules(const IniFile& ini, QStringList* problems)
{
    AlarmRules rules;
    const QString section = AlarmRulesSection();
    for (const AlarmRuleKey& key : AlarmRuleKeys()) {
        const QString name = QString::fromLatin1(key.Key);
        int value = key.Default;
        if (ini.contains(section, name)) {
            const QString text = ini.value(section, name, QString());
            int read = 0;
            if (fileValue(key, text, &read) && read >= key.Minimum && read <= key.Maximum) {
                value = read;
            } else if (problems) {
                *problems << QStringLiteral("[%1] %2=%3 is not valid (%4 to %5); %6 is used.")
                                 .arg(section, name, text, fileText(key, key.Minimum),
                                      fileText(key, key.Maximum), fileText(key, key.Default));
            }
        }
        key.Set(rules, value);
    }
    if (ini.contains(section, ReferenceHostsKey())) {
        const QString text = ini.value(section, ReferenceHostsKey(), QString());
        QString problem;
        if (!ParseReferenceHosts(text, &rules.ReferenceHosts, &problem) && problems)
            *problems << QStringLiteral("[%1] %2=%3 is not valid (%4); no reference host is used.")
                             .arg(section, ReferenceHostsKey(), text, problem);
    }
    return rules;
}

void WriteAlarmRules(IniFile& ini, const AlarmRules& rules)
{
    const QString section = AlarmRulesSection();
    bool present = ini.contains(section, ReferenceHostsKey());
    bool defaults = rules.ReferenceHosts.isEmpty();
    for (const AlarmRuleKey& key : AlarmRuleKeys()) {
        present = present || ini.contains(section, QString::fromLatin1(key.Key));
        defaults = defaults && key.Get(rules) == key.Default;
    }
    if (!present && defaults)
        return;
    for (const AlarmRuleKey& key : AlarmRuleKeys())
        ini.setValue(section, QString::fromLatin1(key.Key), fileText(key, key.Get(rules)));
    ini.setValue(section, ReferenceHostsKey(), rules.ReferenceHosts.join(QLatin1Char(',')));
}
