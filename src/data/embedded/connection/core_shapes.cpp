// Statement texts to their translations: the shapes that differ only in their literals share
// one translation with the literals as parameters; the others are kept by their text.
#include "data/embedded/connection/core.h"

#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "data/embedded/server/admin.h"

namespace data::embedded {

namespace {

// What a character means to the single pass over a plain statement: most mean nothing.
enum : unsigned char { kPlain, kQuote, kRefused, kMaybeComment };

constexpr std::array<unsigned char, 128> characterRoles() {
    std::array<unsigned char, 128> roles{};
    roles['\''] = kQuote;
    roles['['] = kRefused;
    roles['"'] = kRefused;
    roles['?'] = kRefused;
    roles['-'] = kMaybeComment;
    roles['/'] = kMaybeComment;
    return roles;
}

#ifdef __SSE2__
// Whether none of the eight characters at p has a role.
bool plainOctet(const QChar* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_cmpeq_epi16(v, _mm_set1_epi16('\''));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16('[')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16('"')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16('?')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16('-')));
    hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16('/')));
    return _mm_movemask_epi8(hit) == 0;
}
#endif

}  // namespace

// Most statements a program sends are plain: words, numbers, punctuation and '...' strings.
// Their shape and the strings' values come from one pass over the text, giving the same shape
// the tokens would give.
bool plainShape(const QString& text, QString& shape, Core::Literals& values) {
    static constexpr std::array<unsigned char, 128> kRoles = characterRoles();
    const QChar* p = text.constData();
    const qsizetype n = text.size();
    // Written in place: a literal of two characters ('') becomes a mark of three.
    shape.resize(n + n / 2 + 3);
    QChar* out = shape.data();
    qsizetype length = 0;
    auto put = [&](const QChar* from, qsizetype count) {
        std::memcpy(out + length, from, static_cast<size_t>(count) * sizeof(QChar));
        length += count;
    };
    qsizetype run = 0;  // start of the text not yet copied into the shape
    qsizetype i = 0;
    while (i < n) {
#ifdef __SSE2__
        // Eight plain characters at a time: most of a statement is words and blanks.
        if (i + 8 <= n && plainOctet(p + i)) {
            i += 8;
            continue;
        }
#endif
        const char16_t c = p[i].unicode();
        const unsigned char role = c < 128 ? kRoles[c] : static_cast<unsigned char>(kPlain);
        if (role == kPlain) {
            ++i;
            continue;
        }
        if (role == kQuote) {
            if (i > 0 && (p[i - 1].isLetterOrNumber() || p[i - 1] == u'_' || p[i - 1] == u'#' || p[i - 1] == u'$' ||
                          p[i - 1] == u'@')) {
                return false;
            }
            put(p + run, i - run);
            QString value;
            qsizetype piece = ++i;
            bool closed = false;
            while (i < n) {
                if (p[i] != u'\'') {
                    ++i;
                } else if (i + 1 < n && p[i + 1] == u'\'') {
                    value.append(p + piece, i + 1 - piece);
                    i += 2;
                    piece = i;
                } else {
                    // Most literals hold no doubled quote: taken in one piece.
                    if (value.isNull() && i > piece) {
                        value = QString(p + piece, i - piece);
                    } else {
                        value.append(p + piece, i - piece);
                    }
                    ++i;
                    closed = true;
                    break;
                }
            }
            if (!closed) return false;
            values.push_back(std::move(value));
            static const QChar mark[] = {u'\'', QChar(1), u'\''};
            put(mark, 3);
            run = i;
            continue;
        }
        if (role == kRefused || (c == u'-' && i + 1 < n && p[i + 1] == u'-') ||
            (c == u'/' && i + 1 < n && p[i + 1] == u'*')) {
            return false;
        }
        ++i;
    }
    put(p + run, n - run);
    shape.truncate(length);
    return true;
}

std::shared_ptr<const Core::TranslationList> Core::translations(const QString& text, Literals& literals) {
    // The literals are taken straight into the caller's list, which is never assigned another
    // list: moving a list kept inline copies every text of it, and this Qt's move assignment
    // loses the storage a list had grown beyond its inline room.
    literals.clear();
    if (plainShape(text, shapeText_, literals) && !literals.empty()) {
        if (auto recent = recentShape(shapeText_)) return recent;
        auto found = shapeCache_.find(shapeText_);
        if (found != shapeCache_.end() && !(*found)->empty()) {
            noteRecentShape(shapeText_, *found);
            return *found;
        }
    }
    literals.clear();
    const std::vector<Token> tokens = tokenize(text);
    // The statement's shape: its text with every literal as one mark.
    QString shape;
    shape.reserve(text.size());
    bool liftable = true;
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::String) {
            liftable = liftable && !t.unterminated;
            shape += QStringLiteral("'\x01'");
            literals.push_back(t.value());
        } else {
            liftable = liftable && t.kind != TokenKind::Parameter;
            shape += t.text;
        }
    }
    if (liftable && !literals.empty()) {
        auto found = shapeCache_.find(shape);
        if (found == shapeCache_.end()) {
            bool lasting = true;
            auto lifted = liftShape(tokens, lasting);
            if (!lasting) {
                literals.clear();  // the text runs with its literals in it
                return translateInline(text, tokens);
            }
            if (shapeCache_.size() >= kCacheSize) {
                shapeCache_.clear();
                recentShapes_ = {};
            }
            found = shapeCache_.insert(shape, std::make_shared<const TranslationList>(std::move(lifted)));
        }
        if (!(*found)->empty()) return *found;
    }
    literals.clear();
    return translateInline(text, tokens);
}

