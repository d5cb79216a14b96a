#include "smpp/tcSMSCMessageSMPP.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

QByteArray Octets(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray Header(quint32 length, quint32 commandId, quint32 status, quint32 sequence)
{
    TtcSMSCMessage message;
    message.AppendInt32(length);
    message.AppendInt32(commandId);
    message.AppendInt32(status);
    message.AppendInt32(sequence);
    return message.Data();
}

// Tests that build requests start the shared counter where they need it.
class SmppPduBuild : public ::testing::Test
{
protected:
    void SetUp() override { TtcSMSCMessageSMPP::SetSequenceCounter(5); }
    TtcSMSCMessageSMPP m_pdu;
};

TEST_F(SmppPduBuild, BindTransmitterIs29BytesWithTheVersionOctet)
{
    SmppBindParameters bind;
    bind.SystemId = "abc";
    bind.InterfaceVersion = SmppInterfaceVersion(34);
    bind.Ton = 1;
    bind.Npi = 1;
    bind.AddressRange = "123";
    EXPECT_EQ(m_pdu.BuildBindTransmitter(bind), 5u);
    const QByteArray expected =
        Octets({0x00, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x05, 'a',  'b',  'c',  0x00, 0x00, 0x00, 0x34, 0x01, 0x01, '1',  '2',  '3',  0x00});
    EXPECT_EQ(m_pdu.Data().toHex(' ').toStdString(), expected.toHex(' ').toStdString());
}

// The version as written in the settings names the version: its decimal digits become the octet's
// two hex digits; a value past two digits is sent as it is.
TEST(SmppInterfaceVersion, WrittenDigitsNameTheVersionOctet)
{
    const std::vector<std::pair<int, int>> cases = {{34, 0x34}, {33, 0x33}, {50, 0x50}, {3, 0x03},
                                                    {0, 0x00},  {99, 0x99}, {100, 100}, {255, 255}};
    for (const auto& [written, octet] : cases)
        EXPECT_EQ(SmppInterfaceVersion(written), octet) << written;
}

TEST_F(SmppPduBuild, BindCarriesCredentialsAndSystemTypeInOrder)
{
    SmppBindParameters bind;
    bind.SystemId = "user";
    bind.Password = "pw";
    bind.SystemType = "VMA";
    bind.InterfaceVersion = 0x34;
    bind.Ton = 5;
    bind.Npi = 9;
    m_pdu.BuildBindTransmitter(bind);
    EXPECT_EQ(m_pdu.Data().mid(16), QByteArray("user\0pw\0VMA\0\x34\x05\x09\0", 16));
    EXPECT_EQ(m_pdu.CommandLength(), 32u);
}

TEST_F(SmppPduBuild, ZeroByteInsideAFieldCannotShiftTheFollowingFields)
{
    SmppBindParameters bind;
    bind.SystemId = QString::fromLatin1("ab\0cd", 5);
    m_pdu.BuildBindTransmitter(bind);
    EXPECT_EQ(m_pdu.ReadCString(16), "ab");
    EXPECT_EQ(m_pdu.Size(), 16 + 3 + 1 + 1 + 3 + 1);
}

TEST_F(SmppPduBuild, UnbindAndEnquireLinkAreHeadersAlone)
{
    m_pdu.BuildUnbind();
    EXPECT_EQ(m_pdu.Data().toHex(' ').toStdString(),
              Octets({0, 0, 0, 0x10, 0, 0, 0, 0x06, 0, 0, 0, 0, 0, 0, 0, 0x05}).toHex(' ').toStdString());
    m_pdu.BuildEnquireLink();
    EXPECT_EQ(m_pdu.Data(), Header(16, 0x15, 0, 6));
    m_pdu.BuildEnquireLinkResp(0x01020304);
    EXPECT_EQ(m_pdu.Data(), Header(16, 0x80000015u, 0, 0x01020304));
    // An answer copies the sequence number and takes none from the counter.
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 7u);
}

TEST_F(SmppPduBuild, SubmitSmFieldsByteForByte)
{
    SmppSubmitParameters submit;
    submit.SourceAddress = "OA";
    submit.SourceTon = 5;
    submit.SourceNpi = 0;
    submit.DestinationAddress = "4179";
    submit.DestinationTon = 1;
    submit.DestinationNpi = 1;
    submit.Text = "Hi";
    m_pdu.BuildSubmitSm(submit);
    const QByteArray body = Octets({0x00,                                // service_type
                                    0x05, 0x00, 'O',  'A',  0,           // source
                                    0x01, 0x01, '4',  '1',  '7', '9', 0, // destination
                                    0x00, 0x00, 0x00,                    // esm_class, protocol_id, priority
                                    0x00, 0x00,                          // schedule, validity
                                    0x01, 0x00, 0x00, 0x00, // receipt, replace, coding, default id
                                    0x02, 0x48, 0x69});
    EXPECT_EQ(m_pdu.Data().toHex(' ').toStdString(),
              (Header(16 + 25, SmppCommand::SubmitSm, 0, 5) + body).toHex(' ').toStdString());
}

