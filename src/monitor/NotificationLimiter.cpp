#include "monitor/NotificationLimiter.h"

#include "core/Clock.h"

namespace {

constexpr qint64 kWindowMs = 60 * 1000;

} // namespace

NotificationLimiter::NotificationLimiter(std::function<QDateTime()> clock, int perMinute)
    : m_clock(std::move(clock)), m_perMinute(perMinute < 1 ? 1 : perMinute)
{
}

QDateTime NotificationLimiter::now() const
{
    return m_clock ? m_clock() : Now();
}

bool NotificationLimiter::roomNow(const QDateTime& at)
{
    while (!m_shown.empty() && m_shown.front().msecsTo(at) >= kWindowMs)
        m_shown.pop_front();
    return static_cast<int>(m_shown.size()) < m_perMinute;
}

std::optional<NotificationLimiter::Notice>
NotificationLimiter::offer(int serviceId, bool failed, const QString& title, const QString& text)
{
    const auto last = m_lastFailed.constFind(serviceId);
    if (last != m_lastFailed.constEnd() && last.value() == failed)
        return std::nullopt; // this change was told already
    m_lastFailed.insert(serviceId, failed);

    const QDateTime at = now();
    // While a summary is waiting, later changes join it, so that nothing overtakes it.
    if (m_heldBack > 0 || !roomNow(at)) {
        ++m_heldBack;
        return std::nullopt;
    }
    m_shown.push_back(at);
    return Notice{title, text};
}

std::optional<NotificationLimiter::Notice> NotificationLimiter::flush()
{
    if (m_heldBack == 0)
        return std::nullopt;
    const QDateTime at = now();
    if (!roomNow(at))
        return std::nullopt;
    m_shown.push_back(at);
    const int count = m_heldBack;
    m_heldBack = 0;
    return Notice{QStringLiteral("Quorvel"),
                  count == 1 ? QStringLiteral("1 more service changed state")
                             : QStringLiteral("%1 more services changed state").arg(count)};
}

qint64 NotificationLimiter::msecsUntilFlush() const
{
    if (m_heldBack == 0)
        return -1;
    if (static_cast<int>(m_shown.size()) < m_perMinute)
        return 0;
    // The oldest notification that still counts leaves the minute at this moment.
    const qint64 oldest = m_shown[m_shown.size() - m_perMinute].msecsTo(now());
    return oldest >= kWindowMs ? 0 : kWindowMs - oldest;
}
