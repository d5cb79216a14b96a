#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

// Decides which changes of a service's state become desktop notifications: one per service and
// change (a service that fails again while down, or passes again while up, says nothing new), and
// at most `perMinute` in any 60 seconds. Changes beyond that are held back and counted; once the
// minute lets another notification through, one summary ("N more services changed state") stands
// for all of them. Holds no widgets: the window shows what this returns.
class NotificationLimiter
{
public:
    struct Notice
    {
        QString Title;
        QString Text;
    };

    static constexpr int kDefaultPerMinute = 5;

    // `clock` gives the current time (the program's clock unless a test hands in its own).
    explicit NotificationLimiter(std::function<QDateTime()> clock = {}, int perMinute = kDefaultPerMinute);

    // Service `serviceId` is now failed (or passed again); `title` and `text` describe it. Returns
    // the notification to show at once, if any.
    std::optional<Notice> offer(int serviceId, bool failed, const QString& title, const QString& text);
    // The summary of the changes held back, when the minute lets it through now; else nothing.
    std::optional<Notice> flush();
    // Milliseconds until flush() has a summary to give; -1 when nothing is held back.
    qint64 msecsUntilFlush() const;
    int heldBack() const { return m_heldBack; }

private:
    QDateTime now() const;
    // Forgets notifications older than a minute; true when another may be shown now.
    bool roomNow(const QDateTime& at);

    std::function<QDateTime()> m_clock;
    int m_perMinute;
    std::deque<QDateTime> m_shown; // when each notification of the last minute was shown
    QHash<int, bool> m_lastFailed; // the state last announced per service
    int m_heldBack = 0;
};
