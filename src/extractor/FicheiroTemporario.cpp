#include "extractor/FicheiroTemporario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/crashpoint.h"

namespace {

const QString kMarca = QStringLiteral(".incompleto-");
constexpr int kAleatorios = 6;
constexpr int kTentativas = 16;

QString sufixoAleatorio() {
    static constexpr char kLetras[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s;
    for (int i = 0; i < kAleatorios; ++i) {
        s += QChar::fromLatin1(kLetras[QRandomGenerator::global()->bounded(static_cast<int>(sizeof kLetras - 1))]);
    }
    return s;
}

QByteArray nativo(const QString& path) { return QFile::encodeName(path); }

}  // namespace

FicheiroTemporario::FicheiroTemporario(QString path) : path_(std::move(path)) {}

FicheiroTemporario::~FicheiroTemporario() { descarta(); }

bool FicheiroTemporario::falha(int numero) {
    erro_ = QString::fromLocal8Bit(std::strerror(numero));
    descarta();
    return false;
}

void FicheiroTemporario::descarta() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporario_.isEmpty()) ::unlink(nativo(temporario_).constData());
    temporario_.clear();
}

bool FicheiroTemporario::daNome() {
    for (int i = 0; i < kTentativas; ++i) {
        const QString nome = path_ + kMarca + sufixoAleatorio();
        int r = 0;
        if (fd_ >= 0 && temporario_.isEmpty()) {
            const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd_);
            r = ::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, nativo(nome).constData(), AT_SYMLINK_FOLLOW);
        } else {
            fd_ = ::open(nativo(nome).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            r = fd_ >= 0 ? 0 : -1;
        }
        if (r == 0) {
            temporario_ = nome;
            return true;
        }
        if (errno != EEXIST) return falha(errno);
    }
    return falha(EEXIST);
}

bool FicheiroTemporario::open() {
    if (fd_ >= 0) return true;
    const QByteArray pasta = nativo(QFileInfo(path_).absolutePath());
    fd_ = ::open(pasta.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        // No unnamed files here (EOPNOTSUPP, EISDIR, EINVAL on older kernels or shares): a named one.
        const int e = errno;
        if (e == EACCES || e == EROFS || e == ENOSPC || e == ENOENT || e == EDQUOT) return falha(e);
        if (!daNome()) return false;
    }
    // The file that is replaced keeps its permissions.
    struct stat antigo {};
    if (::stat(nativo(path_).constData(), &antigo) == 0) ::fchmod(fd_, antigo.st_mode & 07777);
    return true;
}

bool FicheiroTemporario::write(const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return falha(errno);
        }
        data += n;
        size -= n;
    }
    return true;
}

bool FicheiroTemporario::commit() {
    if (!open()) return false;
    // The bytes reach the disk before the name does, so a power cut never leaves the final name
    // on a file whose blocks were not written.
    if (::fsync(fd_) != 0) return falha(errno);
    if (temporario_.isEmpty() && !daNome()) return false;
    platform::crashPoint("ficheiro.nomeado");
    if (::close(fd_) != 0) {
        fd_ = -1;
        return falha(errno);
    }
    fd_ = -1;
    if (std::rename(nativo(temporario_).constData(), nativo(path_).constData()) != 0) return falha(errno);
    temporario_.clear();
    return true;
}

int FicheiroTemporario::removeRestos(const QString& folder) {
    int n = 0;
    const QDir dir(folder);
    for (const QString& nome : dir.entryList({QStringLiteral("*") + kMarca + QString(kAleatorios, u'?')},
                                             QDir::Files | QDir::Hidden | QDir::System)) {
        if (QFile::remove(dir.filePath(nome))) ++n;
    }
    return n;
}
