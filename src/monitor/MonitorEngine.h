#pragma once

#include "database/AlarmStateStore.h"
#include "database/ResultStore.h"
#include "database/ServiceStore.h"
#include "monitor/AlarmDecision.h"
#include "monitor/TextTableModel.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringListModel>
#include <QTimer>
#include <QVector>

#include <memory>

class PoolWorkItem;
class ThreadAlarm;
class ThreadCheck;
class ThreadPoolManager;

// The monitoring cycle without a window: the four timers and their handlers, the scheduler, the
// result handling with the alarm dispatch, and the models the main window shows (service list,
// alarm-message list, host tree). Everything runs on the thread that owns the engine (the main
// thread); only the checks and alarm deliveries run on the pool's worker threads. Tests call the
// handlers directly and stand the clock (core/Clock.h) where they need.
class ResultWriter;

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
        SvcStatus,
        SvcResponse, // the last result's response time, "123 ms"
        SvcUptime    // the passes among the results of the last 24 hours, "99.3 %"
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

    // ---- what the window and the login dialog call ----

    // The window's creation: connects to the database with the settings, or creates it on a first
    // start, exactly as the login dialog's Connect does (DataModuleQuorvel's ConnectOrCreate);
    // without a connection LoginPending is set, so TimerInit opens the login dialog. Then arms
    // TimerInit (3000 ms, once), the weekly window (6 s) and housekeeping (hourly).
    void StartUp();
    // Nobody is there to log in (the monitoring service): a database that cannot be reached at
    // StartUp is not asked for through the login dialog but written as one ERROR line and then
    // tried again at every tick, as after a loss ("Database connection is back." when it
    // answers); a first start's database is created then. Set before StartUp.
    void SetUnattended(bool unattended) { m_unattended = unattended; }
    // The minute tick's interval, 60000 ms unless changed (the service's trial option).
    void SetTickInterval(int ms) { m_timerService.setInterval(ms); }
    // Several monitors share the database: this one registers as `name` (with `version`), keeps
    // a heartbeat (every third of a tick) and checks only the due services it claimed for the
    // tick's minute. Each monitor first claims the services whose hash with its name ranks it
    // first among the live monitors; a few seconds later it takes what is still unclaimed and
    // would otherwise be left (its monitor overdue or gone), and the unfinished claims of a
    // monitor whose heartbeat is older than one and a half ticks. Set before StartUp.
    void SetSharedScheduling(const QString& name, const QString& version);
    // The name the monitor claims under: [Engine] Name, or the host name and the settings path.
    static QString DefaultInstanceName();
    QString InstanceName() const { return m_instanceName; }
    // A successful Connect in the login dialog: LoginPending is cleared and TimerInit armed again
    // with 3000 ms, so the cycle starts as after a connected start-up.
    void LoginSucceeded();
    // The window's lock remembers whether scheduling is stopped (the Start button was enabled).
    void SetSchedulingStopped(bool stopped) { m_schedulingStopped = stopped; }
    // Closing through the window's close box: when checks or alarms execute, they are cancelled
    // and waited for (closingWait tells the window to show and hide its closing window) while the
    // event loop keeps turning, bounded by the longest check and alarm time-outs; the results of
    // items that ran are stored; then scheduling stops ("Service scheduling stops."). From here
    // on no tick runs and nothing new is queued.
    void ShutDown();
    // Ends the cycle's pool. Items that never ran are dropped without a log line; results of
    // checks that ran and come back now are stored without log lines or alarms.
    void DestroyPool();

    // ---- state, read-only ----

    bool SchedulingStopped() const { return m_schedulingStopped; }
    bool CycleEnabled() const { return m_cycleEnabled; }
    bool LoginPending() const { return m_loginPending; }
    bool SchedulingRuns() const { return m_timerService.isActive(); } // TimerService is on
    bool StartArmed() const { return m_timerInit.isActive(); }        // TimerInit is on
    int StartDelay() const { return m_timerInit.interval(); }         // TimerInit's interval, ms
    // Time until the next minute tick while scheduling runs, ms (-1 when it does not run).
    int MinuteTickRemainingMs() const { return m_timerService.remainingTime(); }
    // The database connection was lost and has not come back yet.
    bool DatabaseLost() const { return m_databaseLost; }

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
                       bool byHttpSms, const QString& subject = QString());
    // Queues one alarm; `subject` replaces the e-mail's usual subject when given.
    void DispatchAlarm(const QString& timestamp, const QString& text, const QString& recipient,
                       const QString& method, const QString& subject = QString());
    // The alarm state the engine keeps for a service (the stored one, or a fresh one).
    ServiceAlarmState AlarmState(int serviceId) const { return m_alarmStates.value(serviceId); }
    // Acknowledges the problem of a failed service: no reminders until it recovers; stored at
    // once, with one alarm-history row "Acknowledged" (of the failed service). False when the
    // service is not failed.
    bool AcknowledgeService(int serviceId);
    // Mutes the alarms of a service until `until` (a null time unmutes); stored at once. A muted
    // service is still checked and its results stored.
    void MuteService(int serviceId, const QDateTime& until);
    // The same for the selected row of the service list.
    bool MenuServiceAcknowledgeClick();
    void MenuServiceMuteClick(const QDateTime& until);
    // The ends of the mute choices, from now: "1 hour", "4 hours", "Until tomorrow 08:00", "Until
    // I unmute" (the end of the DATETIME range).
    static QDateTime MuteEnd(const QString& choice, const QDateTime& now);
    // Hands an item to the pool (flags 0); errors of the hand-over are dropped. Without a pool
    // (the cycle has not started) the item is dropped. Returns the item's Id, 0 when dropped.
    int QueueWorkItem(std::unique_ptr<PoolWorkItem> item);

    // ---- results ----

    // Hands the results gathered since the last hand-over to the result writer's thread (which
    // stores them with one multi-row insert, see ResultStore) and waits until they are stored:
    // at the end of closing, so nothing is lost. Bounded: a database that does not answer gets
    // one more try; DestroyPool reports what is left then by one line. The 200 ms timer after the
    // first result of a burst only hands over (HandResults). True when nothing is left.
    bool FlushResults();
    void HandResults();
    // Results gathered, queued for the writer or being written.
    int PendingResultCount() const;
    // Reads what changed in the last 24 hours' results (one grouped statement; the whole window
    // at the first call and after each housekeeping) and writes the Response and Uptime 24h
    // cells. Each minute tick calls it.
    void RefreshUptime();
    // The Uptime 24h cell of `passes` out of `checks`: one decimal, never rounded up to 100.
    static QString UptimeText(qint64 checks, qint64 passes);
    // Runs one slice of the housekeeping that TimerHouseKeepTimer began: one service's day
    // closed, or one delete of at most 10,000 old results or alarm-history rows. False when
    // nothing is left. The engine runs the slices on turns of its event loop of their own.
    bool HouseKeepStep();
    bool HouseKeepingRuns() const { return m_houseKeep.phase != HouseKeepPhase::Idle; }

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

