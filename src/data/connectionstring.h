#pragma once
// The connection string the system builds: "key=value" pairs separated by ";". Keys are
// matched without case and by their usual synonyms ("Data Source"/"Server", "Initial
// Catalog"/"Database", "User ID"/"UID", "Password"/"PWD").
//
// Values are read as ADO reads them: a value whose first character after any blanks is a
// double or a single quote runs to the matching closing quote (a doubled quote inside stands
// for one), one that begins with "{" runs to the matching "}" as ODBC writes it ("}}" stands
// for "}"), and any other value runs to the next ";" without the blanks around it (blanks
// inside are kept). A quote that is never closed takes the rest of the text.

#include <QString>
#include <vector>

namespace data {

// A value as it must be written after "key=" so that the parser above reads it back whole
// but for the blanks around it, which the system's own plain concatenation loses as well:
// unchanged unless it holds ";" or begins (after blanks) with a quote or "{"; such a value is
// enclosed in double quotes with its double quotes doubled, or in single quotes when it holds
// a double quote and no single one.
QString quoteConnectionValue(const QString& value);

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

    // Replaces (or adds) an entry; the value is quoted as it needs.
    void set(const QString& key, const QString& value);

    // The text without any password entry, as the connection shows it after opening. Pieces
    // without "=" carry no setting and are left out too: most often they are the tail of a
    // value that held ";" unquoted, which may be a password's.
    QString withoutPassword() const;

private:
    struct Entry {
        QString key;    // canonical; empty for a piece without "="
        QString value;  // unquoted
        QString text;   // as written, for withoutPassword()
    };
    std::vector<Entry> entries_;
};

}  // namespace data
