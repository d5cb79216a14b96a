#include "gui/GuiNotifier.h"

#include <QApplication>
#include <QMessageBox>

void GuiNotifier::show(Kind kind, const QString& text)
{
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title = QStringLiteral("Information");
    if (kind == Kind::Error) {
        icon = QMessageBox::Critical;
        title = QStringLiteral("Error");
    } else if (kind == Kind::Warning) {
        icon = QMessageBox::Warning;
        title = QStringLiteral("Warning");
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    // The program's dialogs stay on top; a box must not open behind them.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

bool GuiNotifier::confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmation"), text,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box.exec() == QMessageBox::Yes;
}
