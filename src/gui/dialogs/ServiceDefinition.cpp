#include "gui/dialogs/ServiceDefinition.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/FrameDatabase.h"
#include "gui/dialogs/FrameEmail.h"
#include "gui/dialogs/FrameFTP.h"
#include "gui/dialogs/FrameKit.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameURL.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kPleaseSelect = "Please select";
const char* const kIsPerson = "Person";
const char* const kIsGroup = "Group";
constexpr int kMaxPort = 65535;

QString number(int value)
{
    return QString::number(value);
}

QString flag(bool on)
{
    return QuoteSqlText(on ? QStringLiteral("y") : QStringLiteral("n"));
}

QString joinValues(const QStringList& values)
{
    return values.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString assignments(const QList<std::pair<const char*, QString>>& pairs)
{
    QStringList parts;
    for (const auto& [column, value] : pairs)
        parts << QString::fromLatin1(column) + QLatin1Char('=') + value;
    return parts.join(QLatin1Char(','));
}

QStringList alarmValues(const ServiceDefinition& d)
{
    return {flag(d.alarmEmail), flag(d.alarmSmpp), flag(d.alarmHttpSms), flag(d.alarmSyslog)};
}

QString text(const QSqlQuery& query, const char* column)
{
    return query.value(QString::fromLatin1(column)).toString();
}

int integer(const QSqlQuery& query, const char* column)
{
    return query.value(QString::fromLatin1(column)).toInt();
}

// The integer of a validated field; an empty field gives 0.
int fieldNumber(const QLineEdit* edit)
{
    int value = 0;
    if (!ParseInteger(edit->text(), &value))
        return 0;
    return value;
}

QString portText(int port)
{
    return port == 0 ? QString() : QString::number(port);
}

QComboBox* scheduleList(const QStringList& items)
{
    auto* combo = new QComboBox;
    combo->addItem(QString::fromLatin1(kPleaseSelect));
    combo->addItems(items);
    return combo;
}

QStringList twoDigits(int count)
{
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
    return items;
}

QLabel* captionFor(QWidget* buddy, const QString& caption)
{
    auto* label = new QLabel(caption);
    label->setBuddy(buddy);
    return label;
}

} // namespace

// ---- statements -------------------------------------------------------------------------------

QString KindOfService(const QString& service)
{
    if (service == QLatin1String(lang::KindURL) || service == QLatin1String(lang::KindPing) ||
        service == QLatin1String(lang::KindFTP))
        return service;
    if (service == QLatin1String(lang::KindSMTP) || service == QLatin1String(lang::KindPOP3) ||
        service == QLatin1String(lang::KindIMAP))
        return QString::fromLatin1(lang::KindEmail);
    return QString();
}

QString InsertServiceStatement(const ServiceDefinition& d)
{
    const QString kind = KindOfService(d.service);
    const QString now = QStringLiteral("now()");
    const QStringList schedule{QuoteSqlText(d.scheduleBy), QuoteSqlText(d.scheduleHour),
                               QuoteSqlText(d.scheduleMinute)};
    QStringList values{QuoteSqlText(d.service), QuoteSqlText(d.ip), number(d.port)};
    QString prefix;
    if (kind == QLatin1String(lang::KindURL)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,proxy_ip,proxy_port,proxy_username,proxy_password,"
                           "url_method,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << QuoteSqlText(d.username) << QuoteSqlText(d.password) << schedule << now
               << QuoteSqlText(d.proxyIp) << number(d.proxyPort) << QuoteSqlText(d.proxyUsername)
               << QuoteSqlText(d.proxyPassword) << QuoteSqlText(d.urlMethod);
    } else if (kind == QLatin1String(lang::KindEmail)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) "
                           "values (");
        values << QuoteSqlText(d.username) << QuoteSqlText(d.password) << schedule << now;
    } else if (kind == QLatin1String(lang::KindPing)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,schedule_by,schedule_hour,schedule_minute,"
                           "last_access,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << schedule << now;
    } else if (kind == QLatin1String(lang::KindFTP)) {
        prefix =
            QStringLiteral("insert into service (service,ip,port,username,password,schedule_by,schedule_hour,"
                           "schedule_minute,last_access,ftp_proxytype,proxy_ip,proxy_port,proxy_username,"
                           "proxy_password,alarm_email,alarm_smpp,alarm_httpsms,alarm_syslog) values (");
        values << QuoteSqlText(d.username) << QuoteSqlText(d.password) << schedule << now
               << QuoteSqlText(d.ftpProxyType) << QuoteSqlText(d.proxyIp) << number(d.proxyPort)
               << QuoteSqlText(d.proxyUsername) << QuoteSqlText(d.proxyPassword);
    } else {
        throw DatabaseError(QStringLiteral("No statement for the service kind \"%1\".").arg(d.service));
    }
    values << alarmValues(d);
    return prefix + joinValues(values);
}

