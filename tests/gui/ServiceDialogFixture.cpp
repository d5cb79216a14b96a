#include "ServiceDialogFixture.h"

#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/ServiceDefinition.h"
#include "gui/dialogs/setupScheduling.h"
#include "gui/dialogs/updateScheduling.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTreeWidget>

void ServiceDialogFixture::SetUp()
{
    GuiFixture::SetUp();
    if (IsSkipped())
        return;
    openWindow();
}

TFormSetupScheduling* ServiceDialogFixture::openWizard()
{
    window->OpenDialog(DialogKind::NewService);
    TFormSetupScheduling* wizard = FormSetupScheduling();
    EXPECT_NE(wizard, nullptr);
    if (wizard) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(wizard));
    }
    return wizard;
}

TFormUpdateScheduling* ServiceDialogFixture::openEditor()
{
    window->OpenDialog(DialogKind::UpdateService);
    TFormUpdateScheduling* editor = FormUpdateScheduling();
    EXPECT_NE(editor, nullptr);
    if (editor) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor));
    }
    return editor;
}

void ServiceDialogFixture::pick(QComboBox* combo, const QString& text)
{
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void ServiceDialogFixture::type(QLineEdit* edit, const QString& text)
{
    edit->clear();
    edit->insert(text);
}

void ServiceDialogFixture::click(QAbstractButton* button)
{
    // As a click of the user, also on a page that is not shown at the moment.
    ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
    button->click();
}

void ServiceDialogFixture::tick(TServiceInputs& inputs, const QString& name)
{
    const QList<QTreeWidgetItem*> found =
        inputs.Contacts->ListViewContact->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive, 0);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    found.first()->setCheckState(0, Qt::Checked);
}

QAccessibleInterface* ServiceDialogFixture::contactRow(TServiceInputs& inputs, const QString& name)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(inputs.Contacts->ListViewContact);
    if (!list)
        return nullptr;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* row = list->child(i);
        if (row && row->text(QAccessible::Name) == name)
            return row;
    }
    return nullptr;
}

QStringList ServiceDialogFixture::rows(QTreeWidget* list, int column)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(column);
    return texts;
}

int ServiceDialogFixture::addPerson(const QString& name)
{
    m_dm->ExecUpdate(
        QStringLiteral("insert into contact_person (name,email,sms) values (%1,\"p@example.com\",\"1\")")
            .arg(QuoteSqlText(name)));
    return static_cast<int>(m_dm->LastInsertId());
}

int ServiceDialogFixture::addGroup(const QString& name, const QList<int>& members)
{
    m_dm->ExecUpdate(QStringLiteral("insert into contact_group (name) values (%1)").arg(QuoteSqlText(name)));
    const int id = static_cast<int>(m_dm->LastInsertId());
    for (int person : members)
        m_dm->ExecUpdate(
            QStringLiteral("insert into contact_person_group (contact_person_id,contact_group_id) "
                           "values (%1,%2)")
                .arg(person)
                .arg(id));
    return id;
}

QStringList ServiceDialogFixture::table(const QString& sql) const
{
    QStringList out;
    QSqlQuery& query = m_dm->ExecSelect(sql);
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < query.record().count(); ++i)
            cells << query.value(i).toString();
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}
