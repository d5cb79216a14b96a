#include "smpp/tcSMSCRelaySMPP.h"
#include "support/FakeSmsc.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Relay = TtcSMSCRelaySMPP;

std::string Hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const std::string& text : texts)
        all += text + "\n";
    return all;
}

// Records what the client reports through OnDisconnected; waits are bounded.
class DisconnectRecorder
{
public:
    void attach(Relay& client)
    {
        client.SetOnDisconnected([this](int code) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_codes.push_back(code);
            m_changed.notify_all();
        });
    }
    // The first code reported, or nothing within `timeoutMs`.
    std::optional<int> waitFirst(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !m_codes.empty(); }))
            return std::nullopt;
        return m_codes.front();
    }
    std::vector<int> codes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_codes;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_codes;
};

class SmppSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_client.SetSequenceNumber(100);
        m_client.SetKeepAlive(false);
        m_client.SetResponseTimeOut(5000);
        m_smsc.setStepTimeout(5000);
        m_recorder.attach(m_client);
    }

    // The dialogue of the SMS alarm up to a bound session.
    void ConnectAndBind(int expectedBind = 0)
    {
        ASSERT_EQ(m_client.Connect(m_smsc.host(), m_smsc.port()), 0);
        ASSERT_EQ(m_client.State(), Relay::StateConnected);
        ASSERT_EQ(m_client.Bind("abc", "", "123", 34, Relay::BindTransmitter, "", 1, 1), expectedBind);
    }

    int Submit(const QString& text, QString& messageId)
    {
        return m_client.SubmitMessage("4179", 1, 1, "123", 5, 0, text, Relay::SubmitDeliveryReceipt,
                                      messageId);
    }

    void Finish()
    {
        m_client.Unbind();
        m_client.Disconnect();
        ASSERT_TRUE(m_smsc.wait());
        EXPECT_TRUE(m_smsc.failures().empty()) << Joined(m_smsc.failures());
    }

    FakeSmsc m_smsc;
    Relay m_client;
    DisconnectRecorder m_recorder;
};

const QByteArray kBindResp = FakeSmsc::Pdu(SmppCommand::BindTransmitterResp, 0, 100, QByteArray("SMSC\0", 5));

TEST_F(SmppSession, BindSubmitUnbindDialogueByteForByte)
{
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp, 0, QByteArray("SMSC\0", 5))
        .expect(SmppCommand::SubmitSm)
        .respond(SmppCommand::SubmitSmResp, 0, QByteArray("msg-1\0", 6))
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .expectClose();
    m_smsc.start();

    ConnectAndBind();
    EXPECT_EQ(m_client.State(), Relay::StateBound);
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), 0);
    EXPECT_EQ(messageId, "msg-1");
    EXPECT_EQ(m_client.Unbind(), 0);
    EXPECT_EQ(m_client.State(), Relay::StateConnected);
    EXPECT_EQ(m_client.Disconnect(), 0);
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    ASSERT_TRUE(m_smsc.wait());
    EXPECT_TRUE(m_smsc.failures().empty()) << Joined(m_smsc.failures());

    const QList<QByteArray> pdus = m_smsc.pdus();
    ASSERT_EQ(pdus.size(), 3);
    EXPECT_EQ(Hex(pdus[0]), Hex(FakeSmsc::Pdu(SmppCommand::BindTransmitter, 0, 100,
                                              QByteArray("abc\0\0\0\x22\x01\x01"
                                                         "123\0",
                                                         13))));
    const QByteArray submitBody("\0"
                                "\x05\x00"
                                "123\0"
                                "\x01\x01"
                                "4179\0"
                                "\0\0\0"
                                "\0\0"
                                "\x01\0\0\0"
                                "\x02Hi",
                                26);
    EXPECT_EQ(Hex(pdus[1]), Hex(FakeSmsc::Pdu(SmppCommand::SubmitSm, 0, 101, submitBody)));
    EXPECT_EQ(Hex(pdus[2]), "00 00 00 10 00 00 00 06 00 00 00 00 00 00 00 66");
    EXPECT_TRUE(m_recorder.codes().empty()) << "an orderly end is no lost connection";
}

