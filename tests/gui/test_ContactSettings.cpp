// The contacts dialog driven as the administrator drives it: entering, loading, updating and
// deleting persons, the refusals, the one-transaction saves and the person list.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/contactSettings.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

using Kind = Notifier::Kind;

// The window's controls as a person finds them: by their captions.
QLineEdit* edit(QWidget* form, const char* caption)
{
    return Control<QLineEdit>(form, caption);
}
QPushButton* button(QWidget* form, const char* caption)
{
    return Control<QPushButton>(form, caption);
}
// The save button, captioned "Save New" or "Save Update" by what it will do.
QPushButton* saveButton(QWidget* form)
{
    if (auto* update = Named<QPushButton>(form, "Save Update"))
        return update;
    return Control<QPushButton>(form, "Save New");
}
QTreeWidget* contactList(QWidget* form)
{
    return Control<QTreeWidget>(form, "Contact lists");
}

struct Person
{
    QString name;
    QString details;
    QString email;
    QString sms;
};

class ContactSettings : public GuiFixture
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
        window->action("Contact Options")->trigger();
        form = FormContactSettings();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_TRUE(WaitUntilFocused(form));
    }

    void type(const Person& p)
    {
        edit(form, "Person Name")->setText(p.name);
        edit(form, "Details")->setText(p.details);
        edit(form, "Email Address")->setText(p.email);
        edit(form, "SMS Number")->setText(p.sms);
    }

    void saveNew(const Person& p)
    {
        type(p);
        ASSERT_EQ(saveButton(form)->text(), "Save New");
        QTest::mouseClick(saveButton(form), Qt::LeftButton);
    }

    int insertPerson(const Person& p)
    {
        m_dm->ExecUpdate("insert into contact_person (name,details,email,sms) values (" +
                         QuoteSqlText(p.name) + "," + QuoteSqlText(p.details) + "," + QuoteSqlText(p.email) +
                         "," + QuoteSqlText(p.sms) + ")");
        return int(m_dm->LastInsertId());
    }

    // Shows the dialog again so its list is read anew.
    void reshow()
    {
        form->hide();
        window->OpenDialog(DialogKind::ContactOptions);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_TRUE(WaitUntilFocused(form));
    }

    int rowOf(const QString& name) const
    {
        for (int row = 0; row < contactList(form)->topLevelItemCount(); ++row) {
            if (contactList(form)->topLevelItem(row)->text(1) == name)
                return row;
        }
        return -1;
    }

    void doubleClick(int row)
    {
        QTreeWidget* list = contactList(form);
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        DoubleClickAt(list->viewport(), r.center());
    }

    int count(const QString& sql) const { return scalar(sql).toInt(); }

    TFormContactSettings* form = nullptr;
};

const Person kAlice{"Alice", "on call", "alice@example.com", "+4915100000001"};
const Person kBob{"Bob", "", "bob@example.com", "+4915100000002"};

} // namespace