QString UpdateServiceStatement(const ServiceDefinition& d, int id)
{
    const QString kind = KindOfService(d.service);
    QList<std::pair<const char*, QString>> set{{"status", QuoteSqlText(d.status)},
                                               {"service", QuoteSqlText(d.service)},
                                               {"ip", QuoteSqlText(d.ip)},
                                               {"port", number(d.port)}};
    const QList<std::pair<const char*, QString>> login{{"username", QuoteSqlText(d.username)},
                                                       {"password", QuoteSqlText(d.password)}};
    const QList<std::pair<const char*, QString>> schedule{
        {"schedule_by", QuoteSqlText(d.scheduleBy)},
        {"schedule_hour", QuoteSqlText(d.scheduleHour)},
        {"schedule_minute", QuoteSqlText(d.scheduleMinute)}};
    const QList<std::pair<const char*, QString>> proxy{{"proxy_ip", QuoteSqlText(d.proxyIp)},
                                                       {"proxy_port", number(d.proxyPort)},
                                                       {"proxy_username", QuoteSqlText(d.proxyUsername)},
                                                       {"proxy_password", QuoteSqlText(d.proxyPassword)}};
    const QList<std::pair<const char*, QString>> alarms{{"alarm_email", flag(d.alarmEmail)},
                                                        {"alarm_smpp", flag(d.alarmSmpp)},
                                                        {"alarm_httpsms", flag(d.alarmHttpSms)},
                                                        {"alarm_syslog", flag(d.alarmSyslog)}};
    if (kind == QLatin1String(lang::KindURL)) {
        set << login << schedule << proxy;
        set.append({"url_method", QuoteSqlText(d.urlMethod)});
    } else if (kind == QLatin1String(lang::KindEmail)) {
        set << login << schedule;
    } else if (kind == QLatin1String(lang::KindPing)) {
        set << schedule;
    } else if (kind == QLatin1String(lang::KindFTP)) {
        set << login << schedule;
        set.append({"ftp_proxytype", QuoteSqlText(d.ftpProxyType)});
        set << proxy;
    } else {
        throw DatabaseError(QStringLiteral("No statement for the service kind \"%1\".").arg(d.service));
    }
    set << alarms;
    return QStringLiteral("update service set ") + assignments(set) + QStringLiteral(" where id=") +
           number(id);
}

QString InsertServiceUrlStatement(const ServiceDefinition& d, int id)
{
    return QStringLiteral(
               "insert into service_url (service_id,cookie,referer,headerData,userAgent,contentType,accept,"
               "acceptCharSet,acceptEncoding,acceptLanguage) values (") +
           joinValues({number(id), QuoteSqlText(d.cookie), QuoteSqlText(d.referer),
                       QuoteSqlText(d.headerData), QuoteSqlText(d.userAgent), QuoteSqlText(d.contentType),
                       QuoteSqlText(d.accept), QuoteSqlText(d.acceptCharSet), QuoteSqlText(d.acceptEncoding),
                       QuoteSqlText(d.acceptLanguage)});
}

QString UpdateServiceUrlStatement(const ServiceDefinition& d, int id)
{
    return QStringLiteral("update service_url set ") +
           assignments({{"cookie", QuoteSqlText(d.cookie)},
                        {"referer", QuoteSqlText(d.referer)},
                        {"headerData", QuoteSqlText(d.headerData)},
                        {"userAgent", QuoteSqlText(d.userAgent)},
                        {"contentType", QuoteSqlText(d.contentType)},
                        {"accept", QuoteSqlText(d.accept)},
                        {"acceptCharSet", QuoteSqlText(d.acceptCharSet)},
                        {"acceptEncoding", QuoteSqlText(d.acceptEncoding)},
                        {"acceptLanguage", QuoteSqlText(d.acceptLanguage)}}) +
           QStringLiteral(" where service_id=") + number(id);
}

QString InsertPostFieldStatement(int id, const QString& name, const QString& value)
{
    return QStringLiteral("insert into service_url_detail (service_id,fieldname,fieldvalue) values (") +
           joinValues({number(id), QuoteSqlText(name), QuoteSqlText(value)});
}

// ---- database --------------------------------------------------------------------------------

