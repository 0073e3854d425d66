// The Windows-1252 codec. Bytes decode to one character each and encode back to the same
// bytes; the input read as UTF-16 text encodes to one byte per character (a surrogate pair is
// one character), and every character the code page holds comes back as itself.

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

    // The same bytes as UTF-16 text, unpaired surrogates included.
    QString utf16(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    if (!utf16.isEmpty()) std::memcpy(utf16.data(), data, static_cast<std::size_t>(utf16.size()) * 2);
    const QByteArray encoded = platform::toAnsi(utf16);
    qsizetype characters = 0;
    for (qsizetype i = 0; i < utf16.size(); ++i) {
        if (utf16.at(i).isHighSurrogate() && i + 1 < utf16.size() && utf16.at(i + 1).isLowSurrogate()) ++i;
        ++characters;
    }
    fuzz::check(encoded.size() == characters, "a character did not encode to one byte");
    const QString decoded = platform::fromAnsi(encoded);
    for (qsizetype i = 0, k = 0; i < utf16.size(); ++i, ++k) {
        const QChar c = utf16.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < utf16.size() && utf16.at(i + 1).isLowSurrogate();
        if (pair) ++i;
        const bool held = !pair && platform::ansiCode(c) != '?';
        if (held || c == u'?') {
            fuzz::check(decoded.at(k) == c, "a character of the code page changed", QString(c));
        } else {
            fuzz::check(decoded.at(k) == u'?', "a character outside the code page did not become ?", QString(c));
        }
    }
    return 0;
}
