// SysInit.ini read and written through the table of its keys: every key's default, a value other
// than the default through load -> save -> load, and the edges of each range as a load takes them.
#include "core/Clock.h"
#include "core/IniFile.h"
#include "core/SettingsFields.h"
#include "core/comFunc.h"
#include "support/QtPrinters.h"
#include "support/Recorders.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <QFile>

#include <climits>

namespace {

class SettingsFieldsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppSettings = AppSettingsRecord();
        AppSettings.AppPath = tree.path();
        ASSERT_TRUE(EnsureLogDir());
        ASSERT_TRUE(EnsureConfDir());
    }

    QStringList systemLogLines() const
    {
        QFile f(AppSettings.LogDir + AppSettings.SystemLogFilename + Now().toString("yyyy-MM-dd") + ".log");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts)
                                           : QStringList();
    }

    TempTree tree;
    RecordingNotifier boxes;
};

bool stored(const SettingField& f)
{
    return f.load != SettingLoad::Never && !f.readSection;
}

// A valid value of the field other than its default, in the file's form.
QString otherValue(const SettingField& f)
{
    if (f.items && !f.text) {
        const QStringList names = f.items();
        return names.at(names.indexOf(f.Default()) == 0 ? 1 : 0);
    }
    if (f.items)
        return f.Default(); // a list of one
    if (f.kind == SettingKind::Flag || f.kind == SettingKind::YesNo)
        return f.Default() == "1" ? "0" : "1";
    if (f.text)
        return QStringLiteral("v-%1-%2").arg(f.section, f.key).remove(' ');
    const int def = f.DefaultNumber();
    return QString::number(def < f.maximum && def < 999 ? def + 1 : def - 1);
}

} // namespace

TEST_F(SettingsFieldsTest, EveryKeyHasItsDefaultWhenAbsentAndRoundTripsAnotherValue)
{
    tree.write("conf/SysInit.ini", "[System]\r\n");
    LoadSettings();
    for (const SettingField& f : SettingFields())
        EXPECT_EQ(SettingText(f, AppSettings), f.Default()) << f.section << "/" << f.key;

    // Every stored key at once with a value it does not have by default.
    IniFile ini;
    for (const SettingField& f : SettingFields())
        if (stored(f))
            ini.setValue(f.section, f.key, otherValue(f));
    QString error;
    ASSERT_TRUE(ini.save(AppSettings.SettingsFilePath, &error)) << error.toStdString();
    LoadSettings();
    const AppSettingsRecord loaded = AppSettings;
    for (const SettingField& f : SettingFields()) {
        if (!stored(f) || QLatin1String(f.key) == QLatin1String("CAFile"))
            continue; // a relative CA file is resolved against the conf folder
        EXPECT_EQ(SettingText(f, loaded), otherValue(f)) << f.section << "/" << f.key;
    }

    // Written and read again: the same values, the never-written keys left as the file had them.
    ASSERT_TRUE(SaveSettings());
    AppSettings = AppSettingsRecord();
    AppSettings.AppPath = tree.path();
    ASSERT_TRUE(EnsureLogDir());
    ASSERT_TRUE(EnsureConfDir());
    LoadSettings();
    for (const SettingField& f : SettingFields())
        EXPECT_EQ(SettingText(f, AppSettings), SettingText(f, loaded)) << f.section << "/" << f.key;
    EXPECT_TRUE(systemLogLines().filter("WARMING").isEmpty()) << systemLogLines().join('\n').toStdString();
}

