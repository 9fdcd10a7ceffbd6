#pragma once

#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportParam.h"
#include "platform/reports/RowSource.h"
#include "platform/reports/internal/RowSpool.h"

namespace pla013::reports::internal {

// The values a report is made of: its rows, its parameters and its lookups,
// with the names they answer to (case-insensitive). Preparing the rows for a
// definition converts the declared types, appends the computed fields and
// checks that every field the definition names exists; the aggregates and
// the order of the definition need the rows held.
//
// The data is read once, at prepare(), from the packet (whose rows are
// released as they are read) or the RowSource: each row converted, its
// aggregates and computed fields filled, into a RowSpool. The report's
// passes (rewind, then next until null) read the rows back from the spool,
// in the definition's order, into two buffers in turn: only two rows are
// ever held, and the memory does not grow with the data.
class ReportData {
public:
    using Row = std::vector<host::Variant>;

    // The most characters (code points) a text of the data or of a lookup
    // keeps: the cell limit of XLSX, and far more than any page shows. A
    // longer text is cut and ends in "…", so that one huge value can neither
    // exhaust the memory of a renderer nor vanish without a trace.
    static constexpr std::size_t kMaxTextLength = 32767;

    ReportData(host::DataPacket data, std::vector<ReportParam> params, std::map<std::string, host::Variant> lookups);
    ReportData(std::unique_ptr<RowSource> source, std::vector<ReportParam> params,
               std::map<std::string, host::Variant> lookups);

    // EHostError naming the definition's file and place when a value does not
    // convert to its declared type or a field is missing. Texts longer than
    // kMaxTextLength are cut, except those of the fields shown as images
    // (they are decoded, never printed). Every row is read here, and a stop
    // asked meanwhile ends it at the next row (ReportCancelled).
    void prepare(const ReportDefinition& def, const std::stop_token& stop = {});

    int fieldIndex(const std::string& name) const;  // -1 when absent
    std::size_t fieldCount() const { return m_data.fields.size(); }
    // The rows read at prepare().
    std::size_t rowCount() const { return m_spool.rowCount(); }
    // Starts a pass over the rows.
    void rewind();
    // The next row of the pass, null after the last. A row stays valid until
    // the call after the next one (the previous row can be compared).
    const Row* next();

    const std::vector<ReportParam>& params() const { return m_params; }
    const ReportParam* findParam(const std::string& name) const;  // case-insensitive
    const host::Variant* lookup(const std::string& name) const;   // upper-case name; null when absent

private:
    void convertRow(Row& row, std::size_t number) const;
    void finishRow(Row& row) const;
    void spoolRows(const std::stop_token& stop, bool aggregates);
    void fillAggregates(RowSpool& first, const std::stop_token& stop);
    void sortRows(const std::stop_token& stop);
    void checkComputed(const ReportDefinition& def, const ComputedDef& computed) const;
    host::Variant computedValue(const ComputedDef& computed, const Row& row) const;
    void checkFields(const ReportDefinition& def) const;

    struct Conversion {
        std::string name, kind;
        int field;
        host::FieldType target;
    };

    const ReportDefinition* m_def = nullptr;
    host::DataPacket m_data;  // the fields; the rows until they are spooled
    std::unique_ptr<RowSource> m_source;
    std::vector<Conversion> m_conversions;
    // By data column: the decimals its column shows a number with, -1 for none.
    std::vector<int> m_decimals;
    std::vector<bool> m_isImage;         // by field: not cut, decoded
    std::size_t m_dataFieldCount = 0;    // the fields of the data, before the computed ones
    std::size_t m_next = 0;              // rows read in this pass
    RowSpool m_spool;                    // the rows, prepared
    std::vector<std::uint64_t> m_order;  // their places in the definition's order; empty: as read
    Row m_buffers[2];
    std::vector<ReportParam> m_params;
    std::map<std::string, host::Variant> m_lookups;
    std::map<std::string, int> m_fieldIndex;  // upper-case name -> data column
};

}  // namespace pla013::reports::internal
