#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

// Runs the quorveld program, built beside the tests, as a process.

// <build>/src/quorveld, the tests being in <build>/tests.
QString QuorveldProgram();

// One quorveld process; the destructor kills one still running (and waits for it), so no test
// leaves a service behind.
class QuorveldProcess
{
public:
    // Starts quorveld with `arguments`, in the test's environment plus `environment`.
    explicit QuorveldProcess(const QStringList& arguments,
                             const QProcessEnvironment& environment = QProcessEnvironment());
    ~QuorveldProcess();
    QuorveldProcess(const QuorveldProcess&) = delete;
    QuorveldProcess& operator=(const QuorveldProcess&) = delete;

    bool started() const { return m_started; }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Sends `signal`; false when the process is gone.
    bool signal(int number);
    // Waits at most `ms` for the end; true when it ended.
    bool waitForExit(int ms);
    // The exit status, -1 when it did not end normally (or has not ended).
    int exitCode() const;
    // Standard output and error so far.
    std::string out();
    std::string err();

private:
    QProcess m_process;
    bool m_started = false;
    std::string m_out;
    std::string m_err;
};

struct QuorveldRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs quorveld to its end, at most 20 s (then it is killed and the test fails).
QuorveldRun RunQuorveld(const QStringList& arguments,
                        const QProcessEnvironment& environment = QProcessEnvironment());
