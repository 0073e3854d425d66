#include "extractor/mail/SmtpMail.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>
#include <algorithm>
#include <limits>
#include <mutex>
#include <set>
#include <thread>

#include "extractor/mail/mime.h"

struct SmtpMail::Transfer {
    // Set up by Send before the worker starts; the worker only reads these.
    QByteArray url;
    QString serverLabel;
    QByteArray user, password;
    bool tls = false;
    QByteArray caInfo;
    struct Mail {
        QByteArray from;
        std::vector<QByteArray> rcpts;
        QByteArray data;
    };
    std::vector<Mail> mails;
    qint64 totalBytes = 0;

    CURLM* multi = nullptr;
    std::atomic<bool> cancel{false};
    std::set<curl_socket_t> sockets;  // open connections, kept by curl's socket callbacks
    std::thread worker;

    // Written by the worker before it reports its end.
    bool ok = false;
    QString error;
};

namespace {

const QString kCancelled = QStringLiteral("The send was cancelled.");

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

qint32 clamp32(qint64 v) { return static_cast<qint32>(std::clamp<qint64>(v, 0, std::numeric_limits<qint32>::max())); }

void postProgress(SmtpMail* owner, const QString& operation, qint64 total, qint64 current) {
    const qint32 t = clamp32(total);
    const qint32 c = clamp32(current);
    QMetaObject::invokeMethod(
        owner, [owner, operation, t, c] { emit owner->onMailSend(operation, t, c); }, Qt::QueuedConnection);
}

struct ReadCursor {
    const QByteArray* data = nullptr;
    qint64 pos = 0;
};

size_t readMessage(char* buffer, size_t size, size_t count, void* user) {
    auto* cur = static_cast<ReadCursor*>(user);
    const qint64 room = static_cast<qint64>(size * count);
    const qint64 n = std::min(room, cur->data->size() - cur->pos);
    if (n <= 0) return 0;
    std::copy_n(cur->data->constData() + cur->pos, n, buffer);
    cur->pos += n;
    return static_cast<size_t>(n);
}

// Keeps the server's latest reply line, for the error text. Only what the server sent is
// looked at, so the credentials the client sends never reach an error text.
int watchServer(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type == CURLINFO_HEADER_IN) {
        auto* last = static_cast<QByteArray*>(user);
        const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
        if (!line.isEmpty()) *last = line;
    }
    return 0;
}

struct Progress {
    SmtpMail* owner = nullptr;
    SmtpMail::Transfer* transfer = nullptr;
    qint64 before = 0;  // bytes of the messages already sent
    qint64 size = 0;    // bytes of this message
    int index = 0;
    int count = 0;
    QString operation;
    int lastPermille = -1;
};

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* p = static_cast<Progress*>(user);
    if (p->transfer->cancel.load()) return 1;
    QString operation = p->operation;
    if (ulnow > 0) {
        operation = ulnow >= p->size ? QStringLiteral("Waiting for the server to accept message %1 of %2")
                                     : QStringLiteral("Sending message %1 of %2");
        operation = operation.arg(p->index + 1).arg(p->count);
    }
    const qint64 current = p->before + ulnow;
    const qint64 total = std::max<qint64>(p->transfer->totalBytes, 1);
    const int permille = static_cast<int>(current * 1000 / total);
    if (operation != p->operation || permille > p->lastPermille + 9) {
        p->operation = operation;
        p->lastPermille = permille;
        postProgress(p->owner, operation, p->transfer->totalBytes, current);
    }
    return 0;
}

// The connections are opened and closed here so that a failed or cancelled send can cut
// them: otherwise the connection cache would say goodbye to a server that no longer answers
// and wait the full response time for its reply.
curl_socket_t openSocket(void* user, curlsocktype, curl_sockaddr* address) {
    const curl_socket_t fd = ::socket(address->family, address->socktype, address->protocol);
    if (fd != CURL_SOCKET_BAD) static_cast<SmtpMail::Transfer*>(user)->sockets.insert(fd);
    return fd;
}

int closeSocket(void* user, curl_socket_t fd) {
    static_cast<SmtpMail::Transfer*>(user)->sockets.erase(fd);
    return ::close(fd);
}

QString describeFailure(CURLcode rc, const char* errorBuffer, const QByteArray& lastReply) {
    QString text = QString::fromUtf8(curl_easy_strerror(rc));
    const QString detail = QString::fromUtf8(errorBuffer).trimmed();
    if (!detail.isEmpty() && detail != text) text += QStringLiteral(": ") + detail;
    if (!lastReply.isEmpty() && (lastReply.startsWith('4') || lastReply.startsWith('5'))) {
        text += QStringLiteral(" (server: ") + QString::fromUtf8(lastReply) + QLatin1Char(')');
    }
    return text;
}