TEST_F(SmppPduBuild, ShortMessageIsCutAt254OctetsWithoutSplittingAnEscape)
{
    struct
    {
        QString text;
        int smLength;
    } cases[] = {
        {QString(254, 'a'), 254},
        {QString(300, 'a'), 254},
        {QString(253, 'a') + QChar(0x20AC), 253},
        {QString(252, 'a') + QChar(0x20AC) + "b", 254},
        {QString(), 0},
    };
    for (const auto& c : cases) {
        SmppSubmitParameters submit;
        submit.Text = c.text;
        m_pdu.BuildSubmitSm(submit);
        const int lengthOffset = m_pdu.Size() - c.smLength - 1;
        EXPECT_EQ(m_pdu.ReadByte(lengthOffset), c.smLength) << c.text.size();
        EXPECT_EQ(m_pdu.CommandLength(), static_cast<quint32>(m_pdu.Size()));
        EXPECT_NE(m_pdu.Data().back(), '\x1B');
    }
}

TEST_F(SmppPduBuild, PackedShortMessageStaysWithin254Octets)
{
    SmppSubmitParameters submit;
    submit.PackSeptets = true;
    submit.Text = "Hi";
    m_pdu.BuildSubmitSm(submit);
    EXPECT_EQ(m_pdu.Data().right(3).toHex(' ').toStdString(), "02 c8 34");
    submit.Text = QString(400, 'a');
    m_pdu.BuildSubmitSm(submit);
    EXPECT_EQ(m_pdu.ReadByte(m_pdu.Size() - 255), 254); // 290 septets
}

TEST(SmppPduRead, HeaderFieldsAndMessageId)
{
    TtcSMSCMessageSMPP pdu;
    pdu.Assign(Header(16, SmppCommand::SubmitSmResp, 0x45, 9));
    EXPECT_EQ(pdu.Kind(), SmppPduKind::SubmitSmResp);
    EXPECT_EQ(pdu.CommandStatus(), 0x45u);
    EXPECT_EQ(pdu.SequenceNumber(), 9u);
    EXPECT_TRUE(pdu.MessageId().isEmpty());

    pdu.Assign(Header(20, SmppCommand::SubmitSmResp, 0, 10) + QByteArray("m-7\0", 4));
    EXPECT_EQ(pdu.MessageId(), "m-7");
    // A message identifier without its closing zero ends with the PDU.
    pdu.Assign(Header(19, SmppCommand::SubmitSmResp, 0, 10) + "m-8");
    EXPECT_EQ(pdu.MessageId(), "m-8");
}

TEST(SmppPduRead, ClassifiesByCommandId)
{
    const std::pair<quint32, SmppPduKind> cases[] = {
        {0x80000002u, SmppPduKind::BindResp},        {0x80000001u, SmppPduKind::BindResp},
        {0x80000009u, SmppPduKind::BindResp},        {0x80000004u, SmppPduKind::SubmitSmResp},
        {0x80000006u, SmppPduKind::UnbindResp},      {0x00000015u, SmppPduKind::EnquireLink},
        {0x80000015u, SmppPduKind::EnquireLinkResp}, {0x80000000u, SmppPduKind::GenericNack},
        {0x00000005u, SmppPduKind::Other},           {0x00000002u, SmppPduKind::Other},
        {0x12345678u, SmppPduKind::Other},
    };
    TtcSMSCMessageSMPP pdu;
    for (const auto& [commandId, kind] : cases) {
        pdu.Assign(Header(16, commandId, 0, 1));
        EXPECT_EQ(pdu.Kind(), kind) << std::hex << commandId;
    }
}

TEST(SmppPduRead, RejectsBytesThatAreNotOneWholePdu)
{
    TtcSMSCMessageSMPP pdu;
    EXPECT_THROW(pdu.Assign(QByteArray(15, '\0')), std::invalid_argument);
    EXPECT_THROW(pdu.Assign(Header(17, SmppCommand::UnbindResp, 0, 1)), std::invalid_argument);
    EXPECT_THROW(pdu.ReadInt32(0), std::out_of_range);
}

