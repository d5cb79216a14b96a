#include "gui/dialogs/TFormDialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QRegularExpression>
#include <QShowEvent>

TFormDialog::TFormDialog(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TFormDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFormDialog::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous())
        return; // minimised by the window manager, not closed
    emit closed();
    FormClose();
}

QString PlainCaption(const QString& caption)
{
    QString text = caption;
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

void SetCaptionsAsAccessibleNames(QWidget* root)
{
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->accessibleName().isEmpty() && !button->text().isEmpty())
            button->setAccessibleName(PlainCaption(button->text()));
    }
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QWidget* buddy = label->buddy();
        if (buddy && buddy->accessibleName().isEmpty() && !label->text().isEmpty())
            buddy->setAccessibleName(PlainCaption(label->text()));
    }
}