void runTransfer(SmtpMail* owner, SmtpMail::Transfer& t) {
    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        t.error = QStringLiteral("The mail transfer could not be started.");
        return;
    }
    char errorBuffer[CURL_ERROR_SIZE];
    QByteArray lastReply;
    Progress progress;
    progress.owner = owner;
    progress.transfer = &t;
    progress.count = static_cast<int>(t.mails.size());
    progress.operation = QStringLiteral("Connecting to %1").arg(t.serverLabel);
    postProgress(owner, progress.operation, t.totalBytes, 0);

    bool ok = true;
    for (std::size_t i = 0; i < t.mails.size() && ok; ++i) {
        const SmtpMail::Transfer::Mail& mail = t.mails[i];
        curl_slist* rcpts = nullptr;
        for (const QByteArray& r : mail.rcpts) rcpts = curl_slist_append(rcpts, r.constData());
        ReadCursor cursor{&mail.data, 0};
        progress.index = static_cast<int>(i);
        progress.size = mail.data.size();
        errorBuffer[0] = '\0';
        lastReply.clear();

        curl_easy_setopt(easy, CURLOPT_URL, t.url.constData());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(t.tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!t.caInfo.isEmpty()) curl_easy_setopt(easy, CURLOPT_CAINFO, t.caInfo.constData());
        if (!t.user.isEmpty()) {
            curl_easy_setopt(easy, CURLOPT_USERNAME, t.user.constData());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, t.password.constData());
        }
        curl_easy_setopt(easy, CURLOPT_MAIL_FROM, mail.from.constData());
        curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, rcpts);
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readMessage);
        curl_easy_setopt(easy, CURLOPT_READDATA, &cursor);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.data.size()));
        // An unattended run must never wait for ever on a server that stopped answering.
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 30L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 300L);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &progress);
        curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &watchServer);
        curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &lastReply);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &openSocket);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &t);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &closeSocket);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &t);

        CURLcode rc = CURLE_OK;
        CURLMcode mc = curl_multi_add_handle(t.multi, easy);
        bool done = false;
        while (mc == CURLM_OK && !done && !t.cancel.load()) {
            int running = 0;
            mc = curl_multi_perform(t.multi, &running);
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(t.multi, &left)) {
                if (m->msg == CURLMSG_DONE) {
                    rc = m->data.result;
                    done = true;
                }
            }
            if (mc != CURLM_OK || done || running == 0) break;
            mc = curl_multi_poll(t.multi, nullptr, 0, 1000, nullptr);
        }
        curl_multi_remove_handle(t.multi, easy);
        curl_slist_free_all(rcpts);

        if (t.cancel.load()) {
            t.error = kCancelled;
            ok = false;
        } else if (mc != CURLM_OK) {
            t.error = QString::fromUtf8(curl_multi_strerror(mc));
            ok = false;
        } else if (rc != CURLE_OK) {
            t.error = describeFailure(rc, errorBuffer, lastReply);
            ok = false;
        } else {
            progress.before += mail.data.size();
        }
    }
    if (!ok) {
        for (const curl_socket_t fd : t.sockets) ::shutdown(fd, SHUT_RDWR);
    }
    curl_easy_cleanup(easy);
    if (ok) postProgress(owner, QStringLiteral("Mail sent"), t.totalBytes, t.totalBytes);
    t.ok = ok;
}

// A host name for the URL: nothing that could end the host part or smuggle a path in.
bool validServerName(const QString& host) {
    for (const QChar c : host) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u == 0x7F || u == u'/' || u == u'?' || u == u'#' || u == u'@' || u == u'\\' || u == u'%') {
            return false;
        }
    }
    return true;
}

QByteArray ehloDomain() {
    QByteArray name;
    for (const QChar c : QSysInfo::machineHostName()) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.')) name += c.toLatin1();
    }
    return name;
}

}  // namespace

SmtpMail::SmtpMail(QObject* parent) : QObject(parent) { globalInit(); }

SmtpMail::~SmtpMail() {
    if (transfer_ && transfer_->worker.joinable()) {
        transfer_->cancel = true;
        curl_multi_wakeup(transfer_->multi);
        transfer_->worker.join();
        curl_multi_cleanup(transfer_->multi);
    }
}

void SmtpMail::AddMessage(const QString& To, const QString& CC, const QString& BCC, const QString& Subject,
                          const QString& Message) {
    messages_.push_back({To, CC, BCC, Subject, Message});
}

