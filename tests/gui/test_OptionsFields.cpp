// The options pages against the table of settings they are built from: for every field, what
// Default shows and Apply stores, the edges of its range, and a value other than the default
// through show -> Apply -> SysInit.ini -> load -> show.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/SettingsFields.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/dialogs/OptionsPage.h"
#include "gui/dialogs/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <iterator>

namespace {

using Kind = Notifier::Kind;

// Every field of the options pages as the user knows it: where it is stored, the name a screen
// reader gives it, its default (nullptr: the log folder) and, for a checked number, its range.
struct Expected
{
    const char* section;
    const char* key;
    int page;
    const char* name;
    const char* byDefault;
    int minimum;
    int maximum;
};

const char kFile[] = "Alarm Msg File Backup";
const char kDb[] = "Alarm Msg DB Backup";
const int kHour = 3600000;

const Expected kExpected[] = {
    {"System", "InitStart", GeneralPage, "Initial start", "1", 0, 0},
    {"System", "ShowLogItem", GeneralPage, "Number of Logs", "100", 0, 0},
    {"System", "DesktopNotifications", GeneralPage, "Desktop notification when a service fails or recovers",
     "0", 0, 0},
    {"System Log", "HouseKeepDay", GeneralPage, "House keep day", "7", 0, 0},
    {"System Log", "Filename", GeneralPage, "Filename", "system_", 0, 0},
    {"System Log", "Level", GeneralPage, "Alarm Level", "NONE", 0, 0},
    {"Engine", "Role", GeneralPage, "Role", "Monitor", 0, 0},
    {"Database", "Host", DatabasePage, "Host", "localhost", 0, 0},
    {"Database", "Port", DatabasePage, "Port", "3306", 1, 65535},
    {"Database", "DBUsername", DatabasePage, "Username", "root", 0, 0},
    {"Database", "DBPassword", DatabasePage, "Password", "", 0, 0},
    {kFile, "Enable", AlarmMsgBackupPage, "Enable", "1", 0, 0},
    {kFile, "FilenamePath", AlarmMsgBackupPage, "File Path", nullptr, 0, 0},
    {kFile, "Filename", AlarmMsgBackupPage, "Filename", "AlarmMsg_", 0, 0},
    {kFile, "HouseKeepDay", AlarmMsgBackupPage, "House Keep Day", "7", 0, 0},
    {kDb, "Enable", AlarmMsgBackupPage, "Enable", "1", 0, 0},
    {kDb, "Type", AlarmMsgBackupPage, "Database Type", "MySQL", 0, 0},
    {kDb, "HouseKeepDay", AlarmMsgBackupPage, "House keep day", "7", 0, 0},
    {"Results", "KeepDays", AlarmMsgBackupPage, "Keep results (days)", "31", 1, 3650},
    {"http", "HTTPDefaultTimeout", ServicePage, "URL Timeout", "10000", 1, kHour},
    {"ping", "PingDefaultTimeout", ServicePage, "Ping Timeout", "10000", 1, kHour},
    {"ftp", "FTPDefaultTimeout", ServicePage, "FTP Timeout", "10000", 1, kHour},
    {"email", "EmailDefaultTimeout", ServicePage, "Email Timeout", "10000", 1, kHour},
    {"tcp", "TCPDefaultTimeout", ServicePage, "TCP Timeout", "10000", 1, kHour},
    {"dns", "DNSDefaultTimeout", ServicePage, "DNS Timeout", "10000", 1, kHour},
    {"cert", "CertDefaultTimeout", ServicePage, "Certificate Timeout", "10000", 1, kHour},
    {"http", "HTTPRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"ping", "PingRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"ftp", "FTPRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"email", "EmailRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"tcp", "TCPRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"dns", "DNSRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
    {"cert", "CertRetry", ServicePage, "Retry if first time fail", "0", 0, 0},
};

QString expectedDefault(const Expected& e)
{
    return e.byDefault ? QString::fromLatin1(e.byDefault) : AppSettings.LogDir;
}

// The rows the options pages show and save.
std::vector<const SettingField*> pageRows()
{
    std::vector<const SettingField*> rows;
    for (const SettingField& f : SettingFields())
        if (f.page != NoPage && !f.shownOnly)
            rows.push_back(&f);
    return rows;
}

QString trace(const SettingField& f)
{
    return QStringLiteral("[%1] %2").arg(f.section, f.key);
}

// Puts a value of the file's form into an input as the user would choose it.
void enter(const SettingField& f, QWidget* input, const QString& text)
{
    if (auto* box = qobject_cast<QCheckBox*>(input))
        box->setChecked(text == "1");
    else if (auto* edit = qobject_cast<QLineEdit*>(input))
        edit->setText(text);
    else if (auto* list = qobject_cast<QComboBox*>(input))
        list->setCurrentIndex(f.kind == SettingKind::YesNo     ? (text == "1" ? 0 : 1)
                              : f.kind == SettingKind::DayList ? text.toInt() - 1
                                                               : list->findText(text));
}

// What an input shows, in the file's form.
QString shown(const SettingField& f, QWidget* input)
{
    if (auto* box = qobject_cast<QCheckBox*>(input))
        return box->isChecked() ? "1" : "0";
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        return edit->text();
    auto* list = qobject_cast<QComboBox*>(input);
    if (f.kind == SettingKind::YesNo)
        return list->currentIndex() == 0 ? "1" : "0";
    if (f.kind == SettingKind::DayList)
        return QString::number(list->currentIndex() + 1);
    return list->currentText();
}

// A value other than the default that Apply accepts, in the file's form.
QString otherValue(const SettingField& f, const QString& folder)
{
    if (f.browse)
        return folder;
    if (f.items) {
        const QStringList names = f.items();
        return names.size() > 1 ? names.at(names.indexOf(f.Default()) == 0 ? 1 : 0) : f.Default();
    }
    if (f.kind == SettingKind::Flag || f.kind == SettingKind::YesNo)
        return f.Default() == "1" ? "0" : "1";
    if (f.check == SettingCheck::Integer || f.check == SettingCheck::Range || f.number)
        return QString::number(f.DefaultNumber() + 1);
    return QStringLiteral("v-%1").arg(f.key);
}

class OptionsFields : public GuiFixture
{
protected:
    void start()
    {
        openWindow();
        startCycle();
        showWindow();
        reopen();
    }

    void reopen()
    {
        if (form)
            form->close();
        QTest::mouseClick(window->ToolButtonGeneral, Qt::LeftButton);
        form = FormSettings();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(WaitUntilFocused(form));
        m_boxes.boxes.clear();
    }

    QWidget* input(const SettingField& f) const
    {
        auto* page = qobject_cast<OptionsPage*>(form->PageControl->widget(f.page));
        return page ? page->Field(f.section, f.key) : nullptr;
    }

    // Enters a field (which enables Apply) and presses Apply.
    void apply()
    {
        form->PageControl->setCurrentIndex(TFormSettings::PageGeneral);
        form->EditSysLogFilename->setFocus();
        QTest::mouseClick(form->ButtonApply, Qt::LeftButton);
    }

    // The settings as a fresh load of SysInit.ini gives them.
    AppSettingsRecord reloaded() const
    {
        const AppSettingsRecord kept = AppSettings;
        LoadSettings();
        const AppSettingsRecord read = AppSettings;
        AppSettings = kept;
        return read;
    }

    TFormSettings* form = nullptr;
};

} // namespace

TEST_F(OptionsFields, DefaultShowsEachFieldsDefaultAndApplyStoresIt)
{
    start();
    // Values other than the defaults first, so that Default has something to change.
    const QString folder = m_tree->file("conf") + "/";
    for (const SettingField* f : pageRows())
        enter(*f, input(*f), otherValue(*f, folder));
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();

    reopen();
    QTest::mouseClick(form->ButtonDefault, Qt::LeftButton);
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    const AppSettingsRecord read = reloaded();
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(QStringLiteral("[%1] %2").arg(e.section, e.key).toStdString());
        const SettingField* f = FindSettingField(e.section, e.key);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->page, e.page);
        ASSERT_NE(input(*f), nullptr);
        EXPECT_EQ(input(*f)->accessibleName(), e.name);
        // The Enable boxes keep what they showed; every other field shows its default.
        const QString expected = f->keptOnReset ? otherValue(*f, folder) : expectedDefault(e);
        EXPECT_EQ(shown(*f, input(*f)), expected);
        EXPECT_EQ(SettingText(*f, AppSettings), expected);
        if (f->save != SettingSave::Never) {
            EXPECT_EQ(SettingText(*f, read), expected);
        }
    }
    // Nothing on the pages that the list above does not name.
    EXPECT_EQ(pageRows().size(), std::size(kExpected));
}

