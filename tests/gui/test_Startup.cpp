// Program entry and exit: a fresh installation, the single-instance guard, the database login
// dialog, termination signals, the application's error hook and the message boxes.
#include "GuiFixture.h"

#include "core/IniFile.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/Application.h"
#include "gui/GuiNotifier.h"
#include "gui/Splash98.h"
#include "gui/loginDB.h"
#include "monitor/MonitorEngine.h"
#include "support/ScriptedServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>

namespace {

// How many of the program's eleven described tables exist (schema steps add others of their own).
const char* const kDescribedTableCount =
    "select count(*) from information_schema.tables where table_schema='quorvel' and table_name in "
    "('service','service_url','service_url_detail','service_contact_person','contact_person',"
    "'contact_group','contact_person_group','alarm_msg_history','alarm_method',"
    "'alarm_method_extra_fields','scheduling')";

using Kind = Notifier::Kind;

int countLines(const QStringList& lines, const QString& ending)
{
    int n = 0;
    for (const QString& line : lines)
        n += line.endsWith(ending) ? 1 : 0;
    return n;
}

QString programPath()
{
    const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/quorvel");
    return QFileInfo(built).isExecutable() ? QFileInfo(built).canonicalFilePath() : QString();
}

} // namespace

// The program entry run in this process (or as the real program), with its per-user files in
// folders of the test's own: the installation root's pointer and the runtime folder of the
// single-instance guard.
class Startup : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_dm.reset(); // the program makes its own data module
        m_savedConfig = qgetenv("XDG_CONFIG_HOME");
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        QFile::setPermissions(m_runtime.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", m_savedConfig);
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        GuiFixture::TearDown();
    }

    void pointConfigAt(const QString& appPath)
    {
        QDir().mkpath(m_config.path() + "/tolvern");
        QFile f(m_config.path() + "/tolvern/Quorvel.conf");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Settings]\r\nAppPath=" + appPath.toLocal8Bit() + "\r\n");
    }

    static StartOptions quickStart()
    {
        StartOptions options;
        options.splashPauseMs = 0;
        options.menu.screenSize = QSize(1280, 1024);
        options.menu.settingsLoaded = [] { pointAtTestServer(); };
        return options;
    }

    // Runs the program entry; `drive` runs once the main window is shown and the event loop
    // turns, and the Close command follows it whatever it did.
    static int runProgram(const StartOptions& options, const std::function<void()>& drive)
    {
        QTimer driver;
        driver.setSingleShot(true);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!FormMenu() || !FormMenu()->isVisible()) {
                driver.start(10);
                return;
            }
            drive();
            if (TFormMenu* menu = FormMenu())
                menu->ActionCloseExecute();
            else
                QCoreApplication::exit(0);
        });
        driver.start(0);
        return RunQuorvel(options);
    }

    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    QByteArray m_savedConfig;
    QByteArray m_savedRuntime;
};

