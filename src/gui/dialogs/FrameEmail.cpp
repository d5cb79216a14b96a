#include "gui/dialogs/FrameEmail.h"

#include "core/langLibrary.h"
#include "gui/dialogs/FrameKit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFrameEmailForm::TFrameEmailForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameEmailForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("Email"));
    ComboBoxMethod = AddComboRow(form, QStringLiteral("Method"),
                                 {QString::fromLatin1(lang::KindSMTP), QString::fromLatin1(lang::KindPOP3),
                                  QString::fromLatin1(lang::KindIMAP)});
    EditHost = AddEditRow(form, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    EditUserID = AddEditRow(form, QStringLiteral("User ID"), column::Login);
    EditPassword = AddEditRow(form, QStringLiteral("Password"), column::Login, true);

    connect(ComboBoxMethod, &QComboBox::activated, this, &TFrameEmailForm::ComboBoxMethodSelect);
    Reset();
}

void TFrameEmailForm::Reset()
{
    PageControl->setCurrentIndex(0);
    ComboBoxMethod->setCurrentIndex(0);
    EditHost->clear();
    EditPort->setText(QStringLiteral("25"));
    EditUserID->clear();
    EditPassword->clear();
}

void TFrameEmailForm::ComboBoxMethodSelect()
{
    // A port the user typed stays; only an empty port or another protocol's usual one follows
    // the choice.
    const QString port = EditPort->text().trimmed();
    const QStringList usual{QStringLiteral("25"),  QStringLiteral("110"), QStringLiteral("143"),
                            QStringLiteral("465"), QStringLiteral("995"), QStringLiteral("993")};
    if (!port.isEmpty() && !usual.contains(port))
        return;
    const QString method = ComboBoxMethod->currentText();
    if (method == QLatin1String(lang::KindSMTP))
        EditPort->setText(QStringLiteral("25"));
    else if (method == QLatin1String(lang::KindPOP3))
        EditPort->setText(QStringLiteral("110"));
    else if (method == QLatin1String(lang::KindIMAP))
        EditPort->setText(QStringLiteral("143"));
}
