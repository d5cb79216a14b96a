#pragma once

// Several monitors on one database (tables engine_instance and service_claim): each running
// monitor registers itself and keeps a heartbeat, and claims every due service for the minute of
// its tick before it checks it, so that a due service is checked once per minute whichever
// monitor does it. The claims' insert is retried once after a write conflict of a clustered
// server; the rest is plain reads and single-row writes.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <vector>

namespace ClaimStore {

// One registered monitor as the database knows it.
struct Instance
{
    QString Name;
    bool Live = false;       // its heartbeat is younger than the stale limit
    qint64 MsSinceTick = -1; // since its last tick, on the database's clock; -1: none yet
    int TickMs = 60000;      // its tick's interval
};

// Registers (or registers again) the monitor `name`: host, process id, version, start time now.
void Register(const QString& name, const QString& host, qint64 pid, const QString& version, int tickMs);
// The heartbeat of `name`; a row that has gone (deleted by hand) is written again.
void Heartbeat(const QString& name, const QString& host, qint64 pid, const QString& version, int tickMs);
// `name` ticks now.
void Ticked(const QString& name);
// Every registered monitor; live when its heartbeat is younger than `staleSeconds`.
std::vector<Instance> Instances(int staleSeconds);

// Claims the services `ids` of `minute` for `name`; a service another monitor claimed first stays
// its. Throws DatabaseError.
void Claim(const QDateTime& minute, const QString& name, const QList<int>& ids);
// Gives `name` the claims of `minute` not yet done whose monitor's heartbeat is older than
// `staleSeconds`; returns how many.
int TakeOverStale(const QDateTime& minute, const QString& name, int staleSeconds);
// The claims of `minute`: service id to the claiming monitor.
QHash<int, QString> Claims(const QDateTime& minute);
// The statement that marks the claim of `serviceId` for `minute` by `name` as done.
QString DoneStatement(int serviceId, const QDateTime& minute, const QString& name);
// Deletes the claims older than a day.
void DeleteOld();

} // namespace ClaimStore
