#include "data/embedded/translate/textrules.h"

#include <cstring>

namespace data::embedded {

namespace {

bool digitsAt(const char* s, int from, int count, int n) {
    if (from + count > n) return false;
    for (int i = from; i < from + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
}

// Writes the 23-character form "yyyy-mm-dd hh:mm:ss.fff" of a date-time text into out; false
// when the text is not one. Without out, only whether it is one.
bool normalDateTime(const char* s, int n, char out[23]) {
    if (n < 10 || !digitsAt(s, 0, 4, n) || s[4] != '-' || !digitsAt(s, 5, 2, n) || s[7] != '-' || !digitsAt(s, 8, 2, n)) {
        return false;
    }
    if (!out) {
        char scratch[23];
        return normalDateTime(s, n, scratch);
    }
    std::memcpy(out, "0000-00-00 00:00:00.000", 23);
    std::memcpy(out, s, 10);
    if (n == 10) return true;
    if ((s[10] != ' ' && s[10] != 'T') || n < 16 || !digitsAt(s, 11, 2, n) || s[13] != ':' || !digitsAt(s, 14, 2, n)) {
        return false;
    }
    std::memcpy(out + 11, s + 11, 5);
    if (n == 16) return true;
    if (s[16] != ':' || n < 19 || !digitsAt(s, 17, 2, n)) return false;
    std::memcpy(out + 17, s + 17, 2);
    if (n == 19) return true;
    if (s[19] != '.' || n < 21) return false;
    for (int i = 20; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        if (i < 23) out[i] = s[i];
    }
    return true;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// A text's letters without case and accents, and without case only (decomposed, so that a
// precomposed and a combined accent are one).
QString baseLetters(const QString& s) {
    const QString d = s.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(d.size());
    for (const QChar c : d) {
        if (c.category() != QChar::Mark_NonSpacing) out += c;
    }
    return out.toCaseFolded();
}

QString withAccents(const QString& s) { return s.normalized(QString::NormalizationForm_D).toCaseFolded(); }

}  // namespace

int compareText(const char* a, int na, const char* b, int nb) {
    while (na > 0 && a[na - 1] == ' ') --na;
    while (nb > 0 && b[nb - 1] == ' ') --nb;
    // Sorts meet the same text over and over (every line of a day has its date): equal texts
    // have equal keys whatever they hold.
    if (na == nb && std::memcmp(a, b, static_cast<size_t>(na)) == 0) return 0;
    // Two dates of the same written length differ where their texts differ (the normal forms
    // add the same zeros to both), and digits and '-' know no case.
    if (na == 10 && nb == 10 && normalDateTime(a, na, nullptr) && normalDateTime(b, nb, nullptr)) {
        const int c = std::memcmp(a, b, 10);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    // A date-time text takes part by its normal form, also against a text that is not one:
    // every text then has one key and the order is total, as an index kept in this collation
    // needs (comparing the forms only when both sides were date-times made "2017-01-05" equal
    // to "2017-01-05 00:00" and yet ordered differently against "2017-01-05 00").
    char da[23];
    char db[23];
    if (na >= 10 && normalDateTime(a, na, da)) {
        a = da;
        na = 23;
    }
    if (nb >= 10 && normalDateTime(b, nb, db)) {
        b = db;
        nb = 23;
    }
    const int n = na < nb ? na : nb;
    for (int i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) {
            // Beyond ASCII, on the rest of both texts (the part before is equal either way):
            // letters first by their base letter, so that 'é' sorts between 'e' and 'f', and
            // only then by their accents, so that 'e' and 'é' still differ.
            const QString sa = QString::fromUtf8(a + i, na - i);
            const QString sb = QString::fromUtf8(b + i, nb - i);
            const int primary = sign(baseLetters(sa).compare(baseLetters(sb)));
            if (primary != 0) return primary;
            return sign(withAccents(sa).compare(withAccents(sb)));
        }
        const char fa = foldAscii(static_cast<char>(ca));
        const char fb = foldAscii(static_cast<char>(cb));
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

qsizetype lengthWithoutTrailingBlanks(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ') --n;
    return n;
}

QString formatDateTime(const QDateTime& dt) { return dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")); }

}  // namespace data::embedded
