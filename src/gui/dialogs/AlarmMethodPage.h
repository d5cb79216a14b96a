#pragma once

#include "core/AlarmMethodFields.h"
#include "database/AlarmMethodStore.h"

#include <QHash>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QTabWidget;

// One page of the alarm settings window, built from the field table of its method: the "Enable"
// box with the method's note, the fields (on the page, in an untitled box or on the tabs of its
// sub-page control), then the test group. It resets the fields to their defaults, shows a stored
// alarm_method row, applies the enabling rules, checks the fields and gives the row to save.
class AlarmMethodPage : public QWidget
{
    Q_OBJECT

public:
    AlarmMethodPage(const AlarmMethodForm& form, QWidget* parent);

    const AlarmMethodForm& Form() const { return m_form; }
    QCheckBox* EnableBox() const { return m_enable; }
    bool MethodEnabled() const;
    // The input of `column`, or nullptr.
    QWidget* Field(const QString& column) const;
    // The tab page `index` of the sub-page control (nullptr when the method has none).
    QWidget* SubPage(int index) const;
    QGroupBox* TestGroup() const { return m_testGroup; }
    // The text of the test input of `role` (empty when the page has none).
    QString TestText(AlarmTestInput::Role role) const;
    QWidget* TestInput(AlarmTestInput::Role role) const;
    // The controls whose focus means a change of the settings: the "Enable" box and every field.
    QList<QWidget*> SettingsControls() const;
    // The texts of the page's password fields, for keeping them out of messages.
    QStringList Secrets() const;

    // Every field to its default, the "Enable" box cleared.
    void Reset();
    // Fills the fields from one stored row (`column` gives a column's value by name).
    void ShowRow(const std::function<QVariant(const QString&)>& column);
    // Enables the fields, sub-pages and the test group as the boxes and lists say.
    void ApplyEnabling();
    // Checks the fields in the order of the table; false after showing the first failure (the
    // message, the page and sub-page, the focus in the field).
    bool Validate();
    // The row as Apply writes it, in statement order; std::nullopt after showing a number that
    // cannot be written (an empty one is written as 0, even on a disabled page).
    std::optional<AlarmMethodValues> Row();
    // After a save: what the lists show is what is stored.
    void ForgetKeptNames();

signals:
    // A box or list that the enabling rules follow has changed.
    void EnablingChanged();

private:
    struct Input
    {
        const AlarmMethodField* field;
        QWidget* widget;
    };
    void build();
    QWidget* newInput(const AlarmMethodField& field);
    bool holds(const char* rule) const;
    QString textOf(const Input& input) const;
    void setText(const Input& input, const QString& text);
    bool reject(const char* pattern, const Input& input);
    bool numberValid(const Input& input, bool allowEmpty) const;
    void fillEmptyZeros();

    const AlarmMethodForm& m_form;
    QCheckBox* m_enable = nullptr;
    QTabWidget* m_subPages = nullptr;
    QGroupBox* m_testGroup = nullptr;
    std::vector<Input> m_inputs;
    QHash<int, QWidget*> m_testInputs;   // by role
    QHash<QString, QString> m_keptNames; // stored names that no list item shows, by column
};
