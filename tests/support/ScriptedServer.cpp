#include "support/ScriptedServer.h"

#include "net/Socket.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int leftMs(long long deadline)
{
    const long long left = deadline - nowMs();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string inQuotes(const std::string& text)
{
    return "\"" + text + "\"";
}

} // namespace

// ---------------------------------------------------------------------------------------------

ScriptedConnection::ScriptedConnection(int fd, int wakeFd, int stepTimeoutMs)
    : m_fd(fd), m_wakeFd(wakeFd), m_stepTimeoutMs(stepTimeoutMs)
{
}

ScriptedConnection::Wait ScriptedConnection::waitReadable(int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        pollfd fds[2] = {};
        fds[0].fd = m_fd;
        fds[0].events = POLLIN;
        fds[1].fd = m_wakeFd;
        fds[1].events = POLLIN;
        const int rc = ::poll(fds, 2, leftMs(deadline));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || fds[1].revents != 0)
            return Wait::Stopped;
        if (rc == 0) {
            if (nowMs() >= deadline)
                return Wait::Timeout;
            continue;
        }
        return Wait::Ready;
    }
}

bool ScriptedConnection::fill(int timeoutMs)
{
    if (m_fd < 0)
        return false;
    if (waitReadable(timeoutMs) != Wait::Ready)
        return false;
    char chunk[16384];
    const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool ScriptedConnection::readLine(std::string& line)
{
    const long long deadline = nowMs() + m_stepTimeoutMs;
    for (;;) {
        const std::size_t newline = m_buffer.find('\n');
        if (newline != std::string::npos) {
            std::size_t end = newline;
            if (end > 0 && m_buffer[end - 1] == '\r')
                --end;
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, newline + 1);
            return true;
        }
        if (!fill(leftMs(deadline)))
            return false;
    }
}

bool ScriptedConnection::readBytes(std::size_t count, std::string& bytes)
{
    const long long deadline = nowMs() + m_stepTimeoutMs;
    while (m_buffer.size() < count) {
        if (!fill(leftMs(deadline)))
            return false;
    }
    bytes = m_buffer.substr(0, count);
    m_buffer.erase(0, count);
    return true;
}

bool ScriptedConnection::readUntil(const std::string& delimiter, std::string& bytes)
{
    const long long deadline = nowMs() + m_stepTimeoutMs;
    for (;;) {
        const std::size_t at = m_buffer.find(delimiter);
        if (at != std::string::npos) {
            bytes = m_buffer.substr(0, at + delimiter.size());
            m_buffer.erase(0, at + delimiter.size());
            return true;
        }
        if (!fill(leftMs(deadline)))
            return false;
    }
}

bool ScriptedConnection::readSome(std::string& bytes, std::size_t maxBytes)
{
    if (m_buffer.empty() && !fill(m_stepTimeoutMs))
        return false;
    bytes = m_buffer.substr(0, maxBytes);
    m_buffer.erase(0, bytes.size());
    return true;
}

bool ScriptedConnection::send(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (m_fd < 0)
            return false;
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool ScriptedConnection::pause(int ms)
{
    pollfd wake{};
    wake.fd = m_wakeFd;
    wake.events = POLLIN;
    const long long deadline = nowMs() + ms;
    for (;;) {
        const int rc = ::poll(&wake, 1, leftMs(deadline));
        if (rc > 0)
            return false;
        if (rc == 0 && nowMs() >= deadline)
            return true;
    }
}

bool ScriptedConnection::waitForClientClose(int maxMs)
{
    const long long deadline = nowMs() + maxMs;
    for (;;) {
        if (m_fd < 0)
            return true;
        const Wait wait = waitReadable(leftMs(deadline));
        if (wait == Wait::Stopped)
            return false;
        if (wait == Wait::Timeout)
            return true;
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0 && !(n < 0 && errno == EINTR))
            return true;
    }
}

void ScriptedConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

// ---------------------------------------------------------------------------------------------

