#include "gui/dialogs/FrameTCP.h"

#include "gui/dialogs/FrameKit.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

TFrameTCPForm::TFrameTCPForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameTCPForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    QFormLayout* form = AddFormPage(PageControl, QStringLiteral("TCP"));
    EditHost = AddEditRow(form, QStringLiteral("Host"), column::Host);
    EditPort = AddEditRow(form, QStringLiteral("Port"), column::Integer);
    EditSend = AddEditRow(form, QStringLiteral("Send"), column::Option);
    EditSend->setPlaceholderText(QStringLiteral("a line sent once connected (optional)"));
    EditExpect = AddEditRow(form, QStringLiteral("Expect"), column::Option);
    EditExpect->setPlaceholderText(QStringLiteral("a text the first reply contains (optional)"));
    Reset();
}

void TFrameTCPForm::Reset()
{
    PageControl->setCurrentIndex(0);
    EditHost->clear();
    EditPort->clear();
    EditSend->clear();
    EditExpect->clear();
}
