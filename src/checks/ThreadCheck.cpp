#include "checks/ThreadCheck.h"

#include "core/auxFunc.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

const char* const ThreadCheck::PassedText = "Passed";
const char* const ThreadCheck::FailedText = "Failed";

namespace {
constexpr int DefaultTimeoutMs = 5000;
}

ThreadCheck::ThreadCheck(const ThreadCheckArgs& args)
    : Origin(args.Origin), ServiceId(args.ServiceId), Host(args.Host), Port(args.Port), Retry(args.Retry > 0),
      AlarmEmail(args.AlarmEmail), AlarmSmpp(args.AlarmSmpp), AlarmHttpSms(args.AlarmHttpSms),
      AlarmSyslog(args.AlarmSyslog), Timeout(args.Timeout > 0 ? args.Timeout : DefaultTimeoutMs),
      Tls(args.Tls)
{
}

ThreadCheck::~ThreadCheck() = default;

void ThreadCheck::Execute()
{
    QString message;
    bool failed = false;
    const auto started = std::chrono::steady_clock::now();
    try {
        Passed = Probe();
    } catch (const std::exception& e) {
        failed = true;
        message = QString::fromUtf8(e.what());
    } catch (...) {
        failed = true;
        message = QStringLiteral("unknown error");
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    ResponseMs = static_cast<int>(std::min<long long>(elapsed.count(), std::numeric_limits<int>::max()));
    try {
        const int own = RoundTripMs();
        if (own >= 0 && !failed)
            ResponseMs = own;
    } catch (...) {
    }
    if (failed)
        Passed = false;
    ResultText = QString::fromLatin1(Passed ? PassedText : FailedText);
    CertDaysLeft.reset();
    try {
        if (const std::optional<TlsPeerCertificate> peer = PeerCertificate())
            CertDaysLeft = peer->daysLeft();
    } catch (...) {
        // Nothing is known about the certificate.
    }

    // The detail is built before the client is released, since a kind may read its S from it.
    // Plain concatenation: host texts (URLs) may contain '%' sequences.
    try {
        ResultDetail = QLatin1Char('[') + DetailHost() + QLatin1Char(':') + QString::number(DetailPort()) +
                       QStringLiteral("] ") + DetailStatus();
    } catch (...) {
        // A kind's report of H, P or S failed: fall back to the common fields.
        ResultDetail = QLatin1Char('[') + Host + QLatin1Char(':') + QString::number(Port) +
                       QStringLiteral("] ") + ResultText;
    }
    if (failed)
        ResultDetail += QLatin1Char(':') + TrimControl(message);

    try {
        CloseClient();
    } catch (...) {
        // Errors while closing or releasing the client are ignored.
    }
}

void ThreadCheck::CloseClient() {}

std::optional<TlsPeerCertificate> ThreadCheck::PeerCertificate() const
{
    return std::nullopt;
}

int ThreadCheck::RoundTripMs() const
{
    return -1;
}

QString ThreadCheck::QuoteReceived(const QString& text)
{
    const QString blank = BlankControls(text);
    qsizetype length = std::min<qsizetype>(blank.size(), kQuoteLength);
    if (length < blank.size() && length > 0 && blank.at(length - 1).isHighSurrogate())
        --length; // never half a character
    return QLatin1Char('"') + blank.left(length) + QLatin1Char('"') +
           (length < blank.size() ? QStringLiteral("...") : QString());
}

QString ThreadCheck::DetailHost() const
{
    return Host;
}

int ThreadCheck::DetailPort() const
{
    return Port;
}

QString ThreadCheck::DetailStatus() const
{
    return ResultText;
}
