#include "monitor/MonitorEngine.h"

#include "alarms/ThreadAlarm.h"
#include "alarms/ThreadSMTPUnit.h"
#include "checks/ThreadCheck.h"
#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "database/AlarmDeliveryStore.h"
#include "database/AlarmHistory.h"
#include "database/AlarmMethodLoader.h"
#include "database/ClaimStore.h"
#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "database/ResultStore.h"
#include "database/ResultWriter.h"
#include "database/ServiceStore.h"
#include "database/WeeklyWindowStore.h"
#include "database/dbcomFunc.h"
#include "monitor/AlarmBuilders.h"
#include "monitor/AlarmDecision.h"
#include "monitor/CheckBuilders.h"
#include "monitor/TestRunner.h"
#include "monitor/TlsPolicy.h"
#include "pool/ThreadPoolManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostInfo>
#include <QMap>
#include <QVariant>

#include <algorithm>

namespace {

const QString kTimestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// Results are gathered for this long after the first of a burst, then stored with one insert.
constexpr int kResultFlushMs = 200;
// The longest wait for the result writer when the results must be stored (closing).
constexpr int kResultStoreWaitMs = 15000;
constexpr qint64 kUptimeWindowSecs = 24 * 3600;

QString responseText(int ms)
{
    return QString::number(ms) + QStringLiteral(" ms");
}
// The engine's own lines for a lost and a restored database connection.
const char* const kConnectionLost = "Database connection lost";
const char* const kConnectionBack = "Database connection is back.";
// The closing wait also allows for what a slow peer adds to an item's own time-outs.
constexpr int kClosingSlackMs = 30000;
// How long the alarms sent are kept for a console when the alarm history keeps no days of its own.
constexpr int kDeliveryKeepDays = 31;
// The longest an item waits for a free worker before it is given up.
constexpr int kMaxWaitSeconds = 300;

// The heartbeat comes every third of a tick; a monitor whose heartbeat is older than one and a half
// ticks is gone (20 s and 90 s with the minute tick).
int heartbeatMs(int tickMs)
{
    return std::max(100, tickMs / 3);
}
int staleSeconds(int tickMs)
{
    return std::max(1, tickMs * 3 / 2000);
}
// The wait before the second pass of the claims, and the lateness allowed to another monitor's
// tick before it counts as overdue (5 s with the minute tick).
int claimLaterMs(int tickMs)
{
    return std::max(1000, tickMs / 12);
}

// The rank of a monitor for a service: each service goes first to the live monitor with the
// highest value, the same on every host (FNV-1a over the name and the id, then mixed).
quint64 claimRank(const QString& instance, int serviceId)
{
    quint64 h = 1469598103934665603ULL;
    const QByteArray key = instance.toUtf8() + '#' + QByteArray::number(serviceId);
    for (const char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    // The last characters alone barely reach the high bits: a final mix spreads them, so that
    // each monitor ranks first for its share of the services.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

QString firstRanked(const QStringList& instances, int serviceId)
{
    QString best;
    quint64 bestRank = 0;
    for (const QString& name : instances) {
        const quint64 rank = claimRank(name, serviceId);
        if (best.isEmpty() || rank > bestRank || (rank == bestRank && name < best)) {
            best = name;
            bestRank = rank;
        }
    }
    return best;
}

// A check the pool gave up because it waited longer than kMaxWaitSeconds for a free worker.
bool waitedTooLong(const PoolWorkItem& item)
{
    return item.Status == PoolWorkItem::StatusRefused &&
           item.ErrorText == QLatin1String(PoolWorkItem::WaitTimeExceededText);
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

} // namespace

MonitorEngine::MonitorEngine(QObject* parent)
    : QObject(parent),
      m_serviceList({QString(), QStringLiteral("Service"), QStringLiteral("IP"), QStringLiteral("Port"),
                     QStringLiteral("Current Status"), QStringLiteral("Last Accessed"), QStringLiteral("By"),
                     QStringLiteral("Interval"), QStringLiteral("Status"), QStringLiteral("Response"),
                     QStringLiteral("Uptime 24h")}),
      m_alarmList({QString(), QStringLiteral("DateTime"), QStringLiteral("Message"),
                   QStringLiteral("Alarm Methods"), QStringLiteral("Alarm SMS / Email / IP"),
                   QStringLiteral("Status")}),
      m_sortDescending(16, false)
{
    m_timerInit.setInterval(3000);
    m_timerService.setInterval(60000);
    m_timer.setInterval(6000);
    m_timerHouseKeep.setInterval(3600000);
    connect(&m_timerInit, &QTimer::timeout, this, &MonitorEngine::TimerInitTimer);
    connect(&m_timerService, &QTimer::timeout, this, &MonitorEngine::TimerServiceTimer);
    connect(&m_timer, &QTimer::timeout, this, &MonitorEngine::TimerTimer);
    connect(&m_timerHouseKeep, &QTimer::timeout, this, &MonitorEngine::TimerHouseKeepTimer);
    m_timerClaimLater.setSingleShot(true);
    connect(&m_timerHeartbeat, &QTimer::timeout, this, &MonitorEngine::heartbeat);
    connect(&m_timerClaimLater, &QTimer::timeout, this, &MonitorEngine::claimLeftovers);
    m_serviceList.setNumericColumns({SvcResponse, SvcUptime});
    m_resultFlush.setSingleShot(true);
    m_resultFlush.setInterval(kResultFlushMs);
    connect(&m_resultFlush, &QTimer::timeout, this, &MonitorEngine::HandResults);
    m_resultWriter = std::make_unique<ResultWriter>();
    // The writer's thread reports here, on the engine's thread.
    connect(
        m_resultWriter.get(), &ResultWriter::storeFailed, this,
        [this](const QString& error, int rows, bool kept) {
            if (kept)
                WriteSystemLog(
                    QStringLiteral("Storing check results: the database does not answer, %1 results "
                                   "are kept queued until it does : %2")
                        .arg(rows)
                        .arg(error),
                    LogLevel::ERROR);
            else
                statementFailed(QStringLiteral("Storing %1 check results").arg(rows), error);
        },
        Qt::QueuedConnection);
    connect(
        m_resultWriter.get(), &ResultWriter::storeResumed, this,
        [](int rows) {
            WriteSystemLog(
                QStringLiteral(
                    "Storing check results: the database answers again, %1 queued results are stored")
                    .arg(rows),
                LogLevel::INFORMATIONAL);
        },
        Qt::QueuedConnection);
    // The uptime column counts what is stored: it follows each burst once it is, not only the
    // next tick (a second's wait gathers the batches of one burst).
    m_uptimeAfterStore.setSingleShot(true);
    m_uptimeAfterStore.setInterval(1000);
    connect(&m_uptimeAfterStore, &QTimer::timeout, this, [this] {
        if (!m_databaseLost && !m_destroying)
            RefreshUptime();
    });
    connect(
        m_resultWriter.get(), &ResultWriter::batchStored, this,
        [this](int) {
            if (!m_uptimeAfterStore.isActive())
                m_uptimeAfterStore.start();
        },
        Qt::QueuedConnection);
    connect(
        m_resultWriter.get(), &ResultWriter::queueFull, this,
        [](int bound) {
            WriteSystemLog(QStringLiteral("Storing check results: %1 results wait for the database, the most "
                                          "that are kept; newer results are dropped until it answers")
                               .arg(bound),
                           LogLevel::ERROR);
        },
        Qt::QueuedConnection);
}

void MonitorEngine::SetSharedScheduling(const QString& name, const QString& version)
{
    m_instanceName = name;
    m_version = version;
}

QString MonitorEngine::DefaultInstanceName()
{
    if (!AppSettings.EngineName.isEmpty())
        return AppSettings.EngineName;
    return QHostInfo::localHostName() + QLatin1Char(':') + AppSettings.SettingsFilePath;
}

void MonitorEngine::heartbeat()
{
    if (m_instanceName.isEmpty() || m_databaseLost || m_closing)
        return;
    try {
        ClaimStore::Heartbeat(m_instanceName, QHostInfo::localHostName(), QCoreApplication::applicationPid(),
                              m_version, m_timerService.interval());
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Shared scheduling: the heartbeat"), e.text());
    }
}

MonitorEngine::~MonitorEngine()
{
    DestroyPool();
}

void MonitorEngine::DestroyPool()
{
    m_destroying = true;
    m_pool.reset();
    // What came back while the pool ended is stored with the rest; what the database did not
    // take by now is said once (the writer gives it up when it ends).
    if (!FlushResults() && !m_resultLossReported) {
        m_resultLossReported = true;
        WriteSystemLog(QStringLiteral("Storing check results: %1 results could not be stored before the end")
                           .arg(PendingResultCount()),
                       LogLevel::ERROR);
    }
    m_destroying = false;
}

int MonitorEngine::ExecutingCount() const
{
    return m_pool ? m_pool->ExecutingCount() : 0;
}

// ---- start-up and closing --------------------------------------------------------------------

void MonitorEngine::StartUp()
{
    if (m_unattended) {
        QString failure;
        const bool connected = ConnectOrCreateDatabase(&failure) != LoginConnectResult::Failed;
        m_loginPending = false;
        m_startConnectPending = !connected;
        m_databaseLost = !connected;
        m_lostText = failure;
        WriteSystemLog(QString::fromLatin1(lang::ApplicationStarts), LogLevel::INFORMATIONAL);
        if (!connected)
            WriteSystemLog(QString::fromLatin1(lang::ERR00101) + QStringLiteral(" : ") + failure,
                           LogLevel::ERROR);
    } else {
        m_loginPending = ConnectOrCreateDatabase() == LoginConnectResult::Failed;
    }
    m_timerInit.setInterval(3000);
    m_timerInit.start();
    m_timer.start();
    m_timerHouseKeep.start();
}

void MonitorEngine::LoginSucceeded()
{
    m_loginPending = false;
    m_timerInit.setInterval(3000);
    m_timerInit.start();
}

int MonitorEngine::longestItemTimeMs() const
{
    const AppSettingsRecord& s = AppSettings;
    const AlarmMethodSettingsRecord& a = AlarmMethodSettings;
    int longest = 0;
    for (int t : {s.HTTPDefaultTimeout, s.PingDefaultTimeout, s.FTPDefaultTimeout, s.EmailDefaultTimeout,
                  s.TCPDefaultTimeout, s.DNSDefaultTimeout, s.CertDefaultTimeout, a.EmailMethod.timeout,
                  a.SmsMethod.timeout, a.HttpSmsMethod.timeout, a.SysLogMethod.timeout})
        longest = std::max(longest, t > 0 ? t : 5000);
    return longest;
}

void MonitorEngine::ShutDown()
{
    if (m_closing)
        return;
    m_closing = true;
    if (m_pool && m_inFlight > 0) {
        const bool executing = m_pool->ExecutingCount() > 0;
        if (executing) {
            m_pool->CancelAll();
            emit closingWait(true);
        }
        // Until every item queued so far has come back and been handled, so the results of the
        // checks that ran are stored. The event loop keeps turning (windows are painted, hand-backs
        // arrive); input is held back. Bounded by the longest time an item may still take.
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        QTimer look;
        connect(&look, &QTimer::timeout, &loop, [this, &loop] {
            if (m_inFlight <= 0)
                loop.quit();
        });
        bound.start(longestItemTimeMs() * 2 + kClosingSlackMs);
        look.start(10);
        if (m_inFlight > 0)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (executing)
            emit closingWait(false);
    }
    FlushResults();
    SetScheduling(false);
}

// ---- database connection -----------------------------------------------------------------------

QString MonitorEngine::failureText(const QString& error) const
{
    return m_databaseLost && !m_lostText.isEmpty() ? m_lostText : error;
}

bool MonitorEngine::connectionLost(const QString& error)
{
    if (m_databaseLost)
        return true;
    bool alive = false;
    try {
        alive = DMQuorvel().Answers();
    } catch (...) {
    }
    if (alive)
        return false;
    m_databaseLost = true;
    m_lostText = error;
    WriteSystemLog(QString::fromLatin1(kConnectionLost) + QStringLiteral(" : ") + error, LogLevel::ERROR);
    return true;
}

void MonitorEngine::statementFailed(const QString& what, const QString& error)
{
    if (!connectionLost(error))
        WriteSystemLog(what + QStringLiteral(" : ") + error, LogLevel::ERROR);
}

bool MonitorEngine::reconnect()
{
    if (!m_databaseLost)
        return true;
    QString failure;
    try {
        // Never connected since the start: the database may still have to be created.
        const bool connected = m_startConnectPending
                                   ? ConnectOrCreateDatabase(&failure) != LoginConnectResult::Failed
                                   : DMQuorvel().ConnectDatabase(false, &failure);
        if (!connected) {
            if (!failure.isEmpty())
                m_lostText = failure;
            return false;
        }
    } catch (const std::exception& e) {
        m_lostText = QString::fromUtf8(e.what());
        return false;
    }
    m_databaseLost = false;
    m_lostText.clear();
    WriteSystemLog(QString::fromLatin1(kConnectionBack), LogLevel::INFORMATIONAL);
    if (m_startConnectPending) {
        m_startConnectPending = false;
        loadCycleData();
    }
    return true;
}

// ---- timers --------------------------------------------------------------------------------

void MonitorEngine::createPool()
{
    m_pool = std::make_unique<ThreadPoolManager>();
    // Every check is admitted: the waiting list is bounded by the waiting time alone.
    m_poolMaxRunning = AppSettings.PoolMaxRunning;
    m_pool->MaxPooled(m_poolMaxRunning);
    m_pool->MaxQueueLength(0);
    m_pool->MaxQueuedTime(kMaxWaitSeconds);
    m_pool->SetOnWorkItemDone(
        [this](ThreadPoolManager* pool, PoolWorkItem* item) { WorkItemDone(pool, item); });
    m_pool->SetOnError(
        [this](ThreadPoolManager* pool, int code, const QString& t) { PoolError(pool, code, t); });
}

void MonitorEngine::TimerInitTimer()
{
    m_timerInit.stop();
    if (m_loginPending) {
        emit loginRequested();
        return;
    }
    emit commandsUnlocked();
    if (!m_pool) {
        try {
            createPool();
        } catch (const std::exception& e) {
            ApplicationEventsException(QString::fromUtf8(e.what()));
            return;
        }
    }
    // Without the database at an unattended start, this waits for the connection.
    if (!m_startConnectPending)
        loadCycleData();
    m_console = AppSettings.ConsoleRole;
    if (m_console) {
        // A console follows the database at every minute tick and checks nothing itself.
        m_schedulingStopped = true;
        if (!m_timerService.isActive())
            m_timerService.start();
        m_cycleEnabled = true;
        emit statusMessage(QString::fromLatin1(lang::ConsoleStatus));
        refreshConsole();
        emit cycleStarted();
        return;
    }
    SetScheduling(AppSettings.InitStart);
    m_cycleEnabled = true;
    TimerServiceTimer();
    emit cycleStarted();
}

void MonitorEngine::loadCycleData()
{
    if (!m_instanceName.isEmpty()) {
        try {
            ClaimStore::Register(m_instanceName, QHostInfo::localHostName(),
                                 QCoreApplication::applicationPid(), m_version, m_timerService.interval());
        } catch (const DatabaseError& e) {
            statementFailed(QStringLiteral("Shared scheduling: registering this monitor"), e.text());
        }
        m_timerHeartbeat.start(heartbeatMs(m_timerService.interval()));
    }
    try {
        LoadAlarmMethods();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromUtf8(e.what()));
    }
    try {
        m_alarmStates = AlarmStateStore::ReadAll();
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Reading the alarm state of the services"), e.text());
    }
    FillHostTree();
    FillServiceList(QStringLiteral("ALL"));
}

void MonitorEngine::TimerServiceTimer()
{
    if (m_waitedTooLong > 0) {
        WriteSystemLog(
            QStringLiteral("%1 checks waited longer than %2 s").arg(m_waitedTooLong).arg(kMaxWaitSeconds),
            LogLevel::WARMING);
        m_waitedTooLong = 0;
    }
    // A reloaded settings file may have changed the running limit.
    if (m_pool && m_poolMaxRunning != AppSettings.PoolMaxRunning) {
        m_poolMaxRunning = AppSettings.PoolMaxRunning;
        m_pool->MaxPooled(m_poolMaxRunning);
    }
    if (m_closing || !reconnect())
        return;
    if (m_console) {
        refreshConsole();
        return;
    }
    const char* step = "Scheduler: selecting the due services";
    try {
        const QDateTime now = Now();
        const QString hh = now.toString(QStringLiteral("HH"));
        const QString mm = now.toString(QStringLiteral("mm"));
        // The rows first, then the request data of all due URL services in two statements
        // rather than two per service, and the options of the TCP and DNS ones in one. When that
        // data cannot be read, nothing is queued: a check without it would probe something else.
        std::vector<ServiceRecord> services = ServiceStore::DueServices(hh, mm);
        QList<int> urlIds;
        for (const ServiceRecord& service : services) {
            if (service.Service == QLatin1String(lang::KindURL))
                urlIds << service.Id;
        }
        step = "Scheduler: reading the request data of the due URL services";
        const QHash<int, ServiceUrlRequest> requests = LoadUrlRequests(urlIds);
        step = "Scheduler: reading the options of the due TCP, DNS and Certificate services";
        LoadCheckOptions(services);
        // Kinds this build does not know (rows written by another build) are skipped, with one
        // warning per kind and tick however many rows have it, whoever would have claimed them.
        QMap<QString, int> unknownKinds;
        for (const ServiceRecord& service : services) {
            if (!FindCheckKind(service.Service) && service.Service != QLatin1String(lang::KindDatabase))
                ++unknownKinds[service.Service]; // "Database" is never probed; anything else is unknown here
        }
        for (auto it = unknownKinds.constBegin(); it != unknownKinds.constEnd(); ++it)
            WriteSystemLog(QStringLiteral("Scheduler: the service kind \"%1\" is not known to this program; "
                                          "%2 due service(s) of it not checked")
                               .arg(BlankControls(it.key()).left(40))
                               .arg(it.value()),
                           LogLevel::WARMING);
        step = "Scheduler: queueing a due service";
        if (!m_instanceName.isEmpty()) {
            // Only what this monitor claims for the tick's minute is checked here.
            const int tickMs = std::max(1, m_timerService.interval());
            const qint64 at = now.toMSecsSinceEpoch();
            m_claimMinute = QDateTime::fromMSecsSinceEpoch(at - at % tickMs);
            m_dueOfMinute.clear();
            m_queuedOfMinute.clear();
            for (ServiceRecord& service : services) {
                service.UrlRequest = requests.value(service.Id);
                m_dueOfMinute.insert(service.Id, service);
            }
            step = "Scheduler: claiming the due services";
            claimFirst();
            return;
        }
        for (ServiceRecord& service : services) {
            // The service list keeps the user's selection (and so its scroll position) while
            // the cycle writes its cells.
            m_serviceList.updateCellOfId(QString::number(service.Id), SvcCurrentStatus,
                                         QString::fromLatin1(lang::CheckProcess));
            service.UrlRequest = requests.value(service.Id);
        }
        if (!startReferenceRound(services))
            queueServices(services);
    } catch (const DatabaseError& e) {
        statementFailed(QString::fromLatin1(step), e.text());
    } catch (const std::exception& e) {
        // The rows not yet handled wait for the next tick.
        WriteSystemLog(QString::fromLatin1(step) + QStringLiteral(" : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
    }
    if (!m_databaseLost)
        RefreshUptime();
}

void MonitorEngine::queueServices(std::vector<ServiceRecord>& services)
{
    for (const ServiceRecord& service : services) {
        const CheckKind* kind = FindCheckKind(service.Service);
        if (!kind)
            continue; // "Database" and anything else: nothing is probed
        QueueWorkItem(
            kind->Build(service, ProductCheckSettings(*kind, AppSettings, AppSettings.*kind->RetrySetting)));
    }
    services.clear();
}

bool MonitorEngine::startReferenceRound(std::vector<ServiceRecord>& services)
{
    const QStringList& hosts = AppSettings.Rules.ReferenceHosts;
    if (hosts.isEmpty() || m_reference.Pending > 0 || services.empty())
        return false;
    const CheckKind* ping = FindCheckKind(QString::fromLatin1(lang::KindPing));
    if (!ping)
        return false;
    m_reference.Failed = 0;
    m_reference.Total = 0;
    m_reference.HeldServices = std::move(services);
    services.clear();
    for (const QString& host : hosts) {
        ServiceRecord record;
        record.Service = QString::fromLatin1(lang::KindPing);
        record.Ip = host;
        // One try: a reference host that does not answer at once counts as failed.
        std::unique_ptr<ThreadCheck> check = ping->Build(record, ProductCheckSettings(*ping, AppSettings, 0));
        check->Origin = QString::fromLatin1(lang::OriginReference);
        if (QueueWorkItem(std::move(check)) != 0) {
            ++m_reference.Pending;
            ++m_reference.Total;
        }
    }
    if (m_reference.Pending == 0) {
        // No ping could be queued: the services go as they are.
        services = std::move(m_reference.HeldServices);
        m_reference.HeldServices.clear();
        return false;
    }
    return true;
}

void MonitorEngine::referenceDone(const ThreadCheck& check)
{
    if (m_reference.Pending <= 0)
        return;
    // A ping the pool never ran says nothing about the network: only a real failure counts.
    if (check.Status == PoolWorkItem::StatusDone && !check.Passed)
        ++m_reference.Failed;
    if (--m_reference.Pending > 0)
        return;
    m_reference.AllFailed = m_reference.Failed == m_reference.Total;
    if (!m_reference.AllFailed && m_reference.NetworkLost) {
        m_reference.NetworkLost = false;
        WriteSystemLog(QStringLiteral("Network self-check : a reference host answers again; failures raise "
                                      "their alarms again."),
                       LogLevel::INFORMATIONAL);
    }
    if (!m_closing && !m_destroying)
        queueServices(m_reference.HeldServices);
    else
        m_reference.HeldServices.clear();
}

bool MonitorEngine::maskNoNetwork(ThreadCheck& check)
{
    if (!m_reference.AllFailed || AppSettings.Rules.ReferenceHosts.isEmpty())
        return false;
    if (!m_reference.NetworkLost) {
        m_reference.NetworkLost = true;
        WriteSystemLog(QStringLiteral("Network self-check : no reference host answers (") +
                           AppSettings.Rules.ReferenceHosts.join(QStringLiteral(", ")) +
                           QStringLiteral("); failures raise no alarm until one answers again."),
                       LogLevel::WARMING);
    }
    check.ResultText = QString::fromLatin1(lang::CheckUnknown);
    check.ResultDetail = QStringLiteral("[%1:%2] ").arg(check.Host).arg(check.Port) +
                         QString::fromLatin1(lang::NoNetworkDetail);
    return true;
}

void MonitorEngine::refreshConsole()
{
    try {
        m_alarmStates = AlarmStateStore::ReadAll();
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Console: reading the alarm state of the services"), e.text());
        return;
    }
    FillServiceList(m_filter);
    try {
        const std::vector<AlarmDeliveryRow> rows =
            AlarmDeliveryStore::Newest(std::max(AppSettings.ShowLogItem, 1), m_consoleClearedId);
        m_alarmList.clear();
        for (const AlarmDeliveryRow& row : rows)
            m_alarmList.appendRow(
                {QString::number(row.Id), row.SentAt, row.Message, row.Method, row.Recipient, row.Status});
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Console: reading the alarms sent"), e.text());
    }
}

void MonitorEngine::claimFirst()
{
    const int tickMs = std::max(1, m_timerService.interval());
    try {
        ClaimStore::Ticked(m_instanceName);
        // The monitors that tick: live, and not overdue with their tick; this one always.
        QStringList ranked{m_instanceName};
        for (const ClaimStore::Instance& i : ClaimStore::Instances(staleSeconds(tickMs))) {
            if (i.Name != m_instanceName && i.Live && i.MsSinceTick >= 0 &&
                i.MsSinceTick < i.TickMs + claimLaterMs(i.TickMs))
                ranked << i.Name;
        }
        QList<int> mine;
        for (auto it = m_dueOfMinute.constBegin(); it != m_dueOfMinute.constEnd(); ++it) {
            if (firstRanked(ranked, it.key()) == m_instanceName)
                mine << it.key();
        }
        std::sort(mine.begin(), mine.end());
        ClaimStore::Claim(m_claimMinute, m_instanceName, mine);
        ClaimStore::TakeOverStale(m_claimMinute, m_instanceName, staleSeconds(tickMs));
        queueClaimed(ClaimStore::Claims(m_claimMinute));
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Shared scheduling: claiming the due services"), e.text());
    }
    // The second pass, for what is left (with one monitor alone there is nothing).
    if (m_queuedOfMinute.size() < m_dueOfMinute.size())
        m_timerClaimLater.start(claimLaterMs(tickMs));
}

void MonitorEngine::claimLeftovers()
{
    if (m_closing || m_databaseLost || m_instanceName.isEmpty())
        return;
    const int tickMs = std::max(1, m_timerService.interval());
    try {
        ClaimStore::TakeOverStale(m_claimMinute, m_instanceName, staleSeconds(tickMs));
        const QHash<int, QString> claims = ClaimStore::Claims(m_claimMinute);
        // Another monitor keeps its share when its next tick falls in what is left of the minute.
        const qint64 left = m_claimMinute.toMSecsSinceEpoch() + tickMs - Now().toMSecsSinceEpoch();
        QStringList ranked{m_instanceName};
        QSet<QString> expected;
        for (const ClaimStore::Instance& i : ClaimStore::Instances(staleSeconds(tickMs))) {
            if (i.Name == m_instanceName || !i.Live || i.MsSinceTick < 0)
                continue;
            const qint64 untilNext = i.TickMs - i.MsSinceTick;
            if (i.MsSinceTick < i.TickMs + claimLaterMs(i.TickMs))
                ranked << i.Name;
            if (untilNext > -claimLaterMs(i.TickMs) && untilNext < left)
                expected.insert(i.Name);
        }
        QList<int> take;
        for (auto it = m_dueOfMinute.constBegin(); it != m_dueOfMinute.constEnd(); ++it) {
            if (!claims.contains(it.key()) && !expected.contains(firstRanked(ranked, it.key())))
                take << it.key();
        }
        std::sort(take.begin(), take.end());
        if (!take.isEmpty())
            ClaimStore::Claim(m_claimMinute, m_instanceName, take);
        queueClaimed(take.isEmpty() ? claims : ClaimStore::Claims(m_claimMinute));
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Shared scheduling: claiming what is left"), e.text());
    }
}

void MonitorEngine::queueClaimed(const QHash<int, QString>& claims)
{
    QList<int> ids;
    for (auto it = claims.constBegin(); it != claims.constEnd(); ++it) {
        if (it.value() == m_instanceName && m_dueOfMinute.contains(it.key()) &&
            !m_queuedOfMinute.contains(it.key()))
            ids << it.key();
    }
    std::sort(ids.begin(), ids.end());
    std::vector<ServiceRecord> claimed;
    for (int id : ids) {
        m_queuedOfMinute.insert(id);
        const ServiceRecord& service = m_dueOfMinute[id];
        m_serviceList.updateCellOfId(QString::number(id), SvcCurrentStatus,
                                     QString::fromLatin1(lang::CheckProcess));
        const CheckKind* kind = FindCheckKind(service.Service);
        if (!kind) {
            // Nothing is probed: the claim is settled at once.
            try {
                DMQuorvel().ExecUpdate(ClaimStore::DoneStatement(id, m_claimMinute, m_instanceName));
            } catch (const DatabaseError& e) {
                statementFailed(QStringLiteral("Shared scheduling: settling a claim"), e.text());
            }
            continue;
        }
        m_claimOfService.insert(id, m_claimMinute);
        claimed.push_back(service);
    }
    // Claimed services go through the network self-check like those of a monitor alone.
    if (!startReferenceRound(claimed))
        queueServices(claimed);
}

void MonitorEngine::TimerTimer()
{
    // A console has no schedule of its own: the monitoring service follows the weekly window.
    if (m_console)
        return;
    // While the connection is lost, the window tries to get it back as the minute tick does
    // (scheduling may be off, and only the window switches it on again).
    if (!m_cycleEnabled || m_closing || !reconnect())
        return;
    try {
        const QDateTime now = Now();
        const std::optional<WeeklyWindowStore::HourRow> row = WeeklyWindowStore::ReadHour(now.time().hour());
        const QString value = row ? row->Days[now.date().dayOfWeek() - 1] : QStringLiteral("no");
        if (value == QLatin1String("yes") && !m_timerService.isActive())
            SetScheduling(true);
        else if (value == QLatin1String("no") && m_timerService.isActive())
            SetScheduling(false);
    } catch (const DatabaseError& e) {
        // Nothing changes; the next pass tries again.
        statementFailed(QStringLiteral("Weekly monitoring window: reading the current hour"), e.text());
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Weekly monitoring window : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
    }
}

void MonitorEngine::TimerHouseKeepTimer()
{
    try {
        HouseKeepLogFiles();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromUtf8(e.what()));
    }
    try {
        if (!m_console)
            AlarmDeliveryStore::DeleteOlderThan(AppSettings.AlarmMsgDBHouseKeepDay > 0
                                                    ? AppSettings.AlarmMsgDBHouseKeepDay
                                                    : kDeliveryKeepDays);
        if (!m_instanceName.isEmpty())
            ClaimStore::DeleteOld();
    } catch (const DatabaseError& e) {
        // A lost connection is reported once, as everywhere in the cycle; any other failure of
        // the delete goes to the error hook.
        if (!connectionLost(e.text()))
            ApplicationEventsException(e.text());
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromUtf8(e.what()));
    }
    // The database's part runs in slices, each on a turn of the event loop of its own, so that
    // a large delete never holds up the minute tick or the window. A run still going on (more
    // than an hour of slices) is not begun again.
    if (m_closing || m_houseKeep.phase != HouseKeepPhase::Idle)
        return;
    const QDateTime now = Now();
    m_houseKeep = HouseKeepJob();
    m_houseKeep.phase = HouseKeepPhase::FindOpenDays;
    m_houseKeep.resultCutoff = QDateTime(now.date().addDays(-AppSettings.ResultsKeepDays), QTime(0, 0));
    m_houseKeep.alarmCutoff = AlarmHistoryCutoff();
    QTimer::singleShot(0, this, &MonitorEngine::runHouseKeepSlice);
}

void MonitorEngine::runHouseKeepSlice()
{
    if (m_closing || m_destroying) {
        m_houseKeep.phase = HouseKeepPhase::Idle;
        return;
    }
    if (HouseKeepStep())
        QTimer::singleShot(0, this, &MonitorEngine::runHouseKeepSlice);
}

bool MonitorEngine::HouseKeepStep()
{
    HouseKeepJob& job = m_houseKeep;
    try {
        switch (job.phase) {
        case HouseKeepPhase::Idle:
            return false;
        case HouseKeepPhase::FindOpenDays:
            // Days before today whose summaries still hold running figures: the first
            // housekeeping after midnight (or after days without one) makes them exact.
            job.openDays = ResultStore::OpenDaysBefore(Now().date());
            job.phase = job.openDays.isEmpty() ? HouseKeepPhase::DeleteResults : HouseKeepPhase::CloseDays;
            return true;
        case HouseKeepPhase::CloseDays: {
            const QPair<int, QDate> day = job.openDays.takeFirst();
            if (job.openDays.isEmpty())
                job.phase = HouseKeepPhase::DeleteResults;
            ResultStore::CloseDay(day.first, day.second);
            return true;
        }
        case HouseKeepPhase::DeleteResults:
            if (ResultStore::DeleteOlderThan(job.resultCutoff) < ResultStore::kDeleteSlice)
                job.phase = HouseKeepPhase::DeleteAlarmHistory;
            return true;
        case HouseKeepPhase::DeleteAlarmHistory:
            if (DeleteAlarmHistorySlice(job.alarmCutoff, ResultStore::kDeleteSlice) <
                ResultStore::kDeleteSlice) {
                job.phase = HouseKeepPhase::Idle;
                return false;
            }
            return true;
        }
    } catch (const DatabaseError& e) {
        // A lost connection is reported once, as everywhere in the cycle; any other failure goes
        // to the error hook. The next hour begins again.
        job.phase = HouseKeepPhase::Idle;
        if (!connectionLost(e.text()))
            ApplicationEventsException(e.text());
    } catch (const std::exception& e) {
        job.phase = HouseKeepPhase::Idle;
        ApplicationEventsException(QString::fromUtf8(e.what()));
    }
    return false;
}

void MonitorEngine::SetScheduling(bool on)
{
    m_schedulingStopped = !on;
    // A running minute timer keeps its rhythm: starting it again would skip a minute.
    if (!on)
        m_timerService.stop();
    else if (!m_timerService.isActive())
        m_timerService.start();
    emit schedulingChanged(on);
    const QString message = QString::fromLatin1(on ? lang::SchedulingStarts : lang::SchedulingStops);
    emit statusMessage(message);
    WriteSystemLog(message, LogLevel::INFORMATIONAL);
}

void MonitorEngine::ActionStartExecute()
{
    if (m_console) {
        emit statusMessage(QString::fromLatin1(lang::ConsoleStatus));
        return;
    }
    SetScheduling(true);
    m_cycleEnabled = true;
}

void MonitorEngine::ActionStopExecute()
{
    if (m_console) {
        emit statusMessage(QString::fromLatin1(lang::ConsoleStatus));
        return;
    }
    SetScheduling(false);
    m_cycleEnabled = false;
}

// ---- queueing checks -------------------------------------------------------------------------

void MonitorEngine::MenuServiceRunNowClick()
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return;
    if (m_console) {
        emit statusMessage(QString::fromLatin1(lang::ConsoleStatus));
        return;
    }
    const QString state = m_serviceList.cell(row, SvcCurrentStatus);
    if (state == QLatin1String(lang::CheckProcess) || state == QLatin1String(lang::CheckRetry)) {
        ShowInformationBox(QString::fromLatin1(lang::ServiceStillProcessing));
        return;
    }
    QueueServiceCheck(m_serviceList.cell(row, SvcId), 0);
}

void MonitorEngine::QueueServiceCheck(const QString& serviceId, int retry)
{
    if (m_closing)
        return;
    setStatusCell(serviceId, QString::fromLatin1(lang::CheckProcess));
    int id = 0;
    if (!ParseInteger(serviceId, &id))
        return; // an id is a number; nothing else goes into the statement
    try {
        QueueWorkItem(BuildServiceCheck(id, retry));
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Queueing the check of service ") + serviceId, e.text());
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Queueing the check of service ") + serviceId + QStringLiteral(" : ") +
                           QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
    }
}

std::unique_ptr<ThreadCheck> MonitorEngine::BuildServiceCheck(int serviceId, int retry)
{
    const std::optional<ServiceRecord> service = ServiceStore::Read(serviceId);
    if (!service)
        return nullptr;
    const CheckKind* kind = FindCheckKind(service->Service);
    if (!kind)
        return nullptr;
    return kind->Build(*service, ProductCheckSettings(*kind, AppSettings, retry));
}

void MonitorEngine::QueueCheck(const ServiceRecord& service, int retry)
{
    if (const CheckKind* kind = FindCheckKind(service.Service))
        QueueWorkItem(kind->Build(service, ProductCheckSettings(*kind, AppSettings, retry)));
}

int MonitorEngine::QueueWorkItem(std::unique_ptr<PoolWorkItem> item)
{
    // Nothing new starts once closing has begun.
    if (!item || !m_pool || m_closing || m_destroying)
        return 0;
    try {
        PoolWorkItem* queued = item.get();
        m_pool->QueueItem(std::move(item), 0);
        ++m_inFlight;
        return queued->Id;
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Queueing a work item : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
        return 0;
    }
}

// ---- results ---------------------------------------------------------------------------------

void MonitorEngine::WorkItemDone(ThreadPoolManager*, PoolWorkItem* item)
{
    --m_inFlight;
    try {
        if (auto* check = dynamic_cast<ThreadCheck*>(item))
            checkDone(check);
        else if (auto* alarm = dynamic_cast<ThreadAlarm*>(item))
            alarmDone(alarm);
    } catch (const std::exception& e) {
        // The rest of this hand-back is skipped; the pool destroys the item.
        if (!m_destroying)
            WriteSystemLog(QStringLiteral("Handling a finished work item : ") + QString::fromUtf8(e.what()),
                           LogLevel::ERROR);
    } catch (...) {
        if (!m_destroying)
            WriteSystemLog(QStringLiteral("Handling a finished work item : unknown error"), LogLevel::ERROR);
    }
}

QString MonitorEngine::markedStatus(int serviceId, const QString& text) const
{
    if (text != QLatin1String(lang::ResultFailed) && text != QLatin1String(lang::ResultPassed))
        return text;
    const auto it = m_alarmStates.constFind(serviceId);
    if (it == m_alarmStates.constEnd())
        return text;
    QStringList marks;
    if (text == QLatin1String(lang::ResultFailed) && it->AcknowledgedAt.isValid())
        marks << QStringLiteral("acknowledged");
    if (it->MutedUntil.isValid() && Now() < it->MutedUntil)
        marks << (it->MutedUntil.date().year() >= 9999
                      ? QStringLiteral("muted")
                      : QStringLiteral("muted until ") + it->MutedUntil.toString(QStringLiteral("HH:mm")));
    return marks.isEmpty()
               ? text
               : text + QStringLiteral(" (") + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
}

void MonitorEngine::setStatusCell(const QString& serviceId, const QString& text)
{
    m_serviceList.updateCellOfId(serviceId, SvcCurrentStatus, markedStatus(serviceId.toInt(), text));
    const QString detail =
        text == QLatin1String(lang::ResultFailed) ? m_failedDetail.value(serviceId) : QString();
    m_serviceList.setToolTipOfId(serviceId, SvcCurrentStatus, detail);
}

void MonitorEngine::resultNotStored(const ThreadCheck& check, const QString& error)
{
    connectionLost(error);
    WriteSystemLog(QStringLiteral("Result not stored : ") + check.Kind() + QStringLiteral(" [") + check.Host +
                       QStringLiteral("] [") + QString::number(check.Port) + QStringLiteral("] ") +
                       check.ResultText + QStringLiteral(" : ") + failureText(error),
                   LogLevel::ERROR);
}

void MonitorEngine::checkDone(ThreadCheck* check)
{
    const QString timestamp = Now().toString(kTimestampFormat);
    const bool product = check->Origin == QLatin1String(lang::OriginProduct);
    const QString id = QString::number(check->ServiceId);
    if (check->Origin == QLatin1String(lang::OriginReference)) {
        referenceDone(*check);
        return;
    }

    // A check the pool never ran says nothing about the service: it is reported once in the
    // system log, and neither stored, alarmed nor repeated. While closing it is dropped quietly.
    if (check->ResultText.isEmpty() && check->Status != PoolWorkItem::StatusDone) {
        if (m_closing || m_destroying)
            return;
        if (product && waitedTooLong(*check)) {
            // Not a fault of the service, but not a check either: the service is shown and stored
            // as failed with the reason, without alarms, a retry or a move of its alarm state, and
            // the tick's warning counts it.
            ++m_waitedTooLong;
            check->ResultText = QString::fromLatin1(lang::ResultFailed);
            check->ResultDetail = QStringLiteral("Not checked: waited longer than %1 s for a free worker; "
                                                 "[Pool] MaxRunning is %2.")
                                      .arg(kMaxWaitSeconds)
                                      .arg(m_poolMaxRunning);
            check->Retry = false;
            storeResult(check, timestamp);
            return;
        }
        WriteSystemLog(QStringLiteral("Check not run : ") + check->Kind() + QStringLiteral(" [") +
                           check->Host + QStringLiteral("] [") + QString::number(check->Port) +
                           QStringLiteral("] : ") + NotRunReason(*check),
                       LogLevel::WARMING);
        if (product)
            setStatusCell(id, QString());
        return;
    }

    if (product)
        keepResult(*check);

    if (m_destroying) {
        // The program ends: the service row still gets its result, nothing more happens.
        if (product) {
            try {
                DMQuorvel().ExecUpdate(ServiceStore::ResultStatement(check->ServiceId, check->ResultText));
            } catch (...) {
            }
        }
        return;
    }

    // A pass, or a failure after the check's own retry, is final: it moves the service's alarm
    // state, which decides what is sent.
    // A final failure while no reference host answers is this workstation's, not the service's:
    // it is recorded as unknown and leaves the alarm state as it was.
    const bool noNetwork = product && !check->Passed && !check->Retry && maskNoNetwork(*check);
    const bool final = product && (check->Passed || !check->Retry) && !noNetwork;
    if ((final || noNetwork) && !check->Passed) {
        try {
            WriteAlarmMessageLog(timestamp, check->Kind(), check->Host, QString::number(check->Port),
                                 check->ResultDetail, check->ResultText);
        } catch (const DatabaseError& e) {
            // The alarm history row is part of the record of a failure: without it, neither the
            // alarms nor the service row follow.
            resultNotStored(*check, e.text());
            return;
        }
    }
    if (final) {
        ServiceAlarmState state;
        ServiceAlarmState before;
        const AlarmAction action = storeFinal(check, &state, &before);
        showResult(check, timestamp);
        if (action == AlarmAction::Recovery) {
            const QString hostPort = QStringLiteral("[%1:%2]").arg(check->Host).arg(check->Port);
            raiseAlarms(*check, timestamp, RecoveryText(hostPort, before, Now()),
                        QStringLiteral("Recovery Message"));
        } else if (action == AlarmAction::Problem) {
            raiseAlarms(*check, timestamp, check->ResultDetail);
        } else if (action == AlarmAction::Reminder) {
            raiseAlarms(*check, timestamp, ReminderText(check->ResultDetail, state));
        }
        // A service's first pass is no news; a first failure, or any move to or from failed, is.
        const QLatin1String failedState(ThreadCheck::FailedText);
        if (state.State != before.State && (state.State == failedState || before.State == failedState))
            emit serviceStateChanged(check->ServiceId, state.State == failedState, check->ResultDetail);
    } else if (product)
        storeResult(check, timestamp);
}

void MonitorEngine::keepResult(const ThreadCheck& check)
{
    m_pendingResults.push_back({check.ServiceId, Now(), check.Passed, check.ResponseMs, check.ResultDetail});
    if (!m_resultFlush.isActive())
        m_resultFlush.start();
    m_uptime[check.ServiceId].LastResponseMs = check.ResponseMs;
    const int row = m_serviceList.findRow(QString::number(check.ServiceId));
    if (row >= 0)
        m_serviceList.setCell(row, SvcResponse, responseText(check.ResponseMs));
}

void MonitorEngine::HandResults()
{
    m_resultFlush.stop();
    if (m_pendingResults.empty())
        return;
    std::vector<CheckResultRow> rows;
    rows.swap(m_pendingResults);
    m_resultWriter->Enqueue(std::move(rows), CurrentDatabaseLogin());
}

bool MonitorEngine::FlushResults()
{
    HandResults();
    return m_resultWriter->WaitStored(kResultStoreWaitMs);
}

int MonitorEngine::PendingResultCount() const
{
    return int(m_pendingResults.size()) + m_resultWriter->Pending();
}

QString MonitorEngine::UptimeText(qint64 checks, qint64 passes)
{
    if (checks <= 0)
        return QString();
    // Tenths of a percent, rounded down: 100.0 % only when every check passed.
    const qint64 tenths = std::clamp<qint64>(passes, 0, checks) * 1000 / checks;
    return QStringLiteral("%1.%2 %").arg(tenths / 10).arg(tenths % 10);
}

void MonitorEngine::RefreshUptime()
{
    const QDateTime since = Now().addSecs(-kUptimeWindowSecs);
    try {
        qint64 lastId = 0;
        if (m_uptimeLastId < 0 || !m_uptimeSince.isValid() || since < m_uptimeSince) {
            // The first time, or the clock went back: the whole window.
            QHash<int, UptimeCount> counts = ResultStore::ReadUptime(since, &lastId);
            for (auto it = m_uptime.cbegin(); it != m_uptime.cend(); ++it) {
                if (!counts.contains(it.key()) && it->LastResponseMs >= 0)
                    counts[it.key()].LastResponseMs = it->LastResponseMs;
            }
            m_uptime = counts;
        } else {
            const QHash<int, UptimeCount> change =
                ResultStore::ReadUptimeChange(m_uptimeLastId, m_uptimeSince, since, &lastId);
            for (auto it = change.cbegin(); it != change.cend(); ++it) {
                UptimeCount& count = m_uptime[it.key()];
                count.Checks = std::max<qint64>(0, count.Checks + it->Checks);
                count.Passes = std::clamp<qint64>(count.Passes + it->Passes, 0, count.Checks);
                if (it->LastResponseMs >= 0)
                    count.LastResponseMs = it->LastResponseMs;
            }
        }
        m_uptimeLastId = lastId;
        m_uptimeSince = since;
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Reading the results of the last 24 hours"), e.text());
        return;
    }
    paintUptime();
}

void MonitorEngine::paintUptime()
{
    QHash<QString, QString> responses;
    QHash<QString, QString> uptimes;
    responses.reserve(m_uptime.size());
    uptimes.reserve(m_uptime.size());
    for (auto it = m_uptime.cbegin(); it != m_uptime.cend(); ++it) {
        const QString id = QString::number(it.key());
        if (it->LastResponseMs >= 0)
            responses.insert(id, responseText(it->LastResponseMs));
        if (it->Checks > 0)
            uptimes.insert(id, UptimeText(it->Checks, it->Passes));
    }
    m_serviceList.setColumnOfIds(SvcResponse, responses);
    m_serviceList.setColumnOfIds(SvcUptime, uptimes);
}

void MonitorEngine::raiseAlarms(const ThreadCheck& check, const QString& timestamp, const QString& text,
                                const QString& subject)
{
    const AlarmMethodSettingsRecord& methods = AlarmMethodSettings;
    if (methods.EmailMethod.enable || methods.SmsMethod.enable || methods.HttpSmsMethod.enable)
        AlarmContacts(timestamp, check.ServiceId, text, check.AlarmEmail, check.AlarmSmpp, check.AlarmHttpSms,
                      subject);
    if (methods.SysLogMethod.enable && check.AlarmSyslog && !methods.SysLogMethod.ip.isEmpty())
        DispatchAlarm(timestamp, text, methods.SysLogMethod.ip, QString::fromLatin1(lang::MethodSysLog));
}

void MonitorEngine::storeAlarmState(int serviceId, const ServiceAlarmState& state)
{
    m_alarmStates.insert(serviceId, state);
    try {
        DMQuorvel().ExecUpdate(AlarmStateStore::WriteStatement(serviceId, state));
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Storing the alarm state of service ") + QString::number(serviceId),
                        e.text());
    }
}