ServiceDefinition ReadService(int id)
{
    TDMQuorvel& dm = DMQuorvel();
    ServiceDefinition d;
    {
        QSqlQuery& row = dm.ExecSelect(QStringLiteral("SELECT * from service where id=") + number(id));
        if (!row.next())
            throw DatabaseError(QStringLiteral("There is no service with the id %1.").arg(id));
        d.service = text(row, "service");
        d.ip = text(row, "ip");
        d.port = integer(row, "port");
        d.username = text(row, "username");
        d.password = text(row, "password");
        d.scheduleBy = text(row, "schedule_by");
        d.scheduleHour = text(row, "schedule_hour");
        d.scheduleMinute = text(row, "schedule_minute");
        d.status = text(row, "status");
        d.proxyIp = text(row, "proxy_ip");
        d.proxyPort = integer(row, "proxy_port");
        d.proxyUsername = text(row, "proxy_username");
        d.proxyPassword = text(row, "proxy_password");
        d.urlMethod = text(row, "url_method");
        d.ftpProxyType = text(row, "ftp_proxytype");
        d.alarmEmail = text(row, "alarm_email") == QLatin1String("y");
        d.alarmSmpp = text(row, "alarm_smpp") == QLatin1String("y");
        d.alarmHttpSms = text(row, "alarm_httpsms") == QLatin1String("y");
        d.alarmSyslog = text(row, "alarm_syslog") == QLatin1String("y");
    }
    if (KindOfService(d.service) != QLatin1String(lang::KindURL))
        return d;
    QSqlQuery& headers =
        dm.ExecSelect(QStringLiteral("SELECT * from service_url where service_id=") + number(id));
    if (headers.next()) {
        d.cookie = text(headers, "cookie");
        d.referer = text(headers, "referer");
        d.headerData = text(headers, "headerData");
        d.userAgent = text(headers, "userAgent");
        d.contentType = text(headers, "contentType");
        d.accept = text(headers, "accept");
        d.acceptCharSet = text(headers, "acceptCharSet");
        d.acceptEncoding = text(headers, "acceptEncoding");
        d.acceptLanguage = text(headers, "acceptLanguage");
    }
    // Each stored row goes on top of the list, so the list shows them in reverse order.
    QSqlQuery& fields =
        dm.ExecSelect(QStringLiteral("SELECT * from service_url_detail where service_id=") + number(id));
    while (fields.next())
        d.postFields.prepend({text(fields, "fieldname"), text(fields, "fieldvalue")});
    return d;
}

QList<int> AttachedPersons(int serviceId)
{
    QList<int> ids;
    QSqlQuery& query = DMQuorvel().ExecSelect(
        QStringLiteral("select contact_person.id as id, contact_person.name as name from "
                       "service_contact_person,contact_person where "
                       "service_contact_person.contact_person_id=contact_person.id and service_id=") +
        number(serviceId));
    while (query.next())
        ids << integer(query, "id");
    return ids;
}

void AttachContacts(int serviceId, const QList<ContactChoice>& choices)
{
    TDMQuorvel& dm = DMQuorvel();
    QSet<int> attached;
    {
        QSqlQuery& stored = dm.ExecSelect(
            QStringLiteral("select contact_person_id from service_contact_person where service_id=") +
            number(serviceId));
        while (stored.next())
            attached.insert(integer(stored, "contact_person_id"));
    }
    for (const ContactChoice& choice : choices) {
        QList<int> persons;
        if (choice.group) {
            QSqlQuery& members = dm.ExecSelect(
                QStringLiteral("select contact_person_id from contact_person_group where contact_group_id=") +
                number(choice.id));
            while (members.next())
                persons << integer(members, "contact_person_id");
        } else {
            persons << choice.id;
        }
        for (int person : persons) {
            if (attached.contains(person))
                continue;
            dm.ExecUpdate(
                QStringLiteral("insert into service_contact_person (service_id,contact_person_id) values (") +
                number(serviceId) + QLatin1Char(',') + number(person) + QLatin1Char(')'));
            attached.insert(person);
        }
    }
}

namespace {

void writePostFields(TDMQuorvel& dm, int id, const ServiceDefinition& d)
{
    for (const auto& [name, value] : d.postFields)
        dm.ExecUpdate(InsertPostFieldStatement(id, name, value));
}

} // namespace

int InsertService(const ServiceDefinition& d, const QList<ContactChoice>& contacts)
{
    TDMQuorvel& dm = DMQuorvel();
    SqlTransaction transaction(dm);
    dm.ExecUpdate(InsertServiceStatement(d));
    const int id = static_cast<int>(dm.LastInsertId());
    if (id <= 0)
        throw DatabaseError(QStringLiteral("The new service got no id."));
    if (KindOfService(d.service) == QLatin1String(lang::KindURL)) {
        dm.ExecUpdate(InsertServiceUrlStatement(d, id));
        writePostFields(dm, id, d);
    }
    AttachContacts(id, contacts);
    transaction.Commit();
    return id;
}

void UpdateService(int id, const QString& storedService, const ServiceDefinition& d,
                   const QList<ContactChoice>& contacts)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString idText = number(id);
    SqlTransaction transaction(dm);
    dm.ExecUpdate(UpdateServiceStatement(d, id));
    if (KindOfService(storedService) != KindOfService(d.service)) {
        // Request rows of the kind the service had no longer belong to it.
        dm.ExecUpdate(QStringLiteral("delete from service_url where service_id=") + idText);
        dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + idText);
    }
    if (KindOfService(d.service) == QLatin1String(lang::KindURL)) {
        QSqlQuery& count = dm.ExecSelect(
            QStringLiteral("select count(*) as numOfRecord from service_url where service_id=") + idText);
        const bool exists = count.next() && integer(count, "numOfRecord") > 0;
        dm.ExecUpdate(exists ? UpdateServiceUrlStatement(d, id) : InsertServiceUrlStatement(d, id));
        dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + idText);
        writePostFields(dm, id, d);
    }
    dm.ExecUpdate(QStringLiteral("delete from service_contact_person where service_id=") + idText);
    AttachContacts(id, contacts);
    transaction.Commit();
}

