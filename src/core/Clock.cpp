#include "core/Clock.h"

#include <memory>
#include <mutex>

namespace {

// The installed source, shared so that a worker thread reading the time keeps the source it
// took alive while another thread replaces it.
std::mutex g_mutex;
std::shared_ptr<const std::function<QDateTime()>> g_source;

} // namespace

QDateTime Now()
{
    std::shared_ptr<const std::function<QDateTime()>> source;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        source = g_source;
    }
    return source && *source ? (*source)() : QDateTime::currentDateTime();
}

std::function<QDateTime()> SetClockSource(std::function<QDateTime()> source)
{
    auto next = source ? std::make_shared<const std::function<QDateTime()>>(std::move(source)) : nullptr;
    std::shared_ptr<const std::function<QDateTime()>> previous;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        previous = std::move(g_source);
        g_source = std::move(next);
    }
    return previous ? *previous : std::function<QDateTime()>();
}