bool MonitorEngine::AcknowledgeService(int serviceId)
{
    ServiceAlarmState state = m_alarmStates.value(serviceId);
    if (!AcknowledgeAlarm(state, Now()))
        return false;
    storeAlarmState(serviceId, state);
    try {
        const std::optional<ServiceRecord> service = ServiceStore::Read(serviceId);
        if (service)
            WriteAlarmMessageLog(Now().toString(kTimestampFormat), service->Service, service->Ip,
                                 QString::number(service->Port), QStringLiteral("Acknowledged"),
                                 QString::fromLatin1(lang::ResultFailed));
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Recording the acknowledgement of service ") +
                            QString::number(serviceId),
                        e.text());
    }
    return true;
}

void MonitorEngine::MuteService(int serviceId, const QDateTime& until)
{
    ServiceAlarmState state = m_alarmStates.value(serviceId);
    state.MutedUntil = until;
    storeAlarmState(serviceId, state);
}

namespace {

// The text of the Current Status cell without the marks markedStatus adds.
QString plainStatus(const QString& cell)
{
    const int mark = cell.indexOf(QStringLiteral(" ("));
    return mark < 0 ? cell : cell.left(mark);
}

} // namespace

bool MonitorEngine::MenuServiceAcknowledgeClick()
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return false;
    const QString id = m_serviceList.cell(row, SvcId);
    if (!AcknowledgeService(id.toInt()))
        return false;
    setStatusCell(id, plainStatus(m_serviceList.cell(row, SvcCurrentStatus)));
    return true;
}

