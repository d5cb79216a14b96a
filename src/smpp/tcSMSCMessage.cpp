#include "smpp/tcSMSCMessage.h"

#include <stdexcept>
#include <string>

namespace {

void RequireInside(const QByteArray& data, int offset, int count)
{
    if (offset < 0 || count < 0 || offset > data.size() - count) {
        throw std::out_of_range("message field at offset " + std::to_string(offset) + " (" +
                                std::to_string(count) + " bytes) lies outside the " +
                                std::to_string(data.size()) + "-byte message");
    }
}

} // namespace

void TtcSMSCMessage::AppendByte(quint8 value)
{
    m_data.append(static_cast<char>(value));
}

void TtcSMSCMessage::AppendInt32(quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        m_data.append(static_cast<char>((value >> shift) & 0xFFu));
}

void TtcSMSCMessage::AppendCString(const QByteArray& text)
{
    const qsizetype zero = text.indexOf('\0');
    m_data.append(zero < 0 ? text : text.left(zero));
    m_data.append('\0');
}

void TtcSMSCMessage::AppendBytes(const QByteArray& bytes)
{
    m_data.append(bytes);
}

void TtcSMSCMessage::WriteInt32(int offset, quint32 value)
{
    RequireInside(m_data, offset, 4);
    for (int i = 0; i < 4; ++i)
        m_data[offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFFu);
}

quint8 TtcSMSCMessage::ReadByte(int offset) const
{
    RequireInside(m_data, offset, 1);
    return static_cast<quint8>(m_data.at(offset));
}

quint32 TtcSMSCMessage::ReadInt32(int offset) const
{
    RequireInside(m_data, offset, 4);
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<quint8>(m_data.at(offset + i));
    return value;
}

QByteArray TtcSMSCMessage::ReadCString(int offset) const
{
    RequireInside(m_data, offset, 0);
    const qsizetype zero = m_data.indexOf('\0', offset);
    return m_data.mid(offset, zero < 0 ? -1 : zero - offset);
}
