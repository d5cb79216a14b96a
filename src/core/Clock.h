#pragma once

#include <QDateTime>

#include <functional>

// Local time as the program sees it. Tests replace the source to stand at a chosen minute,
// hour, weekday or date.
QDateTime Now();

// Installs `source`; an empty function restores the system clock. Returns the previous source.
std::function<QDateTime()> SetClockSource(std::function<QDateTime()> source);