void MonitorEngine::MenuServiceMuteClick(const QDateTime& until)
{
    const int row = m_serviceList.selectedRow();
    if (row < 0)
        return;
    const QString id = m_serviceList.cell(row, SvcId);
    MuteService(id.toInt(), until);
    setStatusCell(id, plainStatus(m_serviceList.cell(row, SvcCurrentStatus)));
}

QDateTime MonitorEngine::MuteEnd(const QString& choice, const QDateTime& now)
{
    if (choice == QLatin1String("1 hour"))
        return now.addSecs(3600);
    if (choice == QLatin1String("4 hours"))
        return now.addSecs(4 * 3600);
    if (choice == QLatin1String("Until tomorrow 08:00"))
        return QDateTime(now.date().addDays(1), QTime(8, 0));
    if (choice == QLatin1String("Until I unmute"))
        return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59));
    return QDateTime(); // "Unmute"
}

void MonitorEngine::showResult(ThreadCheck* check, const QString& timestamp)
{
    // Every scheduled check is stored and, when it failed with retry, repeated, whatever the
    // service list shows; only the cells need the service's row to be listed.
    const QString id = QString::number(check->ServiceId);
    if (check->ResultText == QLatin1String(lang::ResultFailed))
        m_failedDetail.insert(id, check->ResultDetail);
    else
        m_failedDetail.remove(id);
    if (check->ResultText == QLatin1String(lang::ResultFailed) && check->Retry) {
        QueueServiceCheck(id, 0);
        setStatusCell(id, QString::fromLatin1(lang::CheckRetry));
    } else {
        setStatusCell(id, check->ResultText);
    }
    m_serviceList.updateCellOfId(id, SvcLastAccessed, timestamp);
}

