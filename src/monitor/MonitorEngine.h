#pragma once

#include "monitor/TextTableModel.h"

#include <QHash>
#include <QObject>
#include <QSqlRecord>
#include <QStringListModel>
#include <QTimer>
#include <QVector>

#include <memory>

class PoolWorkItem;
class ThreadAlarm;
class ThreadCheck;
class ThreadPoolManager;
struct URLCheckArgs;

// The request headers (service_url) and form fields (service_url_detail) of URL services, by
// service id; a service without rows has empty values.
using UrlRequestData = QHash<int, URLCheckArgs>;
UrlRequestData LoadUrlRequestData(const QList<int>& serviceIds);

// The monitoring cycle without a window: the four timers and their handlers, the scheduler, the
// result handling with the alarm dispatch, and the models the main window shows (service list,
// alarm-message list, host tree). Everything runs on the thread that owns the engine (the main
// thread); only the checks and alarm deliveries run on the pool's worker threads. Tests call the
// handlers directly and stand the clock (core/Clock.h) where they need.
class MonitorEngine : public QObject
{
    Q_OBJECT

public:
    // Service list columns.
    enum ServiceColumn
    {
        SvcId,
        SvcService,
        SvcIp,
        SvcPort,
        SvcCurrentStatus,
        SvcLastAccessed,
        SvcBy,
        SvcInterval,
        SvcStatus
    };
    // Alarm-message list columns.
    enum AlarmColumn
    {
        AlmId,
        AlmDateTime,
        AlmMessage,
        AlmMethods,
        AlmRecipient,
        AlmStatus
    };

    explicit MonitorEngine(QObject* parent = nullptr);
    ~MonitorEngine() override;

    QTimer TimerInit;      // 3000 ms, once: starts the cycle
    QTimer TimerService;   // 60000 ms: the minute tick; on exactly while scheduling runs
    QTimer Timer;          // 6000 ms: the weekly monitoring window
    QTimer TimerHouseKeep; // 3600000 ms: log housekeeping

    bool CycleEnabled = false;
    bool LoginPending = false;
    bool SchedulingStopped = true;

    TextTableModel* ServiceList() { return &m_serviceList; }
    TextTableModel* AlarmMessageList() { return &m_alarmList; }
    QStringListModel* HostTree() { return &m_hostTree; }
    QString CurrentFilter() const { return m_filter; }
    ThreadPoolManager* Pool() const { return m_pool.get(); }
    int ExecutingCount() const;

    // Timer handlers.
    void TimerInitTimer();
    void TimerServiceTimer();
    void TimerTimer();
    void TimerHouseKeepTimer();

    void SetScheduling(bool on);
    void ActionStartExecute();
    void ActionStopExecute();

    // Run Now for the selected row of the service list.
    void MenuServiceRunNowClick();
    // Loads one service row by id and queues its check (a stopped service too).
    void QueueServiceCheck(const QString& serviceId, int retry);

    // The builders: one check work item for a `service` row, queued on the pool. They catch their
    // own failures and then queue nothing.
    void QueueURLCheck(const QSqlRecord& row, int retry);
    void QueuePingCheck(const QSqlRecord& row, int retry);
    void QueueSMTPCheck(const QSqlRecord& row, int retry);
    void QueuePOP3Check(const QSqlRecord& row, int retry);
    void QueueIMAPCheck(const QSqlRecord& row, int retry);
    void QueueFTPCheck(const QSqlRecord& row, int retry);

    // Result handling.
    void WorkItemDone(ThreadPoolManager* pool, PoolWorkItem* item);
    void PoolError(ThreadPoolManager* pool, int code, const QString& text);
    void AlarmContacts(const QString& timestamp, int serviceId, const QString& text, bool byEmail, bool bySms,
                       bool byHttpSms);
    void DispatchAlarm(const QString& timestamp, const QString& text, const QString& recipient,
                       const QString& method);
    // Hands an item to the pool (flags 0); errors of the hand-over are dropped.
    void QueueWorkItem(PoolWorkItem* item);

    // Lists.
    void FillServiceList(const QString& filter);
    void FillHostTree();
    void MenuServiceStartClick();
    void MenuServiceStopClick();
    void MenuServiceDeleteClick();
    void ClearAlarmMessages();
    // A click on a column header; the direction flags are shared by the two lists.
    void SortServiceList(int column);
    void SortAlarmList(int column);
    // The direction the last sort of `column` used (true: descending), for the header glyph.
    bool LastSortDescending(int column) const;

    // Ends the cycle's pool (waiting items are dropped, running ones are not waited for).
    void DestroyPool();

signals:
    // "Show this text in the status bar".
    void statusMessage(const QString& text);
    // The cycle starts: the window unlocks its menus and function bar.
    void commandsUnlocked();
    // No database connection: the window shows the login dialog.
    void loginRequested();
    // Scheduling was switched on or off (Start/Stop buttons and check marks follow).
    void schedulingChanged(bool on);
    // A connection test of the new-service wizard came back with this result word; `itemId` is
    // the work item's pool Id, by which the wizard tells its current test from earlier ones.
    void setupTestResult(const QString& resultText, int itemId);

private:
    void queueCheckForRow(const QSqlRecord& row, int retry, const UrlRequestData* urlData = nullptr);
    void queueCheck(std::unique_ptr<ThreadCheck> check);
    void checkDone(ThreadCheck* check);
    void alarmDone(ThreadAlarm* alarm);
    void setServiceStatusOfSelected(const QString& status);
    void sortList(TextTableModel& list, int column);

    TextTableModel m_serviceList;
    TextTableModel m_alarmList;
    QStringListModel m_hostTree;
    QString m_filter = QStringLiteral("ALL");
    QVector<bool> m_sortDescending;
    std::unique_ptr<ThreadPoolManager> m_pool;
};

// The check kind name of a check work item ("URL", "SMTP", "POP3", "IMAP", "Ping", "FTP").
QString CheckKindName(const ThreadCheck& check);
// The check work item of each kind for one `service` row, as the scheduler builds it: origin
// "Product", the row's values, the kind's time-out and the given retry value.
// `request` holds the service's headers and form fields (LoadUrlRequestData).
std::unique_ptr<ThreadCheck> BuildURLCheck(const QSqlRecord& row, int retry, const URLCheckArgs& request);
std::unique_ptr<ThreadCheck> BuildPingCheck(const QSqlRecord& row, int retry);
std::unique_ptr<ThreadCheck> BuildSMTPCheck(const QSqlRecord& row, int retry);
std::unique_ptr<ThreadCheck> BuildPOP3Check(const QSqlRecord& row, int retry);
std::unique_ptr<ThreadCheck> BuildIMAPCheck(const QSqlRecord& row, int retry);
std::unique_ptr<ThreadCheck> BuildFTPCheck(const QSqlRecord& row, int retry);
// Builds the alarm work item of `method` from the in-memory alarm-method settings (nullptr when
// that method is not enabled).
std::unique_ptr<ThreadAlarm> BuildAlarm(const QString& method, const QString& text, const QString& recipient);
