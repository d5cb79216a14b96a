#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A loopback HTTP server for many clients at once that answers every request "200 OK" (after
// `delayMs`, when given) and counts the requests by path. One thread polls every connection.
class CountingHttpServer
{
public:
    explicit CountingHttpServer(int delayMs = 0);
    ~CountingHttpServer();
    CountingHttpServer(const CountingHttpServer&) = delete;
    CountingHttpServer& operator=(const CountingHttpServer&) = delete;

    int port() const { return m_port; }
    // Requests so far by path ("/u17"), and in all.
    std::map<std::string, int> counts() const;
    int total() const;
    // Forgets the counts.
    void reset();

private:
    void loop();

    int m_listen = -1;
    int m_port = 0;
    int m_delayMs = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_counts;
    int m_total = 0;
    std::thread m_thread;
};
