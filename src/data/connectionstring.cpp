#include "data/connectionstring.h"

#include <QStringList>

namespace data {

namespace {

// The canonical name of a key: synonyms fold onto one name.
QString canonicalKey(const QString& key) {
    const QString k = key.trimmed().toLower();
    if (k == u"server" || k == u"address" || k == u"addr" || k == u"network address") return QStringLiteral("data source");
    if (k == u"database") return QStringLiteral("initial catalog");
    if (k == u"uid" || k == u"user" || k == u"user name") return QStringLiteral("user id");
    if (k == u"pwd") return QStringLiteral("password");
    return k;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

qsizetype firstNonBlank(const QString& text, qsizetype from) {
    while (from < text.size() && isBlank(text[from])) ++from;
    return from;
}

// Reads an enclosed value that opens at text[open] and closes with `close`, a doubled closer
// standing for one. Returns the position just past the closer (the text's end when it never
// closes).
qsizetype readEnclosed(const QString& text, qsizetype open, QChar close, QString& value) {
    qsizetype i = open + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (i + 1 < text.size() && text[i + 1] == close) {
                value += close;
                i += 2;
                continue;
            }
            return i + 1;
        }
        value += text[i++];
    }
    return i;
}

}  // namespace

QString quoteConnectionValue(const QString& value) {
    const qsizetype first = firstNonBlank(value, 0);
    const bool opensEnclosed =
        first < value.size() && (value[first] == u'"' || value[first] == u'\'' || value[first] == u'{');
    if (!opensEnclosed && !value.contains(u';')) return value;
    if (value.contains(u'"') && !value.contains(u'\'')) return u'\'' + value + u'\'';
    QString doubled = value;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

ConnectionString::ConnectionString(const QString& text) {
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        while (i < text.size() && text[i] != u'=' && text[i] != u';') ++i;
        if (i == text.size() || text[i] == u';') {
            const QString piece = text.mid(start, i - start);
            if (!piece.trimmed().isEmpty()) entries_.push_back({QString(), QString(), piece});
            ++i;
            continue;
        }
        Entry e;
        e.key = canonicalKey(text.mid(start, i - start));
        const qsizetype valueStart = i + 1;
        const qsizetype first = firstNonBlank(text, valueStart);
        const QChar opener = first < text.size() ? text[first] : QChar();
        if (opener == u'"' || opener == u'\'' || opener == u'{') {
            i = readEnclosed(text, first, opener == u'{' ? QChar(u'}') : opener, e.value);
            // Whatever stands between the closer and the next ";" is not part of the value.
            while (i < text.size() && text[i] != u';') ++i;
        } else {
            // Blanks around a plain value only pad the text: " LOJA " names the database LOJA.
            i = valueStart;
            while (i < text.size() && text[i] != u';') ++i;
            qsizetype last = i;
            while (last > first && isBlank(text[last - 1])) --last;
            e.value = text.mid(first, last - first);
        }
        e.text = text.mid(start, i - start);
        entries_.push_back(std::move(e));
        ++i;
    }
}

QString ConnectionString::value(const QString& key) const {
    const QString k = canonicalKey(key);
    // The last occurrence wins, as with the providers' own parsers.
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->key == k) return it->value;
    }
    return {};
}

bool ConnectionString::contains(const QString& key) const {
    const QString k = canonicalKey(key);
    for (const Entry& e : entries_) {
        if (e.key == k) return true;
    }
    return false;
}

void ConnectionString::set(const QString& key, const QString& value) {
    const QString k = canonicalKey(key);
    bool replaced = false;
    for (Entry& e : entries_) {
        if (e.key != k) continue;
        e.text = e.text.left(e.text.indexOf(u'=') + 1) + quoteConnectionValue(value);
        e.value = value;
        replaced = true;
    }
    if (!replaced) entries_.push_back({k, value, key + u'=' + quoteConnectionValue(value)});
}

QString ConnectionString::withoutPassword() const {
    QStringList kept;
    for (const Entry& e : entries_) {
        if (e.key.isEmpty() || e.key == u"password") continue;
        kept.push_back(e.text);
    }
    return kept.join(u';');
}

}  // namespace data
