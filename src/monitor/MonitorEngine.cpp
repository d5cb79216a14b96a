#include "monitor/MonitorEngine.h"

#include "alarms/ThreadAlarm.h"
#include "checks/ThreadCheck.h"
#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/AlarmHistory.h"
#include "database/AlarmMethodLoader.h"
#include "database/DataModuleQuorvel.h"
#include "monitor/AlarmBuilders.h"
#include "monitor/CheckBuilders.h"
#include "monitor/ServiceRecord.h"
#include "monitor/TlsPolicy.h"
#include "pool/ThreadPoolManager.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

const QString kTimestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString text(const QSqlRecord& row, const char* column)
{
    return row.value(QString::fromLatin1(column)).toString();
}

QString serviceIntervalText(const QString& by, const QString& hour, const QString& minute)
{
    if (by == QLatin1String(lang::ScheduleDaily))
        return QStringLiteral("on ") + hour + QLatin1Char(':') + minute;
    if (by == QLatin1String(lang::ScheduleHourly))
        return QStringLiteral("on ") + minute + QStringLiteral(" min");
    if (by == QLatin1String(lang::ScheduleMinutely))
        return QStringLiteral("every ") + minute + QStringLiteral(" min");
    return QString();
}

// Why the pool gave an item back without running it.
QString poolReason(const PoolWorkItem& item)
{
    if (!item.ErrorText.isEmpty())
        return item.ErrorText;
    switch (item.Status) {
    case PoolWorkItem::StatusPostFailed:
        return QStringLiteral("the hand-over to the worker pool failed.");
    case PoolWorkItem::StatusPostTimeout:
        return QStringLiteral("the hand-over to the worker pool timed out.");
    case PoolWorkItem::StatusQueueFull:
        return QStringLiteral("the worker pool's input queue was full.");
    case PoolWorkItem::StatusNoThread:
        return QStringLiteral("no worker thread could be started.");
    case PoolWorkItem::StatusCancelled:
        return QStringLiteral("cancelled.");
    default:
        return QString();
    }
}

} // namespace

MonitorEngine::MonitorEngine(QObject* parent)
    : QObject(parent),
      m_serviceList({QString(), QStringLiteral("Service"), QStringLiteral("IP"), QStringLiteral("Port"),
                     QStringLiteral("Current Status"), QStringLiteral("Last Accessed"), QStringLiteral("By"),
                     QStringLiteral("Interval"), QStringLiteral("Status")}),
      m_alarmList({QString(), QStringLiteral("DateTime"), QStringLiteral("Message"),
                   QStringLiteral("Alarm Methods"), QStringLiteral("Alarm SMS / Email / IP"),
                   QStringLiteral("Status")}),
      m_sortDescending(16, false)
{
    TimerInit.setInterval(3000);
    TimerInit.setSingleShot(false);
    TimerService.setInterval(60000);
    Timer.setInterval(6000);
    TimerHouseKeep.setInterval(3600000);
    connect(&TimerInit, &QTimer::timeout, this, &MonitorEngine::TimerInitTimer);
    connect(&TimerService, &QTimer::timeout, this, &MonitorEngine::TimerServiceTimer);
    connect(&Timer, &QTimer::timeout, this, &MonitorEngine::TimerTimer);
    connect(&TimerHouseKeep, &QTimer::timeout, this, &MonitorEngine::TimerHouseKeepTimer);
}

MonitorEngine::~MonitorEngine()
{
    DestroyPool();
}

void MonitorEngine::DestroyPool()
{
    m_pool.reset();
}

int MonitorEngine::ExecutingCount() const
{
    return m_pool ? m_pool->ExecutingCount() : 0;
}

// ---- timers --------------------------------------------------------------------------------

void MonitorEngine::TimerInitTimer()
{
    if (LoginPending) {
        TimerInit.stop();
        emit loginRequested();
        return;
    }
    TimerInit.stop();
    emit commandsUnlocked();
    if (!m_pool) {
        m_pool = std::make_unique<ThreadPoolManager>();
        m_pool->MaxPooled(200);
        m_pool->MaxQueueLength(100);
        m_pool->MaxQueuedTime(300);
        m_pool->SetOnWorkItemDone(
            [this](ThreadPoolManager* pool, PoolWorkItem* item) { WorkItemDone(pool, item); });
        m_pool->SetOnError(
            [this](ThreadPoolManager* pool, int code, const QString& t) { PoolError(pool, code, t); });
    }
    try {
        LoadAlarmMethods();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromStdString(e.what()));
    }
    FillHostTree();
    FillServiceList(QStringLiteral("ALL"));
    SetScheduling(AppSettings.InitStart);
    CycleEnabled = true;
    TimerServiceTimer();
}

