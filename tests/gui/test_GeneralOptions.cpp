// The options dialog: its pages and lists, Show and Apply against the settings and SysInit.ini,
// the refusals, Default and Cancel, the folder choice, and what a saved value does at the next
// start.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/dialogs/settings.h"
#include "monitor/MonitorEngine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>

namespace {

using Kind = Notifier::Kind;

class GeneralOptions : public GuiFixture
{
protected:
    // Starts the program (with `ini` as its settings file when given) and opens the options.
    void start(const QByteArray& ini = QByteArray())
    {
        if (!ini.isEmpty())
            writeIni(ini);
        openWindow();
        startCycle();
        showWindow();
        form = openOptions();
        ASSERT_NE(form, nullptr);
    }

    TFormSettings* openOptions()
    {
        QTest::mouseClick(window->ToolButtonGeneral, Qt::LeftButton);
        TFormSettings* f = FormSettings();
        if (f && !WaitUntilFocused(f))
            return nullptr;
        return f;
    }

    // Enters a field as the user does (which enables Apply) and presses Apply.
    void apply()
    {
        form->PageControl->setCurrentIndex(TFormSettings::PageGeneral);
        form->EditSysLogFilename->setFocus();
        ASSERT_TRUE(form->ButtonApply->isEnabled());
        QTest::mouseClick(form->ButtonApply, Qt::LeftButton);
    }

    QByteArray iniBytes() const { return m_tree->read("conf/SysInit.ini"); }

    TFormSettings* form = nullptr;
};

} // namespace

