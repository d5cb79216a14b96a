#pragma once

#include <QDateTime>

#include <functional>

// Local time as the program sees it, safe to read from any thread. Tests replace the source to
// stand at a chosen minute, hour, weekday or date (a source must itself be safe to call from the
// threads that read the time).
QDateTime Now();

// Installs `source`; an empty function restores the system clock. Returns the previous source.
std::function<QDateTime()> SetClockSource(std::function<QDateTime()> source);
