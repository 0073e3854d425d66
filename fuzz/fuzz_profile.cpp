// The settings-file reader and writer on any file content. Input: a control line
// "section|key|value|bufferSize|default|pick" (UTF-8), a line break, then the file's bytes.
// Every key the file holds is looked up before and after the write: only the written key may
// change, and it must read back as the value written (as the file can keep it).

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile.h"
#include "platform/win1252.h"

namespace {

bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f' || u == 0x1A;
}

QString trimmedName(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b))) ++b;
    while (e > b && isBlank(s.at(e - 1))) --e;
    return s.mid(b, e - b);
}

bool sameName(const QString& a, const QString& b) {
    return trimmedName(a).compare(trimmedName(b), Qt::CaseInsensitive) == 0;
}

struct Pair {
    QString section;
    QString key;
};

// Every section and key name the file seems to hold (a rough scan: the reader decides what it
// really holds), plus one missing key per section.
std::vector<Pair> namesIn(const QByteArray& bytes) {
    std::vector<Pair> out;
    const QString text = platform::fromAnsi(bytes);
    QString section;
    for (QString line : text.split(u'\n')) {
        const qsizetype nul = line.indexOf(QChar(0));
        if (nul >= 0) line.truncate(nul);
        const QString t = trimmedName(line);
        if (t.startsWith(u'[') && t.lastIndexOf(u']') > 0) {
            section = t.mid(1, t.lastIndexOf(u']') - 1);
            out.push_back({section, QStringLiteral("no such key")});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && !section.isEmpty()) out.push_back({section, line.left(eq)});
        if (out.size() >= 64) break;
    }
    return out;
}

// What reading gives back for a written value: line breaks and NULs were made blanks, the code
// page replaced what it lacks, blanks around it and one pair of quotes are removed.
QString readBackOf(const QString& value) {
    QString clean = value;
    for (QChar& c : clean) {
        if (c == u'\r' || c == u'\n' || c == QChar(0)) c = u' ';
    }
    QString v = trimmedName(platform::fromAnsi(platform::toAnsi(clean)));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) v = v.mid(1, v.size() - 2);
    return v;
}

bool representable(const QString& name) { return platform::fromAnsi(platform::toAnsi(name)) == name; }

QString describe(const std::optional<QString>& v) { return v ? u'<' + *v + u'>' : QStringLiteral("(missing)"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora-fuzz-profile-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("Velmora.ini"));

    const fuzz::Split in = fuzz::splitControl(fuzz::bytesOf(data, size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::fail("cannot write the test file");
        f.write(in.rest);
    }

    QString section = fuzz::field(in, 0);
    QString key = fuzz::field(in, 1);
    const QString value = fuzz::field(in, 2);
    const int bufferSize = static_cast<int>(std::clamp<long long>(fuzz::number(in, 3, 255), -5, 100000));
    const QString defaultText = fuzz::field(in, 4);
    const std::vector<Pair> names = namesIn(in.rest);
    const long long pick = fuzz::number(in, 5, -1);
    if (pick >= 0 && !names.empty()) {
        const Pair& p = names[static_cast<std::size_t>(pick) % names.size()];
        section = p.section;
        key = p.key;
    }

    // Reading: the classic buffer rules agree with the whole value.
    std::vector<std::optional<QString>> before;
    for (const Pair& p : names) {
        const std::optional<QString> v = platform::privateProfileValue(p.section, p.key, path);
        before.push_back(v);
        const QString got = platform::GetPrivateProfileString(p.section, p.key, defaultText, bufferSize, path);
        QString want;
        if (bufferSize > 0) {
            QString d = defaultText;
            while (d.endsWith(u' ')) d.chop(1);
            want = (v ? *v : d).left(bufferSize - 1);
        }
        fuzz::check(got == want, "GetPrivateProfileString disagrees with privateProfileValue",
                    p.section + u'/' + p.key + QStringLiteral(": ") + got + QStringLiteral(" vs ") + want);
    }

    // Writing: every other key keeps its value, the written one reads back.
    const bool written = platform::WritePrivateProfileString(section, key, value, path);
    QByteArray after;
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) after = f.readAll();
    }
    if (!written) {
        fuzz::check(after == in.rest, "a refused write changed the file");
        const QString k = trimmedName(key);
        const bool validNames = !trimmedName(section).isEmpty() && !k.isEmpty() && !k.startsWith(u'[') &&
                                !k.startsWith(u';') && !k.contains(u'=') && !section.contains(u'\r') &&
                                !section.contains(u'\n') && !section.contains(QChar(0)) && !key.contains(u'\r') &&
                                !key.contains(u'\n') && !key.contains(QChar(0));
        // Names the code page cannot hold may be refused; any other refusal is a fault here.
        fuzz::check(!validNames || !representable(section) || !representable(key), "a valid write was refused",
                    section + u'/' + key);
        return 0;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Pair& p = names[i];
        if (sameName(p.section, section) && sameName(p.key, key)) continue;
        const std::optional<QString> now = platform::privateProfileValue(p.section, p.key, path);
        fuzz::check(now == before[i], "a write changed another key",
                    p.section + u'/' + p.key + QStringLiteral(": ") + describe(before[i]) + QStringLiteral(" -> ") +
                        describe(now) + QStringLiteral("\nwritten ") + section + u'/' + key);
    }
    const std::optional<QString> back = platform::privateProfileValue(section, key, path);
    fuzz::check(back == readBackOf(value), "the written key does not read back",
                section + u'/' + key + QStringLiteral(": ") + describe(back) + QStringLiteral(" wanted <") +
                    readBackOf(value) + u'>');
    return 0;
}