signals:
    // "Show this text in the status bar".
    void statusMessage(const QString& text);
    // The cycle starts: the window unlocks its menus and function bar.
    void commandsUnlocked();
    // No database connection: the window shows the login dialog.
    void loginRequested();
    // Scheduling was switched on or off (Start/Stop buttons and check marks follow).
    void schedulingChanged(bool on);
    // ShutDown waits for executing items (true) or has finished waiting (false).
    void closingWait(bool waiting);
    // TimerInit has started the cycle: the first tick has been handled and the next is armed
    // (when scheduling is on).
    void cycleStarted();
    // A final result moved a service's alarm state to failed or back from failed (a first pass
    // after the service was unknown is no change); `detail` is the check's detail text.
    void serviceStateChanged(int serviceId, bool failed, const QString& detail);

private:
    void checkDone(ThreadCheck* check);
    // The claims of the tick: the first pass right after the due services are read, the second
    // a few seconds later. Each queues the checks of the services newly claimed.
    void claimFirst();
    void claimLeftovers();
    void queueClaimed(const QHash<int, QString>& claims);
    void heartbeat();
    // Stores a final result with the service's alarm state, read locked and decided in the same
    // transaction, so that two monitors never both send the same alarm. Gives the action
    // decided; `state` and `before` are the state after and before it.
    AlarmAction storeFinal(ThreadCheck* check, ServiceAlarmState* state, ServiceAlarmState* before);
    // The part of storing a result the window sees: the cells, the kept detail, a retry.
    void showResult(ThreadCheck* check, const QString& timestamp);
    // Stores a result that moves no alarm state in the service row (and settles its claim).
    void storeResult(ThreadCheck* check, const QString& timestamp);
    // Sends the problem alarm of a failed check, its reminder or its recovery notice.
    void raiseAlarms(const ThreadCheck& check, const QString& timestamp, const QString& text,
                     const QString& subject = QString());
    // An alarm handed to the pool, kept until it is sent or given up, so that a delivery that
    // failed for a passing reason can be tried again.
    struct AlarmDelivery
    {
        QString Timestamp;
        QString Text;
        QString Recipient;
        QString Method;
        QString Subject;
        int Retries = 0;     // tries again so far
        qlonglong RowId = 0; // its alarm_delivery row; 0 when it could not be stored
    };
    // Shows the state of a delivery in its list row and stores it in its alarm_delivery row.
    void setDeliveryStatus(const AlarmDelivery& delivery, const QString& listId, const QString& status);
    // Console role: the service list and the alarm-message list read again from the database.
    void refreshConsole();
    // Builds and queues one delivery; its row in the alarm-message list is `listId` (0: a new row).
    // Returns the item's Id, 0 when nothing was queued.
    int queueDelivery(const AlarmDelivery& delivery, const QString& listId);
    // Stores one service's alarm state on its own; errors are reported, not thrown.
    void storeAlarmState(int serviceId, const ServiceAlarmState& state);
    // One ERROR line naming a result that could not be stored, with the server's (or, while the
    // connection is lost, the connection's) text.
    void resultNotStored(const ThreadCheck& check, const QString& error);
    // Writes the Current Status cell of a listed service; a "Failed" cell carries the last
    // result detail as its tool tip.
    void setStatusCell(const QString& serviceId, const QString& text);
    // A result text with what the alarm state adds to it: "Failed (acknowledged)", "Passed (muted
    // until 14:30)". Other texts ("Process", "Retry") stay as they are.
    QString markedStatus(int serviceId, const QString& text) const;
    void alarmDone(ThreadAlarm* alarm);
    void setServiceStatusOfSelected(const QString& status);
    void sortList(TextTableModel& list, int column);
    void createPool();
    // After a failed statement (`error` the server's text): true when the connection is gone,
    // which is found out by a probe and reported by one ERROR line; nothing more is reported
    // until it is back.
    bool connectionLost(const QString& error);
    // After a failed statement: the loss of the connection (once), or one ERROR line
    // "`what` : `error`".
    void statementFailed(const QString& what, const QString& error);
    // The text to report for a failed statement: the connection's own error while it is lost.
    QString failureText(const QString& error) const;
    // At a tick while the connection is lost: one quiet attempt to connect again; true when back.
    bool reconnect();
    // The wait before retry `n` (1, 2, ...) of an alarm delivery: 30 s, 2 min, 5 min, then 5 min.
    static int deliveryRetryDelayMs(int n);
    // What the cycle reads from the database when it starts: the alarm methods, the host tree
    // and the service list.
    void loadCycleData();
    // The network self-check: pings the reference hosts and holds the tick's services until all
    // have answered; false when no reference host is set or a round is still running (then the
    // services are queued at once, judged by the last round).
    bool startReferenceRound(std::vector<ServiceRecord>& services);
    void referenceDone(const ThreadCheck& check);
    void queueServices(std::vector<ServiceRecord>& services);
    // Marks a final failure of a tick whose reference hosts all failed: it is recorded as unknown
    // and raises nothing. False when the network answered.
    bool maskNoNetwork(ThreadCheck& check);
    // The longest time an executing check or alarm may still take, for the closing wait.
    int longestItemTimeMs() const;
    // Keeps the result of a scheduled check for the next flush and shows its response time.
    void keepResult(const ThreadCheck& check);
    void paintUptime();
    void runHouseKeepSlice();

    enum class HouseKeepPhase
    {
        Idle,
        FindOpenDays,
        CloseDays,
        DeleteResults,
        DeleteAlarmHistory
    };
    struct HouseKeepJob
    {
        HouseKeepPhase phase = HouseKeepPhase::Idle;
        QList<QPair<int, QDate>> openDays;
        QDateTime resultCutoff;
        QString alarmCutoff;
    };

    QTimer m_timerInit;      // TimerInit, 3000 ms, once: starts the cycle
    QTimer m_timerService;   // TimerService, 60000 ms: the minute tick, on exactly while scheduling runs
    QTimer m_timer;          // Timer, 6000 ms: the weekly monitoring window
    QTimer m_timerHouseKeep; // TimerHouseKeep, 3600000 ms: log housekeeping
    bool m_cycleEnabled = false;
    bool m_loginPending = false;
    bool m_schedulingStopped = true;
    bool m_closing = false;    // ShutDown has begun: no ticks, nothing new queued
    bool m_destroying = false; // the pool is being destroyed
    bool m_databaseLost = false;
    bool m_unattended = false;
    bool m_startConnectPending = false; // unattended, and never connected since StartUp
    QString m_lostText;                 // the connection's last error while it is lost
    int m_inFlight = 0;                 // items queued and not yet handed back
    int m_poolMaxRunning = 0;           // the pool's running limit as last set
    int m_waitedTooLong = 0;            // checks given up for their wait since the last tick

    TextTableModel m_serviceList;
    TextTableModel m_alarmList;
    QStringListModel m_hostTree;
    QString m_filter = QStringLiteral("ALL");
    QVector<bool> m_sortDescending;
    QHash<QString, QString> m_failedDetail;      // the last detail of each service whose check failed
    QHash<int, ServiceAlarmState> m_alarmStates; // read at the cycle's start, kept with each result
    QHash<int, AlarmDelivery> m_deliveries;      // by pool item Id, until the item comes back
    bool m_console = false;           // the role taken at the cycle's start: a console checks nothing
    qlonglong m_consoleClearedId = 0; // console: deliveries up to this id were cleared from the list
    struct ReferenceRound
    {
        int Pending = 0; // reference pings not yet back
        int Failed = 0;
        int Total = 0;
        bool AllFailed = false;                  // the last finished round: no reference host answered
        bool NetworkLost = false;                // failures are being held as "no network"
        std::vector<ServiceRecord> HeldServices; // the tick's due services, queued once it is decided
    } m_reference;
    std::unique_ptr<ThreadPoolManager> m_pool;

    // Shared scheduling (SetSharedScheduling).
    QString m_instanceName; // empty: this monitor checks every due service itself
    QString m_version;
    QTimer m_timerHeartbeat;
    QTimer m_timerClaimLater;
    QDateTime m_claimMinute;                      // the minute of the last tick's claims
    QHash<int, ServiceRecord> m_dueOfMinute;      // its due services, by id, built for checking
    QSet<int> m_queuedOfMinute;                   // those queued by this monitor
    QHash<int, QDateTime> m_claimOfService;       // the claim each queued check settles
    std::vector<CheckResultRow> m_pendingResults; // results not yet stored
    QTimer m_uptimeAfterStore;                    // single shot: the uptime column once results are stored
    QTimer m_resultFlush;                         // single shot, 200 ms after a burst's first result
    std::unique_ptr<ResultWriter> m_resultWriter; // stores the results on a thread of its own
    bool m_resultLossReported = false;            // results left at the end were reported
    QHash<int, UptimeCount> m_uptime;             // the last 24 hours' results by service
    qint64 m_uptimeLastId = -1;                   // the highest result id counted; -1: read it all again
    QDateTime m_uptimeSince;                      // where the counted window begins
    HouseKeepJob m_houseKeep;
};
