#pragma once

#include "core/AlarmMethodSettings.h"

// Fills AlarmMethodSettings from the database; a method without a row keeps its values.
// Database errors are thrown as DatabaseError; fields set before the error keep their values.
void LoadAlarmMethods();
