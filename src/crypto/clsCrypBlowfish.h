#pragma once
// Blowfish in the collection's block-cipher shape, shared by its other 64-bit block ciphers.
//
// Cipher text layout (every block 8 bytes, the whole in CBC mode, chained from zero):
//   block 0    8 random bytes from the system's secure generator; encrypted like the rest, it
//              is the chaining start of block 1, so one plain text never gives the same
//              cipher text twice;
//   block 1..  the plain length as a 32-bit little-endian integer, then the plain bytes,
//              then zero bytes up to a whole block.
// A plain text of n bytes thus gives 8 + (4 + n rounded up to a multiple of 8) bytes; the
// empty text gives 16. Decryption refuses a cipher text whose length is not a multiple of 8,
// that is shorter than two blocks, or whose stored length exceeds the bytes that follow it.
// Texts become bytes through Windows-1252, keys included; an empty key is accepted.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>

namespace crypto {

class clsCrypBlowfish {
public:
    // Called with rising percentages, the last one 100, as a byte, string or file operation
    // proceeds. Optional.
    std::function<void(int percent)> onProgress;

    // In place. False (data left as it was) only for more than 4 GiB of plain bytes.
    bool EncryptByte(QByteArray& data, const QString& key);
    // In place. False for a refused cipher text, which leaves data empty.
    bool DecryptByte(QByteArray& data, const QString& key);

    // Empty result only for an impossibly long text.
    QByteArray EncryptString(const QString& text, const QString& key);
    // Empty text for a refused cipher text.
    QString DecryptString(const QByteArray& cipher, const QString& key);

    // The output file is replaced only when the whole operation succeeds; false otherwise
    // (input unreadable, output unwritable, input refused or changed while being read).
    bool EncryptFile(const QString& inPath, const QString& outPath, const QString& key);
    bool DecryptFile(const QString& inPath, const QString& outPath, const QString& key);

    // The bare block function on one 8-byte block with raw key bytes, no header or chaining;
    // any other block size gives an empty result.
    static QByteArray EncryptBlock(const QByteArray& block, const QByteArray& key);
    static QByteArray DecryptBlock(const QByteArray& block, const QByteArray& key);

private:
    bool encryptStream(QIODevice& in, qint64 size, QIODevice& out, const QString& key);
    bool decryptStream(QIODevice& in, qint64 size, QIODevice& out, const QString& key);
};

}  // namespace crypto
