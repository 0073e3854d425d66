#pragma once
// T-SQL's LIKE under the server's default collation: % and _, character sets [abc], ranges
// [a-f] and their negation [^...], an optional escape character; letters match without case;
// blanks at the end of the value do not count (a varchar's trailing blanks never do).

#include <QString>

namespace data::embedded {

// Whether value matches pattern. escape: the escape character, or a null QChar for none.
bool likeMatches(const QString& value, const QString& pattern, QChar escape = QChar());

}  // namespace data::embedded
