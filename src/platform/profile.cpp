#include "platform/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <mutex>
#include <optional>

#include "platform/win1252.h"

namespace platform {

namespace {

// Serialises read-modify-write cycles of this process.
std::mutex g_writeLock;

// Overwrites an existing file with bytes, for a folder that takes no new file. The new bytes
// go over the old ones before the file is cut to their length and flushed to the disk, so a
// write that stops half-way never leaves a file shorter than either content.
bool writeInPlace(const QString& filePath, const QByteArray& bytes) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) return false;
    // Owner only where the file is ours to change; a file of another owner that we may write
    // keeps the mode its owner gave it rather than failing the write.
    static_cast<void>(::fchmod(file.handle(), S_IRUSR | S_IWUSR));
    return file.write(bytes) == bytes.size() && file.resize(bytes.size()) && file.flush() &&
           ::fsync(file.handle()) == 0;
}

bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f' || u == 0x1A;
}

QStringView trimmed(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.sliced(b, e - b);
}

bool sameName(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// One line of the file: [start, contentEnd) is its text without the line end, next the start
// of the following line.
struct LineSpan {
    qsizetype start;
    qsizetype contentEnd;
    qsizetype next;
    bool hasBreak;
};

class LineReader {
public:
    explicit LineReader(QStringView text) : text_(text) {}

    // A line ends at LF, at CR LF, or at a CR alone: a file saved with the old Mac line ends
    // would otherwise be one line, whose keys all read as missing.
    std::optional<LineSpan> nextLine() {
        if (pos_ >= text_.size()) return std::nullopt;
        const qsizetype start = pos_;
        qsizetype end = start;
        while (end < text_.size() && text_[end] != u'\n' && text_[end] != u'\r') ++end;
        if (end >= text_.size()) {
            pos_ = end;
            return LineSpan{start, end, end, false};
        }
        qsizetype next = end + 1;
        if (text_[end] == u'\r' && next < text_.size() && text_[next] == u'\n') ++next;
        pos_ = next;
        return LineSpan{start, end, next, true};
    }

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

enum class Kind { Blank, Comment, Section, Key, Other };

struct Parsed {
    Kind kind = Kind::Other;
    QStringView name;      // section or key name, trimmed
    QStringView value;     // key value, trimmed
    qsizetype valueStart;  // offset in the line just after the "="
};

Parsed parseLine(QStringView line) {
    Parsed p;
    p.valueStart = 0;
    // What a line holds ends at its first NUL, as it does for a C string.
    const qsizetype nul = line.indexOf(QChar(u'\0'));
    const QStringView text = nul < 0 ? line : line.first(nul);
    const QStringView t = trimmed(text);
    if (t.isEmpty()) {
        p.kind = nul < 0 ? Kind::Blank : Kind::Other;
        return p;
    }
    if (t.front() == u';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t.front() == u'[') {
        const qsizetype close = t.lastIndexOf(u']');
        if (close > 0) {
            p.kind = Kind::Section;
            p.name = trimmed(t.sliced(1, close - 1));
        }
        return p;
    }
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0) return p;
    p.kind = Kind::Key;
    p.name = trimmed(text.first(eq));
    p.value = trimmed(text.sliced(eq + 1));
    p.valueStart = eq + 1;
    return p;
}

// The whole file, or nothing when it is missing or not a regular readable file.
std::optional<QByteArray> readFile(const QString& filePath) {
    const QFileInfo info(filePath);
    if (!info.exists() || !info.isFile()) return std::nullopt;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

QString cut(QStringView text, int bufferSize) {
    const qsizetype room = bufferSize - 1;
    return (text.size() > room ? text.first(room) : text).toString();
}

QString defaultResult(const QString& defaultText, int bufferSize) {
    qsizetype e = defaultText.size();
    while (e > 0 && defaultText.at(e - 1) == u' ') --e;
    return cut(QStringView(defaultText).first(e), bufferSize);
}

bool validName(const QString& name) {
    if (trimmed(name).isEmpty()) return false;
    for (const QChar c : name) {
        if (c == u'\r' || c == u'\n' || c == u'\0') return false;
        // A character the code page lacks would be stored as its fit or "?": the name written
        // would not be the name asked for, and every later write would add the key once more.
        if (!inCodePage(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<QString> privateProfileValue(const QString& section, const QString& key, const QString& filePath) {
    const QStringView wantedSection = trimmed(section);
    const QStringView wantedKey = trimmed(key);
    if (wantedSection.isEmpty() || wantedKey.isEmpty()) return std::nullopt;

    const std::optional<QByteArray> bytes = readFile(filePath);
    if (!bytes) return std::nullopt;
    const QString text = fromAnsi(*bytes);

    LineReader reader(text);
    bool inSection = false;
    while (const std::optional<LineSpan> span = reader.nextLine()) {
        const Parsed p = parseLine(QStringView(text).sliced(span->start, span->contentEnd - span->start));
        if (p.kind == Kind::Section) {
            // Only the first section of the name is looked in.
            if (inSection) break;
            inSection = sameName(p.name, wantedSection);
        } else if (inSection && p.kind == Kind::Key && sameName(p.name, wantedKey)) {
            QStringView v = p.value;
            if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) {
                v = v.sliced(1, v.size() - 2);
            }
            return v.toString();
        }
    }
    return std::nullopt;
}

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultText,
                                int bufferSize, const QString& filePath) {
    if (bufferSize <= 0) return QString();
    const std::optional<QString> value = privateProfileValue(section, key, filePath);
    if (!value) return defaultResult(defaultText, bufferSize);
    return cut(*value, bufferSize);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& filePath) {
    if (!validName(section) || !validName(key)) return false;
    const QStringView keyName = trimmed(key);
    // A key that starts like a header or a comment, or holds "=", could not be read back.
    if (keyName.front() == u'[' || keyName.front() == u';' || keyName.contains(u'=')) return false;
    const QStringView sectionName = trimmed(section);

    QString cleanValue = value;
    for (QChar& c : cleanValue) {
        if (c == u'\r' || c == u'\n' || c == u'\0') c = u' ';
    }

    const std::lock_guard<std::mutex> guard(g_writeLock);

    QByteArray bytes;
    const QFileInfo info(filePath);
    if (info.exists() || info.isSymLink()) {
        // An existing file that cannot be read must not be replaced by a new one.
        const std::optional<QByteArray> old = readFile(filePath);
        if (!old) return false;
        bytes = *old;
    }
    const QString text = fromAnsi(bytes);

    // Where the first section of the name starts and where its last non-blank line ends.
    bool sectionFound = false;
    bool inSection = false;
    qsizetype appendAt = -1;  // just after the last non-blank line of the section
    bool appendNeedsBreak = false;
    std::optional<LineSpan> keyLine;
    qsizetype keyValueStart = 0;

    LineReader reader(text);
    while (const std::optional<LineSpan> span = reader.nextLine()) {
        const Parsed p = parseLine(QStringView(text).sliced(span->start, span->contentEnd - span->start));
        if (p.kind == Kind::Section) {
            if (inSection) break;
            if (!sectionFound && sameName(p.name, sectionName)) {
                sectionFound = inSection = true;
                appendAt = span->next;
                appendNeedsBreak = !span->hasBreak;
            }
            continue;
        }
        if (!inSection) continue;
        if (p.kind == Kind::Key && sameName(p.name, keyName)) {
            keyLine = span;
            keyValueStart = span->start + p.valueStart;
            break;
        }
        if (p.kind != Kind::Blank) {
            appendAt = span->next;
            appendNeedsBreak = !span->hasBreak;
        }
    }

    const QByteArray crlf("\r\n");
    const QByteArray ansiValue = toAnsi(cleanValue);
    QByteArray out;
    if (keyLine) {
        // Positions in text and in bytes agree: each byte decodes to one character.
        out.reserve(bytes.size() + ansiValue.size());
        out.append(bytes.constData(), keyValueStart);
        out.append(ansiValue);
        out.append(bytes.constData() + keyLine->contentEnd, bytes.size() - keyLine->contentEnd);
    } else {
        QByteArray newLine = toAnsi(keyName.toString()) + '=' + ansiValue + crlf;
        if (sectionFound) {
            if (appendNeedsBreak) newLine.prepend(crlf);
            out = bytes;
            out.insert(appendAt, newLine);
        } else {
            out = bytes;
            if (!out.isEmpty() && !out.endsWith('\n')) out.append(crlf);
            out.append('[' + toAnsi(sectionName.toString()) + ']' + crlf);
            out.append(newLine);
        }
    }

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        // No temporary file beside it: a folder made read-only around a writable settings file.
        return info.exists() && writeInPlace(filePath, out);
    }
    // The file holds the cipher texts of passwords: owner only, whatever mode the file it
    // replaces had (the replacement would otherwise take that mode over) and whatever the umask.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return false;
    }
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace platform
