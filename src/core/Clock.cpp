#include "core/Clock.h"

namespace {
std::function<QDateTime()> g_source;
}

QDateTime Now()
{
    return g_source ? g_source() : QDateTime::currentDateTime();
}

std::function<QDateTime()> SetClockSource(std::function<QDateTime()> source)
{
    std::function<QDateTime()> previous = std::move(g_source);
    g_source = std::move(source);
    return previous;
}