TEST_F(SmppSession, SmscClosingRightAfterUnbindRespIsAnOrderlyEnd)
{
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .close();
    m_smsc.start();
    ConnectAndBind();
    EXPECT_EQ(m_client.Unbind(), 0);
    EXPECT_EQ(m_client.State(), Relay::StateConnected);
    Finish();
    EXPECT_TRUE(m_recorder.codes().empty());
}

TEST_F(SmppSession, OperationsOutOfOrderReturnMinusTwoAndSendNothing)
{
    m_smsc.expectClose();
    m_smsc.start();

    QString messageId = "stale";
    EXPECT_EQ(m_client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1), Relay::ResultWrongState);
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultWrongState);
    EXPECT_TRUE(messageId.isEmpty());
    EXPECT_EQ(m_client.Unbind(), 0);
    EXPECT_EQ(m_client.Disconnect(), 0);

    ASSERT_EQ(m_client.Connect(m_smsc.host(), m_smsc.port()), 0);
    EXPECT_EQ(m_client.Connect(m_smsc.host(), m_smsc.port()), Relay::ResultWrongState);
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultWrongState);
    EXPECT_EQ(m_client.Unbind(), 0);
    EXPECT_EQ(m_client.Bind("abc", "", "", 34, 2, "", 1, 1), Relay::ResultWrongState) << "only transmitter";
    Finish();
    EXPECT_EQ(m_smsc.connectionsAccepted(), 1);
    EXPECT_TRUE(m_smsc.pdus().isEmpty());
}

TEST_F(SmppSession, RefusedConnectionReturnsTheSystemErrorNumber)
{
    EXPECT_EQ(m_client.Connect("127.0.0.1", ScriptedServer::UnusedPort()), ECONNREFUSED);
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    EXPECT_EQ(m_client.Connect("127.0.0.1", 0), EHOSTUNREACH) << "an invalid port gives no system error";
}

struct AnswerCase
{
    const char* name;
    QByteArray answer; // sent in place of the expected response
    int result;
};

// Bind answered with an error: the status comes back, the client is not bound, and the
// Unbind the callers always issue returns 0 without sending anything.
TEST_F(SmppSession, RejectedBindGivesTheStatusAndUnbindSendsNothing)
{
    const AnswerCase cases[] = {
        {"invalid password", FakeSmsc::Pdu(SmppCommand::BindTransmitterResp, 0x0E, 100), 14},
        {"bind_transceiver_resp counts too", FakeSmsc::Pdu(SmppCommand::BindTransceiverResp, 0x0F, 100), 15},
        {"generic_nack", FakeSmsc::Pdu(SmppCommand::GenericNack, 0x03, 100), Relay::ResultGenericNack},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter).sendRaw(c.answer).expectClose();
        smsc.start();
        Relay client;
        client.SetSequenceNumber(100); // the bind the answer is for
        client.SetResponseTimeOut(5000);
        ASSERT_EQ(client.Connect(smsc.host(), smsc.port()), 0);
        EXPECT_EQ(client.Bind("abc", "wrong", "", 34, Relay::BindTransmitter, "", 1, 1), c.result);
        EXPECT_EQ(client.State(), Relay::StateReceiving);
        EXPECT_EQ(client.Unbind(), 0);
        EXPECT_EQ(client.Disconnect(), 0);
        EXPECT_EQ(client.State(), Relay::StateClosed);
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
        EXPECT_EQ(smsc.pdus().size(), 1);
    }
}

TEST_F(SmppSession, SubmitAnsweredWithAnErrorGivesItsStatus)
{
    const AnswerCase cases[] = {
        {"status without body", FakeSmsc::Pdu(SmppCommand::SubmitSmResp, 0x45, 101), 0x45},
        {"vendor status with body", FakeSmsc::Pdu(SmppCommand::SubmitSmResp, 0x400, 101, QByteArray("\0", 1)),
         0x400},
        {"generic_nack", FakeSmsc::Pdu(SmppCommand::GenericNack, 0x03, 101), Relay::ResultGenericNack},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter)
            .respond(SmppCommand::BindTransmitterResp)
            .expect(SmppCommand::SubmitSm)
            .sendRaw(c.answer)
            .expect(SmppCommand::Unbind)
            .respond(SmppCommand::UnbindResp)
            .expectClose();
        smsc.start();
        Relay client;
        client.SetSequenceNumber(100); // bind 100, submit 101
        client.SetResponseTimeOut(5000);
        ASSERT_EQ(client.Connect(smsc.host(), smsc.port()), 0);
        ASSERT_EQ(client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1), 0);
        QString messageId = "stale";
        EXPECT_EQ(client.SubmitMessage("4179", 1, 1, "", 1, 1, "Hi", 0, messageId), c.result);
        EXPECT_TRUE(messageId.isEmpty());
        EXPECT_EQ(client.Unbind(), 0);
        client.Disconnect();
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
    }
}

