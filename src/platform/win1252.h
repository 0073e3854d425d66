#pragma once
// The single-byte code page the system's files and "ANSI" character codes use: Windows-1252.
// It differs from Latin-1 in 0x80-0x9F (the euro sign, typographic quotes, ...); five codes
// there (0x81, 0x8D, 0x8F, 0x90, 0x9D) are unassigned and map to the C1 control of the same
// value, so every byte survives a round trip. Characters outside the code page become "?".

#include <QByteArray>
#include <QChar>
#include <QString>

namespace platform {

// The code (0-255) of a character in Windows-1252; '?' (63) when it has none.
int ansiCode(QChar c);
// The character of a Windows-1252 code; codes outside 0-255 are taken modulo 256.
QChar ansiChar(int code);

QByteArray toAnsi(const QString& text);
QString fromAnsi(const QByteArray& bytes);

}  // namespace platform