TEST_F(Startup, FreshInstallTreeStartsBootstrapsTheDatabaseAndSavesFullSettingsAtExit)
{
    dropDatabase();
    TempTree fresh; // no conf, no log, no help
    pointConfigAt(fresh.path());
    // A lock left behind by a run that crashed: its process is gone.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted(10000));
    const qint64 gonePid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(10000));
    {
        QFile lock(SingleInstanceLockFile());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(gonePid) + "\nquorvel\n\n");
    }

    bool cycleStarted = false;
    const int code = runProgram(quickStart(), [&] {
        ASSERT_NE(FormMenu(), nullptr);
        EXPECT_TRUE(FormMenu()->isVisible());
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<TSplash98Form*>(w) && w->isVisible()) << "the splash is gone";
        EXPECT_FALSE(FormMenu()->ActionMainMenuBar->isEnabled());
        cycleStarted = waitFor([] { return FormMenu()->ActionMainMenuBar->isEnabled(); }, 20000);
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(cycleStarted);
    EXPECT_EQ(FormMenu(), nullptr);

    EXPECT_TRUE(QFileInfo(fresh.file("conf")).isDir());
    EXPECT_TRUE(QFileInfo(fresh.file("log")).isDir());
    ASSERT_EQ(m_boxes.boxes.size(), 2u) << m_boxes.texts().join('\n').toStdString();
    EXPECT_EQ(m_boxes.boxes[0],
              std::make_pair(Kind::Warning, QStringLiteral("ERR00003 : Help file not found.")));
    EXPECT_EQ(m_boxes.boxes[1],
              std::make_pair(Kind::Information,
                             QStringLiteral("Please be patient, it may take a few second for first start.")));
    EXPECT_EQ(scalar(kDescribedTableCount), "11");

    const QStringList lines = systemLogLines();
    EXPECT_EQ(countLines(lines, "[WARMING] ERR00003 : Help file not found."), 1);
    EXPECT_EQ(countLines(lines, "[INFO] Application starts."), 1);
    EXPECT_EQ(countLines(lines, "[INFO] Service scheduling starts."), 1);
    // The Close command ends the program without the close handler: no "stops" line.
    EXPECT_EQ(countLines(lines, "[INFO] Service scheduling stops."), 0);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().endsWith("[INFO] Application stops.")) << lines.join('\n').toStdString();

    IniFile ini;
    QString error;
    ASSERT_TRUE(ini.load(fresh.file("conf/SysInit.ini"), &error));
    const std::pair<const char*, const char*> keys[] = {
        {"System", "InitStart"},
        {"System", "WindowWidth"},
        {"System", "WindowHeight"},
        {"System", "ShowFunctionBar"},
        {"System", "ShowWindowAlarmLog"},
        {"System", "ShowLogItem"},
        {"http", "HTTPDefaultTimeout"},
        {"http", "HTTPRetry"},
        {"ping", "PingDefaultTimeout"},
        {"ping", "PingRetry"},
        {"db", "DBDefaultTimeout"},
        {"db", "DBRetry"},
        {"ftp", "FTPDefaultTimeout"},
        {"ftp", "FTPRetry"},
        {"email", "EmailDefaultTimeout"},
        {"email", "EmailRetry"},
        {"tcp", "TCPDefaultTimeout"},
        {"tcp", "TCPRetry"},
        {"dns", "DNSDefaultTimeout"},
        {"dns", "DNSRetry"},
        {"cert", "CertDefaultTimeout"},
        {"cert", "CertRetry"},
        {"Database", "Host"},
        {"Database", "Port"},
        {"Database", "DBUsername"},
        {"Database", "DBPassword"},
        {"System Log", "HouseKeepDay"},
        {"System Log", "Filename"},
        {"Alarm Msg File Backup", "Enable"},
        {"Alarm Msg File Backup", "FilenamePath"},
        {"Alarm Msg File Backup", "Filename"},
        {"Alarm Msg File Backup", "HouseKeepDay"},
        {"Alarm Msg DB Backup", "Enable"},
        {"Alarm Msg DB Backup", "Type"},
        {"Alarm Msg DB Backup", "HouseKeepDay"},
    };
    for (const auto& [section, key] : keys)
        EXPECT_TRUE(ini.contains(section, key)) << section << " " << key;
    EXPECT_EQ(ini.value("System", "WindowWidth", ""), "1024");
    EXPECT_EQ(ini.value("System", "WindowHeight", ""), "768");

    // The guard is released at the end.
    QLockFile after(SingleInstanceLockFile());
    EXPECT_TRUE(after.tryLock(0));
}

TEST_F(Startup, AMissingLogFolderThatCannotBeMadeStopsBeforeAnyWindow)
{
    TempTree tree;
    tree.write("log", "a file where the folder should be");
    pointConfigAt(tree.path());
    EXPECT_EQ(RunQuorvel(quickStart()), 1);
    EXPECT_EQ(FormMenu(), nullptr);
    EXPECT_EQ(m_boxes.texts(), QStringList({"ERR00205 : System log directory not found."}));
    EXPECT_FALSE(QFileInfo(tree.file("conf")).exists());
}

