#pragma once

#include <QByteArray>
#include <QString>

// Text coding for short messages in the GSM 7-bit default alphabet (data_coding 0x00).
//
// Every character becomes one octet holding its GSM code (0..127), an extension character
// becomes the escape 0x1B followed by its code, and a character that neither table holds
// becomes a space (0x20). The octets are not packed and the result is never cut.

// The Unicode code point at GSM code `code` (0..127) of the default table, of the extension
// table; -1 where the extension table holds no character or `code` is out of range.
int GsmDefaultCharacter(int code);
int GsmExtensionCharacter(int code);

// Codes `text` (one octet per GSM character, escape pairs for the extension table).
QByteArray GsmEncode(const QString& text);

// The longest start of the coded octets `octets` that fits in `maxOctets` without separating an
// escape (0x1B) from the code that follows it.
QByteArray GsmCut(const QByteArray& octets, int maxOctets);

// Packs GSM septets (one per octet, values 0..127) eight into seven octets, least significant
// bit first, as GSM 03.38 transmits them.
QByteArray GsmPackSeptets(const QByteArray& septets);