void MonitorEngine::TimerServiceTimer()
{
    try {
        const QDateTime now = Now();
        const QString hh = now.toString(QStringLiteral("HH"));
        const QString mm = now.toString(QStringLiteral("mm"));
        QSqlQuery query(DMQuorvel().SQLConnection);
        query.setForwardOnly(true);
        const QString sql =
            QStringLiteral(
                "SELECT * from service where status=\"Start\" and ( (schedule_by=\"Daily\" and "
                "schedule_hour=\"%1\" and schedule_minute=\"%2\") or (schedule_by=\"Hourly\" and "
                "schedule_minute=\"%2\") or (schedule_by=\"Minutely\" and mod(%2,schedule_minute)=0 ) ) "
                "order by ip, service")
                .arg(hh, mm);
        if (!query.exec(sql))
            return;
        // The rows first, then the request data of all due URL services in two statements
        // rather than two per service.
        std::vector<ServiceRecord> services;
        QList<int> urlIds;
        while (query.next()) {
            services.push_back(ServiceRecordFromRow(query.record()));
            if (services.back().Service == QLatin1String(lang::KindURL))
                urlIds << services.back().Id;
        }
        query.finish();
        const QHash<int, ServiceUrlRequest> requests = LoadUrlRequests(urlIds);
        for (ServiceRecord& service : services) {
            m_serviceList.setCellOfId(QString::number(service.Id), SvcCurrentStatus,
                                      QString::fromLatin1(lang::CheckProcess));
            const CheckKind* kind = FindCheckKind(service.Service);
            if (!kind)
                continue; // "Database" and anything else: nothing is probed
            service.UrlRequest = requests.value(service.Id);
            QueueWorkItem(kind->Build(
                service, ProductCheckSettings(*kind, AppSettings, AppSettings.*kind->RetrySetting)));
        }
    } catch (...) {
        // The next tick tries again.
    }
}

void MonitorEngine::TimerTimer()
{
    if (!CycleEnabled)
        return;
    try {
        static const char* const days[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
        const QDateTime now = Now();
        const QString day = QString::fromLatin1(days[now.date().dayOfWeek() - 1]);
        QSqlQuery query(DMQuorvel().SQLConnection);
        if (!query.exec(QStringLiteral("select * from scheduling where schedule_time=") +
                        QString::number(now.time().hour())))
            return;
        QString value = QStringLiteral("no");
        while (query.next())
            value = query.value(day).toString();
        if (value == QLatin1String("yes") && !TimerService.isActive())
            SetScheduling(true);
        else if (value == QLatin1String("no") && TimerService.isActive())
            SetScheduling(false);
    } catch (...) {
        // Nothing changes; the next pass tries again.
    }
}

void MonitorEngine::TimerHouseKeepTimer()
{
    try {
        HouseKeepLogs();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromStdString(e.what()));
    }
}

void MonitorEngine::SetScheduling(bool on)
{
    SchedulingStopped = !on;
    if (on)
        TimerService.start();
    else
        TimerService.stop();
    emit schedulingChanged(on);
    const QString message = QString::fromLatin1(on ? lang::SchedulingStarts : lang::SchedulingStops);
    emit statusMessage(message);
    WriteSystemLog(message, LogLevel::INFORMATIONAL);
}

void MonitorEngine::ActionStartExecute()
{
    SetScheduling(true);
    CycleEnabled = true;
}

void MonitorEngine::ActionStopExecute()
{
    SetScheduling(false);
    CycleEnabled = false;
}

// ---- queueing checks -------------------------------------------------------------------------

void MonitorEngine::MenuServiceRunNowClick()
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return;
    const QString state = m_serviceList.cell(row, SvcCurrentStatus);
    if (state == QLatin1String(lang::CheckProcess) || state == QLatin1String(lang::CheckRetry)) {
        ShowInformationBox(QString::fromLatin1(lang::ServiceStillProcessing));
        return;
    }
    QueueServiceCheck(m_serviceList.cell(row, SvcId), 0);
}

void MonitorEngine::QueueServiceCheck(const QString& serviceId, int retry)
{
    try {
        m_serviceList.setCellOfId(serviceId, SvcCurrentStatus, QString::fromLatin1(lang::CheckProcess));
        int id = 0;
        if (!ParseInteger(serviceId, &id))
            return; // an id is a number; nothing else goes into the statement
        QueueWorkItem(BuildServiceCheck(id, retry));
    } catch (...) {
    }
}

