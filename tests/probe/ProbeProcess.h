#pragma once

#include <QString>
#include <QStringList>

#include <string>

// Runs the quorvel-probe program, built beside the tests, as a process.

// <build>/src/quorvel-probe, the tests being in <build>/tests.
QString ProbeProgram();

struct ProbeRun
{
    int exitCode = -1; // -1 when the program did not end normally
    std::string out;   // standard output, with a check's performance data taken off its line
    std::string perf;  // the performance data after " | " (checks only), e.g. "time=0.001234s;;;0.000000"
    std::string err;
};

// Runs the program with `arguments`, at most 20 s (then it is killed and the test fails).
ProbeRun RunProbeProgram(const QStringList& arguments);

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
