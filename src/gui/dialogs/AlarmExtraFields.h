#pragma once

#include "database/AlarmMethodStore.h"

#include <QList>
#include <QWidget>

class QLineEdit;
class QPushButton;
class QTreeWidget;

// The extra form fields of the SMS gateway: "Field Name" and "Field Value" inputs, "Add >>" and
// "<< Remove", and the list of name/value pairs in the order they are sent.
class AlarmExtraFieldsEditor : public QWidget
{
    Q_OBJECT

public:
    explicit AlarmExtraFieldsEditor(QWidget* parent = nullptr);

    // The pairs on screen, top to bottom.
    QList<AlarmExtraField> Fields() const;
    void SetFields(const QList<AlarmExtraField>& fields);
    // The list and its two buttons: their focus means a change of the settings.
    QList<QWidget*> SettingsControls() const;

    // Puts the pair of the inputs on top of the list (both must be filled).
    void AddField();
    // Moves the selected pair back into the inputs.
    void RemoveField();

private:
    QLineEdit* m_name = nullptr;
    QLineEdit* m_value = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QTreeWidget* m_list = nullptr;
};
