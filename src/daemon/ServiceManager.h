#pragma once

#include <QObject>
#include <QTimer>

// The service's side of systemd's notification protocol (libsystemd's sd_notify): readiness,
// reloading, stopping, and the watchdog's pings. Without NOTIFY_SOCKET every call does nothing.
class ServiceManager : public QObject
{
    Q_OBJECT

public:
    explicit ServiceManager(QObject* parent = nullptr);

    // When the service manager asks for a watchdog (WATCHDOG_USEC), pings it from this thread's
    // event loop at half that interval, so a main loop that hangs gets the service restarted.
    void startWatchdog();
    // The watchdog's ping interval in ms; 0 when there is no watchdog.
    int watchdogIntervalMs() const { return m_watchdog.isActive() ? m_watchdog.interval() : 0; }

    void ready();
    void reloading();
    void stopping();
    // A free-form status line shown by `systemctl status`.
    void status(const QString& text);

private:
    QTimer m_watchdog;
};
