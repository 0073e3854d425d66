// The code-list readers on any list. Input: the key to look up, a line break, the list
// ("key:caption;key:caption;"), both UTF-8. A malformed list is answered with a run-time error;
// a list that reads answers the lookup with the caption of the first entry of that key.

#include <array>
#include <optional>
#include <vector>

#include "fuzz_support.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = fuzz::bytesOf(data, size);
    const qsizetype nl = input.indexOf('\n');
    const QString key = QString::fromUtf8(nl < 0 ? input : input.left(nl));
    const QString list = nl < 0 ? QString() : QString::fromUtf8(input.mid(nl + 1));
    EDiv& e = eFun();

    std::optional<QString> caption;
    try {
        caption = e.eselChave(key, list);
    } catch (const platform::RuntimeError&) {
    }

    std::vector<std::array<data::Variant, 2>> rows{{data::Variant(QStringLiteral("kept")), data::Variant()}};
    bool read = false;
    try {
        e.eselToArray(list, rows);
        read = true;
    } catch (const platform::RuntimeError&) {
        fuzz::check(rows.size() == 1 && rows[0][0].toString() == u"kept", "a refused list changed the array");
    }
    if (list.isEmpty()) {
        fuzz::check(caption && caption->isEmpty(), "an empty list gave a caption");
        fuzz::check(rows.size() == 1, "an empty list changed the array");
        return 0;
    }
    if (!list.contains(u';')) {
        // No entry at all: nothing to find, and no array of no rows.
        fuzz::check(caption && caption->isEmpty() && !read, "a list without entries was read");
        return 0;
    }
    fuzz::check(read == caption.has_value(), "the two readers disagree on whether the list is well formed");
    if (!read) return 0;
    fuzz::check(static_cast<qsizetype>(rows.size()) == list.count(u';'), "not one row per entry");

    QString wanted;
    for (const auto& row : rows) {
        if (row[0].toString().toUpper() == key.toUpper()) {
            wanted = row[1].toString();
            break;
        }
    }
    fuzz::check(*caption == wanted, "eselChave does not answer the first entry of the key", *caption + u'|' + wanted);
    return 0;
}