TEST_F(GeneralOptions, OpensWithItsPagesTheSettingsShownAndApplyDisabled)
{
    start("[System]\r\nInitStart=0\r\nShowLogItem=250\r\n[System Log]\r\nHouseKeepDay=14\r\nFilename=sys-\r\n"
          "[Alarm Msg File Backup]\r\nEnable=0\r\nFilenamePath=/var/tmp/\r\nHouseKeepDay=3\r\n"
          "[Alarm Msg DB Backup]\r\nEnable=1\r\nHouseKeepDay=31\r\n[ftp]\r\nFTPDefaultTimeout=4500\r\n"
          "FTPRetry=1\r\n");
    EXPECT_EQ(form->windowTitle(), "Options");
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(UnnamedControls(form), QStringList());
    QStringList pages;
    for (int i = 0; i < form->PageControl->count(); ++i)
        pages << form->PageControl->tabText(i);
    EXPECT_EQ(pages,
              QStringList({"General", "Database Connection", "Alarm Msg Backup", "Service", "Alarm Rules"}));
    EXPECT_EQ(form->PageControl->currentIndex(), 0);
    EXPECT_FALSE(form->ButtonApply->isEnabled());
    EXPECT_EQ(window->MainStatus(), lang::UpdatingSettings);

    // The inputs by the names a screen reader gives them.
    EXPECT_EQ(form->ComboBoxSysLogHouseKeepDay->accessibleName(), "House keep day");
    EXPECT_EQ(form->ComboBoxDBHouseKeepDay->accessibleName(), "House keep day");
    EXPECT_EQ(Named<QComboBox>(form, "Number of Logs"), form->ComboBoxNumberOfLogs);
    EXPECT_EQ(Named<QComboBox>(form, "Initial start"), form->ComboBoxInitStart);
    EXPECT_EQ(Named<QLineEdit>(form, "Host"), form->EditHost);
    EXPECT_EQ(Named<QLineEdit>(form, "File Path"), form->EditFilePath);
    EXPECT_EQ(Named<QComboBox>(form, "House Keep Day"), form->ComboBoxFileHouseKeepDay);
    EXPECT_EQ(Named<QLineEdit>(form, "Ping Timeout"), form->EditTimeout[TFormSettings::ServicePing]);
    EXPECT_EQ(Named<QLineEdit>(form, "TCP Timeout"), form->EditTimeout[TFormSettings::ServiceTCP]);
    EXPECT_EQ(Named<QLineEdit>(form, "DNS Timeout"), form->EditTimeout[TFormSettings::ServiceDNS]);
    EXPECT_EQ(Named<QLineEdit>(form, "Certificate Timeout"), form->EditTimeout[TFormSettings::ServiceCert]);
    for (const char* caption : {"Apply", "Cancel", "Default", "...", "Enable", "Retry if first time fail"})
        EXPECT_NE(Named<QAbstractButton>(form, caption), nullptr) << caption;
    EXPECT_EQ(form->ButtonApply->toolTip(), "Click to save the settings");
    EXPECT_EQ(form->ButtonDefault->toolTip(), "Click to reset the settings to default");
    EXPECT_FALSE(form->GroupBoxService[TFormSettings::ServiceDatabase]->isVisibleTo(form));
    EXPECT_FALSE(form->ComboBoxLogLevel->isVisibleTo(form));

    // The settings as loaded.
    EXPECT_EQ(form->ComboBoxInitStart->currentText(), "No");
    EXPECT_EQ(form->ComboBoxSysLogHouseKeepDay->currentText(), "14");
    EXPECT_EQ(form->ComboBoxNumberOfLogs->currentText(), "250");
    EXPECT_EQ(form->EditSysLogFilename->text(), "sys-");
    EXPECT_EQ(form->EditHost->text(), AppSettings.DBHost);
    EXPECT_EQ(form->EditPort->text(), AppSettings.DBPort);
    EXPECT_FALSE(form->CheckBoxFileEnable->isChecked());
    EXPECT_EQ(form->EditFilePath->text(), "/var/tmp/");
    EXPECT_FALSE(form->EditFilePath->isEnabled());
    EXPECT_FALSE(form->ButtonFilePath->isEnabled());
    EXPECT_FALSE(form->ComboBoxFileHouseKeepDay->isEnabled());
    EXPECT_EQ(form->ComboBoxFileHouseKeepDay->currentText(), "3");
    EXPECT_TRUE(form->ComboBoxDBHouseKeepDay->isEnabled());
    EXPECT_EQ(form->ComboBoxDBHouseKeepDay->currentText(), "31");
    EXPECT_EQ(form->EditTimeout[TFormSettings::ServiceFTP]->text(), "4500");
    EXPECT_TRUE(form->CheckBoxRetry[TFormSettings::ServiceFTP]->isChecked());
    EXPECT_FALSE(form->CheckBoxRetry[TFormSettings::ServiceURL]->isChecked());

    // Entering any field enables Apply.
    form->PageControl->setCurrentIndex(TFormSettings::PageService);
    form->CheckBoxRetry[TFormSettings::ServiceEmail]->setFocus();
    EXPECT_TRUE(form->ButtonApply->isEnabled());

    // The Enable boxes govern their controls.
    form->PageControl->setCurrentIndex(TFormSettings::PageAlarmMsgBackup);
    form->CheckBoxFileEnable->click();
    EXPECT_TRUE(form->EditFilePath->isEnabled());
    EXPECT_TRUE(form->EditAlarmFilename->isEnabled());
    EXPECT_TRUE(form->ButtonFilePath->isEnabled());
    form->CheckBoxDBEnable->click();
    EXPECT_FALSE(form->ComboBoxDBHouseKeepDay->isEnabled());
}

TEST_F(GeneralOptions, TheNumberListsHold999EntriesAfterSeveralShowingsAndStoreTheChosenNumber)
{
    start();
    for (int showing = 0; showing < 3; ++showing) {
        form->close();
        form = openOptions();
        ASSERT_NE(form, nullptr);
    }
    for (QComboBox* list : {form->ComboBoxSysLogHouseKeepDay, form->ComboBoxNumberOfLogs,
                            form->ComboBoxFileHouseKeepDay, form->ComboBoxDBHouseKeepDay}) {
        ASSERT_EQ(list->count(), 999);
        EXPECT_EQ(list->itemText(0), "1");
        EXPECT_EQ(list->itemText(998), "999");
    }
    form->ComboBoxSysLogHouseKeepDay->setCurrentIndex(6);
    form->ComboBoxNumberOfLogs->setCurrentIndex(998);
    apply();
    EXPECT_EQ(form->StatusText(), lang::OptionSettingsSaved);
    EXPECT_EQ(window->MainStatus(), lang::OptionSettingsSaved);
    EXPECT_FALSE(form->ButtonApply->isEnabled());
    EXPECT_TRUE(form->isVisible()); // Apply keeps the window open
    EXPECT_EQ(AppSettings.SystemLogHouseKeepDay, 7);
    EXPECT_EQ(iniValue("System Log", "HouseKeepDay"), "7");
    EXPECT_EQ(AppSettings.ShowLogItem, 999);
    EXPECT_EQ(iniValue("System", "ShowLogItem"), "999");
}