TEST_F(ContactSettings, OpensWithItsCaptionsLengthsAndLockOfTheMainWindow)
{
    EXPECT_EQ(form->windowTitle(), "Contacts Options");
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(UnnamedControls(form), QStringList());

    // The inputs as a screen reader finds them, each as long as its column.
    const struct
    {
        const char* name;
        int maxLength;
    } inputs[] = {{"Person Name", 50}, {"Details", 150}, {"Email Address", 50}, {"SMS Number", 50}};
    for (const auto& input : inputs) {
        QLineEdit* edit = Named<QLineEdit>(form, input.name);
        ASSERT_NE(edit, nullptr) << input.name;
        EXPECT_EQ(edit->maxLength(), input.maxLength) << input.name;
    }
    for (const char* caption : {"Save New", "Delete", "Cancel", "Clear"})
        EXPECT_NE(Named<QPushButton>(form, caption), nullptr) << caption;
    EXPECT_FALSE(button(form, "Delete")->isEnabled());
    EXPECT_EQ(form->GroupBoxContacts->title(), "Contact lists");
    QTreeWidget* list = contactList(form);
    QStringList headers;
    for (int c = 0; c < list->columnCount(); ++c)
        headers << list->headerItem()->text(c);
    EXPECT_EQ(headers, QStringList({"ID", "Person Name", "Details", "Email", "SMS"}));
    EXPECT_TRUE(list->alternatingRowColors());
    EXPECT_EQ(list->palette().color(QPalette::AlternateBase), QColor(183, 183, 255));

    // Opening locked the main window's commands; Cancel unlocks them and says so.
    EXPECT_FALSE(window->ActionMainMenuBar->isEnabled());
    EXPECT_FALSE(window->ToolButtonGeneral->isEnabled());
    QTest::mouseClick(button(form, "Cancel"), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(window->ActionMainMenuBar->isEnabled());
    EXPECT_TRUE(window->ToolButtonGeneral->isEnabled());
    EXPECT_EQ(window->MainStatus(), lang::UpdatingCancelled);

    // Created once: the command shows the same window again.
    window->OpenDialog(DialogKind::ContactOptions);
    EXPECT_EQ(FormContactSettings(), form);
    EXPECT_TRUE(form->isVisible());
}

// A person needs a name and a way to be reached: an e-mail address, an SMS number or both. Each
// address of the e-mail field must look like one, and the number holds digits with an optional
// leading "+". A refusal is an information box with the focus on the field; nothing is stored.
TEST_F(ContactSettings, RefusedInputsSayWhyWithTheFocusOnTheField)
{
    const struct
    {
        Person person;
        QString box;
        const char* focus;
    } cases[] = {
        {{"", "x", "a@example.com", "1"}, lang::PersonNameCompulsory, "Person Name"},
        {{"   ", "x", "a@example.com", "1"}, lang::PersonNameCompulsory, "Person Name"},
        {{"Carol", "x", "", ""}, lang::EmailOrSmsCompulsory, "Email Address"},
        {{"Carol", "x", "  ", " "}, lang::EmailOrSmsCompulsory, "Email Address"},
        {{"Carol", "", "not-an-email", ""},
         "\"not-an-email\" is not a valid email address. Each address must look like name@domain; several "
         "are "
         "separated by \";\".",
         "Email Address"},
        {{"Carol", "", "a@example.com;b@", ""},
         "\"b@\" is not a valid email address. Each address must look like name@domain; several are "
         "separated "
         "by \";\".",
         "Email Address"},
        {{"Carol", "", "a b@example.com", ""},
         "\"a b@example.com\" is not a valid email address. Each address must look like name@domain; several "
         "are separated by \";\".",
         "Email Address"},
        {{"Carol", "", "a@example.com;;b@example.com", ""},
         "\"\" is not a valid email address. Each address must look like name@domain; several are separated "
         "by "
         "\";\".",
         "Email Address"},
        {{"Carol", "", "@example.com", ""},
         "\"@example.com\" is not a valid email address. Each address must look like name@domain; several "
         "are "
         "separated by \";\".",
         "Email Address"},
        {{"Carol", "", "", "abc"},
         "\"abc\" is not a valid SMS number. It holds digits only, with an optional leading \"+\".",
         "SMS Number"},
        {{"Carol", "", "a@example.com", "+49 151"},
         "\"+49 151\" is not a valid SMS number. It holds digits only, with an optional leading \"+\".",
         "SMS Number"},
        {{"Carol", "", "", "49+151"},
         "\"49+151\" is not a valid SMS number. It holds digits only, with an optional leading \"+\".",
         "SMS Number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box.toStdString());
        m_boxes.boxes.clear();
        form->ButtonClearClick();
        type(c.person);
        form->ButtonSaveClick();
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information);
        EXPECT_EQ(m_boxes.boxes[0].second, c.box);
        EXPECT_EQ(QApplication::focusWidget(), Named<QLineEdit>(form, c.focus));
    }
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 0);
}

// Either way of reaching a person is enough, and several addresses are taken.
TEST_F(ContactSettings, APersonWithOnlyAnAddressOrOnlyANumberIsSaved)
{
    const Person accepted[] = {
        {"Mail only", "", "ops@example.com", ""},
        {"Sms only", "", "", "+4915100000003"},
        {"Both", "", "ops@example.com; admin@mail.example.org", "004915100000004"},
        {"Local host", "", "root@localhost", "112"},
    };
    for (const Person& p : accepted) {
        m_boxes.boxes.clear();
        saveNew(p);
        EXPECT_TRUE(m_boxes.boxes.empty())
            << p.name.toStdString() << ": " << m_boxes.texts().join('|').toStdString();
    }
    EXPECT_EQ(scalar("select group_concat(concat(name,\"|\",email,\"|\",sms) order by id separator \"/\") "
                     "from quorvel.contact_person")
                  .split('/'),
              (QStringList{"Mail only|ops@example.com|", "Sms only||+4915100000003",
                           "Both|ops@example.com; admin@mail.example.org|004915100000004",
                           "Local host|root@localhost|112"}));
}