TEST(SmppReceiveBuffer, ReassemblesPdusFromAnyPieces)
{
    const QByteArray stream = Header(16, SmppCommand::EnquireLink, 0, 1) +
                              Header(21, SmppCommand::SubmitSmResp, 0, 2) + QByteArray("abcd\0", 5) +
                              Header(16, SmppCommand::UnbindResp, 0, 3);
    for (const int piece : {1, 3, 16, 17, 1000}) {
        SmppReceiveBuffer buffer;
        QList<QByteArray> pdus;
        for (int offset = 0; offset < stream.size(); offset += piece) {
            const QByteArray chunk = stream.mid(offset, piece);
            ASSERT_EQ(buffer.Append(chunk.constData(), static_cast<std::size_t>(chunk.size())),
                      static_cast<std::size_t>(chunk.size()));
            QByteArray pdu;
            SmppReceiveBuffer::Result result;
            while ((result = buffer.TakePdu(pdu)) == SmppReceiveBuffer::Result::Pdu)
                pdus.append(pdu);
            ASSERT_EQ(result, SmppReceiveBuffer::Result::NeedMore);
        }
        ASSERT_EQ(pdus.size(), 3) << "pieces of " << piece;
        EXPECT_EQ(pdus.join(), stream);
        EXPECT_TRUE(buffer.IsEmpty());
    }
}

TEST(SmppReceiveBuffer, LengthsThatCanNeverFitAreMalformed)
{
    const std::pair<quint32, SmppReceiveBuffer::Result> cases[] = {
        {0u, SmppReceiveBuffer::Result::Malformed},    {15u, SmppReceiveBuffer::Result::Malformed},
        {16u, SmppReceiveBuffer::Result::Pdu},         {8192u, SmppReceiveBuffer::Result::NeedMore},
        {8193u, SmppReceiveBuffer::Result::Malformed}, {0xFFFFFFFFu, SmppReceiveBuffer::Result::Malformed},
    };
    for (const auto& [length, expected] : cases) {
        SmppReceiveBuffer buffer;
        const QByteArray header = Header(length, SmppCommand::SubmitSmResp, 0, 1);
        // The length field alone is enough to judge.
        buffer.Append(header.constData(), 4);
        QByteArray pdu;
        if (expected == SmppReceiveBuffer::Result::Malformed) {
            EXPECT_EQ(buffer.TakePdu(pdu), expected) << length;
            continue;
        }
        buffer.Append(header.constData() + 4, 12);
        EXPECT_EQ(buffer.TakePdu(pdu), expected) << length;
    }
}

TEST(SmppReceiveBuffer, APduFillingTheWholeBufferIsAccepted)
{
    SmppReceiveBuffer buffer;
    const QByteArray pdu = Header(8192, SmppCommand::DeliverSm, 0, 1) + QByteArray(8192 - 16, 'x');
    EXPECT_EQ(buffer.Append(pdu.constData(), 9000), 8192u); // nothing beyond the buffer is taken
    EXPECT_EQ(buffer.FreeSpace(), 0u);
    QByteArray taken;
    EXPECT_EQ(buffer.TakePdu(taken), SmppReceiveBuffer::Result::Pdu);
    EXPECT_EQ(taken, pdu.left(8192));
    EXPECT_EQ(buffer.FreeSpace(), 8192u);
}

TEST(SmppSequenceCounter, TakesCurrentValueAndWrapsAfterMaximumToOne)
{
    TtcSMSCMessageSMPP::SetSequenceCounter(0);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 0u);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 1u);
    TtcSMSCMessageSMPP::SetSequenceCounter(0x7FFFFFFEu);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 0x7FFFFFFEu);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 0x7FFFFFFFu);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 1u);
    // A start value set beyond the range comes back into it as well.
    TtcSMSCMessageSMPP::SetSequenceCounter(0xFFFFFFFFu);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 0xFFFFFFFFu);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 1u);
}

TEST(SmppSequenceCounter, FirstRequestOfTheProcessCarriesZero)
{
    // The threadsafe style runs this test in a freshly started copy of the program.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TtcSMSCMessageSMPP pdu;
            pdu.BuildUnbind();
            std::_Exit(pdu.SequenceNumber() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(SmppSequenceCounter, SimultaneousTakersNeverShareANumber)
{
    TtcSMSCMessageSMPP::SetSequenceCounter(1);
    constexpr int kThreads = 4;
    constexpr int kEach = 20000;
    std::vector<std::vector<quint32>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&taken, t] {
            TtcSMSCMessageSMPP pdu;
            for (int i = 0; i < kEach; ++i)
                taken[static_cast<std::size_t>(t)].push_back(pdu.BuildEnquireLink());
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QSet<quint32> all;
    for (const auto& numbers : taken) {
        for (const quint32 number : numbers)
            all.insert(number);
    }
    EXPECT_EQ(all.size(), kThreads * kEach);
    EXPECT_EQ(TtcSMSCMessageSMPP::TakeSequenceNumber(), 1u + kThreads * kEach);
}

} // namespace
