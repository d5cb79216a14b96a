#include "gui/dialogs/contactSettings.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/langLibrary.h"
#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Theme.h"
#include "gui/dialogs/DialogSupport.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kSaveNew = QStringLiteral("Save New");
const QString kSaveUpdate = QStringLiteral("Save Update");

// Widths of the columns of contact_person.
constexpr int kNameLength = 50;
constexpr int kDetailsLength = 150;
constexpr int kEmailLength = 50;
constexpr int kSmsLength = 50;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString FirstInvalidEmailAddress(const QString& field)
{
    if (field.trimmed().isEmpty())
        return QString();
    // local@domain: no blanks, quotes, angle brackets or separators; a domain of one or more
    // labels joined by dots.
    static const QRegularExpression address(
        QStringLiteral("^[^\\s@;,<>\"]+@[^\\s@;,<>\".]+(\\.[^\\s@;,<>\".]+)*$"));
    for (const QString& part : field.split(QLatin1Char(';'))) {
        const QString one = part.trimmed();
        if (!address.match(one).hasMatch())
            return one.isNull() ? QStringLiteral("") : one;
    }
    return QString();
}

bool IsValidSmsNumber(const QString& number)
{
    static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]+$"));
    return number.isEmpty() || digits.match(number).hasMatch();
}

TFormContactSettings::TFormContactSettings(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormContactSettings"));
    setWindowTitle(QStringLiteral("Contacts Options"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    auto addEdit = [this](QGridLayout* grid, int row, const char* caption, int maxLength) {
        auto* label = new QLabel(QString::fromLatin1(caption), this);
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(maxLength);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    auto* fields = new QGridLayout;
    EditPersonName = addEdit(fields, 0, "Person Name", kNameLength);
    EditDetails = addEdit(fields, 1, "Details", kDetailsLength);
    EditEmail = addEdit(fields, 2, "Email Address", kEmailLength);
    EditSms = addEdit(fields, 3, "SMS Number", kSmsLength);
    EditPersonName->setObjectName(QStringLiteral("EditPersonName"));
    EditDetails->setObjectName(QStringLiteral("EditDetails"));
    EditEmail->setObjectName(QStringLiteral("EditEmail"));
    EditSms->setObjectName(QStringLiteral("EditSms"));

    ButtonSave = new QPushButton(kSaveNew, this);
    ButtonDelete = new QPushButton(QStringLiteral("Delete"), this);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonClear = new QPushButton(QStringLiteral("Clear"), this);
    ButtonDelete->setEnabled(false);
    // The Save caption changes with the mode; its width stays that of the longer one.
    ButtonSave->setMinimumWidth(ButtonSave->fontMetrics().horizontalAdvance(kSaveUpdate) + 24);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {ButtonSave, ButtonDelete, ButtonCancel, ButtonClear}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }

    buildContactList();

    StatusBarContact = new QStatusBar(this);
    m_status = AddStatusPanel(StatusBarContact);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(GroupBoxContacts, 1);
    layout->addWidget(StatusBarContact);
    layout->setContentsMargins(8, 8, 8, 0);

    connect(ButtonSave, &QPushButton::clicked, this, &TFormContactSettings::ButtonSaveClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormContactSettings::ButtonDeleteClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormContactSettings::ButtonCancelClick);
    connect(ButtonClear, &QPushButton::clicked, this, &TFormContactSettings::ButtonClearClick);
    // A double click, or Enter on the highlighted row, loads the person.
    connect(ListViewContact, &QTreeWidget::activated, this,
            [this](const QModelIndex& index) { ListViewContactDblClick(index.row()); });

    SetCaptionsAsAccessibleNames(this);
    resize(720, 480);
    CentreOnDesktop(this);
}

// The stored persons under the inputs, by Id at first.
void TFormContactSettings::buildContactList()
{
    GroupBoxContacts = new QGroupBox(QStringLiteral("Contact lists"), this);
    ListViewContact = new QTreeWidget(GroupBoxContacts);
    ListViewContact->setObjectName(QStringLiteral("ListViewContact"));
    ListViewContact->setAccessibleName(QStringLiteral("Contact lists"));
    ListViewContact->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Person Name"),
                                      QStringLiteral("Details"), QStringLiteral("Email"),
                                      QStringLiteral("SMS")});
    ListViewContact->setRootIsDecorated(false);
    ListViewContact->setUniformRowHeights(true);
    ListViewContact->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewContact->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewContact->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewContact->setSortingEnabled(true);
    ListViewContact->sortByColumn(0, Qt::AscendingOrder);
    PaintOddRows(ListViewContact, Theme::ContactOddRow);
    const QFontMetrics metrics(font());
    ListViewContact->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("00000")) + 20);
    const int em = metrics.horizontalAdvance(QLatin1Char('M'));
    ListViewContact->setColumnWidth(1, em * 10);
    ListViewContact->setColumnWidth(2, em * 10);
    ListViewContact->setColumnWidth(3, em * 14);
    auto* groupLayout = new QVBoxLayout(GroupBoxContacts);
    groupLayout->addWidget(ListViewContact);
}

QString TFormContactSettings::StatusText() const
{
    return m_status->text();
}

