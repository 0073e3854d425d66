#include "extractor/mail/mime.h"

#include <QUuid>

namespace mail {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// Longest header line we write as plain text before switching to encoded words, so that
// "Subject: " and the text stay within the recommended 78 characters.
constexpr qsizetype kPlainHeaderMax = 78 - 9;

// 45 bytes make 60 base64 characters; with "=?UTF-8?B?" and "?=" a word is 72 characters.
constexpr qsizetype kWordBytes = 45;

bool isPrintableAscii(const QString& s) {
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) return false;
    }
    return true;
}

QString trimmedEntry(const QString& s) { return s.trimmed(); }

QByteArray crlfText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QByteArray out = t.toUtf8();
    out.replace('\n', kCrLf);
    if (!out.isEmpty() && !out.endsWith(kCrLf)) out += kCrLf;
    return out;
}

// Plain 7-bit text can go as it is: no byte above 127, no NUL, no line longer than SMTP allows.
bool isSevenBit(const QByteArray& crlf) {
    qsizetype lineLength = 0;
    for (const char ch : crlf) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0 || b > 0x7F) return false;
        if (b == '\n') {
            lineLength = 0;
        } else if (++lineLength > 998) {
            return false;
        }
    }
    return true;
}

// The display name and mailbox of one entry, as a header shows it.
QByteArray headerMailbox(const QString& entry) {
    const QString addr = bareAddress(entry);
    const qsizetype lt = entry.indexOf(QLatin1Char('<'));
    QString name = lt > 0 ? entry.left(lt).trimmed() : QString();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
        name = name.mid(1, name.size() - 2);
        name.replace(QStringLiteral("\\\""), QStringLiteral("\""));
        name.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }
    if (name.isEmpty()) return addr.toUtf8();
    QByteArray shown;
    if (isPrintableAscii(name) && name.size() <= kPlainHeaderMax && !name.contains(QStringLiteral("=?"))) {
        QString quoted = name;
        quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        quoted.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        shown = '"' + quoted.toLatin1() + '"';
    } else {
        shown = encodedWords(name);
    }
    return shown + " <" + addr.toUtf8() + '>';
}

QByteArray headerAddressList(const QString& list) {
    QByteArray out;
    for (const QString& entry : splitAddresses(list)) {
        if (!out.isEmpty()) out += ",\r\n ";
        out += headerMailbox(entry);
    }
    return out;
}

// The value of a file-name parameter: quoted when the name is plain ASCII, RFC 2231
// percent-encoded UTF-8 otherwise.
QByteArray fileNameParameter(const QByteArray& parameter, const QString& fileName) {
    if (isPrintableAscii(fileName) && !fileName.contains(QLatin1Char('"')) && !fileName.contains(QLatin1Char('\\')) &&
        fileName.size() <= 200) {
        return parameter + "=\"" + fileName.toLatin1() + '"';
    }
    return parameter + "*=UTF-8''" + fileName.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
}

QByteArray newBoundary() { return "=_part_" + QUuid::createUuid().toByteArray(QUuid::Id128); }

QByteArray domainOf(const QString& address) {
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    const QString domain = at >= 0 ? address.mid(at + 1) : QString();
    return domain.isEmpty() ? QByteArrayLiteral("localhost") : domain.toUtf8();
}

}  // namespace

QStringList splitAddresses(const QString& list) {
    QStringList out;
    QString current;
    bool inQuote = false;
    bool inAngle = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QChar c = list.at(i);
        if (inQuote && c == QLatin1Char('\\') && i + 1 < list.size()) {
            current += c;
            current += list.at(++i);
            continue;
        }
        if (c == QLatin1Char('"') && !inAngle) inQuote = !inQuote;
        if (!inQuote) {
            if (c == QLatin1Char('<')) inAngle = true;
            if (c == QLatin1Char('>')) inAngle = false;
        }
        if (!inQuote && !inAngle && (c == QLatin1Char(',') || c == QLatin1Char(';'))) {
            const QString e = trimmedEntry(current);
            if (!e.isEmpty()) out << e;
            current.clear();
            continue;
        }
        current += c;
    }
    const QString e = trimmedEntry(current);
    if (!e.isEmpty()) out << e;
    return out;
}

QString bareAddress(const QString& entry) {
    QString addr;
    const qsizetype lt = entry.lastIndexOf(QLatin1Char('<'));
    if (lt >= 0) {
        const qsizetype gt = entry.indexOf(QLatin1Char('>'), lt);
        if (gt < 0) return QString();
        addr = entry.mid(lt + 1, gt - lt - 1).trimmed();
    } else {
        addr = entry.trimmed();
    }
    if (addr.isEmpty()) return QString();
    for (const QChar c : addr) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u == 0x7F || u == u'<' || u == u'>' || u == u',' || u == u';') return QString();
    }
    return addr;
}