void MonitorEngine::storeResult(ThreadCheck* check, const QString& timestamp)
{
    showResult(check, timestamp);
    const QDateTime claim = m_claimOfService.take(check->ServiceId);
    try {
        TDMQuorvel& dm = DMQuorvel();
        const QString update = ServiceStore::ResultStatement(check->ServiceId, check->ResultText);
        if (!claim.isValid()) {
            dm.ExecUpdate(update);
            return;
        }
        RunRetryingConflict(dm, [&] {
            dm.ExecUpdate(update);
            dm.ExecUpdate(ClaimStore::DoneStatement(check->ServiceId, claim, m_instanceName));
        });
    } catch (const DatabaseError& e) {
        resultNotStored(*check, e.text());
    }
}

AlarmAction MonitorEngine::storeFinal(ThreadCheck* check, ServiceAlarmState* state, ServiceAlarmState* before)
{
    const int id = check->ServiceId;
    const QDateTime claim = m_claimOfService.take(id);
    AlarmAction action = AlarmAction::None;
    try {
        TDMQuorvel& dm = DMQuorvel();
        const QString update = ServiceStore::ResultStatement(id, check->ResultText);
        // The state row stays locked from its read to the commit: another monitor storing a
        // result of the same service waits, then decides on this one's outcome.
        RunRetryingConflict(dm, [&] {
            *state = AlarmStateStore::ReadForUpdate(id);
            *before = *state;
            action = DecideAlarm(AppSettings.Rules, *state, check->Passed, Now());
            dm.ExecUpdate(update);
            dm.ExecUpdate(AlarmStateStore::WriteStatement(id, *state));
            if (claim.isValid())
                dm.ExecUpdate(ClaimStore::DoneStatement(id, claim, m_instanceName));
        });
    } catch (const DatabaseError& e) {
        // Not stored: the state kept here decides, so that an alarm still goes out.
        *state = m_alarmStates.value(id);
        *before = *state;
        action = DecideAlarm(AppSettings.Rules, *state, check->Passed, Now());
        resultNotStored(*check, e.text());
    }
    m_alarmStates.insert(id, *state);
    return action;
}

