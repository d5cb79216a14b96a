#include "gui/dialogs/FrameDNS.h"

#include "gui/dialogs/FrameKit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFrameDNSForm::TFrameDNSForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameDNSForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("DNS"));
    EditName = AddEditRow(form, QStringLiteral("Name"), column::Host);
    EditServer = AddEditRow(form, QStringLiteral("Server"), column::Option);
    EditServer->setPlaceholderText(QStringLiteral("empty: the system's resolver"));
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    ComboBoxRecordType = AddComboRow(form, QStringLiteral("Record type"), RecordTypes());
    EditExpect = AddEditRow(form, QStringLiteral("Expected value"), column::Option);
    EditExpect->setPlaceholderText(QStringLiteral("a value one answer equals (optional)"));
    Reset();
}

QStringList TFrameDNSForm::RecordTypes()
{
    return {QStringLiteral("A"),  QStringLiteral("AAAA"), QStringLiteral("CNAME"), QStringLiteral("MX"),
            QStringLiteral("NS"), QStringLiteral("TXT"),  QStringLiteral("SOA")};
}

void TFrameDNSForm::Reset()
{
    PageControl->setCurrentIndex(0);
    EditName->clear();
    EditServer->clear();
    EditPort->setText(QStringLiteral("53"));
    ComboBoxRecordType->setCurrentIndex(0);
    EditExpect->clear();
}