QByteArray encodedWords(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    qsizetype pos = 0;
    while (pos < utf8.size()) {
        qsizetype end = std::min(pos + kWordBytes, utf8.size());
        // Back off to the start of a character: continuation bytes are 10xxxxxx.
        while (end < utf8.size() && end > pos && (static_cast<unsigned char>(utf8.at(end)) & 0xC0) == 0x80) --end;
        if (end == pos) end = std::min(pos + kWordBytes, utf8.size());
        if (!out.isEmpty()) out += "\r\n ";
        out += "=?UTF-8?B?" + utf8.mid(pos, end - pos).toBase64() + "?=";
        pos = end;
    }
    if (out.isEmpty())
        out =
            "=?UTF-8?B?"
            "?=";
    return out;
}

QByteArray subjectHeaderValue(const QString& subject) {
    if (isPrintableAscii(subject) && subject.size() <= kPlainHeaderMax && !subject.contains(QStringLiteral("=?"))) {
        return subject.toLatin1();
    }
    return encodedWords(subject);
}

QByteArray base64Lines(const QByteArray& bytes) {
    const QByteArray b64 = bytes.toBase64();
    QByteArray out;
    out.reserve(b64.size() + (b64.size() / 76 + 1) * 2);
    for (qsizetype pos = 0; pos < b64.size(); pos += 76) {
        out.append(b64.constData() + pos, std::min<qsizetype>(76, b64.size() - pos));
        out += kCrLf;
    }
    return out;
}

QByteArray buildMessage(const MimeFields& f, const std::vector<MimeAttachment>& attachments) {
    const QString fromAddr = bareAddress(f.from);
    const QDateTime date = f.date.isValid() ? f.date : QDateTime::currentDateTime();
    const QByteArray messageId = f.messageId.isEmpty()
                                     ? QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' + domainOf(fromAddr)
                                     : f.messageId.toUtf8();

    QByteArray head;
    head += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + kCrLf;
    head += "From: " + headerMailbox(f.from) + kCrLf;
    const QByteArray to = headerAddressList(f.to);
    if (!to.isEmpty()) head += "To: " + to + kCrLf;
    const QByteArray cc = headerAddressList(f.cc);
    if (!cc.isEmpty()) head += "Cc: " + cc + kCrLf;
    head += "Subject: " + subjectHeaderValue(f.subject) + kCrLf;
    head += "Message-ID: <" + messageId + '>' + kCrLf;
    if (!bareAddress(f.receiptTo).isEmpty()) {
        head += "Disposition-Notification-To: " + headerMailbox(f.receiptTo) + kCrLf;
    }
    head += "MIME-Version: 1.0" + kCrLf;

    const QByteArray bodyText = crlfText(f.body);
    QByteArray textPart = "Content-Type: text/plain; charset=UTF-8" + kCrLf;
    if (isSevenBit(bodyText)) {
        textPart += "Content-Transfer-Encoding: 7bit" + kCrLf + kCrLf + bodyText;
    } else {
        textPart += "Content-Transfer-Encoding: base64" + kCrLf + kCrLf + base64Lines(bodyText);
    }
    // A delimiter takes the line end before it, so an empty body still needs its own line.
    if (bodyText.isEmpty()) textPart += kCrLf;

    if (attachments.empty()) return head + textPart;

    QByteArray boundary = newBoundary();
    while (bodyText.contains(boundary)) boundary = newBoundary();

    qsizetype size = head.size() + textPart.size() + 200;
    for (const MimeAttachment& a : attachments) size += a.content.size() * 4 / 3 + a.content.size() / 38 + 400;
    QByteArray out;
    out.reserve(size);
    out += head;
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + '"' + kCrLf + kCrLf;
    out += "This is a multi-part message in MIME format." + kCrLf;
    out += "--" + boundary + kCrLf + textPart;
    for (const MimeAttachment& a : attachments) {
        out += "--" + boundary + kCrLf;
        out += "Content-Type: application/octet-stream; " + fileNameParameter("name", a.fileName) + kCrLf;
        out += "Content-Transfer-Encoding: base64" + kCrLf;
        out += "Content-Disposition: attachment; " + fileNameParameter("filename", a.fileName) + kCrLf + kCrLf;
        out += base64Lines(a.content);
    }
    out += "--" + boundary + "--" + kCrLf;
    return out;
}

}  // namespace mail
