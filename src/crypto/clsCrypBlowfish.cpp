#include "crypto/clsCrypBlowfish.h"

#include "crypto/blowfish_core.h"
#include "platform/win1252.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>

namespace crypto {

using blowfish::kBlockSize;

namespace {

constexpr qint64 kChunk = 64 * 1024;  // a whole number of blocks
constexpr qint64 kHeader = kBlockSize + 4;  // random block and stored length
constexpr qint64 kMaxPlain = 0xFFFFFFFFLL;  // what the 32-bit stored length can hold

// Reports a percentage only when it has risen, so callers see each value once.
class Progress {
public:
    Progress(const std::function<void(int)>& report, qint64 total) : report_(report), total_(total) {}

    void at(qint64 done) {
        if (!report_) return;
        const int percent = total_ > 0 ? static_cast<int>(std::min(done, total_) * 100 / total_) : 100;
        if (percent > last_) {
            last_ = percent;
            report_(percent);
        }
    }
    void finish() { at(total_); }

private:
    const std::function<void(int)>& report_;
    qint64 total_;
    int last_ = -1;
};

// Runs a stream operation from one file to another; the output appears only on success.
template <typename Operation>
bool overFiles(const QString& inPath, const QString& outPath, Operation operation) {
    QFile input(inPath);
    if (!input.open(QIODevice::ReadOnly) || input.isSequential()) return false;
    QSaveFile output(outPath);
    if (!output.open(QIODevice::WriteOnly)) return false;
    if (!operation(input, input.size(), output)) {
        output.cancelWriting();
        return false;
    }
    return output.commit();
}

}  // namespace

bool clsCrypBlowfish::encryptStream(QIODevice& in, qint64 size, QIODevice& out, const QString& key) {
    if (size < 0 || size > kMaxPlain) return false;
    const blowfish::Schedule schedule(platform::toAnsi(key));
    blowfish::Cbc cbc(schedule);
    Progress progress(onProgress, size);

    QByteArray pending(kHeader, '\0');
    std::array<quint32, 2> random{};
    QRandomGenerator::system()->fillRange(random.data(), static_cast<qsizetype>(random.size()));
    std::memcpy(pending.data(), random.data(), kBlockSize);
    qToLittleEndian(static_cast<quint32>(size), pending.data() + kBlockSize);

    qint64 read = 0;
    for (;;) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty()) break;
        read += chunk.size();
        if (read > size) return false;
        pending += chunk;
        const qsizetype whole = pending.size() - pending.size() % kBlockSize;
        cbc.encrypt(pending.data(), whole);
        if (out.write(pending.constData(), whole) != whole) return false;
        pending.remove(0, whole);
        progress.at(read);
    }
    if (read != size) return false;
    // The header alone is left over when nothing was read.
    pending.append((kBlockSize - pending.size() % kBlockSize) % kBlockSize, '\0');
    cbc.encrypt(pending.data(), pending.size());
    if (out.write(pending) != pending.size()) return false;
    progress.finish();
    return true;
}

bool clsCrypBlowfish::decryptStream(QIODevice& in, qint64 size, QIODevice& out, const QString& key) {
    if (size < 2 * kBlockSize || size % kBlockSize != 0) return false;
    const blowfish::Schedule schedule(platform::toAnsi(key));
    blowfish::Cbc cbc(schedule);
    Progress progress(onProgress, size);

    QByteArray pending = in.read(2 * kBlockSize);
    if (pending.size() != 2 * kBlockSize) return false;
    cbc.decrypt(pending.data(), pending.size());
    qint64 remaining = qFromLittleEndian<quint32>(pending.constData() + kBlockSize);
    if (remaining > size - kHeader) return false;

    // Writes the plain bytes still owed, dropping the zero fill after them.
    const auto deliver = [&](const char* data, qint64 count) {
        const qint64 take = std::min(count, remaining);
        remaining -= take;
        return take == 0 || out.write(data, take) == take;
    };
    if (!deliver(pending.constData() + kHeader, pending.size() - kHeader)) return false;
    qint64 read = pending.size();
    pending.clear();
    progress.at(read);

    for (;;) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty()) break;
        read += chunk.size();
        if (read > size) return false;
        pending += chunk;
        const qsizetype whole = pending.size() - pending.size() % kBlockSize;
        cbc.decrypt(pending.data(), whole);
        if (!deliver(pending.constData(), whole)) return false;
        pending.remove(0, whole);
        progress.at(read);
    }
    if (read != size) return false;
    progress.finish();
    return true;
}

bool clsCrypBlowfish::EncryptByte(QByteArray& data, const QString& key) {
    QByteArray result;
    result.reserve(kHeader + data.size() + kBlockSize);
    {
        QBuffer in(&data);
        QBuffer out(&result);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        if (!encryptStream(in, data.size(), out, key)) return false;
    }
    data = std::move(result);
    return true;
}

bool clsCrypBlowfish::DecryptByte(QByteArray& data, const QString& key) {
    QByteArray result;
    bool ok = false;
    {
        QBuffer in(&data);
        QBuffer out(&result);
        in.open(QIODevice::ReadOnly);
        out.open(QIODevice::WriteOnly);
        ok = decryptStream(in, data.size(), out, key);
    }
    data = ok ? std::move(result) : QByteArray();
    return ok;
}

QByteArray clsCrypBlowfish::EncryptString(const QString& text, const QString& key) {
    QByteArray bytes = platform::toAnsi(text);
    return EncryptByte(bytes, key) ? bytes : QByteArray();
}

QString clsCrypBlowfish::DecryptString(const QByteArray& cipher, const QString& key) {
    QByteArray bytes = cipher;
    return DecryptByte(bytes, key) ? platform::fromAnsi(bytes) : QString();
}

bool clsCrypBlowfish::EncryptFile(const QString& inPath, const QString& outPath, const QString& key) {
    return overFiles(inPath, outPath, [&](QIODevice& in, qint64 size, QIODevice& out) {
        return encryptStream(in, size, out, key);
    });
}

bool clsCrypBlowfish::DecryptFile(const QString& inPath, const QString& outPath, const QString& key) {
    return overFiles(inPath, outPath, [&](QIODevice& in, qint64 size, QIODevice& out) {
        return decryptStream(in, size, out, key);
    });
}

QByteArray clsCrypBlowfish::EncryptBlock(const QByteArray& block, const QByteArray& key) {
    if (block.size() != kBlockSize) return {};
    QByteArray result = block;
    blowfish::Schedule(key).encryptBlock(result.data());
    return result;
}

QByteArray clsCrypBlowfish::DecryptBlock(const QByteArray& block, const QByteArray& key) {
    if (block.size() != kBlockSize) return {};
    QByteArray result = block;
    blowfish::Schedule(key).decryptBlock(result.data());
    return result;
}

}  // namespace crypto
