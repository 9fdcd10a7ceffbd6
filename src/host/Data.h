#pragma once
// Data components: fields, data sets, lookup queries, in-memory client data
// sets, data sources and parameters.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Controls.h"
#include "DataPacket.h"
#include "Ports.h"
#include "Variant.h"

namespace pla013::host {

class TDataSet;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A field of a data set: definition plus access to the current row's value.
class TField {
public:
    TField(TDataSet& owner, FieldDef def);
    const std::string& FieldName() const { return m_def.name; }
    FieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    bool Required() const { return m_def.required; }
    const FieldDef& Def() const { return m_def; }

    // Display attributes (persistent fields of lookup queries).
    std::string DisplayLabel;
    int DisplayWidth = 0;
    bool Visible = true;
    std::string EditMask;

    // Current row; reading a closed or empty data set gives Null.
    Variant Value() const;
    bool IsNull() const;
    std::string AsString() const;
    std::int64_t AsInteger() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    // Writing needs the data set in edit or insert state (EHostError otherwise).
    void SetValue(const Variant& v);
    void SetAsString(const std::string& v);
    void SetAsInteger(std::int64_t v);
    void SetAsFloat(double v);
    void Clear();

private:
    friend class TDataSet;
    TDataSet& m_owner;
    FieldDef m_def;
    int m_index = -1;  // column in the data set's storage
};

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

class TParam {
public:
    TParam(std::string name, FieldType type) : m_name(std::move(name)), m_type(type) {}
    const std::string& Name() const { return m_name; }
    FieldType DataType() const { return m_type; }
    void SetDataType(FieldType t) { m_type = t; }
    const Variant& Value() const { return m_value; }
    void SetValue(const Variant& v) { m_value = v; }
    bool IsNull() const { return m_value.isNullOrUnassigned(); }
    bool Bound() const { return m_bound; }

    std::string AsString() const { return m_value.toString(); }
    void SetAsString(const std::string& v);
    void SetAsInteger(std::int64_t v);
    void SetAsDate(TDateTime v);  // date part only
    void SetAsDateTime(TDateTime v);
    void Clear();  // Null, still bound

private:
    std::string m_name;
    FieldType m_type;
    Variant m_value;  // unassigned until set
    bool m_bound = false;
};

// Parameter list; names compare without regard to case.
class TParams {
public:
    TParam& CreateParam(FieldType type, const std::string& name);
    TParam* FindParam(const std::string& name);
    TParam& ParamByName(const std::string& name);  // EHostError when absent
    std::size_t Count() const { return m_params.size(); }
    TParam& operator[](std::size_t i) { return *m_params[i]; }
    const TParam& operator[](std::size_t i) const { return *m_params[i]; }
    void Clear() { m_params.clear(); }

private:
    std::vector<std::unique_ptr<TParam>> m_params;
};

// A lookup query of the catering database. SQL texts per dialect; string
// parameters, changed only while the query is closed.
class TADOIBQuery : public TDataSet {
public:
    explicit TADOIBQuery(std::string name);
    SqlTexts SQL;
    TParams& Params() { return m_params; }
    TParam& ParamByName(const std::string& name);  // EHostError when open or absent
    // A persistent field: its definition, label and display width; persistent
    // fields must all come back from the database.
    TField* AddPersistentField(FieldDef def, const std::string& label = {}, int displayWidth = 0, bool visible = true);
    void Open() override;
    void Close() override;

private:
    TParams m_params;
    std::vector<FieldDef> m_persistent;
    struct Display {
        std::string label;
        int width;
        bool visible;
    };
    std::vector<Display> m_display;
};

enum class LocateOption { CaseInsensitive, PartialKey };

// In-memory table: field definitions, active index, filter, locate,
// insert/edit/post, nulls; content loads from and saves to a data packet.
class TClientDataSet : public TDataSet {
public:
    explicit TClientDataSet(std::string name);

    std::vector<FieldDef> FieldDefs;
    struct IndexDef {
        std::string name;
        std::string fields;
    };  // fields "A;B;C"
    std::vector<IndexDef> IndexDefs;
    const std::string& IndexName() const { return m_indexName; }
    void SetIndexName(const std::string& name);

    void CreateDataSet();  // empty, from FieldDefs
    void EmptyDataSet();   // removes every row
    void Open() override;  // as CreateDataSet when no data is loaded
    void Close() override;
    // Replaces the whole content; the packet's fields become the data set's.
    void SetData(const DataPacket& packet);
    void SetData(DataPacket&& packet);  // same, without copying the rows
    DataPacket Data() const;            // every row in storage order

    // Filter texts: comparisons "FIELD = 'text'" (also <>, <, <=, >, >= and
    // numbers), joined with AND / OR, NOT and parentheses; a quote inside a
    // literal is written twice. EHostError naming the data set on bad syntax.
    const std::string& Filter() const { return m_filter; }
    void SetFilter(const std::string& filter);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool v);

    bool Locate(const std::string& keyFields, const std::vector<Variant>& values, std::set<LocateOption> options);

    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

protected:
    void Rebuild() override;
    bool RowBefore(std::size_t a, std::size_t b) const override;
    void CheckBrowseMode() override;

private:
    struct FilterNode;
    struct KeyLookup;  // hash of key values -> storage rows, for Locate and equality filters
    KeyLookup& Lookup(const std::vector<int>& columns, bool caseInsensitive);
    void DropLookups();
    bool PassesFilter(std::size_t row) const;
    std::vector<int> ResolveFields(const std::string& list) const;
    void ResolveFilter(FilterNode& tree, const std::string& text) const;
    std::vector<int> m_indexCols;                       // resolved fields of the active index
    std::vector<std::shared_ptr<KeyLookup>> m_lookups;  // most recently used last
    std::string m_indexName;
    std::string m_filter;
    bool m_filtered = false;
    std::shared_ptr<FilterNode> m_filterTree;
    int m_editRow = -1;  // storage row being edited, -1 when inserting
};

class TDataSource : public TObject {
public:
    explicit TDataSource(std::string name, TDataSet* dataSet = nullptr) : TObject(std::move(name)), DataSet(dataSet) {}
    TDataSet* DataSet;
};

}  // namespace pla013::host
