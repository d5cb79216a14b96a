#include "smpp/GsmEncoding.h"

#include <QList>

#include <array>

namespace {

constexpr int kTableSize = 128;
constexpr int kEscape = 0x1B;
constexpr char kSpace = 0x20;

// GSM 03.38 default alphabet by code. The escape code 0x1B holds a space: a space is coded
// before any table is searched, so the search never lands on that entry.
constexpr std::array<char16_t, kTableSize> kDefaultTable = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC', // 0x00
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5', // 0x08
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8', // 0x10
    u'\u03A3', u'\u0398', u'\u039E', u' ',      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9', // 0x18
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',     // 0x20
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',      // 0x28
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',      // 0x30
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',      // 0x38
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',      // 0x40
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',      // 0x48
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',      // 0x50
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7', // 0x58
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',      // 0x60
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',      // 0x68
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',      // 0x70
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0', // 0x78
};

struct ExtensionEntry
{
    int code;
    char16_t character;
};

// The extension characters this program sends. The vertical bar and the form feed of the
// standard's extension table are not among them and go out as spaces.
constexpr std::array<ExtensionEntry, 8> kExtensionTable = {{
    {0x14, u'^'},
    {0x28, u'{'},
    {0x29, u'}'},
    {0x2F, u'\\'},
    {0x3C, u'['},
    {0x3D, u'~'},
    {0x3E, u']'},
    {0x65, u'\u20AC'},
}};

int FindDefault(char32_t character)
{
    for (int code = kTableSize - 1; code >= 0; --code) {
        if (static_cast<char32_t>(kDefaultTable[static_cast<std::size_t>(code)]) == character)
            return code;
    }
    return -1;
}

int FindExtension(char32_t character)
{
    for (auto it = kExtensionTable.rbegin(); it != kExtensionTable.rend(); ++it) {
        if (static_cast<char32_t>(it->character) == character)
            return it->code;
    }
    return -1;
}

} // namespace

int GsmDefaultCharacter(int code)
{
    if (code < 0 || code >= kTableSize)
        return -1;
    return kDefaultTable[static_cast<std::size_t>(code)];
}

int GsmExtensionCharacter(int code)
{
    for (const ExtensionEntry& entry : kExtensionTable) {
        if (entry.code == code)
            return entry.character;
    }
    return -1;
}

QByteArray GsmEncode(const QString& text)
{
    QByteArray octets;
    octets.reserve(text.size());
    // Walk by code point so that a character outside the basic plane (a surrogate pair) gives
    // one space, not two.
    const QList<uint> codePoints = text.toUcs4();
    for (const uint codePoint : codePoints) {
        const auto character = static_cast<char32_t>(codePoint);
        if (character == U' ') {
            octets.append(kSpace);
            continue;
        }
        const int code = FindDefault(character);
        if (code >= 0) {
            octets.append(static_cast<char>(code));
            continue;
        }
        const int extension = FindExtension(character);
        if (extension >= 0) {
            octets.append(static_cast<char>(kEscape));
            octets.append(static_cast<char>(extension));
            continue;
        }
        octets.append(kSpace);
    }
    return octets;
}

QByteArray GsmCut(const QByteArray& octets, int maxOctets)
{
    if (maxOctets < 0)
        maxOctets = 0;
    int end = 0;
    while (end < octets.size()) {
        const int width = (octets.at(end) == kEscape && end + 1 < octets.size()) ? 2 : 1;
        if (end + width > maxOctets)
            break;
        end += width;
    }
    return octets.left(end);
}

QByteArray GsmPackSeptets(const QByteArray& septets)
{
    QByteArray packed;
    packed.reserve(septets.size() - septets.size() / 8 + 1);
    unsigned int bits = 0;
    int bitCount = 0;
    for (const char septet : septets) {
        bits |= (static_cast<unsigned int>(static_cast<unsigned char>(septet)) & 0x7Fu) << bitCount;
        bitCount += 7;
        while (bitCount >= 8) {
            packed.append(static_cast<char>(bits & 0xFFu));
            bits >>= 8;
            bitCount -= 8;
        }
    }
    if (bitCount > 0)
        packed.append(static_cast<char>(bits & 0xFFu));
    return packed;
}
