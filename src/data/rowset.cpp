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
T get(const char*& p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}


// The first byte after the value that starts at p.
const char* skip(const char* p) {
    const auto mark = static_cast<unsigned char>(*p++);
    std::uint32_t n = 0;
    switch (mark) {
        case kInt16:
            return p + 2;
        case kInt32:
        case kFloat:
            return p + 4;
        case kInt64:
        case kDouble:
        case kCurrency:
            return p + 8;
        case kDate:
            return p + sizeof(qint64) + sizeof(std::int32_t) + 1;
        case kLatin1:
        case kBytes:
            std::memcpy(&n, p, sizeof n);
            return p + sizeof n + n;
        case kUtf16:
            std::memcpy(&n, p, sizeof n);
            return p + sizeof n + static_cast<size_t>(n) * 2;
        default:
            return p;
    }
}

}  // namespace

RowSet::RowSet(const RowSet& o) {
    for (size_t i = 0; i < o.size(); ++i) push_back(o.row(i));
}

RowSet::RowSet(RowSet&& o) noexcept { *this = std::move(o); }

RowSet& RowSet::operator=(RowSet&& o) noexcept {
    if (this != &o) {
        blocks_ = std::move(o.blocks_);
        used_ = o.used_;
        rows_ = std::move(o.rows_);
        pendingBytes_ = o.pendingBytes_;
        pendingValues_ = o.pendingValues_;
        keepRoom();
        o.clear();
    }
    return *this;
}

void RowSet::keepRoom() {
    if (blocks_.empty()) {
        last_ = nullptr;
        room_ = 0;
        return;
    }
    last_ = blocks_.back().data.get();
    room_ = blocks_.back().size - used_ - pendingBytes_;
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
    used_ = 0;
    rows_.clear();
    pendingBytes_ = 0;
    pendingValues_ = 0;
    keepRoom();
}

void RowSet::reuse() {
    if (blocks_.size() > 1) {
        Block last = std::move(blocks_.back());
        blocks_.clear();
        blocks_.push_back(std::move(last));
    }
    used_ = 0;
    rows_.clear();
    pendingBytes_ = 0;
    pendingValues_ = 0;
    keepRoom();
}

char* RowSet::growBlock(size_t bytes) {
    if (blocks_.empty() || used_ + pendingBytes_ + bytes > blocks_.back().size) {
        // Small results (a look-up's one row) stay small; large ones grow to blocks of kBlock.
        // A row never spans two blocks: what was written of it moves to the new one.
        const size_t need = pendingBytes_ + bytes;
        const size_t next = blocks_.empty() ? 512 : std::min(kBlock, blocks_.back().size * 2);
        const size_t size = std::max(next, need);
        std::unique_ptr<char[]> block(new char[size]);
        if (pendingBytes_) std::memcpy(block.get(), blocks_.back().data.get() + used_, pendingBytes_);
        blocks_.push_back(Block{std::move(block), size});
        used_ = 0;
    }
    char* at = blocks_.back().data.get() + used_ + pendingBytes_;
    pendingBytes_ += bytes;
    keepRoom();
    return at;
}

void RowSet::putMark(unsigned char mark) {
    ++pendingValues_;
    *grow(1) = static_cast<char>(mark);
}

void RowSet::putBytes(const void* p, size_t n) {
    char* at = grow(n);
    if (n) std::memcpy(at, p, n);
}

void RowSet::encode(const Variant& v) {
    const auto& s = v.storage();
    switch (s.index()) {
        case 0:
            putMark(kEmpty);
            return;
        case 1:
            putMark(kNull);
            return;
        case 2:
            putMark(kInt16);
            putValue(std::get<std::int16_t>(s));
            return;
        case 3:
            putMark(kInt32);
            putValue(std::get<std::int32_t>(s));
            return;
        case 4:
            putMark(kInt64);
            putValue(std::get<std::int64_t>(s));
            return;
        case 5:
            putMark(kFloat);
            putValue(std::get<float>(s));
            return;
        case 6:
            putMark(kDouble);
            putValue(std::get<double>(s));
            return;
        case 7:
            putMark(kCurrency);
            putValue(std::get<Currency>(s).raw());
            return;
        case 8: {
            const QDateTime& d = std::get<QDateTime>(s);
            if (!d.isValid()) {
                putMark(kInvalidDate);
                return;
            }
            // Kept by its fields: a naked wall-clock value reads back as it was written.
            const QDateTime f = (d.timeSpec() == Qt::UTC || d.timeSpec() == Qt::LocalTime) ? d : d.toUTC();
            putMark(kDate);
            putValue(static_cast<qint64>(f.date().toJulianDay()));
            putValue(static_cast<std::int32_t>(f.time().msecsSinceStartOfDay()));
            putValue(static_cast<char>(f.timeSpec() == Qt::LocalTime ? 1 : 0));
            return;
        }
        case 9: {
            const QString& t = std::get<QString>(s);
            if (t.isNull()) {
                putMark(kNullText);
                return;
            }
            bool latin1 = true;
            for (const QChar c : t) {
                if (c.unicode() > 0xFF) {
                    latin1 = false;
                    break;
                }
            }
            putMark(latin1 ? kLatin1 : kUtf16);
            putValue(static_cast<std::uint32_t>(t.size()));
            if (latin1) {
                char* p = grow(static_cast<size_t>(t.size()));
                for (const QChar c : t) *p++ = static_cast<char>(c.unicode());
            } else {
                putBytes(t.utf16(), static_cast<size_t>(t.size()) * 2);
            }
            return;
        }
        case 10:
            putMark(std::get<bool>(s) ? kTrue : kFalse);
            return;
        case 11: {
            const QByteArray& b = std::get<QByteArray>(s);
            putMark(kBytes);
            putValue(static_cast<std::uint32_t>(b.size()));
            putBytes(b.constData(), static_cast<size_t>(b.size()));
            return;
        }
        default:
            putMark(kEmpty);
            return;
    }
}