bool SmtpMail::Prepare(bool SSL, const QString& AttachCRLF, Transfer& job, QString& error) const {
    const QString host = server_.trimmed();
    if (host.isEmpty()) {
        error = QStringLiteral("No SMTP server was given.");
        return false;
    }
    if (!validServerName(host)) {
        error = QStringLiteral("The SMTP server name is not valid: %1").arg(host);
        return false;
    }
    if (port_ < 0 || port_ > 65535) {
        error = QStringLiteral("The SMTP port is not valid: %1 (a port is a number from 1 to 65535, 0 for the "
                               "default)")
                    .arg(port_);
        return false;
    }
    const bool implicitTls = SSL && port_ == implicitTlsPort_;
    const QString urlHost = host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['))
                                ? QLatin1Char('[') + host + QLatin1Char(']')
                                : host;
    QString url = (implicitTls ? QStringLiteral("smtps://") : QStringLiteral("smtp://")) + urlHost;
    if (port_ != 0) url += QLatin1Char(':') + QString::number(port_);
    job.url = url.toUtf8() + '/' + ehloDomain();
    job.serverLabel = port_ != 0 ? host + QLatin1Char(':') + QString::number(port_) : host;
    job.tls = SSL;
    job.caInfo = QFile::encodeName(caInfo_);
    if (!login_.isEmpty()) {
        job.user = login_.toUtf8();
        job.password = password_.toUtf8();
    }

    const QString from = mail::bareAddress(from_);
    if (from.isEmpty()) {
        error = from_.trimmed().isEmpty() ? QStringLiteral("No sender address was given.")
                                          : QStringLiteral("The sender address is not valid: %1").arg(from_.trimmed());
        return false;
    }
    if (messages_.empty()) {
        error = QStringLiteral("No message was added.");
        return false;
    }

    std::vector<mail::MimeAttachment> attachments;
    for (const QString& path : AttachCRLF.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)) {
        if (path.trimmed().isEmpty()) continue;
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read the attachment %1").arg(path);
            return false;
        }
        attachments.push_back({QFileInfo(path).fileName(), file.readAll()});
        if (file.error() != QFileDevice::NoError) {
            error = QStringLiteral("Cannot read the attachment %1: %2").arg(path, file.errorString());
            return false;
        }
    }

    for (const Message& m : messages_) {
        Transfer::Mail out;
        out.from = from.toUtf8();
        for (const QString* list : {&m.to, &m.cc, &m.bcc}) {
            for (const QString& entry : mail::splitAddresses(*list)) {
                const QString addr = mail::bareAddress(entry);
                if (addr.isEmpty()) {
                    error = QStringLiteral("The recipient address is not valid: %1").arg(entry);
                    return false;
                }
                out.rcpts.push_back(addr.toUtf8());
            }
        }
        if (out.rcpts.empty()) {
            error = QStringLiteral("The message has no recipient.");
            return false;
        }
        mail::MimeFields fields;
        fields.from = from_.trimmed();
        fields.to = m.to;
        fields.cc = m.cc;
        fields.subject = m.subject;
        fields.body = m.text;
        fields.receiptTo = receiptAddress_;
        out.data = mail::buildMessage(fields, attachments);
        job.totalBytes += out.data.size();
        job.mails.push_back(std::move(out));
    }
    return true;
}

bool SmtpMail::Send(bool SSL, const QString& AttachCRLF) {
    if (sending_) {
        lastError_ = QStringLiteral("A send is already in progress.");
        return false;
    }
    auto job = std::make_shared<Transfer>();
    QString error;
    const bool ready = Prepare(SSL, AttachCRLF, *job, error);
    messages_.clear();
    if (!ready) {
        lastError_ = error;
        return false;
    }
    job->multi = curl_multi_init();
    if (job->multi == nullptr) {
        lastError_ = QStringLiteral("The mail transfer could not be started.");
        return false;
    }

    lastError_.clear();
    sending_ = true;
    transfer_ = job;
    QEventLoop loop;
    connect(this, &SmtpMail::transferEnded, &loop, &QEventLoop::quit);
    job->worker = std::thread([this, job] {
        runTransfer(this, *job);
        QMetaObject::invokeMethod(
            this, [this] { emit transferEnded(QPrivateSignal()); }, Qt::QueuedConnection);
    });
    // The end is reported through this thread's event queue, so it cannot be missed: it is
    // only delivered once the loop below runs.
    if (QCoreApplication::instance() != nullptr && QThread::currentThread() == thread()) loop.exec();
    job->worker.join();
    curl_multi_cleanup(job->multi);
    job->multi = nullptr;
    transfer_.reset();
    sending_ = false;

    lastError_ = job->ok ? QString() : job->error;
    return job->ok;
}

void SmtpMail::Cancel() {
    if (transfer_ && transfer_->multi != nullptr) {
        transfer_->cancel = true;
        curl_multi_wakeup(transfer_->multi);
    }
}