TEST_F(ContactSettings, NameIsUniqueExceptForTheLoadedPersonItself)
{
    saveNew(kAlice);
    EXPECT_EQ(form->StatusText(), lang::ContactPersonSaved);
    EXPECT_EQ(window->MainStatus(), lang::ContactPersonSaved);
    EXPECT_EQ(edit(form, "Person Name")->text(), ""); // cleared for the next person
    saveNew(kBob);
    ASSERT_EQ(contactList(form)->topLevelItemCount(), 2);

    // A second Alice is refused and nothing is inserted.
    saveNew({"Alice", "twin", "twin@example.com", "9"});
    EXPECT_EQ(m_boxes.texts(), QStringList({lang::PersonNameUnique}));
    EXPECT_EQ(QApplication::focusWidget(), edit(form, "Person Name"));
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 2);

    // Alice loaded and saved under her own name is an update, not a clash.
    m_boxes.boxes.clear();
    doubleClick(rowOf("Alice"));
    EXPECT_EQ(saveButton(form)->text(), "Save Update");
    EXPECT_EQ(saveButton(form)->accessibleName(), "Save Update");
    EXPECT_TRUE(button(form, "Delete")->isEnabled());
    EXPECT_EQ(form->StatusText(), lang::CanUpdateOrDeletePerson);
    EXPECT_EQ(edit(form, "Email Address")->text(), kAlice.email);
    edit(form, "Details")->setText("weekends only");
    QTest::mouseClick(saveButton(form), Qt::LeftButton);
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(form->StatusText(), lang::ContactPersonUpdated);
    EXPECT_EQ(scalar("select details from quorvel.contact_person where name=\"Alice\""), "weekends only");
    // The mode stays: a further Save updates the same row again.
    EXPECT_EQ(saveButton(form)->text(), "Save Update");
    EXPECT_EQ(edit(form, "Person Name")->text(), "Alice");

    // Bob renamed to Alice clashes with the other row.
    doubleClick(rowOf("Bob"));
    edit(form, "Person Name")->setText("Alice");
    form->ButtonSaveClick();
    EXPECT_EQ(m_boxes.texts(), QStringList({lang::PersonNameUnique}));
    EXPECT_EQ(count("select count(*) from quorvel.contact_person where name=\"Bob\""), 1);

    // Clear goes back to a new person.
    QTest::mouseClick(button(form, "Clear"), Qt::LeftButton);
    EXPECT_EQ(saveButton(form)->text(), "Save New");
    EXPECT_FALSE(button(form, "Delete")->isEnabled());
    EXPECT_EQ(form->EditingId, 0);
    EXPECT_EQ(form->StatusText(), lang::FieldsCleared);
}

TEST_F(ContactSettings, QuotesAndBackslashesAreStoredListedAndFoundExactly)
{
    const Person tricky{"O\"Brien \\ Ops", "say \"hi\"; drop table service; --", "o\\brien@example.com",
                        "+49151"};
    saveNew(tricky);
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(scalar("select name from quorvel.contact_person"), tricky.name);
    EXPECT_EQ(scalar("select details from quorvel.contact_person"), tricky.details);
    EXPECT_EQ(scalar("select email from quorvel.contact_person"), tricky.email);
    EXPECT_EQ(count("select count(*) from quorvel.service"), 0);
    ASSERT_EQ(rowOf(tricky.name), 0);

    // Found by its name: the same name again is refused.
    saveNew(tricky);
    EXPECT_EQ(m_boxes.texts(), QStringList({lang::PersonNameUnique}));
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 1);

    // Loaded and updated under the same name.
    m_boxes.boxes.clear();
    doubleClick(0);
    EXPECT_EQ(edit(form, "Person Name")->text(), tricky.name);
    edit(form, "SMS Number")->setText("+4915100000009");
    form->ButtonSaveClick();
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(scalar("select sms from quorvel.contact_person"), "+4915100000009");
}

