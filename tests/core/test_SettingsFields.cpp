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
    return f.load != SettingLoad::Never;
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
// (with a warning line for the keys that warn, silently for the others).
TEST_F(SettingsFieldsTest, ALoadKeepsTheEdgesOfEachRangeAndGivesTheDefaultBeyondThem)
{
    for (const SettingField& f : SettingFields()) {
        if (!f.number || f.items || !stored(f) || f.load == SettingLoad::AsIs)
            continue;
        struct Edge
        {
            long long value;
            bool kept;
        };
        std::vector<Edge> edges{{f.minimum, true}, {static_cast<long long>(f.minimum) - 1, false}};
        if (f.load != SettingLoad::Floor)
            edges.insert(edges.end(), {{f.maximum, true}, {static_cast<long long>(f.maximum) + 1, false}});
        for (const Edge& e : edges) {
            if (e.value < INT_MIN || e.value > INT_MAX)
                continue;
            const QString text = QString::number(e.value);
            SCOPED_TRACE(QStringLiteral("[%1] %2=%3").arg(f.section, f.key, text).toStdString());
            tree.write("conf/SysInit.ini",
                       QStringLiteral("[%1]\r\n%2=%3\r\n").arg(f.section, f.key, text).toUtf8());
            const int before = systemLogLines().size();
            LoadSettings();
            EXPECT_EQ(SettingText(f, AppSettings), e.kept ? text : f.Default());
            const QStringList warnings = systemLogLines().mid(before).filter(QLatin1String(f.key));
            EXPECT_EQ(warnings.size(), !e.kept && f.load == SettingLoad::Warn ? 1 : 0)
                << warnings.join('\n').toStdString();
        }
    }
}

// A key written only once it was set leaves a file without it unchanged at its default, and is
// written (even back to its default) once the file has it.
TEST_F(SettingsFieldsTest, KeysWrittenOnceSetStayOutOfAFileUntilTheyDifferFromTheDefault)
{
    for (const SettingField& f : SettingFields()) {
        if (f.save != SettingSave::Changed)
            continue;
        SCOPED_TRACE(QStringLiteral("[%1] %2").arg(f.section, f.key).toStdString());
        const QString line = QStringLiteral("%1=").arg(f.key);
        tree.write("conf/SysInit.ini", "[System]\r\nInitStart=1\r\n");
        LoadSettings();
        ASSERT_TRUE(SaveSettings());
        EXPECT_FALSE(QString::fromUtf8(tree.read("conf/SysInit.ini")).contains(line));

        SetSettingText(f, AppSettings, otherValue(f));
        ASSERT_TRUE(SaveSettings());
        EXPECT_TRUE(QString::fromUtf8(tree.read("conf/SysInit.ini")).contains(line + otherValue(f)));
        SetSettingText(f, AppSettings, f.Default());
        ASSERT_TRUE(SaveSettings());
        EXPECT_TRUE(QString::fromUtf8(tree.read("conf/SysInit.ini")).contains(line + f.Default()));
    }
}