TEST_F(SmppSession, FailedUnbindKeepsTheSessionBound)
{
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp, 0x08)
        .expectClose();
    m_smsc.start();
    ConnectAndBind();
    EXPECT_EQ(m_client.Unbind(), 8);
    EXPECT_EQ(m_client.State(), Relay::StateBound);
    EXPECT_EQ(m_client.Disconnect(), 0);
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    ASSERT_TRUE(m_smsc.wait());
    EXPECT_TRUE(m_smsc.failures().empty()) << Joined(m_smsc.failures());
}

// While a submit_sm waits, the SMSC sends a deliver_sm (dropped, not answered), a stray
// unbind_resp (not the awaited response) and an enquire_link (answered with its own sequence
// number); the submit still ends with its own response.
TEST_F(SmppSession, SmscTrafficDuringASubmitDoesNotEndIt)
{
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::SubmitSm)
        .sendPdu(SmppCommand::DeliverSm, 7, 0, QByteArray(40, '\0'))
        .sendPdu(SmppCommand::UnbindResp, 8, 0x99)
        .sendPdu(SmppCommand::EnquireLink, 77)
        .expect(SmppCommand::EnquireLinkResp)
        .pause(100)
        .respond(SmppCommand::SubmitSmResp, 0, QByteArray("late-id\0", 8))
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .expectClose();
    m_smsc.start();

    ConnectAndBind();
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), 0);
    EXPECT_EQ(messageId, "late-id");
    Finish();
    const QList<QByteArray> pdus = m_smsc.pdus();
    ASSERT_EQ(pdus.size(), 4);
    EXPECT_EQ(Hex(pdus[2]), Hex(FakeSmsc::Pdu(SmppCommand::EnquireLinkResp, 0, 77)));
}

// A response releases the waiting request only with the request's own sequence number: accepting
// responses that answer other requests (a stray one ahead, a stale one behind, each saying
// "accepted") are dropped, and the request ends with its own response's status, or after
// ResponseTimeOut when that never comes.
TEST_F(SmppSession, ResponsesWithAnotherSequenceNumberDoNotReleaseTheRequest)
{
    enum Step
    {
        BindStep,
        SubmitStep,
        UnbindStep
    };
    struct Case
    {
        const char* name;
        Step step;
        bool ownResponseComes;
        int result;
    };
    const Case cases[] = {
        {"bind, own response rejects", BindStep, true, 14},
        {"bind, own response never comes", BindStep, false, Relay::ResultTimeout},
        {"submit, own response rejects", SubmitStep, true, 0x45},
        {"submit, own response never comes", SubmitStep, false, Relay::ResultTimeout},
        {"unbind, own response rejects", UnbindStep, true, 8},
        {"unbind, own response never comes", UnbindStep, false, Relay::ResultTimeout},
    };
    const quint32 requestIds[] = {SmppCommand::BindTransmitter, SmppCommand::SubmitSm, SmppCommand::Unbind};
    const quint32 responseIds[] = {SmppCommand::BindTransmitterResp, SmppCommand::SubmitSmResp,
                                   SmppCommand::UnbindResp};
    const quint32 refusals[] = {0x0E, 0x45, 0x08};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.setStepTimeout(5000);
        if (c.step != BindStep)
            smsc.expect(SmppCommand::BindTransmitter).respond(SmppCommand::BindTransmitterResp);
        const quint32 responseId = responseIds[c.step];
        const QByteArray fakeId("fake-id\0", 8);
        smsc.expect(requestIds[c.step])
            .respondAll(
                {{responseId, 0, 1, fakeId}, {responseId, 0, -1, fakeId}, {responseId, 0, 1000, fakeId}})
            .pause(100);
        if (c.ownResponseComes)
            smsc.respond(responseId, refusals[c.step]);
        if (c.step == SubmitStep)
            smsc.expect(SmppCommand::Unbind).respond(SmppCommand::UnbindResp);
        smsc.expectClose();
        smsc.start();

        Relay client;
        client.SetSequenceNumber(100);
        client.SetKeepAlive(false);
        client.SetResponseTimeOut(c.ownResponseComes ? 5000 : 400);
        ASSERT_EQ(client.Connect(smsc.host(), smsc.port()), 0);
        const int bound = client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1);
        if (c.step == BindStep) {
            EXPECT_EQ(bound, c.result);
            EXPECT_EQ(client.State(), Relay::StateReceiving);
        } else {
            ASSERT_EQ(bound, 0);
        }
        if (c.step == SubmitStep) {
            QString messageId = "stale";
            EXPECT_EQ(client.SubmitMessage("4179", 1, 1, "", 1, 1, "Hi", 0, messageId), c.result);
            EXPECT_TRUE(messageId.isEmpty()) << "the identifier of a dropped response is not taken";
        }
        const int unbound = client.Unbind();
        if (c.step == UnbindStep) {
            EXPECT_EQ(unbound, c.result);
            EXPECT_EQ(client.State(), Relay::StateBound);
        }
        client.Disconnect();
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
    }
}

