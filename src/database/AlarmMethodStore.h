#pragma once

// The alarm-method store: table `alarm_method` (one row per method, found by its type) and table
// `alarm_method_extra_fields` (the extra post fields of the SMS gateway, in id order). Every
// statement about these tables is made here; texts go through QuoteSqlText. Failures throw
// DatabaseError. AlarmMethodLoader turns the rows into the settings the alarms use.

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

// One stored alarm_method row: its type and every column by name.
struct AlarmMethodRow
{
    QString Type;
    QHash<QString, QVariant> Columns; // keyed by the column name in lower case

    // The value of `column` (any letter case); an invalid QVariant for a column the row lacks.
    QVariant value(const QString& column) const;
};

// One column of an alarm_method row as it is written: a text value (a QString) is quoted, any
// other value (a number, or a flag as 1 or 0) written as its decimal integer.
struct AlarmMethodValue
{
    QString Column;
    QVariant Value;
};
using AlarmMethodValues = std::vector<AlarmMethodValue>;

// One extra post field: its name and its value.
using AlarmExtraField = std::pair<QString, QString>;

// What one Apply of the alarm settings writes: the four methods' rows (in statement order) and,
// when set, the extra fields that replace the stored ones.
struct AlarmMethodsSave
{
    AlarmMethodValues Email;
    AlarmMethodValues Sms;
    AlarmMethodValues HttpSms;
    AlarmMethodValues SysLog;
    std::optional<QList<AlarmExtraField>> ExtraFields;
};

namespace AlarmMethodStore {

// Every alarm_method row, in the order the database returns them.
QList<AlarmMethodRow> Rows();

// The stored extra fields in id order.
QList<AlarmExtraField> ExtraFields();

// Writes the rows of "Email", "SMS" and "SMS by HTTP", then the extra fields (all stored ones
// deleted, the given ones inserted in their order), then "SysLog", in one transaction. A method
// whose row exists (looked up by its type as stored) has it updated, otherwise a row is inserted.
void Save(const AlarmMethodsSave& save);

} // namespace AlarmMethodStore
