#pragma once
// The single-byte code page the system's files and "ANSI" character codes use: Windows-1252.
// It differs from Latin-1 in 0x80-0x9F (the euro sign, typographic quotes, ...); five codes
// there (0x81, 0x8D, 0x8F, 0x90, 0x9D) are unassigned and map to the C1 control of the same
// value, so every byte survives a round trip.
//
// Text goes into the code page as the platform's own conversion takes it: composed first
// (Unicode NFC, so "e" and a combining acute are the one letter 0xE9), then every character
// the code page lacks takes its best fit (Ł -> L, Ś -> S, the fullwidth forms -> ASCII), and
// only a character with no fit becomes "?". The fits are the WCTABLE rows of bestfit1252.txt,
// the best-fit table published for code page 1252 in the WindowsBestFit folder of the Unicode
// consortium's vendor mapping files (www.unicode.org/Public/MAPPINGS/VENDORS/; the copy read
// has SHA-256 72ea23c939c5b26fae7aded0207b327e2f3902d7d3c168d7087f5cfc38ee76a9). A few
// characters that composition alone turns into another character (the ohm sign, the Greek
// oxia) take that character's fit, so one character converts alike on its own and in a text.
// The table has no row for many letters of Latin Extended-B (Ș, Ț, ǅ, ...): they become "?"
// there as well.

#include <QByteArray>
#include <QChar>
#include <QString>

namespace platform {

// The code (0-255) of a character in Windows-1252, its best fit when the code page lacks it,
// '?' (63) when nothing fits.
int ansiCode(QChar c);
// The character of a Windows-1252 code; codes outside 0-255 are taken modulo 256.
QChar ansiChar(int code);
// Whether the code page holds the character itself, not only a fit for it: what is written
// with it reads back unchanged.
bool inCodePage(QChar c);

QByteArray toAnsi(const QString& text);
QString fromAnsi(const QByteArray& bytes);

}  // namespace platform
