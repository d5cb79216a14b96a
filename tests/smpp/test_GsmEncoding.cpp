#include "smpp/GsmEncoding.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

QByteArray Octets(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int value : values)
        bytes.append(static_cast<char>(value));
    return bytes;
}

QString FromCodePoint(char32_t codePoint)
{
    // Not QString::fromUcs4, which drops a leading byte order mark.
    if (codePoint < 0x10000)
        return QString(QChar(static_cast<char16_t>(codePoint)));
    const QChar pair[2] = {QChar(QChar::highSurrogate(codePoint)), QChar(QChar::lowSurrogate(codePoint))};
    return QString(pair, 2);
}

struct EncodeCase
{
    const char* name;
    QString text;
    QByteArray octets;
};

class GsmEncodeTable : public ::testing::TestWithParam<EncodeCase>
{
};

TEST_P(GsmEncodeTable, CodesTextToOctets)
{
    EXPECT_EQ(GsmEncode(GetParam().text).toHex(' ').toStdString(),
              GetParam().octets.toHex(' ').toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Characters, GsmEncodeTable,
    ::testing::Values(EncodeCase{"Empty", QString(), QByteArray()},
                      EncodeCase{"PlainAscii", QStringLiteral("Hi"), Octets({0x48, 0x69})},
                      EncodeCase{"CommercialAt", QStringLiteral("@"), Octets({0x00})},
                      EncodeCase{"Pound", QString(QChar(0x00A3)), Octets({0x01})},
                      EncodeCase{"Dollar", QStringLiteral("$"), Octets({0x02})},
                      EncodeCase{"CapitalCCedilla", QString(QChar(0x00C7)), Octets({0x09})},
                      EncodeCase{"LineFeedAndReturn", QStringLiteral("\n\r"), Octets({0x0A, 0x0D})},
                      EncodeCase{"Underscore", QStringLiteral("_"), Octets({0x11})},
                      EncodeCase{"GreekDelta", QString(QChar(0x0394)), Octets({0x10})},
                      EncodeCase{"CurrencySign", QString(QChar(0x00A4)), Octets({0x24})},
                      EncodeCase{"InvertedExclamation", QString(QChar(0x00A1)), Octets({0x40})},
                      EncodeCase{"Section", QString(QChar(0x00A7)), Octets({0x5F})},
                      EncodeCase{"InvertedQuestion", QString(QChar(0x00BF)), Octets({0x60})},
                      EncodeCase{"UUmlaut", QString(QChar(0x00FC)), Octets({0x7E})},
                      EncodeCase{"AGrave", QString(QChar(0x00E0)), Octets({0x7F})},
                      EncodeCase{"Space", QStringLiteral(" "), Octets({0x20})},
                      EncodeCase{"Euro", QString(QChar(0x20AC)), Octets({0x1B, 0x65})},
                      EncodeCase{"Brackets", QStringLiteral("[]"), Octets({0x1B, 0x3C, 0x1B, 0x3E})},
                      EncodeCase{"Braces", QStringLiteral("{}"), Octets({0x1B, 0x28, 0x1B, 0x29})},
                      EncodeCase{"CaretBackslashTilde", QStringLiteral("^\\~"),
                                 Octets({0x1B, 0x14, 0x1B, 0x2F, 0x1B, 0x3D})},
                      EncodeCase{"VerticalBarIsSpace", QStringLiteral("|"), Octets({0x20})},
                      EncodeCase{"FormFeedIsSpace", QStringLiteral("\f"), Octets({0x20})},
                      EncodeCase{"TabIsSpace", QStringLiteral("\t"), Octets({0x20})},
                      EncodeCase{"SmallCCedillaIsSpace", QString(QChar(0x00E7)), Octets({0x20})},
                      EncodeCase{"CharacterOutsideBasicPlaneIsOneSpace", FromCodePoint(U'\U0001F600'),
                                 Octets({0x20})},
                      EncodeCase{"Mixed", QStringLiteral("[a:1] 5") + QChar(0x20AC),
                                 Octets({0x1B, 0x3C, 0x61, 0x3A, 0x31, 0x1B, 0x3E, 0x20, 0x35, 0x1B, 0x65})}),
    [](const ::testing::TestParamInfo<EncodeCase>& row) { return std::string(row.param.name); });

// Every character of the default table codes back to its own code: a table with a character
// twice, or a character in the wrong slot of a search, shows up here.
TEST(GsmEncoding, EveryDefaultCharacterCodesToItsOwnCode)
{
    QSet<int> seen;
    for (int code = 0; code < 128; ++code) {
        if (code == 0x1B)
            continue;
        const int character = GsmDefaultCharacter(code);
        ASSERT_GE(character, 0) << "code " << code;
        EXPECT_FALSE(seen.contains(character)) << "character U+" << std::hex << character << " twice";
        seen.insert(character);
        EXPECT_EQ(GsmEncode(FromCodePoint(static_cast<char32_t>(character))),
                  QByteArray(1, static_cast<char>(code)))
            << "code " << code;
    }
    EXPECT_EQ(GsmDefaultCharacter(128), -1);
    EXPECT_EQ(GsmExtensionCharacter(0x40), -1); // vertical bar is not sent
}

// Whatever the input, the result holds only GSM codes and an escape is always followed by one
// of the extension codes.
TEST(GsmEncoding, AnyBasicPlaneCharacterGivesValidOctets)
{
    for (char32_t codePoint = 0; codePoint < 0x10000; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint < 0xE000)
            continue;
        const QByteArray octets = GsmEncode(FromCodePoint(codePoint));
        ASSERT_TRUE(octets.size() == 1 || octets.size() == 2) << std::hex << codePoint;
        if (octets.size() == 2) {
            ASSERT_EQ(octets.at(0), 0x1B);
            ASSERT_EQ(GsmExtensionCharacter(octets.at(1)), static_cast<int>(codePoint));
        } else {
            ASSERT_LT(static_cast<unsigned char>(octets.at(0)), 0x80u);
            ASSERT_NE(octets.at(0), 0x1B);
        }
    }
}

