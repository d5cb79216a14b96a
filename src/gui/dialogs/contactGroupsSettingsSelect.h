#pragma once

#include <QDialog>

class QTreeWidget;
class TFormContactGroupsSettings;

// The group picker of the contact groups dialog: every stored group, read again at each showing;
// a double click (or Enter) on a group loads it into the groups dialog and closes the picker.
// It belongs to the groups dialog, so closing it leaves the main window locked while the groups
// dialog stays open.
class TFormContactGroupsSettingsSelect : public QDialog
{
    Q_OBJECT

public:
    explicit TFormContactGroupsSettingsSelect(TFormContactGroupsSettings* owner);

    void ListViewGroupDblClick(int row);

    QTreeWidget* ListViewGroup = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    TFormContactGroupsSettings* m_owner;
};
