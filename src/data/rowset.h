#pragma once
// The rows of a materialised result, packed: every value is kept as a type mark and its bytes
// (texts of Latin-1 characters one byte a character), rows one after another in blocks of
// about a megabyte. A result of 200,000 rows of sixteen columns takes tens of megabytes
// instead of the hundreds that one Variant object per value would, and grows without copying
// what it holds. A row is unpacked into Variants when it is read (a recordset unpacks the
// row it stands on once).
//
// The interface is the part of std::vector<Row> that the providers and recordsets use; rows
// are handed out by value.

#include <cstdint>
#include <memory>
#include <vector>

#include "data/variant.h"

namespace data::provider {

using Row = std::vector<Variant>;

// A value as it is kept, looked at without unpacking it: a text of Latin-1 characters as its
// bytes (a null text as none), an amount as its ten-thousandths, a Null. Every other value is
// Other and is read unpacked.
struct PackedValue {
    enum Kind : unsigned char { Other, Null, Latin1, Amount };
    Kind kind = Other;
    const char* text = nullptr;
    std::uint32_t size = 0;
    std::int64_t amount = 0;
};

class RowSet {
public:
    RowSet() = default;
    RowSet(const RowSet& o);
    RowSet& operator=(const RowSet& o);
    // A set moved from is left empty (its place pointers would otherwise still point into the
    // blocks it gave away).
    RowSet(RowSet&& o) noexcept;
    RowSet& operator=(RowSet&& o) noexcept;

    size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    void clear();
    // Empties the set but keeps its largest block: a set that holds one row after another
    // (a streamed result's current row) then writes each into the same memory.
    void reuse();

    void push_back(const Row& row);
    void pop_back();
    // Replaces row i.
    void set(size_t i, const Row& row);

    Row operator[](size_t i) const { return row(i); }
    Row at(size_t i) const;  // std::out_of_range past the end
    Row front() const { return row(0); }
    Row back() const { return row(size() - 1); }
    Row row(size_t i) const;
    // Unpacks row i into out (resized to the row's width), reusing out's storage.
    void read(size_t i, Row& out) const;
    // Where each value of row i starts (out resized to the row's width); what peek reads. The
    // places hold until the row set changes.
    void locate(size_t i, std::vector<const char*>& out) const;
    static PackedValue peek(const char* value);
    static void readAt(const char* value, Variant& out);  // unpacks the value a place points to

    // Builds the next row value by value, without a Variant per value where the value is a
    // text of ASCII bytes.
    void beginRow();
    void add(const Variant& v);
    void addAscii(const char* text, int bytes);  // bytes < 0x80 only
    void addNull();
    void addEmpty();
    void addInt16(std::int16_t v);
    void addInt32(std::int32_t v);
    void addInt64(std::int64_t v);
    void addCurrency(std::int64_t raw);
    // A double, and a date-time by its fields (a valid one of UTC or local time), packed as
    // add() packs the Variant that holds it.
    void addDouble(double v);
    void addDate(qint64 julianDay, std::int32_t msecsOfDay, bool local);
    void endRow();

    class const_iterator {
    public:
        using value_type = Row;
        using difference_type = std::ptrdiff_t;
        const_iterator(const RowSet* set, size_t i) : set_(set), i_(i) {}
        Row operator*() const { return set_->row(i_); }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const RowSet* set_;
        size_t i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    struct Place {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t bytes;
        std::uint32_t values;
    };
    // Room for `bytes` more of the row being built, which is written straight after the used
    // part of the last block. Called for every value packed: the common case is inline.
    char* grow(size_t bytes) {
        if (bytes <= room_) {
            char* at = last_ + used_ + pendingBytes_;
            pendingBytes_ += bytes;
            room_ -= bytes;
            return at;
        }
        return growBlock(bytes);
    }
    char* growBlock(size_t bytes);
    void keepRoom();  // sets last_ and room_ after the blocks or the used part change
    void putMark(unsigned char mark);
    void putBytes(const void* p, size_t n);
    template <class T>
    void putValue(const T& v) {
        putBytes(&v, sizeof(T));
    }
    void encode(const Variant& v);
    Place place(size_t bytes) const;

    struct Block {
        std::unique_ptr<char[]> data;
        size_t size = 0;  // capacity
    };
    std::vector<Block> blocks_;
    size_t used_ = 0;                 // bytes used in the last block
    char* last_ = nullptr;            // the last block
    size_t room_ = 0;                 // bytes of it after the used part and the row being built
    std::vector<Place> rows_;
    // The row being built.
    size_t pendingBytes_ = 0;
    std::uint32_t pendingValues_ = 0;
};

}  // namespace data::provider