TEST_F(Startup, ASecondStartIsRefusedWhileTheFirstRunsAndTerminationSignalsEndTheProgramLikeClose)
{
    const QString program = programPath();
    if (program.isEmpty())
        GTEST_SKIP() << "the quorvel program is not built next to the tests";
    const QString help = projectFile("help/Quorvel.html");
    ASSERT_FALSE(help.isEmpty());
    {
        QFile source(help);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        const QByteArray text = source.readAll();
        for (const char* anchor :
             {"New_Service", "Email_Alarm", "SMS_Alarm", "SMS_by_HTTP_Alarm", "SysLog_Alarm"})
            EXPECT_TRUE(text.contains("id=\"" + QByteArray(anchor) + "\"")) << anchor;
        m_tree->write("help/Quorvel.html", text);
    }
    writeIni("[Database]\r\nHost=127.0.0.1\r\nPort=" + qgetenv("QUORVEL_TEST_DB_PORT") +
             "\r\nDBUsername=root\r\nDBPassword=\r\n");
    pointConfigAt(m_tree->path());

    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        const int startsBefore = countLines(systemLogLines(), "[INFO] Service scheduling starts.");
        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        first.start(program, {});
        ASSERT_TRUE(first.waitForStarted(10000));
        ASSERT_TRUE(waitFor(
            [&] { return countLines(systemLogLines(), "[INFO] Service scheduling starts.") > startsBefore; },
            30000))
            << systemLogLines().join('\n').toStdString();

        const QStringList linesBefore = systemLogLines();
        m_boxes.boxes.clear();
        EXPECT_EQ(RunQuorvel(quickStart()), 1);
        EXPECT_EQ(m_boxes.texts(), QStringList({"ERR00001 : The application is already startup."}));
        EXPECT_EQ(m_boxes.boxes.front().first, Kind::Warning);
        EXPECT_EQ(FormMenu(), nullptr);
        EXPECT_EQ(systemLogLines(), linesBefore);
        EXPECT_EQ(first.state(), QProcess::Running);

        ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), signal), 0);
        ASSERT_TRUE(first.waitForFinished(20000));
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 0);
        const QStringList lines = systemLogLines();
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines.last().endsWith("[INFO] Application stops.")) << lines.join('\n').toStdString();
        EXPECT_FALSE(lines[lines.size() - 2].endsWith("Service scheduling stops."));
        EXPECT_EQ(iniValue("System", "WindowWidth"), "1024");
    }
}

// A termination signal ends the program within a few seconds even while a message box is open
// (here the first start's information box), and no box holds up the end.
TEST_F(Startup, TerminationSignalEndsTheProgramWhileABoxIsOpen)
{
    const QString program = programPath();
    if (program.isEmpty())
        GTEST_SKIP() << "the quorvel program is not built next to the tests";
    const QString help = projectFile("help/Quorvel.html");
    ASSERT_FALSE(help.isEmpty());
    {
        QFile source(help);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        m_tree->write("help/Quorvel.html", source.readAll());
    }
    writeIni("[Database]\r\nHost=127.0.0.1\r\nPort=" + qgetenv("QUORVEL_TEST_DB_PORT") +
             "\r\nDBUsername=root\r\nDBPassword=\r\n");
    pointConfigAt(m_tree->path());
    dropDatabase(); // the first start creates it and then shows its information box

    QProcess quorvel;
    quorvel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quorvel.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    quorvel.start(program, {});
    ASSERT_TRUE(quorvel.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return scalar(kDescribedTableCount) == "11"; }, 30000));
    QTest::qWait(1000); // the box is up now; "Application starts." follows only when it closes
    EXPECT_EQ(quorvel.state(), QProcess::Running);
    QElapsedTimer ending;
    ending.start();
    ASSERT_EQ(::kill(static_cast<pid_t>(quorvel.processId()), SIGTERM), 0);
    ASSERT_TRUE(quorvel.waitForFinished(20000));
    EXPECT_LT(ending.elapsed(), 5000);
    EXPECT_EQ(quorvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quorvel.exitCode(), 0);
    const QStringList lines = systemLogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().endsWith("[INFO] Application stops.")) << lines.join('\n').toStdString();
}

// ---- the database login dialog ---------------------------------------------------------------------

