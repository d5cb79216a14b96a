#pragma once

#include "database/ServiceStore.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;
class TFrameDatabaseForm;
class TFrameDNSForm;
class TFrameEmailForm;
class TFrameFTPForm;
class TFramePingForm;
class TFrameTCPForm;
class TFrameCertForm;
class TFrameURLForm;

// The schedule inputs: three exclusive choices, each with its own lists.
class TScheduleInputs : public QWidget
{
    Q_OBJECT

public:
    explicit TScheduleInputs(QWidget* parent = nullptr);

    // No choice selected; every list hidden and on "Please select".
    void Reset();
    void Render(const QString& by, const QString& hour, const QString& minute);
    // The schedule validation: shows its message and this page on failure.
    bool Validate();
    // "Daily" with the two chosen items, "Hourly" with "00" and the minute, "Minutely" with "00"
    // and the interval; empty texts when no choice is selected.
    void Values(QString* by, QString* hour, QString* minute) const;

    QLabel* LabelCaption = nullptr;
    QRadioButton* RadioButtonDaily = nullptr;
    QRadioButton* RadioButtonHourly = nullptr;
    QRadioButton* RadioButtonMinutely = nullptr;
    QComboBox* ComboBoxDailyHour = nullptr;
    QComboBox* ComboBoxDailyMinute = nullptr;
    QComboBox* ComboBoxHourlyMinute = nullptr;
    QComboBox* ComboBoxMinutely = nullptr;

private:
    void applyChoice();
    QList<QComboBox*> listsOfChoice() const;

    QList<QWidget*> m_daily;
    QList<QWidget*> m_hourly;
    QList<QWidget*> m_minutely;
};

// The kind list with the frame of each kind.
class TServiceKindInputs : public QWidget
{
    Q_OBJECT

public:
    explicit TServiceKindInputs(QWidget* parent = nullptr);

    // "URL", "Ping", "Email", "FTP", "TCP", "DNS", "Certificate", or empty when no kind is selected.
    QString Kind() const;
    // Selects the kind of a stored `service` value (for "SMTP", "POP3", "IMAP" also the Email
    // Method, leaving its Port alone); any other value selects no kind.
    void SelectService(const QString& service);
    // The kind's frame, or nullptr.
    QWidget* CurrentFrame() const;

    QLabel* LabelCaption = nullptr;
    QComboBox* ComboBoxService = nullptr;
    QStackedWidget* Frames = nullptr;
    TFrameURLForm* FrameURL = nullptr;
    TFrameEmailForm* FrameEmail = nullptr;
    TFramePingForm* FramePing = nullptr;
    TFrameFTPForm* FrameFTP = nullptr;
    TFrameTCPForm* FrameTCP = nullptr;
    TFrameCertForm* FrameCert = nullptr;
    TFrameDNSForm* FrameDNS = nullptr;
    TFrameDatabaseForm* FrameDatabase = nullptr;

private:
    void showFrame();
    QWidget* m_noFrame = nullptr;
};

// The four alarm-method boxes.
class TAlarmMethodInputs : public QWidget
{
    Q_OBJECT

public:
    explicit TAlarmMethodInputs(QWidget* parent = nullptr);

    void Reset();

    QLabel* LabelCaption = nullptr;
    QCheckBox* CheckBoxEmail = nullptr;
    QCheckBox* CheckBoxSMS = nullptr;
    QCheckBox* CheckBoxSMSbyHTTP = nullptr;
    QCheckBox* CheckBoxSysLog = nullptr;
};

// The contact list: every group and person with a check box.
class TContactList : public QWidget
{
    Q_OBJECT

public:
    explicit TContactList(QWidget* parent = nullptr);

    // Fills the list afresh from the database, every row unticked: groups first (highest id on
    // top), then persons (highest id first). A database error leaves the rows read so far.
    void Fill();
    // Reads the list again (persons and groups added or renamed meanwhile), keeping the ticks of
    // the rows that are still there.
    void Refresh();
    QList<ContactChoice> Ticked() const;
    // Ticks the person rows of these ids (group rows are never ticked this way).
    void TickPersons(const QList<int>& personIds);

    QLabel* LabelCaption = nullptr;
    QTreeWidget* ListViewContact = nullptr;
};

// The service definition inputs both service dialogs show, and the operations they share. The
// dialog places the four input widgets on its pages; a failing validation shows its message,
// the page and frame page holding the failing input, and puts the focus there.
class TServiceInputs
{
public:
    TServiceInputs();

    // Every frame back to its defaults.
    void ResetFrames();
    // The whole definition back to a new one: no schedule choice, kind "URL", frames reset,
    // alarm boxes cleared, the contact list filled afresh.
    void ResetAll();

    bool ValidateSchedule();
    bool ValidateServiceFields();
    bool ValidateContacts();
    // Empties the inputs of switched-off options in the selected kind's frame.
    void Normalise();
    // The definition the inputs hold, with switched-off options empty (what Normalise leaves);
    // `status` stays empty.
    ServiceRecord Definition() const;
    // Shows a stored definition in the inputs (which the caller has reset).
    void RenderService(const ServiceRecord& d);
    // Reads service `id` with its contacts and shows it; returns what was read. Throws
    // DatabaseError (the inputs may then be partly filled).
    ServiceRecord RenderService(int id);
    QList<ContactChoice> TickedContacts() const;

    TScheduleInputs* Schedule = nullptr;
    TServiceKindInputs* Service = nullptr;
    TAlarmMethodInputs* Alarms = nullptr;
    TContactList* Contacts = nullptr;
};

// The field checks of the service dialogs: a message box, then the field shown and focused.
bool CheckFilled(QLineEdit* field, const QString& label);
// A whole-text integer within [min, max]; otherwise "%s is invalid integer or empty.".
bool CheckInteger(QLineEdit* field, const QString& label, int min, int max);
// A text without CR or LF (it is sent as one line); otherwise "%s must be one line, ...".
bool CheckOneLine(QLineEdit* field, const QString& label);
// Shows an information box and then `field` (through its pages), with the focus in it.
void ShowFieldFailure(QWidget* field, const QString& message);