TEST(GsmEncoding, LongTextIsNotCut)
{
    EXPECT_EQ(GsmEncode(QString(300, QChar('x'))).size(), 300);
}

TEST(GsmCut, KeepsEscapePairsWhole)
{
    const QByteArray euro = GsmEncode(QString(QChar(0x20AC)));
    struct
    {
        QByteArray octets;
        int max;
        int expected;
    } cases[] = {
        {QByteArray(300, 'a'), 254, 254},
        {QByteArray(254, 'a'), 254, 254},
        {QByteArray(10, 'a'), 254, 10},
        {QByteArray(253, 'a') + euro, 254, 253}, // the pair would end at octet 255
        {QByteArray(252, 'a') + euro + "b", 254, 254},
        {euro + euro, 3, 2},
        {euro, 1, 0},
        {QByteArray(), 254, 0},
    };
    for (const auto& c : cases) {
        const QByteArray cut = GsmCut(c.octets, c.max);
        EXPECT_EQ(cut.size(), c.expected) << c.octets.size() << " octets to " << c.max;
        EXPECT_EQ(cut, c.octets.left(c.expected));
    }
}

TEST(GsmPackSeptets, PacksLeastSignificantBitFirst)
{
    EXPECT_EQ(GsmPackSeptets("Hi").toHex(' ').toStdString(), "c8 34");
    EXPECT_EQ(GsmPackSeptets("hello").toHex(' ').toStdString(), "e8 32 9b fd 06");
    EXPECT_EQ(GsmPackSeptets("12345678").toHex(' ').toStdString(), "31 d9 8c 56 b3 dd 70");
    EXPECT_TRUE(GsmPackSeptets(QByteArray()).isEmpty());
}

} // namespace
