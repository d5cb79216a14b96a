#pragma once

// The keys of SysInit.ini and the options dialog's fields, described once: each row names its
// section and key, the member of AppSettingsRecord it fills, its kind, range or length, default,
// how a bad value is read and when it is written, and (for a field of the options dialog) its
// page, group box, caption and the box that enables it. LoadSettings and SaveSettings follow
// the table, and the options pages are built, shown, reset, checked and saved from it, so a new
// key is one more row in SettingFields().

#include "core/comFunc.h"

#include <QString>
#include <QStringList>

#include <vector>

class IniFile;

enum class SettingKind
{
    Flag,    // a box; stored as 1 or 0 (read as true for any number but 0)
    YesNo,   // a list of "Yes" and "No" for a flag
    Number,  // a line holding an integer
    Text,    // a line stored as typed
    DayList, // a list of the numbers 1 to 999; a stored number it cannot show is kept
    Choice,  // a list; the file holds the item's name, a number member its index
    Fixed    // a single value shown as text, with a hidden list that holds it
};

// How a value of the file is read.
enum class SettingLoad
{
    AsIs,     // as written; a text that is no number gives the default
    Trim,     // blanks around the text dropped
    Floor,    // a number below the minimum gives the default
    Fallback, // a number out of the range gives the default
    Warn,     // a present value that is not valid gives the default and a warning line
    Never     // not read: every load gives the default
};

// When a value is written.
enum class SettingSave
{
    Always,
    Changed, // when it differs from the default or the file already has the key
    Never
};

// What Apply checks of a field before anything is taken.
enum class SettingCheck
{
    None,
    NotEmpty, // "<label> field is empty."
    Folder,   // not empty, and an existing folder
    Integer,  // "<label> is invalid integer or empty." when not an integer of the range
    Range     // "<caption> must be a number from <min> to <max>."
};

// The options dialog's pages that come from the table, in their order ("Alarm Rules" follows
// them and is built from the alarm rules' own table).
enum SettingsPage
{
    NoPage = -1,
    GeneralPage,
    DatabasePage,
    AlarmMsgBackupPage,
    ServicePage,
    SettingsPageCount
};

struct SettingField
{
    const char* section = nullptr;
    const char* key = nullptr;
    int AppSettingsRecord::*number = nullptr; // one of the three members is set
    bool AppSettingsRecord::*flag = nullptr;
    QString AppSettingsRecord::*text = nullptr;
    SettingKind kind = SettingKind::Text;
    int minimum = 0;
    int maximum = 0;                       // numbers: the highest value; text: the longest input (0: any)
    QString byDefault;                     // the file's text of the default
    QString (*dynamicDefault)() = nullptr; // a default known only at run time
    SettingLoad load = SettingLoad::AsIs;
    SettingSave save = SettingSave::Always;
    // The options dialog; page NoPage: not shown.
    int page = NoPage;
    const char* group = nullptr;     // the group box on the page
    const char* caption = nullptr;   // the label, or the box's own text for a flag
    const char* named = nullptr;     // the accessible name when it is not the caption
    const char* label = nullptr;     // the name in a refusal when it is not the caption
    const char* enabledBy = nullptr; // the key of a flag of the same section that enables it
    SettingCheck check = SettingCheck::None;
    QStringList (*items)() = nullptr; // Choice and Fixed
    const char* note = nullptr;       // a small text under the field
    const char* unit = nullptr;       // a text after the field
    const char* tip = nullptr;
    bool rangeTip = false;    // the tool tip gives the range and the length follows the maximum
    bool browse = false;      // a "..." button after the field chooses a folder
    bool hidden = false;      // the input is not shown
    bool shownOnly = false;   // shown but neither checked nor saved
    bool keptOnReset = false; // Default leaves it as it is
    // A whole section read and written by its own table (the key is then nullptr).
    void (*readSection)(const IniFile&, AppSettingsRecord&, QStringList*) = nullptr;
    void (*writeSection)(IniFile&, const AppSettingsRecord&) = nullptr;
    int position = 0; // the rows of a group box stand by position, then in table order

    QString Name() const { return QString::fromLatin1(named ? named : caption); }
    QString Label() const { return QString::fromLatin1(label ? label : caption); }
    QString Default() const { return dynamicDefault ? dynamicDefault() : byDefault; }
    int DefaultNumber() const;
};

const std::vector<SettingField>& SettingFields();
// The row of `section` and `key`, or nullptr.
const SettingField* FindSettingField(const char* section, const char* key);

// The file's text of the field's value in `s`.
QString SettingText(const SettingField& field, const AppSettingsRecord& s);
// Takes a text of the file's form into `s` as written (no range applies).
void SetSettingText(const SettingField& field, AppSettingsRecord& s, const QString& text);

// Reads every row from `ini` by its load rule; the warnings go to `problems`.
void LoadSettingFields(const IniFile& ini, AppSettingsRecord& s, QStringList* problems);
// Writes every row by its save rule.
void SaveSettingFields(IniFile& ini, const AppSettingsRecord& s);

// The numbers of a day list.
inline constexpr int kDayListMax = 999;

// A page of the options dialog: its tab, its group boxes in their order, and how many group boxes
// stand side by side.
struct SettingsPageForm
{
    const char* tab;
    std::vector<const char*> groups;
    int columns;
    const char* helpTopic;
};

const std::vector<SettingsPageForm>& SettingsPageForms();
