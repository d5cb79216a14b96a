#pragma once

#include "support/ScriptedServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

// A scripted short message service centre for SMPP client tests: a ScriptedServer whose steps
// speak whole PDUs. Listens on 127.0.0.1, port 0; every wait is bounded.
//
//     FakeSmsc smsc;
//     smsc.expect(SmppCommand::BindTransmitter).respond(SmppCommand::BindTransmitterResp)
//         .expect(SmppCommand::Unbind).respond(SmppCommand::UnbindResp).expectClose();
//     smsc.start();
//     ... client against smsc.host(), smsc.port() ...
//     ASSERT_TRUE(smsc.wait());
//     EXPECT_TRUE(smsc.failures().empty());
//     smsc.pdus()   // every PDU the client sent, whole, in order
class FakeSmsc
{
public:
    FakeSmsc();

    int port() const { return m_server.port(); }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    FakeSmsc& setStepTimeout(int ms);

    // A whole PDU as bytes.
    static QByteArray Pdu(quint32 commandId, quint32 status, quint32 sequenceNumber,
                          const QByteArray& body = {});

    // Reads one PDU, which must carry `commandId`. A request's sequence number is kept for
    // respond().
    FakeSmsc& expect(quint32 commandId);
    // Answers the last request read, with its sequence number.
    FakeSmsc& respond(quint32 commandId, quint32 status = 0, const QByteArray& body = {});
    // One PDU sent after the last request read: its sequence number is the request's moved by
    // `sequenceOffset`, so anything but 0 makes a response to some other request.
    struct Answer
    {
        quint32 commandId;
        quint32 status = 0;
        qint64 sequenceOffset = 0;
        QByteArray body = {};
    };
    // Sends `answers` in one write, in order.
    FakeSmsc& respondAll(const QList<Answer>& answers);
    // Sends a PDU of the SMSC's own.
    FakeSmsc& sendPdu(quint32 commandId, quint32 sequenceNumber, quint32 status = 0,
                      const QByteArray& body = {});
    FakeSmsc& sendRaw(const QByteArray& bytes);
    FakeSmsc& pause(int ms);
    // Sends nothing and discards what arrives until the client closes or `maxMs` passes.
    FakeSmsc& silence(int maxMs = 60000);
    // The client must close without sending anything more (within the step time-out).
    FakeSmsc& expectClose();
    FakeSmsc& close();
    // Marks a point of the script; waitForMarks() lets the test wait until it is reached.
    FakeSmsc& mark();
    FakeSmsc& run(std::function<bool(ScriptedConnection&)> step);

    void start() { m_server.start(); }
    bool wait(int timeoutMs = 15000) { return m_server.wait(timeoutMs); }
    bool waitForMarks(int count, int timeoutMs);

    // Reads one whole PDU on `connection` (for run() steps); false when none came or its
    // command_length is not plausible.
    bool readPdu(ScriptedConnection& connection, QByteArray& pdu);
    void record(const QByteArray& pdu);
    void fail(const std::string& what) { m_server.fail(what); }

    QList<QByteArray> pdus() const;
    std::vector<std::string> failures() const { return m_server.failures(); }
    int connectionsAccepted() const { return m_server.connectionsAccepted(); }

private:
    ScriptedServer m_server;
    std::atomic<quint32> m_lastRequestSequence{0};
    std::mutex m_markMutex;
    std::condition_variable m_markReached;
    int m_marks = 0;
};

// Fields of a PDU held as bytes.
quint32 PduCommandId(const QByteArray& pdu);
quint32 PduSequenceNumber(const QByteArray& pdu);