TEST_F(GeneralOptions, ApplyRefusesAnInvalidFieldOnItsPageAndSavesNothing)
{
    start();
    using Field = std::function<void(TFormSettings*)>;
    const struct
    {
        const char* name;
        Field enter;
        TFormSettings::Page page;
        std::function<QWidget*(TFormSettings*)> focus;
        const char* box;
    } cases[] = {
        {"empty host", [](TFormSettings* f) { f->EditHost->clear(); }, TFormSettings::PageDatabase,
         [](TFormSettings* f) { return f->EditHost; }, "Database Host field is empty."},
        {"port not a number", [](TFormSettings* f) { f->EditPort->setText("33o6"); },
         TFormSettings::PageDatabase, [](TFormSettings* f) { return f->EditPort; },
         "Database Port is invalid integer or empty."},
        {"port 0", [](TFormSettings* f) { f->EditPort->setText("0"); }, TFormSettings::PageDatabase,
         [](TFormSettings* f) { return f->EditPort; }, "Database Port is invalid integer or empty."},
        {"port 65536", [](TFormSettings* f) { f->EditPort->setText("65536"); }, TFormSettings::PageDatabase,
         [](TFormSettings* f) { return f->EditPort; }, "Database Port is invalid integer or empty."},
        {"empty file path", [](TFormSettings* f) { f->EditFilePath->clear(); },
         TFormSettings::PageAlarmMsgBackup, [](TFormSettings* f) { return f->EditFilePath; },
         "Alarm Msg File Path field is empty."},
        {"file path not an existing folder",
         [](TFormSettings* f) { f->EditFilePath->setText("/no/such/quorvel/folder/"); },
         TFormSettings::PageAlarmMsgBackup, [](TFormSettings* f) { return f->EditFilePath; },
         "The folder /no/such/quorvel/folder/ does not exist."},
        {"URL time-out 0", [](TFormSettings* f) { f->EditTimeout[TFormSettings::ServiceURL]->setText("0"); },
         TFormSettings::PageService,
         [](TFormSettings* f) { return f->EditTimeout[TFormSettings::ServiceURL]; },
         "URL Timeout is invalid integer or empty."},
        {"Ping time-out above an hour",
         [](TFormSettings* f) { f->EditTimeout[TFormSettings::ServicePing]->setText("3600001"); },
         TFormSettings::PageService,
         [](TFormSettings* f) { return f->EditTimeout[TFormSettings::ServicePing]; },
         "Ping Timeout is invalid integer or empty."},
        {"FTP time-out empty", [](TFormSettings* f) { f->EditTimeout[TFormSettings::ServiceFTP]->clear(); },
         TFormSettings::PageService,
         [](TFormSettings* f) { return f->EditTimeout[TFormSettings::ServiceFTP]; },
         "FTP Timeout is invalid integer or empty."},
        {"Email time-out with a trailing blank",
         [](TFormSettings* f) { f->EditTimeout[TFormSettings::ServiceEmail]->setText("500 "); },
         TFormSettings::PageService,
         [](TFormSettings* f) { return f->EditTimeout[TFormSettings::ServiceEmail]; },
         "Email Timeout is invalid integer or empty."},
        {"no failures before the alarm",
         [](TFormSettings* f) { Named<QLineEdit>(f, "Failures before the alarm")->setText("0"); },
         TFormSettings::PageAlarmRules,
         [](TFormSettings* f) { return Named<QLineEdit>(f, "Failures before the alarm"); },
         "Failures before the alarm must be a number from 1 to 100."},
        {"reminders beyond a week",
         [](TFormSettings* f) { Named<QLineEdit>(f, "Remind every (minutes, 0 never)")->setText("10081"); },
         TFormSettings::PageAlarmRules,
         [](TFormSettings* f) { return Named<QLineEdit>(f, "Remind every (minutes, 0 never)"); },
         "Remind every (minutes, 0 never) must be a number from 0 to 10080."},
        {"a reference host that is no host",
         [](TFormSettings* f) { Named<QLineEdit>(f, "Reference hosts")->setText("10.0.0.1, gw;reboot"); },
         TFormSettings::PageAlarmRules,
         [](TFormSettings* f) { return Named<QLineEdit>(f, "Reference hosts"); },
         "Reference hosts: \"gw;reboot\" is not a host name or an address."},
        {"results kept for no day",
         [](TFormSettings* f) { Named<QLineEdit>(f, "Keep results (days)")->setText("0"); },
         TFormSettings::PageAlarmMsgBackup,
         [](TFormSettings* f) { return Named<QLineEdit>(f, "Keep results (days)"); },
         "Keep results (days) must be a number from 1 to 3650."},
        {"results kept beyond ten years",
         [](TFormSettings* f) { Named<QLineEdit>(f, "Keep results (days)")->setText("3651"); },
         TFormSettings::PageAlarmMsgBackup,
         [](TFormSettings* f) { return Named<QLineEdit>(f, "Keep results (days)"); },
         "Keep results (days) must be a number from 1 to 3650."},
    };
    // A file as written before; nothing may change it.
    form->ComboBoxInitStart->setCurrentIndex(0);
    apply();
    const QByteArray saved = iniBytes();
    ASSERT_FALSE(saved.isEmpty());
    const AppSettingsRecord before = AppSettings;

    for (const auto& c : cases) {
        form->close();
        form = openOptions();
        m_boxes.boxes.clear();
        form->PageControl->setCurrentIndex(TFormSettings::PageGeneral);
        form->ComboBoxInitStart->setCurrentIndex(1); // would store InitStart=0
        c.enter(form);
        apply();
        ASSERT_EQ(m_boxes.boxes.size(), 1u) << c.name;
        EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information) << c.name;
        EXPECT_EQ(m_boxes.boxes[0].second, c.box) << c.name;
        EXPECT_EQ(form->PageControl->currentIndex(), c.page) << c.name;
        EXPECT_EQ(QApplication::focusWidget(), c.focus(form)) << c.name;
        EXPECT_EQ(iniBytes(), saved) << c.name;
        EXPECT_EQ(AppSettings.InitStart, before.InitStart) << c.name;
        EXPECT_NE(form->StatusText(), lang::OptionSettingsSaved) << c.name;
    }

    // With the file backup off, an empty path is no fault.
    form->close();
    form = openOptions();
    m_boxes.boxes.clear();
    form->CheckBoxFileEnable->setChecked(false);
    form->CheckBoxFileEnableClick();
    form->EditFilePath->clear();
    apply();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(form->StatusText(), lang::OptionSettingsSaved);
    EXPECT_FALSE(AppSettings.AlarmMsgFileEnable);
    EXPECT_EQ(iniValue("Alarm Msg File Backup", "Enable"), "0");
}

