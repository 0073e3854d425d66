// Code lists: "key:caption;key:caption;". Keys compare without case; text after the last ";"
// is not part of the list. A malformed list is the caller's error and reaches it as a
// run-time error, the way the list views and controls expect to be told about a bad design.

#include <utility>

#include "platform/runtime_error.h"
#include "util/EDiv.h"

namespace {

struct Entry {
    QString key;
    QString caption;
};

std::vector<Entry> splitCodeList(const QString& lista) {
    std::vector<Entry> entries;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = lista.indexOf(u';', start);
        if (end < 0) break;
        const QString entry = lista.mid(start, end - start);
        const qsizetype colon = entry.indexOf(u':');
        if (colon < 0) platform::raiseInvalidCall();
        entries.push_back({entry.left(colon), entry.mid(colon + 1)});
        start = end + 1;
    }
    return entries;
}

}  // namespace

QString EDiv::eselChave(const QString& Chave, const QString& Lista) {
    if (Lista.isEmpty()) return QString();
    const QString wanted = Chave.toUpper();
    for (const Entry& e : splitCodeList(Lista)) {
        if (e.key.toUpper() == wanted) return e.caption;
    }
    return QString();
}

void EDiv::eselToArray(const QString& Lista, std::vector<std::array<Variant, 2>>& aArray) {
    if (Lista.isEmpty()) return;
    std::vector<Entry> entries = splitCodeList(Lista);
    if (entries.empty()) platform::raiseSubscript();  // an array of no rows cannot be sized
    aArray.clear();
    aArray.reserve(entries.size());
    for (Entry& e : entries) aArray.push_back({Variant(std::move(e.key)), Variant(std::move(e.caption))});
}
