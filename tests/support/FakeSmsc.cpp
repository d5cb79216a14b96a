#include "support/FakeSmsc.h"

#include <chrono>
#include <sstream>

namespace {

quint32 ReadInt32(const QByteArray& bytes, int offset)
{
    if (bytes.size() < offset + 4)
        return 0;
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<quint8>(bytes.at(offset + i));
    return value;
}

void AppendInt32(QByteArray& bytes, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((value >> shift) & 0xFFu));
}

std::string Hex(quint32 value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

std::string Bytes(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The largest PDU the fake accepts from a client.
constexpr quint32 kMaxPdu = 64 * 1024;

} // namespace

quint32 PduCommandId(const QByteArray& pdu)
{
    return ReadInt32(pdu, 4);
}

quint32 PduSequenceNumber(const QByteArray& pdu)
{
    return ReadInt32(pdu, 12);
}

FakeSmsc::FakeSmsc() = default;

FakeSmsc& FakeSmsc::setStepTimeout(int ms)
{
    m_server.setStepTimeout(ms);
    return *this;
}

QByteArray FakeSmsc::Pdu(quint32 commandId, quint32 status, quint32 sequenceNumber, const QByteArray& body)
{
    QByteArray pdu;
    AppendInt32(pdu, static_cast<quint32>(16 + body.size()));
    AppendInt32(pdu, commandId);
    AppendInt32(pdu, status);
    AppendInt32(pdu, sequenceNumber);
    pdu.append(body);
    return pdu;
}

bool FakeSmsc::readPdu(ScriptedConnection& connection, QByteArray& pdu)
{
    std::string head;
    if (!connection.readBytes(4, head))
        return false;
    const quint32 length = ReadInt32(QByteArray::fromStdString(head), 0);
    if (length < 16 || length > kMaxPdu) {
        fail("the client sent command_length " + std::to_string(length));
        return false;
    }
    std::string rest;
    if (!connection.readBytes(length - 4, rest))
        return false;
    pdu = QByteArray::fromStdString(head + rest);
    return true;
}

void FakeSmsc::record(const QByteArray& pdu)
{
    m_server.record(Bytes(pdu));
}

FakeSmsc& FakeSmsc::expect(quint32 commandId)
{
    m_server.run([this, commandId](ScriptedConnection& c) {
        QByteArray pdu;
        if (!readPdu(c, pdu)) {
            fail("expected command_id " + Hex(commandId) + ", but no PDU came");
            return false;
        }
        record(pdu);
        if (PduCommandId(pdu) != commandId) {
            fail("expected command_id " + Hex(commandId) + ", got " + Hex(PduCommandId(pdu)));
            return false;
        }
        if ((commandId & 0x80000000u) == 0)
            m_lastRequestSequence.store(PduSequenceNumber(pdu));
        return true;
    });
    return *this;
}

FakeSmsc& FakeSmsc::respond(quint32 commandId, quint32 status, const QByteArray& body)
{
    m_server.run([this, commandId, status, body](ScriptedConnection& c) {
        if (!c.send(Bytes(Pdu(commandId, status, m_lastRequestSequence.load(), body))))
            fail("could not respond with " + Hex(commandId) + ": the client has gone");
        return true;
    });
    return *this;
}

FakeSmsc& FakeSmsc::respondAll(const QList<Answer>& answers)
{
    m_server.run([this, answers](ScriptedConnection& c) {
        QByteArray bytes;
        for (const Answer& a : answers) {
            const auto sequenceNumber = static_cast<quint32>(m_lastRequestSequence.load() + a.sequenceOffset);
            bytes += Pdu(a.commandId, a.status, sequenceNumber, a.body);
        }
        if (!c.send(Bytes(bytes)))
            fail("could not send " + std::to_string(answers.size()) + " answers: the client has gone");
        return true;
    });
    return *this;
}

FakeSmsc& FakeSmsc::sendPdu(quint32 commandId, quint32 sequenceNumber, quint32 status, const QByteArray& body)
{
    return sendRaw(Pdu(commandId, status, sequenceNumber, body));
}

FakeSmsc& FakeSmsc::sendRaw(const QByteArray& bytes)
{
    m_server.send(Bytes(bytes));
    return *this;
}

FakeSmsc& FakeSmsc::pause(int ms)
{
    m_server.pause(ms);
    return *this;
}

FakeSmsc& FakeSmsc::silence(int maxMs)
{
    m_server.silence(maxMs);
    return *this;
}

FakeSmsc& FakeSmsc::expectClose()
{
    m_server.run([this](ScriptedConnection& c) {
        const auto started = std::chrono::steady_clock::now();
        std::string bytes;
        if (c.readSome(bytes)) {
            record(QByteArray::fromStdString(bytes));
            fail("expected the client to close, but it sent " + std::to_string(bytes.size()) + " bytes");
        } else if (std::chrono::steady_clock::now() - started >=
                   std::chrono::milliseconds(c.stepTimeoutMs())) {
            fail("expected the client to close, but it kept the connection open");
        }
        return true;
    });
    return *this;
}

FakeSmsc& FakeSmsc::close()
{
    m_server.close();
    return *this;
}

FakeSmsc& FakeSmsc::mark()
{
    m_server.run([this](ScriptedConnection&) {
        std::lock_guard<std::mutex> lock(m_markMutex);
        ++m_marks;
        m_markReached.notify_all();
        return true;
    });
    return *this;
}

FakeSmsc& FakeSmsc::run(std::function<bool(ScriptedConnection&)> step)
{
    m_server.run(std::move(step));
    return *this;
}

bool FakeSmsc::waitForMarks(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_markMutex);
    return m_markReached.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this, count] { return m_marks >= count; });
}

QList<QByteArray> FakeSmsc::pdus() const
{
    QList<QByteArray> result;
    for (const std::string& item : m_server.received())
        result.append(QByteArray::fromStdString(item));
    return result;
}