TEST_F(GeneralOptions, NumbersAreWrittenAsTheDecimalOfTheValidatedInteger)
{
    start();
    form->EditTimeout[TFormSettings::ServiceURL]->setText("$9C4");
    form->EditTimeout[TFormSettings::ServicePing]->setText("  750");
    form->EditTimeout[TFormSettings::ServiceFTP]->setText("+3600000");
    form->EditTimeout[TFormSettings::ServiceEmail]->setText("1");
    form->EditTimeout[TFormSettings::ServiceTCP]->setText("4000");
    form->EditTimeout[TFormSettings::ServiceDNS]->setText("2000");
    form->EditTimeout[TFormSettings::ServiceCert]->setText("7000");
    form->EditPort->setText("$CEA");
    form->CheckBoxRetry[TFormSettings::ServicePing]->setChecked(true);
    form->CheckBoxRetry[TFormSettings::ServiceDNS]->setChecked(true);
    form->CheckBoxRetry[TFormSettings::ServiceCert]->setChecked(true);
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(iniValue("http", "HTTPDefaultTimeout"), "2500");
    EXPECT_EQ(iniValue("ping", "PingDefaultTimeout"), "750");
    EXPECT_EQ(iniValue("ftp", "FTPDefaultTimeout"), "3600000");
    EXPECT_EQ(iniValue("email", "EmailDefaultTimeout"), "1");
    EXPECT_EQ(iniValue("Database", "Port"), "3306");
    EXPECT_EQ(iniValue("ping", "PingRetry"), "1");
    EXPECT_EQ(iniValue("tcp", "TCPDefaultTimeout"), "4000");
    EXPECT_EQ(iniValue("dns", "DNSDefaultTimeout"), "2000");
    EXPECT_EQ(iniValue("dns", "DNSRetry"), "1");
    EXPECT_EQ(iniValue("cert", "CertDefaultTimeout"), "7000");
    EXPECT_EQ(iniValue("cert", "CertRetry"), "1");
    EXPECT_EQ(iniValue("tcp", "TCPRetry"), "0");
    EXPECT_EQ(AppSettings.HTTPDefaultTimeout, 2500);
    EXPECT_EQ(AppSettings.DBPort, "3306");
}