void MonitorEngine::alarmDone(ThreadAlarm* alarm)
{
    const AlarmDelivery delivery = m_deliveries.take(alarm->Id);
    if (m_destroying || (m_closing && alarm->ResultText.isEmpty()))
        return; // the program ends; an alarm that never ran is dropped quietly
    const QString listId = QString::number(alarm->Id);
    const bool retry = !alarm->Passed && alarm->Transient && !m_closing && !delivery.Method.isEmpty() &&
                       delivery.Retries < AppSettings.Rules.DeliveryRetries;
    if (!alarm->Passed) {
        // An item that never ran carries the pool's reason instead of a delivery error.
        const QString why = alarm->ResultText.isEmpty() ? NotRunReason(*alarm) : alarm->ErrorText;
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
        if (retry) {
            const int n = delivery.Retries + 1;
            line += QStringLiteral(" (retry %1 of %2 in %3 s)")
                        .arg(n)
                        .arg(AppSettings.Rules.DeliveryRetries)
                        .arg(deliveryRetryDelayMs(n) / 1000);
        }
        WriteSystemLog(line, LogLevel::ERROR);
    }
    if (!retry) {
        setDeliveryStatus(delivery, listId, alarm->ResultText);
        return;
    }
    // The retry waits on a timer of this thread, never on a worker; the row says so meanwhile.
    AlarmDelivery next = delivery;
    next.Retries += 1;
    setDeliveryStatus(next, listId, QStringLiteral("Retry %1").arg(next.Retries));
    QTimer::singleShot(deliveryRetryDelayMs(next.Retries), this, [this, next, listId] {
        if (m_closing || m_destroying)
            return;
        if (queueDelivery(next, listId) == 0)
            setDeliveryStatus(next, listId, QString::fromLatin1(ThreadAlarm::ErrorResult));
    });
}

