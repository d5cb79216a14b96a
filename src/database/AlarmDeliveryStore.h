#pragma once

// The alarms a monitoring instance sent, one row per delivery with its state, so that a console
// (or any other program on the same database) lists what was sent and how it ended.

#include <QString>

#include <vector>

struct AlarmDeliveryRow
{
    qlonglong Id = 0;
    QString SentAt; // "yyyy-MM-dd HH:mm:ss"
    QString Message;
    QString Method;
    QString Recipient;
    QString Status; // "Pending", "Retry N", "Success", "Error"
};

namespace AlarmDeliveryStore {

// Adds the row of a new delivery and gives its id; throws DatabaseError.
qlonglong Insert(const AlarmDeliveryRow& row);
// Sets the state of delivery `id`; throws DatabaseError.
void SetStatus(qlonglong id, const QString& status);
// The newest `count` deliveries with an id above `afterId`, newest first; throws DatabaseError.
std::vector<AlarmDeliveryRow> Newest(int count, qlonglong afterId);
// The highest id stored, 0 for none; throws DatabaseError.
qlonglong NewestId();
// Deletes the deliveries older than `days` days; throws DatabaseError.
void DeleteOlderThan(int days);

} // namespace AlarmDeliveryStore
