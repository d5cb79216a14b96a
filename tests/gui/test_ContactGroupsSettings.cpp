// The contact groups dialog: choosing members by moving names between the two lists, saving and
// rewriting a group's membership, deleting, the refusals and the one-transaction save.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/contactGroupsSettings.h"
#include "gui/dialogs/contactGroupsSettingsSelect.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace {

using Kind = Notifier::Kind;

QStringList entries(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

class ContactGroups : public GuiFixture
{
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        if (IsSkipped())
            return;
        for (const char* name : {"Carol", "alice", "Bob", "O\"Brien \\ Ops"})
            person(name);
        openWindow();
        startCycle();
        showWindow();
        window->action("Contact Group Options")->trigger();
        form = FormContactGroupsSettings();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_TRUE(WaitUntilFocused(form));
    }

    int person(const QString& name)
    {
        m_dm->ExecUpdate("insert into contact_person (name,details,email,sms) values (" + QuoteSqlText(name) +
                         ",\"\",\"x@example.com\",\"1\")");
        return int(m_dm->LastInsertId());
    }
    int personId(const QString& name) const
    {
        return scalar("select id from quorvel.contact_person where name=" + QuoteSqlText(name)).toInt();
    }

    // The member names of a group, by person id order.
    QStringList members(const QString& group) const
    {
        QSqlQuery q(m_dm->SQLConnection);
        q.exec("select b.name from contact_person_group a join contact_person b on a.contact_person_id=b.id "
               "join contact_group g on g.id=a.contact_group_id where g.name=" +
               QuoteSqlText(group) + " order by b.id");
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        return names;
    }

    // Highlights `name` in `list` and presses `button`.
    void move(QListWidget* list, const QString& name, QPushButton* button)
    {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found[0]);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Loads `group` through the picker, as the user does.
    void load(const QString& group)
    {
        QTest::mouseClick(form->ButtonSelectGroup, Qt::LeftButton);
        TFormContactGroupsSettingsSelect* picker = form->FormSelect();
        ASSERT_NE(picker, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(picker));
        QTreeWidget* list = picker->ListViewGroup;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            if (list->topLevelItem(row)->text(1) == group) {
                const QRect r = list->visualItemRect(list->topLevelItem(row));
                DoubleClickAt(list->viewport(), r.center());
                return;
            }
        }
        FAIL() << "no group " << group.toStdString() << " in the picker";
    }

    int count(const QString& sql) const { return scalar(sql).toInt(); }

    TFormContactGroupsSettings* form = nullptr;
};

} // namespace

TEST_F(ContactGroups, OpensWithItsCaptionsHintsAndAllPersonsAvailable)
{
    EXPECT_EQ(form->windowTitle(), "Contact Groups Options");
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(UnnamedControls(form), QStringList());
    QLineEdit* name = Named<QLineEdit>(form, "Group Name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->maxLength(), 50);
    EXPECT_EQ(Named<QListWidget>(form, "Available contacts"), form->ListBoxAvailable);
    EXPECT_EQ(Named<QListWidget>(form, "Selected contacts"), form->ListBoxSelected);

    const struct
    {
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"Cancel", "Click to close the window."},
        {"Delete", "Click to delete the record."},
        {"Save New", "Click to save the new record or update the changes."},
        {"Clear", "Click to clear the fields and ready to add a new record."},
        {".....", "Click to select any existing contact group to update. "},
    };
    for (const auto& b : buttons) {
        QPushButton* button = Named<QPushButton>(form, b.caption);
        ASSERT_NE(button, nullptr) << b.caption;
        EXPECT_EQ(button->toolTip(), b.hint) << b.caption;
    }
    EXPECT_EQ(form->ListBoxAvailable->toolTip(), "Double click on any contact moving to selected contact.");
    EXPECT_EQ(form->ListBoxSelected->toolTip(), "Double click on any contact to remove in selected contact.");
    EXPECT_FALSE(form->ButtonDelete->isEnabled());
    EXPECT_FALSE(form->ButtonRemove->isEnabled());
    EXPECT_FALSE(form->ButtonRemoveAll->isEnabled());

    // By name as the server orders them; the quoted name is offered exactly as stored.
    EXPECT_EQ(entries(form->ListBoxAvailable), QStringList({"alice", "Bob", "Carol", "O\"Brien \\ Ops"}));
    EXPECT_TRUE(form->ListBoxSelected->count() == 0);
    EXPECT_EQ(QApplication::focusWidget(), form->EditGroupName);
}