void DeleteService(int id)
{
    TDMQuorvel& dm = DMQuorvel();
    const QString idText = number(id);
    SqlTransaction transaction(dm);
    // Request rows go whatever the kind, so none is left behind by an earlier change of kind.
    dm.ExecUpdate(QStringLiteral("delete from service_url where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service_contact_person where service_id=") + idText);
    dm.ExecUpdate(QStringLiteral("delete from service where id=") + idText);
    transaction.Commit();
}

// ---- field checks -----------------------------------------------------------------------------

void ShowFieldFailure(QWidget* field, const QString& message)
{
    ShowInformationBox(message);
    RevealWidget(field);
    field->setFocus(Qt::OtherFocusReason);
}

bool CheckFilled(QLineEdit* field, const QString& label)
{
    if (!field->text().isEmpty())
        return true;
    ShowFieldFailure(field, QString::fromLatin1(lang::HostFieldEmpty).replace(QLatin1String("%s"), label));
    return false;
}

bool CheckInteger(QLineEdit* field, const QString& label, int min, int max)
{
    int value = 0;
    if (ParseInteger(field->text(), &value) && value >= min && value <= max)
        return true;
    ShowFieldFailure(field, QString::fromLatin1(lang::InvalidInteger).replace(QLatin1String("%s"), label));
    return false;
}

// ---- schedule ---------------------------------------------------------------------------------

TScheduleInputs::TScheduleInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScheduleInputs"));
    LabelCaption = new QLabel(QStringLiteral("Please select the scheduling method :"));
    RadioButtonDaily = new QRadioButton(QStringLiteral("By Daily"));
    RadioButtonHourly = new QRadioButton(QStringLiteral("By Hourly"));
    RadioButtonMinutely = new QRadioButton(QStringLiteral("By Minutely"));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* radio : {RadioButtonDaily, RadioButtonHourly, RadioButtonMinutely}) {
        group->addButton(radio);
        connect(radio, &QRadioButton::toggled, this, &TScheduleInputs::applyChoice);
    }
    ComboBoxDailyHour = scheduleList(twoDigits(24));
    ComboBoxDailyMinute = scheduleList(twoDigits(60));
    ComboBoxHourlyMinute = scheduleList(twoDigits(60));
    ComboBoxMinutely = scheduleList({QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15"),
                                     QStringLiteral("20"), QStringLiteral("30")});

    QLabel* dailyHour = captionFor(ComboBoxDailyHour, QStringLiteral("On which hour"));
    QLabel* dailyMinute = captionFor(ComboBoxDailyMinute, QStringLiteral("and minute"));
    QLabel* hourly = captionFor(ComboBoxHourlyMinute, QStringLiteral("On which minute"));
    QLabel* minutely = captionFor(ComboBoxMinutely, QStringLiteral("Every minute"));
    m_daily = {dailyHour, ComboBoxDailyHour, dailyMinute, ComboBoxDailyMinute};
    m_hourly = {hourly, ComboBoxHourlyMinute};
    m_minutely = {minutely, ComboBoxMinutely};

    auto* grid = new QGridLayout;
    grid->addWidget(RadioButtonDaily, 0, 0);
    grid->addWidget(dailyHour, 0, 1);
    grid->addWidget(ComboBoxDailyHour, 0, 2);
    grid->addWidget(dailyMinute, 0, 3);
    grid->addWidget(ComboBoxDailyMinute, 0, 4);
    grid->addWidget(RadioButtonHourly, 1, 0);
    grid->addWidget(hourly, 1, 1);
    grid->addWidget(ComboBoxHourlyMinute, 1, 2);
    grid->addWidget(RadioButtonMinutely, 2, 0);
    grid->addWidget(minutely, 2, 1);
    grid->addWidget(ComboBoxMinutely, 2, 2);
    grid->setColumnStretch(5, 1);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(14);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addStretch(1);
    Reset();
}

void TScheduleInputs::Reset()
{
    auto* group = RadioButtonDaily->group();
    group->setExclusive(false);
    for (QRadioButton* radio : {RadioButtonDaily, RadioButtonHourly, RadioButtonMinutely})
        radio->setChecked(false);
    group->setExclusive(true);
    for (QComboBox* combo : {ComboBoxDailyHour, ComboBoxDailyMinute, ComboBoxHourlyMinute, ComboBoxMinutely})
        combo->setCurrentIndex(0);
    applyChoice();
}

void TScheduleInputs::Render(const QString& by, const QString& hour, const QString& minute)
{
    if (by == QLatin1String(lang::ScheduleDaily)) {
        RadioButtonDaily->setChecked(true);
        SelectComboText(ComboBoxDailyHour, hour);
        SelectComboText(ComboBoxDailyMinute, minute);
    } else if (by == QLatin1String(lang::ScheduleHourly)) {
        RadioButtonHourly->setChecked(true);
        SelectComboText(ComboBoxHourlyMinute, minute);
    } else if (by == QLatin1String(lang::ScheduleMinutely)) {
        RadioButtonMinutely->setChecked(true);
        SelectComboText(ComboBoxMinutely, minute);
    }
    applyChoice();
}

