#include "gui/Splash98.h"

#include "core/comFunc.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace {

QPixmap fallbackPicture()
{
    QPixmap picture(TSplash98Form::PictureSize());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    QFont font = painter.font();
    font.setPointSize(28);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(90, 85, 87));
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Quorvel"));
    return picture;
}

} // namespace

TSplash98Form::TSplash98Form(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Splash98Form"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    QPixmap picture;
    const QString file = PictureFile(QStringLiteral("Splash98.png"));
    if (QFileInfo(file).isFile())
        picture.load(file);
    if (picture.isNull())
        picture = fallbackPicture();

    ImageSplash = new QLabel(this);
    ImageSplash->setPixmap(picture);
    ImageSplash->resize(picture.size());
    setFixedSize(picture.size());

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void ShowSplash(int pauseMs)
{
    TSplash98Form splash;
    splash.show();
    // A window system that maps windows asynchronously needs a moment before the picture can be
    // painted; only that is waited for here, briefly and without user input.
    QDeadlineTimer mapped(250);
    while (!(splash.windowHandle() && splash.windowHandle()->isExposed()) && !mapped.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    splash.repaint();
    if (pauseMs > 0)
        QThread::msleep(static_cast<unsigned long>(pauseMs));
    splash.hide();
}
