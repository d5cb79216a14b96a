#include "gui/dialogs/FrameFTP.h"

#include "gui/dialogs/FrameKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

const QStringList& TFrameFTPForm::ProxyTypes()
{
    static const QStringList types{
        "fpcmNone",        "fpcmUserSite",        "fpcmSite", "fpcmOpen", "fpcmUserPass",
        "fpcmTransparent", "fpcmHttpProxyWithFtp"};
    return types;
}

TFrameFTPForm::TFrameFTPForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameFTPForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* ftpForm = AddFormPage(PageControl, QStringLiteral("FTP"));
    EditHost = AddEditRow(ftpForm, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(ftpForm, QStringLiteral("Port"), column::Integer);
    EditUserID = AddEditRow(ftpForm, QStringLiteral("User ID"), column::Login);
    EditPassword = AddEditRow(ftpForm, QStringLiteral("Password"), column::Login, true);

    QFormLayout* proxyForm = AddFormPage(PageControl, QStringLiteral("Proxy settings"));
    CheckBoxUseProxy = new QCheckBox(QStringLiteral("Use Proxy Server"));
    proxyForm->addRow(CheckBoxUseProxy);
    EditProxyServer = AddEditRow(proxyForm, QStringLiteral("Proxy Server"), column::Host);
    EditProxyPort = AddEditRow(proxyForm, QStringLiteral("Proxy Port"), column::Integer);
    ComboBoxProxyType = AddComboRow(proxyForm, QStringLiteral("Proxy Type"), ProxyTypes());
    CheckBoxProxyAuthentication = new QCheckBox(QStringLiteral("Proxy Authentication"));
    proxyForm->addRow(CheckBoxProxyAuthentication);
    EditProxyUsername = AddEditRow(proxyForm, QStringLiteral("Username"), column::Login);
    EditProxyPassword = AddEditRow(proxyForm, QStringLiteral("Password"), column::Login, true);
    EditProxyUsername->setAccessibleName(QStringLiteral("Proxy Username"));
    EditProxyPassword->setAccessibleName(QStringLiteral("Proxy Password"));

    connect(CheckBoxUseProxy, &QCheckBox::toggled, this, &TFrameFTPForm::applyEnabling);
    connect(CheckBoxProxyAuthentication, &QCheckBox::toggled, this, &TFrameFTPForm::applyEnabling);
    Reset();
}

void TFrameFTPForm::Reset()
{
    PageControl->setCurrentIndex(0);
    for (QLineEdit* edit : {EditHost, EditUserID, EditPassword, EditProxyServer, EditProxyPort,
                            EditProxyUsername, EditProxyPassword})
        edit->clear();
    EditPort->setText(QStringLiteral("21"));
    ComboBoxProxyType->setCurrentIndex(0);
    CheckBoxUseProxy->setChecked(false);
    CheckBoxProxyAuthentication->setChecked(false);
    applyEnabling();
}

void TFrameFTPForm::Normalise()
{
    if (!CheckBoxUseProxy->isChecked()) {
        EditProxyServer->clear();
        EditProxyPort->clear();
        EditProxyUsername->clear();
        EditProxyPassword->clear();
        ComboBoxProxyType->setCurrentIndex(0);
    }
    if (!CheckBoxProxyAuthentication->isChecked()) {
        EditProxyUsername->clear();
        EditProxyPassword->clear();
    }
}

void TFrameFTPForm::applyEnabling()
{
    const bool proxy = CheckBoxUseProxy->isChecked();
    const bool proxyAuth = proxy && CheckBoxProxyAuthentication->isChecked();
    EditProxyServer->setEnabled(proxy);
    EditProxyPort->setEnabled(proxy);
    ComboBoxProxyType->setEnabled(proxy);
    CheckBoxProxyAuthentication->setEnabled(proxy);
    EditProxyUsername->setEnabled(proxyAuth);
    EditProxyPassword->setEnabled(proxyAuth);
}
