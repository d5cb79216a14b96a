// The syslog alarm: the datagram bytes a UDP collector on loopback receives (PRI, timestamp,
// host address, text), the RFC 3164 form, control characters as blanks, the 1024-byte cut, and
// errors reported as "Error" with "[host:port] reason".
#include "alarms/ThreadSysLogUnit.h"
#include "core/AlarmMethodSettings.h"
#include "core/Clock.h"
#include "net/Socket.h"

#include "support/RunItem.h"
#include "support/UdpCollector.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const QDateTime kSendTime(QDate(2024, 3, 5), QTime(7, 8, 9));

class FixedClock
{
public:
    explicit FixedClock(const QDateTime& at = kSendTime)
    {
        m_previous = SetClockSource([at] { return at; });
    }
    ~FixedClock() { SetClockSource(m_previous); }

private:
    std::function<QDateTime()> m_previous;
};

Outcome run(ThreadSysLog& item)
{
    const Outcome o = RunItem(item);
    EXPECT_EQ(item.Client, nullptr) << "the UDP client is released";
    return o;
}

std::string header(int pri)
{
    return "<" + std::to_string(pri) + ">Mar  5 07:08:09 " + LocalIPv4Address() + " ";
}

// The datagram as the collector receives it, facility and severity by their catalogue names.
TEST(SysLogAlarm, CollectorReceivesPriTimestampHostAndText)
{
    struct Case
    {
        const char* facility;
        const char* severity;
        int pri;
    };
    const std::vector<Case> cases = {
        {"Local Use Seven", "Debug", 191},    {"Kernel", "Emergency", 0}, {"UUCP", "Error", 67},
        {"Clock Daemon One", "Error", 75},    {"kernel", "Error", 3}, // an unlisted name counts as Kernel
        {"Mail System", "Informational", 22},
    };
    FixedClock clock;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.facility) + "/" + c.severity);
        UdpCollector collector;
        SysLogMethodSettings s;
        s.enable = true;
        s.ip = "127.0.0.1";
        s.port = collector.port();
        s.facility = FacilityCode(c.facility);
        s.severity = SeverityCode(c.severity);
        ThreadSysLog item(s, ":[db1:3306] Failed:connection refused");
        const Outcome o = run(item);
        EXPECT_TRUE(o.passed) << o.detail;
        EXPECT_EQ(o.text, "Sent");
        EXPECT_EQ(o.detail, "");
        std::string datagram;
        ASSERT_TRUE(collector.receive(datagram));
        EXPECT_EQ(datagram, header(c.pri) + ":[db1:3306] Failed:connection refused");
    }
}

// The parts of an RFC 3164 message, read back by its grammar.
TEST(SysLogAlarm, DatagramParsesAsRfc3164)
{
    const QRegularExpression rfc3164(
        QStringLiteral("^<(\\d{1,3})>((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([ 1-3]\\d) "
                       "(\\d\\d):(\\d\\d):(\\d\\d)) "
                       "([!-~]+) (.*)$"));
    struct Case
    {
        QDateTime at;
        QString timestamp;
    };
    const std::vector<Case> cases = {
        {QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)), "Mar  5 07:08:09"},
        {QDateTime(QDate(2023, 12, 25), QTime(23, 59, 59)), "Dec 25 23:59:59"},
        {QDateTime(QDate(2025, 1, 10), QTime(0, 0, 0)), "Jan 10 00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timestamp.toStdString());
        const QByteArray datagram = ThreadSysLog::Datagram(16, 4, c.at, "10.0.0.7", ":[h:1] Failed:x y");
        const QRegularExpressionMatch m = rfc3164.match(QString::fromUtf8(datagram));
        ASSERT_TRUE(m.hasMatch()) << datagram.toStdString();
        EXPECT_EQ(m.captured(1), "132");
        EXPECT_EQ(m.captured(2), c.timestamp);
        EXPECT_EQ(m.captured(8), "10.0.0.7");
        EXPECT_EQ(m.captured(9), ":[h:1] Failed:x y");
    }
}

// One alarm is one line at the collector: every control character, the Unicode line separators
// included, arrives as a blank.
TEST(SysLogAlarm, ControlCharactersBecomeBlanks)
{
    const QString text = QStringLiteral("a\r\nb\tc\x7f"
                                        "d") +
                         QChar(0x85) + "e" + QChar(0x2028) + "f" + QChar(0) + "g\u00e9";
    const QByteArray datagram = ThreadSysLog::Datagram(1, 5, kSendTime, "10.0.0.7", text);
    EXPECT_EQ(datagram.toStdString(), "<13>Mar  5 07:08:09 10.0.0.7 a  b c d e f g\xc3\xa9");
}