TEST_F(OptionsFields, EveryFieldRoundTripsThroughApplyTheFileAndTheNextShowing)
{
    start();
    const QString folder = m_tree->file("conf") + "/";
    for (const SettingField* f : pageRows())
        enter(*f, input(*f), otherValue(*f, folder));
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(form->StatusText(), lang::OptionSettingsSaved);

    for (const SettingField* f : pageRows())
        EXPECT_EQ(SettingText(*f, AppSettings), otherValue(*f, folder)) << trace(*f).toStdString();

    // Read back from the file and shown again; a value that is never written is not in the file.
    AppSettings = reloaded();
    reopen();
    for (const SettingField* f : pageRows()) {
        if (f->save == SettingSave::Never)
            continue;
        EXPECT_EQ(SettingText(*f, AppSettings), otherValue(*f, folder)) << trace(*f).toStdString();
        EXPECT_EQ(shown(*f, input(*f)), otherValue(*f, folder)) << trace(*f).toStdString();
    }
    // Pictures of the pages for a look by eye: QUORVEL_SCREENSHOTS names the folder.
    if (const QString pictures = qEnvironmentVariable("QUORVEL_SCREENSHOTS"); !pictures.isEmpty()) {
        for (int page = 0; page < form->PageControl->count(); ++page) {
            form->PageControl->setCurrentIndex(page);
            EXPECT_TRUE(form->grab().save(pictures + QStringLiteral("/options-page-%1.png").arg(page)));
        }
    }
}

