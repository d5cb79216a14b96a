#include "gui/dialogs/FrameDatabase.h"

#include "gui/dialogs/FrameKit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFrameDatabaseForm::TFrameDatabaseForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameDatabaseForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("Database"));
    ComboBoxDatabase =
        AddComboRow(form, QStringLiteral("Database"),
                    {QStringLiteral("MySQL"), QStringLiteral("DB2"), QStringLiteral("Interbase"),
                     QStringLiteral("Informix"), QStringLiteral("MSSQL"), QStringLiteral("Oracle")});
    EditHost = AddEditRow(form, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    EditDBName = AddEditRow(form, QStringLiteral("DB Name"), column::Host);
    EditUserID = AddEditRow(form, QStringLiteral("User ID"), column::Login);
    EditPassword = AddEditRow(form, QStringLiteral("Password"), column::Login);
    Reset();
}

void TFrameDatabaseForm::Reset()
{
    ComboBoxDatabase->setCurrentIndex(0);
    EditHost->clear();
    EditPort->setText(QStringLiteral("3306"));
    EditDBName->clear();
    EditUserID->clear();
    EditPassword->clear();
}
