#pragma once
// The connection string the system builds: "key=value" pairs separated by ";". Keys are
// matched without case and by their usual synonyms ("Data Source"/"Server", "Initial
// Catalog"/"Database", "User ID"/"UID", "Password"/"PWD"); values are taken verbatim.

#include <QString>
#include <utility>
#include <vector>

namespace data {

class ConnectionString {
public:
    ConnectionString() = default;
    explicit ConnectionString(const QString& text);

    // The value of a key (or of one of its synonyms); an empty text when absent.
    QString value(const QString& key) const;
    bool contains(const QString& key) const;

    QString provider() const { return value(QStringLiteral("Provider")); }
    QString dataSource() const { return value(QStringLiteral("Data Source")); }
    QString initialCatalog() const { return value(QStringLiteral("Initial Catalog")); }
    QString userId() const { return value(QStringLiteral("User ID")); }
    QString password() const { return value(QStringLiteral("Password")); }

    // Replaces (or adds) an entry.
    void set(const QString& key, const QString& value);

    // The text without any password entry, as the connection shows it after opening.
    QString withoutPassword() const;

    const std::vector<std::pair<QString, QString>>& pairs() const { return pairs_; }

private:
    std::vector<std::pair<QString, QString>> pairs_;
    std::vector<QString> raw_;  // the original entries, for withoutPassword()
};

}  // namespace data
