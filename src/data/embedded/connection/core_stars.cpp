// The stars of a statement that removes duplicates, replaced by their columns on this
// connection's tables (starcolumns.h).
#include "data/embedded/connection/core.h"

#include "data/embedded/translate/starcolumns.h"

namespace data::embedded {

const QString& Core::sqlWithStarColumns(const QString& sql) {
    auto it = starColumns_.find(sql);
    if (it != starColumns_.end() && it->generation == generation_) return it->sql;
    QString expanded = expandStars(sql, [&](const QString& probe) {
        const Statement st(db(), probe, context());
        QStringList names;
        for (int i = 0; i < st.columnCount(); ++i) names.push_back(QString::fromUtf8(sqlite3_column_name(st.get(), i)));
        return names;
    });
    if (starColumns_.size() >= kCacheSize) starColumns_.clear();
    return starColumns_.insert(sql, RuledText{generation_, std::move(expanded)})->sql;
}

}  // namespace data::embedded
