#include "GuiFixture.h"

#include "core/IniFile.h"
#include "core/comFunc.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Application.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

namespace {

// The widget tests need a QApplication; the test program's own main (GoogleTest's) does not
// make one, so this environment does, before the first test and for all of them. It is the
// program's own application class, so that its error hook is in place as in the program.
class GuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tests_gui";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QuorvelApplication>(argc, argv);
        // Windows closed by a test must not post a request to quit into a later test's loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QuorvelApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

void GuiFixture::SetUp()
{
    REQUIRE_TEST_DATABASE();
    DatabaseFixture::SetUp();
    startWithDatabase();
}

void GuiFixture::TearDown()
{
    window.reset();
    DatabaseFixture::TearDown();
}

void GuiFixture::pointAtTestServer()
{
    AppSettings.DBHost = qEnvironmentVariable("QUORVEL_TEST_DB_HOST", QStringLiteral("127.0.0.1"));
    AppSettings.DBPort = QString::number(qEnvironmentVariableIntValue("QUORVEL_TEST_DB_PORT"));
    AppSettings.DBUsername = QStringLiteral("root");
    AppSettings.DBPassword.clear();
}

TFormMenu::Options GuiFixture::windowOptions(QSize screen) const
{
    TFormMenu::Options options;
    options.screenSize = screen;
    options.settingsLoaded = [] { pointAtTestServer(); };
    return options;
}

TFormMenu* GuiFixture::openWindow(const TFormMenu::Options& options)
{
    window = std::make_unique<TFormMenu>(options);
    return window.get();
}

void GuiFixture::showWindow()
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

void GuiFixture::startCycle()
{
    window->Engine()->TimerInitTimer();
    ASSERT_NE(window->Engine()->Pool(), nullptr);
}

int GuiFixture::addService(const Service& s)
{
    m_dm->ExecUpdate(
        QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,"
                       "status) values (%1,%2,%3,\"Hourly\",\"00\",\"15\",%4)")
            .arg(QuoteSqlText(s.kind), QuoteSqlText(s.ip), QString::number(s.port), QuoteSqlText(s.status)));
    return scalar(QStringLiteral("select max(id) from quorvel.service")).toInt();
}

QStringList GuiFixture::column(QTreeView* view, int column)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, column).data().toString();
    return texts;
}

void GuiFixture::clickRow(QTreeView* view, int row)
{
    const QRect r = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

void GuiFixture::clickHeader(QTreeView* view, int column)
{
    QHeaderView* header = view->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

bool GuiFixture::waitFor(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

QString GuiFixture::iniValue(const QString& section, const QString& key) const
{
    IniFile ini;
    QString error;
    if (!ini.load(m_tree->file(QStringLiteral("conf/SysInit.ini")), &error))
        return QString();
    return ini.value(section, key, QString());
}

void GuiFixture::writeIni(const QByteArray& content) const
{
    m_tree->write(QStringLiteral("conf/SysInit.ini"), content);
}

QString GuiFixture::projectFile(const QString& relative)
{
    QDir dir(QCoreApplication::applicationDirPath());
    for (int up = 0; up < 5; ++up) {
        if (QFileInfo(dir.filePath(relative)).isFile())
            return dir.filePath(relative);
        if (!dir.cdUp())
            break;
    }
    return QString();
}
