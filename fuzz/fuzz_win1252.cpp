// The Windows-1252 codec. Bytes decode to one character each and encode back to the same
// bytes; the input read as UTF-16 text is composed and encodes to one byte per character (a
// surrogate pair is one character): the code page's own characters as themselves, every other
// one as its best fit or "?".

#include <cstring>

#include "fuzz_support.h"
#include "platform/win1252.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const QString text = platform::fromAnsi(bytes);
    fuzz::check(text.size() == bytes.size(), "a byte did not decode to one character");
    fuzz::check(platform::toAnsi(text) == bytes, "bytes do not survive the round trip");
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int b = static_cast<unsigned char>(bytes.at(i));
        fuzz::check(platform::ansiCode(text.at(i)) == b, "ansiCode is not the inverse of ansiChar");
        fuzz::check(platform::ansiChar(b + 256 * (i % 7 - 3)) == text.at(i), "codes beyond a byte do not wrap");
    }

    // The same bytes as UTF-16 text, unpaired surrogates included: composed first, then one
    // byte a character of the composed text (a surrogate pair is one character, one "?").
    QString utf16(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    if (!utf16.isEmpty()) std::memcpy(utf16.data(), data, static_cast<std::size_t>(utf16.size()) * 2);
    const QByteArray encoded = platform::toAnsi(utf16);
    const QString composed = utf16.normalized(QString::NormalizationForm_C);
    fuzz::check(platform::toAnsi(composed) == encoded, "the text was not composed first");
    qsizetype k = 0;
    for (qsizetype i = 0; i < composed.size() && k < encoded.size(); ++i, ++k) {
        const QChar c = composed.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < composed.size() && composed.at(i + 1).isLowSurrogate();
        if (pair) ++i;
        const int code = static_cast<unsigned char>(encoded.at(k));
        fuzz::check(code == (pair ? '?' : platform::ansiCode(c)), "a character did not take its code", QString(c));
        if (!pair && platform::inCodePage(c)) {
            fuzz::check(platform::ansiChar(code) == c, "a character of the code page changed", QString(c));
        }
    }
    qsizetype characters = 0;
    for (qsizetype i = 0; i < composed.size(); ++i, ++characters) {
        if (composed.at(i).isHighSurrogate() && i + 1 < composed.size() && composed.at(i + 1).isLowSurrogate()) ++i;
    }
    fuzz::check(encoded.size() == characters, "a character did not encode to one byte");
    return 0;
}
