#include "gui/dialogs/contactGroupsSettings.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/langLibrary.h"
#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/contactGroupsSettingsSelect.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kSaveNew = QStringLiteral("Save New");
const QString kSaveUpdate = QStringLiteral("Save Update");

// Width of contact_group.name.
constexpr int kGroupNameLength = 50;

// Where the picker opens, from the groups dialog's top-left corner.
const QPoint kPickerOffset(330, 50);

QPushButton* makeButton(QWidget* parent, const char* caption, const char* hint)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setAutoDefault(false);
    if (hint) {
        button->setToolTip(QString::fromLatin1(hint));
        button->setAccessibleDescription(QString::fromLatin1(hint));
    }
    return button;
}

} // namespace

TFormContactGroupsSettings::TFormContactGroupsSettings(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormContactGroupsSettings"));
    setWindowTitle(QStringLiteral("Contact Groups Options"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    auto* nameLabel = new QLabel(QStringLiteral("Group Name"), this);
    EditGroupName = new QLineEdit(this);
    EditGroupName->setObjectName(QStringLiteral("EditGroupName"));
    EditGroupName->setMaxLength(kGroupNameLength);
    nameLabel->setBuddy(EditGroupName);
    ButtonSelectGroup = makeButton(this, ".....", "Click to select any existing contact group to update. ");
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(EditGroupName, 1);
    nameRow->addWidget(ButtonSelectGroup);

    auto makeList = [this](const char* caption, const char* hint) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        auto* list = new QListWidget(this);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setToolTip(QString::fromLatin1(hint));
        list->setAccessibleDescription(QString::fromLatin1(hint));
        label->setBuddy(list);
        return std::make_pair(label, list);
    };
    const auto available =
        makeList("Available contacts", "Double click on any contact moving to selected contact.");
    const auto selected =
        makeList("Selected contacts", "Double click on any contact to remove in selected contact.");
    ListBoxAvailable = available.second;
    ListBoxSelected = selected.second;
    ListBoxAvailable->setObjectName(QStringLiteral("ListBoxAvailable"));
    ListBoxSelected->setObjectName(QStringLiteral("ListBoxSelected"));

    ButtonAddAll = makeButton(this, ">>", nullptr);
    ButtonAdd = makeButton(this, ">", nullptr);
    ButtonRemoveAll = makeButton(this, "<<", nullptr);
    ButtonRemove = makeButton(this, "<", nullptr);
    ButtonRemoveAll->setEnabled(false);
    ButtonRemove->setEnabled(false);
    auto* moves = new QVBoxLayout;
    moves->addStretch(1);
    for (QPushButton* b : {ButtonAddAll, ButtonAdd, ButtonRemoveAll, ButtonRemove})
        moves->addWidget(b);
    moves->addStretch(1);

    auto* lists = new QGridLayout;
    lists->addWidget(available.first, 0, 0);
    lists->addWidget(selected.first, 0, 2);
    lists->addWidget(ListBoxAvailable, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(ListBoxSelected, 1, 2);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(2, 1);

    QHBoxLayout* buttons = buildButtonRow();

    StatusBarGroup = new QStatusBar(this);
    m_status = AddStatusPanel(StatusBarGroup);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(nameRow);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBarGroup);

    wireControls();

    SetCaptionsAsAccessibleNames(this);
    resize(520, 400);
    CentreOnDesktop(this);
}

QHBoxLayout* TFormContactGroupsSettings::buildButtonRow()
{
    ButtonCancel = makeButton(this, "Cancel", "Click to close the window.");
    ButtonDelete = makeButton(this, "Delete", "Click to delete the record.");
    ButtonSave = makeButton(this, "Save New", "Click to save the new record or update the changes.");
    ButtonClear = makeButton(this, "Clear", "Click to clear the fields and ready to add a new record.");
    ButtonDelete->setEnabled(false);
    ButtonSave->setMinimumWidth(ButtonSave->fontMetrics().horizontalAdvance(kSaveUpdate) + 24);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {ButtonCancel, ButtonDelete, ButtonSave, ButtonClear})
        buttons->addWidget(b);
    return buttons;
}

