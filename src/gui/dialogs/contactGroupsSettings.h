#pragma once

#include "gui/dialogs/TFormDialog.h"
#include "gui/dialogs/contactGroupsSettingsSelect.h"

#include <QPointer>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStatusBar;

// The contact groups dialog: a group is a name and the persons moved from "Available contacts"
// to "Selected contacts". The "....." button opens the group picker, which loads a stored group
// for updating ("Save Update") or deleting; Clear goes back to a new group ("Save New").
class TFormContactGroupsSettings : public TFormDialog
{
    Q_OBJECT

public:
    explicit TFormContactGroupsSettings(QWidget* parent = nullptr);

    // The id of the loaded group; 0 while a new group is entered.
    int EditingId = 0;

    void ButtonSelectGroupClick();
    // Loads a group chosen in the picker: its name and its members.
    void LoadGroup(int id, const QString& name);
    void ButtonAddAllClick();
    void ButtonAddClick();
    void ButtonRemoveAllClick();
    void ButtonRemoveClick();
    void ButtonSaveClick();
    void ButtonDeleteClick();
    void ButtonCancelClick();
    void ButtonClearClick();
    QString StatusText() const;
    // The group picker, once the "....." button has made it.
    TFormContactGroupsSettingsSelect* FormSelect() const { return m_select; }

    QLineEdit* EditGroupName = nullptr;
    QPushButton* ButtonSelectGroup = nullptr;
    QListWidget* ListBoxAvailable = nullptr;
    QListWidget* ListBoxSelected = nullptr;
    QPushButton* ButtonAddAll = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonRemoveAll = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonClear = nullptr;
    QStatusBar* StatusBarGroup = nullptr;

protected:
    void FormShow() override;
    void FormClose() override;

private:
    QHBoxLayout* buildButtonRow();
    void wireControls();
    void reset();
    void setModeNew();
    void setModeUpdate();
    void updateMoveButtons();
    void moveHighlighted(QListWidget* from, QListWidget* to);
    void moveAll(QListWidget* from, QListWidget* to);
    QStringList personNames();
    void report(const QString& text);

    QLabel* m_status = nullptr;
    QPointer<TFormContactGroupsSettingsSelect> m_select;
};
