#pragma once
// The shared state behind a Recordset handle and its Field handles.

#include <cstdint>
#include <memory>
#include <vector>

#include "data/connection_state.h"
#include "data/provider.h"

namespace data::detail {

struct RecordsetState : std::enable_shared_from_this<RecordsetState> {
    bool open = false;
    int cursorType = 0;
    int lockType = 1;
    std::weak_ptr<ConnectionState> connection;

    // With a source (a streamed result) current.rows holds the current row alone, at pos 0,
    // and nothing once the last row is passed.
    provider::Result current;
    // Names the column list of current: moves whenever current is replaced.
    std::uint64_t columnsSerial = 0;
    // Values of the row at unpackedPos, each unpacked when first read (current.rows keeps rows
    // packed): a program reads a few fields of a wide row. unpackedHave marks those read;
    // unpackedWhole says all are.
    mutable provider::Row unpacked;
    mutable std::vector<char> unpackedHave;
    mutable long unpackedPos = -1;
    mutable bool unpackedWhole = false;
    // Where each value of the row at placesPos starts, for Field::View and storedValue.
    mutable std::vector<const char*> places;
    mutable long placesPos = -1;
    std::vector<provider::Result> pending;  // further results for NextRecordset, in order
    // Rows deleted through the recordset; sized on the first deletion, a row past its end is
    // not deleted.
    std::vector<bool> deleted;
    bool isDeleted(long i) const {
        return i >= 0 && static_cast<size_t>(i) < deleted.size() && deleted[static_cast<size_t>(i)];
    }

    long pos = -1;  // -1: before the first row (BOF); rows.size(): after the last (EOF)
    bool bof = true;
    bool eof = true;

    long unreadPos = -1;  // an inserted row whose stored values are still to be read

    // A table opened to write rows holds, until somebody walks it, only the rows added to it;
    // its existing rows are read by this request when first needed. Until then pos -1 stands
    // for the first row.
    bool rowsUnread = false;
    provider::Request rowsRequest;

    int editMode = 0;
    provider::Row buffer;
    std::vector<bool> dirty;
    long posBeforeAdd = -1;

    std::vector<bool> appendStarted;  // per field: AppendChunk replaced the value already (sized on first use)
    int chunkField = -1;              // the field GetChunk is reading, and where it stands
    long chunkOffset = 0;

    // Takes the results of a statement: the first becomes current, the rest wait for
    // NextRecordset.
    void assign(std::vector<provider::Result> results, int cursor, int lock,
                const std::shared_ptr<ConnectionState>& conn);
    void takeNext();  // makes the first pending result current (or closes)
    bool streamed() const { return current.source != nullptr || streamEnded; }
    bool streamEnded = false;  // a streamed result's rows were all read
    // Moves a streamed result to its next row (the first when nothing was read yet), or to
    // EOF past the last; raises the provider's error with the recordset at EOF.
    void streamNext();
    void refuseStreamed() const;  // 3219 for a streamed result
    // A streamed row holds only the columns read so far: makes it hold this one as well.
    void wantColumn(int index) {
        if (!current.source) return;
        const auto i = static_cast<size_t>(index);
        if (i < streamWanted.size() && streamWanted[i]) return;
        wantStreamed(index);
    }
    void wantStreamed(int index);
    // The stream's connection (3709 once it is gone) and the end of its rows: the source and
    // its row let go, the recordset at EOF.
    std::shared_ptr<ConnectionState> streamConnection() const;
    void endStream();
    std::vector<char> streamWanted;  // per column: asked of the source already

    long rowCount() const { return static_cast<long>(current.rows.size()); }
    bool isLive(long i) const { return i >= 0 && i < rowCount() && !isDeleted(i); }
    void requireOpen() const;
    void requireCurrent();
    void requireUpdatable() const;
    void resetChunks();
    const provider::Row& currentRow();
    const provider::Row& storedRow(long i);  // row i as stored, unpacked
    const Variant& storedValue(long i, size_t k);  // value k of row i as stored
    const Variant& currentValue(size_t k);         // of the current row (the edit's while editing)
    void readBack();                         // reads the inserted row at unreadPos, if any
    void readBackRow(long i);                // readBack when row i is the row still to be read
    void readRows();                         // reads the existing rows, if still unread
    // The value of a field of the current row, a long value read first when still unread.
    const Variant& fieldValue(int index);
    void forgetUnpacked() const {
        unpackedPos = -1;
        placesPos = -1;
    }
    void beginEdit();
    void commitEdit();
    void moveTo(long newPos);  // commits a pending edit first, then positions
};

}  // namespace data::detail
