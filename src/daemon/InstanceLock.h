#pragma once

#include <QString>

// One quorveld per settings file. The lock is an flock on "<settings file>.lock" beside the
// settings file, and on the settings file itself, so it also holds where the service may not
// write beside its settings (a read-only /etc): there the lock file is used when it exists. The
// kernel frees both when the process ends, however it ends.
class InstanceLock
{
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock for `settingsFile`; false with the reason in `error` when another process
    // holds it or the files cannot be opened.
    bool acquire(const QString& settingsFile, QString* error);

private:
    int m_lockFd = -1;
    int m_settingsFd = -1;
};
