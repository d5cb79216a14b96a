#include "gui/dialogs/contactGroupsSettingsSelect.h"

#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Theme.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/contactGroupsSettings.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

TFormContactGroupsSettingsSelect::TFormContactGroupsSettingsSelect(TFormContactGroupsSettings* owner)
    : QDialog(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("FormContactGroupsSettingsSelect"));
    setWindowTitle(QStringLiteral("Contact Group"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    ListViewGroup = new QTreeWidget(this);
    ListViewGroup->setObjectName(QStringLiteral("ListViewGroup"));
    ListViewGroup->setAccessibleName(QStringLiteral("Contact Group"));
    ListViewGroup->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Group Name")});
    ListViewGroup->setRootIsDecorated(false);
    ListViewGroup->setUniformRowHeights(true);
    ListViewGroup->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewGroup->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewGroup->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewGroup->setSortingEnabled(true);
    ListViewGroup->sortByColumn(0, Qt::AscendingOrder);
    ListViewGroup->setColumnWidth(0, fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 20);
    PaintOddRows(ListViewGroup, Theme::ContactOddRow);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(ListViewGroup);

    connect(ListViewGroup, &QTreeWidget::activated, this,
            [this](const QModelIndex& index) { ListViewGroupDblClick(index.row()); });
    resize(300, 260);
}

void TFormContactGroupsSettingsSelect::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TFormContactGroupsSettingsSelect::FormShow()
{
    ListViewGroup->clear();
    ListViewGroup->setSortingEnabled(false);
    try {
        for (const ContactName& group : ContactStore::Groups())
            ListViewGroup->addTopLevelItem(new NumericSortItem({QString::number(group.Id), group.Name}));
    } catch (const DatabaseError&) {
        // The next showing reads the groups again.
    }
    ListViewGroup->setSortingEnabled(true);
    ListViewGroup->setFocus();
}

void TFormContactGroupsSettingsSelect::ListViewGroupDblClick(int row)
{
    QTreeWidgetItem* item = ListViewGroup->topLevelItem(row);
    if (!item)
        return;
    const int id = item->text(0).toInt();
    const QString name = item->text(1);
    m_owner->LoadGroup(id, name);
    m_owner->activateWindow();
    m_owner->EditGroupName->setFocus();
    close();
}
