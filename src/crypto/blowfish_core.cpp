#include "crypto/blowfish_core.h"

#include "crypto/blowfish_tables.h"

#include <QtEndian>
#include <utility>

namespace crypto::blowfish {

Schedule::Schedule(const QByteArray& key) : p_(kInitialP), s_(kInitialS) {
    if (!key.isEmpty()) {
        qsizetype j = 0;
        for (quint32& p : p_) {
            quint32 word = 0;
            for (int k = 0; k < 4; ++k) {
                word = (word << 8) | static_cast<quint8>(key.at(j));
                j = (j + 1) % key.size();
            }
            p ^= word;
        }
    }
    quint32 left = 0;
    quint32 right = 0;
    for (std::size_t i = 0; i < p_.size(); i += 2) {
        encrypt(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_) {
        for (std::size_t i = 0; i < box.size(); i += 2) {
            encrypt(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

quint32 Schedule::round(quint32 x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void Schedule::encrypt(quint32& left, quint32& right) const {
    for (std::size_t i = 0; i < 16; ++i) {
        left ^= p_[i];
        right ^= round(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[16];
    left ^= p_[17];
}

void Schedule::decrypt(quint32& left, quint32& right) const {
    for (std::size_t i = 17; i > 1; --i) {
        left ^= p_[i];
        right ^= round(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[1];
    left ^= p_[0];
}

void Schedule::encryptBlock(char* block) const {
    quint32 left = qFromBigEndian<quint32>(block);
    quint32 right = qFromBigEndian<quint32>(block + 4);
    encrypt(left, right);
    qToBigEndian(left, block);
    qToBigEndian(right, block + 4);
}

void Schedule::decryptBlock(char* block) const {
    quint32 left = qFromBigEndian<quint32>(block);
    quint32 right = qFromBigEndian<quint32>(block + 4);
    decrypt(left, right);
    qToBigEndian(left, block);
    qToBigEndian(right, block + 4);
}

void Cbc::encrypt(char* data, qsizetype size) {
    for (qsizetype at = 0; at + kBlockSize <= size; at += kBlockSize) {
        quint32 left = qFromBigEndian<quint32>(data + at) ^ prevLeft_;
        quint32 right = qFromBigEndian<quint32>(data + at + 4) ^ prevRight_;
        schedule_.encrypt(left, right);
        qToBigEndian(left, data + at);
        qToBigEndian(right, data + at + 4);
        prevLeft_ = left;
        prevRight_ = right;
    }
}

void Cbc::decrypt(char* data, qsizetype size) {
    for (qsizetype at = 0; at + kBlockSize <= size; at += kBlockSize) {
        const quint32 cipherLeft = qFromBigEndian<quint32>(data + at);
        const quint32 cipherRight = qFromBigEndian<quint32>(data + at + 4);
        quint32 left = cipherLeft;
        quint32 right = cipherRight;
        schedule_.decrypt(left, right);
        qToBigEndian(left ^ prevLeft_, data + at);
        qToBigEndian(right ^ prevRight_, data + at + 4);
        prevLeft_ = cipherLeft;
        prevRight_ = cipherRight;
    }
}

}  // namespace crypto::blowfish
