// The group picker of the contact groups dialog: where it opens, what it lists at each opening,
// loading a group by mouse and keyboard, and closing without unlocking the main window.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/contactGroupsSettings.h"
#include "gui/dialogs/contactGroupsSettingsSelect.h"

#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace {

class GroupPicker : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped())
            return;
        openWindow();
        startCycle();
        showWindow();
        window->OpenDialog(DialogKind::ContactGroupOptions);
        groups = FormContactGroupsSettings();
        ASSERT_NE(groups, nullptr);
        ASSERT_TRUE(WaitUntilFocused(groups));
    }

    int group(const QString& name)
    {
        m_dm->ExecUpdate("insert into contact_group (name) values (" + QuoteSqlText(name) + ")");
        return int(m_dm->LastInsertId());
    }

    TFormContactGroupsSettingsSelect* openPicker()
    {
        QTest::mouseClick(groups->ButtonSelectGroup, Qt::LeftButton);
        TFormContactGroupsSettingsSelect* picker = groups->FormSelect();
        if (picker && !QTest::qWaitForWindowExposed(picker))
            return nullptr;
        return picker;
    }

    static QStringList rows(QTreeWidget* list)
    {
        QStringList texts;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            texts << list->topLevelItem(row)->text(0) + "|" + list->topLevelItem(row)->text(1);
        return texts;
    }

    TFormContactGroupsSettings* groups = nullptr;
};

} // namespace

TEST_F(GroupPicker, OpensBesideTheGroupsDialogAndListsTheGroupsAddedSinceItsFirstOpening)
{
    const int ops = group("ops");
    TFormContactGroupsSettingsSelect* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->windowTitle(), "Contact Group");
    EXPECT_TRUE(picker->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(picker->pos(), groups->pos() + QPoint(330, 50));
    EXPECT_EQ(UnnamedControls(picker), QStringList());
    QTreeWidget* list = picker->ListViewGroup;
    EXPECT_EQ(list->headerItem()->text(0), "ID");
    EXPECT_EQ(list->headerItem()->text(1), "Group Name");
    EXPECT_EQ(list->palette().color(QPalette::AlternateBase), QColor(183, 183, 255));
    EXPECT_EQ(rows(list), QStringList({QString("%1|ops").arg(ops)}));
    picker->close();

    // Groups added meanwhile, by this dialog or otherwise, are there at the next opening.
    const int dba = group("dba \"night\"");
    groups->move(groups->pos() + QPoint(20, 10));
    picker = openPicker();
    EXPECT_EQ(rows(list), QStringList({QString("%1|ops").arg(ops), QString("%1|dba \"night\"").arg(dba)}));
    EXPECT_EQ(picker->pos(), groups->pos() + QPoint(330, 50));
}

TEST_F(GroupPicker, EnterOnAGroupLoadsItAndClosingThePickerKeepsTheMainWindowLocked)
{
    group("ops");
    const int dba = group("dba");
    TFormContactGroupsSettingsSelect* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(WaitUntilFocused(picker));
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());

    QTreeWidget* list = picker->ListViewGroup;
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(groups->EditingId, dba);
    EXPECT_EQ(groups->EditGroupName->text(), "dba");
    EXPECT_EQ(groups->ButtonSave->text(), "Save Update");
    // The groups dialog is still open, so the main window's commands stay locked.
    ASSERT_TRUE(WaitUntilFocused(groups));
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_FALSE(window->ToolButtonScheduling->isEnabled());

    // Closing the groups dialog closes an open picker with it.
    picker = openPicker();
    ASSERT_TRUE(picker->isVisible());
    groups->close();
    EXPECT_FALSE(picker->isVisible());
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
}

TEST_F(GroupPicker, TheIdColumnSortsAsNumbers)
{
    for (int i = 1; i <= 12; ++i)
        group(QString("g%1").arg(i));
    TFormContactGroupsSettingsSelect* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    QTreeWidget* list = picker->ListViewGroup;
    list->sortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "12");
    EXPECT_EQ(list->topLevelItem(2)->text(0), "10");
    EXPECT_EQ(list->topLevelItem(3)->text(0), "9");
    list->sortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "2");
}