void TFormContactSettings::report(const QString& text)
{
    m_status->setText(text);
    emit statusReported(text);
}

void TFormContactSettings::clearFields()
{
    EditingId = 0;
    for (QLineEdit* edit : {EditPersonName, EditDetails, EditEmail, EditSms})
        edit->clear();
    EditPersonName->setFocus();
}

void TFormContactSettings::setModeNew()
{
    ButtonSave->setText(kSaveNew);
    ButtonSave->setAccessibleName(kSaveNew);
    ButtonDelete->setEnabled(false);
}

void TFormContactSettings::setModeUpdate()
{
    ButtonSave->setText(kSaveUpdate);
    ButtonSave->setAccessibleName(kSaveUpdate);
    ButtonDelete->setEnabled(true);
}

void TFormContactSettings::fillList()
{
    ListViewContact->clear();
    // New rows go in unsorted and the list is sorted once, by the column the user chose last.
    ListViewContact->setSortingEnabled(false);
    try {
        for (const ContactPerson& person : ContactStore::PersonRows()) {
            ListViewContact->addTopLevelItem(new NumericSortItem(
                {QString::number(person.Id), person.Name, person.Details, person.Email, person.Sms}));
        }
    } catch (const DatabaseError&) {
        // The next showing reads the list again.
    }
    ListViewContact->setSortingEnabled(true);
}

void TFormContactSettings::FormShow()
{
    clearFields();
    setModeNew();
    fillList();
}

void TFormContactSettings::ListViewContactDblClick(int row)
{
    QTreeWidgetItem* item = ListViewContact->topLevelItem(row);
    if (!item)
        return;
    EditingId = item->text(0).toInt();
    EditPersonName->setText(item->text(1));
    EditDetails->setText(item->text(2));
    EditEmail->setText(item->text(3));
    EditSms->setText(item->text(4));
    setModeUpdate();
    report(QString::fromLatin1(lang::CanUpdateOrDeletePerson));
}

void TFormContactSettings::ButtonSaveClick()
{
    const QString name = EditPersonName->text();
    const QString details = EditDetails->text();
    const QString email = EditEmail->text();
    const QString sms = EditSms->text();

    const auto refuse = [](QLineEdit* edit, const QString& message) {
        edit->setFocus();
        ShowInformationBox(message);
    };
    if (name.trimmed().isEmpty())
        return refuse(EditPersonName, QString::fromLatin1(lang::PersonNameCompulsory));
    // A person is reached by e-mail, by SMS or by both; an empty one gets no alarm that way.
    if (email.trimmed().isEmpty() && sms.trimmed().isEmpty())
        return refuse(EditEmail, QString::fromLatin1(lang::EmailOrSmsCompulsory));
    const QString badAddress = FirstInvalidEmailAddress(email);
    if (!badAddress.isNull())
        return refuse(
            EditEmail,
            QString::fromLatin1(lang::InvalidEmailAddress).replace(QLatin1String("%s"), quoted(badAddress)));
    if (!IsValidSmsNumber(sms))
        return refuse(EditSms,
                      QString::fromLatin1(lang::InvalidSmsNumber).replace(QLatin1String("%s"), quoted(sms)));

    const bool isNew = ButtonSave->text() == kSaveNew;
    try {
        if (!ContactStore::PersonNameIsFree(name, EditingId)) {
            EditPersonName->setFocus();
            ShowInformationBox(QString::fromLatin1(lang::PersonNameUnique));
            return;
        }
        const ContactPerson person{EditingId, name, details, email, sms};
        if (isNew)
            ContactStore::InsertPerson(person);
        else
            ContactStore::UpdatePerson(person);
    } catch (const DatabaseError& error) {
        ApplicationEventsException(error.text());
        return;
    }

    if (isNew) {
        clearFields();
        setModeNew();
        report(QString::fromLatin1(lang::ContactPersonSaved));
    } else {
        report(QString::fromLatin1(lang::ContactPersonUpdated));
    }
    fillList();
}

void TFormContactSettings::ButtonDeleteClick()
{
    if (EditingId == 0)
        return;
    try {
        QString question = QString::fromLatin1(lang::ConfirmDeletePerson)
                               .replace(QLatin1String("%s"), EditPersonName->text());
        const QStringList orphans = ContactStore::ServicesLeftWithoutRecipient(EditingId);
        if (!orphans.isEmpty()) {
            question += QStringLiteral("\n\n") +
                        QString::fromLatin1(lang::ServicesLeftWithoutRecipient)
                            .replace(QLatin1String("%s"), orphans.join(QStringLiteral(", ")));
        }
        if (!ShowConfirmationBox(question))
            return;
        ContactStore::DeletePerson(EditingId);
    } catch (const DatabaseError& error) {
        ApplicationEventsException(error.text());
        return;
    }
    fillList();
    clearFields();
    setModeNew();
    report(QString::fromLatin1(lang::ContactPersonDeleted));
}

void TFormContactSettings::ButtonCancelClick()
{
    emit statusReported(QString::fromLatin1(lang::UpdatingCancelled));
    close();
}

void TFormContactSettings::ButtonClearClick()
{
    clearFields();
    setModeNew();
    report(QString::fromLatin1(lang::FieldsCleared));
}