TEST_F(GeneralOptions, AHandEditedFileKeepsItsCommentsSectionsAndValuesTheListsCannotShow)
{
    start("; kept by hand: do not remove\r\n[System]\r\nInitStart=1\r\nShowLogItem=5000\r\n"
          "[Custom Tool]\r\ncolour=teal\r\n[System Log]\r\nHouseKeepDay=1200\r\n"
          "[Alarm Msg File Backup]\r\nHouseKeepDay=0\r\n[Alarm Msg DB Backup]\r\nHouseKeepDay=1500\r\n");
    ASSERT_EQ(AppSettings.SystemLogHouseKeepDay, 1200);
    // The lists cannot show these values, so they show none.
    EXPECT_EQ(form->ComboBoxSysLogHouseKeepDay->currentIndex(), -1);
    EXPECT_EQ(form->ComboBoxNumberOfLogs->currentIndex(), -1);
    EXPECT_EQ(form->ComboBoxFileHouseKeepDay->currentIndex(), -1);
    EXPECT_EQ(form->ComboBoxDBHouseKeepDay->currentIndex(), -1);

    form->ComboBoxInitStart->setCurrentIndex(1);
    apply();
    ASSERT_EQ(form->StatusText(), lang::OptionSettingsSaved);
    const QByteArray file = iniBytes();
    EXPECT_TRUE(file.startsWith("; kept by hand: do not remove\r\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("[Custom Tool]\r\ncolour=teal\r\n")) << file.toStdString();
    EXPECT_EQ(iniValue("System", "InitStart"), "0");
    EXPECT_EQ(iniValue("System Log", "HouseKeepDay"), "1200");
    EXPECT_EQ(iniValue("System", "ShowLogItem"), "5000");
    EXPECT_EQ(iniValue("Alarm Msg File Backup", "HouseKeepDay"), "0");
    EXPECT_EQ(iniValue("Alarm Msg DB Backup", "HouseKeepDay"), "1500");
    EXPECT_EQ(AppSettings.SystemLogHouseKeepDay, 1200);
    EXPECT_EQ(AppSettings.AlarmMsgDBHouseKeepDay, 1500);
    EXPECT_EQ(AppSettings.ShowLogItem, 5000);

    // Choosing a number in such a list stores that number.
    form->ComboBoxDBHouseKeepDay->setCurrentIndex(29);
    apply();
    EXPECT_EQ(iniValue("Alarm Msg DB Backup", "HouseKeepDay"), "30");
}

TEST_F(GeneralOptions, InitialStartNoMakesTheNextStartBeginStopped)
{
    start();
    ASSERT_TRUE(window->Engine()->SchedulingRuns());
    form->ComboBoxInitStart->setCurrentText("No");
    apply();
    EXPECT_EQ(iniValue("System", "InitStart"), "0");
    EXPECT_TRUE(window->Engine()->SchedulingRuns()); // this run goes on as it is

    closeWindow();
    openWindow();
    startCycle();
    EXPECT_FALSE(window->Engine()->SchedulingRuns());
    EXPECT_TRUE(window->Engine()->SchedulingStopped());
    EXPECT_TRUE(window->ActionStop->isChecked());

    // And "Yes" makes it begin running again.
    showWindow();
    form = openOptions();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->ComboBoxInitStart->currentText(), "No");
    form->ComboBoxInitStart->setCurrentText("Yes");
    apply();
    closeWindow();
    openWindow();
    startCycle();
    EXPECT_TRUE(window->Engine()->SchedulingRuns());
}

TEST_F(GeneralOptions, TheSavedWindowSizeIsTheMainWindowsOwnAtApply)
{
    start();
    window->resize(1111, 777);
    QCoreApplication::processEvents();
    apply();
    EXPECT_EQ(iniValue("System", "WindowWidth"), QString::number(window->width()));
    EXPECT_EQ(iniValue("System", "WindowHeight"), QString::number(window->height()));
    EXPECT_EQ(window->width(), 1111);
}

TEST_F(GeneralOptions, DefaultFillsInTheDefaultsWhichOnlyApplySaves)
{
    start("[System]\r\nInitStart=0\r\nShowLogItem=50\r\n[System Log]\r\nHouseKeepDay=30\r\nFilename=sys-\r\n"
          "[Alarm Msg File Backup]\r\nEnable=0\r\nFilenamePath=/var/tmp/\r\nFilename=alarms-\r\n"
          "HouseKeepDay=9\r\n[Alarm Msg DB Backup]\r\nEnable=1\r\nHouseKeepDay=40\r\n"
          "[http]\r\nHTTPDefaultTimeout=5000\r\nHTTPRetry=1\r\n");
    const AppSettingsRecord before = AppSettings;
    const QByteArray file = iniBytes();

    QTest::mouseClick(form->ButtonDefault, Qt::LeftButton);
    EXPECT_EQ(window->MainStatus(), lang::ResetSettings);
    EXPECT_EQ(form->ComboBoxInitStart->currentText(), "Yes");
    EXPECT_EQ(form->EditSysLogFilename->text(), "system_");
    EXPECT_EQ(form->ComboBoxSysLogHouseKeepDay->currentText(), "7");
    EXPECT_EQ(form->ComboBoxNumberOfLogs->currentText(), "100");
    EXPECT_EQ(form->EditHost->text(), "localhost");
    EXPECT_EQ(form->EditPort->text(), "3306");
    EXPECT_EQ(form->EditUsername->text(), "root");
    EXPECT_EQ(form->EditPassword->text(), "");
    EXPECT_EQ(form->EditFilePath->text(), AppSettings.LogDir);
    EXPECT_EQ(form->EditAlarmFilename->text(), "AlarmMsg_");
    EXPECT_EQ(form->ComboBoxFileHouseKeepDay->currentText(), "7");
    EXPECT_EQ(form->ComboBoxDBHouseKeepDay->currentText(), "7");
    EXPECT_EQ(form->EditTimeout[TFormSettings::ServiceURL]->text(), "10000");
    EXPECT_FALSE(form->CheckBoxRetry[TFormSettings::ServiceURL]->isChecked());
    // The Enable boxes keep their state and their controls follow them.
    EXPECT_FALSE(form->CheckBoxFileEnable->isChecked());
    EXPECT_FALSE(form->EditAlarmFilename->isEnabled());
    EXPECT_TRUE(form->CheckBoxDBEnable->isChecked());
    EXPECT_TRUE(form->ComboBoxDBHouseKeepDay->isEnabled());

    // Cancel: nothing changed in the settings or the file.
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(window->MainStatus(), lang::UpdatingCancelled);
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    EXPECT_EQ(iniBytes(), file);
    EXPECT_EQ(AppSettings.ShowLogItem, before.ShowLogItem);
    EXPECT_EQ(AppSettings.HTTPDefaultTimeout, before.HTTPDefaultTimeout);
    EXPECT_EQ(AppSettings.SystemLogFilename, before.SystemLogFilename);

    // Shown again, the stored values are back; Default and Apply save the defaults.
    form = openOptions();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->ComboBoxNumberOfLogs->currentText(), "50");
    form->ButtonDefaultClick();
    apply();
    EXPECT_EQ(iniValue("System", "InitStart"), "1");
    EXPECT_EQ(iniValue("System", "ShowLogItem"), "100");
    EXPECT_EQ(iniValue("System Log", "HouseKeepDay"), "7");
    EXPECT_EQ(iniValue("System Log", "Filename"), "system_");
    EXPECT_EQ(iniValue("Alarm Msg File Backup", "FilenamePath"), AppSettings.LogDir);
    EXPECT_EQ(iniValue("Alarm Msg File Backup", "Filename"), "AlarmMsg_");
    EXPECT_EQ(iniValue("Alarm Msg DB Backup", "HouseKeepDay"), "7");
    EXPECT_EQ(iniValue("http", "HTTPDefaultTimeout"), "10000");
    EXPECT_EQ(iniValue("http", "HTTPRetry"), "0");
    EXPECT_EQ(iniValue("Database", "Host"), "localhost");
    EXPECT_EQ(iniValue("Database", "Port"), "3306");
}