// Many PDUs in one burst while a request waits: each enquire_link gets one whole answer.
TEST_F(SmppSession, BurstOfEnquireLinksIsAnsweredPduByPdu)
{
    constexpr int kBurst = 300;
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::SubmitSm)
        .run([this](ScriptedConnection& c) {
            QByteArray burst;
            for (int i = 0; i < kBurst; ++i)
                burst += FakeSmsc::Pdu(SmppCommand::EnquireLink, 0, 5000 + static_cast<quint32>(i));
            if (!c.send(burst.toStdString()))
                return false;
            for (int i = 0; i < kBurst; ++i) {
                QByteArray pdu;
                if (!m_smsc.readPdu(c, pdu)) {
                    m_smsc.fail("answer " + std::to_string(i) + " missing");
                    return false;
                }
                if (pdu != FakeSmsc::Pdu(SmppCommand::EnquireLinkResp, 0, 5000 + static_cast<quint32>(i))) {
                    m_smsc.fail("answer " + std::to_string(i) + " is " + Hex(pdu));
                    return false;
                }
            }
            return true;
        })
        .sendRaw(FakeSmsc::Pdu(SmppCommand::SubmitSmResp, 0, 101, QByteArray("id\0", 3)))
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .expectClose();
    m_smsc.start();

    ConnectAndBind();
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), 0);
    EXPECT_EQ(messageId, "id");
    Finish();
}

TEST_F(SmppSession, SilentSmscGivesMinusOneAfterResponseTimeOut)
{
    m_client.SetResponseTimeOut(200);
    m_smsc.expect(SmppCommand::BindTransmitter).expectClose();
    m_smsc.start();
    ConnectAndBind(Relay::ResultTimeout);
    EXPECT_EQ(m_client.State(), Relay::StateReceiving);
    Finish(); // Unbind sends nothing: the session was never bound
    EXPECT_EQ(m_smsc.pdus().size(), 1);
}

TEST_F(SmppSession, SilenceAfterSubmitGivesMinusOneAndUnbindIsStillSent)
{
    m_client.SetResponseTimeOut(200);
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::SubmitSm)
        .expect(SmppCommand::Unbind)
        .expectClose();
    m_smsc.start();
    ConnectAndBind();
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultTimeout);
    EXPECT_EQ(m_client.Unbind(), Relay::ResultTimeout);
    EXPECT_EQ(m_client.State(), Relay::StateBound);
    m_client.Disconnect();
    ASSERT_TRUE(m_smsc.wait());
    EXPECT_TRUE(m_smsc.failures().empty()) << Joined(m_smsc.failures());
    EXPECT_EQ(m_smsc.pdus().size(), 3);
}