QList<QComboBox*> TScheduleInputs::listsOfChoice() const
{
    if (RadioButtonDaily->isChecked())
        return {ComboBoxDailyHour, ComboBoxDailyMinute};
    if (RadioButtonHourly->isChecked())
        return {ComboBoxHourlyMinute};
    if (RadioButtonMinutely->isChecked())
        return {ComboBoxMinutely};
    return {};
}

bool TScheduleInputs::Validate()
{
    const QList<QComboBox*> lists = listsOfChoice();
    bool chosen = !lists.isEmpty();
    for (QComboBox* list : lists) {
        if (list->currentText() == QLatin1String(kPleaseSelect))
            chosen = false;
    }
    if (!chosen) {
        ShowInformationBox(QString::fromLatin1(lang::SelectSchedulingMethod));
        RevealWidget(this);
        return false;
    }
    for (QComboBox* list : lists) {
        if (!IsInteger(list->currentText())) {
            ShowInformationBox(QString::fromLatin1(lang::SelectValidMinuteHour));
            RevealWidget(this);
            return false;
        }
    }
    return true;
}

void TScheduleInputs::Values(QString* by, QString* hour, QString* minute) const
{
    const QString zero = QStringLiteral("00");
    by->clear();
    hour->clear();
    minute->clear();
    if (RadioButtonDaily->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleDaily);
        *hour = ComboBoxDailyHour->currentText();
        *minute = ComboBoxDailyMinute->currentText();
    } else if (RadioButtonHourly->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleHourly);
        *hour = zero;
        *minute = ComboBoxHourlyMinute->currentText();
    } else if (RadioButtonMinutely->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleMinutely);
        *hour = zero;
        *minute = ComboBoxMinutely->currentText();
    }
}

void TScheduleInputs::applyChoice()
{
    for (QWidget* w : m_daily)
        w->setVisible(RadioButtonDaily->isChecked());
    for (QWidget* w : m_hourly)
        w->setVisible(RadioButtonHourly->isChecked());
    for (QWidget* w : m_minutely)
        w->setVisible(RadioButtonMinutely->isChecked());
}

// ---- kind and frames --------------------------------------------------------------------------

TServiceKindInputs::TServiceKindInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ServiceKindInputs"));
    ComboBoxService = new QComboBox;
    ComboBoxService->addItems({QString::fromLatin1(lang::KindURL), QString::fromLatin1(lang::KindPing),
                               QString::fromLatin1(lang::KindEmail), QString::fromLatin1(lang::KindFTP)});
    LabelCaption = captionFor(ComboBoxService, QStringLiteral("Please select service :"));
    Frames = new QStackedWidget;
    FrameURL = new TFrameURLForm;
    FrameEmail = new TFrameEmailForm;
    FramePing = new TFramePingForm;
    FrameFTP = new TFrameFTPForm;
    FrameDatabase = new TFrameDatabaseForm;
    m_noFrame = new QWidget;
    for (QWidget* frame : {static_cast<QWidget*>(FrameURL), static_cast<QWidget*>(FramePing),
                           static_cast<QWidget*>(FrameEmail), static_cast<QWidget*>(FrameFTP),
                           static_cast<QWidget*>(FrameDatabase), m_noFrame})
        Frames->addWidget(frame);

    auto* top = new QHBoxLayout;
    top->addWidget(LabelCaption);
    top->addWidget(ComboBoxService);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Frames, 1);
    connect(ComboBoxService, &QComboBox::currentIndexChanged, this, &TServiceKindInputs::showFrame);
    showFrame();
}

QString TServiceKindInputs::Kind() const
{
    return ComboBoxService->currentText();
}

void TServiceKindInputs::SelectService(const QString& service)
{
    const QString kind = KindOfService(service);
    SelectComboText(ComboBoxService, kind);
    if (kind == QLatin1String(lang::KindEmail))
        SelectComboText(FrameEmail->ComboBoxMethod, service);
    showFrame();
}

QWidget* TServiceKindInputs::CurrentFrame() const
{
    const QString kind = Kind();
    if (kind == QLatin1String(lang::KindURL))
        return FrameURL;
    if (kind == QLatin1String(lang::KindPing))
        return FramePing;
    if (kind == QLatin1String(lang::KindEmail))
        return FrameEmail;
    if (kind == QLatin1String(lang::KindFTP))
        return FrameFTP;
    return nullptr;
}

void TServiceKindInputs::showFrame()
{
    QWidget* frame = CurrentFrame();
    Frames->setCurrentWidget(frame ? frame : m_noFrame);
}

// ---- alarm methods ----------------------------------------------------------------------------

