#pragma once

#include "gui/dialogs/TFormDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTreeWidget;

// The contacts dialog: the persons alarms are addressed to, with their e-mail address and SMS
// number. A double click on a listed person loads it for updating ("Save Update") or deleting;
// Clear goes back to entering a new person ("Save New").
class TFormContactSettings : public TFormDialog
{
    Q_OBJECT

public:
    explicit TFormContactSettings(QWidget* parent = nullptr);

    // The id of the loaded person; 0 while a new person is entered.
    int EditingId = 0;

    void ListViewContactDblClick(int row);
    void ButtonSaveClick();
    void ButtonDeleteClick();
    void ButtonCancelClick();
    void ButtonClearClick();
    QString StatusText() const;

    QLineEdit* EditPersonName = nullptr;
    QLineEdit* EditDetails = nullptr;
    QLineEdit* EditEmail = nullptr;
    QLineEdit* EditSms = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonClear = nullptr;
    QGroupBox* GroupBoxContacts = nullptr;
    QTreeWidget* ListViewContact = nullptr;
    QStatusBar* StatusBarContact = nullptr;

protected:
    void FormShow() override;

private:
    void buildContactList();
    void clearFields();
    void setModeNew();
    void setModeUpdate();
    void fillList();
    void report(const QString& text);

    QLabel* m_status = nullptr;
};

// The first address of an e-mail field (";"-separated) that does not look like local@domain,
// as typed without surrounding blanks; a null string when every address does (or the field is
// empty). An empty address between separators is returned as an empty, non-null string.
QString FirstInvalidEmailAddress(const QString& field);
// An SMS number: empty, or digits with an optional leading "+".
bool IsValidSmsNumber(const QString& number);