TEST_F(ContactSettings, InputsAtTheirFullLengthAreStoredWhole)
{
    const Person longest{QString(50, 'n'), QString(150, 'd'), QString(38, 'e') + "@example.com",
                         "+" + QString(49, '1')};
    type({longest.name + "xyz", longest.details + "xyz", longest.email + "xyz", longest.sms + "xyz"});
    EXPECT_EQ(edit(form, "Person Name")->text(), longest.name); // the edits take no more than the column
    form->ButtonSaveClick();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(scalar("select concat(name,details,email,sms) from quorvel.contact_person"),
              longest.name + longest.details + longest.email + longest.sms);
}

TEST_F(ContactSettings, DeletingAPersonRemovesItsGroupAndServiceLinks)
{
    const int alice = insertPerson(kAlice);
    const int bob = insertPerson(kBob);
    m_dm->ExecUpdate("insert into contact_group (name) values (\"ops\")");
    const int group = int(m_dm->LastInsertId());
    const int service = addService({});
    for (int person : {alice, bob}) {
        m_dm->ExecUpdate(
            QString("insert into contact_person_group (contact_person_id,contact_group_id) values "
                    "(%1,%2)")
                .arg(person)
                .arg(group));
        m_dm->ExecUpdate(
            QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
                .arg(service)
                .arg(person));
    }
    reshow();
    doubleClick(rowOf("Alice"));
    ASSERT_EQ(form->EditingId, alice);
    QTest::mouseClick(button(form, "Delete"), Qt::LeftButton);

    EXPECT_EQ(form->StatusText(), lang::ContactPersonDeleted);
    EXPECT_EQ(window->MainStatus(), lang::ContactPersonDeleted);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 1);
    EXPECT_EQ(count(QString("select count(*) from quorvel.contact_person_group where contact_person_id=%1")
                        .arg(alice)),
              0);
    EXPECT_EQ(count(QString("select count(*) from quorvel.service_contact_person where contact_person_id=%1")
                        .arg(alice)),
              0);
    // Bob keeps his links.
    EXPECT_EQ(
        count(
            QString("select count(*) from quorvel.contact_person_group where contact_person_id=%1").arg(bob)),
        1);
    EXPECT_EQ(count(QString("select count(*) from quorvel.service_contact_person where contact_person_id=%1")
                        .arg(bob)),
              1);
    EXPECT_EQ(contactList(form)->topLevelItemCount(), 1);
    EXPECT_EQ(saveButton(form)->text(), "Save New");
    EXPECT_FALSE(button(form, "Delete")->isEnabled());
}

// Delete asks first, naming the services that would keep an alarm flag with nobody left to
// receive that alarm; No deletes nothing.
TEST_F(ContactSettings, DeleteAsksNamingTheServicesLeftWithoutARecipient)
{
    const int alice = insertPerson({"Alice", "", "alice@example.com", "+4915100000001"});
    const int bob = insertPerson({"Bob", "", "", "+4915100000002"}); // no e-mail address
    struct Linked
    {
        const char* ip;
        const char* flags; // alarm_email, alarm_smpp, alarm_httpsms
        QList<int> persons;
    };
    const Linked services[] = {
        {"10.0.0.1", "y,n,n", {alice, bob}}, // e-mail: Bob has no address -> left without
        {"10.0.0.2", "n,y,n", {alice, bob}}, // SMS: Bob has a number -> fine
        {"10.0.0.3", "y,n,n", {bob}},        // not Alice's
        {"10.0.0.4", "n,n,n", {alice}},      // no person-addressed alarm
        {"10.0.0.5", "n,n,y", {alice}},      // SMS by HTTP to Alice alone -> left without
    };
    for (const Linked& l : services) {
        Service service;
        service.ip = l.ip;
        const int id = addService(service);
        const QStringList f = QString::fromLatin1(l.flags).split(',');
        m_dm->ExecUpdate(
            QString("update service set alarm_email=\"%1\",alarm_smpp=\"%2\",alarm_httpsms=\"%3\" "
                    "where id=%4")
                .arg(f[0], f[1], f[2])
                .arg(id));
        for (int person : l.persons)
            m_dm->ExecUpdate(
                QString("insert into service_contact_person (service_id,contact_person_id) values (%1,%2)")
                    .arg(id)
                    .arg(person));
    }
    reshow();
    doubleClick(rowOf("Alice"));
    ASSERT_EQ(form->EditingId, alice);

    m_boxes.answer = false;
    QTest::mouseClick(button(form, "Delete"), Qt::LeftButton);
    ASSERT_EQ(m_boxes.questions.size(), 1);
    EXPECT_EQ(m_boxes.questions[0],
              "Do you want to delete the contact person Alice ?\n\nThese services would keep "
              "their alarm flags but have no recipient left: Ping [10.0.0.1:0], Ping "
              "[10.0.0.5:0].");
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 2);
    EXPECT_EQ(count("select count(*) from quorvel.service_contact_person"), 7);
    EXPECT_EQ(form->EditingId, alice);

    // Yes deletes her; a person linked to no service gets the plain question.
    m_boxes.answer = true;
    m_boxes.questions.clear();
    QTest::mouseClick(button(form, "Delete"), Qt::LeftButton);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 1);
    EXPECT_EQ(form->StatusText(), lang::ContactPersonDeleted);
    insertPerson({"Carol", "", "carol@example.com", ""});
    reshow();
    doubleClick(rowOf("Carol"));
    m_boxes.questions.clear();
    QTest::mouseClick(button(form, "Delete"), Qt::LeftButton);
    EXPECT_EQ(m_boxes.questions, QStringList{"Do you want to delete the contact person Carol ?"});
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 1);
    EXPECT_NE(bob, 0);
}

