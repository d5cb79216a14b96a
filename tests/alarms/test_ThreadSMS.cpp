#include "alarms/ThreadSMSUnit.h"
#include "core/AlarmMethodSettings.h"
#include "support/FakeSmsc.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

std::string Joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const std::string& text : texts)
        all += text + "\n";
    return all;
}

SmsMethodSettings Settings(const FakeSmsc& smsc)
{
    SmsMethodSettings settings;
    settings.enable = true;
    settings.ip = smsc.host();
    settings.port = smsc.port();
    settings.oa = "QUORVEL";
    settings.authenticate = true;
    settings.username = "alarm";
    settings.password = "secret";
    settings.sms_version = 34;
    settings.sms_system_type = "VMA";
    settings.sms_ton = 5;
    settings.sms_npi = 0;
    settings.sms_dest_ton = 1;
    settings.sms_dest_npi = 1;
    settings.sms_orig_ton = 5;
    settings.sms_orig_npi = 0;
    settings.timeout = 5000;
    return settings;
}

// The body of a submit_sm from its start to the end of destination_addr, then the flags up to
// sm_length, as this alarm sends them.
QByteArray SubmitBody(const QByteArray& shortMessage)
{
    return QByteArray("\0\x05\x00QUORVEL\0\x01\x01+41790000000\0\0\0\0\0\0\x01\0\0\0", 35) +
           static_cast<char>(shortMessage.size()) + shortMessage;
}

TEST(ThreadSMS, SendsOneMessageAndEndsTheSession)
{
    for (const bool authenticate : {true, false}) {
        SCOPED_TRACE(authenticate ? "authenticate" : "no authentication");
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter)
            .respond(SmppCommand::BindTransmitterResp)
            .expect(SmppCommand::SubmitSm)
            .respond(SmppCommand::SubmitSmResp, 0, QByteArray("id-1\0", 5))
            .expect(SmppCommand::Unbind)
            .respond(SmppCommand::UnbindResp)
            .expectClose();
        smsc.start();

        SmsMethodSettings settings = Settings(smsc);
        settings.authenticate = authenticate;
        ThreadSMS sms(settings, "+41790000000", "[web:80] Failed");
        sms.Execute();

        EXPECT_TRUE(sms.Passed);
        EXPECT_EQ(sms.ResultText, "Sent");
        EXPECT_EQ(sms.ResultDetail, "");
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
        const QList<QByteArray> pdus = smsc.pdus();
        ASSERT_EQ(pdus.size(), 3);
        // The stored user name and password go out only when the method authenticates.
        const QByteArray credentials =
            authenticate ? QByteArray("alarm\0secret\0", 13) : QByteArray("\0\0", 2);
        EXPECT_EQ(pdus[0].mid(16), credentials + QByteArray("VMA\0\x34\x05\x00QUORVEL\0", 15));
        const QByteArray text("\x1B\x3Cweb:80\x1B\x3E Failed", 17);
        EXPECT_EQ(pdus[1].mid(16).toHex(' ').toStdString(), SubmitBody(text).toHex(' ').toStdString());
    }
}

TEST(ThreadSMS, EachFailingStepGivesItsCodeAndResult)
{
    struct
    {
        const char* name;
        std::function<void(FakeSmsc&)> script;
        int timeout;
        QString detail;
        int pdus;
    } cases[] = {
        {"bind rejected with ESME_RINVPASWD",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respond(SmppCommand::BindTransmitterResp, 0x0E)
                 .expectClose();
         },
         5000, QString(ThreadSMS::BindFailedText) + " : 14", 1},
        {"connection dropped during the bind",
         [](FakeSmsc& smsc) { smsc.expect(SmppCommand::BindTransmitter).close(); }, 60000,
         QString(ThreadSMS::BindFailedText) + " : -4", 1},
        {"silent SMSC after the bind: unbind is still sent",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respond(SmppCommand::BindTransmitterResp)
                 .expect(SmppCommand::SubmitSm)
                 .expect(SmppCommand::Unbind)
                 .respond(SmppCommand::UnbindResp)
                 .expectClose();
         },
         300, QString(ThreadSMS::SendFailedText) + " : -1", 3},
        {"submission refused",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respond(SmppCommand::BindTransmitterResp)
                 .expect(SmppCommand::SubmitSm)
                 .respond(SmppCommand::SubmitSmResp, 0x0B)
                 .expect(SmppCommand::Unbind)
                 .respond(SmppCommand::UnbindResp)
                 .expectClose();
         },
         5000, QString(ThreadSMS::SendFailedText) + " : 11", 3},
        // Responses that answer other requests never make the message count as sent.
        {"stray submit_sm_resp with the bind_transmitter_resp, the submission's own never comes",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respondAll({{SmppCommand::BindTransmitterResp},
                              {SmppCommand::SubmitSmResp, 0, 0, QByteArray("fake\0", 5)}})
                 .expect(SmppCommand::SubmitSm)
                 .expect(SmppCommand::Unbind)
                 .respond(SmppCommand::UnbindResp)
                 .expectClose();
         },
         300, QString(ThreadSMS::SendFailedText) + " : -1", 3},
        {"submit_sm_resp with another sequence number, the submission's own never comes",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respond(SmppCommand::BindTransmitterResp)
                 .expect(SmppCommand::SubmitSm)
                 .respondAll({{SmppCommand::SubmitSmResp, 0, -1}, {SmppCommand::SubmitSmResp, 0, 7}})
                 .expect(SmppCommand::Unbind)
                 .respond(SmppCommand::UnbindResp)
                 .expectClose();
         },
         300, QString(ThreadSMS::SendFailedText) + " : -1", 3},
        {"bind_transmitter_resp with another sequence number, its own never comes",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respondAll({{SmppCommand::BindTransmitterResp, 0, 1}})
                 .expectClose();
         },
         300, QString(ThreadSMS::BindFailedText) + " : -1", 1},
        {"connection dropped while the submission waits",
         [](FakeSmsc& smsc) {
             smsc.expect(SmppCommand::BindTransmitter)
                 .respond(SmppCommand::BindTransmitterResp)
                 .expect(SmppCommand::SubmitSm)
                 .close();
         },
         60000, QString(ThreadSMS::SendFailedText) + " : -4", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        c.script(smsc);
        smsc.start();
        SmsMethodSettings settings = Settings(smsc);
        settings.timeout = c.timeout;
        ThreadSMS sms(settings, "+41790000000", "down");
        sms.Execute();
        EXPECT_FALSE(sms.Passed);
        EXPECT_EQ(sms.ResultText, "Error");
        EXPECT_EQ(sms.ResultDetail, c.detail);
        EXPECT_EQ(sms.Client->State(), TtcSMSCRelay::StateClosed);
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
        EXPECT_EQ(smsc.pdus().size(), c.pdus);
    }
}

TEST(ThreadSMS, RefusedConnectionGivesTheSystemErrorNumber)
{
    SmsMethodSettings settings;
    settings.ip = "127.0.0.1";
    settings.port = ScriptedServer::UnusedPort();
    ThreadSMS sms(settings, "+41790000000", "down");
    EXPECT_EQ(sms.Timeout, 5000);
    sms.Execute();
    EXPECT_FALSE(sms.Passed);
    EXPECT_EQ(sms.ResultText, "Error");
    EXPECT_EQ(sms.ResultDetail,
              QString(ThreadSMS::ConnectFailedText) + " : " + QString::number(ECONNREFUSED));
}

} // namespace