// The connection ends while a submit waits: the submit is released at once with -4, although
// the last stored status (the bind's) is 0.
TEST_F(SmppSession, ConnectionClosedDuringAWaitReleasesTheRequestAsLost)
{
    m_client.SetResponseTimeOut(60000);
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::SubmitSm)
        .close();
    m_smsc.start();
    ConnectAndBind();
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultConnectionLost);
    EXPECT_TRUE(messageId.isEmpty());
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    EXPECT_EQ(m_recorder.waitFirst(5000), std::optional<int>(0));
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultWrongState);
    EXPECT_EQ(m_client.Unbind(), 0);
    Finish();
}

TEST_F(SmppSession, ConnectionClosedDuringBindOrUnbindReleasesThemAsLost)
{
    {
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter).close();
        smsc.start();
        Relay client;
        client.SetResponseTimeOut(60000);
        ASSERT_EQ(client.Connect(smsc.host(), smsc.port()), 0);
        EXPECT_EQ(client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1),
                  Relay::ResultConnectionLost);
        EXPECT_EQ(client.State(), Relay::StateClosed);
        EXPECT_EQ(client.Unbind(), 0);
        client.Disconnect();
        ASSERT_TRUE(smsc.wait());
    }
    m_client.SetResponseTimeOut(60000);
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::Unbind)
        .close();
    m_smsc.start();
    ConnectAndBind();
    EXPECT_EQ(m_client.Unbind(), Relay::ResultConnectionLost);
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    Finish();
}

// Hostile or broken bytes while a submit waits: the client closes the connection and the
// submit returns -4; nothing waits for 4 GB to arrive.
TEST_F(SmppSession, MalformedInputClosesTheConnection)
{
    struct
    {
        const char* name;
        QByteArray bytes;
        bool smscCloses;
    } cases[] = {
        {"4 GB command_length",
         FakeSmsc::Pdu(SmppCommand::SubmitSmResp, 0, 101).replace(0, 4, "\xFF\xFF\xFF\xFF"), false},
        {"command_length below the header", QByteArray("\0\0\0\x0F", 4) + QByteArray(11, '\0'), false},
        {"command_length zero", QByteArray(16, '\0'), false},
        {"command_length beyond the buffer", QByteArray("\0\0\x20\x01", 4) + QByteArray(100, 'x'), false},
        {"garbage", QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n"), false},
        {"truncated PDU, then close",
         FakeSmsc::Pdu(SmppCommand::SubmitSmResp, 0, 101, QByteArray(84, 'x')).left(40), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmsc smsc;
        smsc.expect(SmppCommand::BindTransmitter)
            .respond(SmppCommand::BindTransmitterResp)
            .expect(SmppCommand::SubmitSm)
            .sendRaw(c.bytes);
        if (c.smscCloses)
            smsc.close();
        else
            smsc.expectClose(); // the client ends the connection by itself, before Disconnect
        smsc.start();
        Relay client;
        client.SetKeepAlive(false);
        client.SetResponseTimeOut(60000);
        DisconnectRecorder recorder;
        recorder.attach(client);
        ASSERT_EQ(client.Connect(smsc.host(), smsc.port()), 0);
        ASSERT_EQ(client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1), 0);
        QString messageId;
        EXPECT_EQ(client.SubmitMessage("4179", 1, 1, "", 1, 1, "Hi", 0, messageId),
                  Relay::ResultConnectionLost);
        EXPECT_EQ(client.State(), Relay::StateClosed);
        EXPECT_TRUE(recorder.waitFirst(5000).has_value());
        ASSERT_TRUE(smsc.wait());
        EXPECT_TRUE(smsc.failures().empty()) << Joined(smsc.failures());
        client.Unbind();
        client.Disconnect();
    }
}

TEST_F(SmppSession, IdleBoundSessionSendsEnquireLink)
{
    m_client.SetKeepAlive(true);
    m_client.SetKeepAliveInterval(100);
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::EnquireLink)
        .respond(SmppCommand::EnquireLinkResp)
        .expect(SmppCommand::EnquireLink)
        .respond(SmppCommand::EnquireLinkResp)
        .mark()
        .expect(SmppCommand::Unbind)
        .respond(SmppCommand::UnbindResp)
        .expectClose();
    m_smsc.start();
    ConnectAndBind();
    ASSERT_TRUE(m_smsc.waitForMarks(1, 10000)) << Joined(m_smsc.failures());
    EXPECT_EQ(m_client.State(), Relay::StateBound);
    EXPECT_EQ(m_client.Unbind(), 0);
    Finish();
    const QList<QByteArray> pdus = m_smsc.pdus();
    ASSERT_EQ(pdus.size(), 4);
    EXPECT_EQ(pdus[1], FakeSmsc::Pdu(SmppCommand::EnquireLink, 0, PduSequenceNumber(pdus[1])));
    EXPECT_NE(PduSequenceNumber(pdus[1]), PduSequenceNumber(pdus[2]));
}

