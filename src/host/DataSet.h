#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

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

    // The visible rows as a packet (fields and values, in visible order).
    DataPacket Snapshot() const;

protected:
    friend class TField;
    // Storage shared by the kinds of data set.
    void SetStorage(std::vector<FieldDef> defs, std::vector<std::vector<Variant>> rows);
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
    std::vector<std::size_t> m_pending;
    std::size_t m_cursorRow = npos;

    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<std::vector<Variant>> m_rows;  // all rows, in storage order
    std::vector<std::size_t> m_visible;        // storage indices, in visible order
    int m_cursor = 0;                          // index into m_visible
    bool m_eof = true, m_bof = true;
    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<Variant> m_buffer;  // row being edited or inserted
};

}  // namespace pla013::host