void MonitorEngine::setDeliveryStatus(const AlarmDelivery& delivery, const QString& listId,
                                      const QString& status)
{
    m_alarmList.setCellOfId(listId, AlmStatus, status);
    if (delivery.RowId == 0 || m_destroying)
        return;
    try {
        AlarmDeliveryStore::SetStatus(delivery.RowId, status);
    } catch (const DatabaseError&) {
        // The list shows it; a console shows the state it last read.
    }
}

void MonitorEngine::PoolError(ThreadPoolManager*, int, const QString& text)
{
    WriteSystemLog(QString::fromLatin1(lang::ERR00401) + QStringLiteral(" : ") + text, LogLevel::ERROR);
}

void MonitorEngine::AlarmContacts(const QString& timestamp, int serviceId, const QString& text, bool byEmail,
                                  bool bySms, bool byHttpSms, const QString& subject)
{
    try {
        const AlarmMethodSettingsRecord& methods = AlarmMethodSettings;
        QString emails;
        for (const ContactPerson& person : ContactStore::PersonsOfService(serviceId)) {
            const QString& email = person.Email;
            if (emails.isEmpty())
                emails = email;
            else if (!email.isEmpty())
                emails += QLatin1Char(';') + email;
            const QString& number = person.Sms;
            if (methods.SmsMethod.enable && bySms && !number.isEmpty())
                DispatchAlarm(timestamp, text, number, QString::fromLatin1(lang::MethodSMS));
            if (methods.HttpSmsMethod.enable && byHttpSms && !number.isEmpty())
                DispatchAlarm(timestamp, text, number, QString::fromLatin1(lang::MethodSMSbyHTTP));
        }
        if (methods.EmailMethod.enable && byEmail && !emails.isEmpty())
            DispatchAlarm(timestamp, text, emails, QString::fromLatin1(lang::MethodEmail), subject);
    } catch (const DatabaseError& e) {
        // The alarms dispatched so far stay queued.
        statementFailed(QStringLiteral("Alarm dispatch: reading the contact persons of service ") +
                            QString::number(serviceId),
                        e.text());
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Alarm dispatch : ") + QString::fromUtf8(e.what()), LogLevel::ERROR);
    }
}