ScriptedServer::ScriptedServer()
{
    if (::pipe2(m_wakePipe, O_CLOEXEC) != 0)
        throw std::runtime_error("ScriptedServer: pipe failed");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw std::runtime_error("ScriptedServer: socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0)
        throw std::runtime_error("ScriptedServer: cannot listen on 127.0.0.1");
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer()
{
    stop();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

int ScriptedServer::UnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd); // bound but never listening: the port is free again and refuses connections
    return ntohs(address.sin_port);
}

ScriptedServer& ScriptedServer::setStepTimeout(int ms)
{
    m_stepTimeoutMs = ms;
    return *this;
}

ScriptedServer& ScriptedServer::add(std::function<bool(ScriptedConnection&)> action)
{
    if (m_thread.joinable())
        throw std::logic_error("ScriptedServer: steps added after start()");
    m_steps.push_back(Step{std::move(action)});
    return *this;
}

ScriptedServer& ScriptedServer::send(const std::string& bytes)
{
    return add([this, bytes](ScriptedConnection& c) {
        if (!c.send(bytes))
            fail("could not send " + inQuotes(bytes) + ": the client has gone");
        return true;
    });
}

ScriptedServer& ScriptedServer::sendLine(const std::string& line)
{
    return send(line + "\r\n");
}

ScriptedServer& ScriptedServer::trickle(const std::string& bytes, int intervalMs)
{
    return add([bytes, intervalMs](ScriptedConnection& c) {
        for (char byte : bytes) {
            if (!c.send(std::string(1, byte)) || !c.pause(intervalMs))
                return false;
        }
        return true;
    });
}

ScriptedServer& ScriptedServer::expectLine(const std::string& line)
{
    return add([this, line](ScriptedConnection& c) {
        std::string got;
        if (!c.readLine(got)) {
            fail("expected " + inQuotes(line) + ", but no line came");
            return false;
        }
        record(got);
        if (got != line) {
            fail("expected " + inQuotes(line) + ", got " + inQuotes(got));
            return false;
        }
        return true;
    });
}

ScriptedServer& ScriptedServer::readLine()
{
    return add([this](ScriptedConnection& c) {
        std::string got;
        if (!c.readLine(got)) {
            fail("expected a line, but none came");
            return false;
        }
        record(got);
        return true;
    });
}

ScriptedServer& ScriptedServer::readBytes(std::size_t count)
{
    return add([this, count](ScriptedConnection& c) {
        std::string got;
        if (!c.readBytes(count, got)) {
            fail("expected " + std::to_string(count) + " bytes, but they did not come");
            return false;
        }
        record(got);
        return true;
    });
}

ScriptedServer& ScriptedServer::readUntil(const std::string& delimiter)
{
    return add([this, delimiter](ScriptedConnection& c) {
        std::string got;
        if (!c.readUntil(delimiter, got)) {
            fail("expected data up to " + inQuotes(delimiter) + ", but it did not come");
            return false;
        }
        record(got);
        return true;
    });
}

ScriptedServer& ScriptedServer::readRest()
{
    return add([this](ScriptedConnection& c) {
        std::string line;
        while (c.readLine(line))
            record(line);
        std::string tail;
        if (c.readSome(tail) && !tail.empty())
            record(tail);
        return true;
    });
}

ScriptedServer& ScriptedServer::pause(int ms)
{
    return add([ms](ScriptedConnection& c) { return c.pause(ms); });
}

ScriptedServer& ScriptedServer::silence(int maxMs)
{
    return add([maxMs](ScriptedConnection& c) { return c.waitForClientClose(maxMs); });
}

ScriptedServer& ScriptedServer::close()
{
    return add([](ScriptedConnection& c) {
        c.close();
        return true;
    });
}

ScriptedServer& ScriptedServer::acceptNext()
{
    return add(nullptr);
}

ScriptedServer& ScriptedServer::run(std::function<bool(ScriptedConnection&)> step)
{
    return add(std::move(step));
}

void ScriptedServer::start()
{
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this] { play(); });
}

bool ScriptedServer::acceptOne(std::unique_ptr<ScriptedConnection>& connection)
{
    pollfd fds[2] = {};
    fds[0].fd = m_listenFd;
    fds[0].events = POLLIN;
    fds[1].fd = m_wakePipe[0];
    fds[1].events = POLLIN;
    const long long deadline = nowMs() + m_stepTimeoutMs;
    for (;;) {
        const int rc = ::poll(fds, 2, leftMs(deadline));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || fds[1].revents != 0)
            return false;
        if (rc == 0) {
            if (nowMs() >= deadline)
                return false;
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_accepted;
        connection = std::make_unique<ScriptedConnection>(fd, m_wakePipe[0], m_stepTimeoutMs);
        return true;
    }
}

void ScriptedServer::play()
{
    std::unique_ptr<ScriptedConnection> connection;
    if (!acceptOne(connection)) {
        fail("no client connected");
    } else {
        for (const Step& step : m_steps) {
            if (!step.action) {
                connection->close();
                if (!acceptOne(connection)) {
                    fail("no further client connected");
                    break;
                }
                continue;
            }
            if (!step.action(*connection))
                break;
        }
        connection->close();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_done = true;
    m_doneChanged.notify_all();
}

bool ScriptedServer::wait(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_doneChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_done; });
}

void ScriptedServer::stop()
{
    if (!m_thread.joinable())
        return;
    const char byte = 1;
    if (::write(m_wakePipe[1], &byte, 1) < 0) {
        // the pipe cannot be full: one byte is ever written
    }
    m_thread.join();
}

std::vector<std::string> ScriptedServer::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<std::string> ScriptedServer::failures() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

void ScriptedServer::record(const std::string& item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(item);
}

void ScriptedServer::fail(const std::string& what)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.push_back(what);
}

// ---------------------------------------------------------------------------------------------

namespace {

QStringList toQt(const std::vector<std::string>& list)
{
    QStringList result;
    for (const std::string& item : list)
        result << QString::fromStdString(item);
    return result;
}

bool listening(const std::string& address, int port)
{
    try {
        TcpSocket probe;
        probe.connect(address, port, 500);
        return true;
    } catch (const SocketError&) {
        return false;
    }
}

} // namespace

DaemonProcess::DaemonProcess() = default;

DaemonProcess::~DaemonProcess()
{
    stop();
}

std::string DaemonProcess::Find(const std::string& program)
{
    const QString name = QString::fromStdString(program);
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/local/sbin"});
    return path.toStdString();
}

bool DaemonProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                          const std::vector<int>& ports, int waitMs, const std::string& address)
{
    stop();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(QString::fromStdString(program), toQt(arguments));
    if (!m_process->waitForStarted(5000)) {
        m_output = "could not start " + program + ": " + m_process->errorString().toStdString();
        return false;
    }
    const long long deadline = nowMs() + waitMs;
    for (int port : ports) {
        while (!listening(address, port)) {
            if (m_process->state() == QProcess::NotRunning || nowMs() >= deadline) {
                m_process->waitForReadyRead(100);
                m_output = m_process->readAll().toStdString();
                return false;
            }
            m_process->waitForFinished(50);
        }
    }
    return true;
}

void DaemonProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_output += m_process->readAll().toStdString();
    m_process.reset();
}

bool DaemonProcess::Run(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& input, int waitMs)
{
    QProcess process;
    process.start(QString::fromStdString(program), toQt(arguments));
    if (!process.waitForStarted(5000))
        return false;
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