TEST_F(GeneralOptions, AFileThatCannotBeWrittenGivesNoSuccessText)
{
    start();
    // The settings file's place is taken by a folder, so writing it fails.
    QFile::remove(m_tree->file("conf/SysInit.ini"));
    ASSERT_TRUE(QDir().mkpath(m_tree->file("conf/SysInit.ini")));
    form->ComboBoxInitStart->setCurrentIndex(1);
    apply();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Warning);
    EXPECT_TRUE(m_boxes.boxes[0].second.startsWith(lang::ERR00203)) << m_boxes.boxes[0].second.toStdString();
    EXPECT_NE(form->StatusText(), lang::OptionSettingsSaved);
    EXPECT_NE(window->MainStatus(), lang::OptionSettingsSaved);
    EXPECT_TRUE(form->ButtonApply->isEnabled());
    EXPECT_FALSE(AppSettings.InitStart); // the values stay in memory
}

TEST_F(GeneralOptions, TheFolderButtonSetsTheFilePathFromTheChosenFolder)
{
    start();
    form->PageControl->setCurrentIndex(TFormSettings::PageAlarmMsgBackup);
    ASSERT_TRUE(form->CheckBoxFileEnable->isChecked());
    QTest::mouseClick(form->ButtonFilePath, Qt::LeftButton);
    QFileDialog* chooser = form->FilePathDialog();
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chooser));
    EXPECT_EQ(chooser->windowTitle(), lang::SelectBackupPath);
    EXPECT_EQ(QDir(chooser->directory()).absolutePath(), QDir(AppSettings.LogDir).absolutePath());
    // Folders only, and only ones that exist.
    EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(chooser->testOption(QFileDialog::ShowDirsOnly));

    QDir(m_tree->path()).mkpath("backup");
    const QString folder = m_tree->file("backup");
    chooser->setDirectory(folder);            // the folder opened, nothing picked inside it
    static_cast<QDialog*>(chooser)->accept(); // as the dialog's Open button does
    EXPECT_EQ(form->EditFilePath->text(), folder + "/");
    EXPECT_TRUE(form->ButtonApply->isEnabled());
    QTest::mouseClick(form->ButtonApply, Qt::LeftButton);
    EXPECT_EQ(iniValue("Alarm Msg File Backup", "FilenamePath"), folder + "/");
}