void MonitorEngine::DispatchAlarm(const QString& timestamp, const QString& text, const QString& recipient,
                                  const QString& method, const QString& subject)
{
    queueDelivery({timestamp, text, recipient, method, subject, 0}, QString());
}

int MonitorEngine::queueDelivery(const AlarmDelivery& delivery, const QString& listId)
{
    try {
        std::unique_ptr<ThreadAlarm> alarm = BuildAlarm(AlarmMethodSettings, delivery.Method, delivery.Text,
                                                        delivery.Recipient, AlarmTlsOptions(AppSettings));
        if (!alarm || !m_pool)
            return 0;
        if (auto* mail = dynamic_cast<ThreadSMTP*>(alarm.get()); mail && !delivery.Subject.isEmpty())
            mail->Message->Subject = delivery.Subject;
        const int id = QueueWorkItem(std::move(alarm));
        if (id == 0)
            return 0;
        AlarmDelivery queued = delivery;
        if (listId.isEmpty()) {
            TrimAlarmMessageList(&m_alarmList);
            m_alarmList.insertTopRow({QString::number(id), delivery.Timestamp, delivery.Text, delivery.Method,
                                      delivery.Recipient, QStringLiteral("Pending")});
            // Kept for a console; a delivery goes out whether or not its row could be stored.
            try {
                queued.RowId =
                    AlarmDeliveryStore::Insert({0, delivery.Timestamp, delivery.Text, delivery.Method,
                                                delivery.Recipient, QStringLiteral("Pending")});
            } catch (const DatabaseError&) {
                queued.RowId = 0;
            }
        }
        m_deliveries.insert(id, queued);
        if (listId.isEmpty()) {
        } else {
            // The row of the first try follows the new item.
            m_alarmList.setCellOfId(listId, AlmId, QString::number(id));
        }
        return id;
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Alarm dispatch: building the ") + delivery.Method +
                           QStringLiteral(" alarm : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
        return 0;
    }
}

int MonitorEngine::deliveryRetryDelayMs(int n)
{
    static const int delays[] = {30000, 120000, 300000};
    return n >= 1 && n <= 3 ? delays[n - 1] : 300000;
}

// ---- lists -----------------------------------------------------------------------------------

void MonitorEngine::FillServiceList(const QString& filter)
{
    // The selection stays on its service when the list is filled again and still shows it.
    const int selected = m_serviceList.selectedRow();
    const QString selectedId = selected >= 0 ? m_serviceList.cell(selected, SvcId) : QString();
    m_serviceList.clear();
    m_filter = filter;
    try {
        for (const ServiceListRow& row : ServiceStore::ListRows(filter)) {
            const QString port =
                row.Port.isEmpty() || row.Port == QLatin1String("0") ? QStringLiteral("---") : row.Port;
            m_serviceList.appendRow(
                {row.Id, row.Service, row.Ip, port, markedStatus(row.Id.toInt(), row.ServiceStatus),
                 row.LastAccess, row.ScheduleBy,
                 serviceIntervalText(row.ScheduleBy, row.ScheduleHour, row.ScheduleMinute), row.Status});
            if (row.ServiceStatus == QLatin1String(lang::ResultFailed) && m_failedDetail.contains(row.Id))
                m_serviceList.setToolTipOfId(row.Id, SvcCurrentStatus, m_failedDetail.value(row.Id));
        }
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Filling the service list"), e.text());
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Filling the service list : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
    }
    paintUptime();
    if (!selectedId.isEmpty()) {
        const int row = m_serviceList.findRow(selectedId);
        if (row >= 0)
            m_serviceList.setSelectedRow(row);
    }
}

void MonitorEngine::FillHostTree()
{
    QStringList hosts{QStringLiteral("ALL")};
    try {
        hosts << ServiceStore::Hosts();
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Filling the host tree"), e.text());
    } catch (const std::exception& e) {
        WriteSystemLog(QStringLiteral("Filling the host tree : ") + QString::fromUtf8(e.what()),
                       LogLevel::ERROR);
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
        ServiceStore::SetStatus(id, status);
        m_serviceList.setCell(row, SvcStatus, status);
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Setting the status of a service to ") + status, e.text());
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
        ServiceStore::Delete(IntegerOr(m_serviceList.cell(row, SvcId), 0));
        FillServiceList(m_filter);
        FillHostTree();
    } catch (const DatabaseError& e) {
        statementFailed(QStringLiteral("Deleting a service"), e.text());
    }
}

void MonitorEngine::ClearAlarmMessages()
{
    m_alarmList.clear();
    if (m_console) {
        // What was sent so far stays out of the list; later deliveries show again.
        try {
            m_consoleClearedId = AlarmDeliveryStore::NewestId();
        } catch (const DatabaseError& e) {
            statementFailed(QStringLiteral("Console: clearing the alarms sent"), e.text());
        }
    }
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
