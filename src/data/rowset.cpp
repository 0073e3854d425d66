#include "data/rowset.h"

#include <cstring>
#include <stdexcept>

namespace data::provider {

namespace {

constexpr size_t kBlock = 1 << 20;

enum Mark : unsigned char {
    kEmpty,
    kNull,
    kInt16,
    kInt32,
    kInt64,
    kFloat,
    kDouble,
    kCurrency,
    kDate,
    kInvalidDate,
    kLatin1,
    kUtf16,
    kFalse,
    kTrue,
    kBytes,
    kNullText,  // a QString that is null (not merely empty)
};

template <class T>
void put(std::vector<char>& out, const T& v) {
    const size_t at = out.size();
    out.resize(at + sizeof(T));
    std::memcpy(out.data() + at, &v, sizeof(T));
}

template <class T>
T get(const char*& p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}

void putSize(std::vector<char>& out, std::uint32_t n) { put(out, n); }

}  // namespace

RowSet::RowSet(const RowSet& o) {
    for (size_t i = 0; i < o.size(); ++i) push_back(o.row(i));
}

RowSet& RowSet::operator=(const RowSet& o) {
    if (this != &o) {
        RowSet copy(o);
        *this = std::move(copy);
    }
    return *this;
}

void RowSet::clear() {
    blocks_.clear();
    blockSizes_.clear();
    used_ = 0;
    rows_.clear();
    pending_.clear();
    pendingValues_ = 0;
}

char* RowSet::reserve(size_t bytes) {
    if (blocks_.empty() || used_ + bytes > blockSizes_.back()) {
        // Small results (a look-up's one row) stay small; large ones grow to blocks of kBlock.
        const size_t next = blocks_.empty() ? 512 : std::min(kBlock, blockSizes_.back() * 2);
        const size_t size = std::max(next, bytes);
        blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
        blockSizes_.push_back(size);
        used_ = 0;
    }
    return blocks_.back().get() + used_;
}

void RowSet::append(const char* p, size_t n) {
    char* at = reserve(n);
    if (n) std::memcpy(at, p, n);
    rows_.push_back(Place{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(used_),
                          static_cast<std::uint32_t>(n), pendingValues_});
    used_ += n;
}

void RowSet::encode(const Variant& v) {
    ++pendingValues_;
    auto& out = pending_;
    const auto& s = v.storage();
    switch (s.index()) {
        case 0:
            out.push_back(static_cast<char>(kEmpty));
            return;
        case 1:
            out.push_back(static_cast<char>(kNull));
            return;
        case 2:
            out.push_back(static_cast<char>(kInt16));
            put(out, std::get<std::int16_t>(s));
            return;
        case 3:
            out.push_back(static_cast<char>(kInt32));
            put(out, std::get<std::int32_t>(s));
            return;
        case 4:
            out.push_back(static_cast<char>(kInt64));
            put(out, std::get<std::int64_t>(s));
            return;
        case 5:
            out.push_back(static_cast<char>(kFloat));
            put(out, std::get<float>(s));
            return;
        case 6:
            out.push_back(static_cast<char>(kDouble));
            put(out, std::get<double>(s));
            return;
        case 7:
            out.push_back(static_cast<char>(kCurrency));
            put(out, std::get<Currency>(s).raw());
            return;
        case 8: {
            const QDateTime& d = std::get<QDateTime>(s);
            if (!d.isValid()) {
                out.push_back(static_cast<char>(kInvalidDate));
                return;
            }
            // Kept by its fields: a naked wall-clock value reads back as it was written.
            const QDateTime f = (d.timeSpec() == Qt::UTC || d.timeSpec() == Qt::LocalTime) ? d : d.toUTC();
            out.push_back(static_cast<char>(kDate));
            put(out, static_cast<qint64>(f.date().toJulianDay()));
            put(out, static_cast<std::int32_t>(f.time().msecsSinceStartOfDay()));
            out.push_back(static_cast<char>(f.timeSpec() == Qt::LocalTime ? 1 : 0));
            return;
        }
        case 9: {
            const QString& t = std::get<QString>(s);
            if (t.isNull()) {
                out.push_back(static_cast<char>(kNullText));
                return;
            }
            bool latin1 = true;
            for (const QChar c : t) {
                if (c.unicode() > 0xFF) {
                    latin1 = false;
                    break;
                }
            }
            out.push_back(static_cast<char>(latin1 ? kLatin1 : kUtf16));
            putSize(out, static_cast<std::uint32_t>(t.size()));
            const size_t at = out.size();
            if (latin1) {
                out.resize(at + static_cast<size_t>(t.size()));
                char* p = out.data() + at;
                for (const QChar c : t) *p++ = static_cast<char>(c.unicode());
            } else {
                out.resize(at + static_cast<size_t>(t.size()) * 2);
                std::memcpy(out.data() + at, t.utf16(), static_cast<size_t>(t.size()) * 2);
            }
            return;
        }
        case 10:
            out.push_back(static_cast<char>(std::get<bool>(s) ? kTrue : kFalse));
            return;
        case 11: {
            const QByteArray& b = std::get<QByteArray>(s);
            out.push_back(static_cast<char>(kBytes));
            putSize(out, static_cast<std::uint32_t>(b.size()));
            out.insert(out.end(), b.constData(), b.constData() + b.size());
            return;
        }
        default:
            out.push_back(static_cast<char>(kEmpty));
            return;
    }
}

void RowSet::beginRow() {
    pending_.clear();
    pendingValues_ = 0;
}

void RowSet::add(const Variant& v) { encode(v); }

void RowSet::addAscii(const char* text, int bytes) {
    ++pendingValues_;
    pending_.push_back(static_cast<char>(kLatin1));
    putSize(pending_, static_cast<std::uint32_t>(bytes));
    pending_.insert(pending_.end(), text, text + bytes);
}

void RowSet::endRow() {
    append(pending_.data(), pending_.size());
    pending_.clear();
    pendingValues_ = 0;
}

void RowSet::push_back(const Row& row) {
    beginRow();
    for (const Variant& v : row) encode(v);
    endRow();
}

void RowSet::pop_back() {
    if (rows_.empty()) return;
    const Place last = rows_.back();
    rows_.pop_back();
    if (last.block + 1 == blocks_.size() && last.offset + last.bytes == used_) used_ = last.offset;
}

void RowSet::set(size_t i, const Row& row) {
    push_back(row);
    rows_[i] = rows_.back();
    rows_.pop_back();
}

Row RowSet::at(size_t i) const {
    if (i >= size()) throw std::out_of_range("RowSet::at");
    return row(i);
}

Row RowSet::row(size_t i) const {
    Row out;
    read(i, out);
    return out;
}

void RowSet::read(size_t i, Row& out) const {
    const Place& pl = rows_[i];
    out.resize(pl.values);
    const char* p = blocks_[pl.block].get() + pl.offset;
    for (std::uint32_t k = 0; k < pl.values; ++k) {
        const auto mark = static_cast<unsigned char>(*p++);
        Variant& v = out[k];
        switch (mark) {
            case kEmpty:
                v = Variant();
                break;
            case kNull:
                v = Variant::null();
                break;
            case kInt16:
                v = get<std::int16_t>(p);
                break;
            case kInt32:
                v = get<std::int32_t>(p);
                break;
            case kInt64:
                v = get<std::int64_t>(p);
                break;
            case kFloat:
                v = get<float>(p);
                break;
            case kDouble:
                v = get<double>(p);
                break;
            case kCurrency:
                v = Currency::fromRaw(get<std::int64_t>(p));
                break;
            case kDate: {
                const auto day = get<qint64>(p);
                const auto ms = get<std::int32_t>(p);
                const bool local = *p++ == 1;
                v = QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(ms), local ? Qt::LocalTime : Qt::UTC);
                break;
            }
            case kInvalidDate:
                v = QDateTime();
                break;
            case kLatin1: {
                const auto n = get<std::uint32_t>(p);
                v = QString::fromLatin1(p, static_cast<qsizetype>(n));
                p += n;
                break;
            }
            case kUtf16: {
                const auto n = get<std::uint32_t>(p);
                QString t(static_cast<qsizetype>(n), Qt::Uninitialized);
                std::memcpy(t.data(), p, static_cast<size_t>(n) * 2);
                v = t;
                p += static_cast<size_t>(n) * 2;
                break;
            }
            case kNullText:
                v = QString();
                break;
            case kFalse:
                v = false;
                break;
            case kTrue:
                v = true;
                break;
            case kBytes: {
                const auto n = get<std::uint32_t>(p);
                v = QByteArray(p, static_cast<qsizetype>(n));
                p += n;
                break;
            }
            default:
                v = Variant();
                break;
        }
    }
}

}  // namespace data::provider
