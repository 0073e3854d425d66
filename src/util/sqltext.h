#pragma once
// Statement texts are built by concatenation, as the system always built them; a value placed
// between apostrophes has its own apostrophes doubled, so a name such as O'NEILL or an error
// text that quotes an object is stored and looked up as it is instead of breaking the
// statement (or changing its meaning).

#include <QString>

namespace util {

inline QString sqlApostrofos(const QString& value) {
    QString out = value;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

}  // namespace util