// The role is kept in [Engine] only once it was chosen; an unknown text means Monitor.
TEST_F(GeneralOptions, RoleIsSavedOnlyOnceChosen)
{
    start("[Engine]\r\nRole=Supervisor\r\n");
    EXPECT_FALSE(AppSettings.ConsoleRole);
    EXPECT_EQ(Named<QComboBox>(form, "Role")->currentText(), "Monitor");
    Named<QComboBox>(form, "Role")->setCurrentText("Console");
    apply();
    EXPECT_EQ(iniValue("Engine", "Role"), "Console");
    LoadSettings();
    EXPECT_TRUE(AppSettings.ConsoleRole);
    form->ButtonDefaultClick();
    EXPECT_EQ(Named<QComboBox>(form, "Role")->currentText(), "Monitor");
    AppSettings.ConsoleRole = false;
}

// The Alarm Rules page is made from the table of [AlarmRules] keys: each is shown, saved and read
// back at its own value, and Default shows the defaults.
TEST_F(GeneralOptions, AlarmRulesAreShownSavedAndReadBack)
{
    start("[AlarmRules]\r\nFailuresBeforeAlarm=2\r\n");
    EXPECT_EQ(Named<QLineEdit>(form, "Failures before the alarm")->text(), "2");
    EXPECT_EQ(Named<QComboBox>(form, "Notify")->currentText(), "EveryFailure");
    Named<QComboBox>(form, "Notify")->setCurrentIndex(1);
    Named<QLineEdit>(form, "Remind every (minutes, 0 never)")->setText("30");
    Named<QAbstractButton>(form, "Send a recovery notice")->setChecked(true);
    Named<QLineEdit>(form, "Passes before the recovery")->setText("3");
    Named<QLineEdit>(form, "Delivery retries")->setText("0");
    Named<QLineEdit>(form, "Reference hosts")->setText(" 10.0.0.1  gw.example.net ");
    apply();
    EXPECT_EQ(form->StatusText(), lang::OptionSettingsSaved) << m_boxes.texts().join('\n').toStdString();
    const QStringList expected{"2", "OnChange", "30", "1", "3", "0"};
    QStringList stored;
    for (const AlarmRuleKey& key : AlarmRuleKeys())
        stored << iniValue("AlarmRules", key.Key);
    EXPECT_EQ(stored, expected);
    LoadSettings();
    EXPECT_EQ(AppSettings.Rules.Notify, AlarmRules::NotifyMode::OnChange);
    EXPECT_EQ(AppSettings.Rules.PassesBeforeRecovery, 3);
    EXPECT_EQ(AppSettings.Rules.DeliveryRetries, 0);
    EXPECT_EQ(iniValue("AlarmRules", "ReferenceHosts"), "10.0.0.1,gw.example.net");
    EXPECT_EQ(AppSettings.Rules.ReferenceHosts, QStringList({"10.0.0.1", "gw.example.net"}));

    form->ButtonDefaultClick();
    EXPECT_EQ(Named<QLineEdit>(form, "Failures before the alarm")->text(), "1");
    EXPECT_EQ(Named<QComboBox>(form, "Notify")->currentText(), "EveryFailure");
    EXPECT_FALSE(Named<QAbstractButton>(form, "Send a recovery notice")->isChecked());
    EXPECT_EQ(Named<QLineEdit>(form, "Delivery retries")->text(), "3");
    EXPECT_EQ(Named<QLineEdit>(form, "Reference hosts")->text(), "");
}

