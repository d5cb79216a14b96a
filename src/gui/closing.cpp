#include "gui/closing.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const char* const kClosingText = "Application is closing, it may take a few seconds...";

} // namespace

TFormClosing::TFormClosing(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("FormClosing"));
    setWindowTitle(QString::fromLatin1(kClosingText));

    LabelClosing = new QLabel(QString::fromLatin1(kClosingText), this);
    QFont bold = LabelClosing->font();
    bold.setBold(true);
    LabelClosing->setFont(bold);
    LabelClosing->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(LabelClosing);
    adjustSize();
    setFixedSize(size());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.center() - rect().center());
    }
}