TEST_F(ContactGroups, MoveButtonsDoubleClicksAndKeysMoveNamesAndFollowTheLists)
{
    QListWidget* available = form->ListBoxAvailable;
    QListWidget* selected = form->ListBoxSelected;
    auto buttons = [this] {
        return QList<bool>{form->ButtonAddAll->isEnabled(), form->ButtonAdd->isEnabled(),
                           form->ButtonRemoveAll->isEnabled(), form->ButtonRemove->isEnabled()};
    };

    move(available, "Carol", form->ButtonAdd);
    EXPECT_EQ(entries(selected), QStringList({"Carol"}));
    EXPECT_EQ(buttons(), QList<bool>({true, true, true, true}));

    // A double click on an available name appends it to the selected ones.
    const QRect r = available->visualItemRect(available->findItems("alice", Qt::MatchExactly)[0]);
    DoubleClickAt(available->viewport(), r.center());
    EXPECT_EQ(entries(selected), QStringList({"Carol", "alice"}));

    // Enter on the highlighted name moves it, and the next one is highlighted.
    available->setFocus();
    available->setCurrentRow(0);
    QTest::keyClick(available, Qt::Key_Return);
    EXPECT_EQ(entries(selected), QStringList({"Carol", "alice", "Bob"}));
    QTest::keyClick(available, Qt::Key_Return);
    EXPECT_EQ(entries(available), QStringList());
    EXPECT_EQ(buttons(), QList<bool>({false, false, true, true}));

    // Back by "<" and by a double click in the selected list, to the end of the available one.
    move(selected, "alice", form->ButtonRemove);
    const QRect back = selected->visualItemRect(selected->findItems("Carol", Qt::MatchExactly)[0]);
    DoubleClickAt(selected->viewport(), back.center());
    EXPECT_EQ(entries(available), QStringList({"alice", "Carol"}));

    QTest::mouseClick(form->ButtonRemoveAll, Qt::LeftButton);
    EXPECT_EQ(entries(available), QStringList({"alice", "Carol", "Bob", "O\"Brien \\ Ops"}));
    EXPECT_EQ(buttons(), QList<bool>({true, true, false, false}));
    QTest::mouseClick(form->ButtonAddAll, Qt::LeftButton);
    EXPECT_EQ(entries(selected), QStringList({"alice", "Carol", "Bob", "O\"Brien \\ Ops"}));
    EXPECT_EQ(buttons(), QList<bool>({false, false, true, true}));

    // ">" with nothing highlighted moves nothing.
    QTest::mouseClick(form->ButtonRemoveAll, Qt::LeftButton);
    available->clearSelection();
    available->setCurrentRow(-1);
    QTest::mouseClick(form->ButtonAdd, Qt::LeftButton);
    EXPECT_EQ(selected->count(), 0);
}

TEST_F(ContactGroups, SaveNewWritesTheGroupWithExactlyTheSelectedPersons)
{
    form->EditGroupName->setText("night \"shift\"");
    move(form->ListBoxAvailable, "O\"Brien \\ Ops", form->ButtonAdd);
    move(form->ListBoxAvailable, "Bob", form->ButtonAdd);
    QTest::mouseClick(form->ButtonSave, Qt::LeftButton);

    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(form->StatusText(), lang::ContactGroupSaved);
    EXPECT_EQ(window->MainStatus(), lang::ContactGroupSaved);
    EXPECT_EQ(scalar("select name from quorvel.contact_group"), "night \"shift\"");
    EXPECT_EQ(members("night \"shift\""), QStringList({"Bob", "O\"Brien \\ Ops"}));
    EXPECT_EQ(count(QString("select count(*) from quorvel.contact_person_group where contact_person_id=%1")
                        .arg(personId("O\"Brien \\ Ops"))),
              1);
    // Ready for the next new group.
    EXPECT_EQ(form->EditGroupName->text(), "");
    EXPECT_EQ(form->ListBoxSelected->count(), 0);
    EXPECT_EQ(form->ListBoxAvailable->count(), 4);
    EXPECT_EQ(form->ButtonSave->text(), "Save New");
    EXPECT_EQ(form->EditingId, 0);
}

