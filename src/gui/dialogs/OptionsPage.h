#pragma once

#include "core/SettingsFields.h"

#include <QHash>
#include <QWidget>

#include <vector>

class QGroupBox;
class QPushButton;

// One page of the options dialog, built from the rows of the settings table that name it: its
// group boxes in the page's order, each with its fields. It shows the settings, resets the fields
// to their defaults, enables them as their boxes say, checks them and takes them into the settings.
class OptionsPage : public QWidget
{
    Q_OBJECT

public:
    OptionsPage(int page, QWidget* parent = nullptr);

    // The input of a row, or nullptr.
    QWidget* Field(const char* section, const char* key) const;
    QGroupBox* Group(const char* caption) const { return m_groups.value(QString::fromLatin1(caption)); }
    // The "..." button of the row that chooses a folder (nullptr when the page has none).
    QPushButton* BrowseButton() const { return m_browse; }
    // Every input of the page, in table order.
    QList<QWidget*> Inputs() const;

    void Show(const AppSettingsRecord& s);
    // Every field but those kept on reset to its default.
    void Reset();
    void ApplyEnabling();
    // Checks the fields in table order; false with the first refused field and its message.
    bool Validate(QWidget** field, QString* message) const;
    // Takes the fields into `s` (after Validate); a list that shows no item keeps the stored value.
    void Save(AppSettingsRecord& s) const;

private:
    struct Input
    {
        const SettingField* field;
        QWidget* widget;
    };
    void buildGroup(QGroupBox* group, const std::vector<const SettingField*>& rows);
    QWidget* newInput(const SettingField& row, QWidget* parent);
    void showText(const Input& input, const QString& text);
    // The field's value as the file holds it; false when nothing is to be taken.
    bool valueText(const Input& input, QString* text) const;
    bool enabled(const Input& input) const;

    int m_page;
    std::vector<Input> m_inputs;
    QHash<QString, QGroupBox*> m_groups;
    QPushButton* m_browse = nullptr;
};