class Login : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_unusedPort = ScriptedServer::UnusedPort();
        writeIni("[Database]\r\nHost=127.0.0.1\r\nPort=" + QByteArray::number(m_unusedPort) +
                 "\r\nDBUsername=root\r\nDBPassword=wrong\r\n");
        TFormMenu::Options options;
        options.screenSize = QSize(1280, 1024);
        openWindow(options);
    }
    int m_unusedPort = 0;
};

TEST_F(Login, NoReachableServerLocksTheCommandsAndShowsTheLoginDialogThreeSecondsLater)
{
    MonitorEngine* engine = window->Engine();
    EXPECT_TRUE(engine->LoginPending());
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_FALSE(window->ToolButtonService->isEnabled());
    EXPECT_TRUE(engine->StartArmed());
    EXPECT_EQ(engine->StartDelay(), 3000);
    int connectErrors = 0;
    for (const QString& line : systemLogLines())
        connectErrors +=
            line.contains("[ERROR] ERR00101 : Connot make connection to MySQL database. : ") ? 1 : 0;
    EXPECT_EQ(connectErrors, 2);
    showWindow();

    QTest::qWait(300);
    EXPECT_EQ(window->FormLoginDB, nullptr);
    ASSERT_TRUE(waitFor([&] { return window->FormLoginDB && window->FormLoginDB->isVisible(); }, 15000));
    TFormLoginDB* login = window->FormLoginDB;
    EXPECT_FALSE(engine->StartArmed());
    EXPECT_EQ(login->windowTitle(), "Login Database");
    EXPECT_TRUE(login->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(login->EditHost->text(), "127.0.0.1");
    EXPECT_EQ(login->EditPort->text(), QString::number(m_unusedPort));
    EXPECT_EQ(login->EditUsername->text(), "root");
    EXPECT_EQ(login->EditPassword->text(), "wrong");
    EXPECT_EQ(login->EditPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(login->StatusText(), "Please input the valid connecting parameters.");
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());

    // A port that is not a number: information box, no connection attempt.
    const int linesBefore = systemLogLines().size();
    login->EditPort->setText("8a");
    login->ButtonConnect->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0], std::make_pair(Kind::Information,
                                               QStringLiteral("Database Port is invalid integer or empty.")));
    EXPECT_EQ(login->focusWidget(), login->EditPort);
    EXPECT_EQ(systemLogLines().size(), linesBefore);

    // Both connections refused: the dialog stays.
    login->EditPort->setText(qEnvironmentVariable("QUORVEL_TEST_DB_PORT"));
    login->ButtonConnect->click();
    EXPECT_EQ(login->StatusText(), "The parameters are wrong, please input again.");
    EXPECT_EQ(login->focusWidget(), login->EditHost);
    EXPECT_TRUE(login->isVisible());
    EXPECT_TRUE(engine->LoginPending());

    // The right password: the normal start follows 3 s later.
    login->EditPassword->clear();
    login->ButtonConnect->click();
    EXPECT_TRUE(login->isHidden());
    EXPECT_FALSE(engine->LoginPending());
    EXPECT_TRUE(engine->StartArmed());
    EXPECT_EQ(engine->StartDelay(), 3000);
    EXPECT_TRUE(systemLogLines().last().endsWith("[INFO] Application starts."));
    ASSERT_TRUE(waitFor([&] { return window->ActionMainMenuBar->isEnabled(); }, 15000));
    EXPECT_NE(engine->Pool(), nullptr);
    EXPECT_EQ(m_boxes.boxes.size(), 1u);

    closeWindow();
    EXPECT_EQ(iniValue("Database", "Port"), qEnvironmentVariable("QUORVEL_TEST_DB_PORT"));
    EXPECT_EQ(iniValue("Database", "DBPassword"), "");
}

TEST_F(Login, CancelAsksTheApplicationToQuit)
{
    window->Engine()->TimerInitTimer();
    ASSERT_NE(window->FormLoginDB, nullptr);
    window->FormLoginDB->ButtonCancel->click();
    EXPECT_EQ(m_quit.requests, 1);
}

