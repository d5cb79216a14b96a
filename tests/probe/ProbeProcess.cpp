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
    run.err = process.readAllStandardError().toStdString();
    return run;
}
