#include "crypto/clsEncripta.h"

#include <QByteArray>
#include <optional>

namespace crypto {

namespace {

constexpr int kBlowfish = 0;

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// Strict where QByteArray::fromHex skips what it does not understand: a damaged stored
// password must not decrypt into something else.
std::optional<QByteArray> fromHex(const QString& hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    QByteArray bytes(hex.size() / 2, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int high = hexDigit(hex.at(2 * i));
        const int low = hexDigit(hex.at(2 * i + 1));
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<char>(high * 16 + low);
    }
    return bytes;
}

}  // namespace

QString clsEncripta::Encripta(int selector, const QString& key, const QString& plain) {
    if (selector != kBlowfish) return {};
    return QString::fromLatin1(blowfish_.EncryptString(plain, key).toHex().toUpper());
}

QString clsEncripta::Desencripta(int selector, const QString& key, const QString& cipherHex) {
    if (selector != kBlowfish) return {};
    const std::optional<QByteArray> cipher = fromHex(cipherHex);
    if (!cipher) return {};
    return blowfish_.DecryptString(*cipher, key);
}

}  // namespace crypto
