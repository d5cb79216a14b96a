#include "daemon/InstanceLock.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The process id written into the lock file by its holder, or empty.
QString holderOf(int fd)
{
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof(buffer) - 1, 0);
    if (n <= 0)
        return QString();
    return QString::fromLatin1(buffer, static_cast<int>(n)).trimmed();
}

} // namespace

InstanceLock::~InstanceLock()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    if (m_settingsFd >= 0)
        ::close(m_settingsFd);
}

bool InstanceLock::acquire(const QString& settingsFile, QString* error)
{
    const QByteArray settingsPath = settingsFile.toLocal8Bit();
    const QByteArray lockPath = settingsPath + ".lock";
    bool writable = true;
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0) {
        writable = false;
        m_lockFd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
    }
    m_settingsFd = ::open(settingsPath.constData(), O_RDONLY | O_CLOEXEC);
    if (m_settingsFd < 0) {
        *error = settingsFile + QStringLiteral(": ") + systemError(errno);
        return false;
    }
    const QString busy =
        QStringLiteral("another quorveld already runs with the settings file ") + settingsFile;
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        if (code != EWOULDBLOCK) {
            *error = QString::fromLocal8Bit(lockPath) + QStringLiteral(": ") + systemError(code);
            return false;
        }
        const QString pid = holderOf(m_lockFd);
        *error = busy + (pid.isEmpty() ? QString() : QStringLiteral(" (process ") + pid + QLatin1Char(')'));
        return false;
    }
    if (::flock(m_settingsFd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        *error = code == EWOULDBLOCK ? busy : settingsFile + QStringLiteral(": ") + systemError(code);
        return false;
    }
    if (writable) {
        const QByteArray pid = QByteArray::number(static_cast<qlonglong>(::getpid())) + '\n';
        if (::ftruncate(m_lockFd, 0) == 0) {
            const ssize_t written = ::pwrite(m_lockFd, pid.constData(), static_cast<size_t>(pid.size()), 0);
            static_cast<void>(written);
        }
    }
    return true;
}
