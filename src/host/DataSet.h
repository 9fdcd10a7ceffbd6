#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/CompactPacket.h"
#include "host/Controls.h"
#include "host/DataPacket.h"
#include "host/Field.h"
#include "host/Variant.h"

namespace pla013::host {

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// Rows in memory with a cursor over the visible rows (after filter and index).
class TDataSet : public TObject {
public:
    explicit TDataSet(std::string name);
    ~TDataSet() override;

    virtual void Open();
    virtual void Close();
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    TDataSetState State() const { return m_state; }

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    bool IsEmpty() const;
    int RecordCount() const;        // visible rows
    int RecNo() const;              // 1-based position among visible rows, 0 when none
    void MoveTo(int visibleIndex);  // 0-based

    TField& FieldByName(const std::string& name);  // EHostError naming the field and data set
    TField* FindField(const std::string& name);
    const std::vector<std::unique_ptr<TField>>& Fields() const { return m_fields; }

    // The visible rows as a packet (fields and values, in visible order): a
    // copy of all of them, in 40-byte values. To go through the rows, prefer
    // ReadRows.
    DataPacket Snapshot() const;

    // Reads the visible rows one at a time, in the current order (index) and
    // filter, straight from the storage: the cursor does not move and
    // nothing is copied but the values asked for, so a pass costs O(1) a
    // row and no memory that grows with the rows. Posted rows only: a row
    // being edited or inserted is seen as it was before. Any change of the
    // data set (a post, a delete, a new filter, index or content, closing)
    // ends the reading: the next call of Next is an EHostError.
    //
    //     for (auto rows = dataSet.ReadRows(); rows.Next();)
    //         use(rows.Value(0), rows.View(1));   // or rows.Values(vector)
    class RowReader {
    public:
        // Moves to the next row (the first on the first call); false after the last.
        bool Next();
        std::size_t Width() const;  // number of fields
        // Values of the row Next moved to; column as in Fields().
        Variant Value(int column) const;
        void Values(std::vector<Variant>& out) const;  // every field, out resized
        // The value in place, without a copy; its text is valid until the
        // next call of Next.
        ValueView View(int column) const;

    private:
        friend class TDataSet;
        explicit RowReader(const TDataSet& set);
        static constexpr int kAnyColumn = -2;
        void checkRow(int column) const;  // the reader is on a row (and the column exists)
        const TDataSet* m_set;
        std::size_t m_generation;
        std::size_t m_visible = 0, m_pending = 0;  // next candidates in m_visible and m_pending
        std::size_t m_row = std::size_t(-1);       // storage row, npos before the first and after the last
        bool m_started = false;
    };
    RowReader ReadRows() const;

    // Bytes the data set holds for its rows: cells, texts, the visible order,
    // the lookups of a client data set. Close frees them all.
    virtual std::size_t MemoryUsed() const;

protected:
    friend class TField;
    // Storage shared by the kinds of data set.
    void SetStorage(std::vector<FieldDef> defs, std::vector<std::vector<Variant>> rows);
    void SetStorage(CompactPacket rows);  // the fields are the packet's
    // The packet in compact rows; a value that does not fit its field is an
    // EHostError naming this data set.
    CompactPacket Compact(DataPacket&& packet) const;
    void ClearStorage();
    virtual void Rebuild();  // recomputes the visible order
    Variant CurrentValue(int column) const;
    void WriteCurrent(int column, const Variant& v);
    TField* AddFieldObject(FieldDef def);

    static constexpr std::size_t npos = std::size_t(-1);
    // Visible order. m_visible is sorted by RowBefore; rows posted out of
    // order may wait in m_pending (sorted as well) until the next navigation,
    // so that a long run of posts does not shift the whole vector each time.
    // While m_pending is not empty the cursor is m_cursorRow (a storage row)
    // and m_cursor is stale.
    virtual bool RowBefore(std::size_t a, std::size_t b) const;
    // Posts a pending insert or edit before the cursor moves (no-op here).
    virtual void CheckBrowseMode();
    void Settle();                          // merges m_pending into m_visible
    std::size_t CurrentRow() const;         // storage row under the cursor, npos when none
    int PositionOf(std::size_t row) const;  // visible position of a visible row
    void PlaceCursorOn(std::size_t row);    // row must be visible
    void InsertVisible(std::size_t row);    // adds a row to the visible order, cursor on it
    void RemoveVisible(std::size_t row);    // takes a visible row out of the visible order
    // After rows left the visible order: an empty set has its cursor on both
    // ends, a cursor past the last row moves onto it (at the end). Returns
    // false when the cursor was still on a row and nothing changed.
    bool KeepCursorInRange();
    std::vector<std::size_t> VisibleOrder() const;
    int ColumnOf(const std::string& name) const;  // -1 when absent
    // The content or the visible order changed: open readers end.
    void Changed() { ++m_generation; }
    std::size_t m_generation = 0;
    std::vector<std::size_t> m_pending;
    std::size_t m_cursorRow = npos;

    std::vector<std::unique_ptr<TField>> m_fields;
    CompactPacket m_rows;                // all rows, in storage order
    std::vector<std::size_t> m_visible;  // storage indices, in visible order
    int m_cursor = 0;                    // index into m_visible
    bool m_eof = true, m_bof = true;
    TDataSetState m_state = TDataSetState::dsInactive;
    // Row being edited or inserted; in an edit, a field not written yet is
    // Unassigned (its stored value stands), so that Edit copies nothing.
    std::vector<Variant> m_buffer;
};

}  // namespace pla013::host
