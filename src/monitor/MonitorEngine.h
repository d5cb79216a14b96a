#pragma once

#include "monitor/TextTableModel.h"

#include <QHash>
#include <QObject>
#include <QStringListModel>
#include <QTimer>
#include <QVector>

#include <memory>

class PoolWorkItem;
class ThreadAlarm;
class ThreadCheck;
class ThreadPoolManager;
struct ServiceRecord;

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
    // The check QueueServiceCheck queues: the stored row of that id (with its URL request data)
    // built by the builder of its kind with origin "Product", the kind's time-out and `retry`.
    // nullptr when there is no such row or its kind is not checked; throws DatabaseError.
    std::unique_ptr<ThreadCheck> BuildServiceCheck(int serviceId, int retry);
    // Builds the check of one service record (CheckBuilders.h) with origin "Product", the kind's
    // time-out and `retry`, and queues it; a kind that is not checked queues nothing.
    void QueueCheck(const ServiceRecord& service, int retry);

    // Result handling.
    void WorkItemDone(ThreadPoolManager* pool, PoolWorkItem* item);
    void PoolError(ThreadPoolManager* pool, int code, const QString& text);
    void AlarmContacts(const QString& timestamp, int serviceId, const QString& text, bool byEmail, bool bySms,
                       bool byHttpSms);
    void DispatchAlarm(const QString& timestamp, const QString& text, const QString& recipient,
                       const QString& method);
    // Hands an item to the pool (flags 0); errors of the hand-over are dropped. Without a pool
    // (the cycle has not started) the item is dropped. Returns the item's Id, 0 when dropped.
    int QueueWorkItem(std::unique_ptr<PoolWorkItem> item);

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
    // A connection test of the new-service wizard came back with this result word.
    void setupTestResult(const QString& resultText);

private:
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