TEST_F(ContactGroups, SaveUpdateRewritesTheWholeMembership)
{
    m_dm->ExecUpdate("insert into contact_group (name) values (\"ops\")");
    const int ops = int(m_dm->LastInsertId());
    for (const char* name : {"Carol", "O\"Brien \\ Ops", "alice"})
        m_dm->ExecUpdate(
            QString("insert into contact_person_group (contact_person_id,contact_group_id) values "
                    "(%1,%2)")
                .arg(personId(name))
                .arg(ops));
    // A second group that shares a member keeps its own rows.
    m_dm->ExecUpdate("insert into contact_group (name) values (\"dba\")");
    m_dm->ExecUpdate(
        QString("insert into contact_person_group (contact_person_id,contact_group_id) values (%1,%2)")
            .arg(personId("Carol"))
            .arg(int(m_dm->LastInsertId())));

    load("ops");
    EXPECT_FALSE(form->FormSelect()->isVisible());
    EXPECT_EQ(form->EditingId, ops);
    EXPECT_EQ(form->EditGroupName->text(), "ops");
    QStringList shown = entries(form->ListBoxSelected);
    shown.sort();
    EXPECT_EQ(shown, QStringList({"Carol", "O\"Brien \\ Ops", "alice"}));
    EXPECT_EQ(entries(form->ListBoxAvailable), QStringList({"Bob"})); // only those not selected
    EXPECT_EQ(form->ButtonSave->text(), "Save Update");
    EXPECT_TRUE(form->ButtonDelete->isEnabled());
    EXPECT_TRUE(form->ButtonRemove->isEnabled());
    EXPECT_EQ(form->StatusText(), lang::CanUpdateOrDeleteGroup);

    move(form->ListBoxSelected, "Carol", form->ButtonRemove);
    move(form->ListBoxAvailable, "Bob", form->ButtonAdd);
    form->EditGroupName->setText("operations");
    QTest::mouseClick(form->ButtonSave, Qt::LeftButton);

    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(form->StatusText(), lang::ContactGroupUpdated);
    EXPECT_EQ(members("operations"), QStringList({"alice", "Bob", "O\"Brien \\ Ops"}));
    EXPECT_EQ(members("dba"), QStringList({"Carol"}));
    EXPECT_EQ(count("select count(*) from quorvel.contact_group"), 2);
    // Still the loaded group: a further Save updates it again.
    EXPECT_EQ(form->EditingId, ops);
    EXPECT_EQ(form->ButtonSave->text(), "Save Update");
}

TEST_F(ContactGroups, NameIsCompulsoryAndUniqueExceptForTheLoadedGroup)
{
    m_dm->ExecUpdate("insert into contact_group (name) values (\"ops\")");
    m_dm->ExecUpdate("insert into contact_group (name) values (\"dba\")");
    m_dm->ExecUpdate(
        QString("insert into contact_person_group (contact_person_id,contact_group_id) values (%1,%2)")
            .arg(personId("Bob"))
            .arg(int(m_dm->LastInsertId())));

    const struct
    {
        const char* name;
        bool anySelected;
        const char* box;
    } cases[] = {
        {"", true, lang::GroupNameCompulsory},
        {"support", false, lang::SelectContactPerson},
        {"ops", true, lang::GroupNameUnique},
    };
    for (const auto& c : cases) {
        m_boxes.boxes.clear();
        form->ButtonClearClick();
        form->EditGroupName->setText(c.name);
        if (c.anySelected)
            move(form->ListBoxAvailable, "Carol", form->ButtonAdd);
        form->ButtonSaveClick();
        EXPECT_EQ(m_boxes.texts(), QStringList({c.box}));
        EXPECT_EQ(m_boxes.boxes.at(0).first, Kind::Information);
        QWidget* focus = c.anySelected ? static_cast<QWidget*>(form->EditGroupName)
                                       : static_cast<QWidget*>(form->ListBoxAvailable);
        EXPECT_EQ(QApplication::focusWidget(), focus) << c.box;
    }
    EXPECT_EQ(count("select count(*) from quorvel.contact_group"), 2);

    // The loaded group saved under its own name is no clash; renamed to the other one it is.
    m_boxes.boxes.clear();
    load("dba");
    QTest::mouseClick(form->ButtonSave, Qt::LeftButton);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(form->StatusText(), lang::ContactGroupUpdated);
    form->EditGroupName->setText("ops");
    form->ButtonSaveClick();
    EXPECT_EQ(m_boxes.texts(), QStringList({lang::GroupNameUnique}));
    EXPECT_EQ(members("dba"), QStringList({"Bob"}));
}