std::unique_ptr<ThreadCheck> MonitorEngine::BuildServiceCheck(int serviceId, int retry)
{
    QSqlQuery query(DMQuorvel().SQLConnection);
    if (!query.exec(QStringLiteral("SELECT * from service where id=") + QString::number(serviceId)))
        throw DatabaseError(query.lastError().text().trimmed());
    if (!query.next())
        return nullptr;
    ServiceRecord service = ServiceRecordFromRow(query.record());
    query.finish();
    const CheckKind* kind = FindCheckKind(service.Service);
    if (!kind)
        return nullptr;
    if (service.Service == QLatin1String(lang::KindURL))
        service.UrlRequest = LoadUrlRequests({service.Id}).value(service.Id);
    return kind->Build(service, ProductCheckSettings(*kind, AppSettings, retry));
}

void MonitorEngine::QueueCheck(const ServiceRecord& service, int retry)
{
    if (const CheckKind* kind = FindCheckKind(service.Service))
        QueueWorkItem(kind->Build(service, ProductCheckSettings(*kind, AppSettings, retry)));
}

int MonitorEngine::QueueWorkItem(std::unique_ptr<PoolWorkItem> item)
{
    if (!item || !m_pool)
        return 0;
    try {
        PoolWorkItem* queued = item.get();
        m_pool->QueueItem(std::move(item), 0);
        return queued->Id;
    } catch (...) {
        return 0;
    }
}

// ---- results ---------------------------------------------------------------------------------

void MonitorEngine::WorkItemDone(ThreadPoolManager*, PoolWorkItem* item)
{
    try {
        if (auto* check = dynamic_cast<ThreadCheck*>(item))
            checkDone(check);
        else if (auto* alarm = dynamic_cast<ThreadAlarm*>(item))
            alarmDone(alarm);
    } catch (...) {
        // Dropped: the rest of this hand-back is skipped and the pool destroys the item.
    }
}

void MonitorEngine::checkDone(ThreadCheck* check)
{
    const QString timestamp = Now().toString(kTimestampFormat);
    const bool product = check->Origin == QLatin1String(lang::OriginProduct);
    const QString id = QString::number(check->ServiceId);

    // A check the pool never ran says nothing about the service: it is reported once in the
    // system log, and neither stored, alarmed nor repeated.
    if (check->ResultText.isEmpty() && check->Status != PoolWorkItem::StatusDone) {
        WriteSystemLog(QStringLiteral("Check not run : ") + check->Kind() + QStringLiteral(" [") +
                           check->Host + QStringLiteral("] [") + QString::number(check->Port) +
                           QStringLiteral("] : ") + poolReason(*check),
                       LogLevel::WARMING);
        if (product)
            m_serviceList.setCellOfId(id, SvcCurrentStatus, QString());
        else if (check->Origin == QLatin1String(lang::OriginSetup))
            emit setupTestResult(check->ResultText);
        return;
    }

    if (!check->Retry && !check->Passed && product) {
        WriteAlarmMessageLog(timestamp, check->Kind(), check->Host, QString::number(check->Port),
                             check->ResultDetail, check->ResultText);
        const AlarmMethodSettingsRecord& methods = AlarmMethodSettings;
        if (methods.EmailMethod.enable || methods.SmsMethod.enable || methods.HttpSmsMethod.enable)
            AlarmContacts(timestamp, check->ServiceId, check->ResultDetail, check->AlarmEmail,
                          check->AlarmSmpp, check->AlarmHttpSms);
        if (methods.SysLogMethod.enable && check->AlarmSyslog && !methods.SysLogMethod.ip.isEmpty())
            DispatchAlarm(timestamp, check->ResultDetail, methods.SysLogMethod.ip,
                          QString::fromLatin1(lang::MethodSysLog));
    }

    if (product && m_serviceList.findRow(id) >= 0) {
        if (check->ResultText == QLatin1String(lang::ResultFailed) && check->Retry) {
            QueueServiceCheck(id, 0);
            m_serviceList.setCellOfId(id, SvcCurrentStatus, QString::fromLatin1(lang::CheckRetry));
        } else {
            m_serviceList.setCellOfId(id, SvcCurrentStatus, check->ResultText);
        }
        m_serviceList.setCellOfId(id, SvcLastAccessed, timestamp);
        DMQuorvel().ExecUpdate(QStringLiteral("update service set last_access=now(), service_status=") +
                               QuoteSqlText(check->ResultText) + QStringLiteral(" where id=") + id);
    } else if (check->Origin == QLatin1String(lang::OriginSetup)) {
        emit setupTestResult(check->ResultText);
    }
}

