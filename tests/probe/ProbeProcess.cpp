#include "probe/ProbeProcess.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

QString ProbeProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/quorvel-probe");
}

ProbeRun RunProbeProgram(const QStringList& arguments)
{
    ProbeRun run;
    QProcess process;
    process.start(ProbeProgram(), arguments);
    if (!process.waitForStarted(5000)) {
        ADD_FAILURE() << "cannot start " << ProbeProgram().toStdString() << ": "
                      << process.errorString().toStdString();
        return run;
    }
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        ADD_FAILURE() << "quorvel-probe did not end within 20 s";
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    // A check's line ends in " | " and its performance data; the tests judge the text and the
    // data apart.
    const std::string::size_type bar = run.out.rfind(" | ");
    if (bar != std::string::npos) {
        const std::string::size_type end = run.out.find('\n', bar);
        run.perf = run.out.substr(bar + 3, end == std::string::npos ? std::string::npos : end - bar - 3);
        run.out.erase(bar, end == std::string::npos ? std::string::npos : end - bar);
    }
    run.err = process.readAllStandardError().toStdString();
    return run;
}
