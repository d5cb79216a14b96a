#pragma once

#include <QString>

// Small queries shared by the dialogs. Database errors are thrown as DatabaseError.

// True when no row of `table` has `field` equal to `value` (other than the row `excludeId`).
bool IsUnique(const QString& table, const QString& field, const QString& value, int excludeId);
// The id of the first row of `table` whose `field` equals `value`, or 0.
int SelectIdBy(const QString& table, const QString& field, const QString& value);
// The highest id of `table`, or 0 when it is empty.
int MaxId(const QString& table);
