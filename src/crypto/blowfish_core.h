#pragma once
// The Blowfish block function (16 rounds) and the CBC chaining that the block-cipher shape
// builds on. A block's 8 bytes are two big-endian 32-bit halves, as the published vectors are.

#include <QByteArray>
#include <QtGlobal>
#include <array>

namespace crypto::blowfish {

inline constexpr qsizetype kBlockSize = 8;

// The key-dependent P-array and S-boxes. Key bytes are XORed into the P-array cyclically, so
// only the first 72 count; an empty key XORs nothing and the tables are then filled by
// encrypting the zero block as usual (the same tables as a key of zero bytes gives).
class Schedule {
public:
    explicit Schedule(const QByteArray& key);

    void encrypt(quint32& left, quint32& right) const;
    void decrypt(quint32& left, quint32& right) const;
    void encryptBlock(char* block) const;
    void decryptBlock(char* block) const;

private:
    quint32 round(quint32 x) const;

    std::array<quint32, 18> p_;
    std::array<std::array<quint32, 256>, 4> s_;
};

// CBC over consecutive calls: each plain block is XORed with the previous cipher block before
// encryption. The chain starts from zero, so a random first block is encrypted as it is and
// then serves as the chaining start of the rest.
class Cbc {
public:
    explicit Cbc(const Schedule& schedule) : schedule_(schedule) {}

    // `size` must be a whole number of blocks; the bytes are replaced in place.
    void encrypt(char* data, qsizetype size);
    void decrypt(char* data, qsizetype size);

private:
    const Schedule& schedule_;
    quint32 prevLeft_ = 0;
    quint32 prevRight_ = 0;
};

}  // namespace crypto::blowfish
