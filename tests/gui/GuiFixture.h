#pragma once

#include "database/DataModuleQuorvel.h"
#include "gui/menu.h"
#include "support/DatabaseFixture.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QTreeView;

// Widget tests on the offscreen platform against the test database server. The fixture gives a
// fresh installation tree and database; `openWindow` builds the main window whose database
// connection goes to the test server whatever the tree's SysInit.ini says.
class GuiFixture : public DatabaseFixture
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Points the settings' database values at the test server.
    static void pointAtTestServer();
    TFormMenu::Options windowOptions(QSize screen = QSize(1280, 1024)) const;
    TFormMenu* openWindow(const TFormMenu::Options& options);
    TFormMenu* openWindow() { return openWindow(windowOptions()); }
    // Shows the window and waits until it is exposed and active.
    void showWindow();
    // Runs the creation of the monitoring cycle at once (what TimerInit does 3 s after start).
    void startCycle();
    void closeWindow() { window.reset(); }

    struct Service
    {
        QString kind = QStringLiteral("Ping");
        QString ip = QStringLiteral("127.0.0.1");
        int port = 0;
        QString status = QStringLiteral("Stop");
    };
    int addService(const Service& s);

    // Texts of one column of the rows a list view shows, top to bottom.
    static QStringList column(QTreeView* view, int column);
    // Clicks a row of a list view (selecting it as the user does).
    static void clickRow(QTreeView* view, int row);
    static void clickHeader(QTreeView* view, int column);
    // Runs the event loop until `done` holds or `ms` pass.
    static bool waitFor(const std::function<bool()>& done, int ms = 15000);

    // A value of the tree's SysInit.ini (empty when missing).
    QString iniValue(const QString& section, const QString& key) const;
    void writeIni(const QByteArray& content) const;
    // A file of the project (help file, pictures), found upwards from the test program's folder;
    // empty when it is not there.
    static QString projectFile(const QString& relative);

    std::unique_ptr<TFormMenu> window;
};