// The edges of each numeric key's range as a load takes them: inside kept, outside the default
// (with one warning line for the keys that warn, silently for the others).
TEST_F(SettingsFieldsTest, ALoadKeepsTheEdgesOfEachRangeAndGivesTheDefaultBeyondThem)
{
    const long long none = LLONG_MAX; // no upper edge
    const struct
    {
        const char* section;
        const char* key;
        long long minimum;
        long long maximum;
        const char* byDefault;
        bool warns;
    } cases[] = {
        {"System", "WindowWidth", 0, none, "1024", false},
        {"System", "WindowHeight", 0, none, "768", false},
        {"System", "ShowLogItem", 0, none, "100", false},
        {"System Log", "HouseKeepDay", 1, none, "7", false},
        {"http", "HTTPDefaultTimeout", 1, none, "10000", false},
        {"ping", "PingDefaultTimeout", 1, none, "10000", false},
        {"db", "DBDefaultTimeout", 1, none, "10000", false},
        {"ftp", "FTPDefaultTimeout", 1, none, "10000", false},
        {"email", "EmailDefaultTimeout", 1, none, "10000", false},
        {"tcp", "TCPDefaultTimeout", 1, none, "10000", false},
        {"dns", "DNSDefaultTimeout", 1, none, "10000", false},
        {"cert", "CertDefaultTimeout", 1, none, "10000", false},
        {"http", "HTTPRetry", 0, 1, "0", false},
        {"ping", "PingRetry", 0, 1, "0", false},
        {"db", "DBRetry", 0, 1, "0", false},
        {"ftp", "FTPRetry", 0, 1, "0", false},
        {"email", "EmailRetry", 0, 1, "0", false},
        {"tcp", "TCPRetry", 0, 1, "0", false},
        {"dns", "DNSRetry", 0, 1, "0", false},
        {"cert", "CertRetry", 0, 1, "0", false},
        {"tls", "ExpiryWarnDays", 0, none, "14", false},
        {"Pool", "MaxRunning", 1, 1000, "200", true},
        {"Results", "KeepDays", 1, 3650, "31", true},
    };
    for (const auto& c : cases) {
        const SettingField* f = FindSettingField(c.section, c.key);
        ASSERT_NE(f, nullptr) << c.section << "/" << c.key;
        struct Edge
        {
            long long value;
            bool kept;
        };
        std::vector<Edge> edges{{c.minimum, true}, {c.minimum - 1, false}};
        if (c.maximum != none)
            edges.insert(edges.end(), {{c.maximum, true}, {c.maximum + 1, false}});
        for (const Edge& e : edges) {
            const QString text = QString::number(e.value);
            SCOPED_TRACE(QStringLiteral("[%1] %2=%3").arg(c.section, c.key, text).toStdString());
            tree.write("conf/SysInit.ini",
                       QStringLiteral("[%1]\r\n%2=%3\r\n").arg(c.section, c.key, text).toUtf8());
            const int before = systemLogLines().size();
            LoadSettings();
            EXPECT_EQ(SettingText(*f, AppSettings), e.kept ? text : QString::fromLatin1(c.byDefault));
            const QStringList warnings = systemLogLines().mid(before).filter(QLatin1String(c.key));
            EXPECT_EQ(warnings.size(), !e.kept && c.warns ? 1 : 0) << warnings.join('\n').toStdString();
        }
    }
}

// The keys written only once set leave a file without them unchanged while at their default, and
// are written (even back to the default) once the file has them; the read-only keys never are.
TEST_F(SettingsFieldsTest, KeysWrittenOnceSetStayOutOfAFileUntilTheyDifferFromTheDefault)
{
    const struct
    {
        const char* section;
        const char* key;
        const char* other;
        bool written;
    } cases[] = {
        {"System", "DesktopNotifications", "1", true},
        {"Engine", "Role", "Console", true},
        {"Results", "KeepDays", "45", true},
        {"tls", "CAFile", "/etc/ca.pem", false},
        {"tls", "Verify", "0", false},
        {"tls", "ExpiryWarnDays", "3", false},
        {"Pool", "MaxRunning", "12", false},
        {"Engine", "Name", "north", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("[%1] %2").arg(c.section, c.key).toStdString());
        const SettingField* f = FindSettingField(c.section, c.key);
        ASSERT_NE(f, nullptr);
        const QString line = QStringLiteral("\n%1=").arg(c.key);
        tree.write("conf/SysInit.ini", "[System]\r\nInitStart=1\r\n");
        LoadSettings();
        ASSERT_TRUE(SaveSettings());
        EXPECT_FALSE(QString::fromUtf8(tree.read("conf/SysInit.ini")).contains(line));

        SetSettingText(*f, AppSettings, c.other);
        ASSERT_TRUE(SaveSettings());
        const QString file = QString::fromUtf8(tree.read("conf/SysInit.ini"));
        EXPECT_EQ(file.contains(line + c.other), c.written) << file.toStdString();
        if (!c.written)
            continue;
        SetSettingText(*f, AppSettings, f->Default());
        ASSERT_TRUE(SaveSettings());
        EXPECT_TRUE(QString::fromUtf8(tree.read("conf/SysInit.ini")).contains(line + f->Default()));
    }
}

// A fresh file that gets the alarm rules, the role and the results' days has their sections in
// that order, after the usual ones.
TEST_F(SettingsFieldsTest, AFreshFileHoldsTheLaterSectionsInTheirOrder)
{
    LoadSettings();
    AppSettings.Rules.Recovery = true;
    AppSettings.ConsoleRole = true;
    AppSettings.ResultsKeepDays = 90;
    ASSERT_TRUE(SaveSettings());
    const QString file = QString::fromUtf8(tree.read("conf/SysInit.ini"));
    const int backup = file.indexOf("[Alarm Msg DB Backup]");
    const int rules = file.indexOf("[AlarmRules]");
    const int engine = file.indexOf("[Engine]\r\nRole=Console");
    const int results = file.indexOf("[Results]\r\nKeepDays=90");
    EXPECT_TRUE(backup >= 0 && backup < rules && rules < engine && engine < results) << file.toStdString();
}
