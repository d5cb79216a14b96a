#include "gui/dialogs/AlarmExtraFields.h"

#include "core/Notifier.h"
#include "core/langLibrary.h"
#include "gui/dialogs/FrameKit.h"

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

constexpr int kNameColumn = 50; // alarm_method_extra_fields.field_name, field_value

} // namespace

AlarmExtraFieldsEditor::AlarmExtraFieldsEditor(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* inputs = new QFormLayout;
    m_name = AddEditRow(inputs, QStringLiteral("Field Name :"), kNameColumn);
    m_value = AddEditRow(inputs, QStringLiteral("Field Value :"), kNameColumn);
    m_name->setAccessibleName(QStringLiteral("Field Name"));
    m_value->setAccessibleName(QStringLiteral("Field Value"));
    auto* moves = new QHBoxLayout;
    m_add = new QPushButton(QStringLiteral("Add >>"), this);
    m_add->setToolTip(QStringLiteral("Click to add this field name and value..."));
    m_remove = new QPushButton(QStringLiteral("<< Remove"), this);
    m_remove->setToolTip(QStringLiteral("Click to remove this field name and value..."));
    for (QPushButton* button : {m_add, m_remove}) {
        button->setAccessibleName(button->text());
        button->setAutoDefault(false);
    }
    moves->addWidget(m_remove);
    moves->addWidget(m_add);
    inputs->addRow(moves);
    layout->addLayout(inputs, 1);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ExtraFields"));
    m_list->setAccessibleName(QStringLiteral("Extra Fields"));
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    m_list->setRootIsDecorated(false);
    m_list->setColumnWidth(0, 80);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* removeAction = new QAction(QStringLiteral("<< Remove"), m_list);
    m_list->addAction(removeAction);
    layout->addWidget(m_list, 1);

    connect(m_add, &QPushButton::clicked, this, &AlarmExtraFieldsEditor::AddField);
    connect(m_remove, &QPushButton::clicked, this, &AlarmExtraFieldsEditor::RemoveField);
    connect(removeAction, &QAction::triggered, this, &AlarmExtraFieldsEditor::RemoveField);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &AlarmExtraFieldsEditor::RemoveField);
}

QList<AlarmExtraField> AlarmExtraFieldsEditor::Fields() const
{
    QList<AlarmExtraField> fields;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        fields.append({item->text(0), item->text(1)});
    }
    return fields;
}

void AlarmExtraFieldsEditor::SetFields(const QList<AlarmExtraField>& fields)
{
    m_list->clear();
    for (const auto& [name, value] : fields)
        m_list->addTopLevelItem(new QTreeWidgetItem({name, value}));
}

QList<QWidget*> AlarmExtraFieldsEditor::SettingsControls() const
{
    return {m_list, m_add, m_remove};
}

void AlarmExtraFieldsEditor::AddField()
{
    if (m_name->text().isEmpty() || m_value->text().isEmpty()) {
        QString text = QString::fromLatin1(lang::EitherFieldEmpty);
        text.replace(text.indexOf(QStringLiteral("%s")), 2, QStringLiteral("Field Name"));
        text.replace(text.indexOf(QStringLiteral("%s")), 2, QStringLiteral("Field Value"));
        ShowInformationBox(text);
        m_name->setFocus();
        return;
    }
    m_list->insertTopLevelItem(0, new QTreeWidgetItem({m_name->text(), m_value->text()}));
    m_name->clear();
    m_value->clear();
}

void AlarmExtraFieldsEditor::RemoveField()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected())
        return;
    m_name->setText(item->text(0));
    m_value->setText(item->text(1));
    delete item;
}