// Each checked number: both edges of its range are taken, one beyond either edge is refused on the
// field's page with the focus in it, and nothing is stored.
TEST_F(OptionsFields, EachNumberTakesTheEdgesOfItsRangeAndRefusesBeyondThem)
{
    start();
    for (const Expected& x : kExpected) {
        if (x.minimum == x.maximum)
            continue;
        const SettingField* f = FindSettingField(x.section, x.key);
        ASSERT_NE(f, nullptr);
        const struct
        {
            long long value;
            bool taken;
        } edges[] = {{x.minimum, true},
                     {x.maximum, true},
                     {static_cast<long long>(x.minimum) - 1, false},
                     {static_cast<long long>(x.maximum) + 1, false}};
        for (const auto& e : edges) {
            const QString text = QString::number(e.value);
            SCOPED_TRACE((trace(*f) + "=" + text).toStdString());
            reopen();
            const AppSettingsRecord before = AppSettings;
            enter(*f, input(*f), text);
            apply();
            if (e.taken) {
                EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
                EXPECT_EQ(SettingText(*f, AppSettings), text);
                EXPECT_EQ(SettingText(*f, reloaded()), text);
                continue;
            }
            ASSERT_EQ(m_boxes.boxes.size(), 1u);
            EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information);
            EXPECT_EQ(form->PageControl->currentIndex(), f->page);
            EXPECT_EQ(QApplication::focusWidget(), input(*f));
            EXPECT_EQ(SettingText(*f, AppSettings), SettingText(*f, before));
        }
    }
}
