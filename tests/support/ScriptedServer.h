#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QProcess;

// A fake TCP server for tests: listens on 127.0.0.1, port 0 (the system picks one), accepts a
// connection and plays a script of steps, step by step, on a thread of its own. Every wait of
// the server is bounded, and destruction stops it at once, so no test can hang on it.
//
//     ScriptedServer server;
//     server.sendLine("220 mail ready").expectLine("EHLO " + host).sendLine("250 hi").readRest();
//     server.start();
//     ... run the client against server.port() ...
//     ASSERT_TRUE(server.wait());
//     EXPECT_EQ(server.received(), (std::vector<std::string>{"EHLO " + host, "QUIT"}));
//     EXPECT_TRUE(server.failures().empty());
//
// Lines are read with their CR LF (or LF) removed. Everything a read step takes from the client
// is appended to received() in order; a mismatch or a read that fails is noted in failures().

// The connection a step works on; custom steps (run()) use it directly.
class ScriptedConnection
{
public:
    ScriptedConnection(int fd, int wakeFd, int stepTimeoutMs);

    // One line without its CR LF; false when the client closed, time ran out or the server stops.
    bool readLine(std::string& line);
    // Exactly `count` bytes; false as for readLine.
    bool readBytes(std::size_t count, std::string& bytes);
    // Bytes up to and including `delimiter`.
    bool readUntil(const std::string& delimiter, std::string& bytes);
    // Whatever arrives next (at most `maxBytes`); false on close, time-out or stop.
    bool readSome(std::string& bytes, std::size_t maxBytes = 65536);
    // Sends all bytes; false when the client has gone.
    bool send(const std::string& bytes);
    // Waits `ms` milliseconds unless the server stops first; false when it stops.
    bool pause(int ms);
    // Waits until the client closes its side (discarding what it sends) or `maxMs` passes.
    bool waitForClientClose(int maxMs);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int stepTimeoutMs() const { return m_stepTimeoutMs; }

private:
    enum class Wait
    {
        Ready,
        Timeout,
        Stopped
    };
    Wait waitReadable(int timeoutMs);
    bool fill(int timeoutMs);

    int m_fd;
    int m_wakeFd;
    int m_stepTimeoutMs;
    std::string m_buffer;
};

class ScriptedServer
{
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1"; }

    // A port on 127.0.0.1 on which nothing listens (connections are refused).
    static int UnusedPort();

    // How long each read step and the first accept wait (default 10000 ms).
    ScriptedServer& setStepTimeout(int ms);

    // --- script steps, played in order on the accepted connection ---
    ScriptedServer& send(const std::string& bytes);
    ScriptedServer& sendLine(const std::string& line); // line + CR LF
    // Sends `bytes` one at a time, `intervalMs` apart.
    ScriptedServer& trickle(const std::string& bytes, int intervalMs);
    // Reads one line; it must equal `line`.
    ScriptedServer& expectLine(const std::string& line);
    // Reads one line, whatever it is.
    ScriptedServer& readLine();
    // Reads exactly `count` bytes / up to and including `delimiter`.
    ScriptedServer& readBytes(std::size_t count);
    ScriptedServer& readUntil(const std::string& delimiter);
    // Reads lines until the client closes (or the step time-out passes); a last line without
    // LF is kept as well.
    ScriptedServer& readRest();
    ScriptedServer& pause(int ms);
    // Goes silent: keeps the connection open, sends nothing and discards what arrives, until the
    // client closes or `maxMs` passes.
    ScriptedServer& silence(int maxMs = 60000);
    // Closes the connection now.
    ScriptedServer& close();
    // Closes the current connection and accepts the next one; later steps play on it.
    ScriptedServer& acceptNext();
    // A step of the test's own. Returning false ends the script (noting nothing).
    ScriptedServer& run(std::function<bool(ScriptedConnection&)> step);

    // Starts accepting and playing. Steps must not be added afterwards.
    void start();
    // Waits at most `timeoutMs` for the script to end; true when it ended.
    bool wait(int timeoutMs = 15000);
    // Stops at once: blocked steps return, the connection closes. Called by the destructor.
    void stop();

    std::vector<std::string> received() const;
    std::vector<std::string> failures() const;
    int connectionsAccepted() const { return m_accepted.load(); }

    // For custom steps: note what the client sent, or a failure.
    void record(const std::string& item);
    void fail(const std::string& what);

private:
    struct Step
    {
        std::function<bool(ScriptedConnection&)> action; // empty: accept the next connection
    };
    ScriptedServer& add(std::function<bool(ScriptedConnection&)> action);
    void play();
    bool acceptOne(std::unique_ptr<ScriptedConnection>& connection);

    int m_listenFd = -1;
    int m_port = 0;
    int m_wakePipe[2] = {-1, -1};
    int m_stepTimeoutMs = 10000;
    std::vector<Step> m_steps;
    std::thread m_thread;
    std::atomic<int> m_accepted{0};

    mutable std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
    std::vector<std::string> m_received;
    std::vector<std::string> m_failures;
};

// A real server program (pure-ftpd, dovecot, ...) run for a test and stopped, and waited for,
// when the object goes. Used for interoperability tests beside the scripted servers.
class DaemonProcess
{
public:
    DaemonProcess();
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    // The full path of `program` on PATH or in /usr/sbin and /sbin; empty when not installed.
    static std::string Find(const std::string& program);

    // Starts `program` with `arguments` and waits at most `waitMs` until something accepts
    // connections on `address` (127.0.0.1 unless given) at each of `ports`. False (with what the
    // program printed in output()) when it did not start or did not listen in time.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<int>& ports, int waitMs = 10000, const std::string& address = "127.0.0.1");
    void stop();
    std::string output() const { return m_output; }

    // Runs `program` to its end (at most `waitMs`), feeding `input`; true when it exited with 0.
    static bool Run(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& input = std::string(), int waitMs = 10000);

private:
    std::unique_ptr<QProcess> m_process;
    std::string m_output;
};
