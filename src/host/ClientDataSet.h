#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "host/DataSet.h"

namespace pla013::host {

namespace internal {
class FilterExpression;
class RowIndex;
}  // namespace internal

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
    // Same, from a packet held compactly (as the client decodes answers),
    // taken as it is.
    void SetData(CompactPacket&& packet);
    DataPacket Data() const;  // every row in storage order

    std::size_t MemoryUsed() const override;

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
    // Hash of key values -> storage rows, for Locate and equality filters.
    internal::RowIndex& Lookup(const std::vector<int>& columns, bool caseInsensitive);
    bool HasLookup(const std::vector<int>& columns) const;  // case-sensitive, built already
    void DropLookups();
    bool PassesFilter(std::size_t row) const;
    std::vector<int> ResolveFields(const std::string& list) const;
    void ResolveFilter(internal::FilterExpression& filter) const;
    std::vector<int> m_indexCols;                                // resolved fields of the active index
    std::vector<std::shared_ptr<internal::RowIndex>> m_lookups;  // most recently used last
    std::vector<int> m_scannedEqualities;                        // fields of the last equality filter scanned
    std::string m_indexName;
    std::string m_filter;
    bool m_filtered = false;
    std::shared_ptr<internal::FilterExpression> m_filterTree;  // null when the filter text is blank
    int m_editRow = -1;                                        // storage row being edited, -1 when inserting
};

}  // namespace pla013::host