TEST_F(SmppSession, UnansweredEnquireLinkGivesTheSessionUp)
{
    m_client.SetKeepAlive(true);
    m_client.SetKeepAliveInterval(100);
    m_client.SetResponseTimeOut(300);
    m_smsc.expect(SmppCommand::BindTransmitter)
        .respond(SmppCommand::BindTransmitterResp)
        .expect(SmppCommand::EnquireLink)
        .silence(10000);
    m_smsc.start();
    ConnectAndBind();
    EXPECT_EQ(m_recorder.waitFirst(10000), std::optional<int>(-1));
    EXPECT_EQ(m_client.State(), Relay::StateClosed);
    QString messageId;
    EXPECT_EQ(Submit("Hi", messageId), Relay::ResultWrongState);
    Finish();
}

TEST_F(SmppSession, DestroyingABoundClientEndsTheConnection)
{
    m_smsc.expect(SmppCommand::BindTransmitter).respond(SmppCommand::BindTransmitterResp).expectClose();
    m_smsc.start();
    {
        Relay client; // with its keep-alive thread running
        ASSERT_EQ(client.Connect(m_smsc.host(), m_smsc.port()), 0);
        ASSERT_EQ(client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1), 0);
    }
    ASSERT_TRUE(m_smsc.wait());
    EXPECT_TRUE(m_smsc.failures().empty()) << Joined(m_smsc.failures());
}

// Sessions on several threads at once take their sequence numbers from the one counter: no
// number appears twice.
TEST(SmppSessions, SimultaneousSessionsShareTheCounterSafely)
{
    constexpr int kSessions = 4;
    std::vector<std::unique_ptr<FakeSmsc>> smscs;
    for (int i = 0; i < kSessions; ++i) {
        auto smsc = std::make_unique<FakeSmsc>();
        smsc->expect(SmppCommand::BindTransmitter)
            .respond(SmppCommand::BindTransmitterResp)
            .expect(SmppCommand::SubmitSm)
            .respond(SmppCommand::SubmitSmResp, 0, QByteArray("ok\0", 3))
            .expect(SmppCommand::Unbind)
            .respond(SmppCommand::UnbindResp)
            .expectClose();
        smsc->start();
        smscs.push_back(std::move(smsc));
    }
    std::vector<int> results(kSessions, -100);
    std::vector<std::thread> threads;
    for (int i = 0; i < kSessions; ++i) {
        threads.emplace_back([&smscs, &results, i] {
            const auto index = static_cast<std::size_t>(i);
            Relay client;
            client.SetResponseTimeOut(5000);
            int result = client.Connect(smscs[index]->host(), smscs[index]->port());
            if (result == 0)
                result = client.Bind("abc", "", "", 34, Relay::BindTransmitter, "", 1, 1);
            QString messageId;
            if (result == 0)
                result = client.SubmitMessage("4179", 1, 1, "", 1, 1, "Hi", 1, messageId);
            if (result == 0)
                result = client.Unbind();
            client.Disconnect();
            results[index] = result;
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    QSet<quint32> sequenceNumbers;
    int requests = 0;
    for (int i = 0; i < kSessions; ++i) {
        const auto index = static_cast<std::size_t>(i);
        EXPECT_EQ(results[index], 0) << "session " << i;
        ASSERT_TRUE(smscs[index]->wait());
        for (const QByteArray& pdu : smscs[index]->pdus()) {
            if (PduCommandId(pdu) & 0x80000000u)
                continue;
            ++requests;
            sequenceNumbers.insert(PduSequenceNumber(pdu));
        }
    }
    EXPECT_GE(requests, 3 * kSessions);
    EXPECT_EQ(sequenceNumbers.size(), requests);
}

} // namespace
