#pragma once

#include <QString>

// Small queries shared by the dialogs. Database errors are thrown as DatabaseError.

// True when no row of `table` has `field` equal to `value` (other than the row `excludeId`).
bool IsUnique(const QString& table, const QString& field, const QString& value, int excludeId);
// The id of the first row of `table` whose `field` equals `value`, or 0.
int SelectIdBy(const QString& table, const QString& field, const QString& value);
// The highest id of `table`, or 0 when it is empty.
int MaxId(const QString& table);

// The text a service list shows for the stored ip of `service` rows, as an SQL expression: the
// ip from after its last "http://"; an https address (beginning with "https://" in any letter
// case) whole, even when its query names an http address.
QString ListedIpSql();
// The host of a stored ip for the host tree and its filter, as an SQL expression: the listed
// text up to its first "/", and for an https address the text between "https://" and the first
// "/" (never "https:").
QString HostOfIpSql();
