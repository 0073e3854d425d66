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

}  // namespace

ConnectionString::ConnectionString(const QString& text) {
    const QStringList entries = text.split(u';');
    for (const QString& entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq < 0) {
            if (!entry.trimmed().isEmpty()) raw_.push_back(entry);
            continue;
        }
        pairs_.emplace_back(canonicalKey(entry.left(eq)), entry.mid(eq + 1));
        raw_.push_back(entry);
    }
}

QString ConnectionString::value(const QString& key) const {
    const QString k = canonicalKey(key);
    // The last occurrence wins, as with the providers' own parsers.
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
        if (it->first == k) return it->second;
    }
    return {};
}

bool ConnectionString::contains(const QString& key) const {
    const QString k = canonicalKey(key);
    for (const auto& p : pairs_) {
        if (p.first == k) return true;
    }
    return false;
}

void ConnectionString::set(const QString& key, const QString& value) {
    const QString k = canonicalKey(key);
    bool replaced = false;
    for (size_t i = 0; i < raw_.size(); ++i) {
        const qsizetype eq = raw_[i].indexOf(u'=');
        if (eq >= 0 && canonicalKey(raw_[i].left(eq)) == k) {
            raw_[i] = raw_[i].left(eq + 1) + value;
            replaced = true;
        }
    }
    for (auto& p : pairs_) {
        if (p.first == k) p.second = value;
    }
    if (!replaced) {
        raw_.push_back(key + u'=' + value);
        pairs_.emplace_back(k, value);
    }
}

QString ConnectionString::withoutPassword() const {
    QStringList kept;
    for (const QString& entry : raw_) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq >= 0 && canonicalKey(entry.left(eq)) == u"password") continue;
        kept.push_back(entry);
    }
    return kept.join(u';');
}

}  // namespace data
