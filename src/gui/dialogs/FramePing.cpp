#include "gui/dialogs/FramePing.h"

#include "gui/dialogs/FrameKit.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFramePingForm::TFramePingForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FramePingForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("Ping"));
    EditHost = AddEditRow(form, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    Reset();
}

void TFramePingForm::Reset()
{
    EditHost->clear();
    EditPort->clear();
}