TEST_F(Login, ConnectToAServerWithoutTheDatabaseCreatesIt)
{
    dropDatabase();
    window->Engine()->TimerInitTimer();
    TFormLoginDB* login = window->FormLoginDB;
    ASSERT_NE(login, nullptr);
    login->EditPort->setText(qEnvironmentVariable("QUORVEL_TEST_DB_PORT"));
    login->EditPassword->clear();
    login->ButtonConnect->click();
    EXPECT_TRUE(login->isHidden());
    EXPECT_EQ(m_boxes.texts(), QStringList({"Please be patient, it may take a few second for first start."}));
    EXPECT_EQ(scalar(kDescribedTableCount), "11");
    EXPECT_TRUE(window->Engine()->StartArmed());
}

// ---- the application's edge --------------------------------------------------------------------------

// Throws from its event handler.
class ThrowingObject : public QObject
{
protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("thrown by an event handler");
        return QObject::event(e);
    }
};

TEST_F(GuiFixture, ErrorsEscapingHandlersAreLoggedAndShownAndTheProgramGoesOn)
{
    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTimer::singleShot(0, &target, [] { throw std::runtime_error("thrown by a slot"); });
    ASSERT_TRUE(waitFor([&] { return m_boxes.boxes.size() == 2; }, 5000));

    const QString prefix = QString::fromLatin1(lang::UnhandledError) + " : ";
    QStringList expected{prefix + "thrown by an event handler", prefix + "thrown by a slot"};
    QStringList shown = m_boxes.texts();
    shown.sort();
    expected.sort();
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    const QStringList lines = systemLogLines();
    for (const QString& text : expected)
        EXPECT_EQ(countLines(lines, "[ERROR] " + text), 1) << text.toStdString();

    // The event loop still runs.
    bool later = false;
    QTimer::singleShot(0, &target, [&] { later = true; });
    EXPECT_TRUE(waitFor([&] { return later; }, 5000));
}

// ---- message boxes and the splash -------------------------------------------------------------------

TEST(GuiNotifierBoxes, AreModalWithTheirTitleAndOneOkButton)
{
    const std::tuple<Notifier::Kind, const char*, QMessageBox::Icon> cases[] = {
        {Kind::Error, "Error", QMessageBox::Critical},
        {Kind::Warning, "Warning", QMessageBox::Warning},
        {Kind::Information, "Information", QMessageBox::Information},
    };
    GuiNotifier notifier;
    for (const auto& [kind, title, icon] : cases) {
        QString seenTitle, seenText;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        bool modal = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenTitle = box->windowTitle();
            seenText = box->text();
            buttons = box->standardButtons();
            seenIcon = box->icon();
            modal = box->isModal();
            box->accept();
        });
        poll.start(20);
        notifier.show(kind, QStringLiteral("ERR00123 : Something."));
        EXPECT_EQ(seenTitle, title);
        EXPECT_EQ(seenText, "ERR00123 : Something.");
        EXPECT_EQ(buttons, QMessageBox::Ok);
        EXPECT_EQ(seenIcon, icon);
        EXPECT_TRUE(modal);
    }
}

TEST_F(GuiFixture, SplashShowsItsPictureAt473x337AndIsGoneAfterThePause)
{
    for (bool picture : {true, false}) {
        if (picture) {
            QImage image(473, 337, QImage::Format_RGB32);
            image.fill(Qt::red);
            ASSERT_TRUE(QDir().mkpath(m_tree->file("bin")));
            ASSERT_TRUE(image.save(m_tree->file("bin/Splash98.png"), "PNG"));
        } else {
            QFile::remove(m_tree->file("bin/Splash98.png"));
        }
        TSplash98Form splash;
        EXPECT_EQ(splash.size(), QSize(473, 337));
        EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
        const QImage shown = splash.ImageSplash->pixmap().toImage();
        EXPECT_EQ(shown.size(), QSize(473, 337));
        EXPECT_EQ(shown.pixelColor(10, 10) == QColor(Qt::red), picture);
    }
    ShowSplash(0);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<TSplash98Form*>(w) && w->isVisible());
}
