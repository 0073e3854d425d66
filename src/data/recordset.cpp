#include "data/recordset.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "data/connection.h"
#include "data/connection_state.h"
#include "data/dberror.h"
#include "data/recordset_state.h"

namespace data {

namespace detail {

void RecordsetState::assign(std::vector<provider::Result> results, int cursor, int lock,
                            const std::shared_ptr<ConnectionState>& conn) {
    cursorType = cursor;
    lockType = lock;
    connection = conn;
    pending = std::move(results);
    takeNext();
}

void ConnectionState::readBack() {
    auto rs = unread.lock();
    unread.reset();
    if (rs) rs->readBack();
}

void RecordsetState::readBack() {
    if (unreadPos < 0) return;
    const auto i = static_cast<size_t>(unreadPos);
    unreadPos = -1;
    auto conn = connection.lock();
    if (!conn || !current.writer) return;
    provider::Row stored = conn->guarded([&] { return current.writer->stored(current.keys[i]); });
    if (!stored.empty()) current.rows.set(i, stored);
    forgetUnpacked();
}

void RecordsetState::readRows() {
    if (!rowsUnread) return;
    auto conn = connection.lock();
    if (!conn || !conn->session) adoerr::raise(adoerr::ConnectionUnusable);
    std::vector<provider::Result> results = conn->guarded([&] { return conn->openSession().execute(rowsRequest); });
    rowsUnread = false;
    if (results.empty()) return;
    provider::Result& table = results.front();
    // The rows added so far are in the table now: they keep their places after the others, each
    // with the key the new writer knows it by.
    const size_t added = current.rows.size();
    std::vector<bool> taken(table.rows.size(), false);
    std::vector<Variant> addedKeys(current.keys.begin(), current.keys.end());
    if (table.writer && current.writer) {
        for (size_t a = 0; a < added; ++a) {
            for (size_t j = 0; j < table.rows.size(); ++j) {
                if (taken[j] || !current.writer->sameRow(current.keys[a], *table.writer, table.keys[j])) continue;
                taken[j] = true;
                addedKeys[a] = table.keys[j];
                break;
            }
        }
    }
    provider::RowSet rows;
    std::vector<Variant> keys;
    for (size_t j = 0; j < table.rows.size(); ++j) {
        if (taken[j]) continue;
        rows.push_back(table.rows[j]);
        if (j < table.keys.size()) keys.push_back(table.keys[j]);
    }
    const long before = static_cast<long>(rows.size());
    for (size_t a = 0; a < added; ++a) {
        rows.push_back(current.rows[a]);
        keys.push_back(addedKeys[a]);
    }
    std::vector<bool> flags(static_cast<size_t>(before), false);
    flags.insert(flags.end(), deleted.begin(), deleted.end());
    current.rows = std::move(rows);
    current.keys = std::move(keys);
    deleted = std::move(flags);
    if (table.writer) current.writer = std::move(table.writer);
    forgetUnpacked();
    if (unreadPos >= 0) unreadPos += before;
    posBeforeAdd = posBeforeAdd < 0 ? (before > 0 ? 0 : -1) : posBeforeAdd + before;
    if (pos >= 0) {
        pos += before;
    } else if (rowCount() > 0) {
        pos = 0;
        bof = eof = false;
    } else {
        bof = eof = true;
    }
}

const Variant& RecordsetState::fieldValue(int index) {
    const auto i = static_cast<size_t>(index);
    wantColumn(index);
    const Variant& v = currentValue(i);
    if (!v.isEmpty() || !current.writer) return v;
    // A long value left unread: read it now, once, into the row as stored and the edit.
    auto conn = connection.lock();
    if (!conn || !conn->session) adoerr::raise(adoerr::ConnectionUnusable);
    const auto p = static_cast<size_t>(pos);
    const Variant value = conn->guarded([&] { return current.writer->longValue(current.keys[p], index); });
    provider::Row row = storedRow(pos);
    row[i] = value;
    current.rows.set(p, row);
    forgetUnpacked();
    if (editMode == ado::adEditInProgress && buffer[i].isEmpty()) buffer[i] = value;
    return currentValue(i);
}

void RecordsetState::takeNext() {
    unreadPos = -1;
    rowsUnread = false;
    streamEnded = false;
    streamWanted.clear();
    editMode = ado::adEditNone;
    buffer.clear();
    dirty.clear();
    forgetUnpacked();
    if (pending.empty()) {
        current = provider::Result{};
        columnsSerial = provider::nextColumnsSerial();
        open = false;
        pos = -1;
        bof = eof = true;
        deleted.clear();
        appendStarted.clear();
        resetChunks();
        return;
    }
    current = std::move(pending.front());
    pending.erase(pending.begin());
    // The same statement's columns keep their id, so that fields found by name in one of its
    // results are found at once in the next.
    columnsSerial = current.columnsId != 0 ? current.columnsId : provider::nextColumnsSerial();
    open = current.hasRows;
    deleted.clear();
    appendStarted.clear();
    resetChunks();
    if (current.source) {
        pos = -1;
        streamNext();
    } else if (current.rows.empty()) {
        pos = -1;
        bof = eof = true;
    } else {
        pos = 0;
        bof = eof = false;
    }
}

std::shared_ptr<ConnectionState> RecordsetState::streamConnection() const {
    auto conn = connection.lock();
    if (!conn) adoerr::raise(adoerr::ConnectionUnusable);
    return conn;
}

void RecordsetState::endStream() {
    current.source.reset();
    current.rows.clear();
    deleted.clear();
    streamEnded = true;
    pos = 0;
    eof = true;
}

void RecordsetState::streamNext() {
    const bool first = pos < 0;
    forgetUnpacked();
    resetChunks();
    bool more = false;
    try {
        more = streamConnection()->guarded([&] { return current.source->next(current.rows); });
    } catch (...) {
        endStream();
        bof = first;
        throw;
    }
    if (!more) {
        // The source let its statement go with its last row.
        endStream();
    } else {
        deleted.clear();
    }
    pos = 0;
    bof = first && !more;
    eof = !more;
}

void RecordsetState::wantStreamed(int index) {
    const auto i = static_cast<size_t>(index);
    if (streamWanted.size() <= i) streamWanted.resize(std::max(static_cast<size_t>(current.columns.size()), i + 1), 0);
    streamWanted[i] = 1;
    if (eof || bof) return;
    bool repacked = false;
    try {
        repacked = streamConnection()->guarded([&] { return current.source->want(current.rows, index); });
    } catch (...) {
        // The row can no longer be read whole: the stream ends here, as a failed move would.
        endStream();
        forgetUnpacked();
        throw;
    }
    if (repacked) forgetUnpacked();
}

void RecordsetState::refuseStreamed() const {
    if (streamed()) adoerr::raise(adoerr::OperationNotAllowed);
}

void RecordsetState::requireOpen() const {
    if (!open) adoerr::raise(adoerr::ObjectClosed);
}

void RecordsetState::requireCurrent() {
    requireOpen();
    if (editMode == ado::adEditAdd) return;
    if (pos < 0) readRows();
    if (bof || eof || !isLive(pos)) adoerr::raise(adoerr::NoCurrentRecord);
}

void RecordsetState::requireUpdatable() const {
    requireOpen();
    if (lockType == ado::adLockReadOnly || lockType == ado::adLockUnspecified || !current.writer) {
        adoerr::raise(adoerr::NotSupported);
    }
}

void RecordsetState::resetChunks() {
    chunkField = -1;
    chunkOffset = 0;
}

const provider::Row& RecordsetState::currentRow() {
    requireCurrent();
    if (editMode != ado::adEditNone) return buffer;
    return storedRow(pos);
}

void RecordsetState::readBackRow(long i) {
    if (i != unreadPos) return;
    auto conn = connection.lock();
    if (conn) conn->readBack();
    readBack();  // the connection's pending row was another recordset's
}

const provider::Row& RecordsetState::storedRow(long i) {
    readBackRow(i);
    if (unpackedPos != i || !unpackedWhole) {
        current.rows.read(static_cast<size_t>(i), unpacked);
        unpackedPos = i;
        unpackedWhole = true;
    }
    return unpacked;
}

const Variant& RecordsetState::storedValue(long i, size_t k) {
    readBackRow(i);
    if (unpackedPos != i || (!unpackedWhole && placesPos != i)) {
        if (placesPos != i) {
            current.rows.locate(static_cast<size_t>(i), places);
            placesPos = i;
        }
        unpacked.resize(places.size());
        unpackedHave.assign(places.size(), 0);
        unpackedPos = i;
        unpackedWhole = false;
    }
    if (unpackedWhole) return unpacked[k];
    if (!unpackedHave[k]) {
        provider::RowSet::readAt(places[k], unpacked[k]);
        unpackedHave[k] = 1;
    }
    return unpacked[k];
}

const Variant& RecordsetState::currentValue(size_t k) {
    requireCurrent();
    if (editMode != ado::adEditNone) return buffer[k];
    return storedValue(pos, k);
}

void RecordsetState::beginEdit() {
    requireCurrent();
    requireUpdatable();
    if (editMode != ado::adEditNone) return;
    editMode = ado::adEditInProgress;
    buffer = storedRow(pos);
    dirty.assign(current.columns.size(), false);
    appendStarted.clear();
}

void RecordsetState::commitEdit() {
    if (editMode == ado::adEditNone) return;
    auto conn = connection.lock();
    if (!conn || !conn->session) adoerr::raise(adoerr::ConnectionUnusable);
    provider::Changes changes;
    changes.reserve(static_cast<size_t>(std::count(dirty.begin(), dirty.end(), true)));
    for (size_t i = 0; i < dirty.size(); ++i) {
        if (dirty[i]) changes.emplace_back(static_cast<int>(i), buffer[i]);
    }
    provider::countStatement();
    conn->guarded([&] {
        if (editMode == ado::adEditAdd) {
            auto [key, stored] = current.writer->insert(changes);
            current.keys[static_cast<size_t>(pos)] = key;
            // Until it is read back the row holds what was written.
            current.rows.set(static_cast<size_t>(pos), stored.empty() ? buffer : stored);
            forgetUnpacked();
            if (stored.empty()) {
                unreadPos = pos;
                conn->unread = shared_from_this();
            }
        } else {
            if (!changes.empty()) current.writer->update(current.keys[static_cast<size_t>(pos)], changes);
            current.rows.set(static_cast<size_t>(pos), buffer);
            forgetUnpacked();
        }
    });
    editMode = ado::adEditNone;
    buffer.clear();
    dirty.clear();
    appendStarted.clear();
}

void RecordsetState::moveTo(long newPos) {
    commitEdit();
    resetChunks();
    appendStarted.clear();
    pos = newPos;
    bof = newPos < 0;
    eof = newPos >= rowCount();
}

}  // namespace detail

namespace {

using detail::RecordsetState;

const provider::Column& columnOf(const RecordsetState& rs, int index) {
    rs.requireOpen();
    if (index < 0 || index >= static_cast<int>(rs.current.columns.size())) adoerr::raise(adoerr::ItemNotFound);
    return rs.current.columns[static_cast<size_t>(index)];
}

// Rounds as SQL Server rounds into a numeric column: halves away from zero.
Currency roundAwayFromZero(Currency c, int decimals) {
    static const std::int64_t factors[] = {10000, 1000, 100, 10, 1};
    const std::int64_t f = factors[std::clamp(decimals, 0, 4)];
    std::int64_t q = c.raw() / f;
    const std::int64_t rem = c.raw() % f;
    if (rem != 0 && (rem < 0 ? -rem : rem) * 2 >= f) q += c.raw() < 0 ? -1 : 1;
    return Currency::fromRaw(q * f);
}

// A value converted to a field's type, as an assignment to the field converts it. Integers
// out of the type's range are kept whole so that the server can refuse them with its own
// error; texts longer than the field likewise.
Variant coerce(const provider::Column& c, const Variant& v) {
    if (v.isNull() || v.isEmpty()) return Variant::null();
    switch (c.type) {
        case ado::adChar:
        case ado::adWChar:
        case ado::adVarChar:
        case ado::adVarWChar:
        case ado::adLongVarChar:
        case ado::adLongVarWChar:
        case ado::adBSTR:
        case ado::adGUID:
            if (const auto* b = std::get_if<QByteArray>(&v.storage())) return QString::fromUtf8(*b);
            return v.toString();
        case ado::adSmallInt:
        case ado::adUnsignedTinyInt:
        case ado::adTinyInt: {
            const std::int64_t i = v.toInt64();
            if (i >= std::numeric_limits<std::int16_t>::min() && i <= std::numeric_limits<std::int16_t>::max()) {
                return static_cast<std::int16_t>(i);
            }
            return i;
        }
        case ado::adInteger: {
            const std::int64_t i = v.toInt64();
            if (i >= std::numeric_limits<std::int32_t>::min() && i <= std::numeric_limits<std::int32_t>::max()) {
                return static_cast<std::int32_t>(i);
            }
            return i;
        }
        case ado::adBigInt:
            return v.toInt64();
        case ado::adBoolean:
            return v.toBool();
        case ado::adCurrency:
            return v.toCurrency();
        case ado::adNumeric:
        case ado::adDecimal:
            if (c.numericScale == 0) {
                // The half away from zero too (2.5 is 3), where a whole-number conversion takes
                // the even one; a value beyond 64 bits is left for the server to refuse.
                if (const auto* cur = std::get_if<Currency>(&v.storage())) {
                    return static_cast<std::int64_t>(roundAwayFromZero(*cur, 0).truncatedUnits());
                }
                if (std::holds_alternative<double>(v.storage()) || std::holds_alternative<float>(v.storage())) {
                    const double d = std::round(v.toDouble());
                    if (std::fabs(d) < 9.2e18) return static_cast<std::int64_t>(d);
                    return d;
                }
                return v.toInt64();
            }
            if (c.numericScale <= 4) return roundAwayFromZero(v.toCurrency(), c.numericScale);
            return v.toDouble();
        case ado::adDouble:
            return v.toDouble();
        case ado::adSingle:
            return static_cast<float>(v.toDouble());
        case ado::adDBTimeStamp:
        case ado::adDate:
            return v.toDateTime();
        case ado::adBinary:
        case ado::adVarBinary:
        case ado::adLongVarBinary:
            return v.toBytes();
        default:
            return v;
    }
}

long valueSize(const provider::Column& c, const Variant& v) {
    if (v.isNull() || v.isEmpty()) return 0;
    if (const auto* b = std::get_if<QByteArray>(&v.storage())) return static_cast<long>(b->size());
    if (const auto* s = std::get_if<QString>(&v.storage())) {
        const long n = static_cast<long>(s->size());
        return (c.type == ado::adWChar || c.type == ado::adVarWChar || c.type == ado::adLongVarWChar) ? n * 2 : n;
    }
    switch (c.type) {
        case ado::adSmallInt:
            return 2;
        case ado::adInteger:
        case ado::adSingle:
            return 4;
        case ado::adBoolean:
            return 2;
        case ado::adUnsignedTinyInt:
        case ado::adTinyInt:
            return 1;
        case ado::adNumeric:
            return 19;
        case ado::adDBTimeStamp:
            return 16;
        default:
            return 8;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Field

QString Field::Name() const { return columnOf(*rs_, index_).name; }
int Field::Type() const { return columnOf(*rs_, index_).type; }
long Field::DefinedSize() const { return columnOf(*rs_, index_).definedSize; }
int Field::Precision() const { return columnOf(*rs_, index_).precision; }
int Field::NumericScale() const { return columnOf(*rs_, index_).numericScale; }

long Field::ActualSize() const {
    const auto& c = columnOf(*rs_, index_);
    return valueSize(c, rs_->fieldValue(index_));
}

Variant Field::Value() const {
    columnOf(*rs_, index_);
    const Variant& v = rs_->fieldValue(index_);
    if (rs_->chunkField != index_) rs_->resetChunks();
    return v;
}

provider::PackedValue Field::View() const {
    columnOf(*rs_, index_);
    rs_->requireCurrent();
    if (rs_->chunkField != index_) rs_->resetChunks();
    if (rs_->editMode != ado::adEditNone) return {};
    rs_->wantColumn(index_);
    rs_->readBackRow(rs_->pos);
    if (rs_->placesPos != rs_->pos) {
        rs_->current.rows.locate(static_cast<size_t>(rs_->pos), rs_->places);
        rs_->placesPos = rs_->pos;
    }
    const auto i = static_cast<size_t>(index_);
    if (i >= rs_->places.size()) return {};
    return provider::RowSet::peek(rs_->places[i]);
}

void Field::setValue(const Variant& value) {
    const auto& c = columnOf(*rs_, index_);
    rs_->beginEdit();
    if (!c.writable) adoerr::raise(adoerr::NotSupported);
    rs_->buffer[static_cast<size_t>(index_)] = coerce(c, value);
    rs_->dirty[static_cast<size_t>(index_)] = true;
    rs_->resetChunks();
}

namespace {

std::function<void(qsizetype)>& appendChunkObserver() {
    static std::function<void(qsizetype)> observer;
    return observer;
}

}  // namespace

void setAppendChunkObserver(std::function<void(qsizetype)> observer) { appendChunkObserver() = std::move(observer); }

namespace {

// A chunk is appended where the value already is: a new value per chunk copied all that came
// before, and a history copy of a large file sent in small chunks took the square of their
// number. Letting go of the slot first leaves the value's buffer to whole alone, which grows it
// in place.
template <typename Value>
void appendInPlace(Variant& slot, Value whole, const Value& add) {
    slot = Variant();
    whole.append(add);
    slot = whole;
}

}  // namespace

void Field::AppendChunk(const Variant& data) {
    const auto& c = columnOf(*rs_, index_);
    if (!ado::isTextType(c.type) && !ado::isBinaryType(c.type)) adoerr::raise(adoerr::OperationNotAllowed);
    rs_->beginEdit();
    if (!c.writable) adoerr::raise(adoerr::NotSupported);
    const auto i = static_cast<size_t>(index_);
    Variant& slot = rs_->buffer[i];
    const bool started = i < rs_->appendStarted.size() && rs_->appendStarted[i];
    const bool replace = !started || slot.isNull() || slot.isEmpty();
    if (ado::isBinaryType(c.type)) {
        QByteArray add = data.isNull() || data.isEmpty() ? QByteArray() : data.toBytes();
        if (appendChunkObserver()) appendChunkObserver()(add.size());
        if (replace) {
            slot = add;
        } else {
            appendInPlace(slot, slot.toBytes(), add);
        }
    } else {
        QString add;
        if (const auto* b = std::get_if<QByteArray>(&data.storage())) {
            add = QString::fromUtf8(*b);
        } else if (!data.isNull() && !data.isEmpty()) {
            add = data.toString();
        }
        if (appendChunkObserver()) appendChunkObserver()(add.size());
        if (replace) {
            slot = add;
        } else {
            appendInPlace(slot, slot.toString(), add);
        }
    }
    if (rs_->appendStarted.size() <= i) rs_->appendStarted.resize(rs_->current.columns.size(), false);
    rs_->appendStarted[i] = true;
    rs_->dirty[i] = true;
    rs_->resetChunks();
}

Variant Field::GetChunk(long count) {
    const auto& c = columnOf(*rs_, index_);
    if (count < 0) adoerr::raise(adoerr::ArgumentsWrong);
    if (!ado::isTextType(c.type) && !ado::isBinaryType(c.type)) adoerr::raise(adoerr::OperationNotAllowed);
    const Variant& v = rs_->fieldValue(index_);
    if (rs_->chunkField != index_) {
        rs_->chunkField = index_;
        rs_->chunkOffset = 0;
    }
    if (v.isNull() || v.isEmpty()) return Variant::null();
    const long offset = rs_->chunkOffset;
    if (const auto* b = std::get_if<QByteArray>(&v.storage())) {
        if (offset >= b->size()) return Variant::null();
        const QByteArray part = b->mid(offset, count);
        rs_->chunkOffset += static_cast<long>(part.size());
        return part;
    }
    const QString s = v.toString();
    if (offset >= s.size()) return Variant::null();
    const QString part = s.mid(offset, count);
    rs_->chunkOffset += static_cast<long>(part.size());
    return part;
}

// ---------------------------------------------------------------------------------------------
// FieldList

long FieldList::Count() const {
    rs_->requireOpen();
    return static_cast<long>(rs_->current.columns.size());
}

Field FieldList::Item(long index) const {
    columnOf(*rs_, static_cast<int>(index));
    return Field(rs_, static_cast<int>(index));
}

namespace {

bool sameName(const QString& column, const QChar* wanted, qsizetype n) {
    return column.size() == n &&
           (n == 0 || (column.constData()[0] == wanted[0] &&
                       std::memcmp(column.constData(), wanted, static_cast<size_t>(n) * sizeof(QChar)) == 0));
}

// The place of a field by its name, without case; 3265 when absent.
int fieldIndex(const detail::RecordsetState& rs, const QString& name) {
    rs.requireOpen();
    const auto& cols = rs.current.columns;
    const QChar* wanted = name.constData();
    const qsizetype n = name.size();
    // A program asks for the same fields of a result by the same texts row after row: where a
    // text was found in this very result (its columns never change) is tried first, and taken
    // when that column still bears the name (the first of the list that does, as it was then).
    struct Found {
        std::uint64_t columns = 0;
        const QChar* text = nullptr;
        qsizetype size = -1;
        int index = -1;
    };
    thread_local Found found[256];
    Found& last = found[(reinterpret_cast<std::uintptr_t>(wanted) * 0x9E3779B97F4A7C15ULL) >> 56];
    if (last.columns == rs.columnsSerial && last.text == wanted && last.size == n &&
        sameName(cols[static_cast<size_t>(last.index)].name, wanted, n)) {
        return last.index;
    }
    // Most look-ups spell the name as the column does: that is found without folding case,
    // and most names differ from the one looked for in their length or first letter.
    for (size_t i = 0; i < static_cast<size_t>(cols.size()); ++i) {
        if (sameName(cols[i].name, wanted, n)) {
            last = Found{rs.columnsSerial, wanted, n, static_cast<int>(i)};
            return static_cast<int>(i);
        }
    }
    for (size_t i = 0; i < static_cast<size_t>(cols.size()); ++i) {
        if (cols[i].name.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    }
    adoerr::raise(adoerr::ItemNotFound);
}

}  // namespace

Field FieldList::Item(const QString& name) const { return Field(rs_, fieldIndex(*rs_, name)); }

// ---------------------------------------------------------------------------------------------
// Recordset

Recordset::Recordset() : d_(std::make_shared<RecordsetState>()) {}

namespace {

// Whether a source text is a lone table name: one name, maybe qualified and bracketed.
bool looksLikeTableName(const QString& source) {
    const QStringView s = QStringView(source).trimmed();
    if (s.isEmpty()) return false;
    bool inBracket = false;
    for (const QChar ch : s) {
        if (inBracket) {
            if (ch == u']') inBracket = false;
            continue;
        }
        if (ch == u'[') {
            inBracket = true;
            continue;
        }
        if (!(ch.isLetterOrNumber() || ch == u'_' || ch == u'.' || ch == u'#' || ch == u'@' || ch == u'$')) return false;
    }
    // A lone system procedure name is a call, not a table.
    return !inBracket && !s.startsWith(QLatin1String("sp_"), Qt::CaseInsensitive) &&
           !s.startsWith(QLatin1String("xp_"), Qt::CaseInsensitive);
}

}  // namespace

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int lockType, long options) {
    open(source, activeConnection, cursorType, lockType, options, false);
}

void Recordset::OpenForwardOnce(const QString& source, Connection& activeConnection, int cursorType, int lockType,
                                long options) {
    open(source, activeConnection, cursorType, lockType, options, true);
}

void Recordset::open(const QString& source, Connection& activeConnection, int cursorType, int lockType, long options,
                     bool stream) {
    if (d_->open) adoerr::raise(adoerr::ObjectOpen);
    auto conn = activeConnection.state();
    provider::Request req;
    req.text = source;
    const long kind = options < 0 ? -1 : (options & ~ado::adExecuteNoRecords);
    if (kind == ado::adCmdTable || kind == ado::adCmdTableDirect || (kind < 0 || kind == ado::adCmdUnknown)) {
        req.commandType = (kind == ado::adCmdTable || kind == ado::adCmdTableDirect || looksLikeTableName(source))
                              ? ado::adCmdTable
                              : ado::adCmdText;
    } else {
        req.commandType = kind;
    }
    if (cursorType == ado::adOpenUnspecified) cursorType = ado::adOpenForwardOnly;
    if (lockType == ado::adLockUnspecified) lockType = ado::adLockReadOnly;
    req.updatable = lockType != ado::adLockReadOnly;
    // A table opened to be written is mostly opened to add rows (a history that grows every
    // day): its rows are read only once it is walked.
    const bool later = req.updatable && req.commandType == ado::adCmdTable;
    req.columnsOnly = later;
    req.stream = stream && !later;
    auto results = conn->guarded([&] {
        conn->errors.Clear();
        return conn->openSession().execute(req);
    });
    d_->assign(std::move(results), cursorType, lockType, conn);
    if (later && d_->open) {
        d_->rowsUnread = true;
        req.columnsOnly = false;
        d_->rowsRequest = std::move(req);
    }
}

void Recordset::Close() {
    d_->requireOpen();
    if (d_->editMode != ado::adEditNone) adoerr::raise(adoerr::OperationNotAllowed);
    d_->pending.clear();
    d_->takeNext();
}

long Recordset::State() const { return d_->open ? ado::adStateOpen : ado::adStateClosed; }

bool Recordset::BOF() const {
    d_->requireOpen();
    if (d_->pos < 0) d_->readRows();
    return d_->bof;
}

bool Recordset::EOF() const {
    d_->requireOpen();
    if (d_->pos < 0) d_->readRows();
    return d_->eof;
}

void Recordset::MoveNext() {
    d_->requireOpen();
    if (d_->streamed()) {
        if (d_->eof) adoerr::raise(adoerr::NoCurrentRecord);
        d_->streamNext();
        return;
    }
    d_->readRows();
    if (d_->eof && d_->editMode != ado::adEditAdd) adoerr::raise(adoerr::NoCurrentRecord);
    long p = d_->pos + 1;
    while (p < d_->rowCount() && d_->isDeleted(p)) ++p;
    d_->moveTo(p);
}

void Recordset::MoveFirst() {
    d_->requireOpen();
    d_->refuseStreamed();
    d_->readRows();
    long p = 0;
    while (p < d_->rowCount() && d_->isDeleted(p)) ++p;
    if (p >= d_->rowCount()) {
        // No live row: both ends at once, as a recordset without rows stands.
        d_->moveTo(d_->rowCount());
        d_->bof = true;
        return;
    }
    d_->moveTo(p);
}

void Recordset::MovePrevious() {
    d_->requireOpen();
    d_->refuseStreamed();
    d_->readRows();
    if (d_->cursorType == ado::adOpenForwardOnly) adoerr::raise(adoerr::OperationNotAllowed);
    if (d_->bof) adoerr::raise(adoerr::NoCurrentRecord);
    long p = d_->pos - 1;
    while (p >= 0 && d_->isDeleted(p)) --p;
    d_->moveTo(p);
}

void Recordset::MoveLast() {
    d_->requireOpen();
    d_->refuseStreamed();
    d_->readRows();
    if (d_->cursorType == ado::adOpenForwardOnly) adoerr::raise(adoerr::OperationNotAllowed);
    long p = d_->rowCount() - 1;
    while (p >= 0 && d_->isDeleted(p)) --p;
    if (p < 0) {
        d_->moveTo(d_->rowCount());
        d_->bof = true;
        return;
    }
    d_->moveTo(p);
}

long Recordset::RecordCount() const {
    d_->requireOpen();
    d_->readRows();
    if (d_->cursorType == ado::adOpenForwardOnly || d_->cursorType == ado::adOpenDynamic) return -1;
    // A streamed result does not know how many rows are still to come.
    d_->refuseStreamed();
    long n = d_->rowCount();
    for (bool del : d_->deleted) n -= del ? 1 : 0;
    return n;
}

int Recordset::CursorType() const { return d_->cursorType; }
int Recordset::LockType() const { return d_->lockType; }
int Recordset::EditMode() const { return d_->editMode; }

FieldList Recordset::Fields() const { return FieldList(d_); }
Field Recordset::Fields(const QString& name) const { return Field(d_, fieldIndex(*d_, name)); }

void Recordset::AddNew() {
    d_->requireUpdatable();
    d_->commitEdit();
    const auto n = d_->current.columns.size();
    d_->posBeforeAdd = d_->pos;
    d_->current.rows.push_back(provider::Row(n, Variant::null()));
    d_->current.keys.emplace_back();
    d_->pos = d_->rowCount() - 1;
    d_->bof = d_->eof = false;
    d_->editMode = ado::adEditAdd;
    d_->buffer.assign(n, Variant::null());
    d_->dirty.assign(n, false);
    d_->appendStarted.clear();
    d_->resetChunks();
}

void Recordset::Update() {
    d_->requireOpen();
    if (d_->streamed()) adoerr::raise(adoerr::NotSupported);
    d_->commitEdit();
}

void Recordset::CancelUpdate() {
    d_->requireOpen();
    if (d_->editMode == ado::adEditAdd) {
        d_->current.rows.pop_back();
        d_->forgetUnpacked();
        d_->current.keys.pop_back();
        const auto rows = static_cast<size_t>(d_->rowCount());
        if (d_->deleted.size() > rows) d_->deleted.resize(rows);
        d_->editMode = ado::adEditNone;
        const long back = d_->posBeforeAdd;
        d_->pos = back;
        d_->bof = back < 0 || d_->rowCount() == 0;
        d_->eof = back >= d_->rowCount() || d_->rowCount() == 0;
    }
    d_->editMode = ado::adEditNone;
    d_->buffer.clear();
    d_->dirty.clear();
    d_->appendStarted.clear();
    d_->resetChunks();
}

void Recordset::Delete() {
    d_->requireUpdatable();
    if (d_->editMode == ado::adEditAdd) {
        CancelUpdate();
        return;
    }
    d_->requireCurrent();
    auto conn = d_->connection.lock();
    if (!conn || !conn->session) adoerr::raise(adoerr::ConnectionUnusable);
    const auto p = static_cast<size_t>(d_->pos);
    provider::countStatement();
    conn->guarded([&] { d_->current.writer->remove(d_->current.keys[p]); });
    d_->editMode = ado::adEditNone;
    if (d_->deleted.size() <= p) d_->deleted.resize(static_cast<size_t>(d_->rowCount()), false);
    d_->deleted[p] = true;
}

Recordset Recordset::NextRecordset(long* recordsAffected) {
    if (!d_->open && d_->pending.empty()) adoerr::raise(adoerr::ObjectClosed);
    auto next = std::make_shared<RecordsetState>();
    next->cursorType = d_->cursorType;
    next->lockType = d_->lockType;
    next->connection = d_->connection;
    next->pending = std::move(d_->pending);
    d_->pending.clear();
    d_->editMode = ado::adEditNone;
    d_->open = false;
    d_->current.source.reset();  // a streamed result lets its statement go
    next->takeNext();
    if (recordsAffected) *recordsAffected = next->current.recordsAffected;
    return Recordset(next);
}

}  // namespace data
