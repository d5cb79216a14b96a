#pragma once

#include <QWidget>

class QLabel;

// The start-up picture: a borderless white window centred on the desktop, sized by its one
// 473 x 337 picture (bin/Splash98.png below the installation root; a plain white card with the
// program's name when the file is missing).
class TSplash98Form : public QWidget
{
    Q_OBJECT

public:
    explicit TSplash98Form(QWidget* parent = nullptr);

    static QSize PictureSize() { return {473, 337}; }

    QLabel* ImageSplash = nullptr;
};

// Shows the splash window, paints it at once, keeps it up for `pauseMs` milliseconds without
// handling any event, then hides and destroys it. A pause of 0 or less only flashes it.
void ShowSplash(int pauseMs);
