#pragma once

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
class TFrameEmailForm;
class TFrameFTPForm;
class TFramePingForm;
class TFrameURLForm;

// One service definition as the service dialogs store it: the `service` row, for a "URL"
// service its `service_url` row and its `service_url_detail` rows. Texts are as typed; numbers
// are the validated integers.
struct ServiceDefinition
{
    QString service; // "URL", "Ping", "SMTP", "POP3", "IMAP" or "FTP"
    QString ip;
    int port = 0;
    QString username;
    QString password;
    QString scheduleBy; // "Daily", "Hourly", "Minutely"
    QString scheduleHour;
    QString scheduleMinute;
    QString status; // "Start" or "Stop"; written by the editor only
    QString proxyIp;
    int proxyPort = 0;
    QString proxyUsername;
    QString proxyPassword;
    QString urlMethod;
    QString ftpProxyType;
    bool alarmEmail = false;
    bool alarmSmpp = false;
    bool alarmHttpSms = false;
    bool alarmSyslog = false;
    // service_url
    QString cookie;
    QString referer;
    QString headerData;
    QString userAgent;
    QString contentType;
    QString accept;
    QString acceptCharSet;
    QString acceptEncoding;
    QString acceptLanguage;
    // The Post list from top to bottom, as (name, value); stored in this order.
    QList<std::pair<QString, QString>> postFields;
};

// The kind a `service` value belongs to: "URL", "Ping", "Email" (for "SMTP", "POP3", "IMAP") or
// "FTP"; empty for any other value.
QString KindOfService(const QString& service);

// The statements that store a definition. Every text goes through QuoteSqlText.
QString InsertServiceStatement(const ServiceDefinition& d);
QString UpdateServiceStatement(const ServiceDefinition& d, int id);
QString InsertServiceUrlStatement(const ServiceDefinition& d, int id);
QString UpdateServiceUrlStatement(const ServiceDefinition& d, int id);
QString InsertPostFieldStatement(int id, const QString& name, const QString& value);

// A ticked row of the contact list.
struct ContactChoice
{
    bool group = false;
    int id = 0;
};

// Reads a stored definition (its `service` row, and for "URL" its request rows). Throws
// DatabaseError, also when no service has that id.
ServiceDefinition ReadService(int id);
// The ids of the persons attached to a service, in the order the database returns them.
QList<int> AttachedPersons(int serviceId);
// Writes a service_contact_person row for every person chosen directly or through a group,
// never twice for one person and service (rows already stored count). Throws DatabaseError.
void AttachContacts(int serviceId, const QList<ContactChoice>& choices);

// Stores a new service with its request rows and contacts in one transaction; returns its id.
// Throws DatabaseError (nothing is then stored).
int InsertService(const ServiceDefinition& d, const QList<ContactChoice>& contacts);
// Stores the changes to service `id`, whose stored `service` value was `storedService`, in one
// transaction. A change of kind removes the old request rows; a "URL" service gets its
// service_url row written whether it had one or not. Throws DatabaseError.
void UpdateService(int id, const QString& storedService, const ServiceDefinition& d,
                   const QList<ContactChoice>& contacts);
// Deletes service `id` with its request rows and contact links in one transaction.
void DeleteService(int id);

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

    // "URL", "Ping", "Email", "FTP", or empty when no kind is selected.
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
    ServiceDefinition Definition() const;
    // Shows a stored definition in the inputs (which the caller has reset).
    void RenderService(const ServiceDefinition& d);
    // Reads service `id` with its contacts and shows it; returns what was read. Throws
    // DatabaseError (the inputs may then be partly filled).
    ServiceDefinition RenderService(int id);
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
// Shows an information box and then `field` (through its pages), with the focus in it.
void ShowFieldFailure(QWidget* field, const QString& message);