TEST_F(ContactGroups, DeleteRemovesTheGroupAndItsMembershipOnly)
{
    m_dm->ExecUpdate("insert into contact_group (name) values (\"ops\")");
    const int ops = int(m_dm->LastInsertId());
    m_dm->ExecUpdate(
        QString(
            "insert into contact_person_group (contact_person_id,contact_group_id) values (%1,%2),(%3,%2)")
            .arg(personId("Bob"))
            .arg(ops)
            .arg(personId("Carol")));
    load("ops");
    QTest::mouseClick(form->ButtonDelete, Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), lang::ContactGroupDeleted);
    EXPECT_EQ(count("select count(*) from quorvel.contact_group"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person_group"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 4);
    EXPECT_EQ(form->ButtonSave->text(), "Save New");
    EXPECT_EQ(form->ListBoxAvailable->count(), 4);
}

TEST_F(ContactGroups, AFailedSaveLeavesNoRowBehindAndShowsNoSuccess)
{
    // The second membership insert is refused by the server.
    m_dm->ExecUpdate(
        QString("create trigger refuse_member before insert on contact_person_group for each row "
                "begin if new.contact_person_id=%1 then signal sqlstate '45000' set message_text = "
                "'member refused'; end if; end")
            .arg(personId("Carol")));
    form->EditGroupName->setText("ops");
    move(form->ListBoxAvailable, "Bob", form->ButtonAdd);
    move(form->ListBoxAvailable, "Carol", form->ButtonAdd);
    form->ButtonSaveClick();

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("member refused"));
    EXPECT_EQ(systemLogLines().filter("[ERROR]").filter("member refused").size(), 1);
    EXPECT_NE(form->StatusText(), lang::ContactGroupSaved);
    EXPECT_NE(window->MainStatus(), lang::ContactGroupSaved);
    EXPECT_EQ(count("select count(*) from quorvel.contact_group"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person_group"), 0);
    // The input stays for another try, still as a new group.
    EXPECT_EQ(form->EditGroupName->text(), "ops");
    EXPECT_EQ(entries(form->ListBoxSelected), QStringList({"Bob", "Carol"}));
    EXPECT_EQ(form->ButtonSave->text(), "Save New");
    EXPECT_EQ(form->EditingId, 0);

    // An update refused half-way keeps the old membership whole.
    m_dm->ExecUpdate("drop trigger refuse_member");
    form->ButtonSaveClick();
    ASSERT_EQ(members("ops"), QStringList({"Carol", "Bob"}));
    m_dm->ExecUpdate(
        QString("create trigger refuse_member before insert on contact_person_group for each row "
                "begin if new.contact_person_id=%1 then signal sqlstate '45000' set message_text = "
                "'member refused'; end if; end")
            .arg(personId("alice")));
    load("ops");
    move(form->ListBoxAvailable, "alice", form->ButtonAdd);
    form->EditGroupName->setText("renamed");
    m_boxes.boxes.clear();
    form->ButtonSaveClick();
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(members("ops"), QStringList({"Carol", "Bob"}));
    EXPECT_EQ(count("select count(*) from quorvel.contact_group where name=\"renamed\""), 0);
}

TEST_F(ContactGroups, APersonDeletedMeanwhileIsRefusedRatherThanStoredAsIdZero)
{
    form->EditGroupName->setText("ops");
    move(form->ListBoxAvailable, "Bob", form->ButtonAdd);
    move(form->ListBoxAvailable, "Carol", form->ButtonAdd);
    // The contacts dialog (or anyone) deletes Carol while this dialog still lists her.
    m_dm->ExecUpdate("delete from contact_person where name=\"Carol\"");
    form->ButtonSaveClick();

    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.endsWith(" : The contact person Carol cannot be found."))
        << m_boxes.boxes[0].second.toStdString();
    EXPECT_EQ(count("select count(*) from quorvel.contact_group"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person_group"), 0);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person_group where contact_person_id=0 or "
                    "contact_group_id=0"),
              0);
}

TEST_F(ContactGroups, CancelUnlocksTheMainWindowAndSaysSo)
{
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    EXPECT_TRUE(window->ToolButtonScheduling->isEnabled());
    EXPECT_EQ(window->MainStatus(), lang::UpdatingCancelled);
}