void MonitorEngine::alarmDone(ThreadAlarm* alarm)
{
    if (!alarm->Passed) {
        // An item that never ran carries the pool's reason instead of a delivery error.
        const QString why = alarm->ResultText.isEmpty() ? poolReason(*alarm) : alarm->ErrorText;
        QString line;
        if (alarm->Method == QLatin1String(lang::MethodSMSbyHTTP))
            line = QStringLiteral("Alarming Message - HTTP-SMS : Response code=%1 %2 %3")
                       .arg(alarm->ResponseCode)
                       .arg(alarm->ResultDetail, why);
        else if (alarm->Method == QLatin1String(lang::MethodSysLog))
            line = QStringLiteral("Alarming Message - SysLog : error %1 %2").arg(alarm->ResultDetail, why);
        else if (alarm->Method == QLatin1String(lang::MethodEmail))
            line = QStringLiteral("Alarming Message - SMTP : error %1 %2").arg(alarm->ResultDetail, why);
        else
            line = QStringLiteral("Alarming Message - SMS : error %1 %2").arg(alarm->ResultDetail, why);
        WriteSystemLog(line, LogLevel::ERROR);
    }
    m_alarmList.setCellOfId(QString::number(alarm->Id), AlmStatus, alarm->ResultText);
}

void MonitorEngine::PoolError(ThreadPoolManager*, int, const QString& text)
{
    WriteSystemLog(QString::fromLatin1(lang::ERR00401) + QStringLiteral(" : ") + text, LogLevel::ERROR);
}

void MonitorEngine::AlarmContacts(const QString& timestamp, int serviceId, const QString& text, bool byEmail,
                                  bool bySms, bool byHttpSms)
{
    try {
        const AlarmMethodSettingsRecord& methods = AlarmMethodSettings;
        QString emails;
        QSqlQuery query(DMQuorvel().SQLConnection);
        if (!query.exec(
                QStringLiteral(
                    "Select contact_person.name as name, contact_person.email as email,contact_person.sms as "
                    "sms from service_contact_person,contact_person where "
                    "service_contact_person.contact_person_id=contact_person.id and "
                    "service_contact_person.service_id=") +
                QString::number(serviceId)))
            return;
        while (query.next()) {
            const QString email = query.value(QStringLiteral("email")).toString();
            if (emails.isEmpty())
                emails = email;
            else if (!email.isEmpty())
                emails += QLatin1Char(';') + email;
            const QString number = query.value(QStringLiteral("sms")).toString();
            if (methods.SmsMethod.enable && bySms && !number.isEmpty())
                DispatchAlarm(timestamp, text, number, QString::fromLatin1(lang::MethodSMS));
            if (methods.HttpSmsMethod.enable && byHttpSms && !number.isEmpty())
                DispatchAlarm(timestamp, text, number, QString::fromLatin1(lang::MethodSMSbyHTTP));
        }
        if (methods.EmailMethod.enable && byEmail && !emails.isEmpty())
            DispatchAlarm(timestamp, text, emails, QString::fromLatin1(lang::MethodEmail));
    } catch (...) {
    }
}

void MonitorEngine::DispatchAlarm(const QString& timestamp, const QString& text, const QString& recipient,
                                  const QString& method)
{
    try {
        std::unique_ptr<ThreadAlarm> alarm =
            BuildAlarm(AlarmMethodSettings, method, text, recipient, AlarmTlsOptions(AppSettings));
        if (!alarm || !m_pool)
            return;
        const int id = QueueWorkItem(std::move(alarm));
        if (id == 0)
            return;
        TrimAlarmMessageList(&m_alarmList);
        m_alarmList.insertTopRow(
            {QString::number(id), timestamp, text, method, recipient, QStringLiteral("Pending")});
    } catch (...) {
    }
}

// ---- lists -----------------------------------------------------------------------------------

namespace {

// The service list shows a stored ip from after its last "http://"; an https address (beginning
// with "https://" in any letter case) is shown whole, even when its query names an http address.
const char* const kListedIp = "IF(ip LIKE \"https://%\", ip, SUBSTRING_INDEX(ip, \"http://\", -1))";
// The host of a stored ip for the host tree and its filter: the listed text up to its first "/",
// and for an https address the text between "https://" and the first "/" (never "https:").
const char* const kHostOfIp = "IF(ip LIKE \"https://%\", SUBSTRING_INDEX(SUBSTRING(ip, 9), \"/\", 1), "
                              "SUBSTRING_INDEX(SUBSTRING_INDEX(ip, \"http://\", -1),\"/\",1))";

} // namespace

