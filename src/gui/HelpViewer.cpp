#include "gui/HelpViewer.h"

#include "core/comFunc.h"
#include "gui/Theme.h"
#include "gui/menu.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

std::function<bool(const QUrl&)> g_helpUrlOpener;
QPointer<QDialog> g_helpViewer;

bool openHelpUrl(const QUrl& url)
{
    return g_helpUrlOpener ? g_helpUrlOpener(url) : QDesktopServices::openUrl(url);
}

// The help file names `topic` as an anchor (an id or a name attribute).
bool helpFileHasTopic(const QString& file, const QString& topic)
{
    QFile help(file);
    if (!help.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(help.readAll());
    const QRegularExpression anchor(QStringLiteral("\\b(id|name)\\s*=\\s*[\"']") +
                                    QRegularExpression::escape(topic) + QStringLiteral("[\"']"));
    return anchor.match(text).hasMatch();
}

// The help file in a window of the program's own, at `topic` (the top when empty).
void showHelpViewer(const QString& file, const QString& topic)
{
    if (!g_helpViewer) {
        auto* viewer = new QDialog(FormMenu());
        viewer->setObjectName(QStringLiteral("FormHelp"));
        viewer->setWindowTitle(QStringLiteral("Quorvel Help"));
        viewer->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        viewer->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        viewer->setAttribute(Qt::WA_DeleteOnClose, true);
        auto* browser = new QTextBrowser(viewer);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setAccessibleName(QStringLiteral("Quorvel Help"));
        browser->setOpenExternalLinks(true);
        browser->setPalette(Theme::HelpPage(browser->palette()));
        auto* close = new QPushButton(QStringLiteral("Close"), viewer);
        close->setAccessibleName(QStringLiteral("Close"));
        close->setAutoDefault(false);
        QObject::connect(close, &QPushButton::clicked, viewer, &QDialog::close);
        auto* layout = new QVBoxLayout(viewer);
        layout->addWidget(browser, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(close);
        layout->addLayout(row);
        viewer->resize(760, 560);
        g_helpViewer = viewer;
    }
    auto* browser = g_helpViewer->findChild<QTextBrowser*>();
    QUrl url = QUrl::fromLocalFile(file);
    browser->setSource(url);
    if (!topic.isEmpty()) {
        g_helpViewer->show(); // laid out, so that the anchor scrolls to its place
        browser->scrollToAnchor(topic);
    }
    g_helpViewer->show();
    g_helpViewer->raise();
    g_helpViewer->activateWindow();
}

} // namespace

void OpenHelpTopic(const QString& topic)
{
    const QString file = ApplicationHelpFile();
    if (file.isEmpty())
        return;
    // A topic the file does not hold opens its contents at the top.
    const QString anchor = !topic.isEmpty() && helpFileHasTopic(file, topic) ? topic : QString();
    QUrl url = QUrl::fromLocalFile(file);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (openHelpUrl(url))
        return;
    if (!anchor.isEmpty() && openHelpUrl(QUrl::fromLocalFile(file)))
        return;
    // No browser to hand the file to: the program shows it itself.
    showHelpViewer(file, anchor);
}

void SetHelpUrlOpener(std::function<bool(const QUrl&)> opener)
{
    g_helpUrlOpener = std::move(opener);
}

QDialog* HelpViewer()
{
    return g_helpViewer.data();
}
