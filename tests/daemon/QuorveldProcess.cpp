#include "daemon/QuorveldProcess.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>

QString QuorveldProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/quorveld");
}

QuorveldProcess::QuorveldProcess(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The test's own service manager, if any, is not the program's.
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID", "LOGS_DIRECTORY"})
        env.remove(QString::fromLatin1(name));
    env.insert(environment);
    m_process.setProcessEnvironment(env);
    // A test program that crashes takes its quorveld with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(QuorveldProgram(), arguments);
    m_started = m_process.waitForStarted(5000);
    if (!m_started)
        ADD_FAILURE() << "cannot start " << QuorveldProgram().toStdString() << ": "
                      << m_process.errorString().toStdString();
}

QuorveldProcess::~QuorveldProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool QuorveldProcess::signal(int number)
{
    return running() && ::kill(static_cast<pid_t>(m_process.processId()), number) == 0;
}

bool QuorveldProcess::waitForExit(int ms)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
}

int QuorveldProcess::exitCode() const
{
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

std::string QuorveldProcess::out()
{
    m_out += m_process.readAllStandardOutput().toStdString();
    return m_out;
}

std::string QuorveldProcess::err()
{
    m_err += m_process.readAllStandardError().toStdString();
    return m_err;
}

QuorveldRun RunQuorveld(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QuorveldProcess process(arguments, environment);
    QuorveldRun run;
    if (!process.started())
        return run;
    if (!process.waitForExit(20000))
        ADD_FAILURE() << "quorveld did not end within 20 s";
    run.exitCode = process.exitCode();
    run.out = process.out();
    run.err = process.err();
    return run;
}
