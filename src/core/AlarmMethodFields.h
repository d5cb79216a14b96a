#pragma once

// The four alarm methods as the settings window shows and saves them: one table of fields per
// method, each field naming the alarm_method column it is stored in, its caption, kind, range or
// length, default, sub-page and the box that enables it. The window builds, shows, resets,
// validates and saves its pages from these tables alone, so a new field is one more row here.
// The defaults are also those of the SMPP and syslog senders and of quorvel-probe.

#include "core/Limits.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace alarmdefault {

inline constexpr int TimeoutMs = 5000;
inline constexpr int SmtpPort = 25;
inline constexpr int SmppPort = 2775;
inline constexpr int HttpSmsPort = 80;
inline constexpr int SysLogPort = 514;
inline constexpr int SmppVersion = 34; // SMPP 3.4
inline constexpr int SmppTonNpi = 1;   // every TON and NPI: international, ISDN
inline constexpr char SmppSystemType[] = "TCP";

} // namespace alarmdefault

enum class AlarmFieldKind
{
    Check,           // a box, stored as 1 or 0
    Text,            // one line, stored as typed
    Password,        // one masked line, stored as typed
    Url,             // the gateway's URL: a box that holds one line
    Number,          // an integer, shown as stored
    NumberZeroEmpty, // an integer shown empty when 0; an empty one becomes 0 when 0 is in range
    Choice,          // a list; the stored name selects the equal item, or none (the name is kept)
    Switch           // a list of two; the first item when stored exactly, otherwise the second
};

struct AlarmMethodField
{
    const char* column;  // the alarm_method column
    const char* caption; // the label on screen and the input's accessible name
    AlarmFieldKind kind;
    int minimum;            // numbers: the lowest value
    int maximum;            // numbers: the highest value; text kinds: the longest input
    QString byDefault;      // what a reset shows (empty: nothing, or the first item of a list)
    int subPage;            // index into the method's sub-pages; -1: on the page itself
    const char* enabledBy;  // the box that must be ticked besides "Enable" (nullptr: none)
    const char* label;      // the name in a failed check; nullptr: not checked
    int written;            // the place of the column in the saved row ("enable" is 0)
    QStringList (*items)(); // Choice and Switch: the items of the list
};

// A part of a method's page: a tab of its sub-page control, or (without a caption) an untitled
// box among the page's own fields, placed where its first field stands.
struct AlarmSubPage
{
    const char* caption;
    const char* enabledBy; // "column=value": enabled while that list shows value (nullptr: always)
};

// An input of the page's test group.
struct AlarmTestInput
{
    enum Role
    {
        Recipient,
        Message,
        Response // read-only, the gateway's answer
    };
    const char* caption;
    Role role;
    bool lines; // a box of several lines
};

struct AlarmMethodForm
{
    const char* type; // alarm_method.type
    const char* tab;
    const char* note;
    const char* testButton;
    const char* testGroup;
    const char* helpTopic;
    const char* sending; // the test's texts in the status bar
    const char* sent;
    const char* error;
    std::vector<AlarmSubPage> subPages;
    std::vector<AlarmMethodField> fields;
    std::vector<AlarmTestInput> testInputs;
};

// The four methods in the order of the window's pages: Email, SMS, SMS by HTTP, SysLog.
const std::vector<AlarmMethodForm>& AlarmMethodForms();