void RowSet::beginRow() {
    pendingBytes_ = 0;
    pendingValues_ = 0;
    keepRoom();
}

void RowSet::add(const Variant& v) { encode(v); }

void RowSet::addAscii(const char* text, int bytes) {
    const auto n = static_cast<std::uint32_t>(bytes);
    char* at = grow(1 + sizeof n + n);
    ++pendingValues_;
    *at = static_cast<char>(kLatin1);
    std::memcpy(at + 1, &n, sizeof n);
    if (n) std::memcpy(at + 1 + sizeof n, text, n);
}

void RowSet::addNull() { putMark(kNull); }

void RowSet::addEmpty() { putMark(kEmpty); }

void RowSet::addInt16(std::int16_t v) {
    putMark(kInt16);
    putValue(v);
}

void RowSet::addInt32(std::int32_t v) {
    putMark(kInt32);
    putValue(v);
}

void RowSet::addInt64(std::int64_t v) {
    putMark(kInt64);
    putValue(v);
}

void RowSet::addCurrency(std::int64_t raw) {
    putMark(kCurrency);
    putValue(raw);
}

void RowSet::addDouble(double v) {
    putMark(kDouble);
    putValue(v);
}

void RowSet::addDate(qint64 julianDay, std::int32_t msecsOfDay, bool local) {
    putMark(kDate);
    putValue(julianDay);
    putValue(msecsOfDay);
    putValue(static_cast<char>(local ? 1 : 0));
}

void RowSet::endRow() {
    // An empty row still has a block to point into.
    if (blocks_.empty()) growBlock(0);
    rows_.push_back(Place{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(used_),
                          static_cast<std::uint32_t>(pendingBytes_), pendingValues_});
    used_ += pendingBytes_;
    pendingBytes_ = 0;
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
    keepRoom();
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

namespace {

// Unpacks the value at p into v; gives where the next value starts.
const char* unpackValue(const char* p, Variant& v) {
    const auto mark = static_cast<unsigned char>(*p++);
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
            v.assignLatin1(p, static_cast<qsizetype>(n));
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
    return p;
}

}  // namespace

void RowSet::read(size_t i, Row& out) const {
    const Place& pl = rows_[i];
    out.resize(pl.values);
    const char* p = blocks_[pl.block].data.get() + pl.offset;
    for (std::uint32_t k = 0; k < pl.values; ++k) p = unpackValue(p, out[k]);
}

void RowSet::readAt(const char* value, Variant& out) { unpackValue(value, out); }

void RowSet::locate(size_t i, std::vector<const char*>& out) const {
    const Place& pl = rows_[i];
    out.resize(pl.values);
    const char* p = blocks_[pl.block].data.get() + pl.offset;
    for (std::uint32_t k = 0; k < pl.values; ++k) {
        out[k] = p;
        p = skip(p);
    }
}

PackedValue RowSet::peek(const char* value) {
    PackedValue v;
    const char* p = value + 1;
    switch (static_cast<unsigned char>(*value)) {
        case kNull:
            v.kind = PackedValue::Null;
            break;
        case kLatin1:
            v.kind = PackedValue::Latin1;
            v.size = get<std::uint32_t>(p);
            v.text = p;
            break;
        case kNullText:
            v.kind = PackedValue::Latin1;
            break;
        case kCurrency:
            v.kind = PackedValue::Amount;
            v.amount = get<std::int64_t>(p);
            break;
        default:
            break;
    }
    return v;
}

}  // namespace data::provider