void TFormContactGroupsSettings::wireControls()
{
    connect(ButtonSelectGroup, &QPushButton::clicked, this,
            &TFormContactGroupsSettings::ButtonSelectGroupClick);
    connect(ButtonAddAll, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonAddAllClick);
    connect(ButtonAdd, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonAddClick);
    connect(ButtonRemoveAll, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonRemoveAllClick);
    connect(ButtonRemove, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonRemoveClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonCancelClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonDeleteClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonSaveClick);
    connect(ButtonClear, &QPushButton::clicked, this, &TFormContactGroupsSettings::ButtonClearClick);
    // A double click, or Enter on the highlighted entry, moves it to the other list.
    connect(ListBoxAvailable, &QListWidget::activated, this, &TFormContactGroupsSettings::ButtonAddClick);
    connect(ListBoxSelected, &QListWidget::activated, this, &TFormContactGroupsSettings::ButtonRemoveClick);

    // The keyboard goes through the controls in the order they are seen.
    const QList<QWidget*> tabOrder = {EditGroupName, ButtonSelectGroup, ListBoxAvailable, ButtonAddAll,
                                      ButtonAdd,     ButtonRemoveAll,   ButtonRemove,     ListBoxSelected,
                                      ButtonCancel,  ButtonDelete,      ButtonSave,       ButtonClear};
    for (int i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

QString TFormContactGroupsSettings::StatusText() const
{
    return m_status->text();
}

void TFormContactGroupsSettings::report(const QString& text)
{
    m_status->setText(text);
    emit statusReported(text);
}

void TFormContactGroupsSettings::setModeNew()
{
    ButtonSave->setText(kSaveNew);
    ButtonSave->setAccessibleName(kSaveNew);
    ButtonDelete->setEnabled(false);
}

void TFormContactGroupsSettings::setModeUpdate()
{
    ButtonSave->setText(kSaveUpdate);
    ButtonSave->setAccessibleName(kSaveUpdate);
    ButtonDelete->setEnabled(true);
}

QStringList TFormContactGroupsSettings::personNames()
{
    QStringList names;
    try {
        names = ContactStore::PersonNamesByName();
    } catch (const DatabaseError&) {
        // Nothing is offered; the next showing reads the names again.
    }
    return names;
}

void TFormContactGroupsSettings::reset()
{
    EditingId = 0;
    EditGroupName->clear();
    EditGroupName->setFocus();
    ListBoxAvailable->clear();
    ListBoxSelected->clear();
    ListBoxAvailable->addItems(personNames());
    updateMoveButtons();
}

void TFormContactGroupsSettings::updateMoveButtons()
{
    const bool anyAvailable = ListBoxAvailable->count() > 0;
    const bool anySelected = ListBoxSelected->count() > 0;
    ButtonAdd->setEnabled(anyAvailable);
    ButtonAddAll->setEnabled(anyAvailable);
    ButtonRemove->setEnabled(anySelected);
    ButtonRemoveAll->setEnabled(anySelected);
}

void TFormContactGroupsSettings::FormShow()
{
    reset();
    setModeNew();
}

void TFormContactGroupsSettings::FormClose()
{
    if (m_select)
        m_select->close();
}

void TFormContactGroupsSettings::ButtonSelectGroupClick()
{
    if (!m_select)
        m_select = new TFormContactGroupsSettingsSelect(this);
    m_select->move(pos() + kPickerOffset);
    m_select->show();
    m_select->raise();
    m_select->activateWindow();
}

void TFormContactGroupsSettings::LoadGroup(int id, const QString& name)
{
    EditingId = id;
    EditGroupName->setText(name);
    ListBoxAvailable->clear();
    ListBoxSelected->clear();
    try {
        ListBoxSelected->addItems(ContactStore::GroupMemberNames(id));
    } catch (const DatabaseError&) {
        // No member is shown.
    }
    QSet<QString> members;
    for (int i = 0; i < ListBoxSelected->count(); ++i)
        members.insert(ListBoxSelected->item(i)->text());
    for (const QString& person : personNames()) {
        if (!members.contains(person))
            ListBoxAvailable->addItem(person);
    }
    updateMoveButtons();
    setModeUpdate();
    report(QString::fromLatin1(lang::CanUpdateOrDeleteGroup));
}

void TFormContactGroupsSettings::moveHighlighted(QListWidget* from, QListWidget* to)
{
    const int row = from->currentRow();
    if (row >= 0 && from->item(row)->isSelected()) {
        to->addItem(from->takeItem(row));
        // The entry that took its place is highlighted next, so that the keyboard can move
        // one entry after another.
        from->setCurrentRow(std::min(row, from->count() - 1));
    }
    updateMoveButtons();
}

void TFormContactGroupsSettings::moveAll(QListWidget* from, QListWidget* to)
{
    while (from->count() > 0)
        to->addItem(from->takeItem(0));
    updateMoveButtons();
}

void TFormContactGroupsSettings::ButtonAddAllClick()
{
    moveAll(ListBoxAvailable, ListBoxSelected);
}

void TFormContactGroupsSettings::ButtonAddClick()
{
    moveHighlighted(ListBoxAvailable, ListBoxSelected);
}

void TFormContactGroupsSettings::ButtonRemoveAllClick()
{
    moveAll(ListBoxSelected, ListBoxAvailable);
}

void TFormContactGroupsSettings::ButtonRemoveClick()
{
    moveHighlighted(ListBoxSelected, ListBoxAvailable);
}

void TFormContactGroupsSettings::ButtonSaveClick()
{
    const QString name = EditGroupName->text();
    if (name.trimmed().isEmpty()) {
        EditGroupName->setFocus();
        ShowInformationBox(QString::fromLatin1(lang::GroupNameCompulsory));
        return;
    }
    if (ListBoxSelected->count() == 0) {
        ListBoxAvailable->setFocus();
        ShowInformationBox(QString::fromLatin1(lang::SelectContactPerson));
        return;
    }
    QStringList members;
    for (int i = 0; i < ListBoxSelected->count(); ++i)
        members << ListBoxSelected->item(i)->text();

    const bool isNew = ButtonSave->text() == kSaveNew;
    int groupId = 0;
    try {
        if (!ContactStore::GroupNameIsFree(name, EditingId)) {
            EditGroupName->setFocus();
            ShowInformationBox(QString::fromLatin1(lang::GroupNameUnique));
            return;
        }
        groupId = ContactStore::SaveGroup(isNew ? 0 : EditingId, name, members);
    } catch (const DatabaseError& error) {
        ApplicationEventsException(error.text());
        return;
    }

    EditingId = groupId;
    if (isNew) {
        reset();
        setModeNew();
        report(QString::fromLatin1(lang::ContactGroupSaved));
    } else {
        report(QString::fromLatin1(lang::ContactGroupUpdated));
    }
}

void TFormContactGroupsSettings::ButtonDeleteClick()
{
    if (EditingId == 0)
        return;
    try {
        ContactStore::DeleteGroup(EditingId);
    } catch (const DatabaseError& error) {
        ApplicationEventsException(error.text());
        return;
    }
    reset();
    setModeNew();
    report(QString::fromLatin1(lang::ContactGroupDeleted));
}

void TFormContactGroupsSettings::ButtonCancelClick()
{
    emit statusReported(QString::fromLatin1(lang::UpdatingCancelled));
    close();
}

void TFormContactGroupsSettings::ButtonClearClick()
{
    reset();
    setModeNew();
    report(QString::fromLatin1(lang::FieldsCleared));
}