TEST_F(ContactSettings, ARefusedStatementLeavesEveryRowAsItWasAndReportsNoSuccess)
{
    // Insert refused by the server: no row, the server's text shown and logged, the fields kept.
    m_dm->ExecUpdate("create trigger refuse_person before insert on contact_person for each row "
                     "signal sqlstate '45000' set message_text = 'person insert refused'");
    saveNew(kAlice);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].first, Kind::Error);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("person insert refused"))
        << m_boxes.boxes[0].second.toStdString();
    EXPECT_EQ(systemLogLines().filter("[ERROR]").filter("person insert refused").size(), 1);
    EXPECT_NE(form->StatusText(), lang::ContactPersonSaved);
    EXPECT_NE(window->MainStatus(), lang::ContactPersonSaved);
    EXPECT_EQ(edit(form, "Person Name")->text(), kAlice.name);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 0);

    // Delete refused at its last statement: the person and its group rows are all still there.
    m_dm->ExecUpdate("drop trigger refuse_person");
    const int alice = insertPerson(kAlice);
    m_dm->ExecUpdate(
        QString("insert into contact_person_group (contact_person_id,contact_group_id) values (%1,7)")
            .arg(alice));
    m_dm->ExecUpdate(
        QString("insert into service_contact_person (service_id,contact_person_id) values (3,%1)")
            .arg(alice));
    m_dm->ExecUpdate("create trigger refuse_unlink before delete on service_contact_person for each row "
                     "signal sqlstate '45000' set message_text = 'unlink refused'");
    reshow();
    doubleClick(rowOf("Alice"));
    m_boxes.boxes.clear();
    form->ButtonDeleteClick();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.boxes[0].second.contains("unlink refused"));
    EXPECT_NE(form->StatusText(), lang::ContactPersonDeleted);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person"), 1);
    EXPECT_EQ(count("select count(*) from quorvel.contact_person_group"), 1);
    EXPECT_EQ(form->EditingId, alice); // still loaded, ready for another try
}

TEST_F(ContactSettings, TheIdColumnSortsAsNumbers)
{
    for (int i = 1; i <= 11; ++i)
        insertPerson({QString("P%1").arg(i, 2, 10, QChar('0')), "", "p@example.com", "1"});
    reshow();
    QTreeWidget* list = contactList(form);
    auto ids = [list] {
        QStringList texts;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            texts << list->topLevelItem(row)->text(0);
        return texts;
    };
    const QStringList ascending = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"};
    EXPECT_EQ(ids(), ascending); // id order when shown

    list->sortByColumn(0, Qt::DescendingOrder);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(ids(), descending);
    list->sortByColumn(1, Qt::AscendingOrder);
    EXPECT_EQ(list->topLevelItem(0)->text(1), "P01");

    // A double click on a sorted row loads that row's person.
    list->sortByColumn(0, Qt::DescendingOrder);
    doubleClick(0);
    EXPECT_EQ(form->EditingId, 11);
    EXPECT_EQ(edit(form, "Person Name")->text(), "P11");
}

TEST_F(ContactSettings, TheKeyboardLoadsAPersonFromTheList)
{
    insertPerson(kAlice);
    insertPerson(kBob);
    reshow();
    QTreeWidget* list = contactList(form);
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(edit(form, "Person Name")->text(), "Bob");
    EXPECT_EQ(saveButton(form)->text(), "Save Update");
}