namespace {

// The days results are kept: shown from the file, found by its caption, saved by Apply into
// [Results] KeepDays and taken by the running program at once.
TEST_F(GeneralOptions, KeepResultsDaysIsShownAndSaved)
{
    start("[Results]\r\nKeepDays=45\r\n");
    auto* days = Named<QLineEdit>(form, "Keep results (days)");
    ASSERT_NE(days, nullptr);
    EXPECT_EQ(days->text(), "45");
    days->setText("400");
    apply();
    EXPECT_EQ(AppSettings.ResultsKeepDays, 400);
    EXPECT_TRUE(iniBytes().contains("[Results]\r\nKeepDays=400\r\n")) << iniBytes().toStdString();
    QTest::mouseClick(form->ButtonDefault, Qt::LeftButton);
    EXPECT_EQ(days->text(), "31");
}

} // namespace
// Desktop notifications of state changes: off by default (and then no key in the file), switched
// on in the options, kept in SysInit.ini, and shown at most five at once.
TEST_F(GeneralOptions, DesktopNotificationsAreSwitchedOnInTheOptionsAndLimited)
{
    start();
    QCheckBox* box = Named<QCheckBox>(form, "Desktop notification when a service fails or recovers");
    ASSERT_EQ(box, form->CheckBoxNotifications);
    EXPECT_FALSE(box->isChecked());
    QStringList shown;
    QObject::connect(window.get(), &TFormMenu::desktopNotice,
                     [&](const QString& title, const QString& text) { shown << title + ": " + text; });
    MonitorEngine* engine = window->Engine();
    emit engine->serviceStateChanged(1, true, "[a.example:80] Failed");
    EXPECT_EQ(shown, QStringList()) << "off by default";
    apply();
    EXPECT_EQ(iniValue("System", "DesktopNotifications"), QString()) << "an unused key is not written";

    box->setChecked(true);
    apply();
    EXPECT_EQ(iniValue("System", "DesktopNotifications"), "1");
    AppSettings.DesktopNotifications = false;
    LoadSettings();
    EXPECT_TRUE(AppSettings.DesktopNotifications);

    emit engine->serviceStateChanged(1, true, "[a.example:80] Failed");
    emit engine->serviceStateChanged(1, true, "[a.example:80] Failed");
    emit engine->serviceStateChanged(1, false, "[a.example:80] Passed");
    EXPECT_EQ(shown, QStringList({"Service failed: [a.example:80] Failed",
                                  "Service recovered: [a.example:80] Passed"}));
    for (int id = 2; id <= 8; ++id)
        emit engine->serviceStateChanged(id, true, QString("[s%1.example:80] Failed").arg(id));
    EXPECT_EQ(shown.size(), 5) << "five in a minute; the rest wait for one summary";

    box->setChecked(false);
    apply();
    EXPECT_EQ(iniValue("System", "DesktopNotifications"), "0");
}
