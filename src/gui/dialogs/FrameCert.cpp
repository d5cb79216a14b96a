#include "gui/dialogs/FrameCert.h"

#include "checks/ThreadCertCheckUnit.h"
#include "gui/dialogs/FrameKit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFrameCertForm::TFrameCertForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameCertForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("Certificate"));
    EditHost = AddEditRow(form, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    ComboBoxStartTls = AddComboRow(form, QStringLiteral("STARTTLS"), StartTlsItems());
    auto* note =
        new QLabel(QStringLiteral("The certificate is judged by [tls] of SysInit.ini: verification, "
                                  "CA file and the days of warning before it ends (14 unless set)."));
    note->setWordWrap(true);
    form->addRow(note);
    connect(ComboBoxStartTls, &QComboBox::activated, this, &TFrameCertForm::ComboBoxStartTlsSelect);
    Reset();
}

QStringList TFrameCertForm::StartTlsItems()
{
    return {QStringLiteral("None (TLS from the first byte)"), QStringLiteral("SMTP"), QStringLiteral("IMAP"),
            QStringLiteral("POP3"), QStringLiteral("FTP (AUTH TLS)")};
}

void TFrameCertForm::Reset()
{
    PageControl->setCurrentIndex(0);
    EditHost->clear();
    ComboBoxStartTls->setCurrentIndex(0);
    EditPort->setText(QString::number(ThreadCertCheck::UsualPort(QString())));
}

QString TFrameCertForm::StartTlsMode() const
{
    const QStringList modes = ThreadCertCheck::StartTlsModes();
    const int index = ComboBoxStartTls->currentIndex();
    return index >= 0 && index < modes.size() ? modes[index] : QString();
}

void TFrameCertForm::ShowStartTlsMode(const QString& mode)
{
    const qsizetype index = ThreadCertCheck::StartTlsModes().indexOf(mode.toLower());
    ComboBoxStartTls->setCurrentIndex(int(index));
}

void TFrameCertForm::ComboBoxStartTlsSelect()
{
    const QStringList modes = ThreadCertCheck::StartTlsModes();
    const int index = ComboBoxStartTls->currentIndex();
    if (index < 0 || index >= modes.size())
        return;
    const QString port = EditPort->text().trimmed();
    bool usual = port.isEmpty();
    for (const QString& mode : modes)
        usual = usual || port == QString::number(ThreadCertCheck::UsualPort(mode));
    if (usual)
        EditPort->setText(QString::number(ThreadCertCheck::UsualPort(modes[index])));
}
