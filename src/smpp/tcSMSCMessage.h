#pragma once

#include <QByteArray>
#include <QtGlobal>

// A message buffer of the relay: one protocol data unit as a growable byte array, with the
// append and read operations the protocol classes build on. Integers are big-endian.
class TtcSMSCMessage
{
public:
    virtual ~TtcSMSCMessage() = default;

    void Clear() { m_data.clear(); }
    const QByteArray& Data() const { return m_data; }
    int Size() const { return static_cast<int>(m_data.size()); }

    void AppendByte(quint8 value);
    void AppendInt32(quint32 value);
    // The bytes of `text` up to its first zero byte, then one zero byte.
    void AppendCString(const QByteArray& text);
    void AppendBytes(const QByteArray& bytes);
    // Overwrites four bytes at `offset`, which must lie inside the buffer.
    void WriteInt32(int offset, quint32 value);

    // Readers throw std::out_of_range when the field does not lie inside the buffer.
    quint8 ReadByte(int offset) const;
    quint32 ReadInt32(int offset) const;
    // The bytes from `offset` up to the next zero byte, or to the end of the buffer when no zero
    // byte follows.
    QByteArray ReadCString(int offset) const;

protected:
    QByteArray m_data;
};
