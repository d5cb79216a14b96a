#include "gui/loginDB.h"

#include "core/Notifier.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/menu.h"
#include "monitor/MonitorEngine.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

TFormLoginDB::TFormLoginDB(TFormMenu* menu)
    : QWidget(menu, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      m_menu(menu)
{
    setObjectName(QStringLiteral("FormLoginDB"));
    setWindowTitle(QStringLiteral("Login Database"));

    auto* group = new QGroupBox(QStringLiteral("Database Information"), this);
    EditHost = new QLineEdit(QStringLiteral("localhost"), group);
    EditUsername = new QLineEdit(QStringLiteral("root"), group);
    EditPassword = new QLineEdit(group);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPort = new QLineEdit(QStringLiteral("3306"), group);
    auto* fields = new QFormLayout(group);
    fields->addRow(QStringLiteral("Host : "), EditHost);
    fields->addRow(QStringLiteral("Username : "), EditUsername);
    fields->addRow(QStringLiteral("Password : "), EditPassword);
    fields->addRow(QStringLiteral("Port : "), EditPort);

    auto* note = new QFrame(this);
    note->setFrameShape(QFrame::StyledPanel);
    auto* noteLayout = new QVBoxLayout(note);
    for (const char* line :
         {"Please make sure : ", "- Username and password are correct.",
          "- MySQL has been installed in this machine.", "- Or it can connect to other machine's MySQL."})
        noteLayout->addWidget(new QLabel(QString::fromLatin1(line), note));

    ButtonConnect = new QPushButton(QStringLiteral("Connect"), this);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonConnect);
    buttons->addWidget(ButtonCancel);

    StatusBarLogin = new QStatusBar(this);
    StatusBarLogin->setSizeGripEnabled(false);
    m_status = new QLabel(StatusBarLogin);
    StatusBarLogin->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(note);
    layout->addLayout(buttons);
    layout->addWidget(StatusBarLogin);

    connect(ButtonConnect, &QPushButton::clicked, this, &TFormLoginDB::ButtonConnectClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormLoginDB::ButtonCancelClick);
    connect(EditPort, &QLineEdit::returnPressed, this, &TFormLoginDB::ButtonConnectClick);
    connect(EditPassword, &QLineEdit::returnPressed, this, &TFormLoginDB::ButtonConnectClick);

    resize(360, sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    FormCreate();
}

void TFormLoginDB::FormCreate()
{
    m_menu->SetMainMenusEnabled(false);
    m_menu->SetMainToolbarEnabled(false);
    EditHost->setText(AppSettings.DBHost);
    EditPort->setText(AppSettings.DBPort);
    EditUsername->setText(AppSettings.DBUsername);
    EditPassword->setText(AppSettings.DBPassword);
    m_status->setText(QString::fromLatin1(lang::InputValidConnecting));
}

QString TFormLoginDB::StatusText() const
{
    return m_status->text();
}

void TFormLoginDB::ButtonConnectClick()
{
    switch (LoginConnect(EditHost->text(), EditPort->text(), EditUsername->text(), EditPassword->text())) {
    case LoginConnectResult::InvalidPort:
        EditPort->setFocus();
        return;
    case LoginConnectResult::Failed:
        EditHost->setFocus();
        m_status->setText(QString::fromLatin1(lang::ParametersWrong));
        return;
    case LoginConnectResult::Connected:
    case LoginConnectResult::FirstStartCreated:
        break;
    }
    m_menu->Engine()->LoginSucceeded();
    hide();
}

void TFormLoginDB::ButtonCancelClick()
{
    AskApplicationQuit();
}

void TFormLoginDB::closeEvent(QCloseEvent* event)
{
    m_menu->SetMainMenusEnabled(true);
    m_menu->SetMainToolbarEnabled(true);
    event->accept();
}