TAlarmMethodInputs::TAlarmMethodInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AlarmMethodInputs"));
    LabelCaption = new QLabel(QStringLiteral("Please select the below alarm method(s) :"));
    CheckBoxEmail = new QCheckBox(QString::fromLatin1(lang::MethodEmail));
    CheckBoxSMS = new QCheckBox(QString::fromLatin1(lang::MethodSMS));
    CheckBoxSMSbyHTTP = new QCheckBox(QString::fromLatin1(lang::MethodSMSbyHTTP));
    CheckBoxSysLog = new QCheckBox(QString::fromLatin1(lang::MethodSysLog));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addSpacing(8);
    for (QCheckBox* box : {CheckBoxEmail, CheckBoxSMS, CheckBoxSMSbyHTTP, CheckBoxSysLog})
        layout->addWidget(box);
    layout->addStretch(1);
}

void TAlarmMethodInputs::Reset()
{
    for (QCheckBox* box : {CheckBoxEmail, CheckBoxSMS, CheckBoxSMSbyHTTP, CheckBoxSysLog})
        box->setChecked(false);
}

// ---- contacts ---------------------------------------------------------------------------------

TContactList::TContactList(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ContactList"));
    ListViewContact = new QTreeWidget;
    ListViewContact->setColumnCount(2);
    ListViewContact->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Is")});
    ListViewContact->setRootIsDecorated(false);
    ListViewContact->setAllColumnsShowFocus(true);
    ListViewContact->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewContact->header()->setStretchLastSection(false);
    ListViewContact->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListViewContact->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    ListViewContact->setColumnWidth(1, 100);
    LabelCaption =
        captionFor(ListViewContact, QStringLiteral("Please select the contact person(s) or group(s) :"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addWidget(ListViewContact, 1);
}

void TContactList::Fill()
{
    ListViewContact->clear();
    const auto addRows = [this](const QString& table, const char* is) {
        QSqlQuery& query = DMQuorvel().ExecSelect(QStringLiteral("select id,name from ") + table +
                                                  QStringLiteral(" order by id"));
        while (query.next()) {
            auto* item = new QTreeWidgetItem({text(query, "name"), QString::fromLatin1(is)});
            item->setData(0, Qt::UserRole, integer(query, "id"));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            ListViewContact->insertTopLevelItem(0, item);
        }
    };
    try {
        addRows(QStringLiteral("contact_person"), kIsPerson);
        addRows(QStringLiteral("contact_group"), kIsGroup);
    } catch (const std::exception& error) {
        WriteSystemLog(QStringLiteral("Reading the contact list failed : ") + QString::fromUtf8(error.what()),
                       LogLevel::ERROR);
    }
}

QList<ContactChoice> TContactList::Ticked() const
{
    QList<ContactChoice> choices;
    for (int i = 0; i < ListViewContact->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListViewContact->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked)
            continue;
        choices.append({item->text(1) == QLatin1String(kIsGroup), item->data(0, Qt::UserRole).toInt()});
    }
    return choices;
}

void TContactList::TickPersons(const QList<int>& personIds)
{
    for (int i = 0; i < ListViewContact->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListViewContact->topLevelItem(i);
        if (item->text(1) == QLatin1String(kIsPerson) &&
            personIds.contains(item->data(0, Qt::UserRole).toInt()))
            item->setCheckState(0, Qt::Checked);
    }
}

// ---- the shared operations ----------------------------------------------------------------------

TServiceInputs::TServiceInputs()
    : Schedule(new TScheduleInputs), Service(new TServiceKindInputs), Alarms(new TAlarmMethodInputs),
      Contacts(new TContactList)
{
}

void TServiceInputs::ResetFrames()
{
    Service->FrameURL->Reset();
    Service->FrameEmail->Reset();
    Service->FramePing->Reset();
    Service->FrameFTP->Reset();
    Service->FrameDatabase->Reset();
}

void TServiceInputs::ResetAll()
{
    Schedule->Reset();
    Service->SelectService(QString::fromLatin1(lang::KindURL));
    ResetFrames();
    Alarms->Reset();
    Contacts->Fill();
}

bool TServiceInputs::ValidateSchedule()
{
    return Schedule->Validate();
}

bool TServiceInputs::ValidateServiceFields()
{
    const QString kind = Service->Kind();
    if (kind == QLatin1String(lang::KindURL)) {
        TFrameURLForm* f = Service->FrameURL;
        if (!CheckFilled(f->EditURL, QStringLiteral("URL")) ||
            !CheckInteger(f->EditPort, QStringLiteral("URL Port"), 1, kMaxPort))
            return false;
        if (f->CheckBoxUseProxy->isChecked() &&
            (!CheckFilled(f->EditProxyServer, QStringLiteral("URL Proxy IP")) ||
             !CheckInteger(f->EditProxyPort, QStringLiteral("URL Proxy Port"), 1, kMaxPort)))
            return false;
        return true;
    }
    if (kind == QLatin1String(lang::KindEmail)) {
        TFrameEmailForm* f = Service->FrameEmail;
        return CheckFilled(f->EditHost, QStringLiteral("Email Host")) &&
               CheckInteger(f->EditPort, QStringLiteral("Email Port"), 1, kMaxPort);
    }
    if (kind == QLatin1String(lang::KindPing)) {
        TFramePingForm* f = Service->FramePing;
        if (!CheckFilled(f->EditHost, QStringLiteral("Ping IP")))
            return false;
        // The port is optional; when given it must be a port number (or 0).
        return f->EditPort->text().isEmpty() ||
               CheckInteger(f->EditPort, QStringLiteral("Ping Port"), 0, kMaxPort);
    }
    if (kind == QLatin1String(lang::KindFTP)) {
        TFrameFTPForm* f = Service->FrameFTP;
        if (!CheckFilled(f->EditHost, QStringLiteral("FTP Host")) ||
            !CheckInteger(f->EditPort, QStringLiteral("FTP Port"), 1, kMaxPort))
            return false;
        if (f->CheckBoxUseProxy->isChecked() &&
            (!CheckFilled(f->EditProxyServer, QStringLiteral("FTP Proxy IP")) ||
             !CheckInteger(f->EditProxyPort, QStringLiteral("FTP Proxy Port"), 1, kMaxPort)))
            return false;
        return true;
    }
    // A stored kind that no list item shows: the user has to choose one.
    ShowFieldFailure(Service->ComboBoxService, QString::fromLatin1(lang::SelectService));
    return false;
}

bool TServiceInputs::ValidateContacts()
{
    const bool toPersons = Alarms->CheckBoxEmail->isChecked() || Alarms->CheckBoxSMS->isChecked() ||
                           Alarms->CheckBoxSMSbyHTTP->isChecked();
    if (!toPersons || !Contacts->Ticked().isEmpty())
        return true;
    ShowFieldFailure(Contacts->ListViewContact, QString::fromLatin1(lang::SelectContactsForAlarm));
    return false;
}

void TServiceInputs::Normalise()
{
    const QString kind = Service->Kind();
    if (kind == QLatin1String(lang::KindURL))
        Service->FrameURL->Normalise();
    else if (kind == QLatin1String(lang::KindFTP))
        Service->FrameFTP->Normalise();
}

ServiceDefinition TServiceInputs::Definition() const
{
    ServiceDefinition d;
    const QString kind = Service->Kind();
    Schedule->Values(&d.scheduleBy, &d.scheduleHour, &d.scheduleMinute);
    d.alarmEmail = Alarms->CheckBoxEmail->isChecked();
    d.alarmSmpp = Alarms->CheckBoxSMS->isChecked();
    d.alarmHttpSms = Alarms->CheckBoxSMSbyHTTP->isChecked();
    d.alarmSyslog = Alarms->CheckBoxSysLog->isChecked();
    if (kind == QLatin1String(lang::KindURL)) {
        const TFrameURLForm* f = Service->FrameURL;
        const bool proxy = f->CheckBoxUseProxy->isChecked();
        const bool proxyAuth = proxy && f->CheckBoxProxyAuthentication->isChecked();
        d.service = kind;
        d.urlMethod = f->ComboBoxMethod->currentText();
        d.ip = f->EditURL->text();
        d.port = fieldNumber(f->EditPort);
        if (f->CheckBoxAuthentication->isChecked()) {
            d.username = f->EditUsername->text();
            d.password = f->EditPassword->text();
        }
        if (proxy) {
            d.proxyIp = f->EditProxyServer->text();
            d.proxyPort = fieldNumber(f->EditProxyPort);
        }
        if (proxyAuth) {
            d.proxyUsername = f->EditProxyUsername->text();
            d.proxyPassword = f->EditProxyPassword->text();
        }
        d.cookie = f->EditCookie->text();
        d.headerData = f->EditHeaderInfo->text();
        d.contentType = f->EditContentType->text();
        d.userAgent = f->EditUserAgent->text();
        d.referer = f->EditReferer->text();
        d.accept = f->EditAccept->text();
        d.acceptCharSet = f->EditAcceptCharset->text();
        d.acceptEncoding = f->EditAcceptEncoding->text();
        d.acceptLanguage = f->EditAcceptLanguage->text();
        d.postFields = f->PostFields();
    } else if (kind == QLatin1String(lang::KindEmail)) {
        const TFrameEmailForm* f = Service->FrameEmail;
        d.service = f->ComboBoxMethod->currentText();
        d.ip = f->EditHost->text();
        d.port = fieldNumber(f->EditPort);
        d.username = f->EditUserID->text();
        d.password = f->EditPassword->text();
    } else if (kind == QLatin1String(lang::KindPing)) {
        const TFramePingForm* f = Service->FramePing;
        d.service = kind;
        d.ip = f->EditHost->text();
        d.port = fieldNumber(f->EditPort);
    } else if (kind == QLatin1String(lang::KindFTP)) {
        const TFrameFTPForm* f = Service->FrameFTP;
        const bool proxy = f->CheckBoxUseProxy->isChecked();
        const bool proxyAuth = proxy && f->CheckBoxProxyAuthentication->isChecked();
        d.service = kind;
        d.ip = f->EditHost->text();
        d.port = fieldNumber(f->EditPort);
        d.username = f->EditUserID->text();
        d.password = f->EditPassword->text();
        d.ftpProxyType = TFrameFTPForm::ProxyTypes().constFirst();
        if (proxy) {
            d.proxyIp = f->EditProxyServer->text();
            d.proxyPort = fieldNumber(f->EditProxyPort);
            d.ftpProxyType = f->ComboBoxProxyType->currentText();
        }
        if (proxyAuth) {
            d.proxyUsername = f->EditProxyUsername->text();
            d.proxyPassword = f->EditProxyPassword->text();
        }
    }
    return d;
}

void TServiceInputs::RenderService(const ServiceDefinition& d)
{
    Schedule->Render(d.scheduleBy, d.scheduleHour, d.scheduleMinute);
    Service->SelectService(d.service);
    const QString kind = KindOfService(d.service);
    const bool proxy = !d.proxyIp.isEmpty() && d.proxyPort != 0;
    const bool proxyAuth = !d.proxyUsername.isEmpty() || !d.proxyPassword.isEmpty();
    const bool login = !d.username.isEmpty() || !d.password.isEmpty();
    if (kind == QLatin1String(lang::KindURL)) {
        TFrameURLForm* f = Service->FrameURL;
        SelectComboText(f->ComboBoxMethod, d.urlMethod);
        f->EditURL->setText(d.ip);
        f->EditPort->setText(QString::number(d.port));
        if (login) {
            f->CheckBoxAuthentication->setChecked(true);
            f->EditUsername->setText(d.username);
            f->EditPassword->setText(d.password);
        }
        if (proxy) {
            f->CheckBoxUseProxy->setChecked(true);
            f->EditProxyServer->setText(d.proxyIp);
            f->EditProxyPort->setText(QString::number(d.proxyPort));
        }
        if (proxyAuth) {
            f->CheckBoxProxyAuthentication->setChecked(true);
            f->EditProxyUsername->setText(d.proxyUsername);
            f->EditProxyPassword->setText(d.proxyPassword);
        }
        f->EditCookie->setText(d.cookie);
        f->EditReferer->setText(d.referer);
        f->EditHeaderInfo->setText(d.headerData);
        f->EditUserAgent->setText(d.userAgent);
        f->EditContentType->setText(d.contentType);
        f->EditAccept->setText(d.accept);
        f->EditAcceptCharset->setText(d.acceptCharSet);
        f->EditAcceptEncoding->setText(d.acceptEncoding);
        f->EditAcceptLanguage->setText(d.acceptLanguage);
        f->ListViewPostFields->clear();
        for (auto it = d.postFields.crbegin(); it != d.postFields.crend(); ++it)
            f->InsertPostField(it->first, it->second);
    } else if (kind == QLatin1String(lang::KindEmail)) {
        TFrameEmailForm* f = Service->FrameEmail;
        f->EditHost->setText(d.ip);
        f->EditPort->setText(QString::number(d.port));
        f->EditUserID->setText(d.username);
        f->EditPassword->setText(d.password);
    } else if (kind == QLatin1String(lang::KindPing)) {
        TFramePingForm* f = Service->FramePing;
        f->EditHost->setText(d.ip);
        f->EditPort->setText(portText(d.port));
    } else if (kind == QLatin1String(lang::KindFTP)) {
        TFrameFTPForm* f = Service->FrameFTP;
        f->EditHost->setText(d.ip);
        f->EditPort->setText(QString::number(d.port));
        if (login) {
            f->EditUserID->setText(d.username);
            f->EditPassword->setText(d.password);
        }
        if (proxy) {
            f->CheckBoxUseProxy->setChecked(true);
            f->EditProxyServer->setText(d.proxyIp);
            f->EditProxyPort->setText(QString::number(d.proxyPort));
        }
        SelectComboText(f->ComboBoxProxyType, d.ftpProxyType);
        if (proxyAuth) {
            f->CheckBoxProxyAuthentication->setChecked(true);
            f->EditProxyUsername->setText(d.proxyUsername);
            f->EditProxyPassword->setText(d.proxyPassword);
        }
    }
    Alarms->CheckBoxEmail->setChecked(d.alarmEmail);
    Alarms->CheckBoxSMS->setChecked(d.alarmSmpp);
    Alarms->CheckBoxSMSbyHTTP->setChecked(d.alarmHttpSms);
    Alarms->CheckBoxSysLog->setChecked(d.alarmSyslog);
}

ServiceDefinition TServiceInputs::RenderService(int id)
{
    const ServiceDefinition d = ReadService(id);
    const QList<int> persons = AttachedPersons(id);
    RenderService(d);
    Contacts->TickPersons(persons);
    return d;
}

QList<ContactChoice> TServiceInputs::TickedContacts() const
{
    return Contacts->Ticked();
}