// Facility and severity codes outside their ranges count as 0 instead of making a wrong PRI.
TEST(SysLogAlarm, CodesOutOfRangeCountAsZero)
{
    EXPECT_EQ(ThreadSysLog::Datagram(24, 3, kSendTime, "h", "x").left(4), "<3>M");
    EXPECT_EQ(ThreadSysLog::Datagram(-1, 8, kSendTime, "h", "x").left(4), "<0>M");
    EXPECT_EQ(ThreadSysLog::Datagram(23, 7, kSendTime, "h", "x").left(6), "<191>M");
}

// A long text is cut so that the whole datagram has 1024 bytes; a character of several bytes at
// the boundary is left out whole rather than split.
TEST(SysLogAlarm, LongTextIsCutTo1024Bytes)
{
    FixedClock clock;
    UdpCollector collector;
    ThreadSysLog item("127.0.0.1", collector.port(), 1, 3, QString(3000, QLatin1Char('x')), 0);
    EXPECT_TRUE(run(item).passed);
    std::string datagram;
    ASSERT_TRUE(collector.receive(datagram));
    ASSERT_EQ(datagram.size(), 1024u);
    EXPECT_EQ(datagram, header(11) + std::string(1024 - header(11).size(), 'x'));

    const QString head = "<11>Mar  5 07:08:09 h ";
    for (int pad = 0; pad < 3; ++pad) {
        SCOPED_TRACE(pad);
        // "€" is three bytes in UTF-8; with `pad` ASCII bytes first, one of them straddles 1024.
        QString text(pad, QLatin1Char('p'));
        while (head.size() + text.toUtf8().size() < 1100)
            text += QChar(0x20AC);
        const QByteArray cut = ThreadSysLog::Datagram(1, 3, kSendTime, "h", text);
        EXPECT_LE(cut.size(), 1024);
        EXPECT_GE(cut.size(), 1022);
        EXPECT_EQ(QString::fromUtf8(cut).toUtf8(), cut) << "no character is split";
        EXPECT_EQ((cut.size() - head.size() - pad) % 3, 0);
    }
}

TEST(SysLogAlarm, ErrorsAreReportedWithHostAndPort)
{
    struct Case
    {
        QString host;
        int port;
        std::string detailStart;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", 0, "[127.0.0.1:0] cannot send to 127.0.0.1:0: invalid port"},
        {"no-such-host.invalid", 514, "[no-such-host.invalid:514] cannot resolve \"no-such-host.invalid\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        ThreadSysLog item(c.host, c.port, 1, 3, "x", 0);
        const Outcome o = run(item);
        EXPECT_FALSE(o.passed);
        EXPECT_EQ(o.text, "Error");
        EXPECT_EQ(o.detail.substr(0, c.detailStart.size()), c.detailStart) << o.detail;
    }
}

// Nothing is received: a collector that is not there is not noticed.
TEST(SysLogAlarm, AbsentCollectorStillGivesSent)
{
    int port = 0;
    {
        UdpCollector gone;
        port = gone.port();
    }
    ThreadSysLog item("127.0.0.1", port, 1, 3, "x", 0);
    EXPECT_TRUE(run(item).passed);
}

TEST(SysLogAlarm, ValuesFromTheMethodSettings)
{
    SysLogMethodSettings s;
    // As loaded from a stored "http://http://logs.example": "http://" is removed once, by the
    // loader, not again here.
    s.ip = "http://logs.example";
    s.port = 1514;
    s.facility = 8;
    s.severity = 3;
    s.timeout = 0;
    ThreadSysLog item(s, "text");
    EXPECT_EQ(item.Method, "SysLog");
    EXPECT_EQ(item.Host, "http://logs.example");
    EXPECT_EQ(item.Port, 1514);
    EXPECT_EQ(item.Facility, 8);
    EXPECT_EQ(item.Severity, 3);
    EXPECT_EQ(item.Text, "text");
    EXPECT_EQ(item.Timeout, 5000);
    EXPECT_NE(item.Client, nullptr) << "the UDP socket is opened at construction";
}

} // namespace