void MonitorEngine::FillServiceList(const QString& filter)
{
    m_serviceList.clear();
    m_filter = filter;
    QString sql =
        QStringLiteral("SELECT id,service,") + QLatin1String(kListedIp) +
        QStringLiteral(" as ip,port,service_status,DATE_FORMAT(last_access, "
                       "\"%Y-%m-%d %H:%i:%s\") last_access,schedule_by,schedule_hour,schedule_minute,"
                       "status from service");
    if (filter == QLatin1String("ALL")) {
    } else if (filter == QLatin1String(lang::KindURL) || filter == QLatin1String(lang::KindPing) ||
               filter == QLatin1String(lang::KindFTP) || filter == QLatin1String(lang::KindDatabase)) {
        sql += QStringLiteral(" where service=") + QuoteSqlText(filter);
    } else if (filter == QLatin1String(lang::KindEmail)) {
        sql += QStringLiteral(" where service=\"SMTP\" or service=\"POP3\" or service=\"IMAP\"");
    } else {
        sql += QStringLiteral(" where ") + QLatin1String(kHostOfIp) + QStringLiteral(" = ") +
               QuoteSqlText(filter);
    }
    sql += QStringLiteral(" order by ip, service, schedule_hour, schedule_minute");
    try {
        QSqlQuery query(DMQuorvel().SQLConnection);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            return;
        while (query.next()) {
            const QSqlRecord row = query.record();
            QString port = text(row, "port");
            if (port.isEmpty() || port == QLatin1String("0"))
                port = QStringLiteral("---");
            m_serviceList.appendRow({text(row, "id"), text(row, "service"), text(row, "ip"), port,
                                     text(row, "service_status"), text(row, "last_access"),
                                     text(row, "schedule_by"),
                                     serviceIntervalText(text(row, "schedule_by"), text(row, "schedule_hour"),
                                                         text(row, "schedule_minute")),
                                     text(row, "status")});
        }
    } catch (...) {
    }
}

void MonitorEngine::FillHostTree()
{
    QStringList hosts{QStringLiteral("ALL")};
    try {
        QSqlQuery query(DMQuorvel().SQLConnection);
        if (query.exec(QStringLiteral("SELECT distinct ") + QLatin1String(kHostOfIp) +
                       QStringLiteral(" as ip from service order by ip"))) {
            while (query.next())
                hosts << query.value(0).toString();
        }
    } catch (...) {
    }
    m_hostTree.setStringList(hosts);
}

void MonitorEngine::setServiceStatusOfSelected(const QString& status)
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return;
    try {
        const int id = IntegerOr(m_serviceList.cell(row, SvcId), 0);
        DMQuorvel().ExecUpdate(QStringLiteral("update service set status=") + QuoteSqlText(status) +
                               QStringLiteral(" where id=") + QString::number(id));
        m_serviceList.setCell(row, SvcStatus, status);
    } catch (...) {
    }
}

void MonitorEngine::MenuServiceStartClick()
{
    setServiceStatusOfSelected(QString::fromLatin1(lang::StateStart));
}

void MonitorEngine::MenuServiceStopClick()
{
    setServiceStatusOfSelected(QString::fromLatin1(lang::StateStop));
}

void MonitorEngine::MenuServiceDeleteClick()
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return;
    try {
        const QString id = QString::number(IntegerOr(m_serviceList.cell(row, SvcId), 0));
        TDMQuorvel& dm = DMQuorvel();
        if (m_serviceList.cell(row, SvcService) == QLatin1String(lang::KindURL)) {
            dm.ExecUpdate(QStringLiteral("delete from service_url where service_id=") + id);
            dm.ExecUpdate(QStringLiteral("delete from service_url_detail where service_id=") + id);
        }
        dm.ExecUpdate(QStringLiteral("delete from service_contact_person where service_id=") + id);
        dm.ExecUpdate(QStringLiteral("delete from service where id=") + id);
        FillServiceList(m_filter);
        FillHostTree();
    } catch (...) {
    }
}

void MonitorEngine::ClearAlarmMessages()
{
    m_alarmList.clear();
}

void MonitorEngine::sortList(TextTableModel& list, int column)
{
    if (column < 0)
        return;
    if (column >= m_sortDescending.size())
        m_sortDescending.resize(column + 1);
    list.sortByColumn(column, m_sortDescending[column]);
    m_sortDescending[column] = !m_sortDescending[column];
}

void MonitorEngine::SortServiceList(int column)
{
    sortList(m_serviceList, column);
}

void MonitorEngine::SortAlarmList(int column)
{
    sortList(m_alarmList, column);
}

bool MonitorEngine::LastSortDescending(int column) const
{
    // The flag has been flipped after the sort: it now names the next direction.
    return column >= 0 && column < m_sortDescending.size() && !m_sortDescending[column];
}
