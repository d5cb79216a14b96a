#pragma once

#include "core/AlarmMethodSettings.h"

#include <QVariant>

#include <functional>

// Fills AlarmMethodSettings from the database; a method without a row keeps its values.
// Database errors are thrown as DatabaseError; fields set before the error keep their values.
void LoadAlarmMethods();

// The value of one column of an alarm_method row, by column name.
using AlarmMethodColumn = std::function<QVariant(const QString& column)>;

// Sets the group of `type` ("Email", "SMS", "SMS by HTTP" or "SysLog", exact letter case) from
// one alarm_method row the way LoadAlarmMethods reads it (host prefixes, flags, codes); another
// type changes nothing. The settings window uses it to give its tests the values a save would
// give the alarms.
void ReadAlarmMethodRow(const QString& type, const AlarmMethodColumn& column,
                        AlarmMethodSettingsRecord& settings);