std::shared_ptr<const Core::TranslationList> Core::recentShape(const QString& shape) {
    for (size_t k = 0; k < recentShapes_.size(); ++k) {
        const RecentShape& r = recentShapes_[k];
        if (!r.list) break;
        if (r.shape.size() != shape.size() ||
            std::memcmp(r.shape.constData(), shape.constData(), static_cast<size_t>(shape.size()) * sizeof(QChar)) != 0) {
            continue;
        }
        std::rotate(recentShapes_.begin(), recentShapes_.begin() + static_cast<std::ptrdiff_t>(k),
                    recentShapes_.begin() + static_cast<std::ptrdiff_t>(k) + 1);
        return recentShapes_.front().list;
    }
    return nullptr;
}

void Core::noteRecentShape(const QString& shape, const std::shared_ptr<const TranslationList>& list) {
    std::move_backward(recentShapes_.begin(), recentShapes_.end() - 1, recentShapes_.end());
    // A copy of its own: the shape at hand is written in place by the next statement.
    recentShapes_.front() = RecentShape{QString(shape.constData(), shape.size()), list};
}

std::shared_ptr<const Core::TranslationList> Core::translateInline(const QString& text,
                                                                  const std::vector<Token>& tokens) {
    auto it = translationCache_.find(text);
    if (it != translationCache_.end()) return *it;
    auto list = std::make_shared<TranslationList>();
    for (const auto& stmt : splitBatch(tokens)) {
        list->push_back(std::make_shared<const Translation>(translate(stmt, database_)));
    }
    if (translationCache_.size() >= kCacheSize) translationCache_.clear();
    translationCache_.insert(text, list);
    return list;
}

Core::TranslationList Core::liftShape(const std::vector<Token>& tokens, bool& lasting) {
    // The shape is translated with a probe for each literal, a text no statement holds, so that
    // each literal is found again in the translation: every probe once and in order, or the
    // shape keeps its literals inline.
    auto probe = [](size_t k) { return QStringLiteral("'\x01%1\x01'").arg(k); };
    std::vector<Token> probed = tokens;
    size_t count = 0;
    for (Token& t : probed) {
        if (t.kind == TokenKind::String) t = Token{TokenKind::String, probe(count++), false};
    }
    auto lift = [&](QString& sql, size_t first, size_t& end) {
        std::vector<Token> out = tokenize(sql);
        end = first;
        for (Token& t : out) {
            if (t.kind != TokenKind::String) continue;
            if (t.text != probe(end)) return false;
            t = Token{TokenKind::Parameter, u'?' + QString::number(end + 1), false};
            ++end;
        }
        sql = joinTokens(out);
        return true;
    };
    TranslationList list;
    std::vector<std::vector<Token>> asWritten = splitBatch(tokens);
    std::vector<std::vector<Token>> statements = splitBatch(probed);
    if (asWritten.size() != statements.size()) return {};
    size_t next = 0;
    for (size_t i = 0; i < statements.size(); ++i) {
        Translation tr = translate(statements[i], database_);
        const bool passThrough = tr.kind == StatementKind::Query || tr.kind == StatementKind::Insert ||
                                 tr.kind == StatementKind::Update || tr.kind == StatementKind::Delete;
        if (!passThrough || !tr.syntaxError.isEmpty() || tr.refusal != 0 || tr.parameters != 0) return {};
        size_t end = next;
        if (!lift(tr.sql, next, end)) return {};
        if (!tr.updatableSql.isEmpty()) {
            size_t keyedEnd = next;
            if (!lift(tr.updatableSql, next, keyedEnd) || keyedEnd != end) return {};
        }
        if (!tr.describingSql.isEmpty()) {
            size_t describingEnd = next;
            if (!lift(tr.describingSql, next, describingEnd) || describingEnd != end) return {};
        }
        // SQLite must take the literals as parameters (a literal used as a name is not one),
        // and the columns must be named as with the literals inline.
        try {
            attach(tr.databases);
            const Translation real = translate(asWritten[i], database_);
            Statement withLiterals(db(), real.sql, context());
            auto withParameters = prepared(tr.sql);
            const int n = sqlite3_column_count(withLiterals.get());
            if (n != sqlite3_column_count(withParameters.get())) return {};
            for (int c = 0; c < n; ++c) {
                const char* a = sqlite3_column_name(withLiterals.get(), c);
                const char* b = sqlite3_column_name(withParameters.get(), c);
                if (!a || !b || std::strcmp(a, b) != 0) return {};
            }
        } catch (const DbError&) {
            // Not runnable now (a table still missing, ...): decided again next time.
            lasting = false;
            return {};
        }
        next = end;
        list.push_back(std::make_shared<const Translation>(std::move(tr)));
    }
    if (next != count) return {};
    return list;
}

}  // namespace data::embedded
